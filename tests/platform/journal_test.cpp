#include "platform/journal.h"

#include <gmock/gmock.h>

#include <string>

#include "support/private_journal.h"

namespace {

using testsupport::JournalEntry;
namespace journal = platform::journal;

// Each kind of entry, as a journal reader would filter on it: identifier, priority, the
// kind's fixed id and its fields. A command with a line break survives whole.
TEST(Journal, EachEntryCarriesItsPriorityIdAndFields) {
    const journal::Run run{2, "clock", "backup --all\nsecond line"};
    const auto entries = testsupport::withPrivateJournal([&] {
        journal::runStarted(run);
        journal::runEnded(run, 0, "", 1500);
        journal::runEnded(run, 3, "", 20);
        journal::runEnded(run, std::nullopt, "SIGKILL", 7);
        journal::runRefused({5, "now", "no-such-program"}, 53);
        journal::errorReported(53, "Sub cmdGo_Click", 30, "ERROR 53 at frmMain.frm : Sub cmdGo_Click : Line 30 : File not found");
    });
    if (!entries) GTEST_SKIP() << "no private mount namespace here (needs CAP_SYS_ADMIN)";
    ASSERT_EQ(entries->size(), 6u);
    for (const JournalEntry& entry : *entries) EXPECT_EQ(entry.at("SYSLOG_IDENTIFIER"), "morrowset");

    const struct {
        std::string priority;
        std::string_view id;
        std::string message;
    } expected[] = {
        {"6", journal::kRunStartId, "Row 2 (clock) started: backup --all\nsecond line"},
        {"6", journal::kRunEndId, "Row 2 (clock) ended: exit status 0"},
        {"4", journal::kRunEndId, "Row 2 (clock) failed: exit status 3"},
        {"4", journal::kRunEndId, "Row 2 (clock) failed: signal SIGKILL"},
        {"4", journal::kRunRefusedId, "Row 5 (now) could not start: error 53"},
        {"3", journal::kErrorReportId, "ERROR 53 at frmMain.frm : Sub cmdGo_Click : Line 30 : File not found"},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const JournalEntry& entry = (*entries)[i];
        EXPECT_EQ(entry.at("PRIORITY"), expected[i].priority) << i;
        EXPECT_EQ(entry.at("MESSAGE_ID"), expected[i].id) << i;
        EXPECT_EQ(entry.at("MESSAGE"), expected[i].message) << i;
    }
    const JournalEntry& start = (*entries)[0];
    EXPECT_EQ(start.at("MORROWSET_ROW"), "2");
    EXPECT_EQ(start.at("MORROWSET_TRIGGER"), "clock");
    EXPECT_EQ(start.at("MORROWSET_COMMAND"), "backup --all\nsecond line");
    EXPECT_EQ((*entries)[2].at("MORROWSET_EXIT_STATUS"), "3");
    EXPECT_EQ((*entries)[2].at("MORROWSET_DURATION_MS"), "20");
    EXPECT_EQ((*entries)[3].at("MORROWSET_SIGNAL"), "SIGKILL");
    EXPECT_EQ((*entries)[3].count("MORROWSET_EXIT_STATUS"), 0u);
    EXPECT_EQ((*entries)[4].at("WARDLINE_ERROR_NUMBER"), "53");
    EXPECT_EQ((*entries)[5].at("WARDLINE_PROCEDURE"), "Sub cmdGo_Click");
    EXPECT_EQ((*entries)[5].at("WARDLINE_LINE"), "30");
}

// The fatal-signal entry is built in a prepared buffer and sent on a socket opened before.
TEST(Journal, TheFatalEntryIsPreparedAtStartAndSentWithoutAllocating) {
    const auto entries = testsupport::withPrivateJournal([] {
        journal::prepareFatalEntry();
        char buffer[4096];
        journal::sendFatalEntry(buffer, sizeof buffer, "ERROR 51 at m : Sub P : Line 20 : Fatal signal SIGSEGV",
                                "Sub P\nwith a break", 20, "SIGSEGV");
    });
    if (!entries) GTEST_SKIP() << "no private mount namespace here (needs CAP_SYS_ADMIN)";
    ASSERT_EQ(entries->size(), 1u);
    const JournalEntry& entry = entries->front();
    EXPECT_EQ(entry.at("PRIORITY"), "2");
    EXPECT_EQ(entry.at("MESSAGE_ID"), journal::kFatalSignalId);
    EXPECT_EQ(entry.at("WARDLINE_ERROR_NUMBER"), "51");
    EXPECT_EQ(entry.at("WARDLINE_PROCEDURE"), "Sub P with a break");
    EXPECT_EQ(entry.at("WARDLINE_LINE"), "20");
    EXPECT_EQ(entry.at("MORROWSET_SIGNAL"), "SIGSEGV");
}

// No journal socket: nothing to send to, and nothing fails or waits.
TEST(Journal, WithoutTheJournalNothingFails) {
    const auto entries = testsupport::withPrivateJournal([] {
        ::unlink(journal::kSocketPath);
        journal::runStarted({1, "now", "true"});
        journal::errorReported(5, "Sub X", 10, "ERROR 5");
        journal::prepareFatalEntry();
        char buffer[256];
        journal::sendFatalEntry(buffer, sizeof buffer, "m", "p", 1, "SIGABRT");
    });
    if (!entries) GTEST_SKIP() << "no private mount namespace here (needs CAP_SYS_ADMIN)";
    EXPECT_TRUE(entries->empty());
}

}  // namespace
