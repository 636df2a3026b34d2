#include "errortrap/monitor_sink.h"

#include <chrono>
#include <thread>

#include "errortrap/runtime_state.h"
#include "errortrap/ui_services.h"

namespace wardline {
namespace {

constexpr auto kPollPause = std::chrono::milliseconds(5);

const RuntimeResetHook resetHook{[] { monitorSink().reset(); }};

// Disables the program's windows for the outermost hold only, and enables them again
// however the hold ends.
class WindowsDisabled {
public:
    explicit WindowsDisabled(int& depth) : depth_(depth) {
        if (depth_++ == 0) ui().setVisibleWindowsEnabled(false);
    }
    ~WindowsDisabled() {
        if (--depth_ == 0) ui().setVisibleWindowsEnabled(true);
    }
    WindowsDisabled(const WindowsDisabled&) = delete;
    WindowsDisabled& operator=(const WindowsDisabled&) = delete;

private:
    int& depth_;
};

}  // namespace

MonitorSink& monitorSink() {
    static MonitorSink sink;
    return sink;
}

bool MonitorSink::connect() {
    link_ = platform::MonitorLink::find();
    return link_.connected();
}

bool MonitorSink::on() const { return runtime().monitorPresent != 0; }

void MonitorSink::write(const std::string& line) {
    const auto length = static_cast<uint32_t>(line.size());
    if (link_.send(platform::kMonitorSetText, length, line) != platform::kMonitorHold) return;
    hold();
}

void MonitorSink::hold() {
    using platform::kMonitorQuery;
    const WindowsDisabled disabled(holdDepth_);
    for (;;) {
        if (link_.send(kMonitorQuery, platform::kMonitorQueryStillHolding) == 0) break;
        ui().processEvents();
        if (link_.send(kMonitorQuery, platform::kMonitorQueryHoldOver) != 0) break;
        std::this_thread::sleep_for(kPollPause);
    }
}

void MonitorSink::reset() {
    link_.close();
    holdDepth_ = 0;
}

}  // namespace wardline
