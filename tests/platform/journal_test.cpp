#include "platform/journal.h"

#include <gmock/gmock.h>

#include <fstream>
#include <string>

#include "support/child_with_watchdog.h"
#include "support/private_journal.h"
#include "support/temp_folder.h"

namespace {

using testsupport::JournalEntry;
namespace journal = platform::journal;

platform::AppIdentity nightShift() {
    platform::AppIdentity identity;
    identity.systemName = "nightshift";
    identity.journalFieldPrefix = "NIGHTSHIFT_";
    return identity;
}

// A journal socket in a folder of the test; its reader reads only when the test asks.
class JournalTest : public ::testing::Test {
protected:
    testsupport::TempFolder folder;
    testsupport::JournalSocket socket{folder / "journal.socket"};
    journal::Journal sender{nightShift(), socket.path()};
};

// Every entry begins with the identity's name; the fields are the ones given, and a value
// with line breaks, or one too large for a datagram, arrives whole.
TEST_F(JournalTest, AnEntryCarriesTheIdentifierAndTheFieldsItIsGiven) {
    ASSERT_TRUE(socket.bound());
    EXPECT_EQ(sender.fieldPrefix(), "NIGHTSHIFT_");
    const std::string large(300 * 1024, 'x');
    sender.send(journal::Entry(journal::kPriorityWarning, "0123456789abcdef0123456789abcdef", "Row 2 failed")
                    .add("NIGHTSHIFT_COMMAND", "backup --all\nsecond line")
                    .add("NIGHTSHIFT_ROW", 2));
    sender.send(journal::Entry(journal::kPriorityInfo, "fedcba9876543210fedcba9876543210", "large").add("BIG", large));
    const std::vector<JournalEntry> entries = socket.take();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (JournalEntry{{"SYSLOG_IDENTIFIER", "nightshift"},
                                        {"PRIORITY", "4"},
                                        {"MESSAGE_ID", "0123456789abcdef0123456789abcdef"},
                                        {"MESSAGE", "Row 2 failed"},
                                        {"NIGHTSHIFT_COMMAND", "backup --all\nsecond line"},
                                        {"NIGHTSHIFT_ROW", "2"}}));
    EXPECT_EQ(entries[1].at("SYSLOG_IDENTIFIER"), "nightshift");
    EXPECT_EQ(entries[1].at("BIG"), large);
    EXPECT_EQ(sender.takeDropped(), 0u);
}

// A signal handler's entry is built in a buffer given and sent on the socket opened before;
// line breaks in its values become blanks.
TEST_F(JournalTest, AFixedEntryGoesOnTheSocketOpenedBefore) {
    sender.open();
    char buffer[4096];
    sender.send(journal::FixedEntry(buffer, sizeof buffer)
                    .add("PRIORITY", journal::kPriorityCritical)
                    .add("WARDLINE_PROCEDURE", "Sub P\nwith a break")
                    .add("WARDLINE_LINE", -20));
    const std::vector<JournalEntry> entries = socket.take();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], (JournalEntry{{"SYSLOG_IDENTIFIER", "nightshift"},
                                        {"PRIORITY", "2"},
                                        {"WARDLINE_PROCEDURE", "Sub P with a break"},
                                        {"WARDLINE_LINE", "-20"}}));
}

// A journal whose reader never reads once held the sender without limit: now no entry
// waits, and what the journal could not take is counted, once.
TEST_F(JournalTest, AReaderThatNeverReadsHoldsNothingAndTheLossIsCounted) {
    constexpr int kSent = 5000;
    const std::string counts = folder / "counts";
    const auto status = testsupport::runInChildWithWatchdog([&] {
        for (int i = 0; i < kSent; ++i)
            sender.send(journal::Entry(journal::kPriorityInfo, "0123456789abcdef0123456789abcdef", "entry").add("N", i));
        const uint64_t dropped = sender.takeDropped();
        std::ofstream(counts) << dropped << ' ' << sender.takeDropped();
    });
    ASSERT_EQ(status, 0) << "the sender was held";
    uint64_t dropped = 0;
    uint64_t droppedAfterwards = 1;
    std::ifstream(counts) >> dropped >> droppedAfterwards;
    const std::size_t received = socket.take().size();
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(received + dropped, static_cast<uint64_t>(kSent)) << "every entry arrived or was counted";
    EXPECT_EQ(droppedAfterwards, 0u) << "the count is taken once";
}

// No journal socket: nothing to send to, and nothing fails, waits or counts as lost.
TEST(Journal, WithoutTheJournalNothingFails) {
    testsupport::TempFolder folder;
    journal::Journal sender(nightShift(), folder / "no-journal-here");
    sender.send(journal::Entry(journal::kPriorityError, "0123456789abcdef0123456789abcdef", "ERROR 5"));
    sender.open();
    char buffer[256];
    sender.send(journal::FixedEntry(buffer, sizeof buffer).add("MESSAGE", "m"));
    EXPECT_EQ(sender.takeDropped(), 0u);
}

}  // namespace
