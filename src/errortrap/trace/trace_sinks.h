#pragma once
// The trace sinks of one runtime: disk capture, circular log and outside monitor. Each line
// goes to every sink that is on, in that order; a sink that fails loses the line for
// itself only.
#include <string>
#include <string_view>

#include "errortrap/trace/circular_log.h"
#include "errortrap/trace/disk_capture.h"
#include "errortrap/trace/monitor_sink.h"

namespace wardline {

class TraceSinks {
public:
    TraceSinks(RuntimeState& state, CircularLog::CannotOpen circularLogCannotOpen,
               MonitorSink::HoldActions monitorHold);

    // Hands one finished line to every sink that is switched on.
    void write(const std::string& line);
    // Hands a dying program's last line to every sink that is on, without allocating.
    void writeLastLine(std::string_view line) noexcept;

    DiskCapture& disk() { return disk_; }
    CircularLog& circularLog() { return circularLog_; }
    MonitorSink& monitor() { return monitor_; }

private:
    DiskCapture disk_;
    CircularLog circularLog_;
    MonitorSink monitor_;
};

// The same with the current runtime's sinks.
void pfLogLine(const std::string& line);
void logLastLine(std::string_view line) noexcept;

}  // namespace wardline
