#pragma once
// Requests to the first instance over its socket (instance_lock.h): a later process sends
// one line and reads the answer until the first one closes the connection. What the lines
// say is the caller's business; here they are bytes.
//
// The first instance serves them on its event loop and never waits for a peer: the
// listening socket and each connection are non-blocking and watched by socket notifiers.
// A connection that has not sent a whole line, or not taken its whole answer, within
// kRequestPatience is dropped; so is one whose line runs past kLongestRequest. A
// connection closed without a byte is the request of a later start as it has always been
// sent: bring the window to the front.
//
// The asking side never waits past the patience it is given.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include <QObject>

#include "platform/instance_lock.h"

class QSocketNotifier;

namespace platform {

// How long a connection may take to send its line and to take its answer.
constexpr std::chrono::milliseconds kRequestPatience{2000};
// The longest request line, its line end included.
constexpr std::size_t kLongestRequest = 256;
// The longest answer a request may have: an answer that goes on past it is no answer.
constexpr std::size_t kLongestAnswer = 1 << 20;

// The first instance's end: listens on the socket `name` for as long as it lives.
class InstanceServer : public QObject {
public:
    struct Handlers {
        // A connection closed without a byte: a later start asks for the window.
        std::function<void()> show;
        // A request line, without its line end; returns the whole answer.
        std::function<std::string(const std::string& line)> answer;
    };

    // Not listening() when the socket cannot be had (InstanceListener).
    InstanceServer(const std::string& name, Handlers handlers, QObject* parent = nullptr);
    ~InstanceServer() override;
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

    bool listening() const { return listener_.listening(); }
    // The connections open now.
    int connections() const;

private:
    class Connection;
    void acceptWaiting();

    InstanceListener listener_;
    Handlers handlers_;
    std::unique_ptr<QSocketNotifier> waiting_;
    QObject connections_;  // the open connections, as its children
};

// What became of a request.
struct InstanceAnswer {
    enum class Status {
        Answered,    // the whole answer came, and the connection was closed
        NotRunning,  // nobody listens on the socket (or only another user)
        NoAnswer,    // connected, but no whole answer within the patience
    };
    Status status = Status::NotRunning;
    std::string text;  // the answer, when Answered
};

// Sends `line` (a line end is added) to the instance holding the lock `name` and reads its
// answer, taking no longer than `patience` in all.
InstanceAnswer askInstance(const std::string& name, const std::string& line, std::chrono::milliseconds patience);

}  // namespace platform
