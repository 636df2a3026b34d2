#pragma once
// A file kept open for the whole run, written without a user-space buffer: each write is
// one system call, so the bytes are in the kernel (and survive a crash of the program) when
// it returns, as they would after a close. Or mapped whole into memory: a copy into the
// shared mapping is in the page cache the moment it ends, just as safe from a crash of the
// program, and costs no system call. The file can tell when its path no longer names it
// (deleted, renamed away or replaced), so the owner can open it afresh.
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

    // Opens `path` as openLogFile() does (Append takes a FIFO or character device too),
    // keeping its contents. False when it cannot be opened or is refused.
    bool open(const std::string& path, Mode mode);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // True when the file's path no longer leads to the open file (or, for a mapped file, when
    // the file was made shorter than its mapping), asked at most once per
    // kReplacedCheckInterval of the monotonic clock (`nowMilliseconds`); in between the
    // answer is false. So a file deleted or replaced is noticed within that interval, and
    // lines written meanwhile go to the old file.
    static constexpr int64_t kReplacedCheckInterval = 100;
    bool replacedLately(int64_t nowMilliseconds);

    // Writes `head` then `tail` at byte `offset` (ReadWrite) or at the end (Append), in one
    // system call where the kernel allows. False when not every byte was written. A FIFO or
    // device is never waited for: a line it has no room for is lost whole and counted, and
    // the next line it takes is preceded by a line saying how many were lost.
    bool writeAt(int64_t offset, std::string_view head, std::string_view tail = {});
    bool append(std::string_view head, std::string_view tail = {});

    // Opens `path` to append (creating it, mode 0600), writes `head` then `tail` and closes
    // it again. Only system calls: a signal handler may use it.
    static bool appendOnce(const char* path, std::string_view head, std::string_view tail = {}) noexcept;

    // Gives the file `size` bytes, reserving the space on the disk (a file already longer
    // keeps its length), and maps the first `size` bytes shared. False when the space or
    // the mapping cannot be had.
    bool mapWhole(int64_t size);
    bool isMapped() const { return mapped_ != nullptr; }
    // Copies `text` followed by `zeros` zero bytes into the mapping at `offset`. False when
    // they do not fit, or when the file was made shorter under the mapping by someone else
    // (the copy faulted and was abandoned; the owner should map the file afresh). Uses no
    // memory of its own: a signal handler may call it.
    bool copyToMapping(int64_t offset, std::string_view text, std::size_t zeros) noexcept;

    // For the program's SIGBUS handler: when `address` lies in the mapping a copy is writing
    // to, returns to that copy (which then reports failure) and does not come back.
    static void escapeFaultedCopy(const void* address) noexcept;

private:
    // True when the file's path no longer leads to the open file.
    bool replaced() const;
    bool appendToStream(std::string_view head, std::string_view tail) noexcept;
    void unmap();
    bool shorterThanMapping() const;

    int fd_ = -1;
    char* mapped_ = nullptr;
    int64_t mappedSize_ = 0;
    int64_t nextReplacedCheck_ = 0;
    std::string path_;
    uint64_t device_ = 0;
    uint64_t inode_ = 0;
    bool stream_ = false;  // a FIFO or a device, not a regular file
    int64_t lost_ = 0;     // lines the stream did not take since the last it took
    bool torn_ = false;    // one of them went in part
};

}  // namespace platform
