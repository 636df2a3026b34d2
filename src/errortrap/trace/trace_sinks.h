#pragma once
// The trace sinks of one runtime: disk capture, circular log and outside monitor. Each line
// goes to every sink that is on, in that order; a sink that fails loses the line for
// itself only.
#include <string>
#include <string_view>

#include "errortrap/core/runtime.h"
#include "errortrap/trace/circular_log.h"
#include "errortrap/trace/disk_capture.h"
#include "errortrap/trace/monitor_sink.h"

namespace wardline {

class TraceSinks final : public TraceSink {
public:
    TraceSinks(RuntimeState& state, CircularLog::CannotOpen circularLogCannotOpen,
               MonitorSink::HoldActions monitorHold);

    // On when any of them is.
    bool on() const override { return disk_.on() || circularLog_.on() || monitor_.on(); }
    // Hands one finished line to every sink that is switched on.
    void write(const std::string& line) override;
    // The same for a trace line made at `nowMilliseconds` of the monotonic clock: the sinks
    // that ask whether their file was replaced take that time rather than read the clock.
    void write(const std::string& line, int64_t nowMilliseconds);
    // Hands a dying program's last line to every sink that is on, without allocating.
    void writeLastLine(std::string_view line) noexcept override;

    DiskCapture& disk() { return disk_; }
    CircularLog& circularLog() { return circularLog_; }
    MonitorSink& monitor() { return monitor_; }

private:
    DiskCapture disk_;
    CircularLog circularLog_;
    MonitorSink monitor_;
};

// Makes `runtime`'s sinks; sinksOf calls it once.
TraceSinks& makeSinks(Runtime& runtime);

// `runtime`'s sinks, made with the first call.
inline TraceSinks& sinksOf(Runtime& runtime) {
    if (TraceSink* made = runtime.traceSinks()) [[likely]]
        return static_cast<TraceSinks&>(*made);
    return makeSinks(runtime);
}
// Hands a line of the program's own to the current runtime's sinks.
void pfLogLine(const std::string& line);

}  // namespace wardline
