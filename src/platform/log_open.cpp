#include "platform/log_open.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

constexpr mode_t kNewLogMode = 0600;

int openRetrying(const char* path, int flags) {
    int fd;
    do {
        fd = ::open(path, flags, kNewLogMode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool acceptable(const struct stat& info, LogAccess access, bool reachedByLink) {
    const bool own = info.st_uid == ::geteuid();
    if (S_ISREG(info.st_mode)) return own && !reachedByLink;
    if (access != LogAccess::Append) return false;
    return S_ISCHR(info.st_mode) || (S_ISFIFO(info.st_mode) && own);
}

// /dev/stdout and its kind are links; they may be followed, but only to a stream.
int openThroughLink(const char* path, int flags) {
    struct stat target {};
    if (::stat(path, &target) != 0 || !(S_ISFIFO(target.st_mode) || S_ISCHR(target.st_mode))) {
        errno = EPERM;
        return -1;
    }
    return openRetrying(path, flags & ~(O_NOFOLLOW | O_CREAT | O_EXCL));
}

}  // namespace

int openLogFile(const char* path, LogAccess access, bool* madeNew) noexcept {
    if (madeNew) *madeNew = false;
    const int flags = O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC |
                      (access == LogAccess::Append           ? O_WRONLY | O_APPEND
                       : access == LogAccess::AppendReadable ? O_RDWR | O_APPEND
                                                             : O_RDWR);
    bool reachedByLink = false;
    int fd = openRetrying(path, flags);
    if (fd < 0 && errno == ENOENT) {
        fd = openRetrying(path, flags | O_CREAT | O_EXCL);
        if (fd >= 0 && madeNew) *madeNew = true;
        if (fd < 0 && errno == EEXIST) fd = openRetrying(path, flags);  // made meanwhile
    }
    if (fd < 0 && errno == ELOOP) {
        reachedByLink = true;
        fd = openThroughLink(path, flags);
    }
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !acceptable(info, access, reachedByLink)) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    // Writes wait as usual once a reader is there.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

BrokenPipeQuiet::BrokenPipeQuiet() {
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previousMask_);
}

BrokenPipeQuiet::~BrokenPipeQuiet() {
    if (!wasPending_) {
        // Takes back the SIGPIPE our own writes raised, so it is not delivered later.
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        const timespec noWait{0, 0};
        while (sigtimedwait(&pipeOnly, nullptr, &noWait) == SIGPIPE) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace platform
