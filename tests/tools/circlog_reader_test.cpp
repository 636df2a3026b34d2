#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include "circular_log_reader.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testsupport::TempFolder;
using toolstest::runProgram;

// Builds a log file the way the program lays it out.
class LogImage {
  public:
    LogImage(int32_t recordSize, int slots) : size_(recordSize), bytes_(512 + recordSize * slots, '\0') {
        const std::string header = std::to_string(recordSize) + "HM100";
        bytes_.replace(4, header.size(), header);
    }
    LogImage& put(int slot, const std::string& line) {
        std::string record = (line + "\r\n").substr(0, size_);
        bytes_.replace(512 + (slot - 1) * size_, record.size(), record);
        return *this;
    }
    // What programs before the full-header reopen wrote over the header on a reopen.
    LogImage& reopenedByOlderProgram() {
        bytes_.replace(0, 5, "HM100");
        return *this;
    }
    const std::string& bytes() const { return bytes_; }

  private:
    int32_t size_;
    std::string bytes_;
};

std::string trace(int sequence, const std::string& what) {
    char number[16];
    std::snprintf(number, sizeof number, "%05d", sequence);
    return "[Morrowset] [" + std::string(number) + "] [00000.001] ->" + what;
}

const std::string kBanner = "[Morrowset] 12-09-2026 10:00:00 - start Wardline client v5.00.04";

std::vector<std::string> texts(const circlog::ReadResult& result) {
    std::vector<std::string> lines;
    for (const auto& record : result.records) lines.push_back(record.text);
    return lines;
}

std::string circlogProgram() {
    return std::string(MORROWSET_BINARY_DIR) + "/bin/wardline-circlog";
}

TEST(CircularLogReader, OneRunReadsFromItsOldestRecord) {
    struct Case {
        const char* what;
        LogImage log;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"not yet wrapped: banner first, empty slots skipped",
         LogImage(1024, 6).put(1, kBanner).put(2, trace(1, "a")).put(3, trace(2, "b")),
         {kBanner, trace(1, "a"), trace(2, "b")}},
        {"wrapped: the oldest record follows the newest; an error line stays after its line",
         LogImage(64, 4)
             .put(1, trace(5, "e"))
             .put(2, trace(6, "f"))
             .put(3, "[Morrowset] ERROR 53")
             .put(4, trace(4, "d")),
         {trace(4, "d"), trace(5, "e"), trace(6, "f"), "[Morrowset] ERROR 53"}},
        {"wrapped exactly at the end of the file",
         LogImage(64, 3).put(1, trace(7, "g")).put(2, trace(8, "h")).put(3, trace(9, "i")),
         {trace(7, "g"), trace(8, "h"), trace(9, "i")}},
    };
    for (const Case& c : cases) {
        const auto result = circlog::readCircularLog(c.log.bytes());
        ASSERT_TRUE(result.ok) << c.what << ": " << result.error;
        EXPECT_EQ(texts(result), c.expected) << c.what;
    }
}

TEST(CircularLogReader, AnEarlierRunLeftByOlderProgramsComesBeforeTheNewestRun) {
    // Older programs started each run at slot 1 of the same file: the newest run's banner
    // and first line, then what is left of a longer earlier run.
    LogImage log(128, 6);
    log.put(1, kBanner)
        .put(2, trace(1, "new"))
        .put(3, trace(7, "old"))
        .put(4, trace(8, "old"))
        .put(5, trace(9, "old"));
    const auto result = circlog::readCircularLog(log.bytes());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_THAT(texts(result),
                ElementsAre(trace(7, "old"), trace(8, "old"), trace(9, "old"), kBanner, trace(1, "new")));
}

TEST(CircularLogReader, HeaderFormsAndDamage) {
    const std::string fresh = LogImage(1024, 4).bytes();
    const std::string oldReopen = LogImage(1024, 4).reopenedByOlderProgram().bytes();
    std::string noSize(512 + 1024, '\0');
    noSize.replace(0, 5, "HM100");
    std::string oddLength = oldReopen + std::string(100, '\0');
    auto withHeader = [](const std::string& header) {
        std::string bytes(1024, '\0');
        bytes.replace(0, header.size(), header);
        return bytes;
    };
    struct Case {
        const char* what;
        std::string bytes;
        int32_t recordSize;     // 0: refused
        const char* errorPart;  // part of the reason when refused
    };
    const Case cases[] = {
        {"new or reopened in full", fresh, 1024, ""},
        {"reopened by an older program", oldReopen, 1024, ""},
        {"reopened by an older program after a delete", noSize, 0, "--record-size"},
        {"first digit lost and the length does not tell it", oddLength, 0, "--record-size"},
        {"all zero", std::string(2048, '\0'), 0, "damaged header"},
        {"text", std::string(600, 'x'), 0, "damaged header"},
        {"size not a number", withHeader(std::string(4, '\0') + "10x4HM100"), 0, "not a number"},
        {"size 0", withHeader(std::string(4, '\0') + "0HM100"), 0, "record size is 0"},
        {"size too large", withHeader(std::string(4, '\0') + "9999999999HM100"), 0, "larger than a log's"},
        {"shorter than a header", "short", 0, "512-byte header"},
    };
    for (const Case& c : cases) {
        const auto result = circlog::readCircularLog(c.bytes);
        EXPECT_EQ(result.ok, c.recordSize > 0) << c.what;
        EXPECT_EQ(result.recordSize, c.recordSize) << c.what;
        EXPECT_THAT(result.error, HasSubstr(c.errorPart)) << c.what;
    }
    const auto given = circlog::readCircularLog(noSize, 1024);
    EXPECT_TRUE(given.ok) << "a given record size reads a header without one";
}

TEST(CircularLogReader, SequenceNumberIsTheSecondBracketGroup) {
    EXPECT_EQ(circlog::sequenceOf(trace(100000, "x")), 100000);
    EXPECT_EQ(circlog::sequenceOf(kBanner), std::nullopt);
    EXPECT_EQ(circlog::sequenceOf("[Morrowset] [12a45] [1]"), std::nullopt);
    EXPECT_EQ(circlog::sequenceOf("[Morrowset] [1234567890123456789] [1]"), std::nullopt);
}

TEST(CircularLogReader, ControlCharactersAreShownNotSent) {
    const std::pair<std::string, std::string> cases[] = {
        // C0 controls and DEL; TAB and a lone Latin-1 letter stay.
        {"a\tb \x1b[2Jc\x7f\x01\xe9", "a\tb \\x1B[2Jc\\x7F\\x01\xe9"},
        // U+009B, the one-character CSI, in UTF-8; other two-byte characters stay.
        {"x\xc2\x9b" "2Jy \xc2\xa0\xc3\xa9", "x\\xC2\\x9B2Jy \xc2\xa0\xc3\xa9"},
        // 0x9B alone: an 8-bit terminal's CSI.
        {"x\x9b" "2J", "x\\x9B2J"},
        // 0x9B inside a character is text: U+201B and an emoji stay whole.
        {"\xe2\x80\x9b \xf0\x9f\x98\x80", "\xe2\x80\x9b \xf0\x9f\x98\x80"},
        // A cut-off sequence, an overlong form and a surrogate are no characters: their
        // bytes 0x80 to 0x9F are controls again.
        {"\xe2\x9b" "2J", "\xe2\\x9B2J"},
        {"\xe0\x80\x9b", "\xe0\\x80\\x9B"},
        {"\xed\xa0\x80", "\xed\xa0\\x80"},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(circlog::printable(text), shown) << text;
}

// ---- the program ----

TEST(CircularLogProgram, ReadsTheLogOrItsPreviousRun) {
    TempFolder folder;
    folder.write("circ0001.log", LogImage(256, 4).put(1, kBanner).put(2, trace(1, "this run")).bytes());
    folder.write("circ0001.log.prev",
                 LogImage(256, 4).put(1, trace(3, "crashed run")).put(2, "ERROR 51").bytes());

    const auto now = runProgram({circlogProgram(), folder / "circ0001.log"});
    EXPECT_EQ(now.exitCode, 0) << now.err;
    EXPECT_EQ(now.out, kBanner + "\n" + trace(1, "this run") + "\n");

    const auto previous = runProgram({circlogProgram(), "--prev", folder / "circ0001.log"});
    EXPECT_EQ(previous.exitCode, 0) << previous.err;
    EXPECT_EQ(previous.out, trace(3, "crashed run") + "\nERROR 51\n");
}

// A record planted with escape sequences reaches the terminal as text.
TEST(CircularLogProgram, ShowsControlsOfARecordAsText) {
    TempFolder folder;
    const std::string planted = trace(1, "\x1b]0;owned\x07 \x9b" "2J \xc2\x9b" "1m \xe2\x80\x9b");
    folder.write("circ0001.log", LogImage(256, 2).put(1, planted).bytes());
    const auto ran = runProgram({circlogProgram(), folder / "circ0001.log"});
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    EXPECT_EQ(ran.out, trace(1, "\\x1B]0;owned\\x07 \\x9B2J \\xC2\\x9B1m \xe2\x80\x9b") + "\n");
}

TEST(CircularLogProgram, RefusesWhatIsNoLogWithTheReason) {
    TempFolder folder;
    std::string noSize(512 + 256, '\0');
    noSize.replace(0, 5, "HM100");
    folder.write("reopened.log", noSize);
    folder.write("text.log", std::string(1000, 'x'));
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    const std::pair<std::string, const char*> cases[] = {
        {"/dev/zero", "not a regular file"},     {folder / "fifo", "not a regular file"},
        {folder.path(), "not a regular file"},   {folder / "missing.log", "cannot open"},
        {folder / "text.log", "damaged header"}, {folder / "reopened.log", "--record-size"},
    };
    for (const auto& [path, reason] : cases) {
        const auto ran = runProgram({circlogProgram(), path});
        EXPECT_EQ(ran.exitCode, 1) << path;
        EXPECT_THAT(ran.err, HasSubstr(path + ": ")) << path;
        EXPECT_THAT(ran.err, HasSubstr(reason)) << path;
        EXPECT_EQ(ran.out, "") << path;
    }
    const auto given = runProgram({circlogProgram(), "--record-size=256", folder / "reopened.log"});
    EXPECT_EQ(given.exitCode, 0) << given.err;
}

TEST(CircularLogProgram, StreamsALogFarLargerThanItsMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#else
    // 512 MB, mostly holes: a reader that holds the file cannot run in 64 MB.
    TempFolder folder;
    const std::string path = folder.write(
        "big.log", LogImage(1024, 3).put(1, kBanner).put(2, trace(1, "a")).put(3, trace(2, "b")).bytes());
    ASSERT_EQ(::truncate(path.c_str(), 512L * 1024 * 1024), 0);
    const auto ran = runProgram({circlogProgram(), path}, 64UL * 1024 * 1024);
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    EXPECT_EQ(ran.out, kBanner + "\n" + trace(1, "a") + "\n" + trace(2, "b") + "\n");
#endif
}

}  // namespace
