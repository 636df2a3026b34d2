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
// (0.1 microsecond steps), the unit of the trace runtime's time stamps. Every trace line
// reads it, so where the processor's time-stamp counter runs at one steady rate it is read
// from that counter (a third of the cost of the clock on a virtual machine) and scaled to
// the clock, which is read again at least every 50 ms to keep the two together.
int64_t monotonicFixedMilliseconds();

// Turns readings of a steady counter into the monotonic clock's fixed-point milliseconds.
// The rate is learnt from pairs of readings of both (`anchor`) at least 100 ms apart, over
// the longest span seen; a pair that disagrees with the rate by more than a millisecond
// (the machine slept, the counter was reset) starts the learning over. A counter reading
// behind the latest pair or more than 50 ms past it is not turned: the caller reads the
// clock and anchors that pair instead.
class TickScale {
public:
    static constexpr int64_t kFixedPerMs = 10'000;
    static constexpr int64_t kLearnOver = 100 * kFixedPerMs;
    static constexpr int64_t kLongestGuess = 50 * kFixedPerMs;
    static constexpr int64_t kMostAstray = kFixedPerMs;

    void anchor(uint64_t ticks, int64_t fixed);
    // The clock at `ticks`, or false when it must be read.
    bool turn(uint64_t ticks, int64_t& fixed) const {
        if (fixedPerTick_ == 0 || ticks < baseTicks_ || ticks - baseTicks_ > longestGuess_) return false;
        fixed = guess(ticks);
        return true;
    }

private:
    int64_t guess(uint64_t ticks) const {
        const auto since = static_cast<unsigned __int128>(ticks - baseTicks_);
        return baseFixed_ + static_cast<int64_t>((since * fixedPerTick_) >> 32);
    }
    void startLearning(uint64_t ticks, int64_t fixed);

    uint64_t firstTicks_ = 0;
    int64_t firstFixed_ = 0;
    uint64_t baseTicks_ = 0;
    int64_t baseFixed_ = 0;
    uint64_t fixedPerTick_ = 0;  // 32.32 fixed point; 0 until learnt
    uint64_t longestGuess_ = 0;  // in ticks
    bool started_ = false;
};

}  // namespace platform
