// The runtime's own journal entries, on a journal socket of the test's.
#include "errortrap/report/report_journal.h"

#include <gmock/gmock.h>

#include "app/app_identity.h"
#include "support/private_journal.h"
#include "support/temp_folder.h"

namespace wardline {
namespace {

using testsupport::JournalEntry;

TEST(ReportJournal, AnErrorReportAndAFatalSignalEachLeaveTheirEntry) {
    testsupport::TempFolder folder;
    testsupport::JournalSocket socket(folder / "journal.socket");
    platform::journal::Journal journal(morrowset::appIdentity(), socket.path());
    journalErrorReport(journal, 53, "Sub cmdGo_Click", 30,
                       "ERROR 53 at frmMain.frm : Sub cmdGo_Click : Line 30 : File not found");
    journal.open();
    char buffer[4096];
    journalFatalSignal(journal, buffer, sizeof buffer,
                       {"ERROR 51 at m : Sub P : Line 20 : Fatal signal SIGSEGV", "Sub P\nwith a break", 20,
                        "MORROWSET_SIGNAL", "SIGSEGV"});
    journalFatalSignal(journal, buffer, sizeof buffer, {"ERROR 51 at m : Sub P : Line 0 : Uncaught exception", "Sub P", 0,
                                                        "MORROWSET_SIGNAL", ""});

    const std::vector<JournalEntry> entries = socket.take();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (JournalEntry{{"SYSLOG_IDENTIFIER", "morrowset"},
                                        {"PRIORITY", "3"},
                                        {"MESSAGE_ID", "05fb6d955d2f4fdb8391e8970dfe868a"},
                                        {"MESSAGE", "ERROR 53 at frmMain.frm : Sub cmdGo_Click : Line 30 : File not found"},
                                        {"WARDLINE_ERROR_NUMBER", "53"},
                                        {"WARDLINE_PROCEDURE", "Sub cmdGo_Click"},
                                        {"WARDLINE_LINE", "30"}}));
    EXPECT_EQ(entries[1], (JournalEntry{{"SYSLOG_IDENTIFIER", "morrowset"},
                                        {"PRIORITY", "2"},
                                        {"MESSAGE_ID", "de1427104933441ca0ec1243f6f39b30"},
                                        {"MESSAGE", "ERROR 51 at m : Sub P : Line 20 : Fatal signal SIGSEGV"},
                                        {"WARDLINE_ERROR_NUMBER", "51"},
                                        {"WARDLINE_PROCEDURE", "Sub P with a break"},
                                        {"WARDLINE_LINE", "20"},
                                        {"MORROWSET_SIGNAL", "SIGSEGV"}}));
    EXPECT_EQ(entries[2].count("MORROWSET_SIGNAL"), 0u) << "an uncaught exception has no signal";
}

}  // namespace
}  // namespace wardline
