#include "platform/clock.h"

#include <sys/time.h>

#include <chrono>

namespace platform {
namespace {

const TimeSource& systemClock() {
    static const TimeSource clock;
    return clock;
}

const TimeSource* activeSource = nullptr;

}  // namespace

std::tm TimeSource::localNow() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

float TimeSource::secondsSinceMidnight() const {
    timeval now{};
    gettimeofday(&now, nullptr);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + now.tv_usec / 1e6;
    return static_cast<float>(seconds);
}

const TimeSource& timeSource() { return activeSource ? *activeSource : systemClock(); }
void setTimeSource(const TimeSource* source) { activeSource = source; }

int64_t monotonicMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t monotonicFixedMilliseconds() {
    using namespace std::chrono;
    return duration_cast<duration<int64_t, std::ratio<1, 10'000'000>>>(steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace platform
