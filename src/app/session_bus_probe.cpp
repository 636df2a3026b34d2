#include "app/session_bus_probe.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace morrowset {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A value of a bus address with its "%XX" escapes undone; nothing when an escape is broken.
std::optional<std::string> unescaped(std::string_view value) {
    std::string text;
    for (std::size_t at = 0; at < value.size(); ++at) {
        if (value[at] != '%') {
            text += value[at];
            continue;
        }
        if (at + 2 >= value.size()) return std::nullopt;
        const int high = hexDigit(value[at + 1]), low = hexDigit(value[at + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        text += static_cast<char>(high * 16 + low);
        at += 2;
    }
    return text;
}

bool isSocket(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

std::optional<BusSocket> busSocketOf(std::string_view addresses, std::string_view runtimeDir) {
    constexpr std::string_view kUnix = "unix:";
    std::string_view address = addresses.substr(0, addresses.find(';'));
    if (!address.starts_with(kUnix)) return std::nullopt;
    address.remove_prefix(kUnix.size());
    while (!address.empty()) {
        const std::string_view pair = address.substr(0, address.find(','));
        address.remove_prefix(std::min(address.size(), pair.size() + 1));
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        const std::string_view key = pair.substr(0, equals);
        const std::optional<std::string> value = unescaped(pair.substr(equals + 1));
        if (!value) return std::nullopt;
        if (key == "path") return BusSocket{*value, false};
        if (key == "abstract") return BusSocket{*value, true};
        if (key == "runtime" && *value == "yes" && !runtimeDir.empty())
            return BusSocket{std::string(runtimeDir) + "/bus", false};
    }
    return std::nullopt;
}

std::optional<BusSocket> sessionBusSocket() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    const std::string_view runtime = runtimeDir ? runtimeDir : "";
    if (const char* addresses = std::getenv("DBUS_SESSION_BUS_ADDRESS"); addresses && *addresses)
        return busSocketOf(addresses, runtime);
    if (!runtime.empty() && isSocket(std::string(runtime) + "/bus"))
        return BusSocket{std::string(runtime) + "/bus"};
    return std::nullopt;
}

SessionBusProbe::SessionBusProbe(const std::optional<BusSocket>& socket, Done done, QObject* parent)
    : QObject(parent), done_(std::move(done)) {
    if (!socket) {
        finishLater(QStringLiteral("no session bus address that can be reached without waiting"));
        return;
    }
    if (const std::optional<QString> failed = greet(*socket)) {
        finishLater(*failed);
        return;
    }
    readable_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(readable_, &QSocketNotifier::activated, this, &SessionBusProbe::onReadable);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        finish(false,
               QStringLiteral("the session bus did not answer within %1 s").arg(kAnswerWithinMs / 1000));
    });
    deadline_.start(kAnswerWithinMs);
}

SessionBusProbe::~SessionBusProbe() {
    closeSocket();
}

std::optional<QString> SessionBusProbe::greet(const BusSocket& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t skip = socket.abstract ? 1 : 0;  // an abstract name follows a zero byte
    if (socket.name.size() + 1 > sizeof address.sun_path)
        return QStringLiteral("the session bus's socket name is too long");
    std::memcpy(address.sun_path + skip, socket.name.data(), socket.name.size());
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + skip + socket.name.size() + (skip ? 0 : 1));
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return systemError("no socket for the session bus");
    // A Unix socket connects at once or not at all (EAGAIN: the daemon has a backlog it
    // does not take), so nothing here waits.
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), length) != 0)
        return systemError("cannot reach the session bus");
    // The authentication protocol's first line; a daemon at work answers it at once.
    static constexpr char kGreeting[] = "\0AUTH\r\n";
    constexpr auto kGreetingLength = sizeof kGreeting - 1;
    if (::send(fd_, kGreeting, kGreetingLength, MSG_NOSIGNAL | MSG_DONTWAIT) !=
        static_cast<ssize_t>(kGreetingLength))
        return systemError("cannot greet the session bus");
    return std::nullopt;
}

void SessionBusProbe::onReadable() {
    char answer[256];
    const ssize_t got = ::recv(fd_, answer, sizeof answer, MSG_DONTWAIT);
    if (got > 0)
        finish(true, {});
    else if (got == 0 || (errno != EAGAIN && errno != EINTR))
        finish(false, QStringLiteral("the session bus hung up"));
}

void SessionBusProbe::finishLater(const QString& why) {
    QMetaObject::invokeMethod(
        this, [this, why] { finish(false, why); }, Qt::QueuedConnection);
}

void SessionBusProbe::finish(bool answered, const QString& why) {
    if (!done_) return;
    closeSocket();
    deadline_.stop();
    const Done done = std::move(done_);
    done_ = nullptr;
    done(answered, why);  // last: the owner may be done with the probe
}

void SessionBusProbe::closeSocket() {
    delete readable_;
    readable_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace morrowset
