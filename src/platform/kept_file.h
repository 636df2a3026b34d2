#pragma once
// A file kept open for the whole run, written without a user-space buffer: each write is
// one system call, so the bytes are in the kernel (and survive a crash of the program) when
// it returns, as they would after a close. The file can tell when its path no longer
// names it (deleted, renamed away or replaced), so the owner can open it afresh.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

class KeptFile {
public:
    enum class Mode { ReadWrite, Append };

    KeptFile() = default;
    ~KeptFile() { close(); }
    KeptFile(const KeptFile&) = delete;
    KeptFile& operator=(const KeptFile&) = delete;

    // Opens `path`, creating it (mode 0600: trace lines and reports are the user's
    // business) when missing and keeping its contents. False when it cannot be opened.
    bool open(const std::string& path, Mode mode);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // True when the file's path no longer leads to the open file.
    bool replaced() const;

    // Writes `head` then `tail` at byte `offset` (ReadWrite) or at the end (Append), in one
    // system call where the kernel allows. False when not every byte was written.
    bool writeAt(int64_t offset, std::string_view head, std::string_view tail = {});
    bool append(std::string_view head, std::string_view tail = {});

    // Opens `path` to append (creating it, mode 0600), writes `head` then `tail` and closes
    // it again. Only system calls: a signal handler may use it.
    static bool appendOnce(const char* path, std::string_view head, std::string_view tail = {}) noexcept;

private:
    int fd_ = -1;
    std::string path_;
    uint64_t device_ = 0;
    uint64_t inode_ = 0;
};

}  // namespace platform
