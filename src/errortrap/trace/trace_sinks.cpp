#include "errortrap/trace/trace_sinks.h"

#include <memory>

#include "errortrap/core/runtime.h"

namespace wardline {

TraceSinks::TraceSinks(RuntimeState& state, CircularLog::CannotOpen circularLogCannotOpen,
                       MonitorSink::HoldActions monitorHold)
    : disk_(state.prefs),
      circularLog_(state.prefs, std::move(circularLogCannotOpen)),
      monitor_(state, std::move(monitorHold)) {}

namespace {

// Each sink by its own type, so that asking whether it is on costs no call: this runs for
// every trace line.
template <typename Sink, typename... Time>
void writeTo(Sink& sink, const std::string& line, Time... now) {
    try {
        if (sink.on()) sink.write(line, now...);
    } catch (...) {
        // The line is lost for this sink only.
    }
}

template <typename Sink>
void writeLastLineTo(Sink& sink, std::string_view line) noexcept {
    if (sink.on()) sink.writeLastLine(line);
}

}  // namespace

void TraceSinks::write(const std::string& line) {
    writeTo(disk_, line);
    writeTo(circularLog_, line);
    writeTo(monitor_, line);
}

void TraceSinks::write(const std::string& line, int64_t nowMilliseconds) {
    writeTo(disk_, line, nowMilliseconds);
    writeTo(circularLog_, line, nowMilliseconds);
    writeTo(monitor_, line);
}

void TraceSinks::writeLastLine(std::string_view line) noexcept {
    writeLastLineTo(disk_, line);
    writeLastLineTo(circularLog_, line);
    writeLastLineTo(monitor_, line);
}

TraceSinks& makeSinks(Runtime& runtime) {
    auto circularLogCannotOpen = [&runtime](const std::string& path) {
        if (runtime.state().inDevEnvironment)
            runtime.ui().messageBox("Could not open circular log file " + path, kCritical, "");
    };
    MonitorSink::HoldActions monitorHold{[&runtime](bool enabled) { runtime.ui().setVisibleWindowsEnabled(enabled); },
                                         [&runtime] { runtime.ui().processEvents(); }};
    auto sinks = std::make_unique<TraceSinks>(runtime.state(), std::move(circularLogCannotOpen), std::move(monitorHold));
    TraceSinks& made = *sinks;
    runtime.setTraceSinks(std::move(sinks));
    return made;
}

void pfLogLine(const std::string& line) { sinksOf(currentRuntime()).write(line); }

}  // namespace wardline
