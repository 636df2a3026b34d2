#pragma once
// Writing whole buffers, making folder entries durable and replacing a file whole.
// writeAll and syncFolder call only async-signal-safe functions and allocate nothing: the
// crash handlers use them too.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Writes all of `bytes` to `fd`, going on after an interrupted or short write. False when
// a write fails, with errno saying why (EIO when the file took no byte at all).
bool writeAll(int fd, std::string_view bytes) noexcept;

// The same at `offset`, leaving the file position alone.
bool writeAllAt(int fd, std::string_view bytes, int64_t offset) noexcept;

// Reads up to `length` bytes at `offset` into `into`, going on after an interrupted or short
// read: the number read, fewer than `length` at the end of the file or when a read fails.
std::size_t readAt(int fd, char* into, std::size_t length, int64_t offset) noexcept;

// Makes the entries of `folder` durable, so that a file made or renamed in it survives a
// crash. Best effort: a folder that cannot be opened or synced is left as it is.
void syncFolder(const char* folder) noexcept;

// The folder part of `path`: "." for a bare name, "/" for a name in the root folder.
std::string folderOf(const std::string& path);

// A new file that takes an old one's place whole: written beside it, flushed to disk and
// renamed over it only when complete, so a reader never sees half a file and a failure
// leaves the old one as it was.
//
// It touches no file it did not make. The new file has no name until it is complete (an
// unnamed O_TMPFILE file; on a file system without those, one made with O_EXCL | O_NOFOLLOW
// under a fresh name); it then gets a fresh name, ".<name>.<tag>.<12 letters and digits>",
// which is renamed over the old file. <tag> is the system name of the program's identity
// and "-save" ("save" without one). Whatever already has a name there, a file, a link or a
// FIFO, is never opened, written or removed: only a temporary file of the user's with such
// a name that is a minute old, left by a replacement killed half-way, goes at the next
// replacement of the same file.
class FileReplacement {
public:
    FileReplacement() = default;
    ~FileReplacement();  // a file not committed goes
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Starts the new file (mode `mode`) for `name` in the folder `folderFd` (which the
    // replacement duplicates), or for the file at `path`. 0, or the errno that says why not.
    int begin(int folderFd, std::string name, mode_t mode);
    int begin(const std::string& path, mode_t mode);
    bool started() const { return fd_ >= 0; }
    // The new file, open for writing.
    int fd() const { return fd_; }
    // Flushes the new file to disk, puts it in the old one's place and makes that durable.
    // 0, or the errno that says why not (then the old file is as it was).
    int commit();
    // Drops the new file; the old one stays.
    void discard();

private:
    int giveName();
    int folderFd_ = -1;
    int fd_ = -1;
    std::string name_;       // of the file replaced
    std::string temporary_;  // the new file's name, once it has one
    struct stat made_ {};    // the new file's device and inode
};

// Replaces the file at `path` with `bytes` (a new file gets `mode`). Raises the run-time
// error for the system's error; the old file stays on failure.
void replaceFileWhole(const std::string& path, std::string_view bytes, mode_t mode);

}  // namespace platform
