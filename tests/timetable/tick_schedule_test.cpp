// The clock's schedule over a simulated clock. The clock is a count of milliseconds since
// 1970 UTC that each case moves as time passes, a suspend or a hand would move it; the
// schedule reads it through the platform's conversion to the local wall clock, in a real
// time zone with daylight saving (Europe/Berlin: CET, UTC+1, and CEST, UTC+2).
#include "timetable/tick_schedule.h"
#include "timetable/catch_up.h"
#include "timetable/row_rules.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace morrowset {
namespace {

using ::testing::ElementsAreArray;
using platform::WallTime;

constexpr int64_t kSecond = 1000;
constexpr int64_t kMinute = 60 * kSecond;
constexpr int64_t kHour = 60 * kMinute;

// Runs the test in a zone with daylight saving, and back in the old zone afterwards.
class BerlinTime : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) oldZone_ = zone;
        ::setenv("TZ", "Europe/Berlin", 1);
        ::tzset();
        // 2026-07-01 12:00 UTC is 14:00 CEST; without the zone's data it would read 12:00.
        ASSERT_EQ(platform::wallTimeAt(utc("2026-07-01 12:00:00")).millisecond, 14 * kHour)
            << "the Europe/Berlin zone is missing (Debian package tzdata)";
    }
    void TearDown() override {
        if (oldZone_) ::setenv("TZ", oldZone_->c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

public:
    // Milliseconds since 1970 of "yyyy-mm-dd hh:mm:ss" UTC, plus `milliseconds`.
    static int64_t utc(const char* when, int64_t milliseconds = 0) {
        std::tm parts{};
        ::strptime(when, "%Y-%m-%d %H:%M:%S", &parts);
        return static_cast<int64_t>(::timegm(&parts)) * kSecond + milliseconds;
    }
    // The local time at `unixMs` as the wall shows it: "03-29 03:00:00 CEST".
    static std::string local(int64_t unixMs) {
        const std::time_t seconds = static_cast<std::time_t>(unixMs / kSecond);
        std::tm parts{};
        ::localtime_r(&seconds, &parts);
        char text[40];
        std::strftime(text, sizeof text, "%m-%d %H:%M:%S %Z", &parts);
        return text;
    }

private:
    std::optional<std::string> oldZone_;
};

// One thing that happens in a case.
struct Step {
    enum Kind { Tick, Ticks, ClockMoves, Pause, Resume, Enable } kind;
    int64_t value = 0;  // milliseconds for Ticks and ClockMoves, the row for Enable
};
Step tick() { return {Step::Tick}; }
// A tick at once, then one a second for `ms`; the clock ends `ms` later.
Step ticksFor(int64_t ms) { return {Step::Ticks, ms}; }
// The clock moves by `ms` (a suspend, a late tick, a clock set by hand) with no tick.
Step clockMoves(int64_t ms) { return {Step::ClockMoves, ms}; }
Step pause() { return {Step::Pause}; }
Step resume() { return {Step::Resume}; }
Step enable(int row) { return {Step::Enable, row}; }

struct Row {
    const char* time;  // "hh:mm"
    bool enabled = true;
};

struct Case {
    const char* name;
    std::vector<Row> rows;
    int64_t start;  // the clock at the first step, ms since 1970 UTC
    std::vector<Step> steps;
    // Each start: the row's time, the local time of the tick that started it, and how late
    // in whole seconds when it was a late start.
    std::vector<std::string> starts;
};

int32_t secondsOf(const char* time) {
    return ((time[0] - '0') * 10 + (time[1] - '0')) * 3600 + ((time[3] - '0') * 10 + (time[4] - '0')) * 60;
}

// Plays a case through a schedule and lists the starts as the case states them.
std::vector<std::string> play(const Case& c) {
    TickSchedule schedule;
    TickSchedule::Rows rows{};
    for (std::size_t i = 0; i < c.rows.size(); ++i) rows[i] = {c.rows[i].enabled, secondsOf(c.rows[i].time)};
    int64_t clock = c.start;
    bool paused = false;
    std::vector<std::string> starts;
    auto tickNow = [&] {
        if (paused) return;  // the timer is off
        const auto due = schedule.tick(platform::wallTimeAt(clock), rows);
        for (int i = 0; i < due.count(); ++i) {
            std::string text = std::string(c.rows[static_cast<std::size_t>(due[i].row)].time) + " at " +
                               BerlinTime::local(clock);
            if (due[i].late()) text += " (" + std::to_string(due[i].lateMs / kSecond) + " s late)";
            starts.push_back(text);
        }
    };
    for (const Step& step : c.steps) {
        switch (step.kind) {
            case Step::Tick: tickNow(); break;
            case Step::Ticks:
                for (int64_t passed = 0; passed < step.value; passed += kSecond, clock += kSecond) tickNow();
                break;
            case Step::ClockMoves: clock += step.value; break;
            case Step::Pause: paused = true; break;
            case Step::Resume:
                paused = false;
                schedule.forget();
                break;
            case Step::Enable: rows[static_cast<std::size_t>(step.value)].enabled = true; break;
        }
    }
    return starts;
}

TEST_F(BerlinTime, ClockChangesStartEveryRowOnceAtItsTimeOrAsSoonAfterAsTheClockAllows) {
    // Ticks come 10 ms into their second, as the window's timer arms them.
    const int64_t winterDay = utc("2026-01-14 00:00:00", 10);  // 01:00:00.010 CET
    const Case cases[] = {
        {"clocks go forward: the skipped hour's rows start when it is over",
         {{"01:59"}, {"02:00"}, {"02:30"}, {"03:00"}, {"03:01"}},
         utc("2026-03-29 00:58:00", 10),  // 01:58 CET
         {ticksFor(4 * kMinute)},
         {"01:59 at 03-29 01:59:00 CET", "02:00 at 03-29 03:00:00 CEST (3600 s late)",
          "02:30 at 03-29 03:00:00 CEST (1800 s late)", "03:00 at 03-29 03:00:00 CEST",
          "03:01 at 03-29 03:01:00 CEST"}},
        {"clocks go back: the repeated hour starts only what did not start that date",
         {{"01:59"}, {"02:30"}, {"02:45", false}, {"03:00"}},
         utc("2026-10-24 23:58:00", 10),  // 01:58 CEST
         {ticksFor(50 * kMinute), enable(2), ticksFor(73 * kMinute)},
         {"01:59 at 10-25 01:59:00 CEST", "02:30 at 10-25 02:30:00 CEST", "02:45 at 10-25 02:45:00 CET",
          "03:00 at 10-25 03:00:00 CET"}},
        {"59 s forward",
         {{"12:00"}},
         winterDay + 10 * kHour + 59 * kMinute,  // 11:59 CET
         {ticksFor(30 * kSecond), clockMoves(59 * kSecond), ticksFor(2 * kSecond)},
         {"12:00 at 01-14 12:00:29 CET (29 s late)"}},
        {"1 h forward",
         {{"11:45"}, {"12:00"}, {"12:31"}},
         winterDay + 10 * kHour + 30 * kMinute,  // 11:30 CET
         {ticksFor(kSecond), clockMoves(kHour - kSecond), ticksFor(2 * kMinute)},
         {"11:45 at 01-14 12:30:00 CET (2700 s late)", "12:00 at 01-14 12:30:00 CET (1800 s late)",
          "12:31 at 01-14 12:31:00 CET"}},
        {"3 h forward: still caught up",
         {{"09:30"}, {"12:00"}},
         winterDay + 8 * kHour,  // 09:00 CET
         {ticksFor(kSecond), clockMoves(3 * kHour - kSecond), tick()},
         {"09:30 at 01-14 12:00:00 CET (9000 s late)", "12:00 at 01-14 12:00:00 CET"}},
        {"3 h + 1 s forward: only the second it lands in",
         {{"09:30"}, {"12:00"}, {"12:01"}},
         winterDay + 7 * kHour + 59 * kMinute + 59 * kSecond,  // 08:59:59 CET
         {ticksFor(kSecond), clockMoves(3 * kHour), ticksFor(2 * kMinute)},
         {"12:00 at 01-14 12:00:00 CET", "12:01 at 01-14 12:01:00 CET"}},
        {"2 h back: a row that started does not start again, one that was off does",
         {{"13:00"}, {"13:30", false}},
         winterDay + 11 * kHour + 59 * kMinute + 50 * kSecond,  // 12:59:50 CET
         {ticksFor(kHour + 10 * kSecond), clockMoves(-2 * kHour), enable(1), ticksFor(2 * kHour + kMinute)},
         {"13:00 at 01-14 13:00:00 CET", "13:30 at 01-14 13:30:00 CET"}},
        {"40-minute suspend",
         {{"12:15"}, {"12:30"}, {"12:51"}},
         winterDay + 11 * kHour + 9 * kMinute + 58 * kSecond,  // 12:09:58 CET
         {ticksFor(2 * kSecond), clockMoves(40 * kMinute + 500), ticksFor(2 * kMinute)},
         {"12:15 at 01-14 12:50:00 CET (2100 s late)", "12:30 at 01-14 12:50:00 CET (1200 s late)",
          "12:51 at 01-14 12:51:00 CET"}},
        {"pause across a row's time: skipped, and the first tick after looks only at its own second",
         {{"14:00"}, {"14:01"}},
         winterDay + 12 * kHour + 59 * kMinute + 58 * kSecond,  // 13:59:58 CET
         {ticksFor(2 * kSecond), pause(), ticksFor(30 * kSecond), resume(), ticksFor(2 * kMinute)},
         {"14:01 at 01-14 14:01:00 CET"}},
        {"a late tick at .998 of the second before starts nothing",
         {{"19:27"}},
         winterDay + 18 * kHour + 26 * kMinute + 59 * kSecond + 988,  // 19:26:59.998 CET (winterDay is at .010)
         {tick(), clockMoves(3), tick()},
         {"19:27 at 01-14 19:27:00 CET"}},
        {"midnight: 00:00 belongs to the new date, 24:00 to the one that ends",
         {{"00:00"}, {"24:00"}},
         winterDay + 22 * kHour + 59 * kMinute + 58 * kSecond,  // 14 January, 23:59:58 CET
         {ticksFor(4 * kSecond), clockMoves(-3 * kSecond), ticksFor(3 * kSecond),
          clockMoves(kHour * 24 - 3 * kSecond), ticksFor(2 * kSecond)},
         {"00:00 at 01-15 00:00:00 CET", "24:00 at 01-15 00:00:00 CET", "00:00 at 01-16 00:00:00 CET",
          "24:00 at 01-16 00:00:00 CET"}},
        {"a suspend across midnight",
         {{"23:30"}, {"24:00"}, {"00:00"}, {"00:15"}, {"00:45"}},
         winterDay + 22 * kHour,  // 14 January, 23:00 CET
         {ticksFor(kSecond), clockMoves(90 * kMinute), ticksFor(kSecond)},
         {"23:30 at 01-15 00:30:01 CET (3601 s late)", "24:00 at 01-15 00:30:01 CET (1801 s late)",
          "00:00 at 01-15 00:30:01 CET (1801 s late)", "00:15 at 01-15 00:30:01 CET (901 s late)"}},
    };
    for (const Case& c : cases) EXPECT_THAT(play(c), ElementsAreArray(c.starts)) << c.name;
}

TEST(TickSchedule, ANewTimeIsANewJobTheSameDay) {
    TickSchedule schedule;
    TickSchedule::Rows rows{};
    rows[0] = {true, 10 * 3600};
    const int32_t day = 20000;
    auto at = [day](int32_t second) { return WallTime{day, second * 1000 + 10}; };
    EXPECT_EQ(schedule.tick(at(10 * 3600), rows).count(), 1);
    rows[0].seconds = 11 * 3600;  // the user typed a later time
    schedule.tick(at(11 * 3600 - 1), rows);
    EXPECT_EQ(schedule.tick(at(11 * 3600), rows).count(), 1);
}

TEST(TickSchedule, NextTickLandsJustAfterTheNextWholeSecond) {
    constexpr int offset = TickSchedule::kTickOffsetMs;
    EXPECT_EQ(TickSchedule::millisecondsToNextTick(100'000), 1000 + offset);
    EXPECT_EQ(TickSchedule::millisecondsToNextTick(100'250), 750 + offset);
    EXPECT_EQ(TickSchedule::millisecondsToNextTick(100'999), 1 + offset);
}

TEST(TickSchedule, LateStartText) {
    EXPECT_EQ(TickSchedule::lateStartText(1, 2 * 3600 + 30 * 60, 1'800'250), "LATE START row 2 (02:30) 1800.250 s after its time");
    EXPECT_EQ(TickSchedule::lateStartText(5, 86400, 1'005), "LATE START row 6 (24:00) 1.005 s after its time");
}

// A simulated run of four days and a bit: the clock re-arms after each tick for just after
// the next whole second, but ticks come late, up to a minute now and then, sometimes twice
// in a second and sometimes a few milliseconds early. Every row must start once a day,
// never before its time and within the lateness of the tick that found it.
TEST(TickSchedule, SimulatedDaysWithJitteredTicksStartEveryRowOnceADayNeverEarly) {
    constexpr int64_t kDay = 86'400'000;
    const std::vector<int32_t> rowSeconds = {0, 59, 43200, 86340, 86399, 86400};
    TickSchedule::Rows rows{};
    for (std::size_t i = 0; i < rowSeconds.size(); ++i) rows[i] = {true, rowSeconds[i]};
    const int64_t start = 20000 * kDay - 30'000;
    const int64_t end = 20004 * kDay + 30'000;
    std::mt19937 random(20240601);
    std::uniform_real_distribution<double> unit(0, 1);

    std::vector<std::vector<int64_t>> starts(rowSeconds.size());  // row -> wall positions
    TickSchedule schedule;
    int64_t maxLateness = 0;
    for (int64_t t = start; t < end;) {
        const auto due = schedule.tick(WallTime::atPosition(t), rows);
        for (int i = 0; i < due.count(); ++i) starts[static_cast<std::size_t>(due[i].row)].push_back(t);
        const double draw = unit(random);
        if (draw >= 0.97) {  // a spurious extra tick, 0.3 s after this one
            t += 300;
            continue;
        }
        // Usually from 5 ms early to 0.4 s late; now and then stalled for up to a minute.
        const auto lateness = static_cast<int64_t>(draw < 0.95 ? unit(random) * 405 - 5 : 500 + unit(random) * 60'000);
        maxLateness = std::max(maxLateness, lateness);
        t += TickSchedule::millisecondsToNextTick(WallTime::atPosition(t).millisecond) + lateness;
    }

    for (std::size_t row = 0; row < rowSeconds.size(); ++row) {
        std::vector<int64_t> dueTimes;
        for (int64_t day = 19999; day <= 20004; ++day) {
            const int64_t dueAt = day * kDay + rowSeconds[row] * 1000;
            if (dueAt > start + 1000 && dueAt < end - 61'000) dueTimes.push_back(dueAt);
        }
        const auto& started = starts[row];
        ASSERT_GE(started.size(), dueTimes.size()) << "row at " << rowSeconds[row];
        for (std::size_t i = 0; i < dueTimes.size(); ++i) {
            EXPECT_GE(started[i], dueTimes[i]) << "row at " << rowSeconds[row] << " started early";
            EXPECT_LT(started[i], dueTimes[i] + 1000 + maxLateness + 1010) << "row at " << rowSeconds[row];
        }
        EXPECT_LE(started.size(), dueTimes.size() + 1) << "row at " << rowSeconds[row] << " started twice a day";
    }
}

}  // namespace
}  // namespace morrowset

namespace morrowset {
namespace {

// Days are judged by the local date a row's time belongs to: a 24:00 row's date is the one
// its midnight ends. 2026-12-11 is a Friday (local day 20798).
TEST(TickScheduleDays, ARowStartsOnlyOnItsDays) {
    constexpr int32_t kFriday = 20798;
    struct Case {
        const char* name;
        const char* days;
        int32_t rowSeconds;
        int32_t tickDay;
        int32_t tickMs;
        bool starts;
    };
    const Case cases[] = {
        {"Mon-Fri on a Friday", "Mon-Fri", 7 * 3600 + 1800, kFriday, (7 * 3600 + 1800) * 1000 + 10, true},
        {"Mon-Fri on a Saturday", "Mon-Fri", 7 * 3600 + 1800, kFriday + 1, (7 * 3600 + 1800) * 1000 + 10, false},
        {"24:00 Sat,Sun at the midnight ending Saturday", "Sat,Sun", 86400, kFriday + 2, 10, true},
        {"24:00 Sat,Sun at the midnight ending Sunday", "Sat,Sun", 86400, kFriday + 3, 10, true},
        {"24:00 Sat,Sun at the midnight ending Friday", "Sat,Sun", 86400, kFriday + 1, 10, false},
        {"00:00 Sat,Sun at the midnight ending Friday", "Sat,Sun", 0, kFriday + 1, 10, true},
        {"Fri-Mon wraps to Monday", "Fri-Mon", 9 * 3600, kFriday + 3, 9 * 3600 * 1000 + 10, true},
        {"Fri-Mon leaves Tuesday", "Fri-Mon", 9 * 3600, kFriday + 4, 9 * 3600 * 1000 + 10, false},
        {"no days is every day", "", 9 * 3600, kFriday + 4, 9 * 3600 * 1000 + 10, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Reading<DaySet> days = readDays(c.days);
        ASSERT_TRUE(days.ok());
        TickSchedule::Rows rows{};
        rows[0] = {true, c.rowSeconds, days.value};
        TickSchedule schedule;
        schedule.tick(WallTime::atPosition(WallTime{c.tickDay, c.tickMs}.position() - 2000), rows);
        EXPECT_EQ(schedule.tick({c.tickDay, c.tickMs}, rows).count(), c.starts ? 1 : 0);
        // Catching up a second later follows the same days (a 24:00 row never catches up).
        if (c.rowSeconds > 0 && c.rowSeconds < 86400)
            EXPECT_EQ(rowsToCatchUp(rows, {c.tickDay, c.tickMs + 1000}, {}).size(), c.starts ? 1u : 0u);
    }
}

}  // namespace
}  // namespace morrowset
