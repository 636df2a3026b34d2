#pragma once
// Whether the session bus's daemon answers, found out without waiting for it. Qt's own
// connection handshake waits for the daemon without limit: a stopped daemon would hold the
// thread that connects, and at the end of the program the program itself (Qt waits there
// for the thread it connects in). So the daemon is greeted first on a socket of our own,
// watched by the event loop, and only a daemon that answered is connected to.
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QSocketNotifier;

namespace morrowset {

// Where a bus listens: a Unix socket's path, or a name in the abstract namespace.
struct BusSocket {
    std::string name;
    bool abstract = false;
    bool operator==(const BusSocket&) const = default;
};

// The socket of the first address in `addresses`, a bus address list as in
// DBUS_SESSION_BUS_ADDRESS ("unix:path=/run/user/1000/bus,guid=...;tcp:..."), with
// "unix:runtime=yes" meaning `runtimeDir`/bus. Nothing when the first address is not a
// Unix socket's, or is malformed: such a bus cannot be greeted without waiting.
std::optional<BusSocket> busSocketOf(std::string_view addresses, std::string_view runtimeDir);

// The session bus's socket as the environment names it: DBUS_SESSION_BUS_ADDRESS, else
// the socket $XDG_RUNTIME_DIR/bus when there is one.
std::optional<BusSocket> sessionBusSocket();

// Greets the daemon on `socket` and calls `done` once, from the event loop: whether it
// answered within kAnswerWithinMs, and if not, why.
class SessionBusProbe : public QObject {
    Q_OBJECT

  public:
    static constexpr int kAnswerWithinMs = 5000;
    using Done = std::function<void(bool answered, const QString& why)>;

    SessionBusProbe(const std::optional<BusSocket>& socket, Done done, QObject* parent = nullptr);
    ~SessionBusProbe() override;
    SessionBusProbe(const SessionBusProbe&) = delete;
    SessionBusProbe& operator=(const SessionBusProbe&) = delete;

  private:
    // The greeting sent, or why it could not be.
    std::optional<QString> greet(const BusSocket& socket);
    void onReadable();
    void finish(bool answered, const QString& why);
    void finishLater(const QString& why);
    void closeSocket();

    int fd_ = -1;
    QSocketNotifier* readable_ = nullptr;
    QTimer deadline_;
    Done done_;
};

}  // namespace morrowset
