// What became of each start, in the window: the row's icon with real processes, its
// tooltip, the output it opens, and the icons brought back after a restart.
#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <csignal>

#include "support/frm_main_fixture.h"
#include "app/output_viewer.h"
#include "app/row_result_icon.h"
#include "support/event_loop.h"

namespace morrowset {
namespace {

using namespace apptest;
using ::testing::HasSubstr;
using Result = RunRecord::Result;

class RowRuns : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        std::string empty;
        for (int i = 0; i < 6; ++i) empty += " 0 \r\n\r\n##:##\r\n";
        writeFile(settingsPath(), empty);
        load();
    }
    std::optional<Result> resultOf(int row) const {
        const auto& run = window->timetable().row(row).lastRun;
        return run ? std::optional(run->result()) : std::nullopt;
    }
    bool awaitResult(int row, Result result) {
        return testsupport::runEventsUntil([&] { return resultOf(row) == result; });
    }
    std::string toolTip(int row) const { return window->runIcons[row]->toolTipText().toStdString(); }
};

TEST_F(RowRuns, AFailedRowShowsWhyInItsIconsToolTip) {
    setRow(1, "sh -c 'echo cannot reach the backup disk >&2; exit 3'", "02:30", 1);
    EXPECT_FALSE(window->runIcons[1]->isShown()) << "no run yet";
    tickAt(2 * 3600 + 30 * 60 - 1 + 0.01);
    tickAt(2 * 3600 + 30 * 60 + 0.01);
    ASSERT_TRUE(awaitResult(1, Result::Failed));
    EXPECT_TRUE(window->runIcons[1]->isShown());
    const std::string tip = toolTip(1);
    EXPECT_THAT(tip, HasSubstr("Last run: started today 02:30:00 by the clock (due 02:30).\n"));
    EXPECT_THAT(tip, HasSubstr(" and failed: exit status 3.\nNext start: tomorrow 02:30.\nClick to open its output."));

    // The icon opens the output in Morrowset's own viewer, headed by the run.
    window->runIcons[1]->action()->trigger();
    OutputViewer* viewer = OutputViewer::current();
    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->txtOutput->toPlainText(), "cannot reach the backup disk\n");
    EXPECT_THAT(viewer->lblHeading->text().toStdString(),
                HasSubstr("Row 2: sh -c 'echo cannot reach the backup disk >&2; exit 3'\nstarted today 02:30:00"));
    viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_THAT(readFile(folder / "history.jsonl"), HasSubstr("\"trigger\":\"clock\",\"due\":\"2024-01-02T02:30:00"));
}

TEST_F(RowRuns, NowShowsTheRunGoingAndThenHowItEnded) {
    setRow(0, "sh -c 'read line; exit 0'", "##:##", 1);
    setRow(2, "sleep 0.5", "##:##", 1);
    window->cmdGo[2]->click();
    EXPECT_EQ(resultOf(2), Result::Running);
    EXPECT_THAT(toolTip(2), HasSubstr(" with NOW.\nStill running.\nNext start: not scheduled."));
    ASSERT_TRUE(awaitResult(2, Result::Succeeded));
    EXPECT_THAT(toolTip(2), HasSubstr(" and ended well (exit status 0)."));
    window->cmdGo[0]->click();
    EXPECT_TRUE(awaitResult(0, Result::Succeeded)) << "its input is empty, not the terminal's";
}

// A program that cannot start is still reported at line 30, and its row says so.
TEST_F(RowRuns, AMissingProgramIsAFailedRowAndStillAReportedError) {
    setRow(3, "no-such-program-on-this-machine", "##:##", 1);
    TrapRecorder errors;
    window->cmdGo[3]->click();
    EXPECT_THAT(errors.trapped, ::testing::ElementsAre(Trapped{53, 30, "Sub cmdGo_Click"}));
    EXPECT_EQ(resultOf(3), Result::Failed);
    EXPECT_THAT(toolTip(3), HasSubstr("It could not start: error 53 (File not found).\n"));
}

// The icons come back from the history after a restart; a run that was still going when
// the program ended says that its end was not seen, and goes on running.
TEST_F(RowRuns, ARestartBringsTheIconsBack) {
    setRow(0, "sh -c 'kill -KILL $$'", "##:##", 1);
    setRow(4, "sleep 60", "##:##", 1);
    window->cmdGo[0]->click();
    window->cmdGo[4]->click();
    ASSERT_TRUE(awaitResult(0, Result::Failed));
    const int sleeper = window->timetable().row(4).lastRun->pid;
    const std::string before = toolTip(0);

    window.reset();
    freshRuntime();
    load();
    EXPECT_EQ(resultOf(0), Result::Failed);
    EXPECT_EQ(toolTip(0), before);
    EXPECT_THAT(before, HasSubstr("failed: killed by SIGKILL."));
    EXPECT_EQ(resultOf(4), Result::Unseen);
    EXPECT_THAT(toolTip(4), HasSubstr("Its end was not seen: Morrowset ended while it ran."));
    for (int row : {1, 2, 3, 5}) EXPECT_FALSE(window->runIcons[row]->isShown()) << row;
    EXPECT_EQ(::kill(sleeper, 0), 0);
    ::kill(sleeper, SIGKILL);
}

// With "Catch Up" on, a start finds what was missed today while the program was not
// running: a row whose time passed and that the history holds no start of today for starts
// once, as a catch-up; a row the history holds does not start again.
TEST_F(RowRuns, CatchUpStartsTodaysMissedRowsOnceAtStart) {
    window.reset();
    writeFile(folder / "WLCLIENT.INI", "[timetable]\r\nCatch Up=1\r\n");
    std::string rows = " 1 \r\ntrue\r\n02:30\r\n 1 \r\ntrue --second\r\n03:00\r\n 1 \r\ntrue --later\r\n23:00\r\n";
    for (int i = 3; i < 6; ++i) rows += " 0 \r\n\r\n##:##\r\n";
    writeFile(settingsPath(), rows);
    writeFile(folder / "history.jsonl",
              "{\"event\":\"start\",\"run\":\"r1\",\"row\":1,\"command\":\"true\",\"trigger\":\"clock\","
              "\"due\":\"2024-01-01T02:30:00+00:00\",\"time\":\"2024-01-01T02:30:00.010+00:00\",\"pid\":1}\n");
    freshRuntime();
    load();
    ASSERT_TRUE(awaitResult(1, Result::Succeeded));
    const std::string history = readFile(folder / "history.jsonl");
    EXPECT_THAT(history, HasSubstr("\"row\":2,\"command\":\"true --second\",\"trigger\":\"catch-up\","
                                   "\"due\":\"2024-01-01T03:00:00"));
    EXPECT_EQ(history.find("\"row\":1,\"command\":\"true\",\"trigger\":\"catch-up\""), std::string::npos);
    EXPECT_EQ(history.find("true --later"), std::string::npos) << "23:00 has not come yet";
}

// A leap of the wall clock of more than 3 hours (a long suspend) is caught up like a start:
// the rows it passed over start once, as catch-ups.
TEST_F(RowRuns, CatchUpAfterTheClockLeaptAhead) {
    window.reset();
    writeFile(folder / "WLCLIENT.INI", "[timetable]\r\nCatch Up=1\r\n");
    freshRuntime();
    clock.set(7, 0);
    load();
    setRow(0, "true --at-eight", "08:00", 1);
    tickAt(7 * 3600 + 0.01);
    tickAt(7 * 3600 + 1.01);
    tickAt(11 * 3600 + 0.01);  // four hours later
    ASSERT_TRUE(awaitResult(0, Result::Succeeded));
    EXPECT_EQ(window->timetable().row(0).lastRun->trigger, Trigger::CatchUp);
}

}  // namespace
}  // namespace morrowset

