// What the run watcher's events leave in the system journal, and how a failure is worded.
#include "app/run_reports.h"

#include <gmock/gmock.h>

#include "app/run_journal.h"
#include "support/private_journal.h"
#include "support/scoped_runtime.h"
#include "support/temp_folder.h"

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

// Each event of a run is one entry of the program's journal: rows count from 1, as in the
// window; a failed end and a refusal are warnings; a command with a line break survives whole.
TEST(RunReports, EachRunEventIsOneJournalEntry) {
    testsupport::ScopedRuntime runtime;
    runtime->prefs().silentRun = -1;  // no desktop notice
    testsupport::TempFolder folder;
    testsupport::JournalSocket journal(folder / "journal.socket");
    runtime->platform().journalSocket = journal.path();
    RunRecord run = runOfRow(1);
    run.command = "backup --all\nsecond line";
    RunReports reports(".");
    reports.runStarted(run);
    run.exitStatus = 0;
    run.durationMs = 1500;
    reports.runEnded(run);
    run.exitStatus = 3;
    run.durationMs = 20;
    reports.runEnded(run);
    run.exitStatus.reset();
    run.signal = 9;
    run.durationMs = 7;
    reports.runEnded(run);
    RunRecord refused = runOfRow(4);
    refused.trigger = Trigger::Now;
    refused.command = "no-such-program";
    refused.error = 53;
    reports.runRefused(refused);

    const std::vector<testsupport::JournalEntry> entries = journal.take();
    ASSERT_EQ(entries.size(), 5u);
    const struct {
        std::string priority;
        std::string_view id;
        std::string message;
    } expected[] = {
        {"6", run_journal::kRunStartId, "Row 2 (clock) started: backup --all\nsecond line"},
        {"6", run_journal::kRunEndId, "Row 2 (clock) ended: exit status 0"},
        {"4", run_journal::kRunEndId, "Row 2 (clock) failed: exit status 3"},
        {"4", run_journal::kRunEndId, "Row 2 (clock) failed: signal SIGKILL"},
        {"4", run_journal::kRunRefusedId, "Row 5 (now) could not start: error 53"},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const testsupport::JournalEntry& entry = entries[i];
        EXPECT_EQ(entry.at("SYSLOG_IDENTIFIER"), "morrowset") << i;
        EXPECT_EQ(entry.at("PRIORITY"), expected[i].priority) << i;
        EXPECT_EQ(entry.at("MESSAGE_ID"), expected[i].id) << i;
        EXPECT_EQ(entry.at("MESSAGE"), expected[i].message) << i;
    }
    EXPECT_EQ(entries[0].at("MORROWSET_ROW"), "2");
    EXPECT_EQ(entries[0].at("MORROWSET_TRIGGER"), "clock");
    EXPECT_EQ(entries[0].at("MORROWSET_COMMAND"), "backup --all\nsecond line");
    EXPECT_EQ(entries[1].at("MORROWSET_DURATION_MS"), "1500");
    EXPECT_EQ(entries[2].at("MORROWSET_EXIT_STATUS"), "3");
    EXPECT_EQ(entries[3].at("MORROWSET_SIGNAL"), "SIGKILL");
    EXPECT_EQ(entries[3].count("MORROWSET_EXIT_STATUS"), 0u);
    EXPECT_EQ(entries[4].at("MORROWSET_ROW"), "5");
    EXPECT_EQ(entries[4].at("MORROWSET_COMMAND"), "no-such-program");
    EXPECT_EQ(entries[4].at("WARDLINE_ERROR_NUMBER"), "53");
}

}  // namespace
}  // namespace morrowset
