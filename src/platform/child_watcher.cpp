#include "platform/child_watcher.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <vector>

#include "platform/clock.h"

namespace platform {
namespace {

constexpr int kSweepMs = 1000;

int pidfdOpen(int pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    errno = ENOSYS;
    return -1;
#endif
}

// True while `pid` is a child of ours that nobody has reaped yet, ended or not.
bool isOurChild(int pid) {
    if (pid <= 0) return false;
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// Reaps `pid` when it has ended.
bool reap(int pid, ChildEnd& end) {
    int status = 0;
    pid_t reaped = 0;
    do {
        reaped = ::waitpid(pid, &status, WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped != pid) return reaped < 0;  // gone from under us (ECHILD): count it as ended
    end.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return true;
}

sigset_t childSignal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGCHLD);
    return set;
}

}  // namespace

struct ChildWatcher::Child {
    int pidfd = -1;
    QSocketNotifier* notifier = nullptr;  // goes with deleteLater: it may be the one calling
    OnChildEnd onEnd;

    ~Child() {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        if (pidfd >= 0) ::close(pidfd);
    }
};

ChildWatcher::Method ChildWatcher::bestMethod() {
    const int fd = pidfdOpen(static_cast<int>(::getpid()));
    if (fd < 0) return Method::ChildSignal;
    ::close(fd);
    return Method::Pidfd;
}

ChildWatcher::ChildWatcher(Method method) : method_(method) {
    if (method_ != Method::ChildSignal) return;
    const sigset_t set = childSignal();
    sigset_t before;
    ::pthread_sigmask(SIG_BLOCK, &set, &before);
    unblockChildSignal_ = sigismember(&before, SIGCHLD) == 0;
    signalFd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd_ >= 0 && QCoreApplication::instance()) {
        signalNotifier_ = std::make_unique<QSocketNotifier>(signalFd_, QSocketNotifier::Read);
        QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, [this] {
            signalfd_siginfo info{};
            while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            }
            sweep();
        });
    }
}

ChildWatcher::~ChildWatcher() {
    children_.clear();
    signalNotifier_.reset();
    if (signalFd_ >= 0) ::close(signalFd_);
    if (unblockChildSignal_) {
        const sigset_t set = childSignal();
        ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
}

bool ChildWatcher::watch(int pid, OnChildEnd onEnd) {
    // Without an event loop nothing hears of an end: children are reaped here instead,
    // once ended, when the next one is watched.
    const bool eventLoop = QCoreApplication::instance() != nullptr;
    if (!eventLoop) sweep();
    if (const auto known = children_.find(pid); known != children_.end()) {
        known->second->onEnd = std::move(onEnd);
        return true;
    }
    if (!isOurChild(pid)) return false;
    auto child = std::make_unique<Child>();
    child->onEnd = std::move(onEnd);
    if (method_ == Method::Pidfd) child->pidfd = pidfdOpen(pid);
    if (child->pidfd >= 0 && eventLoop) {
        child->notifier = new QSocketNotifier(child->pidfd, QSocketNotifier::Read);
        QObject::connect(child->notifier, &QSocketNotifier::activated, [this, pid] { ended(pid); });
    }
    // Without a pidfd (the other method, or no descriptor left for one) the once-a-second
    // sweep reaps it.
    if (child->pidfd < 0 && eventLoop) startSweeping();
    children_.emplace(pid, std::move(child));
    return true;
}

void ChildWatcher::ended(int pid) {
    const auto found = children_.find(pid);
    if (found == children_.end()) return;
    ChildEnd end{pid, -1, 0, monotonicMilliseconds()};
    if (!reap(pid, end)) return;
    // Off the list before the callback, which may start and watch another child.
    const OnChildEnd onEnd = std::move(found->second->onEnd);
    children_.erase(found);
    if (onEnd) onEnd(end);
}

void ChildWatcher::startSweeping() {
    if (!sweepTimer_) {
        sweepTimer_ = std::make_unique<QTimer>();
        sweepTimer_->setInterval(kSweepMs);
        QObject::connect(sweepTimer_.get(), &QTimer::timeout, [this] { sweep(); });
    }
    if (!sweepTimer_->isActive()) sweepTimer_->start();
}

void ChildWatcher::sweep() {
    std::vector<int> pids;
    for (const auto& [pid, child] : children_) pids.push_back(pid);
    for (const int pid : pids) ended(pid);
    if (children_.empty() && sweepTimer_) sweepTimer_->stop();
}

ChildWatcher& processWatcher() {
    static ChildWatcher* const watcher = new ChildWatcher;  // never destroyed: see the header
    return *watcher;
}

}  // namespace platform
