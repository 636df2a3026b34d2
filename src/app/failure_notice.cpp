#include "app/failure_notice.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QUrl>
#include <QVariantMap>

#include "errortrap/core/runtime.h"

namespace morrowset {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

void openWithDesktop(const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

}  // namespace

FailureNotices::FailureNotices(QDBusConnection bus, std::function<void(const QString&)> openOutput, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), openOutput_(openOutput ? std::move(openOutput) : openWithDesktop) {
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(onActionInvoked(uint, QString)));
}

bool FailureNotices::wanted() {
    const wardline::RuntimeState& state = wardline::runtime();
    return !state.withoutDisplay && !state.prefs.silentRun;
}

void FailureNotices::runFailed(int row, const QString& how, const QString& command, const QString& outputPath) {
    if (row < 1 || row > kRows || !wanted() || !bus_.isConnected()) return;
    QDBusConnectionInterface* names = bus_.interface();
    if (!names || !names->isServiceRegistered(kService)) return;

    Posted& posted = posted_[static_cast<std::size_t>(row - 1)];
    posted.outputPath = outputPath;
    QStringList actions;
    if (!outputPath.isEmpty()) actions << QString::fromLatin1(kOpenOutputAction) << QStringLiteral("Open output");
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    notify << QStringLiteral("Morrowset") << posted.id << QStringLiteral("morrowset")
           << QStringLiteral("Row %1 failed: %2").arg(row).arg(how) << command << actions << QVariantMap()
           << int32_t{-1};
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, row, watcher] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid()) posted_[static_cast<std::size_t>(row - 1)].id = reply.value();
        watcher->deleteLater();
    });
}

void FailureNotices::onActionInvoked(uint id, const QString& action) {
    if (id == 0 || action != QLatin1String(kOpenOutputAction)) return;
    for (const Posted& posted : posted_)
        if (posted.id == id && !posted.outputPath.isEmpty()) openOutput_(posted.outputPath);
}

}  // namespace morrowset
