#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <time.h>

#include "platform/services.h"

namespace platform {
namespace {

const TimeSource& systemClock() {
    static const TimeSource clock;
    return clock;
}

}  // namespace

std::tm TimeSource::localNow() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

WallTime TimeSource::wallNow() const {
    using namespace std::chrono;
    return wallTimeAt(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

WallTime WallTime::atPosition(int64_t position) {
    const int64_t day = position >= 0 ? position / kMillisecondsPerDay : (position + 1) / kMillisecondsPerDay - 1;
    return {static_cast<int32_t>(day), static_cast<int32_t>(position - day * kMillisecondsPerDay)};
}

WallTime wallTimeAt(int64_t unixMilliseconds) {
    using namespace std::chrono;
    const int64_t wholeSeconds = unixMilliseconds >= 0 ? unixMilliseconds / 1000 : (unixMilliseconds - 999) / 1000;
    const auto seconds = static_cast<std::time_t>(wholeSeconds);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return WallTime::atPosition(unixMilliseconds);
    const sys_days date{year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday};
    // A leap second (tm_sec 60) reads as the last millisecond of its minute.
    const int32_t second = local.tm_hour * 3600 + local.tm_min * 60 + std::min(local.tm_sec, 59);
    const auto fraction = static_cast<int32_t>(local.tm_sec > 59 ? 999 : unixMilliseconds - wholeSeconds * 1000);
    return {static_cast<int32_t>(date.time_since_epoch().count()), second * 1000 + fraction};
}

const TimeSource& Services::timeSource() const { return clock ? *clock : systemClock(); }

const TimeSource& timeSource() { return services().timeSource(); }

int64_t monotonicMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t coarseMonotonicMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

// The same clock as steady_clock, read directly: every trace line reads it.
int64_t monotonicFixedMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 10'000'000 + now.tv_nsec / 100;
}

namespace {

long offsetAt(int64_t unixSeconds) {
    const auto when = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    return localtime_r(&when, &local) ? local.tm_gmtoff : 0;
}

}  // namespace

// A day at a time, then the very second of each change by halving the day it falls in;
// zones change at most a few times a year, never twice within a day.
void UtcOffsets::learn(int64_t unixSeconds, int days) {
    constexpr int64_t kDay = 86'400;
    changes_ = 0;
    offset_[0] = offsetAt(unixSeconds);
    int64_t before = unixSeconds;
    for (int day = 1; day <= days && changes_ < kMaxChanges; ++day) {
        const int64_t after = unixSeconds + day * kDay;
        const long offset = offsetAt(after);
        if (offset == offset_[static_cast<std::size_t>(changes_)]) {
            before = after;
            continue;
        }
        int64_t low = before;  // still the old offset
        int64_t high = after;  // already the new one
        while (high - low > 1) {
            const int64_t middle = low + (high - low) / 2;
            (offsetAt(middle) == offset ? high : low) = middle;
        }
        changeAt_[static_cast<std::size_t>(changes_)] = high;
        offset_[static_cast<std::size_t>(++changes_)] = offset;
        before = after;
    }
}

long UtcOffsets::at(int64_t unixSeconds) const noexcept {
    int k = 0;
    while (k < changes_ && unixSeconds >= changeAt_[static_cast<std::size_t>(k)]) ++k;
    return offset_[static_cast<std::size_t>(k)];
}

}  // namespace platform
