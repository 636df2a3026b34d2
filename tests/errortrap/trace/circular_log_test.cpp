#include <gmock/gmock.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "errortrap/trace/circular_log.h"
#include "errortrap/trace/trace_sinks.h"
#include "errortrap/wardline.h"
#include "support/tracing_fixture.h"

namespace {

using ::testing::StartsWith;
using testsupport::readFile;
using wardline::pfLogLine;

constexpr const char* kLogOn = "[preferences]\nCircularLog=1\n";

// A line of exactly `length` bytes, CR LF included, that names itself.
std::string lineOf(int number, std::size_t length = 100) {
    std::string line = "[Morrowset] [" + std::to_string(number) + "] ";
    line.resize(length - 2, '.');
    return line + "\r\n";
}

std::string zeros(std::size_t count) { return std::string(count, '\0'); }

std::string header(const std::string& recordSize = "1024") {
    return zeros(4) + recordSize + "HM100" + zeros(512 - 9 - recordSize.size());
}

// Long enough for the log to ask again whether its file was deleted or replaced.
void waitOutTheReplacedCheck() { std::this_thread::sleep_for(std::chrono::milliseconds(120)); }

class CircularLogTest : public testsupport::TracingTest {
protected:
    std::string log() { return readFile(prefs().circFileName); }
    std::string slot(const std::string& file, int k, std::size_t recordSize = 1024) {
        return file.substr(512 + (k - 1) * recordSize, recordSize);
    }
};

TEST_F(CircularLogTest, ANewFileHasItsFullSizeTheHeaderAndTheBannerInSlotOne) {
    start(kLogOn);
    const std::string file = log();
    ASSERT_EQ(file.size(), 512u + 40u * 1024u) << "the header and 2 x MaxRecords slots from the start";
    EXPECT_EQ(file.substr(0, 512), header());
    const std::string banner = slot(file, 1);
    EXPECT_THAT(banner, StartsWith("[Morrowset] "));
    const auto end = banner.find(" data capture\r\n");
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(banner.substr(end + 15), zeros(1024 - end - 15));
    EXPECT_EQ(file.substr(512 + 1024), zeros(39 * 1024));
}

TEST_F(CircularLogTest, RecordsGoRoundTwiceMaxRecordsSlotsZeroFilled) {
    start(kLogOn);  // the banner is record 1
    for (int record = 2; record <= 42; ++record) pfLogLine(lineOf(record));
    const std::string file = log();
    ASSERT_EQ(file.size(), 512u + 40u * 1024u) << "40 slots of 1024 bytes";
    EXPECT_EQ(file.substr(512, 1024), lineOf(41) + zeros(924)) << "the 41st record is back at byte 513";
    EXPECT_EQ(file.substr(1536, 1024), lineOf(42) + zeros(924)) << "the 42nd at byte 1537";
    EXPECT_EQ(slot(file, 3), lineOf(3) + zeros(924));
    EXPECT_EQ(slot(file, 40), lineOf(40) + zeros(924));
    EXPECT_EQ(file.substr(4, 9), "1024HM100");
}

TEST_F(CircularLogTest, EveryRecordIsZeroFilledOverWhatItsSlotHeldBefore) {
    start("[preferences]\nCircularLog=1\n[CicularLog]\nMaxRecords=1\n");  // the banner is in slot 1
    pfLogLine(lineOf(2, 700));                                            // slot 2
    pfLogLine(lineOf(3));                                                 // slot 1
    pfLogLine(lineOf(4));                                                 // slot 2 again
    EXPECT_EQ(slot(log(), 2), lineOf(4) + zeros(924)) << "nothing left of the longer record";

    const auto size = static_cast<std::size_t>(std::filesystem::file_size(prefs().circFileName));
    app.write("other.log", std::string(size, 'x'));
    std::filesystem::rename(app / "other.log", prefs().circFileName);
    waitOutTheReplacedCheck();
    pfLogLine(lineOf(5));  // slot 1 of the file found in its place
    EXPECT_EQ(slot(log(), 1), lineOf(5) + zeros(924)) << "nothing left of what the other file held there";
}

TEST_F(CircularLogTest, ASmallRecordSizeCutsTheLineAndItsLineEnd) {
    start("[preferences]\nCircularLog=1\n[CicularLog]\nRecordSize=64\nMaxRecords=2\n");
    pfLogLine(lineOf(2));
    pfLogLine(lineOf(3, 10));
    const std::string file = log();
    EXPECT_EQ(file.substr(4, 7), "64HM100");
    EXPECT_EQ(slot(file, 2, 64), lineOf(2).substr(0, 64));
    EXPECT_EQ(slot(file, 3, 64), lineOf(3, 10) + zeros(54));
    EXPECT_EQ(file.size(), 512u + 4u * 64u);
}

TEST_F(CircularLogTest, ALargeRecordSizeGetsAtMost1024ZeroBytesAfterTheLine) {
    start("[preferences]\nCircularLog=1\n[CicularLog]\nRecordSize=4000\nMaxRecords=1\n");
    const std::string longLine = lineOf(2, 3000);
    pfLogLine(longLine);     // slot 2
    pfLogLine(lineOf(3));    // slot 1
    pfLogLine(lineOf(4));    // slot 2 again
    const std::string file = log();
    ASSERT_EQ(file.size(), 512u + 2u * 4000u);
    EXPECT_EQ(slot(file, 2, 4000), lineOf(4) + zeros(1024) + longLine.substr(1124) + zeros(1000))
        << "beyond the line and 1024 zero bytes the slot keeps what it held";
}

TEST_F(CircularLogTest, AnEarlierRunIsKeptAsPrevAndTheNewRunWritesAFreshFile) {
    std::string earlier = header();
    for (int k = 1; k <= 3; ++k) earlier += lineOf(900 + k) + zeros(924);
    app.write("circ0001.log", earlier);
    app.write("circ0001.log.prev", "a run before that");
    start(kLogOn);
    pfLogLine(lineOf(2));
    EXPECT_EQ(readFile(app / "circ0001.log.prev"), earlier) << "the earlier run, whole, replacing the older one";
    const std::string file = log();
    ASSERT_EQ(file.size(), 512u + 40u * 1024u);
    EXPECT_EQ(file.substr(0, 512), header());
    EXPECT_EQ(slot(file, 2), lineOf(2) + zeros(924));
    EXPECT_EQ(slot(file, 3), zeros(1024)) << "nothing of the earlier run";
}

TEST_F(CircularLogTest, ADeletedOrReplacedLogIsOpenedAfreshWithTheFullHeader) {
    start(kLogOn);
    std::filesystem::remove(prefs().circFileName);
    waitOutTheReplacedCheck();
    pfLogLine(lineOf(2));
    std::string file = log();
    ASSERT_EQ(file.size(), 512u + 40u * 1024u);
    EXPECT_EQ(file.substr(0, 512), header());
    EXPECT_EQ(slot(file, 1), zeros(1024));
    EXPECT_EQ(slot(file, 2), lineOf(2) + zeros(924));

    app.write("other.log", std::string(600, 'x'));
    std::filesystem::rename(app / "other.log", prefs().circFileName);
    waitOutTheReplacedCheck();
    pfLogLine(lineOf(3));
    file = log();
    ASSERT_EQ(file.size(), 512u + 40u * 1024u);
    EXPECT_EQ(file.substr(0, 13), header().substr(0, 13));
    EXPECT_EQ(slot(file, 3), lineOf(3) + zeros(924));
}

TEST_F(CircularLogTest, ALogMadeShorterUnderTheProgramIsSizedAgainAndKeepsGoing) {
    start(kLogOn);
    ASSERT_EQ(::truncate(prefs().circFileName.c_str(), 0), 0);
    pfLogLine(lineOf(2));  // its slot's page is gone: the copy faults and is made again
    std::string file = log();
    ASSERT_EQ(file.size(), 512u + 40u * 1024u);
    EXPECT_EQ(file.substr(0, 512), header());
    EXPECT_EQ(slot(file, 2), lineOf(2) + zeros(924));

    ASSERT_EQ(::truncate(prefs().circFileName.c_str(), 600), 0);
    waitOutTheReplacedCheck();
    pfLogLine(lineOf(3));  // its slot's page is still there, but past the end of the file
    file = log();
    ASSERT_EQ(file.size(), 512u + 40u * 1024u);
    EXPECT_EQ(file.substr(0, 512), header());
    EXPECT_EQ(slot(file, 3), lineOf(3) + zeros(924));
    EXPECT_TRUE(prefs().circularLogOn);
}

TEST_F(CircularLogTest, ALogThatCannotBeReopenedIsOffAndOtherSinksGoOn) {
    std::filesystem::create_directory(app / "logs");
    testRuntime->platform().tracerName = "gdb";
    start("[preferences]\nCircularLog=1\n[CicularLog]\nFileName=logs/circ.log\n"
          "[log file]\nWrite To Disk=1\nCapture To Disk=1\n");
    std::filesystem::remove_all(app / "logs");
    waitOutTheReplacedCheck();
    pfLogLine(lineOf(2));
    EXPECT_FALSE(prefs().circularLogOn);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Could not open circular log file " + (app / "logs/circ.log"));
    EXPECT_EQ(ui.boxes[0].style, wardline::kCritical);
    EXPECT_EQ(ui.boxes[0].title, "");
    EXPECT_THAT(readFile(app / "error.log"), ::testing::EndsWith(lineOf(2) + "\r\n"));

    pfLogLine(lineOf(3));
    EXPECT_EQ(ui.boxes.size(), 1u) << "off for the rest of the run";
}

TEST_F(CircularLogTest, OutsideTheDevelopmentEnvironmentTheFailureIsSilent) {
    std::filesystem::create_directory(app / "logs");
    start("[preferences]\nCircularLog=1\n[CicularLog]\nFileName=logs/circ.log\n");
    std::filesystem::remove_all(app / "logs");
    waitOutTheReplacedCheck();
    pfLogLine(lineOf(2));
    EXPECT_FALSE(prefs().circularLogOn);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CircularLogTest, InvalidRecordLimitsPutEveryRecordInSlotOne) {
    start("[preferences]\nCircularLog=1\n[CicularLog]\nMaxRecords=16384\n");
    pfLogLine(lineOf(2));
    pfLogLine(lineOf(3));
    EXPECT_EQ(sinksOf(*testRuntime).circularLog().recordIndex(), 1);
    EXPECT_EQ(slot(log(), 1), lineOf(3) + zeros(924));
}

}  // namespace
