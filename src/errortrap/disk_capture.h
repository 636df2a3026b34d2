#pragma once
// Disk capture: trace lines appended to the error log file.
#include <string>

#include "errortrap/trace_sink.h"
#include "platform/kept_file.h"

namespace wardline {

// Appends the line and CR LF to errorLogPath when "Write To Disk" is on. Trace lines end
// in CR LF already, so each is followed by an empty line in the log.
void pfDiskLine(const std::string& line);

class DiskCapture final : public TraceSink {
public:
    bool on() const override;
    void write(const std::string& line) override;
    void writeLastLine(std::string_view line) noexcept override;
    void reset() { file_.close(); }

private:
    platform::KeptFile file_;
};

DiskCapture& diskCapture();

}  // namespace wardline
