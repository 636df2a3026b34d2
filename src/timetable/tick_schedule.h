#pragma once
// Which rows one clock tick starts: the rule a cron daemon follows across clock changes.
//
//  - Each tick looks at the seconds of the local wall clock that passed since the previous
//    tick, after that tick's second up to and including its own, whatever the gap: a late
//    tick, a suspend or the hour the clocks skip in spring loses no row. Only when the wall
//    clock moved forward by more than kMaxCatchUpSeconds (a long suspend, a clock set far
//    ahead) does a tick look at its own second alone.
//  - A row starts at most once per local date for its time. When the wall clock goes back
//    (the clocks go back in autumn, a clock set back), the seconds that come again start no
//    row that already started on that date; a row that did not start then (it was off, or
//    its time was typed in since) does. A new time is a new job: it starts that date too.
//  - A second is looked at only once it has begun; times are whole milliseconds, so no row
//    starts early.
//  - At the program's start the first tick looks back to the second the program started
//    in, so a row due in that very second starts. After a pause the first tick looks at its
//    own second alone: the times that passed while paused are skipped (pausedOver says
//    which).
//  - A start by catching up counts as the row's start for its date and time.
//  - A row with days starts only on them, judged by the date its time belongs to.
//  - A row at 24:00 belongs to the date that ends: it starts at the midnight closing it,
//    the same moment as a row at 00:00 of the next date.
// The starts of the "NOW" buttons are none of the schedule's business.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "timetable/row_count.h"
#include "timetable/row_rules.h"

namespace morrowset {

class TickSchedule {
public:
    static constexpr int kRows = kRowCount;
    static constexpr int32_t kSecondsPerDay = 86400;
    static constexpr int64_t kMaxCatchUpSeconds = 3 * 3600;
    // A start more than this after its second began is a late start.
    static constexpr int64_t kLateAfterMs = 1000;
    // How long after a whole second the clock ticks: long enough that a tick never lands
    // in the second before, short enough that a due row starts at once.
    static constexpr int kTickOffsetMs = 10;

    // What the schedule needs of a row: whether it may start (checked, with a time that
    // can come) and its time as seconds after midnight, 0 to 86400.
    struct Row {
        bool enabled = false;
        int32_t seconds = 0;
        DaySet days = 0;  // the weekdays it runs on (row_rules.h); none: every day
        // Whether its time on local date `date` (the date a 24:00 row's midnight ends) counts.
        bool runsOn(int64_t date) const {
            return days == 0 || (days & dayBit(weekdayOf(static_cast<int32_t>(date)))) != 0;
        }
    };
    using Rows = std::array<Row, kRows>;

    // One start a tick asks for: the row, and how long after its second began.
    struct Start {
        int row = 0;
        int64_t lateMs = 0;
        bool late() const { return lateMs > kLateAfterMs; }
    };
    // The starts of one tick, in row order.
    class Starts {
    public:
        int count() const { return count_; }
        const Start& operator[](int i) const { return starts_[static_cast<std::size_t>(i)]; }
        std::optional<Start> of(int row) const;

    private:
        friend class TickSchedule;
        void add(Start start) { starts_[static_cast<std::size_t>(count_++)] = start; }
        std::array<Start, kRows> starts_{};
        int count_ = 0;
    };

    // The rows a tick at wall-clock reading `now` starts; remembers them as started.
    Starts tick(platform::WallTime now, const Rows& rows);
    // Forgets the last tick (the clock was paused): the next tick looks at its own second
    // alone. What started on which date is kept.
    void forget() { lastSecond_.reset(); }
    // The clock starts at `now`: the next tick looks at every second from now's on.
    void beginAt(platform::WallTime now);
    // The row started for its time `seconds` of local date `date` other than by a tick
    // (catching up): the clock leaves that start alone, also when the clock goes back.
    void markStarted(int row, int32_t date, int32_t seconds) { started_.at(static_cast<std::size_t>(row)) = {date, seconds}; }
    // The rows whose latest due second up to `now` came after the second of the last tick
    // (the clock was paused since): each with that due second, marked as started so the
    // clock leaves them. Nothing when no tick came before.
    std::vector<std::pair<int, platform::WallTime>> pausedOver(platform::WallTime now, const Rows& rows);
    // Whether the last tick found the wall clock moved ahead by more than
    // kMaxCatchUpSeconds since the tick before, and so looked at its own second alone.
    bool leaptAhead() const { return leaptAhead_; }

    // Milliseconds from `millisecondOfDay` to the next tick: just after the next whole second.
    static int millisecondsToNextTick(int32_t millisecondOfDay);

    // The trace line's text for a late start, without the program prefix and line end:
    // "LATE START row 2 (02:30) 1800.250 s after its time".
    static std::string lateStartText(int row, int32_t rowSeconds, int64_t lateMs);

private:
    // The date a row's latest due second at or before wall-clock second `second` belongs to.
    static int64_t dateOfLatestDue(int64_t second, int32_t rowSeconds);

    // A row's last start by the clock: the date it belonged to and the time it was for.
    struct Started {
        int32_t date = INT32_MIN;
        int32_t seconds = -1;
        bool operator==(const Started&) const = default;
    };

    // The wall-clock second (WallTime::position() / 1000) of the last tick.
    std::optional<int64_t> lastSecond_;
    bool leaptAhead_ = false;
    std::array<Started, kRows> started_{};
};

}  // namespace morrowset
