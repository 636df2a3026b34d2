#pragma once
// Disk capture: trace lines appended to the error log file.
#include <cstdint>
#include <string>

#include "errortrap/core/runtime_state.h"
#include "errortrap/core/trace_sink.h"
#include "platform/kept_file.h"

namespace wardline {

// On when "Capture To Disk" is; appends each line and CR LF to errorLogPath when "Write To
// Disk" is on. Trace lines end in CR LF already, so each is followed by an empty line in
// the log.
class DiskCapture final : public TraceSink {
public:
    explicit DiskCapture(const Preferences& prefs) : prefs_(prefs) {}
    bool on() const override { return prefs_.captureToDisk != 0; }
    void write(const std::string& line) override;
    // The same for a caller that read the monotonic clock (milliseconds) already.
    void write(const std::string& line, int64_t nowMilliseconds);
    void writeLastLine(std::string_view line) noexcept override;

private:
    const Preferences& prefs_;
    platform::KeptFile file_;
    std::string buffer_;  // the line with its CR LF at its start; only grows
};

}  // namespace wardline
