#include "errortrap/trace_sinks.h"

#include <array>

#include "errortrap/circular_log.h"
#include "errortrap/disk_capture.h"
#include "errortrap/monitor_sink.h"

namespace wardline {

namespace {

std::array<TraceSink*, 3> sinks() { return {&diskCapture(), &circularLog(), &monitorSink()}; }

}  // namespace

void pfLogLine(const std::string& line) {
    for (TraceSink* sink : sinks()) {
        try {
            if (sink->on()) sink->write(line);
        } catch (...) {
            // The line is lost for this sink only.
        }
    }
}

void logLastLine(std::string_view line) noexcept {
    for (TraceSink* sink : sinks())
        if (sink->on()) sink->writeLastLine(line);
}

}  // namespace wardline
