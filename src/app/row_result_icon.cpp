#include "app/row_result_icon.h"

#include <QAction>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include "app/output_viewer.h"
#include "timetable/history_text.h"
#include "timetable/run_output.h"
#include "timetable/run_text.h"
#include "platform/clock.h"

namespace morrowset {

namespace {

// Drawn on a 16 x 16 grid: a coloured disc with a white mark.
constexpr qreal kGrid = 16.0;

struct Look {
    QColor disc;
    void (*mark)(QPainter&);
};

void playMark(QPainter& painter) {
    QPainterPath triangle;
    triangle.moveTo(6, 4.5);
    triangle.lineTo(12, 8);
    triangle.lineTo(6, 11.5);
    triangle.closeSubpath();
    painter.fillPath(triangle, Qt::white);
}
void checkMark(QPainter& painter) { painter.drawPolyline(QPolygonF({{4.5, 8.5}, {7, 11}, {11.5, 5.5}})); }
void crossMark(QPainter& painter) {
    painter.drawLine(QPointF(5, 5), QPointF(11, 11));
    painter.drawLine(QPointF(11, 5), QPointF(5, 11));
}
void dashMark(QPainter& painter) { painter.drawLine(QPointF(5, 8), QPointF(11, 8)); }

Look lookOf(RunRecord::Result result) {
    switch (result) {
        case RunRecord::Result::Running: return {QColor(0x2F, 0x6F, 0xB5), playMark};
        case RunRecord::Result::Succeeded: return {QColor(0x2E, 0x9E, 0x3A), checkMark};
        case RunRecord::Result::Failed: return {QColor(0xC8, 0x28, 0x28), crossMark};
        case RunRecord::Result::Unseen:
        case RunRecord::Result::Skipped: break;
    }
    return {QColor(0x80, 0x80, 0x80), dashMark};
}

QImage iconImage(RunRecord::Result result, int size) {
    const Look look = lookOf(result);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.disc);
    painter.drawEllipse(QRectF(1, 1, 14, 14));
    painter.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    look.mark(painter);
    return image;
}

}  // namespace

RowResultIcon::RowResultIcon(QLineEdit* box, std::function<std::string()> nextStart)
    : QObject(box), box_(box), action_(new QAction(this)), nextStart_(std::move(nextStart)) {
    action_->setVisible(false);
    box_->addAction(action_, QLineEdit::TrailingPosition);
    connect(action_, &QAction::triggered, this, [this] { open(); });
}

QIcon RowResultIcon::iconFor(RunRecord::Result result) {
    QIcon icon;
    for (int size : {16, 32}) icon.addPixmap(QPixmap::fromImage(iconImage(result, size)));
    return icon;
}

bool RowResultIcon::isShown() const { return action_->isVisible(); }

void RowResultIcon::show(const std::optional<RunRecord>& run, const std::string& appFolder) {
    const bool sameLook = run_ && run && run_->result() == run->result();
    run_ = run;
    appFolder_ = appFolder;
    if (!run) {
        action_->setVisible(false);
        return;
    }
    if (!sameLook) action_->setIcon(iconFor(run->result()));
    action_->setToolTip(toolTipText());
    action_->setVisible(true);
    // The tooltip is made again whenever it is shown: the next start moves on.
    if (!filtering_) {
        for (QObject* button : action_->associatedObjects())
            if (button != box_) button->installEventFilter(this);
        filtering_ = true;
    }
}

QString RowResultIcon::toolTipText() const {
    if (!run_) return {};
    return QString::fromStdString(runtext::toolTip(*run_, nextStart_(), platform::wallNow()));
}

QString RowResultIcon::outputPath() const {
    if (!run_ || run_->output.empty()) return {};
    return QString::fromStdString(runs::folderOf(appFolder_) + "/" + run_->output);
}

bool RowResultIcon::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && run_) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), toolTipText(), qobject_cast<QWidget*>(watched));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void RowResultIcon::open() const {
    const QString path = outputPath();
    if (path.isEmpty()) return;
    showOutputViewer(path, QString::fromStdString(historytext::summary(HistoryEntry{*run_}, platform::wallNow())));
}

}  // namespace morrowset
