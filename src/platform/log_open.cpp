#include "platform/log_open.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits.h>
#include <sys/ioctl.h>
#include <sys/uio.h>

#include <array>
#include <atomic>
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

// A FIFO others can write could carry their lines into the log's reader as ours.
bool acceptable(const struct stat& info, LogAccess access, bool reachedByLink) {
    const bool own = info.st_uid == ::geteuid();
    if (S_ISREG(info.st_mode)) return own && !reachedByLink;
    if (access != LogAccess::Append) return false;
    return S_ISCHR(info.st_mode) || (S_ISFIFO(info.st_mode) && own && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0);
}

// One descriptor held back from start-up on: a report is still written when the process
// has run out of descriptors (the open that fails for want of one gives it up and tries
// again; the next open takes it back).
std::atomic<int> spareDescriptor{-1};

void takeSpareDescriptor() noexcept {
    if (spareDescriptor.load() >= 0) return;
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int none = -1;
    if (fd >= 0 && !spareDescriptor.compare_exchange_strong(none, fd)) ::close(fd);
}

bool giveUpSpareDescriptor() noexcept {
    const int fd = spareDescriptor.exchange(-1);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

int openWithSpare(const char* path, int flags) {
    const int fd = openRetrying(path, flags);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE) && giveUpSpareDescriptor()) return openRetrying(path, flags);
    return fd;
}

// /dev/stdout and its kind are links; they may be followed, but only to a stream.
int openThroughLink(const char* path, int flags) {
    struct stat target {};
    if (::stat(path, &target) != 0 || !(S_ISFIFO(target.st_mode) || S_ISCHR(target.st_mode))) {
        errno = EPERM;
        return -1;
    }
    return openWithSpare(path, flags & ~(O_NOFOLLOW | O_CREAT | O_EXCL));
}

}  // namespace

int openLogFile(const char* path, LogAccess access, bool* madeNew) noexcept {
    if (madeNew) *madeNew = false;
    const int flags = O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC |
                      (access == LogAccess::Append           ? O_WRONLY | O_APPEND
                       : access == LogAccess::AppendReadable ? O_RDWR | O_APPEND
                                                             : O_RDWR);
    takeSpareDescriptor();
    bool reachedByLink = false;
    int fd = openWithSpare(path, flags);
    if (fd < 0 && errno == ENOENT) {
        fd = openWithSpare(path, flags | O_CREAT | O_EXCL);
        if (fd >= 0 && madeNew) *madeNew = true;
        if (fd < 0 && errno == EEXIST) fd = openWithSpare(path, flags);  // made meanwhile
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
    // Stays non-blocking: a reader that stops reading must never hold the program.
    return fd;
}

void reserveLogDescriptor() noexcept { takeSpareDescriptor(); }

StreamWrite writeToStream(int fd, std::initializer_list<std::string_view> pieces) noexcept {
    std::array<iovec, 4> vector{};
    std::size_t count = 0;
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
        if (piece.empty() || count == vector.size()) continue;
        vector[count++] = {const_cast<char*>(piece.data()), piece.size()};
        size += piece.size();
    }
    if (size == 0) return StreamWrite::Whole;
    // Up to PIPE_BUF bytes a FIFO takes whole or not at all; a longer text goes only when
    // the pipe has room for all of it.
    if (size > PIPE_BUF) {
        int capacity = ::fcntl(fd, F_GETPIPE_SZ);
        int queued = 0;
        if (capacity > 0 && ::ioctl(fd, FIONREAD, &queued) == 0 &&
            static_cast<std::size_t>(capacity - queued) < size)
            return StreamWrite::Lost;
    }
    ssize_t written;
    do {
        written = ::writev(fd, vector.data(), static_cast<int>(count));
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(size)) return StreamWrite::Whole;
    return written > 0 ? StreamWrite::Torn : StreamWrite::Lost;
}

std::string_view lossNotice(char* into, std::size_t capacity, int64_t lost, bool torn, std::string_view what) noexcept {
    std::size_t size = 0;
    auto add = [&](std::string_view text) {
        for (const char c : text)
            if (size < capacity) into[size++] = c;
    };
    char digits[24];
    std::size_t count = 0;
    for (uint64_t n = lost > 0 ? static_cast<uint64_t>(lost) : 0; count == 0 || n > 0; n /= 10)
        digits[count++] = static_cast<char>('0' + n % 10);
    if (torn) add("\r\n");
    add("(");
    while (count > 0) add(std::string_view(&digits[--count], 1));
    add(" ");
    add(what);
    add(" lost here: the reader of this log did not take them in time)\r\n");
    return {into, size};
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
