#include "app/failure_notice.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>
#include <algorithm>
#include <cstdio>

#include "app/output_viewer.h"
#include "app/session_bus_probe.h"
#include "errortrap/core/runtime.h"
#include "platform/app_object.h"

namespace morrowset {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

void openInViewer(const QString& path, const QString& heading) { showOutputViewer(path, heading); }

QDBusMessage serviceCall(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

// Text as a body the service reads as markup: every character that markup gives a meaning
// stands as itself, so a command line cannot bring in a tag (an image from any file).
QString asMarkup(const QString& text) {
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

// Calls `then(watcher)` on `owner` once the call is answered (or has failed).
template <typename Then>
void whenAnswered(QObject* owner, const QDBusPendingCall& call, Then then) {
    auto* watcher = new QDBusPendingCallWatcher(call, owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner, [watcher, then] {
        watcher->deleteLater();
        then(*watcher);
    });
}

}  // namespace

FailureNotices::FailureNotices(OpenOutput openOutput, QObject* parent)
    : QObject(parent), sessionBus_(true), openOutput_(openOutput ? std::move(openOutput) : openInViewer) {}

FailureNotices::FailureNotices(QDBusConnection bus, OpenOutput openOutput, QObject* parent)
    : QObject(parent),
      bus_(std::move(bus)),
      sessionBus_(false),
      openOutput_(openOutput ? std::move(openOutput) : openInViewer) {}

FailureNotices::~FailureNotices() = default;

bool FailureNotices::wanted() {
    const wardline::RuntimeState& state = wardline::runtime();
    return !state.withoutDisplay && !state.prefs.silentRun;
}

void FailureNotices::runFailed(int row, const QString& how, const QString& command, const QString& outputPath,
                               bool stopped) {
    if (row < 1 || row > kRows || !wanted()) return;
    Row& waitingRow = rows_[static_cast<std::size_t>(row - 1)];
    if (waitingRow.waiting) drop();  // the newer one says more; this one is not said
    const QString title = stopped ? QStringLiteral("Row %1 stopped: %2") : QStringLiteral("Row %1 failed: %2");
    waitingRow.waiting = Notice{title.arg(row).arg(how), command, outputPath};
    advance();
}

// Takes the notices that wait as far as they can go now: the bus first, then the service's
// capabilities, then each row whose last notice has been answered.
void FailureNotices::advance() {
    if (std::none_of(rows_.begin(), rows_.end(), [](const Row& row) { return row.waiting.has_value(); }))
        return;
    if (!bus_) {
        if (sessionBus_ && !probe_) probeSessionBus();
        return;
    }
    if (!bus_->isConnected()) {
        const QString error = bus_->lastError().message();
        dropWaiting(error.isEmpty() ? QStringLiteral("not connected to the session bus") : error);
        return;
    }
    if (service_ == Service::Unknown) askCapabilities();
    if (service_ != Service::Ready) return;
    for (std::size_t row = 0; row < rows_.size(); ++row)
        if (rows_[row].waiting && !rows_[row].sending) post(row);
}

void FailureNotices::probeSessionBus() {
    probe_ = new SessionBusProbe(
        sessionBusSocket(),
        [this](bool answered, const QString& why) {
            probe_->deleteLater();
            probe_ = nullptr;
            if (!answered) return dropWaiting(why);
            bus_ = QDBusConnection::sessionBus();  // quick now: the daemon has just answered
            advance();
        },
        this);
}

void FailureNotices::askCapabilities() {
    service_ = Service::Asking;
    whenAnswered(this, bus_->asyncCall(serviceCall(QStringLiteral("GetCapabilities"))),
                 [this](QDBusPendingCallWatcher& answer) { onCapabilities(answer); });
}

void FailureNotices::onCapabilities(QDBusPendingCallWatcher& answer) {
    const QDBusPendingReply<QStringList> capabilities = answer;
    if (capabilities.isError()) {
        service_ = Service::Unknown;  // asked again for the next notice
        return dropWaiting(capabilities.error().message());
    }
    markup_ = capabilities.value().contains(QStringLiteral("body-markup"));
    serviceName_ = answer.reply().service();
    service_ = Service::Ready;
    hookSignals();
    advance();
}

// From any sender: naming the service would have Qt ask the bus for its owner and wait for
// the answer. The slots check the sender instead.
void FailureNotices::hookSignals() {
    if (hooked_) return;
    hooked_ = true;
    bus_->connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    bus_->connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
}

void FailureNotices::post(std::size_t row) {
    Row& posting = rows_[row];
    const Notice notice = std::move(*posting.waiting);
    posting.waiting.reset();
    posting.sending = true;
    QStringList actions;
    if (!notice.outputPath.isEmpty())
        actions << QString::fromLatin1(kOpenOutputAction) << QStringLiteral("Open output");
    QDBusMessage notify = serviceCall(QStringLiteral("Notify"));
    notify << QStringLiteral("Morrowset") << posting.id << QStringLiteral("morrowset") << notice.summary
           << (markup_ ? asMarkup(notice.command) : notice.command) << actions << QVariantMap()
           << int32_t{-1};
    whenAnswered(this, bus_->asyncCall(notify),
                 [this, row, notice](QDBusPendingCallWatcher& answer) { onPosted(row, notice, answer); });
}

void FailureNotices::onPosted(std::size_t row, const Notice& notice, QDBusPendingCallWatcher& answer) {
    Row& posted = rows_[row];
    posted.sending = false;
    const QDBusPendingReply<uint> id = answer;
    if (id.isValid()) {
        posted.id = id.value();
        posted.shown = notice;
        serviceName_ = answer.reply().service();
    } else {
        service_ = Service::Unknown;  // perhaps another service (or none) by the next notice
        drop(id.error().message());
    }
    advance();
}

void FailureNotices::dropWaiting(const QString& why) {
    for (Row& row : rows_) {
        if (!row.waiting) continue;
        row.waiting.reset();
        drop(why);
    }
}

void FailureNotices::drop(const QString& why) {
    ++dropped_;
    if (why.isEmpty() || said_) return;
    said_ = true;
    std::fprintf(stderr, "%s: a failed run's desktop notice could not go (%s); such notices are dropped\n",
                 platform::app().exeName().c_str(), why.toLocal8Bit().constData());
}

bool FailureNotices::fromService() const {
    return calledFromDBus() && message().service() == serviceName_;
}

void FailureNotices::onActionInvoked(uint id, const QString& action) {
    if (id == 0 || action != QLatin1String(kOpenOutputAction) || !fromService()) return;
    for (const Row& row : rows_)
        if (row.id == id && !row.shown.outputPath.isEmpty())
            openOutput_(row.shown.outputPath, row.shown.summary + QLatin1Char('\n') + row.shown.command);
}

// A notice the user (or the service) closed is gone: the row's next one is a new notice.
void FailureNotices::onNotificationClosed(uint id, uint) {
    if (id == 0 || !fromService()) return;
    for (Row& row : rows_) {
        if (row.id != id) continue;
        row.id = 0;
        row.shown = {};
    }
}

}  // namespace morrowset
