// What the row icons and --status say, in words.
#include "timetable/run_text.h"

#include <signal.h>

#include <gmock/gmock.h>

namespace morrowset {
namespace {

constexpr int32_t kToday = 20433;  // 2025-12-11

platform::WallTime todayAt(int hour, int minute, int second = 0) {
    return {kToday, ((hour * 60 + minute) * 60 + second) * 1000};
}

Timetable::Row row(int16_t state, const char* command, const char* time, std::optional<int32_t> seconds) {
    Timetable::Row r;
    r.state = state;
    r.commandLine = command;
    r.timeText = time;
    r.seconds = seconds;
    return r;
}

TEST(RunText, NextStart) {
    const platform::WallTime now = todayAt(10, 47, 30);
    const std::pair<Timetable::Row, const char*> cases[] = {
        {row(1, "backup", "14:00", 14 * 3600), "today 14:00, in 3 h 13 min"},
        {row(1, "backup", "10:48", 10 * 3600 + 48 * 60), "today 10:48, in 1 min"},
        {row(1, "backup", "10:47", 10 * 3600 + 47 * 60), "tomorrow 10:47"},
        {row(1, "backup", "02:30", 2 * 3600 + 30 * 60), "tomorrow 02:30"},
        {row(1, "backup", "24:00", 86400), "today 24:00, in 13 h 13 min"},
        {row(0, "backup", "14:00", 14 * 3600), "not scheduled"},
        {row(2, "backup", "14:00", 14 * 3600), "not scheduled"},
        {row(1, "", "14:00", 14 * 3600), "not scheduled"},
        {row(1, "backup", "##:##", 14 * 3600), "not scheduled"},
        {row(1, "backup", "14:00", std::nullopt), "not scheduled"},
    };
    for (const auto& [r, text] : cases) EXPECT_EQ(runtext::nextStart(r, now), text) << r.timeText;
}

// With days: a start two days or more ahead is named by its weekday. Today is a Thursday.
TEST(RunText, NextStartAndScheduleWithDays) {
    const platform::WallTime now = todayAt(10, 47, 30);
    struct Case {
        const char* days;
        int32_t seconds;
        const char* next;
        const char* schedule;
    };
    const Case cases[] = {
        {"Mon-Fri", 7 * 3600 + 30 * 60, "tomorrow 07:30", "Mon\u2013Fri 07:30"},
        {"Sat,Sun", 7 * 3600 + 30 * 60, "Saturday 07:30", "Sat,Sun 07:30"},
        {"Thu", 7 * 3600 + 30 * 60, "Thursday 07:30", "Thu 07:30"},
        {"Thu", 14 * 3600, "today 14:00, in 3 h 13 min", "Thu 14:00"},
        {"Thu", 86400, "today 24:00, in 13 h 13 min", "Thu 24:00"},
        {"Sat", 86400, "Saturday 24:00", "Sat 24:00"},
        {"Mon Wed Fri", 0, "tomorrow 00:00", "Mon,Wed,Fri 00:00"},
        {"", 2 * 3600 + 30 * 60, "tomorrow 02:30", "every day 02:30"},
        {"Mon-Frx", 2 * 3600 + 30 * 60, "not scheduled", "every day 02:30"},
    };
    for (const Case& c : cases) {
        RowRules rules;
        rules.set(RowRules::Days, c.days);
        EXPECT_EQ(runtext::nextStart(c.seconds, rules, now), c.next) << c.days;
        EXPECT_EQ(runtext::scheduleText(c.seconds, rules), c.schedule) << c.days;
    }
}

TEST(RunText, DurationsAndOutcomes) {
    const std::pair<int64_t, const char*> durations[] = {
        {0, "0 ms"}, {999, "999 ms"}, {1250, "1.2 s"}, {59999, "59.9 s"}, {184000, "3 min 4 s"},
        {7'500'000, "2 h 5 min"}, {277'200'000, "3 d 5 h"}};
    for (const auto& [ms, text] : durations) EXPECT_EQ(runtext::duration(ms), text);

    RunRecord run;
    EXPECT_EQ(runtext::outcome(run), "running");
    run.endUnseen = true;
    EXPECT_EQ(runtext::outcome(run), "end not seen");
    run.ended = Stamp{};
    run.exitStatus = 0;
    EXPECT_EQ(runtext::outcome(run), "exit status 0");
    run.exitStatus.reset();
    run.signal = SIGKILL;
    EXPECT_EQ(runtext::outcome(run), "killed by SIGKILL");
    run.error = 53;
    EXPECT_EQ(runtext::outcome(run), "could not start: error 53 (File not found)");
}

// A run Morrowset stopped says why, first in its outcome and alone in the notice's words;
// one that left with exit status 0 when stopped did not succeed.
TEST(RunText, AStoppedRunSaysWhy) {
    const struct {
        StopReason reason;
        int32_t limit;
        int signal;
        const char* outcome;
        const char* stopped;
    } cases[] = {
        {StopReason::TimeLimit, 45 * 60, SIGTERM, "time limit 45 min reached, killed by SIGTERM",
         "Row 2 stopped: time limit 45 min reached"},
        {StopReason::TimeLimit, 5400 + 7, SIGKILL, "time limit 1 h 30 min 7 s reached, killed by SIGKILL",
         "Row 2 stopped: time limit 1 h 30 min 7 s reached"},
        {StopReason::TimeLimit, 0, 0, "time limit reached, exit status 0", "Row 2 stopped: time limit reached"},
        {StopReason::Stop, 90, 0, "asked to stop, exit status 0", "Row 2 stopped: asked to stop"},
        {StopReason::None, 90, 0, "exit status 0", ""},
    };
    for (const auto& c : cases) {
        RunRecord run;
        run.row = 1;
        run.ended = Stamp{};
        run.exitStatus = c.signal ? std::nullopt : std::optional(0);
        run.signal = c.signal;
        run.stopped = c.reason;
        run.timeLimitSeconds = c.limit;
        EXPECT_EQ(runtext::outcome(run), c.outcome);
        EXPECT_EQ(runtext::stoppedText(run), c.stopped);
        EXPECT_EQ(run.result() == RunRecord::Result::Succeeded, c.reason == StopReason::None) << c.outcome;
    }
}

TEST(RunText, TheToolTipOfAFailedRow) {
    RunRecord run;
    run.command = "/usr/local/bin/backup-home";
    run.trigger = Trigger::Clock;
    run.due = Stamp{todayAt(2, 30), 3600};
    run.started = Stamp{{todayAt(2, 30).day, todayAt(2, 30).millisecond + 8}, 3600};
    run.ended = Stamp{todayAt(2, 31, 4), 3600};
    run.durationMs = 64'012;
    run.exitStatus = 3;
    run.output = "row2-x.log";
    EXPECT_EQ(runtext::toolTip(run, "tomorrow 02:30", todayAt(10, 47)),
              "Last run: started today 02:30:00 by the clock (due 02:30).\n"
              "Ran 1 min 4 s and failed: exit status 3.\n"
              "Next start: tomorrow 02:30.\n"
              "Click to open its output.");
    run.error = 70;
    run.output.clear();
    run.trigger = Trigger::Now;
    run.due.reset();
    run.started.local.day -= 1;
    EXPECT_EQ(runtext::toolTip(run, "not scheduled", todayAt(10, 47)),
              "Last run: started yesterday 02:30:00 with NOW.\n"
              "It could not start: error 70 (Permission denied).\n"
              "Next start: not scheduled.");
}

// A start skipped while paused reads the same in the tooltip, `--status` and the History
// window: the time it was due and why.
TEST(RunText, ASkippedStartIsSaidOneWay) {
    RunRecord run;
    run.trigger = Trigger::Clock;
    run.due = Stamp{todayAt(8, 21), 3600};
    run.started = Stamp{todayAt(9, 5, 12), 3600};
    run.skipped = "paused";
    EXPECT_EQ(runtext::skipped(run), "skipped at 08:21: the clock was paused");
    EXPECT_EQ(runtext::outcome(run), runtext::skipped(run));
    EXPECT_EQ(runtext::toolTip(run, "tomorrow 08:21", todayAt(10, 47)),
              "Last run: skipped at 08:21: the clock was paused.\nNext start: tomorrow 08:21.");
    run.skipped = "reason of a later version";
    EXPECT_EQ(runtext::skipped(run), "skipped at 08:21: reason of a later version");
}

// The tray's next start: the soonest of the scheduled rows, with its row; none when no row
// is scheduled.
TEST(RunText, FirstStartAmongTheRows) {
    const platform::WallTime now = todayAt(10, 47, 30);
    Timetable timetable;
    EXPECT_EQ(runtext::firstStart(timetable, now), "");
    const auto set = [&](int index, const char* command, const char* time, int32_t seconds) {
        timetable.setCommandLine(index, command);
        timetable.setTimeText(index, time);
        timetable.setSeconds(index, seconds);
        timetable.setState(index, Timetable::kChecked);
    };
    set(0, "early", "02:30", 2 * 3600 + 30 * 60);  // tomorrow
    EXPECT_EQ(runtext::firstStart(timetable, now), "row 1, tomorrow 02:30");
    set(3, "later", "14:00", 14 * 3600);
    set(4, "sooner", "11:00", 11 * 3600);
    EXPECT_EQ(runtext::firstStart(timetable, now), "row 5, today 11:00, in 13 min");
    timetable.setState(4, 0);
    EXPECT_EQ(runtext::firstStart(timetable, now), "row 4, today 14:00, in 3 h 13 min");
}

}  // namespace
}  // namespace morrowset
