#pragma once
// Watching started programs to their end on the event loop, without a thread.
//
// Each child is watched through a pidfd (pidfd_open) that the event loop of the watcher's
// thread waits on beside everything else. On a kernel without pidfds, one signalfd for
// SIGCHLD does it for all children (SIGCHLD is then blocked in the thread that made the
// watcher and in the threads it starts later), with a sweep every second in case another
// thread took the signal. Either way a child is reaped as soon as the event loop hears that
// it ended, so it never lingers as a zombie, and the clock is never held up by it.
//
// A process has one set of children and one SIGCHLD, so it has one watcher: processWatcher().
// A watcher only ever waits for the ids it was given, never for "any child", so it takes no
// child from code that waits for its own (the mail transport waits for sendmail).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace platform {

// How a child ended.
struct ChildEnd {
    int pid = 0;
    int exitStatus = -1;      // its exit status, or -1 when a signal ended it
    int signal = 0;           // the signal that ended it, 0 when it exited
    int64_t monotonicMs = 0;  // when the watcher saw it end (monotonicMilliseconds)
};
using OnChildEnd = std::function<void(const ChildEnd&)>;

class ChildWatcher {
public:
    enum class Method { Pidfd, ChildSignal };
    // The best method this kernel offers.
    static Method bestMethod();

    explicit ChildWatcher(Method method = bestMethod());
    ~ChildWatcher();  // children still running are left running, unwatched
    ChildWatcher(const ChildWatcher&) = delete;
    ChildWatcher& operator=(const ChildWatcher&) = delete;

    // Watches child `pid` until it ends; then reaps it and calls `onEnd` from the event
    // loop. Watching a child again replaces its callback. False, and nothing watched, when
    // `pid` is no child of this process (or was reaped already).
    bool watch(int pid, OnChildEnd onEnd = {});
    // The children watched that have not ended yet.
    int watching() const { return static_cast<int>(children_.size()); }

private:
    struct Child;
    void ended(int pid);
    void sweep();
    void startSweeping();

    Method method_;
    std::map<int, std::unique_ptr<Child>> children_;
    int signalFd_ = -1;
    bool unblockChildSignal_ = false;  // SIGCHLD was not blocked before this watcher
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    std::unique_ptr<QTimer> sweepTimer_;
};

// The process's watcher, made on first use in the calling thread, which must run a Qt
// event loop (the user-interface thread). It lives until the process ends.
ChildWatcher& processWatcher();

}  // namespace platform
