#include "timetable/run_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/falloc.h>
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

// What a cut reads at once.
constexpr int64_t kMovePiece = 64 * 1024;

int64_t alignDown(int64_t offset, int64_t block) { return offset / block * block; }
int64_t alignUp(int64_t offset, int64_t block) { return (offset + block - 1) / block * block; }

bool statOf(int fd, struct stat& info) { return ::fstat(fd, &info) == 0; }
int64_t blockOf(const struct stat& info) { return info.st_blksize > 0 ? info.st_blksize : 4096; }

// Gives the whole blocks of [from, to) back to the file system; false with errno set when
// it cannot.
bool punch(int fd, int64_t from, int64_t to, int64_t block) {
    from = alignUp(from, block);
    to = alignDown(to, block);
    return to <= from || ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, from, to - from) == 0;
}

// Moves `length` bytes at `from` to `to` within the file, as memmove does. Moving forward
// (to < from), the blocks whose bytes were read and that hold no moved byte are given back
// after each block written, so the move takes at most a block more than the file held.
class Mover {
public:
    Mover(int fd, int64_t block) : fd_(fd), block_(block), buffer_(static_cast<std::size_t>(kMovePiece)) {}

    bool move(int64_t from, int64_t to, int64_t length) {
        if (to > from) return moveBack(from, to, length);
        for (int64_t done = 0; done < length;) {
            const int64_t piece = std::min(kMovePiece, length - done);
            if (!readWhole(buffer_.data(), piece, from + done)) return false;
            for (int64_t put = 0; put < piece;) {
                const int64_t step = std::min(block_, piece - put);
                if (!writeWhole(buffer_.data() + put, step, to + done + put)) return false;
                put += step;
                giveBack(to + done + put, from + done + piece);
            }
            done += piece;
        }
        return true;
    }

private:
    bool readWhole(char* into, int64_t length, int64_t offset) const {
        return platform::readAt(fd_, into, static_cast<std::size_t>(length), offset) == static_cast<std::size_t>(length);
    }
    bool writeWhole(const char* bytes, int64_t length, int64_t offset) const {
        return platform::writeAllAt(fd_, std::string_view(bytes, static_cast<std::size_t>(length)), offset);
    }
    bool moveBack(int64_t from, int64_t to, int64_t length) {
        for (int64_t left = length; left > 0;) {
            const int64_t piece = std::min(kMovePiece, left);
            if (!readWhole(buffer_.data(), piece, from + left - piece) ||
                !writeWhole(buffer_.data(), piece, to + left - piece))
                return false;
            left -= piece;
        }
        return true;
    }

    // Gives back the blocks between the moved bytes' end and the read bytes' end.
    void giveBack(int64_t movedEnd, int64_t readEnd) {
        const int64_t from = std::max(freed_, alignUp(movedEnd, block_));
        const int64_t to = alignDown(readEnd, block_);
        if (!punching_ || to <= from) return;
        punching_ = punch(fd_, from, to, block_);
        if (punching_) freed_ = to;
    }

    int fd_;
    int64_t block_;
    std::vector<char> buffer_;
    int64_t freed_ = 0;
    bool punching_ = true;  // false once the file system refused
};

}  // namespace

std::string folderOf(const std::string& appFolder) { return appFolder + "/runs"; }

std::string fileName(int row, const std::string& runId) { return rowPrefix(row) + runId + ".log"; }

void remove(const std::string& appFolder, const std::string& name) {
    const Fd folder(openFolder(appFolder));
    if (folder.get() >= 0) ::unlinkat(folder.get(), name.c_str(), 0);
}

void keepNewest(const std::string& appFolder, int row, const std::set<std::string>& inUse) {
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
        const std::string& name = names[static_cast<std::size_t>(i)];
        struct stat info {};
        if (!inUse.contains(name) && ::fstatat(::dirfd(folder), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            info.st_uid == ::geteuid())
            ::unlinkat(::dirfd(folder), name.c_str(), 0);
    }
    ::closedir(folder);
}

OutputFile::~OutputFile() {
    closeProgramEnd();
    if (fd_ >= 0) ::close(fd_);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), programFd_(std::exchange(other.programFd_, -1)), freedTo_(other.freedTo_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        this->~OutputFile();
        fd_ = std::exchange(other.fd_, -1);
        programFd_ = std::exchange(other.programFd_, -1);
        freedTo_ = other.freedTo_;
    }
    return *this;
}

// Ours reads and writes anywhere (a cut writes at the front, which an appending descriptor
// cannot); the program's is a description of its own that appends.
OutputFile OutputFile::create(const std::string& appFolder, const std::string& name) {
    const Fd folder(openFolder(appFolder));
    if (folder.get() < 0) return {};
    OutputFile file;
    file.fd_ = openOwnFile(folder.get(), name, O_RDWR | O_CREAT | O_EXCL);
    if (file.fd_ < 0) return {};
    file.programFd_ = openOwnFile(folder.get(), name, O_WRONLY | O_APPEND);
    struct stat ours {}, program {};
    if (file.programFd_ < 0 || !statOf(file.fd_, ours) || !statOf(file.programFd_, program) ||
        ours.st_ino != program.st_ino || ours.st_dev != program.st_dev) {
        const int why = errno;
        ::unlinkat(folder.get(), name.c_str(), 0);
        errno = why;
        return {};
    }
    ::fcntl(file.programFd_, F_SETFL, O_APPEND);  // the program gets a blocking file
    return file;
}

void OutputFile::closeProgramEnd() {
    if (programFd_ >= 0) ::close(std::exchange(programFd_, -1));
}

int64_t OutputFile::length() const {
    struct stat info {};
    return fd_ >= 0 && statOf(fd_, info) ? info.st_size : -1;
}

void OutputFile::emptyIfRemoved() {
    struct stat info {};
    if (fd_ >= 0 && statOf(fd_, info) && info.st_nlink == 0 && ::ftruncate(fd_, 0) == 0) freedTo_ = 0;
}

OutputFile::Bound OutputFile::bound() {
    struct stat info {};
    if (fd_ < 0 || !statOf(fd_, info)) return Bound::Failed;
    const int64_t block = blockOf(info);
    const int64_t keepFrom = alignDown(info.st_size - kMaxBytes, block);
    if (keepFrom <= freedTo_) return Bound::Done;
    if (!punch(fd_, freedTo_, keepFrom, block))
        return errno == EOPNOTSUPP || errno == ENOSYS ? Bound::Unsupported : Bound::Failed;
    freedTo_ = keepFrom;
    return Bound::Done;
}

int64_t OutputFile::cut() {
    bound();  // what is before the last kMaxBytes takes no room while they are moved
    struct stat info {};
    if (fd_ < 0 || !statOf(fd_, info)) return -1;
    const int64_t length = info.st_size;
    if (length <= kMaxBytes) return 0;
    const std::string line = cutLine(length - kMaxBytes);
    const auto lineBytes = static_cast<int64_t>(line.size());
    Mover mover(fd_, blockOf(info));
    if (!mover.move(length - kMaxBytes, lineBytes, kMaxBytes)) return -1;
    // A program that outlived its run may still append: what came meanwhile follows.
    // Moving back (a cut shorter than its line) made the file longer by itself.
    int64_t kept = kMaxBytes;
    for (int64_t seen = std::max(length, lineBytes + kMaxBytes), round = 0;
         round < 4 && statOf(fd_, info) && info.st_size > seen; ++round) {
        if (!mover.move(seen, lineBytes + kept, info.st_size - seen)) return -1;
        kept += info.st_size - seen;
        seen = info.st_size;
    }
    const std::string_view head(line.data(), static_cast<std::size_t>(lineBytes));
    if (!platform::writeAllAt(fd_, head, 0) || ::ftruncate(fd_, lineBytes + kept) != 0) return -1;
    freedTo_ = 0;
    return length - kMaxBytes;
}

}  // namespace morrowset::runs
