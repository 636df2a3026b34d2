#include "platform/instance_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <thread>

#include "platform/clock.h"

namespace platform {

namespace {

// More connections open at once than any user's scripts need: beyond them a connection is
// closed at once, so that a peer opening many cannot take every descriptor we have.
constexpr int kMostConnections = 16;

int64_t millisecondsLeft(int64_t deadline) { return std::max<int64_t>(0, deadline - monotonicMilliseconds()); }

// Waits until `fd` is ready for `events` or the deadline passes; false at the deadline or
// on an error.
bool readyBy(int fd, short events, int64_t deadline) {
    for (;;) {
        pollfd watched{fd, events, 0};
        const int ready = ::poll(&watched, 1, static_cast<int>(millisecondsLeft(deadline)));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

// Connects, trying again while the listener's queue is full. -1 with errno: ENOENT or
// ECONNREFUSED (nobody listens), EPERM (another user), ETIMEDOUT (the queue stayed full).
int connectBy(const std::string& name, int64_t deadline) {
    for (;;) {
        const int fd = connectToInstance(name);
        if (fd >= 0 || errno != EAGAIN) return fd;
        if (millisecondsLeft(deadline) == 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool sendAllBy(int fd, const std::string& bytes, int64_t deadline) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            if (!readyBy(fd, POLLOUT, deadline)) return false;
        } else if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Reads until the peer closes; false at the deadline, on an error or past kLongestAnswer.
bool readAllBy(int fd, std::string& into, int64_t deadline) {
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) return true;
        if (n > 0) {
            into.append(chunk, static_cast<std::size_t>(n));
            if (into.size() > kLongestAnswer) return false;
        } else if (errno == EAGAIN) {
            if (!readyBy(fd, POLLIN, deadline)) return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

// One peer's connection: its line in, its answer out, then closed. It deletes itself when
// done, from the event loop.
class InstanceServer::Connection : public QObject {
public:
    Connection(int fd, const Handlers& handlers, QObject* parent)
        : QObject(parent),
          fd_(fd),
          handlers_(handlers),
          readable_(new QSocketNotifier(fd, QSocketNotifier::Read, this)),
          writable_(new QSocketNotifier(fd, QSocketNotifier::Write, this)) {
        writable_->setEnabled(false);
        connect(readable_, &QSocketNotifier::activated, this, [this] { readSome(); });
        connect(writable_, &QSocketNotifier::activated, this, [this] { writeSome(); });
        QTimer::singleShot(kRequestPatience, this, [this] { end(); });
    }
    // The notifiers go before their descriptor.
    ~Connection() override {
        delete readable_;
        delete writable_;
        ::close(fd_);
    }

private:
    void readSome() {
        char chunk[kLongestRequest];
        for (;;) {
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n > 0) {
                received_.append(chunk, static_cast<std::size_t>(n));
                if (const std::size_t lineEnd = received_.find('\n'); lineEnd != std::string::npos)
                    return answer(received_.substr(0, lineEnd));
                if (received_.size() >= kLongestRequest) return end();
            } else if (n == 0) {
                // Closed without a word: a later start. A line without its end is still a line.
                if (!received_.empty()) return answer(received_);
                if (handlers_.show) handlers_.show();
                return end();
            } else if (errno != EINTR) {
                if (errno != EAGAIN) end();
                return;
            }
        }
    }

    void answer(const std::string& line) {
        readable_->setEnabled(false);
        reply_ = handlers_.answer ? handlers_.answer(line) : std::string();
        writeSome();
    }

    void writeSome() {
        while (sent_ < reply_.size()) {
            const ssize_t n = ::send(fd_, reply_.data() + sent_, reply_.size() - sent_, MSG_NOSIGNAL);
            if (n > 0) {
                sent_ += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                writable_->setEnabled(true);
                return;
            } else if (n < 0 && errno != EINTR) {
                break;  // the peer has gone
            }
        }
        end();
    }

    void end() {
        readable_->setEnabled(false);
        writable_->setEnabled(false);
        deleteLater();
    }

    const int fd_;
    const Handlers& handlers_;  // the server's, which outlives its connections
    QSocketNotifier* const readable_;
    QSocketNotifier* const writable_;
    std::string received_;
    std::string reply_;
    std::size_t sent_ = 0;
};

InstanceServer::InstanceServer(const std::string& name, Handlers handlers, QObject* parent)
    : QObject(parent), listener_(name), handlers_(std::move(handlers)) {
    if (!listener_.listening()) return;
    waiting_ = std::make_unique<QSocketNotifier>(listener_.fd(), QSocketNotifier::Read);
    QObject::connect(waiting_.get(), &QSocketNotifier::activated, &connections_, [this] { acceptWaiting(); });
}

InstanceServer::~InstanceServer() = default;

int InstanceServer::connections() const { return static_cast<int>(connections_.children().size()); }

void InstanceServer::acceptWaiting() {
    for (int peer; (peer = listener_.acceptPeer()) >= 0;) {
        if (connections() >= kMostConnections)
            ::close(peer);
        else
            new Connection(peer, handlers_, &connections_);
    }
}

InstanceAnswer askInstance(const std::string& name, const std::string& line, std::chrono::milliseconds patience) {
    const int64_t deadline = monotonicMilliseconds() + patience.count();
    const int fd = connectBy(name, deadline);
    InstanceAnswer answer;
    if (fd < 0) {
        answer.status = errno == ETIMEDOUT ? InstanceAnswer::Status::NoAnswer : InstanceAnswer::Status::NotRunning;
        return answer;
    }
    answer.status = InstanceAnswer::Status::NoAnswer;
    if (sendAllBy(fd, line + "\n", deadline) && readAllBy(fd, answer.text, deadline))
        answer.status = InstanceAnswer::Status::Answered;
    ::close(fd);
    if (answer.status != InstanceAnswer::Status::Answered) answer.text.clear();
    return answer;
}

}  // namespace platform
