#include "app/tick_schedule.h"

#include <cmath>
#include <gmock/gmock.h>
#include <map>
#include <random>
#include <vector>

namespace morrowset {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr double kDay = TickSchedule::kSecondsPerDay;

std::vector<int32_t> seconds(const TickSchedule::Due& due) {
    std::vector<int32_t> list;
    for (int i = 0; i < due.count(); ++i) list.push_back(due[i]);
    return list;
}

TEST(TickSchedule, EachSecondIsExaminedOnceAndOnlyOnceItHasBegun) {
    TickSchedule schedule;
    EXPECT_THAT(seconds(schedule.examine(100.01)), ElementsAre(100)) << "first tick: its own second";
    EXPECT_THAT(seconds(schedule.examine(100.60)), IsEmpty()) << "second tick in the same second";
    EXPECT_THAT(seconds(schedule.examine(100.999)), IsEmpty()) << "second 101 has not begun";
    EXPECT_THAT(seconds(schedule.examine(101.02)), ElementsAre(101));
    EXPECT_THAT(seconds(schedule.examine(104.70)), ElementsAre(102, 103, 104)) << "late tick catches up";
    EXPECT_THAT(seconds(schedule.examine(109.01)), ElementsAre(105, 106, 107, 108, 109)) << "five behind";
    EXPECT_THAT(seconds(schedule.examine(115.01)), ElementsAre(115)) << "six behind: a gap, only its own second";
}

TEST(TickSchedule, PauseAndClockStepsBack) {
    TickSchedule schedule;
    schedule.examine(200.01);
    schedule.forget();
    EXPECT_THAT(seconds(schedule.examine(202.01)), ElementsAre(202)) << "after a pause only the current second";
    EXPECT_THAT(seconds(schedule.examine(199.01)), IsEmpty()) << "stepped back: nothing again";
    EXPECT_THAT(seconds(schedule.examine(202.50)), IsEmpty());
    EXPECT_THAT(seconds(schedule.examine(203.01)), ElementsAre(203));
    EXPECT_THAT(seconds(schedule.examine(100.01)), ElementsAre(100)) << "far back: a gap";
}

TEST(TickSchedule, MidnightIsBothSecondZeroAndTwentyFourHundred) {
    TickSchedule schedule;
    schedule.examine(kDay - 2 + 0.01);
    const auto due = schedule.examine(1.01);
    EXPECT_THAT(seconds(due), ElementsAre(86399, 0, 1));
    EXPECT_TRUE(due.contains(0));
    EXPECT_TRUE(due.contains(86400));
    EXPECT_FALSE(due.contains(2));
    EXPECT_THAT(seconds(schedule.examine(kDay - 0.001)), IsEmpty()) << "a stale reading just before midnight";
}

TEST(TickSchedule, NextTickLandsJustAfterTheNextWholeSecond) {
    constexpr int offset = TickSchedule::kTickOffsetMs;
    EXPECT_EQ(TickSchedule::millisecondsToNextTick(100.0), 1000 + offset);
    EXPECT_EQ(TickSchedule::millisecondsToNextTick(100.25), 750 + offset);
    EXPECT_EQ(TickSchedule::millisecondsToNextTick(100.999), 1 + offset);
    EXPECT_EQ(TickSchedule::millisecondsToNextTick(std::nan("")), 1000 + offset);
}

// A simulated run of two days and a bit: the clock re-arms after each tick for just after
// the next whole second, but ticks come late by up to 4.5 s, sometimes twice in a second and
// sometimes a few milliseconds early. Every row must start once a day, never before its
// time and within the lateness of the tick that found it.
TEST(TickSchedule, SimulatedDaysWithJitteredTicksStartEveryRowOnceADayNeverEarly) {
    const std::vector<int32_t> rows = {0, 1, 59, 43200, 43200, 45296, 86340, 86399, 86400};
    const double start = kDay - 30;
    const double end = 3 * kDay + 30;
    std::mt19937 random(20240601);
    std::uniform_real_distribution<double> unit(0, 1);

    std::map<std::size_t, std::vector<double>> starts;  // row -> absolute start times
    TickSchedule schedule;
    double maxLateness = 0;
    for (double t = start; t < end;) {
        const auto due = schedule.examine(std::fmod(t, kDay));
        for (std::size_t row = 0; row < rows.size(); ++row)
            if (due.contains(rows[row])) starts[row].push_back(t);
        const double draw = unit(random);
        if (draw >= 0.97) {  // a spurious extra tick, 0.3 s after this one
            t += 0.3;
            continue;
        }
        // Usually from 5 ms early to 0.4 s late; now and then stalled for up to 4.5 s.
        const double lateness = draw < 0.90 ? unit(random) * 0.405 - 0.005 : 0.5 + unit(random) * 4.0;
        maxLateness = std::max(maxLateness, lateness);
        t += TickSchedule::millisecondsToNextTick(std::fmod(t, kDay)) / 1000.0 + lateness;
    }

    for (std::size_t row = 0; row < rows.size(); ++row) {
        std::vector<double> dueTimes;
        for (int day = 0; day < 4; ++day) {
            const double dueAt = day * kDay + rows[row];
            if (dueAt > start + 1 && dueAt < end - 6) dueTimes.push_back(dueAt);
        }
        const auto& started = starts[row];
        ASSERT_EQ(started.size(), dueTimes.size()) << "row at " << rows[row];
        for (std::size_t i = 0; i < started.size(); ++i) {
            EXPECT_GE(started[i], dueTimes[i]) << "row at " << rows[row] << " started early";
            EXPECT_LT(started[i], dueTimes[i] + 1 + maxLateness) << "row at " << rows[row];
        }
    }
}

}  // namespace
}  // namespace morrowset
