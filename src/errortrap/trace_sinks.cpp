#include "errortrap/trace_sinks.h"

#include <array>

#include "errortrap/circular_log.h"
#include "errortrap/disk_capture.h"
#include "errortrap/monitor_sink.h"

namespace wardline {

void pfLogLine(const std::string& line) {
    const std::array<TraceSink*, 3> sinks = {&diskCapture(), &circularLog(), &monitorSink()};
    for (TraceSink* sink : sinks) {
        try {
            if (sink->on()) sink->write(line);
        } catch (...) {
            // The line is lost for this sink only.
        }
    }
}

}  // namespace wardline
