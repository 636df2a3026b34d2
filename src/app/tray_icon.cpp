#include "app/tray_icon.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

#include "app/app_icon.h"
#include "app/session_bus_probe.h"

namespace morrowset {

namespace {

// Badges are drawn on the icon's 32 x 32 grid, over its start arrow in the lower right.
constexpr qreal kGrid = 32.0;
const QRectF kBadge(15, 15, 17, 17);

void pauseBadge(QPainter& painter) {
    painter.setPen(QPen(QColor(0x7A, 0x4B, 0x00), 1.0));
    painter.setBrush(QColor(0xF2, 0xB1, 0x1B));
    painter.drawEllipse(kBadge.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(19.5, 19, 3, 9));
    painter.drawRect(QRectF(24.5, 19, 3, 9));
}

void failedBadge(QPainter& painter) {
    painter.setPen(QPen(QColor(0x6E, 0x10, 0x10), 1.0));
    painter.setBrush(QColor(0xD3, 0x2F, 0x2F));
    painter.drawEllipse(kBadge.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(QPen(Qt::white, 3.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(23.5, 19), QPointF(23.5, 24.5));
    painter.drawPoint(QPointF(23.5, 28.5));
}

void (*const kBadges[])(QPainter&) = {nullptr, pauseBadge, failedBadge};

}  // namespace

TrayIcon::TrayIcon(QObject* parent, std::function<bool()> trayThere)
    : QObject(parent), trayThere_(std::move(trayThere)), menu_(new QMenu) {
    connect(menu_->addAction(QStringLiteral("Show &Timetable")), &QAction::triggered, this,
            &TrayIcon::showTimetableRequested);
    pause_ = menu_->addAction(QString());
    connect(pause_, &QAction::triggered, this, &TrayIcon::pauseRequested);
    connect(menu_->addAction(QStringLiteral("&History…")), &QAction::triggered, this, &TrayIcon::historyRequested);
    menu_->addSeparator();
    connect(menu_->addAction(QStringLiteral("&Quit")), &QAction::triggered, this, &TrayIcon::quitRequested);
    update();
    if (!trayThere_) {
        trayThere_ = &TrayIcon::available;
        askOnceTheBusAnswers();
    }
}

// Without a session bus named there is nothing to wait on: the toolkit finds none at once.
void TrayIcon::askOnceTheBusAnswers() {
    const std::optional<BusSocket> socket = sessionBusSocket();
    if (!socket && qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return;
    known_ = false;
    // The probe answers from the event loop, never before it is kept here.
    probe_ = new SessionBusProbe(
        socket,
        [this](bool answered, const QString&) {
            probe_->deleteLater();
            probe_ = nullptr;
            known_ = true;
            busAnswers_ = answered;
            emit trayKnown();
        },
        this);
}

QString TrayIcon::whyNone() const {
    if (!known_) return QStringLiteral("The system tray is still being looked for.");
    if (!busAnswers_) return QStringLiteral("The desktop's session bus does not answer, so its system tray cannot be asked.");
    return QStringLiteral("The desktop has no system tray.");
}

TrayIcon::~TrayIcon() {
    delete tray_;
    delete menu_;
}

bool TrayIcon::available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

bool TrayIcon::show() {
    if (!trayThere()) return false;
    if (!tray_) {
        tray_ = new QSystemTrayIcon;
        tray_->setContextMenu(menu_);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                emit showTimetableRequested();
        });
        update();
    }
    tray_->show();
    return true;
}

void TrayIcon::hide() {
    if (tray_) tray_->hide();
}

bool TrayIcon::isShown() const { return tray_ && tray_->isVisible(); }

QRect TrayIcon::geometry() const { return isShown() ? tray_->geometry() : QRect(); }

void TrayIcon::setPaused(bool paused) {
    paused_ = paused;
    update();
}

void TrayIcon::runFailed() {
    failed_ = true;
    update();
}

void TrayIcon::lookedAt() {
    failed_ = false;
    update();
}

void TrayIcon::setNextStart(const QString& nextStart) {
    nextStart_ = nextStart;
    update();
}

TrayIcon::Look TrayIcon::look() const {
    if (failed_) return Look::Failed;
    return paused_ ? Look::Paused : Look::Running;
}

QString TrayIcon::toolTip() const {
    QString text = paused_ ? QStringLiteral("Morrowset: paused") : QStringLiteral("Morrowset");
    if (!nextStart_.isEmpty()) text += QStringLiteral("\nNext start: ") + nextStart_;
    if (failed_) text += QStringLiteral("\nA run failed since you last looked.");
    return text;
}

QImage TrayIcon::image(Look look, int size) {
    QImage picture = morrowsetIconImage(size);
    if (const auto badge = kBadges[static_cast<int>(look)]) {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / kGrid, size / kGrid);
        badge(painter);
    }
    return picture;
}

QIcon TrayIcon::icon(Look look) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(image(look, size)));
    return icon;
}

void TrayIcon::update() {
    pause_->setText(paused_ ? QStringLiteral("&Start") : QStringLiteral("&Pause"));
    if (!tray_) return;
    // The next start is told every second: the tray hears only of what changed.
    if (look() != shownLook_ || tray_->icon().isNull()) tray_->setIcon(icon(look()));
    shownLook_ = look();
    if (const QString text = toolTip(); text != tray_->toolTip()) tray_->setToolTip(text);
}

}  // namespace morrowset
