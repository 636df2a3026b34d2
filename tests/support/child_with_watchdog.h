#pragma once
// Runs code that must not wait for anybody in a child process, with a watchdog: a
// regression that blocks makes the test fail instead of hanging it. What the code does to
// files is seen by the test afterwards; its checks belong in the test, not in the child.
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <functional>
#include <optional>

namespace testsupport {

// Generous: the code under test returns at once, or never.
inline constexpr int kWatchdogMilliseconds = 30'000;

// The child's exit status: 0 when `body` returned, 1 when it threw. nullopt when it had
// not ended when the watchdog ran out (it is killed then) or could not be started.
inline std::optional<int> runInChildWithWatchdog(const std::function<void()>& body) {
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        int status = 0;
        try {
            body();
        } catch (...) {
            status = 1;
        }
        ::_exit(status);
    }
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    pollfd ended{pidfd, POLLIN, 0};
    const bool inTime = pidfd >= 0 && ::poll(&ended, 1, kWatchdogMilliseconds) == 1;
    if (pidfd >= 0) ::close(pidfd);
    if (!inTime) ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!inTime || !WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
}

}  // namespace testsupport
