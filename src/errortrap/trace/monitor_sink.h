#pragma once
// The outside trace monitor as a trace sink: every line goes to the monitor found at
// start-up, which may answer that it wants to hold the program.
#include <functional>
#include <string>

#include "errortrap/core/runtime_state.h"
#include "errortrap/core/trace_sink.h"
#include "platform/monitor_link.h"

namespace wardline {

// On while the state's monitorPresent is.
class MonitorSink final : public TraceSink {
public:
    // What the program does while the monitor holds it.
    struct HoldActions {
        std::function<void(bool enabled)> setWindowsEnabled;  // every visible window of the program
        std::function<void()> letEventsRun;                   // once
    };
    MonitorSink(const RuntimeState& state, HoldActions actions) : state_(state), actions_(std::move(actions)) {}

    // Start-up: looks for a monitor and connects to it. True when one was found.
    bool connect();
    bool on() const override { return state_.monitorPresent != 0; }
    // Sends the line; when the monitor answers "hold", disables the program's windows and
    // lets events run until the monitor lets go (or stops answering).
    void write(const std::string& line) override;
    // Sends the line without waiting for an answer: a dying program cannot be held.
    void writeLastLine(std::string_view line) noexcept override { link_.sendLastLine(line); }

    const platform::MonitorLink& link() const { return link_; }

private:
    void hold();

    const RuntimeState& state_;
    HoldActions actions_;
    platform::MonitorLink link_;
    int holdDepth_ = 0;  // holds nest when a line made during a hold is held too
};

}  // namespace wardline
