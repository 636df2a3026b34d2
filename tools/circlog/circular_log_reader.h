#pragma once
// Reads a circular trace log back in the order its lines were written, one record at a
// time: memory stays at a few records whatever the file's size.
//
// File layout (errortrap/trace/circular_log_layout.h): a 512-byte header, then fixed slots
// of R bytes from byte 513 (counting from 1). The header is one of
//   four zero bytes, R in decimal digits, "HM100"   a new log, or one reopened in full;
//   "HM100", R without its first digit, "HM100"     reopened by older programs, which wrote
//                                                   "HM100" over bytes 1 to 5; the lost
//                                                   digit is the one that makes the slots
//                                                   fill the file exactly;
//   "HM100" and nothing else                        reopened by older programs after the file
//                                                   was deleted: R must be given by the user.
// A slot holds one line, cut to R bytes or ended by CR LF and filled with zero bytes.
//
// Write order: within a run the program fills the slots from slot 1 and wraps around, and
// trace lines carry sequence numbers that go up by one from line to line. The newest
// record ends the unbroken count that starts at slot 1 (a line without a number, such as
// the start banner or an error line, belongs with the line in the slot before it); the
// slots after it hold older records, so reading starts there and wraps round to it. A log
// written by older programs may still hold an earlier run's lines after the newest run's:
// they come first, being older.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errortrap/trace/circular_log_layout.h"

namespace circlog {

using circular_log_layout::kHeaderSize;
inline constexpr int32_t kMaxRecordSize = 1 << 20;

struct Record {
    int64_t slot = 0;                 // 1-based
    std::optional<int64_t> sequence;  // the "[00042]" number of a trace line
    std::string text;                 // without trailing NULs and line end
};

// Where a log's bytes come from.
class Source {
  public:
    virtual ~Source() = default;
    virtual uint64_t size() const = 0;
    // Reads up to `length` bytes at `offset`; fewer only at the end. False on a read error.
    virtual bool read(uint64_t offset, std::size_t length, std::string& into) = 0;
};

// A log held in memory.
class BytesSource final : public Source {
  public:
    explicit BytesSource(std::string_view bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read(uint64_t offset, std::size_t length, std::string& into) override;

  private:
    std::string_view bytes_;
};

// A log file on disk. Only a regular file is read: a pipe, a device or a folder is
// refused when it is opened (without blocking on it).
class FileSource final : public Source {
  public:
    FileSource() = default;
    ~FileSource();
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // False with the reason in `error` when the file cannot be read as a log.
    bool open(const std::string& path, std::string& error);
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, std::size_t length, std::string& into) override;

  private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

struct Header {
    int32_t recordSize = 0;  // 0 when the header was refused
    std::string error;       // why, when refused
};

// The record size from the first 512 bytes of a log of `fileSize` bytes.
Header readHeader(std::string_view header, uint64_t fileSize);

struct Outcome {
    bool ok = false;
    std::string error;  // why the log could not be read (or not to its end), when !ok
    int32_t recordSize = 0;
};

// Hands each non-empty record of the log to `emit`, in write order. `recordSizeHint` (> 0)
// is used instead of the header's size. On a read error midway, the records handed over
// so far stand and the outcome says what went wrong.
Outcome readCircularLog(Source& source, int32_t recordSizeHint,
                        const std::function<void(const Record&)>& emit);

// All records at once, for logs small enough to hold.
struct ReadResult {
    bool ok = false;
    std::string error;
    int32_t recordSize = 0;
    std::vector<Record> records;  // in write order
};
ReadResult readCircularLog(std::string_view bytes, int32_t recordSizeHint = 0);
ReadResult readCircularLogFile(const std::string& path, int32_t recordSizeHint = 0);

// The sequence number of a trace line: the digits in the second "[...]" group of
// "[exe] [00042] [00001.234] ...", if there is one.
std::optional<int64_t> sequenceOf(std::string_view line);

// The text safe to print on a terminal: control characters other than TAB, the C1
// controls U+0080 to U+009F written in UTF-8, and a byte 0x80 to 0x9F that is no part of a
// UTF-8 character (a C1 control to an 8-bit terminal) are shown as "\xNN", so that a
// damaged or planted log cannot send escape sequences. Bytes of well-formed UTF-8
// characters, and other bytes above 0x9F, stay as they are.
std::string printable(std::string_view text);

}  // namespace circlog
