// The trace runtime's clock: a counter scaled to the monotonic clock must read as the clock
// reads, on the machine under test and for counters the test makes up.
#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <cstdint>

#include "platform/clock.h"

namespace {

int64_t clockNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 10'000'000 + now.tv_nsec / 100;
}

// Over a third of a second, which spans the learning and several fresh readings of the
// clock, every reading lies between the clock read just before and just after it (within
// 20 microseconds), and no reading is behind the one before.
TEST(MonotonicClock, ReadsAsTheClockReadsAndNeverGoesBack) {
    constexpr int64_t kSlack = 200;  // 20 microseconds in 0.1-microsecond steps
    const int64_t end = clockNow() + 3'300'000;
    int64_t previous = platform::monotonicFixedMilliseconds();
    int64_t worst = 0;
    for (int64_t before = clockNow(); before < end; before = clockNow()) {
        const int64_t reading = platform::monotonicFixedMilliseconds();
        const int64_t after = clockNow();
        ASSERT_GE(reading, previous);
        worst = std::max({worst, before - reading, reading - after});
        previous = reading;
    }
    EXPECT_LE(worst, kSlack) << "a reading strayed from the clock by " << worst / 10 << " microseconds";
}

// A made-up counter at 2.1 GHz: nothing is turned until 100 ms of pairs have been seen, then
// readings are turned to within a step of the clock until 50 ms past the latest pair. A
// counter that runs backwards, or a pair that disagrees by more than a millisecond (a
// sleep), is not turned and starts the learning over.
TEST(MonotonicClock, ACounterIsTurnedOnlyWithinWhatItsPairsVouchFor) {
    constexpr uint64_t kTicksPerFixed = 210;  // 2.1 GHz in 0.1-microsecond steps
    constexpr int64_t kMs = 10'000;
    const auto ticksAt = [](int64_t fixed) { return uint64_t{5'000'000'000} + uint64_t(fixed) * kTicksPerFixed; };
    platform::TickScale scale;
    int64_t turned = 0;
    scale.anchor(ticksAt(0), 0);
    scale.anchor(ticksAt(60 * kMs), 60 * kMs);
    EXPECT_FALSE(scale.turn(ticksAt(61 * kMs), turned)) << "learnt over 60 ms only";
    scale.anchor(ticksAt(100 * kMs), 100 * kMs);

    struct Case {
        int64_t at;
        bool turns;
    };
    for (const Case c : {Case{100 * kMs, true}, {120 * kMs + 1234, true}, {149 * kMs, true}, {151 * kMs, false},
                         {99 * kMs, false}}) {
        turned = -1;
        EXPECT_EQ(scale.turn(ticksAt(c.at), turned), c.turns) << c.at;
        if (c.turns) EXPECT_NEAR(turned, c.at, 1) << c.at;
    }

    // The machine slept 5 s while the counter ran on: the pair disagrees, learning starts over.
    scale.anchor(ticksAt(5100 * kMs), 110 * kMs);
    EXPECT_FALSE(scale.turn(ticksAt(5101 * kMs), turned));
    // The counter was reset below where learning began: the same.
    scale.anchor(ticksAt(0) - 1000, 120 * kMs);
    EXPECT_FALSE(scale.turn(ticksAt(1 * kMs), turned));
}

}  // namespace
