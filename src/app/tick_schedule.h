#pragma once
// Which seconds of the day one clock tick examines.
//
// A row is due when an examined second equals its seconds after midnight. The clock ticks
// just after each whole second, but a tick may come late, twice in one second or not at
// all for a while, so the tick does not simply look at the second it falls in:
//  - it examines every second that has begun since the last second it examined, up to
//    kMaxCatchUp of them, so a late tick never skips a row;
//  - a tick in the second already examined examines nothing, so no row starts twice;
//  - a second is examined only once it has begun, so no row starts early;
//  - after a pause, or a gap longer than kMaxCatchUp seconds, it examines only the
//    second it falls in: rows whose time passed meanwhile wait for the next day;
//  - when the clock steps back a few seconds it examines nothing until it catches up.
// Midnight is both second 0 and second 86400: a row at 24:00 starts at midnight, once.
#include <array>
#include <cstdint>

namespace morrowset {

class TickSchedule {
public:
    static constexpr int32_t kSecondsPerDay = 86400;
    static constexpr int kMaxCatchUp = 5;
    // How long after a whole second the clock ticks: long enough that a tick never lands
    // in the second before, short enough that a due row starts at once.
    static constexpr int kTickOffsetMs = 10;

    // The seconds one tick examines, oldest first.
    class Due {
    public:
        bool contains(int32_t rowSeconds) const;
        int count() const { return count_; }
        int32_t operator[](int i) const { return seconds_[static_cast<std::size_t>(i)]; }

    private:
        friend class TickSchedule;
        void add(int32_t second) { seconds_[static_cast<std::size_t>(count_++)] = second; }
        std::array<int32_t, kMaxCatchUp> seconds_{};
        int count_ = 0;
    };

    // The seconds a tick at `secondsSinceMidnight` examines; remembers them as examined.
    Due examine(double secondsSinceMidnight);
    // Forgets the last examined second (the clock was paused): the next tick examines only
    // its own second.
    void forget() { hasLast_ = false; }

    // Milliseconds from `secondsSinceMidnight` to the next tick: just after the next whole second.
    static int millisecondsToNextTick(double secondsSinceMidnight);

private:
    bool hasLast_ = false;
    int32_t last_ = 0;
};

}  // namespace morrowset
