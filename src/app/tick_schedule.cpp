#include "app/tick_schedule.h"

#include <algorithm>
#include <cmath>

namespace morrowset {

namespace {

// The second of the day that has begun at `secondsSinceMidnight`, 0 to 86399.
int32_t secondBegun(double secondsSinceMidnight) {
    if (!(secondsSinceMidnight > 0)) return 0;  // also NaN
    return static_cast<int32_t>(std::fmod(std::floor(secondsSinceMidnight), TickSchedule::kSecondsPerDay));
}

int32_t secondsAfter(int32_t from, int32_t to) {
    return (to - from + TickSchedule::kSecondsPerDay) % TickSchedule::kSecondsPerDay;
}

}  // namespace

bool TickSchedule::Due::contains(int32_t rowSeconds) const {
    for (int i = 0; i < count_; ++i) {
        const int32_t second = seconds_[static_cast<std::size_t>(i)];
        if (second == rowSeconds || (second == 0 && rowSeconds == kSecondsPerDay)) return true;
    }
    return false;
}

TickSchedule::Due TickSchedule::examine(double secondsSinceMidnight) {
    const int32_t now = secondBegun(secondsSinceMidnight);
    Due due;
    const int32_t gap = hasLast_ ? secondsAfter(last_, now) : kSecondsPerDay;
    if (gap == 0 || (hasLast_ && gap >= kSecondsPerDay - kMaxCatchUp)) return due;  // same second, or stepped back
    if (gap <= kMaxCatchUp) {
        for (int32_t step = 1; step <= gap; ++step) due.add((last_ + step) % kSecondsPerDay);
    } else {
        due.add(now);
    }
    last_ = now;
    hasLast_ = true;
    return due;
}

int TickSchedule::millisecondsToNextTick(double secondsSinceMidnight) {
    if (!std::isfinite(secondsSinceMidnight)) return 1000 + kTickOffsetMs;
    const double fraction = secondsSinceMidnight - std::floor(secondsSinceMidnight);
    // Rounded up, less a hair, so that 0.999 s gives 1 ms and not 2 after rounding noise.
    const int untilWholeSecond = static_cast<int>(std::ceil((1.0 - fraction) * 1000.0 - 1e-6));
    return std::clamp(untilWholeSecond, 0, 1000) + kTickOffsetMs;
}

}  // namespace morrowset
