#include "platform/kept_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

// Writes both pieces, going on after a short write; `offset` < 0 writes at the current
// position (the end, for a file opened to append).
bool writeBoth(int fd, int64_t offset, std::string_view head, std::string_view tail) {
    while (!head.empty() || !tail.empty()) {
        iovec pieces[2] = {{const_cast<char*>(head.data()), head.size()},
                           {const_cast<char*>(tail.data()), tail.size()}};
        const ssize_t written = offset < 0 ? ::writev(fd, pieces, 2) : ::pwritev(fd, pieces, 2, offset);
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

}  // namespace

bool KeptFile::open(const std::string& path, Mode mode) {
    close();
    const int flags = O_CREAT | O_CLOEXEC | (mode == Mode::Append ? O_WRONLY | O_APPEND : O_RDWR);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    return true;
}

void KeptFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool KeptFile::replaced() const {
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) return true;
    return info.st_dev != device_ || info.st_ino != inode_;
}

bool KeptFile::writeAt(int64_t offset, std::string_view head, std::string_view tail) {
    return fd_ >= 0 && offset >= 0 && writeBoth(fd_, offset, head, tail);
}

bool KeptFile::appendOnce(const char* path, std::string_view head, std::string_view tail) noexcept {
    int fd;
    do {
        fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    const bool written = writeBoth(fd, -1, head, tail);
    ::close(fd);
    return written;
}

bool KeptFile::append(std::string_view head, std::string_view tail) {
    return fd_ >= 0 && writeBoth(fd_, -1, head, tail);
}

}  // namespace platform
