#include "circular_log_reader.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

namespace circlog {
namespace {

constexpr std::size_t kHeaderSize = 512;
constexpr std::string_view kMarker = "HM100";
constexpr int32_t kMaxRecordSize = 1 << 20;

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool fitsFile(int64_t size, std::size_t fileLength) {
    return size > 0 && size <= kMaxRecordSize && fileLength >= kHeaderSize &&
           (fileLength - kHeaderSize) % static_cast<std::size_t>(size) == 0;
}

// The record size from the header, or 0 when the header is not one of ours.
int32_t headerRecordSize(const std::string& bytes) {
    if (bytes.size() < kHeaderSize) return 0;
    const std::size_t marker = bytes.find(kMarker, 5);
    if (marker == std::string::npos || marker > 5 + 10) return 0;
    const std::string_view digits(bytes.data() + 4, marker - 4);
    const bool reopened = bytes.compare(0, kMarker.size(), kMarker) == 0;
    if (!reopened) return allDigits(digits) ? static_cast<int32_t>(std::stoll(std::string(digits))) : 0;

    // Byte 5 holds the last "0" of the marker: the first digit is lost. Take the leading
    // digit that makes the slots fill the file exactly (the smallest such size).
    const std::string_view rest = digits.substr(1);
    if (!rest.empty() && !allDigits(rest)) return 0;
    for (int lead = 1; lead <= 9; ++lead) {
        const int64_t candidate = std::stoll(std::to_string(lead) + std::string(rest));
        if (fitsFile(candidate, bytes.size())) return static_cast<int32_t>(candidate);
    }
    return 0;
}

std::string slotText(const std::string& bytes, std::size_t offset, std::size_t size) {
    std::string text = bytes.substr(offset, size);
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// Lines with a sequence number go in number order. A line without one (the start banner,
// an error line) was written right after the line in the slot before it, so it follows
// that line; one with nothing before it (slot 1, or an empty slot) comes first.
std::vector<Record> inWriteOrder(std::vector<Record> slots) {
    std::vector<Record> leading;
    std::multimap<int64_t, std::vector<Record>> bySequence;
    std::vector<Record>* group = nullptr;  // where the line of the slot before went
    int previousSlot = -1;
    for (Record& record : slots) {
        if (record.slot != previousSlot + 1) group = nullptr;  // an empty slot breaks the chain
        previousSlot = record.slot;
        if (record.sequence)
            group = &bySequence.emplace(*record.sequence, std::vector<Record>{})->second;
        else if (!group)
            group = &leading;
        group->push_back(std::move(record));
    }
    std::vector<Record> ordered = std::move(leading);
    for (auto& [sequence, lines] : bySequence)
        for (Record& record : lines) ordered.push_back(std::move(record));
    return ordered;
}

}  // namespace

std::optional<int64_t> sequenceOf(const std::string& line) {
    const std::size_t first = line.find("] [");
    if (first == std::string::npos) return std::nullopt;
    const std::size_t start = first + 3;
    const std::size_t end = line.find(']', start);
    if (end == std::string::npos || end - start > 18) return std::nullopt;
    const std::string digits = line.substr(start, end - start);
    if (!allDigits(digits)) return std::nullopt;
    return std::stoll(digits);
}

ReadResult readCircularLog(const std::string& bytes, int32_t recordSizeHint) {
    ReadResult result;
    if (bytes.size() < kHeaderSize) {
        result.error = "the file is shorter than a circular log's 512-byte header";
        return result;
    }
    result.recordSize = recordSizeHint > 0 ? recordSizeHint : headerRecordSize(bytes);
    if (result.recordSize <= 0 || result.recordSize > kMaxRecordSize) {
        result.error = "no circular log header (record size and \"HM100\") was found";
        return result;
    }
    const auto size = static_cast<std::size_t>(result.recordSize);
    std::vector<Record> slots;
    for (std::size_t offset = kHeaderSize, slot = 1; offset < bytes.size(); offset += size, ++slot) {
        std::string text = slotText(bytes, offset, std::min(size, bytes.size() - offset));
        if (text.empty()) continue;
        Record record{static_cast<int>(slot), sequenceOf(text), std::move(text)};
        slots.push_back(std::move(record));
    }
    result.records = inWriteOrder(std::move(slots));
    result.ok = true;
    return result;
}

ReadResult readCircularLogFile(const std::string& path, int32_t recordSizeHint) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        ReadResult result;
        result.error = "cannot open " + path;
        return result;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return readCircularLog(bytes.str(), recordSizeHint);
}

}  // namespace circlog
