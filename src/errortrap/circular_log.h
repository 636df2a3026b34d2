#pragma once
// The circular log: a binary file of fixed-size records in which the newest trace lines
// overwrite the oldest, so the last lines of a run that crashed can still be read.
//
// Layout (offsets from 0):
//   0..3          zero in a new file; "HM100" over 0..4 when the file had to be reopened
//   4..           the record size in decimal digits, then "HM100"
//   up to 511     rest of the header, zero
//   512 + (k-1)R  record slot k, k = 1 .. 2 x MaxRecords, R = record size
// A record is the line (with its CR LF) cut to R bytes, or followed by zero bytes up to R
// (at most 1024 of them). Each run starts again at slot 1; a reader orders the records by
// the sequence number inside each trace line.
#include <cstdint>
#include <string>

#include "errortrap/trace_sink.h"
#include "platform/kept_file.h"

namespace wardline {

class CircularLog final : public TraceSink {
public:
    // Start-up: opens (or creates) the file and writes the header. False when it cannot be
    // opened; the log is then off.
    bool open(const std::string& path, int32_t recordSize);
    bool on() const override;
    // Writes the line into the next slot with one positioned write. A file deleted or
    // replaced since the last line is opened afresh (then "HM100" at its start).
    void write(const std::string& line) override;
    // Into the next slot of the file already open; nothing when none is.
    void writeLastLine(std::string_view line) noexcept override;
    void reset();

    int16_t recordIndex() const { return recordIndex_; }

private:
    bool reopen(const std::string& path);
    void writeRecord(std::string_view line) noexcept;

    platform::KeptFile file_;
    int16_t recordIndex_ = 0;  // slot of the latest record; 0 before the first of a run
};

CircularLog& circularLog();

}  // namespace wardline
