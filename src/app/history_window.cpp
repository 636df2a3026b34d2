#include "app/history_window.h"

#include <QComboBox>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "app/app_icon.h"
#include "app/history_model.h"
#include "app/output_viewer.h"
#include "timetable/history_text.h"
#include "timetable/run_history.h"
#include "timetable/run_output.h"
#include "platform/clock.h"
#include "widgets/button_keys.h"

namespace morrowset {

namespace {

using historytext::Column;

// Each column's width: as wide as the widest of these texts in the window's font.
struct ColumnRoom {
    Column column;
    const char* widest;
};
constexpr ColumnRoom kColumnRooms[] = {
    {Column::Row, "Row"},
    {Column::Command, "/usr/local/bin/backup-home --quiet --to /media"},
    {Column::Trigger, "catch-up"},
    {Column::Started, "yesterday 23:59:59"},
    {Column::Duration, "59 min 59 s"},
    {Column::Result, "no end seen (Morrowset ended before it)"},
};
// Runs shown without scrolling.
constexpr int kVisibleRuns = 20;
// File-system events come in bursts (a start writes its line, a rotation renames): one
// look after the burst.
constexpr int kRefreshDelayMs = 200;

QPointer<HistoryWindow>& openWindow() {
    static QPointer<HistoryWindow> window;
    return window;
}

QPushButton* button(const QString& caption, QWidget* parent) {
    auto* made = new QPushButton(caption, parent);
    made->setAutoDefault(false);  // Enter acts on the control that has the focus
    wardline::clickOnEnter(made);
    return made;
}

// Why an entry has no output to open.
QString noOutput(const HistoryEntry& entry) {
    if (entry.run.result() == RunRecord::Result::Skipped) return QStringLiteral("A skipped start has no output.");
    return QStringLiteral("This run has no output: it could not start.");
}

}  // namespace

HistoryWindow::HistoryWindow(const std::string& appFolder, HistoryList::RunningCheck running, QWidget* parent)
    : QDialog(parent), appFolder_(appFolder), model_(new HistoryModel(appFolder, std::move(running), this)) {
    setWindowTitle(QStringLiteral("Morrowset History"));
    setWindowIcon(morrowsetIcon());
    setSizeGripEnabled(true);
    createControls();
    sizeFromFont();
    watchHistory();
}

HistoryWindow* HistoryWindow::current() { return openWindow(); }

void HistoryWindow::createControls() {
    lblShow = new QLabel(QStringLiteral("&Show:"), this);
    cboRow = new QComboBox(this);
    cboRow->addItem(QStringLiteral("All rows"));
    for (int row = 1; row <= RunHistory::kRows; ++row) cboRow->addItem(QStringLiteral("Row %1").arg(row));
    lblShow->setBuddy(cboRow);
    grdRuns = new QTableView(this);
    grdRuns->setModel(model_);
    grdRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdRuns->setSelectionMode(QAbstractItemView::SingleSelection);
    grdRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdRuns->setTabKeyNavigation(false);  // Tab goes on to the next control, as in every window
    grdRuns->setWordWrap(false);
    grdRuns->verticalHeader()->hide();
    grdRuns->horizontalHeader()->setStretchLastSection(true);
    grdRuns->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblStatus = new QLabel(this);
    cmdOpen = button(QStringLiteral("&Open Output"), this);
    cmdClose = button(QStringLiteral("Close"), this);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(lblShow);
    filterRow->addWidget(cboRow);
    filterRow->addStretch();
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(lblStatus, 1);
    buttonRow->addWidget(cmdOpen);
    buttonRow->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(grdRuns, 1);
    layout->addLayout(buttonRow);

    connect(cboRow, &QComboBox::currentIndexChanged, this, [this](int row) { model_->setRowFilter(row); });
    // Enter and a double click.
    connect(grdRuns, &QAbstractItemView::activated, this, &HistoryWindow::openSelected);
    connect(cmdOpen, &QPushButton::clicked, this, &HistoryWindow::openSelected);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
}

// Columns as wide as their widest usual text, and room for kVisibleRuns runs.
void HistoryWindow::sizeFromFont() {
    const QFontMetrics metrics(grdRuns->font());
    const int padding = metrics.horizontalAdvance(QLatin1Char('M')) * 2;
    const int icon = grdRuns->style()->pixelMetric(QStyle::PM_SmallIconSize) + padding / 2;  // beside the result
    int width = 0;
    for (const ColumnRoom& room : kColumnRooms) {
        const int column = metrics.horizontalAdvance(QString::fromLatin1(room.widest)) + padding +
                           (room.column == Column::Result ? icon : 0);
        grdRuns->setColumnWidth(static_cast<int>(room.column), column);
        width += column;
    }
    const int rowHeight = metrics.height() + metrics.height() / 2;
    grdRuns->verticalHeader()->setDefaultSectionSize(rowHeight);
    grdRuns->verticalHeader()->setMinimumSectionSize(metrics.height());
    const int frame = 2 * grdRuns->frameWidth();
    const int table = rowHeight * (kVisibleRuns + 1) + frame;
    const QSize around = sizeHint() - grdRuns->sizeHint();
    resize(width + frame + grdRuns->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + around.width(),
           table + around.height());
}

void HistoryWindow::watchHistory() {
    refreshSoon_ = new QTimer(this);
    refreshSoon_->setSingleShot(true);
    refreshSoon_->setInterval(kRefreshDelayMs);
    connect(refreshSoon_, &QTimer::timeout, this, &HistoryWindow::refresh);
    // The folder tells of the history begun anew (and of its rotation); the file, of its
    // lines. A watched file renamed away is no longer watched: it is watched again.
    watcher_ = new QFileSystemWatcher(this);
    watcher_->addPath(QString::fromStdString(appFolder_));
    const QString history = QString::fromStdString(RunHistory::filePath(appFolder_));
    const auto look = [this, history] {
        if (!watcher_->files().contains(history)) watcher_->addPath(history);
        refreshSoon_->start();
    };
    look();
    refreshSoon_->stop();
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, look);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, look);
}

void HistoryWindow::refresh() { model_->refresh(); }

void HistoryWindow::openSelected() {
    const QModelIndex selected = grdRuns->currentIndex();
    if (!selected.isValid()) return;
    const HistoryEntry& entry = model_->entry(selected.row());
    if (entry.run.output.empty()) {
        lblStatus->setText(noOutput(entry));
        return;
    }
    lblStatus->clear();
    const QString path = QString::fromStdString(runs::folderOf(appFolder_) + "/" + entry.run.output);
    showOutputViewer(path, QString::fromStdString(historytext::summary(entry, platform::wallNow())));
}

HistoryWindow* showHistoryWindow(const std::string& appFolder, HistoryList::RunningCheck running) {
    QPointer<HistoryWindow>& window = openWindow();
    if (!window) {
        window = new HistoryWindow(appFolder, std::move(running));
        window->setAttribute(Qt::WA_DeleteOnClose);  // the next one reads the history anew
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace morrowset
