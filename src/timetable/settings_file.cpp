#include "timetable/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <vector>

#include "platform/app_object.h"
#include "platform/error_texts.h"
#include "platform/file_errors.h"
#include "platform/file_io.h"
#include "platform/runtime_error.h"

namespace morrowset::settings {
namespace {

constexpr int kMaxLinkHops = 40;

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

void Writer::open(const std::string& path) {
    file_.discard();
    if (!linkChainTrusted(path)) platform::raiseError(platform::kPathFileAccessError);
    const std::string target = finalTarget(path);
    refuseUnwritable(target, platform::folderOf(target));
    if (const int error = file_.begin(target, 0600)) platform::raiseErrno(error);
}

void Writer::writeLine(std::string_view text) {
    if (!file_.started()) platform::raiseError(platform::kBadFileNameOrNumber);
    std::string line(text);
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    line += "\r\n";
    if (!platform::writeAll(file_.fd(), line)) platform::raiseErrno(errno);
}

void Writer::writeBytes(std::string_view bytes) {
    if (!file_.started()) platform::raiseError(platform::kBadFileNameOrNumber);
    if (!platform::writeAll(file_.fd(), bytes)) platform::raiseErrno(errno);
}

void Writer::commit() {
    if (!file_.started()) platform::raiseError(platform::kBadFileNameOrNumber);
    if (const int error = file_.commit()) platform::raiseErrno(error);
}

}  // namespace morrowset::settings
