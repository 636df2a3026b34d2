#pragma once
// A desktop notice when a run fails, through the freedesktop notification service on the
// session bus: "Row 2 failed: exit status 3" with the command line in its body and an action
// that opens the run's output. A row's new notice replaces its previous one instead of
// piling up. Nothing is posted under "Silent Run", without a display, or when no
// notification service is on the bus; a notice is never waited on.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

namespace morrowset {

class FailureNotices : public QObject {
    Q_OBJECT

public:
    static constexpr int kRows = 6;
    // The action's key, as the service hands it back when the user picks it.
    static constexpr const char* kOpenOutputAction = "open-output";

    // Posts on `bus` (the session bus unless a test gives its own); `openOutput` opens an
    // output file (the desktop's viewer unless a test gives its own).
    explicit FailureNotices(QDBusConnection bus = QDBusConnection::sessionBus(),
                            std::function<void(const QString&)> openOutput = {}, QObject* parent = nullptr);

    // Row `row` (1 to 6) failed `how` ("exit status 3", "signal SIGKILL", "could not start
    // (error 53)"); its output, if any, is `outputPath`.
    void runFailed(int row, const QString& how, const QString& command, const QString& outputPath);

    // Whether notices are posted at all (not under Silent Run, not without a display).
    static bool wanted();

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action);

private:
    struct Posted {
        uint id = 0;
        QString outputPath;
    };
    QDBusConnection bus_;
    std::function<void(const QString&)> openOutput_;
    std::array<Posted, kRows> posted_{};
};

}  // namespace morrowset
