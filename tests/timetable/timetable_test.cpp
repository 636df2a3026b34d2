// The timetable model without its window: the one rule for times, the rows' values and
// what the clock's schedule is given.
#include "timetable/timetable.h"

#include <gmock/gmock.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/runtime_error.h"

namespace morrowset {
namespace {

using ::testing::ElementsAre;
using TimeFault = Timetable::TimeFault;

struct TimeCase {
    const char* text;
    TimeFault fault;
    int32_t seconds;  // when a time of day
};

TEST(TimetableTimes, OneRuleReadsEveryTimeText) {
    const TimeCase cases[] = {
        {"00:00", TimeFault::None, 0},         {"07:05", TimeFault::None, 25500},
        {"23:59", TimeFault::None, 86340},     {"24:00", TimeFault::None, 86400},
        {"##:##", TimeFault::NoTime, 0},       {"1#:##", TimeFault::Incomplete, 0},
        {"12:3#", TimeFault::Incomplete, 0},   {"#5:40", TimeFault::Incomplete, 0},
        {"25:00", TimeFault::Hour, 0},         {"99:99", TimeFault::Hour, 0},
        {"ab:cd", TimeFault::Hour, 0},         {"1:30", TimeFault::Hour, 0},
        {"", TimeFault::Hour, 0},              {"12-30", TimeFault::Hour, 0},
        {"23:60", TimeFault::Minute, 0},       {"24:01", TimeFault::Minute, 0},
        {"12:3x", TimeFault::Minute, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Timetable::TimeReading reading = Timetable::readTime(c.text);
        EXPECT_EQ(reading.fault, c.fault);
        if (c.fault == TimeFault::None) {
            EXPECT_EQ(reading.seconds, c.seconds);
        }
        EXPECT_EQ(Timetable::isTimeOfDay(c.text), c.fault == TimeFault::None);
    }
    for (const char* fits : {"##:##", "12:3#", "99:99", "00:00"}) EXPECT_TRUE(Timetable::fitsTimeBox(fits)) << fits;
    for (const char* not_ : {"", "1:30", "12-30", "ab:cd", "12:345", "12:3 "}) EXPECT_FALSE(Timetable::fitsTimeBox(not_)) << not_;
}

int32_t errorOf(const std::function<void()>& change) {
    try {
        change();
    } catch (const platform::RuntimeError& error) {
        return error.number();
    }
    return 0;
}

TEST(TimetableRows, RefusesWhatNoRowCanHoldAndKeepsTheRowAsItWas) {
    Timetable timetable;
    timetable.setState(1, Timetable::kGrayed);
    timetable.setTimeText(1, "08:00");
    EXPECT_EQ(errorOf([&] { timetable.setState(1, 3); }), 380);
    EXPECT_EQ(errorOf([&] { timetable.setState(1, -1); }), 380);
    EXPECT_EQ(errorOf([&] { timetable.setTimeText(1, "8:00"); }), 380);
    EXPECT_EQ(timetable.row(1).state, Timetable::kGrayed);
    EXPECT_EQ(timetable.row(1).timeText, "08:00");
    EXPECT_THROW(timetable.row(6), std::out_of_range);
}

TEST(TimetableRows, ACommandLineIsOneLineOfBytes) {
    Timetable timetable;
    timetable.setCommandLine(0, "echo one\r\necho\ntwo \xE9");
    EXPECT_EQ(timetable.row(0).commandLine, "echo one  echo two \xE9");
}

// The window redraws a row when it hears of a change, and only then.
TEST(TimetableRows, TellsOfEachRealChange) {
    Timetable timetable;
    std::vector<int> changed;
    timetable.setOnChange([&](int row) { changed.push_back(row); });
    timetable.setState(2, Timetable::kChecked);
    timetable.setState(2, Timetable::kChecked);
    timetable.setCommandLine(4, "true");
    timetable.setCommandLine(4, "true");
    timetable.setTimeText(5, "##:##");
    timetable.setTimeText(5, "10:00");
    timetable.setSeconds(0, 0);
    timetable.setSeconds(0, 0);
    EXPECT_THAT(changed, ElementsAre(2, 4, 5, 0));
}

// A row takes part in the clock's schedule when it is checked, shows a time of day and was
// given seconds (by loading or by leaving the time box); the seconds are the ones it was
// given, even when the text typed since says otherwise.
TEST(TimetableRows, TheScheduleGetsTheCheckedRowsWithATime) {
    Timetable timetable;
    const auto row = [&](int index, int16_t state, const char* time, std::optional<int32_t> seconds) {
        timetable.setState(index, state);
        timetable.setCommandLine(index, "true");
        timetable.setTimeText(index, time);
        if (seconds) timetable.setSeconds(index, *seconds);
    };
    row(0, Timetable::kChecked, "08:00", 28800);
    row(1, Timetable::kUnchecked, "08:00", 28800);
    row(2, Timetable::kGrayed, "08:00", 28800);
    row(3, Timetable::kChecked, "##:##", 28800);  // cleared: the old seconds stay, unused
    row(4, Timetable::kChecked, "09:00", std::nullopt);  // typed, never accepted
    row(5, Timetable::kChecked, "10:00", 28800);  // typed over an accepted time
    const TickSchedule::Rows rows = timetable.rows();
    std::vector<std::pair<bool, int32_t>> given;
    for (const auto& r : rows) given.emplace_back(r.enabled, r.enabled ? r.seconds : -1);
    EXPECT_THAT(given, ElementsAre(std::pair(true, 28800), std::pair(false, -1), std::pair(false, -1),
                                   std::pair(false, -1), std::pair(false, -1), std::pair(true, 28800)));
    EXPECT_TRUE(timetable.row(0).canRun());
    EXPECT_FALSE(timetable.row(3).canRun());
}

}  // namespace
}  // namespace morrowset
