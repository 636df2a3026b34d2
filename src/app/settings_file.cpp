#include "app/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/app_object.h"
#include "platform/file_errors.h"
#include "platform/runtime_error.h"

namespace morrowset::settings {
namespace {

constexpr int32_t kBadFileNumber = 52;
constexpr int32_t kInputPastEnd = 62;
constexpr int32_t kPermissionDenied = 70;
constexpr int32_t kPathFileAccessError = 75;

// Only the user's own file, and one nobody else may change, may name programs for us to run.
bool trustworthy(const struct stat& info) {
    return info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::string filePath() { return platform::app().path() + "/Morrowset.ini"; }

std::string stateText(int16_t state) {
    return (state < 0 ? "-" : " ") + std::to_string(state < 0 ? -state : state) + " ";
}

void Reader::open(const std::string& path) {
    close();
    // Non-blocking, so that a pipe put in the file's place cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) platform::raiseErrno(errno);
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    const int32_t refusal = !known || !S_ISREG(info.st_mode) ? kPathFileAccessError
                            : !trustworthy(info)             ? kPermissionDenied
                                                             : 0;
    std::FILE* file = refusal ? nullptr : ::fdopen(fd, "r");
    if (!file) {
        ::close(fd);
        platform::raiseError(refusal ? refusal : platform::errorNumberForErrno(errno));
    }
    file_.reset(file);
}

std::string Reader::readLine() {
    if (!file_) platform::raiseError(kBadFileNumber);
    char* buffer = nullptr;
    std::size_t capacity = 0;
    const ssize_t length = ::getline(&buffer, &capacity, file_.get());
    const std::unique_ptr<char, decltype(&std::free)> owned(buffer, &std::free);
    if (length < 0) {
        if (std::ferror(file_.get())) platform::raiseErrno(errno);
        platform::raiseError(kInputPastEnd);
    }
    std::string line(buffer, static_cast<std::size_t>(length));
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

Writer::~Writer() { discard(); }

void Writer::open(const std::string& path) {
    discard();
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);  // readable and writable by the user only
    if (fd < 0) platform::raiseErrno(errno);
    fd_ = fd;
    path_ = path;
    temporaryPath_ = std::move(temporary);
}

void Writer::writeLine(std::string_view text) {
    if (fd_ < 0) platform::raiseError(kBadFileNumber);
    std::string line(text);
    line += "\r\n";
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd_, rest.data(), rest.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) platform::raiseErrno(errno);
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
}

void Writer::commit() {
    if (fd_ < 0) platform::raiseError(kBadFileNumber);
    if (::fsync(fd_) != 0) platform::raiseErrno(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) platform::raiseErrno(errno);
    if (::rename(temporaryPath_.c_str(), path_.c_str()) != 0) platform::raiseErrno(errno);
    temporaryPath_.clear();
    // Make the rename itself durable; a failure here leaves the new file in place anyway.
    const std::string folder = path_.substr(0, path_.find_last_of('/') + 1);
    const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
}

void Writer::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
}

}  // namespace morrowset::settings
