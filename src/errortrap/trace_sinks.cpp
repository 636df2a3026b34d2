#include "errortrap/trace_sinks.h"

#include <array>

#include "errortrap/runtime.h"

namespace wardline {

TraceSinks::TraceSinks(RuntimeState& state, CircularLog::CannotOpen circularLogCannotOpen,
                       MonitorSink::HoldActions monitorHold)
    : disk_(state.prefs),
      circularLog_(state.prefs, std::move(circularLogCannotOpen)),
      monitor_(state, std::move(monitorHold)) {}

void TraceSinks::write(const std::string& line) {
    const std::array<TraceSink*, 3> sinks = {&disk_, &circularLog_, &monitor_};
    for (TraceSink* sink : sinks) {
        try {
            if (sink->on()) sink->write(line);
        } catch (...) {
            // The line is lost for this sink only.
        }
    }
}

void TraceSinks::writeLastLine(std::string_view line) noexcept {
    const std::array<TraceSink*, 3> sinks = {&disk_, &circularLog_, &monitor_};
    for (TraceSink* sink : sinks)
        if (sink->on()) sink->writeLastLine(line);
}

void pfLogLine(const std::string& line) { currentRuntime().sinks().write(line); }

void logLastLine(std::string_view line) noexcept { currentRuntime().sinks().writeLastLine(line); }

}  // namespace wardline
