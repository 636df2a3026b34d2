#pragma once
// Reads a circular trace log back in the order its lines were written.
//
// File layout: a 512-byte header holding the record size R in decimal digits from byte 5
// (counting from 1) followed by "HM100"; then fixed slots of R bytes from byte 513. A slot
// holds one line (cut to R bytes, or ended by CR LF and filled with NUL bytes). When the
// program had to reopen the file during a run it wrote "HM100" over bytes 1 to 5, which
// also covers the first digit of the record size; the reader then recovers the size from
// the remaining digits and the file's length.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace circlog {

struct Record {
    int slot = 0;                    // 1-based
    std::optional<int64_t> sequence; // the "[00042]" number of a trace line
    std::string text;                // without trailing NULs and line end
};

struct ReadResult {
    bool ok = false;
    std::string error;  // why the file is not a circular log, when !ok
    int32_t recordSize = 0;
    std::vector<Record> records;  // in reading order
};

// `recordSizeHint` (> 0) overrides the size found in the header.
ReadResult readCircularLog(const std::string& bytes, int32_t recordSizeHint = 0);
ReadResult readCircularLogFile(const std::string& path, int32_t recordSizeHint = 0);

// The sequence number of a trace line: the digits in the second "[...]" group of
// "[exe] [00042] [00001.234] ...", if there is one.
std::optional<int64_t> sequenceOf(const std::string& line);

}  // namespace circlog
