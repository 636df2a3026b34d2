#pragma once
// Time sources: the local wall clock (replaceable, so tests can drive any moment) and a
// monotonic millisecond counter.
#include <array>
#include <cstdint>
#include <ctime>

namespace platform {

// A reading of the local wall clock: the calendar date and the time of day as the clocks
// on the wall show them, in whole milliseconds. When the clocks go back an hour the same
// readings come again; when they go forward an hour of readings never comes.
struct WallTime {
    static constexpr int32_t kMillisecondsPerDay = 86'400'000;

    int32_t day = 0;          // the local date, as days since 1970-01-01
    int32_t millisecond = 0;  // of that date, 0 to 86 399 999

    // Milliseconds on a line that runs through every local date without regard to the
    // zone's offset, so two readings can be compared and subtracted.
    int64_t position() const { return int64_t{day} * kMillisecondsPerDay + millisecond; }
    static WallTime atPosition(int64_t position);
};

// The local wall clock at `unixMilliseconds` (milliseconds since 1970-01-01 00:00 UTC), in
// the process's time zone (TZ).
WallTime wallTimeAt(int64_t unixMilliseconds);

class TimeSource {
public:
    virtual ~TimeSource() = default;
    // Current local date and time.
    virtual std::tm localNow() const;
    // Current local wall clock, to the millisecond.
    virtual WallTime wallNow() const;
};

// The time source of the services in use (services.h): the system clock unless a test
// gave its own.
const TimeSource& timeSource();

// Convenience forms of the current time source.
inline std::tm localNow() { return timeSource().localNow(); }
inline WallTime wallNow() { return timeSource().wallNow(); }

// The local time's offset from UTC over a stretch of time, learned beforehand, for code
// that may not ask the C library (a signal handler: the library takes locks and may read
// the zone's file): the offset at the start and every change (to or from daylight saving
// time) in the days after it.
class UtcOffsets {
public:
    static constexpr int kMaxChanges = 32;

    // Learns the offsets from `unixSeconds` on for `days` days. Not for a signal handler.
    void learn(int64_t unixSeconds, int days);
    // The offset in seconds at `unixSeconds`: before the stretch the first one, after it
    // the last one. Only reads memory: a signal handler may call it.
    long at(int64_t unixSeconds) const noexcept;

private:
    std::array<int64_t, kMaxChanges> changeAt_{};   // the first second of each new offset
    std::array<long, kMaxChanges + 1> offset_{};    // offset_[k] holds before changeAt_[k]
    int changes_ = 0;
};

// Milliseconds since an arbitrary fixed point, never going backwards. 64 bits, so it never
// wraps (a 32-bit millisecond counter wraps after 49.7 days of uptime).
int64_t monotonicMilliseconds();

// The same counter as of the system's last clock tick (a few milliseconds behind at most),
// for checks that only need to know roughly when: reading it costs a tenth of a full
// reading, which on a virtual machine's clock is about 25 ns.
int64_t coarseMonotonicMilliseconds();

// The same counter as fixed-point milliseconds: a 64-bit integer scaled by 10000
// (0.1 microsecond steps), the unit of the trace runtime's time stamps.
int64_t monotonicFixedMilliseconds();

}  // namespace platform
