#include "timetable/tick_schedule.h"

#include <cstdio>

namespace morrowset {

namespace {

// Division that rounds towards minus infinity, for readings before 1970 as well.
int64_t floorDivide(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

}  // namespace

std::optional<TickSchedule::Start> TickSchedule::Starts::of(int row) const {
    for (int i = 0; i < count_; ++i)
        if (starts_[static_cast<std::size_t>(i)].row == row) return starts_[static_cast<std::size_t>(i)];
    return std::nullopt;
}

TickSchedule::Starts TickSchedule::tick(platform::WallTime now, const Rows& rows) {
    const int64_t nowMs = now.position();
    const int64_t nowSecond = floorDivide(nowMs, 1000);
    // The first second this tick looks at: the one after the last tick's, unless the wall
    // clock stood still, went back or leapt too far ahead.
    int64_t firstSecond = nowSecond;
    if (lastSecond_ && nowSecond > *lastSecond_ && nowSecond - *lastSecond_ <= kMaxCatchUpSeconds)
        firstSecond = *lastSecond_ + 1;
    leaptAhead_ = lastSecond_ && nowSecond - *lastSecond_ > kMaxCatchUpSeconds;
    lastSecond_ = nowSecond;

    Starts starts;
    for (int row = 0; row < kRows; ++row) {
        const Row& job = rows[static_cast<std::size_t>(row)];
        if (!job.enabled || job.seconds < 0 || job.seconds > kSecondsPerDay) continue;
        // The row's latest time at or before now, and the date that time belongs to (for a
        // row at 24:00, the date that midnight closes).
        const int64_t date = dateOfLatestDue(nowSecond, job.seconds);
        const int64_t dueSecond = date * kSecondsPerDay + job.seconds;
        if (dueSecond < firstSecond || !job.runsOn(date)) continue;
        const Started started{static_cast<int32_t>(date), job.seconds};
        auto& last = started_[static_cast<std::size_t>(row)];
        if (last == started) continue;
        last = started;
        starts.add({row, nowMs - dueSecond * 1000});
    }
    return starts;
}

int64_t TickSchedule::dateOfLatestDue(int64_t second, int32_t rowSeconds) {
    return floorDivide(second - rowSeconds, kSecondsPerDay);
}

void TickSchedule::beginAt(platform::WallTime now) { lastSecond_ = floorDivide(now.position(), 1000) - 1; }

std::vector<std::pair<int, platform::WallTime>> TickSchedule::pausedOver(platform::WallTime now, const Rows& rows) {
    std::vector<std::pair<int, platform::WallTime>> skipped;
    if (!lastSecond_) return skipped;
    const int64_t nowSecond = floorDivide(now.position(), 1000);
    for (int row = 0; row < kRows; ++row) {
        const Row& job = rows[static_cast<std::size_t>(row)];
        if (!job.enabled || job.seconds < 0 || job.seconds > kSecondsPerDay) continue;
        const int64_t date = dateOfLatestDue(nowSecond, job.seconds);
        const int64_t dueSecond = date * kSecondsPerDay + job.seconds;
        auto& last = started_[static_cast<std::size_t>(row)];
        const Started due{static_cast<int32_t>(date), job.seconds};
        if (dueSecond <= *lastSecond_ || last == due || !job.runsOn(date)) continue;
        last = due;
        skipped.emplace_back(row, platform::WallTime::atPosition(dueSecond * 1000));
    }
    return skipped;
}

int TickSchedule::millisecondsToNextTick(int32_t millisecondOfDay) {
    const int32_t intoSecond = ((millisecondOfDay % 1000) + 1000) % 1000;
    return 1000 - intoSecond + kTickOffsetMs;
}

std::string TickSchedule::lateStartText(int row, int32_t rowSeconds, int64_t lateMs) {
    char text[96];
    std::snprintf(text, sizeof text, "LATE START row %d (%02d:%02d) %lld.%03lld s after its time", row + 1,
                  rowSeconds / 3600, rowSeconds / 60 % 60, static_cast<long long>(lateMs / 1000),
                  static_cast<long long>(lateMs % 1000));
    return text;
}

}  // namespace morrowset
