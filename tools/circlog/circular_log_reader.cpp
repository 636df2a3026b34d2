#include "circular_log_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/utf8.h"

namespace circlog {
namespace {

using circular_log_layout::kLeadingZeros;
using circular_log_layout::slotOffset;
constexpr std::string_view kMarker = circular_log_layout::kMark;
constexpr std::size_t kMaxDigits = 10;

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The value of up to 18 decimal digits.
int64_t numberOf(std::string_view digits) {
    int64_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

Header refused(std::string error) {
    return Header{0, std::move(error)};
}

Header checkedSize(int64_t size) {
    if (size <= 0) return refused("the header's record size is 0");
    if (size > kMaxRecordSize)
        return refused("the header's record size " + std::to_string(size) +
                       " is larger than a log's (at most " + std::to_string(kMaxRecordSize) + " bytes)");
    return Header{static_cast<int32_t>(size), {}};
}

// Older programs wrote "HM100" over bytes 1 to 5 on a reopen, over the record size's first
// digit. Take the leading digit that makes the slots fill the file exactly (the smallest).
Header recoveredSize(std::string_view rest, uint64_t fileSize) {
    int64_t scale = 1;
    for (std::size_t i = 0; i < rest.size(); ++i) scale *= 10;
    const int64_t tail = rest.empty() ? 0 : numberOf(rest);
    for (int64_t lead = 1; lead <= 9; ++lead) {
        const int64_t candidate = lead * scale + tail;
        if (candidate > kMaxRecordSize) break;
        if ((fileSize - kHeaderSize) % static_cast<uint64_t>(candidate) == 0)
            return Header{static_cast<int32_t>(candidate), {}};
    }
    return refused(
        "the log was reopened and its header lost the record size's first digit, which the file's length "
        "does "
        "not tell; give the size with --record-size N");
}

bool endsLine(char c) {
    return c == '\n' || c == '\r';
}

// A slot's line: up to the first zero byte, without its line end.
void trimSlot(std::string& text) {
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    while (!text.empty() && endsLine(text.back())) text.pop_back();
}

// Reads slots in runs of up to kReadAhead bytes, so that streaming a large log takes few
// system calls while memory stays at that much plus one record.
class SlotReader {
  public:
    static constexpr uint64_t kReadAhead = 64 * 1024;

    SlotReader(Source& source, int32_t recordSize)
        : source_(source), recordSize_(static_cast<uint64_t>(recordSize)) {}

    uint64_t count() const { return (source_.size() - kHeaderSize + recordSize_ - 1) / recordSize_; }

    // Slot `slot` (1-based) into `text`; false on a read error.
    bool read(uint64_t slot, std::string& text) {
        const uint64_t offset =
            static_cast<uint64_t>(slotOffset(static_cast<int64_t>(slot), static_cast<int64_t>(recordSize_)));
        const uint64_t length = std::min(recordSize_, source_.size() - offset);
        if (offset < chunkStart_ || offset + length > chunkStart_ + chunk_.size()) {
            const uint64_t wanted = std::max(length, kReadAhead / recordSize_ * recordSize_);
            if (!source_.read(offset, static_cast<std::size_t>(std::min(wanted, source_.size() - offset)),
                              chunk_))
                return false;
            chunkStart_ = offset;
        }
        const uint64_t at = offset - chunkStart_;
        text.assign(chunk_, static_cast<std::size_t>(std::min<uint64_t>(at, chunk_.size())),
                    static_cast<std::size_t>(length));
        trimSlot(text);
        return true;
    }

  private:
    Source& source_;
    uint64_t recordSize_;
    std::string chunk_;
    uint64_t chunkStart_ = 0;
};

std::string readFailure(uint64_t slot) {
    return "the file could not be read at record slot " + std::to_string(slot);
}

// The slot of the newest record: the end of the climb of sequence numbers from slot 1
// (see the header). 0 when slot 1 is empty.
std::optional<uint64_t> newestSlot(SlotReader& slots, std::string& text, Outcome& outcome) {
    uint64_t newest = 0;
    std::optional<int64_t> previous;
    for (uint64_t slot = 1; slot <= slots.count(); ++slot) {
        if (!slots.read(slot, text)) {
            outcome.error = readFailure(slot);
            return std::nullopt;
        }
        if (text.empty()) break;
        if (const auto sequence = sequenceOf(text)) {
            if (previous && *sequence != *previous + 1) break;
            previous = sequence;
        }
        newest = slot;
    }
    return newest;
}

// Whether the well-formed character of `length` bytes at `at` is a control a terminal
// obeys: a C0 control other than TAB, DEL, or one of U+0080 to U+009F (the C1 controls).
bool isControlCharacter(std::string_view text, std::size_t at, std::size_t length) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (length == 1) return (byte < 0x20 && byte != '\t') || byte == 0x7F;
    return byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= 0x9F;
}

}  // namespace

bool BytesSource::read(uint64_t offset, std::size_t length, std::string& into) {
    into.assign(offset < bytes_.size() ? bytes_.substr(static_cast<std::size_t>(offset), length)
                                       : std::string_view{});
    return true;
}

FileSource::~FileSource() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileSource::open(const std::string& path, std::string& error) {
    // Non-blocking, so that a FIFO in the log's place is refused instead of waited on.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "not a regular file (a circular log is one)";
        return false;
    }
    size_ = static_cast<uint64_t>(info.st_size);
    return true;
}

bool FileSource::read(uint64_t offset, std::size_t length, std::string& into) {
    into.resize(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got =
            ::pread(fd_, into.data() + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;  // the file became shorter
        done += static_cast<std::size_t>(got);
    }
    into.resize(done);
    return true;
}

Header readHeader(std::string_view header, uint64_t fileSize) {
    if (fileSize < kHeaderSize || header.size() < kHeaderSize)
        return refused("the file is shorter than a circular log's 512-byte header");
    const bool fresh = header.substr(0, kLeadingZeros) == std::string_view("\0\0\0\0", kLeadingZeros);
    const bool reopened = header.substr(0, kMarker.size()) == kMarker;
    if (!fresh && !reopened) return refused("damaged header: bytes 1 to 4 are neither zero nor \"HM10\"");

    const std::size_t digitsAt = fresh ? kLeadingZeros : kMarker.size();
    const std::size_t marker = header.find(kMarker, digitsAt);
    if (marker == std::string_view::npos || marker - digitsAt > kMaxDigits) {
        if (reopened)
            return refused(
                "the header holds no record size (the log was reopened after it was deleted or replaced); "
                "give "
                "the size with --record-size N");
        return refused("damaged header: no record size followed by \"HM100\" from byte 5");
    }
    const std::string_view digits = header.substr(digitsAt, marker - digitsAt);
    if (fresh) {
        if (!allDigits(digits)) return refused("damaged header: the record size from byte 5 is not a number");
        return checkedSize(numberOf(digits));
    }
    if (!digits.empty() && !allDigits(digits))
        return refused("damaged header: the record size from byte 6 is not a number");
    return recoveredSize(digits, fileSize);
}

Outcome readCircularLog(Source& source, int32_t recordSizeHint,
                        const std::function<void(const Record&)>& emit) {
    Outcome outcome;
    if (source.size() < kHeaderSize) {
        outcome.error = "the file is shorter than a circular log's 512-byte header";
        return outcome;
    }
    std::string text;
    if (recordSizeHint > 0) {
        const Header given = checkedSize(recordSizeHint);
        outcome.recordSize = given.recordSize;
        outcome.error = given.error;
    } else if (!source.read(0, kHeaderSize, text)) {
        outcome.error = "the header could not be read";
    } else {
        const Header header = readHeader(text, source.size());
        outcome.recordSize = header.recordSize;
        outcome.error = header.error;
    }
    if (outcome.recordSize <= 0) return outcome;

    SlotReader slots(source, outcome.recordSize);
    const auto newest = newestSlot(slots, text, outcome);
    if (!newest) return outcome;
    const uint64_t count = slots.count();
    Record record;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t slot = (*newest + i) % count + 1;
        if (!slots.read(slot, record.text)) {
            outcome.error = readFailure(slot);
            return outcome;
        }
        if (record.text.empty()) continue;
        record.slot = static_cast<int64_t>(slot);
        record.sequence = sequenceOf(record.text);
        emit(record);
    }
    outcome.ok = true;
    return outcome;
}

namespace {

ReadResult collect(Source& source, int32_t recordSizeHint) {
    ReadResult result;
    const Outcome outcome = readCircularLog(source, recordSizeHint,
                                            [&](const Record& record) { result.records.push_back(record); });
    result.ok = outcome.ok;
    result.error = outcome.error;
    result.recordSize = outcome.recordSize;
    return result;
}

}  // namespace

ReadResult readCircularLog(std::string_view bytes, int32_t recordSizeHint) {
    BytesSource source(bytes);
    return collect(source, recordSizeHint);
}

ReadResult readCircularLogFile(const std::string& path, int32_t recordSizeHint) {
    FileSource source;
    ReadResult result;
    if (!source.open(path, result.error)) return result;
    return collect(source, recordSizeHint);
}

std::optional<int64_t> sequenceOf(std::string_view line) {
    const std::size_t first = line.find("] [");
    if (first == std::string_view::npos) return std::nullopt;
    const std::size_t start = first + 3;
    const std::size_t end = line.find(']', start);
    if (end == std::string_view::npos || end - start > 18) return std::nullopt;
    const std::string_view digits = line.substr(start, end - start);
    if (!allDigits(digits)) return std::nullopt;
    return numberOf(digits);
}

std::string printable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    auto escape = [&](std::string_view bytes) {
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xF];
        }
    };
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = platform::utf8SequenceLength(text, at);
        if (length == 0) {
            // A byte that is no part of a UTF-8 character: 0x80 to 0x9F are the C1 controls
            // of an 8-bit terminal (0x9B its CSI); the bytes above are letters there.
            const auto byte = static_cast<unsigned char>(text[at]);
            if (byte <= 0x9F) escape(text.substr(at, 1));
            else shown += text[at];
            ++at;
            continue;
        }
        if (isControlCharacter(text, at, length)) escape(text.substr(at, length));
        else shown.append(text, at, length);
        at += length;
    }
    return shown;
}

}  // namespace circlog
