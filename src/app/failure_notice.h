#pragma once
// A desktop notice when a run fails, through the freedesktop notification service on the
// session bus: "Row 2 failed: exit status 3" with the command line in its body and an action
// that opens the run's output. A row's new notice replaces its previous one instead of
// piling up. Nothing is posted under "Silent Run" or without a display.
//
// Nothing here waits for the bus or the service: every call goes out asynchronously, and
// one that is not answered costs the caller nothing. The session bus is connected to only
// once its daemon has answered a greeting (session_bus_probe.h). A row has at most one
// notice on its way: a newer one waits for its answer (the id it replaces), and replaces a
// notice still waiting. A notice that cannot go (no bus, no notification service, no
// answer, or replaced while it waited) is dropped and counted; the first one that could
// not go for want of the bus or the service is said, once, on standard error.
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "timetable/row_count.h"

class QDBusPendingCallWatcher;

namespace morrowset {

class SessionBusProbe;

class FailureNotices : public QObject, protected QDBusContext {
    Q_OBJECT

  public:
    static constexpr int kRows = kRowCount;
    // The action's key, as the service hands it back when the user picks it.
    static constexpr const char* kOpenOutputAction = "open-output";

    // Opens an output file under a heading (the notice's summary and command line).
    using OpenOutput = std::function<void(const QString& path, const QString& heading)>;

    // Posts on the session bus. `openOutput` opens an output file (the output viewer unless
    // a test gives its own).
    explicit FailureNotices(OpenOutput openOutput = {}, QObject* parent = nullptr);
    // Posts on `bus`, a connection made already.
    explicit FailureNotices(QDBusConnection bus, OpenOutput openOutput = {}, QObject* parent = nullptr);
    ~FailureNotices() override;

    // Row `row` (1 to 6) failed `how` ("exit status 3", "signal SIGKILL", "could not start
    // (error 53)"), or was stopped by Morrowset for `how` ("time limit 45 min reached"); its
    // output, if any, is `outputPath`.
    void runFailed(int row, const QString& how, const QString& command, const QString& outputPath,
                   bool stopped = false);

    // The notices dropped so far.
    int dropped() const { return dropped_; }

    // Whether notices are posted at all (not under Silent Run, not without a display).
    static bool wanted();

  private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

  private:
    struct Notice {
        QString summary;
        QString command;
        QString outputPath;
    };
    struct Row {
        uint id = 0;           // the service's id of the row's last notice, 0 when none
        Notice shown;          // that notice
        bool sending = false;  // a notice of the row is on its way
        std::optional<Notice> waiting;
    };
    enum class Service { Unknown, Asking, Ready };

    void advance();
    void probeSessionBus();
    void askCapabilities();
    void onCapabilities(QDBusPendingCallWatcher& answer);
    void hookSignals();
    void post(std::size_t row);
    void onPosted(std::size_t row, const Notice& notice, QDBusPendingCallWatcher& answer);
    void dropWaiting(const QString& why);
    // Counts a notice dropped; the first one dropped for a reason `why` is said.
    void drop(const QString& why = {});
    bool fromService() const;

    std::optional<QDBusConnection> bus_;  // none until the session bus answered
    const bool sessionBus_;
    SessionBusProbe* probe_ = nullptr;
    Service service_ = Service::Unknown;
    QString serviceName_;  // the unique bus name of the service that answered
    bool markup_ = false;  // the service reads the body as markup
    bool hooked_ = false;
    OpenOutput openOutput_;
    std::array<Row, kRows> rows_{};
    int dropped_ = 0;
    bool said_ = false;
};

}  // namespace morrowset
