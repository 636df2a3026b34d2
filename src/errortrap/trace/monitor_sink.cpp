#include "errortrap/trace/monitor_sink.h"

#include <chrono>
#include <thread>


namespace wardline {
namespace {

constexpr auto kPollPause = std::chrono::milliseconds(5);

// Disables the program's windows for the outermost hold only, and enables them again
// however the hold ends.
class WindowsDisabled {
public:
    WindowsDisabled(int& depth, const std::function<void(bool)>& setEnabled)
        : depth_(depth), setEnabled_(setEnabled) {
        if (depth_++ == 0) setEnabled_(false);
    }
    ~WindowsDisabled() {
        if (--depth_ == 0) setEnabled_(true);
    }
    WindowsDisabled(const WindowsDisabled&) = delete;
    WindowsDisabled& operator=(const WindowsDisabled&) = delete;

private:
    int& depth_;
    const std::function<void(bool)>& setEnabled_;
};

}  // namespace

bool MonitorSink::connect() {
    link_ = platform::MonitorLink::find();
    return link_.connected();
}

void MonitorSink::write(const std::string& line) {
    const auto length = static_cast<uint32_t>(line.size());
    if (link_.send(platform::kMonitorSetText, length, line) != platform::kMonitorHold) return;
    hold();
}

void MonitorSink::hold() {
    using platform::kMonitorQuery;
    const WindowsDisabled disabled(holdDepth_, actions_.setWindowsEnabled);
    for (;;) {
        if (link_.send(kMonitorQuery, platform::kMonitorQueryStillHolding) == 0) break;
        actions_.letEventsRun();
        if (link_.send(kMonitorQuery, platform::kMonitorQueryHoldOver) != 0) break;
        std::this_thread::sleep_for(kPollPause);
    }
}

}  // namespace wardline
