#include "platform/kept_file.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/log_open.h"

namespace platform {
namespace {

// Writes both pieces, going on after a short write; `offset` < 0 writes at the current
// position (the end, for a file opened to append). Only a stream (a FIFO or a device) can
// raise SIGPIPE, so only a stream pays for keeping it quiet: four system calls a line.
bool writeBoth(int fd, bool stream, int64_t offset, std::string_view head, std::string_view tail) {
    std::optional<BrokenPipeQuiet> quiet;
    if (stream) quiet.emplace();
    while (!head.empty() || !tail.empty()) {
        iovec pieces[2] = {{const_cast<char*>(head.data()), head.size()},
                           {const_cast<char*>(tail.data()), tail.size()}};
        // One piece goes by write, which costs the kernel less than writev.
        const ssize_t written = tail.empty() ? (offset < 0 ? ::write(fd, head.data(), head.size())
                                                           : ::pwrite(fd, head.data(), head.size(), offset))
                                : offset < 0 ? ::writev(fd, pieces, 2)
                                             : ::pwritev(fd, pieces, 2, offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        auto done = static_cast<std::size_t>(written);
        if (offset >= 0) offset += written;
        const std::size_t fromHead = std::min(done, head.size());
        head.remove_prefix(fromHead);
        tail.remove_prefix(done - fromHead);
    }
    return true;
}

// The copy into a mapping in progress, for the SIGBUS handler: the range it writes to and
// where to return when that range faults. One copy at a time (the trace runs on one thread).
sigjmp_buf faultedCopyReturn;
std::atomic<const char*> copyBegin{nullptr};
std::atomic<const char*> copyEnd{nullptr};

}  // namespace

bool KeptFile::open(const std::string& path, Mode mode) {
    close();
    const int fd = openLogFile(path, mode == Mode::Append ? LogAccess::Append : LogAccess::ReadWrite);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    stream_ = !S_ISREG(info.st_mode);
    nextReplacedCheck_ = 0;
    return true;
}

void KeptFile::close() {
    unmap();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void KeptFile::unmap() {
    if (mapped_) ::munmap(mapped_, static_cast<std::size_t>(mappedSize_));
    mapped_ = nullptr;
    mappedSize_ = 0;
}

bool KeptFile::mapWhole(int64_t size) {
    unmap();
    if (fd_ < 0 || size <= 0) return false;
    // Reserved, not only a hole: a full disk then fails here, not at some later copy.
    if (::posix_fallocate(fd_, 0, size) != 0) return false;
    void* memory = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (memory == MAP_FAILED) return false;
    mapped_ = static_cast<char*>(memory);
    mappedSize_ = size;
    return true;
}

bool KeptFile::copyToMapping(int64_t offset, std::string_view text, std::size_t zeros) noexcept {
    if (!mapped_ || offset < 0 || offset > mappedSize_ ||
        text.size() + zeros > static_cast<uint64_t>(mappedSize_ - offset))
        return false;
    char* to = mapped_ + offset;
    copyBegin.store(to, std::memory_order_relaxed);
    copyEnd.store(to + text.size() + zeros, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    // The mask is not saved here (that would cost a system call per copy); the handler
    // unblocks what it blocked before it returns here.
    if (sigsetjmp(faultedCopyReturn, 0) != 0) {
        copyBegin.store(nullptr, std::memory_order_relaxed);
        return false;
    }
    std::memcpy(to, text.data(), text.size());
    std::memset(to + text.size(), 0, zeros);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    copyBegin.store(nullptr, std::memory_order_relaxed);
    return true;
}

void KeptFile::escapeFaultedCopy(const void* address) noexcept {
    const char* begin = copyBegin.load(std::memory_order_relaxed);
    const char* end = copyEnd.load(std::memory_order_relaxed);
    const auto* at = static_cast<const char*>(address);
    if (!begin || at < begin || at >= end) return;
    sigset_t fatal;
    sigemptyset(&fatal);
    for (const int number : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) sigaddset(&fatal, number);
    ::pthread_sigmask(SIG_UNBLOCK, &fatal, nullptr);
    siglongjmp(faultedCopyReturn, 1);
}

bool KeptFile::replaced() const {
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) return true;
    return info.st_dev != device_ || info.st_ino != inode_;
}

bool KeptFile::replacedLately(int64_t nowMilliseconds) {
    if (nowMilliseconds < nextReplacedCheck_) return false;
    nextReplacedCheck_ = nowMilliseconds + kReplacedCheckInterval;
    return replaced() || shorterThanMapping();
}

// Copies past the end of the file would be lost (in its last page) or fault (beyond it).
bool KeptFile::shorterThanMapping() const {
    struct stat info {};
    return mapped_ && (::fstat(fd_, &info) != 0 || info.st_size < mappedSize_);
}

bool KeptFile::writeAt(int64_t offset, std::string_view head, std::string_view tail) {
    return fd_ >= 0 && offset >= 0 && writeBoth(fd_, stream_, offset, head, tail);
}

bool KeptFile::appendOnce(const char* path, std::string_view head, std::string_view tail) noexcept {
    const int fd = openLogFile(path, LogAccess::Append);
    if (fd < 0) return false;
    struct stat info {};
    bool written = false;
    if (::fstat(fd, &info) == 0) {
        if (S_ISREG(info.st_mode)) {
            written = writeBoth(fd, false, -1, head, tail);
        } else {
            const BrokenPipeQuiet quiet;
            written = writeToStream(fd, {head, tail}) == StreamWrite::Whole;
        }
    }
    ::close(fd);
    return written;
}

bool KeptFile::append(std::string_view head, std::string_view tail) {
    if (fd_ < 0) return false;
    if (stream_) return appendToStream(head, tail);
    // The usual case, a line to a regular file written whole at once, without the loop's
    // bookkeeping: this runs for every trace line.
    if (!stream_ && tail.empty() && !head.empty()) {
        const ssize_t written = ::write(fd_, head.data(), head.size());
        if (written == static_cast<ssize_t>(head.size())) return true;
        if (written > 0)
            head.remove_prefix(static_cast<std::size_t>(written));  // the loop writes the rest
        else if (written == 0 || errno != EINTR)
            return false;
    }
    return writeBoth(fd_, stream_, -1, head, tail);
}

// A stream takes each line whole or not at all, and never waits for its reader; what it
// did not take is counted and said once, before the next line it takes.
bool KeptFile::appendToStream(std::string_view head, std::string_view tail) noexcept {
    const BrokenPipeQuiet quiet;
    StreamWrite result;
    if (lost_ == 0) {
        result = writeToStream(fd_, {head, tail});
    } else {
        char notice[kLossNoticeCapacity];
        result = writeToStream(fd_, {lossNotice(notice, sizeof notice, lost_, torn_, "lines"), head, tail});
    }
    if (result == StreamWrite::Whole) {
        lost_ = 0;
        torn_ = false;
        return true;
    }
    ++lost_;
    torn_ = torn_ || result == StreamWrite::Torn;
    return false;
}

}  // namespace platform
