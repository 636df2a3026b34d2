#include "timetable/own_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/file_io.h"

namespace morrowset {

OwnFile::~OwnFile() {
    if (fd_ >= 0) ::close(fd_);
}

OwnFile::OwnFile(OwnFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), device_(other.device_), inode_(other.inode_) {}

OwnFile& OwnFile::operator=(OwnFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        device_ = other.device_;
        inode_ = other.inode_;
    }
    return *this;
}

OwnFile OwnFile::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        errno = EPERM;
        return {};
    }
    return OwnFile(fd, info.st_dev, info.st_ino);
}

int64_t OwnFile::size() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) return 0;
    return info.st_size;
}

bool OwnFile::isAt(const std::string& path) const {
    struct stat info {};
    return fd_ >= 0 && ::lstat(path.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_;
}

std::string OwnFile::read(int64_t offset, std::size_t count) const {
    std::string bytes(count, '\0');
    bytes.resize(fd_ >= 0 ? platform::readAt(fd_, bytes.data(), count, offset) : 0);
    return bytes;
}

}  // namespace morrowset
