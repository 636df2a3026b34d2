// What the run watcher's events leave in the system journal, and how a failure is worded.
#include "app/run_reports.h"

#include <gmock/gmock.h>

#include "support/private_journal.h"
#include "support/scoped_runtime.h"

namespace morrowset {
namespace {

RunRecord runOfRow(int row) {
    RunRecord run;
    run.row = row;
    run.command = "backup --all";
    run.trigger = Trigger::Clock;
    return run;
}

TEST(RunReports, AFailureIsWordedByHowItEnded) {
    RunRecord exited = runOfRow(1);
    exited.exitStatus = 3;
    RunRecord killed = runOfRow(1);
    killed.signal = 9;
    RunRecord refused = runOfRow(1);
    refused.error = 53;
    EXPECT_EQ(RunReports::failureText(exited), "exit status 3");
    EXPECT_EQ(RunReports::failureText(killed), "signal SIGKILL");
    EXPECT_EQ(RunReports::failureText(refused), "could not start (error 53)");
}

// Rows count from 1 in the journal, as in the window; a failed end is a warning.
TEST(RunReports, EachRunEventIsOneJournalEntry) {
    testsupport::ScopedRuntime runtime;
    runtime->prefs().silentRun = -1;  // no desktop notice from the child
    RunRecord run = runOfRow(2);
    const auto entries = testsupport::withPrivateJournal([&] {
        RunReports reports(".");
        reports.runStarted(run);
        run.exitStatus = 3;
        run.durationMs = 1200;
        reports.runEnded(run);
        RunRecord refused = runOfRow(4);
        refused.error = 53;
        reports.runRefused(refused);
    });
    if (!entries) GTEST_SKIP() << "no private mount namespace here (needs CAP_SYS_ADMIN)";
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[0].at("MORROWSET_ROW"), "3");
    EXPECT_EQ((*entries)[0].at("MORROWSET_TRIGGER"), "clock");
    EXPECT_EQ((*entries)[0].at("PRIORITY"), "6");
    EXPECT_EQ((*entries)[1].at("PRIORITY"), "4");
    EXPECT_EQ((*entries)[1].at("MORROWSET_EXIT_STATUS"), "3");
    EXPECT_EQ((*entries)[1].at("MORROWSET_DURATION_MS"), "1200");
    EXPECT_EQ((*entries)[2].at("MORROWSET_ROW"), "5");
    EXPECT_EQ((*entries)[2].at("WARDLINE_ERROR_NUMBER"), "53");
}

}  // namespace
}  // namespace morrowset
