#pragma once
// The circular log: a binary file of fixed-size records in which the newest trace lines
// overwrite the oldest, so the last lines of a run that crashed can still be read.
// The file's layout is in circular_log_layout.h. A reader orders the records by the
// sequence number inside each trace line.
//
// One run per file: at start-up an existing log is kept as the same name with ".prev"
// appended (replacing an older one) and the run writes a fresh file, made its full size
// (header and every slot) at once and mapped into memory. Each record is then one copy
// into its slot, in the page cache (safe from a crash of the program) when the copy ends.
// When that space cannot be had the log is off, as when the file cannot be opened.
//
// Whether the file was deleted or replaced is asked at most every 100 ms of the monotonic
// clock (a trace line's own reading, or the clock as of its last tick, a few milliseconds
// coarse); records written in that window go to the old file. A log opened afresh during
// the run (deleted, replaced, or made shorter under the mapping) gets the full header again
// and the run's records go on in the next slot.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "errortrap/core/runtime_state.h"
#include "errortrap/core/trace_sink.h"
#include "platform/kept_file.h"

namespace wardline {

// On while the preferences' circularLogOn is; it sets that off itself when its file
// cannot be opened again, and tells `cannotOpen` the file's name.
class CircularLog final : public TraceSink {
public:
    using CannotOpen = std::function<void(const std::string& path)>;
    CircularLog(Preferences& prefs, CannotOpen cannotOpen)
        : prefs_(prefs), cannotOpen_(std::move(cannotOpen)) {}

    // Start-up: keeps an existing log as ".prev", makes and maps a fresh one with
    // `recordLimit` slots of `recordSize` bytes. False when that fails; the log is then off.
    bool open(const std::string& path, int32_t recordSize, int16_t recordLimit);
    bool on() const override { return prefs_.circularLogOn; }
    // Copies the line into the next slot. A file deleted or replaced since is opened afresh.
    void write(const std::string& line) override;
    // The same for a caller that read the monotonic clock (milliseconds) already.
    void write(const std::string& line, int64_t nowMilliseconds);
    // Into the next slot of the file already mapped; nothing when none is.
    void writeLastLine(std::string_view line) noexcept override;

    int16_t recordIndex() const { return recordIndex_; }

private:
    bool openAndMap(const std::string& path);
    bool writeRecord(std::string_view line) noexcept;

    Preferences& prefs_;
    CannotOpen cannotOpen_;
    platform::KeptFile file_;
    int32_t recordSize_ = 0;
    int16_t recordLimit_ = 0;
    int16_t recordIndex_ = 0;  // slot of the latest record; 0 before the first of a run
    // Per slot, how far it may hold bytes other than zero: a record's zeros that would
    // fall where the slot holds zeros already need not be written. Unknown (the whole
    // slot) for a file just mapped.
    std::vector<int32_t> slotEnds_;
};

}  // namespace wardline
