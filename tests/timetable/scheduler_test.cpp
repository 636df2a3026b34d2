// The whole run loop without a display: the settings file loaded, the clock's ticks, real
// programs started and followed to their end, the history, catching up after a restart,
// and the timetable saved, with a view that records what it was told.
#include "timetable/scheduler.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <string>
#include <vector>

#include "errortrap/core/runtime.h"
#include "errortrap/startup.h"
#include "platform/app_object.h"
#include "platform/child_watcher.h"
#include "timetable/catch_up.h"
#include "platform/runtime_error.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/scoped_runtime.h"
#include "support/temp_folder.h"
#include "timetable/status_report.h"

namespace morrowset {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testsupport::readFile;
using testsupport::runEventsUntil;
using testsupport::writeFile;

struct RecordingView : SchedulerView {
    void rowChanged(int row) override { changed.push_back(row); }
    void clockRunning(bool running) override { lights.push_back(running); }
    void clockShown(const std::string& text) override { clock = text; }
    std::vector<int> changed;
    std::vector<bool> lights;
    std::string clock;
};

// The settings file's 18 lines for rows given as {state, command line, time}.
std::string settingsOf(std::vector<std::vector<std::string>> rows) {
    rows.resize(6, {" 0 ", "", "##:##"});
    std::string text;
    for (const auto& row : rows)
        for (const auto& field : row) text += field + "\r\n";
    return text;
}

class RunLoop : public ::testing::Test {
public:
    void SetUp() override {
        testsupport::ensureCoreApplication();
        runtime->prefs().silentRun = 1;  // errors are recorded by the trap below, no dialog
        runtime->platform().clock = &clock;
        runtime->platform().app = platform::AppObject(folder.path(), platform::AppObject().exeName());
        clock.set(9, 0);
    }

    // A scheduler in the folder, as a fresh start of the program makes it.
    std::unique_ptr<Scheduler> start() {
        auto scheduler = std::make_unique<Scheduler>(folder.path(), platform::processWatcher(),
                                                     Launcher::startWith(platform::processWatcher()), *runtime);
        scheduler->setView(&view);
        scheduler->Form_Load();
        scheduler->restoreLastRuns();
        scheduler->clockStarted();
        return scheduler;
    }
    void tickAt(Scheduler& scheduler, int hour, int minute, double second = 0.01) {
        clock.set(hour, minute, second);
        scheduler.tmrMain_Timer();
    }
    bool endOf(Scheduler& scheduler, int row) {
        return runEventsUntil([&] {
            const auto& run = scheduler.timetable().row(row).lastRun;
            return run && run->ended;
        });
    }
    std::string history() const { return readFile(folder / "history.jsonl"); }

    testsupport::ScopedRuntime runtime;
    testsupport::TempFolder folder;
    testsupport::FakeClock clock;
    RecordingView view;
    std::vector<int32_t> trapped;
    testsupport::ScopedTrapHandler trap{[this](const std::string&, const std::string&) {
        trapped.push_back(platform::currentError().number);
        return int16_t{0};
    }};
};

TEST_F(RunLoop, LoadTickStartEndHistoryAndSave) {
    writeFile(folder / "Morrowset.ini", settingsOf({{" 1 ", "sh -c 'echo ran'", "10:00"}, {" 1 ", "no-such-program-x", "10:00"}}));
    auto scheduler = start();
    EXPECT_THAT(view.lights, ElementsAre(true, true)) << "the load shows the running clock";

    tickAt(*scheduler, 9, 59, 59.5);
    EXPECT_FALSE(scheduler->timetable().row(0).lastRun) << "never early";
    tickAt(*scheduler, 10, 0);
    EXPECT_EQ(view.clock, "10:00AM");
    EXPECT_THAT(trapped, ElementsAre(53)) << "the missing program is reported, the tick goes on";
    ASSERT_TRUE(endOf(*scheduler, 0));
    const RunRecord& run = *scheduler->timetable().row(0).lastRun;
    EXPECT_EQ(run.trigger, Trigger::Clock);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(readFile(folder / ("runs/" + run.output)), "ran\n");
    EXPECT_THAT(history(), HasSubstr(R"("event":"start")"));
    EXPECT_THAT(history(), HasSubstr(R"("event":"end")"));
    EXPECT_THAT(history(), HasSubstr(R"("event":"refused")"));

    // An edit checks its row; Save writes the 18 lines (the tick grayed the empty rows).
    scheduler->commandLineEdited(2, "report --daily");
    EXPECT_EQ(scheduler->timetable().row(2).state, Timetable::kChecked);
    scheduler->cmdSave_Click();
    EXPECT_EQ(readFile(folder / "Morrowset.ini"),
              settingsOf({{" 1 ", "sh -c 'echo ran'", "10:00"},
                          {" 1 ", "no-such-program-x", "10:00"},
                          {" 1 ", "report --daily", "##:##"},
                          {" 2 ", "", "##:##"},
                          {" 2 ", "", "##:##"},
                          {" 2 ", "", "##:##"}}));
}

// With catching up on, a restart after the row's time starts it once; a second restart
// finds its start in the history and leaves it.
TEST_F(RunLoop, CatchingUpAfterARestartStartsOnce) {
    writeFile(folder / "Morrowset.ini", settingsOf({{" 1 ", "true", "08:00"}}));
    writeFile(folder / "WLCLIENT.INI", "[timetable]\nCatch Up=1\n");
    clock.set(12, 0);
    {
        auto scheduler = start();
        scheduler->catchUpMissedStarts();
        ASSERT_TRUE(endOf(*scheduler, 0));
        EXPECT_EQ(scheduler->timetable().row(0).lastRun->trigger, Trigger::CatchUp);
    }
    auto again = start();
    again->catchUpMissedStarts();
    EXPECT_EQ(again->timetable().row(0).lastRun->trigger, Trigger::CatchUp) << "the last run, from the history";
    EXPECT_EQ(again->launcher().running(), 0);
}

// While the clock is paused a row's next start says why there is none.
TEST_F(RunLoop, APausedClockSaysSoInTheNextStart) {
    writeFile(folder / "Morrowset.ini", settingsOf({{" 1 ", "true", "10:00"}}));
    auto scheduler = start();
    scheduler->pause();
    EXPECT_EQ(scheduler->nextStartText(0), "not scheduled while the clock is paused");
    scheduler->resume();
    EXPECT_THAT(scheduler->nextStartText(0), HasSubstr("today 10:00"));
}

// How often the history says the row started, by the clock or catching up.
int startsIn(const std::string& history) {
    int count = 0;
    for (std::size_t at = history.find(R"("event":"start")"); at != std::string::npos;
         at = history.find(R"("event":"start")", at + 1))
        ++count;
    return count;
}

// A start is neither doubled nor lost around the moments the clock and catching up meet.
TEST_F(RunLoop, EachDueStartHappensOnce) {
    writeFile(folder / "Morrowset.ini", settingsOf({{" 1 ", "true", "10:00"}}));
    writeFile(folder / "WLCLIENT.INI", "[timetable]\nCatch Up=1\n");
    struct Case {
        const char* name;
        std::function<void(RunLoop&)> steps;
    };
    const Case cases[] = {
        {"started inside the due second, the first tick starts it",
         [](RunLoop& t) {
             t.clock.set(10, 0, 0.2);
             auto s = t.start();
             s->catchUpMissedStarts();
             t.tickAt(*s, 10, 0, 1.01);
             t.tickAt(*s, 10, 0, 2.01);
             EXPECT_TRUE(t.endOf(*s, 0));
         }},
        {"caught up a moment after the start second, the tick leaves it",
         [](RunLoop& t) {
             t.clock.set(10, 0, 0.98);
             auto s = t.start();
             t.clock.set(10, 0, 1.05);
             s->catchUpMissedStarts();
             t.tickAt(*s, 10, 0, 2.01);
             EXPECT_TRUE(t.endOf(*s, 0));
         }},
        {"caught up after a leap, the clock set back does not start it again",
         [](RunLoop& t) {
             t.clock.set(8, 0);
             auto s = t.start();
             t.tickAt(*s, 8, 0, 1.01);
             t.tickAt(*s, 12, 0);  // more than 3 hours ahead: catching up follows
             EXPECT_TRUE(t.endOf(*s, 0));
             t.clock.setTo({t.clock.wallNow().day, (9 * 3600 + 59 * 60 + 56) * 1000});
             s->tmrMain_Timer();
             t.tickAt(*s, 10, 0, 0.01);
             t.tickAt(*s, 10, 0, 1.01);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(folder / "history.jsonl");
        c.steps(*this);
        EXPECT_EQ(startsIn(history()), 1) << history();
    }
}

// A time that passes while the clock is paused is skipped that day: the history and the
// row say so, and catching up at the next start leaves it alone.
TEST_F(RunLoop, ATimePassedWhilePausedIsSkippedAndNotCaughtUp) {
    writeFile(folder / "Morrowset.ini", settingsOf({{" 1 ", "true", "10:00"}}));
    writeFile(folder / "WLCLIENT.INI", "[timetable]\nCatch Up=1\n");
    clock.set(9, 59);
    {
        auto scheduler = start();
        tickAt(*scheduler, 9, 59, 30.01);
        scheduler->pause();
        clock.set(10, 5);
        scheduler->resume();
        tickAt(*scheduler, 10, 5, 1.01);
        const auto& last = scheduler->timetable().row(0).lastRun;
        ASSERT_TRUE(last);
        EXPECT_EQ(last->result(), RunRecord::Result::Skipped);
    }
    EXPECT_THAT(history(), HasSubstr(R"("event":"skipped")"));
    EXPECT_THAT(history(), HasSubstr(R"("reason":"paused")"));
    auto again = start();
    again->catchUpMissedStarts();
    EXPECT_EQ(startsIn(history()), 0);
    EXPECT_EQ(again->timetable().row(0).lastRun->result(), RunRecord::Result::Skipped);
}

// A history that cannot be written loses nothing while the program runs: its lines wait
// and go out in order once it can be written; meanwhile catching up is off, and the
// status says why.
TEST_F(RunLoop, AHistoryThatCannotBeWrittenKeepsItsLinesAndStopsCatchingUp) {
    writeFile(folder / "Morrowset.ini", settingsOf({{" 1 ", "true", "08:00"}}));
    writeFile(folder / "WLCLIENT.INI", "[timetable]\nCatch Up=1\n");
    writeFile(folder / "elsewhere.jsonl", "");
    std::filesystem::create_symlink(folder / "elsewhere.jsonl", folder / "history.jsonl");
    clock.set(12, 0);
    auto scheduler = start();
    scheduler->catchUpMissedStarts();
    EXPECT_FALSE(scheduler->timetable().row(0).lastRun) << "no catching up without a trusted history";
    scheduler->cmdGo_Click(0);
    ASSERT_TRUE(endOf(*scheduler, 0));
    EXPECT_THAT(scheduler->history().problem(), HasSubstr("cannot be written"));
    EXPECT_EQ(readFile(folder / "elsewhere.jsonl"), "") << "never written through a link";
    EXPECT_THAT(statusReport(*scheduler, clock.wallNow()).problem, HasSubstr("catch-up is off"));

    std::filesystem::remove(folder / "history.jsonl");
    scheduler->cmdGo_Click(0);
    ASSERT_TRUE(runEventsUntil([&] { return scheduler->launcher().running() == 0; }));
    EXPECT_EQ(scheduler->history().problem(), "");
    const std::string lines = history();
    EXPECT_EQ(startsIn(lines), 2) << lines;
    EXPECT_LT(lines.find(R"("event":"end")"), lines.rfind(R"("event":"start")")) << "in the order they happened";
}

// Out of descriptors: every NOW gets its history line (a start, or a refused start with its
// error, 67 Too many files), and every program that started is heard to end and reaped.
TEST_F(RunLoop, OutOfDescriptorsEveryStartIsRecordedAndEveryChildReaped) {
    writeFile(folder / "Morrowset.ini", settingsOf({{" 1 ", "sleep 0.5", "##:##"}}));
    auto scheduler = start();
    rlimit before{};
    ::getrlimit(RLIMIT_NOFILE, &before);
    int open = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) open += entry.exists() || true;
    rlimit tight = before;
    tight.rlim_cur = static_cast<rlim_t>(open + 12);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    constexpr int kClicks = 40;
    for (int click = 0; click < kClicks; ++click) scheduler->cmdGo_Click(0);
    ::setrlimit(RLIMIT_NOFILE, &before);
    ASSERT_TRUE(runEventsUntil([&] { return scheduler->launcher().running() == 0; }, 20000));
    int status = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "a child was left unreaped";
    const std::string lines = history();
    int refused = 0;
    for (std::size_t at = lines.find(R"("event":"refused")"); at != std::string::npos;
         at = lines.find(R"("event":"refused")", at + 1))
        ++refused;
    EXPECT_EQ(startsIn(lines) + refused, kClicks) << lines;
    EXPECT_EQ(static_cast<int>(trapped.size()), refused);
    int ends = 0;
    for (std::size_t at = lines.find(R"("event":"end")"); at != std::string::npos; at = lines.find(R"("event":"end")", at + 1))
        ++ends;
    EXPECT_EQ(ends, startsIn(lines));
}

// Switching catching up on makes the preferences file when there is none; the runtime then
// reads the [include] items from it, so the file says what was in effect without it.
TEST_F(RunLoop, CatchUpSwitchedOnWithoutPreferencesKeepsTheTraceLinesAsTheyWere) {
    auto scheduler = start();
    scheduler->setCatchUp(true);
    EXPECT_TRUE(catchUpWanted(scheduler->preferencesPath()));
    testsupport::ScopedRuntime fresh;
    fresh->platform().app = runtime->platform().app;
    wardline::startRuntime(*fresh);
    const wardline::Preferences& prefs = fresh->prefs();
    EXPECT_EQ(std::tie(prefs.includeResources, prefs.includeMemory, prefs.includeArguments, prefs.includeUser),
              std::tie(runtime->prefs().includeResources, runtime->prefs().includeMemory,
                       runtime->prefs().includeArguments, runtime->prefs().includeUser));
}

// A row's days, folder and whatever else follows the eighteen lines: read, obeyed, kept
// byte for byte on Save; a value that cannot be read grays its row and says why.
TEST_F(RunLoop, RulesAfterTheEighteenLinesAreReadObeyedAndKept) {
    constexpr int32_t kFriday = 20798;  // 2026-12-11
    const std::string tail =
        "[Row 1]\r\nDays=sat sun\r\nFolder=" + folder.path() + "\r\n; kept as it is\r\n[Other]\r\nkey=value\r\n"
        "[Row 2]\r\nDays=Mon-Frx\r\n";
    writeFile(folder / "Morrowset.ini", settingsOf({{" 1 ", "pwd", "10:00"}, {" 1 ", "true", "10:00"}}) + tail);
    clock.setTo({kFriday, (9 * 3600 + 59 * 60) * 1000});
    auto scheduler = start();
    EXPECT_THAT(scheduler->nextStartText(0), HasSubstr("tomorrow 10:00 (Sat,Sun 10:00)"));
    EXPECT_THAT(scheduler->nextStartText(1), HasSubstr("not scheduled: Days \"Mon-Frx\" cannot be read"));
    EXPECT_THAT(statusReport(*scheduler, clock.wallNow()).problem, HasSubstr("Row 2: Days"));

    tickAt(*scheduler, 10, 0);
    EXPECT_FALSE(scheduler->timetable().row(0).lastRun) << "not on a Friday";
    EXPECT_FALSE(scheduler->timetable().row(1).lastRun) << "a rule that cannot be read keeps the row from running";
    EXPECT_EQ(scheduler->timetable().row(1).state, Timetable::kGrayed);
    scheduler->cmdSave_Click();
    const std::string saved = readFile(folder / "Morrowset.ini");
    EXPECT_EQ(saved.substr(saved.size() - tail.size()), tail);
    EXPECT_TRUE(trapped.empty()) << "no run-time error for a rule";

    clock.setTo({kFriday + 1, (9 * 3600 + 59 * 60 + 59) * 1000});
    scheduler->tmrMain_Timer();
    tickAt(*scheduler, 10, 0);
    ASSERT_TRUE(endOf(*scheduler, 0));
    EXPECT_EQ(readFile(folder / ("runs/" + scheduler->timetable().row(0).lastRun->output)), folder.path() + "\n");
}

// What the running program says of itself to `--status`: a row started from the command
// line runs (its time so far), a row edited and not saved is marked, the clock's pause is
// said; once saved, stopped and resumed, none of it is left.
TEST_F(RunLoop, TheRunningProgramsStatusShowsItsRunsEditsAndPause) {
    writeFile(folder / "Morrowset.ini", settingsOf({{" 1 ", "sleep 30", "10:00"}, {" 0 ", "report", "14:00"}}));
    auto scheduler = start();
    tickAt(*scheduler, 9, 0, 0.5);  // grays the empty rows: the clock's doing, no edit
    scheduler->startByCommand(0);
    EXPECT_THAT(history(), HasSubstr(R"("trigger":"command")"));
    scheduler->commandLineEdited(1, "report --daily");
    scheduler->pause();
    clock.set(9, 3, 10.7);
    StatusReport report = runningStatusReport(*scheduler, clock.wallNow());
    EXPECT_EQ(report.problem, "");
    EXPECT_EQ(report.table,
              "ROW  ENABLED  TIME   NEXT           LAST            RESULT              COMMAND\n"
              "1    yes      10:00  paused         today 09:00:00  running 3 min 10 s  sleep 30\n"
              "2*   yes      14:00  paused         -               -                   report --daily\n"
              "3    grayed   -      not scheduled  -               -\n"
              "4    grayed   -      not scheduled  -               -\n"
              "5    grayed   -      not scheduled  -               -\n"
              "6    grayed   -      not scheduled  -               -\n"
              "The clock is paused: no row starts at its time until Start Program is clicked.\n"
              "* changed since the last Save\n");

    ASSERT_TRUE(scheduler->launcher().stop(0));
    ASSERT_TRUE(endOf(*scheduler, 0));
    scheduler->cmdSave_Click();
    scheduler->resume();
    report = runningStatusReport(*scheduler, clock.wallNow());
    EXPECT_THAT(report.table, HasSubstr("\n1    yes      10:00  today 10:00, in 57 min      today 09:00:00  asked to stop, killed by SIGTERM"));
    EXPECT_THAT(report.table, HasSubstr("\n2    yes      14:00  today 14:00"));
    EXPECT_THAT(report.table, ::testing::Not(HasSubstr("paused")));
    EXPECT_THAT(report.table, ::testing::Not(HasSubstr("*")));
}

}  // namespace
}  // namespace morrowset
