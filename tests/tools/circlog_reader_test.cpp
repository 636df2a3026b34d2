#include "circular_log_reader.h"

#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;

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
    LogImage& reopened() {
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

std::vector<std::string> texts(const circlog::ReadResult& result) {
    std::vector<std::string> lines;
    for (const auto& record : result.records) lines.push_back(record.text);
    return lines;
}

TEST(CircularLogReader, BannerFirstThenLinesBySequenceSkippingEmptySlots) {
    LogImage log(1024, 6);
    log.put(1, "[Morrowset] 12-09-2026 10:00:00 - start banner").put(2, trace(1, "a")).put(3, trace(2, "b"));
    const auto result = circlog::readCircularLog(log.bytes());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.recordSize, 1024);
    EXPECT_THAT(texts(result),
                ElementsAre("[Morrowset] 12-09-2026 10:00:00 - start banner", trace(1, "a"), trace(2, "b")));
}

TEST(CircularLogReader, WrappedLogReadsInSequenceOrderAndKeepsErrorLinesInPlace) {
    LogImage log(64, 4);
    // Six lines went round four slots: slots 1 and 2 were overwritten by lines 5 and 6;
    // an error line followed line 6.
    log.put(1, trace(5, "e")).put(2, trace(6, "f")).put(3, "[Morrowset] ERROR 53 at x").put(4, trace(4, "d"));
    const auto result = circlog::readCircularLog(log.bytes());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_THAT(texts(result),
                ElementsAre(trace(4, "d"), trace(5, "e"), trace(6, "f"), "[Morrowset] ERROR 53 at x"));
}

TEST(CircularLogReader, RecoversRecordSizeAfterReopenOverwroteItsFirstDigit) {
    LogImage log(1024, 4);
    log.put(1, trace(1, "a")).put(4, trace(2, "b")).reopened();
    const auto result = circlog::readCircularLog(log.bytes());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.recordSize, 1024);
    EXPECT_THAT(texts(result), ElementsAre(trace(1, "a"), trace(2, "b")));
}

TEST(CircularLogReader, DamagedOrForeignFilesAreRefusedWithAReason) {
    for (const std::string& bytes : {std::string("short"), std::string(600, 'x'), std::string(2048, '\0')}) {
        const auto result = circlog::readCircularLog(bytes);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.empty());
    }
    EXPECT_FALSE(circlog::readCircularLogFile("/nonexistent/circ0001.log").ok);
}

TEST(CircularLogReader, SequenceNumberIsTheSecondBracketGroup) {
    EXPECT_EQ(circlog::sequenceOf(trace(100000, "x")), 100000);
    EXPECT_EQ(circlog::sequenceOf("[Morrowset] 12-09-2026 10:00:00 - start"), std::nullopt);
    EXPECT_EQ(circlog::sequenceOf("[Morrowset] [12a45] [1]"), std::nullopt);
}

}  // namespace
