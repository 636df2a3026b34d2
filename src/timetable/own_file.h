#pragma once
// A file of the user's own, opened to be read: never through a link, never waiting on a
// FIFO planted under its name, and only a regular file that belongs to the user. The run
// history and the runs' outputs are read this way.
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace morrowset {

class OwnFile {
public:
    OwnFile() = default;
    ~OwnFile();
    OwnFile(OwnFile&& other) noexcept;
    OwnFile& operator=(OwnFile&& other) noexcept;
    OwnFile(const OwnFile&) = delete;
    OwnFile& operator=(const OwnFile&) = delete;

    // The file at `path`; not open when it is missing, a link, not a regular file or
    // another user's. errno says why (EPERM for a file refused).
    static OwnFile open(const std::string& path);

    bool isOpen() const { return fd_ >= 0; }
    // Its size now; 0 when not open.
    int64_t size() const;
    // Whether `path` still names this file (not renamed away, removed or replaced).
    bool isAt(const std::string& path) const;
    // Up to `count` bytes from `offset`: fewer at the end of the file or on a read error.
    std::string read(int64_t offset, std::size_t count) const;

private:
    explicit OwnFile(int fd, dev_t device, ino_t inode) : fd_(fd), device_(device), inode_(inode) {}
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

}  // namespace morrowset
