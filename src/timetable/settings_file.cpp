#include "timetable/settings_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <random>
#include <vector>

#include "platform/app_object.h"
#include "platform/error_texts.h"
#include "platform/file_errors.h"
#include "platform/file_io.h"
#include "platform/runtime_error.h"

namespace morrowset::settings {
namespace {

constexpr int kMaxLinkHops = 40;

std::string baseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The file a save replaces: `path`, or for a symbolic link the file it finally leads to
// (which need not exist yet). Raises 76 for a loop of links.
std::string finalTarget(std::string path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) platform::raiseErrno(errno);
        target.resize(static_cast<std::size_t>(length));
        path = target.starts_with('/') ? target : platform::folderOf(path) + "/" + target;
    }
    platform::raiseErrno(ELOOP);
}

bool ownedByUserOrRoot(uid_t owner) { return owner == ::geteuid() || owner == 0; }

// Puts the parts of `path` in front of `pending`, in order ("" and "." left out).
void pushComponents(std::deque<std::string>& pending, std::string_view path) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (!part.empty() && part != ".") parts.emplace_back(part);
        start = end + 1;
    }
    pending.insert(pending.begin(), parts.begin(), parts.end());
}

// A settings file that is a link is followed only when every link met on the way (the
// file's own included) and every folder passed through belong to the user or to root:
// anybody else could aim it at any file of the user's, to be read as a timetable and
// replaced by the next save. True for a path that is no link.
bool linkChainTrusted(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::string folder = path.starts_with('/') ? "" : std::filesystem::current_path().string();  // "": the root
    std::deque<std::string> pending;
    pushComponents(pending, path);
    int hops = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.front());
        pending.pop_front();
        if (name == "..") {
            folder = folder.empty() ? "" : platform::folderOf(folder);
            if (folder == "/") folder.clear();
            continue;
        }
        const std::string here = folder + "/" + name;
        if (::lstat(here.c_str(), &info) != 0) return true;  // nothing there to lead anywhere
        if (S_ISLNK(info.st_mode)) {
            if (!ownedByUserOrRoot(info.st_uid) || ++hops > kMaxLinkHops) return false;
            std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
            const ssize_t length = ::readlink(here.c_str(), target.data(), target.size());
            if (length < 0) return false;
            target.resize(static_cast<std::size_t>(length));
            if (target.starts_with('/')) folder.clear();
            pushComponents(pending, target);
            continue;
        }
        if (pending.empty() || !S_ISDIR(info.st_mode)) return true;  // the file itself, or a dead end
        if (!ownedByUserOrRoot(info.st_uid)) return false;
        folder = here;
    }
    return true;
}

// Raises 76 when the folder is gone, 75 when the file is read-only or is no plain file.
void refuseUnwritable(const std::string& target, const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        platform::raiseError(platform::kPathNotFound);
    if (::stat(target.c_str(), &info) != 0) return;  // a new file
    // The mode bits, not access(): they say read-only for every user, root included.
    if (!S_ISREG(info.st_mode) || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
        ::access(target.c_str(), W_OK) != 0)
        platform::raiseError(platform::kPathFileAccessError);
}

// A save's file before it takes the old one's place is named ".<name>.morrowset-save.<random>":
// a name nobody gives a file by hand, so that only files a save made are ever removed.
constexpr std::string_view kTemporaryMarker = ".morrowset-save.";
constexpr int kTemporaryRandomLength = 12;
// A save takes well under this; a newer file may be another copy's save in progress.
constexpr time_t kStaleAfterSeconds = 60;

std::string temporaryPrefix(const std::string& name) { return "." + name + std::string(kTemporaryMarker); }

bool isTemporaryName(std::string_view entry, const std::string& prefix) {
    if (!entry.starts_with(prefix)) return false;
    const std::string_view random = entry.substr(prefix.size());
    return random.size() == kTemporaryRandomLength &&
           std::all_of(random.begin(), random.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

// The temporary name for `target` in its folder, with a random part.
std::string temporaryName(const std::string& target) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string name = platform::folderOf(target) + "/" + temporaryPrefix(baseName(target));
    for (int i = 0; i < kTemporaryRandomLength; ++i) name += kLetters[pick(random)];
    return name;
}

// Removes temporary files of ours that a save killed half-way left in `folder`: only
// plain files of the user's with the temporary name, and only once they are a minute old.
void removeStaleTemporaries(const std::string& folder, const std::string& name) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const std::string prefix = temporaryPrefix(name);
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name, prefix)) continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid() && now - info.st_mtime > kStaleAfterSeconds)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// A new file of the user's only, under a fresh temporary name; its name in `created`.
int createTemporaryFile(const std::string& target, std::string& created) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryName(target);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            created = std::move(name);
            return fd;
        }
        if (errno != EEXIST) platform::raiseErrno(errno);
    }
    platform::raiseErrno(EEXIST);
}

// Only the user's own file, and one nobody else may change, may name programs for us to run.
bool trustworthy(const struct stat& info) {
    return info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::string filePath() { return filePath(platform::app().path()); }
std::string filePath(const std::string& appFolder) { return appFolder + "/Morrowset.ini"; }

std::string stateText(int16_t state) {
    return (state < 0 ? "-" : " ") + std::to_string(state < 0 ? -state : state) + " ";
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

void Reader::open(const std::string& path) {
    close();
    if (!linkChainTrusted(path)) platform::raiseError(platform::kPermissionDenied);
    // Non-blocking, so that a pipe put in the file's place cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) platform::raiseErrno(errno);
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    const int32_t refusal = !known || !S_ISREG(info.st_mode) ? platform::kPathFileAccessError
                            : !trustworthy(info)             ? platform::kPermissionDenied
                                                             : 0;
    std::FILE* file = refusal ? nullptr : ::fdopen(fd, "r");
    if (!file) {
        ::close(fd);
        platform::raiseError(refusal ? refusal : platform::errorNumberForErrno(errno));
    }
    file_.reset(file);
}

std::string Reader::readLine() {
    if (!file_) platform::raiseError(platform::kBadFileNameOrNumber);
    char* buffer = nullptr;
    std::size_t capacity = 0;
    const ssize_t length = ::getline(&buffer, &capacity, file_.get());
    const std::unique_ptr<char, decltype(&std::free)> owned(buffer, &std::free);
    if (length < 0) {
        if (std::ferror(file_.get())) platform::raiseErrno(errno);
        platform::raiseError(platform::kInputPastEndOfFile);
    }
    std::string line(buffer, static_cast<std::size_t>(length));
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string Reader::rest() {
    std::string bytes;
    if (!file_) return bytes;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file_.get())) > 0;) bytes.append(buffer, got);
    return bytes;
}

Writer::~Writer() { discard(); }

void Writer::open(const std::string& path) {
    discard();
    if (!linkChainTrusted(path)) platform::raiseError(platform::kPathFileAccessError);
    std::string target = finalTarget(path);
    const std::string folder = platform::folderOf(target);
    refuseUnwritable(target, folder);
    removeStaleTemporaries(folder, baseName(target));
    int fd = ::open(folder.c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600);
    if (fd >= 0) {
        unnamed_ = true;
    } else {
        // A file system without unnamed files: a named one, removed if the save fails.
        fd = createTemporaryFile(target, temporaryPath_);
    }
    fd_ = fd;
    path_ = std::move(target);
}

void Writer::writeLine(std::string_view text) {
    if (fd_ < 0) platform::raiseError(platform::kBadFileNameOrNumber);
    std::string line(text);
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    line += "\r\n";
    if (!platform::writeAll(fd_, line)) platform::raiseErrno(errno);
}

void Writer::writeBytes(std::string_view bytes) {
    if (fd_ < 0) platform::raiseError(platform::kBadFileNameOrNumber);
    if (!platform::writeAll(fd_, bytes)) platform::raiseErrno(errno);
}

// Gives the complete unnamed file a temporary name in the target's folder.
void Writer::nameTemporary() {
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryName(path_);
        int linked = ::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno == ENOENT) linked = ::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
        if (linked == 0) {
            temporaryPath_ = std::move(name);
            return;
        }
        if (errno != EEXIST) platform::raiseErrno(errno);
    }
    platform::raiseErrno(EEXIST);
}

void Writer::commit() {
    if (fd_ < 0) platform::raiseError(platform::kBadFileNameOrNumber);
    if (::fsync(fd_) != 0) platform::raiseErrno(errno);
    if (unnamed_) nameTemporary();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) platform::raiseErrno(errno);
    if (::rename(temporaryPath_.c_str(), path_.c_str()) != 0) platform::raiseErrno(errno);
    temporaryPath_.clear();
    // Make the rename itself durable; a failure here leaves the new file in place anyway.
    platform::syncFolder(platform::folderOf(path_).c_str());
}

void Writer::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    unnamed_ = false;
    if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
}

}  // namespace morrowset::settings
