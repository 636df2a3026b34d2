#include "platform/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <random>
#include <utility>

#include "platform/file_errors.h"
#include "platform/services.h"

namespace platform {
namespace {

constexpr int kRandomLength = 12;
constexpr int kNameAttempts = 100;
// A replacement takes well under this; a newer temporary file may be another copy's
// replacement in progress.
constexpr time_t kStaleAfterSeconds = 60;

std::string baseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// ".<name>.<tag>.": what the temporary names of a replacement of `name` begin with.
std::string temporaryPrefix(const std::string& name) {
    const std::string& system = services().identity.systemName;
    return "." + name + "." + (system.empty() ? std::string("save") : system + "-save") + ".";
}

bool isTemporaryName(std::string_view entry, const std::string& prefix) {
    if (!entry.starts_with(prefix)) return false;
    const std::string_view random = entry.substr(prefix.size());
    return random.size() == kRandomLength &&
           std::all_of(random.begin(), random.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

std::string freshName(const std::string& prefix) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string name = prefix;
    for (int i = 0; i < kRandomLength; ++i) name += kLetters[pick(random)];
    return name;
}

// Removes what a replacement killed half-way left: plain files of the user's with a
// temporary name, once they are a minute old.
void removeStaleTemporaries(int folderFd, const std::string& prefix) {
    const int listFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* folder = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!folder) {
        if (listFd >= 0) ::close(listFd);
        return;
    }
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(folder)) {
        if (!isTemporaryName(entry->d_name, prefix)) continue;
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid() && now - info.st_mtime > kStaleAfterSeconds)
            ::unlinkat(folderFd, entry->d_name, 0);
    }
    ::closedir(folder);
}

// Hands `bytes` to `put(rest, done)` until it has taken them all, going on after an
// interrupted or short write.
template <typename Put>
bool putAll(std::string_view bytes, Put put) noexcept {
    for (int64_t done = 0; !bytes.empty();) {
        const ssize_t written = put(bytes, done);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return false;
        if (written == 0) {
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        done += written;
    }
    return true;
}

}  // namespace

bool writeAll(int fd, std::string_view bytes) noexcept {
    return putAll(bytes, [fd](std::string_view rest, int64_t) { return ::write(fd, rest.data(), rest.size()); });
}

bool writeAllAt(int fd, std::string_view bytes, int64_t offset) noexcept {
    return putAll(bytes, [fd, offset](std::string_view rest, int64_t done) {
        return ::pwrite(fd, rest.data(), rest.size(), offset + done);
    });
}

std::size_t readAt(int fd, char* into, std::size_t length, int64_t offset) noexcept {
    std::size_t have = 0;
    while (have < length) {
        const ssize_t got = ::pread(fd, into + have, length - have, offset + static_cast<int64_t>(have));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    return have;
}

void syncFolder(const char* folder) noexcept {
    const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

FileReplacement::~FileReplacement() { discard(); }

int FileReplacement::begin(const std::string& path, mode_t mode) {
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return errno;
    const int result = begin(folder, baseName(path), mode);
    ::close(folder);
    return result;
}

int FileReplacement::begin(int folderFd, std::string name, mode_t mode) {
    discard();
    folderFd_ = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (folderFd_ < 0) return errno;
    name_ = std::move(name);
    const std::string prefix = temporaryPrefix(name_);
    removeStaleTemporaries(folderFd_, prefix);
    fd_ = ::openat(folderFd_, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, mode);
    // A file system without unnamed files: a named one, under a name nobody has.
    int error = fd_ >= 0 ? 0 : EEXIST;
    for (int attempt = 0; attempt < kNameAttempts && error == EEXIST; ++attempt) {
        std::string candidate = freshName(prefix);
        fd_ = ::openat(folderFd_, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        error = fd_ >= 0 ? 0 : errno;
        if (fd_ >= 0) temporary_ = std::move(candidate);
    }
    if (error == 0 && ::fstat(fd_, &made_) != 0) error = errno;
    if (error != 0) discard();
    return error;
}

// Links the unnamed file under a fresh name: a link cannot replace the old file itself.
int FileReplacement::giveName() {
    if (!temporary_.empty()) return 0;
    const std::string prefix = temporaryPrefix(name_);
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate = freshName(prefix);
        int linked = ::linkat(AT_FDCWD, procPath.c_str(), folderFd_, candidate.c_str(), AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno == ENOENT) linked = ::linkat(fd_, "", folderFd_, candidate.c_str(), AT_EMPTY_PATH);
        if (linked == 0) {
            temporary_ = std::move(candidate);
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

int FileReplacement::commit() {
    if (fd_ < 0) return EBADF;
    int error = ::fsync(fd_) == 0 ? giveName() : errno;
    // Some file systems report the last write errors only when the file is closed.
    if (::close(std::exchange(fd_, -1)) != 0 && error == 0) error = errno;
    if (error == 0 && ::renameat(folderFd_, temporary_.c_str(), folderFd_, name_.c_str()) != 0) error = errno;
    if (error == 0) {
        temporary_.clear();
        ::fsync(folderFd_);  // the rename durable; a failure here leaves the new file in place anyway
    }
    discard();
    return error;
}

void FileReplacement::discard() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    // Removed only while the name still leads to the file made here.
    struct stat named {};
    if (!temporary_.empty() && ::fstatat(folderFd_, temporary_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == made_.st_dev && named.st_ino == made_.st_ino)
        ::unlinkat(folderFd_, temporary_.c_str(), 0);
    temporary_.clear();
    if (folderFd_ >= 0) ::close(std::exchange(folderFd_, -1));
}

void replaceFileWhole(const std::string& path, std::string_view bytes, mode_t mode) {
    FileReplacement file;
    int error = file.begin(path, mode);
    if (error == 0 && !writeAll(file.fd(), bytes)) error = errno;
    if (error == 0) error = file.commit();
    if (error != 0) raiseErrno(error);
}

}  // namespace platform
