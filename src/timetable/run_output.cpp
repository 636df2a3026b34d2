#include "timetable/run_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "platform/file_io.h"

namespace morrowset::runs {

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

// Closes a descriptor when it goes.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// The runs folder, made when missing; -1 when it is a link, no folder or not the user's.
int openFolder(const std::string& appFolder) {
    const std::string path = folderOf(appFolder);
    if (::mkdir(path.c_str(), kFolderMode) != 0 && errno != EEXIST) return -1;
    Fd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (folder.get() < 0 || ::fstat(folder.get(), &info) != 0 || info.st_uid != ::geteuid()) return -1;
    if ((info.st_mode & 07777) != kFolderMode && ::fchmod(folder.get(), kFolderMode) != 0) return -1;
    return folder.release();
}

// A plain file of the user's in `folder`, opened without following a link.
int openOwnFile(int folder, const std::string& name, int flags) {
    Fd file(::openat(folder, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, kFileMode));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return -1;
    return file.release();
}

std::string rowPrefix(int row) { return "row" + std::to_string(row + 1) + "-"; }

std::string cutLine(int64_t cut) {
    return "[Morrowset cut the first " + std::to_string(cut) + " bytes of this output; the last " +
           std::to_string(kMaxBytes) + " bytes follow]\n";
}

}  // namespace

std::string folderOf(const std::string& appFolder) { return appFolder + "/runs"; }

std::string fileName(int row, const std::string& runId) { return rowPrefix(row) + runId + ".log"; }

int create(const std::string& appFolder, const std::string& name) {
    const Fd folder(openFolder(appFolder));
    if (folder.get() < 0) return -1;
    const int file = openOwnFile(folder.get(), name, O_WRONLY | O_APPEND | O_CREAT | O_EXCL);
    if (file >= 0) ::fcntl(file, F_SETFL, O_APPEND);  // the program gets a blocking file
    return file;
}

void remove(const std::string& appFolder, const std::string& name) {
    const Fd folder(openFolder(appFolder));
    if (folder.get() >= 0) ::unlinkat(folder.get(), name.c_str(), 0);
}

void keepNewest(const std::string& appFolder, int row) {
    const int folderFd = openFolder(appFolder);
    if (folderFd < 0) return;
    DIR* folder = ::fdopendir(folderFd);
    if (!folder) {
        ::close(folderFd);
        return;
    }
    const std::string prefix = rowPrefix(row);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name.starts_with(prefix) && name.ends_with(".log")) names.emplace_back(name);
    }
    std::sort(names.begin(), names.end());
    const auto surplus = static_cast<std::ptrdiff_t>(names.size()) - kKeptPerRow;
    for (std::ptrdiff_t i = 0; i < surplus; ++i) {
        struct stat info {};
        if (::fstatat(::dirfd(folder), names[static_cast<std::size_t>(i)].c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            info.st_uid == ::geteuid())
            ::unlinkat(::dirfd(folder), names[static_cast<std::size_t>(i)].c_str(), 0);
    }
    ::closedir(folder);
}

void cutToLast(const std::string& appFolder, const std::string& name) {
    const Fd folder(openFolder(appFolder));
    if (folder.get() < 0) return;
    const Fd file(openOwnFile(folder.get(), name, O_RDONLY));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || info.st_size <= kMaxBytes) return;
    std::string tail(static_cast<std::size_t>(kMaxBytes), '\0');
    std::size_t have = 0;
    while (have < tail.size()) {
        const ssize_t got = ::pread(file.get(), tail.data() + have, tail.size() - have,
                                    info.st_size - kMaxBytes + static_cast<off_t>(have));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        have += static_cast<std::size_t>(got);
    }
    // The cut file takes the old one's place whole; a cut that fails leaves the output as it was.
    platform::FileReplacement cut;
    if (cut.begin(folder.get(), name, kFileMode) == 0 &&
        platform::writeAll(cut.fd(), cutLine(info.st_size - kMaxBytes)) && platform::writeAll(cut.fd(), tail))
        cut.commit();
}

}  // namespace morrowset::runs
