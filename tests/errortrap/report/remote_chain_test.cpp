// Decoding forwarded error chains, including text no component would ever send.
#include "errortrap/report/remote_chain.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/error_texts.h"

namespace wardline {
namespace {

struct Level {
    std::string source;
    std::string module;
    std::string procedure;
    int32_t line;
    int32_t number;
};

ErrorRecord decoded(const std::string& chain, int32_t trappedNumber = 440) {
    ErrorRecord record;
    record.levels[0].source = chain + " (remote)";
    record.levels[0].module = "frmMain.frm";
    record.levels[0].procedure = "Sub cmdGo_Click";
    decodeRemoteChain(record, trappedNumber, "Morrowset");
    return record;
}

// Levels 1.. of `record` as they were read, before folding (the part before " << ").
std::vector<Level> unfoldedLevels(const ErrorRecord& record) {
    std::vector<Level> levels;
    auto cut = [](const std::string& text) { return text.substr(0, text.find(" << ")); };
    for (int n = 1; n <= record.levelCount; ++n) {
        const ErrorLevel& level = record.levels[static_cast<std::size_t>(n)];
        levels.push_back({cut(level.source), cut(level.module), cut(level.procedure), level.line, level.number});
    }
    return levels;
}

bool operator==(const Level& a, const Level& b) {
    return a.source == b.source && a.module == b.module && a.procedure == b.procedure && a.line == b.line &&
           a.number == b.number;
}

void PrintTo(const Level& l, std::ostream* out) {
    *out << "{" << l.source << ", " << l.module << ", " << l.procedure << ", " << l.line << ", " << l.number << "}";
}

TEST(RemoteChainTest, DecodesOneLevelAndMakesLevelZeroTheLocalEnd) {
    const ErrorRecord record = decoded("1srv!modA!procB!12!91", 13);

    ASSERT_EQ(record.levelCount, 1);
    const ErrorLevel& remote = record.levels[1];
    EXPECT_EQ(remote.source, "srv (remote)");
    EXPECT_EQ(remote.module, "modA");
    EXPECT_EQ(remote.procedure, "procB");
    EXPECT_EQ(remote.line, 12);
    EXPECT_EQ(remote.number, 91);
    EXPECT_EQ(remote.description, platform::standardErrorText(91));
    EXPECT_EQ(remote.category, "General run-time") << "the trapped error's category, no suffix";
    EXPECT_EQ(remote.helpContext, 91);

    const ErrorLevel& top = record.levels[0];
    EXPECT_EQ(top.number, 440);
    EXPECT_EQ(top.description, "Remote Automation error");
    EXPECT_EQ(top.category, "Object Linking and Embedding");
    EXPECT_EQ(top.source, "Morrowset (local) << srv (remote)");
    EXPECT_EQ(top.module, "frmMain.frm << modA");
    EXPECT_EQ(top.procedure, "Sub cmdGo_Click << procB");
    EXPECT_EQ(top.helpContext, 440);
}

TEST(RemoteChainTest, FoldsEveryLevelIntoTheOnesAboveIt) {
    const ErrorRecord record = decoded("3a!ma!pa!1!5!b!mb!pb!2!6!c!mc!pc!3!7");

    ASSERT_EQ(record.levelCount, 3);
    EXPECT_EQ(record.levels[3].source, "a (remote)");
    EXPECT_EQ(record.levels[2].source, "b (remote) << a (remote)");
    EXPECT_EQ(record.levels[1].source, "c (remote) << b (remote) << a (remote)");
    EXPECT_EQ(record.levels[0].source, "Morrowset (local) << c (remote) << b (remote) << a (remote)");
    EXPECT_EQ(record.levels[0].module, "frmMain.frm << mc << mb << ma");
    EXPECT_EQ(record.levels[1].procedure, "pc << pb << pa");
}

// Text from outside the program: whatever it holds, the decoder reads what it can and
// fills the rest with "<unknown>" and 0.
TEST(RemoteChainTest, TakesAnyTextWithoutGoingWrong) {
    const std::string unknown = "<unknown>";
    struct Case {
        std::string chain;
        std::vector<Level> levels;  // level 1 first
    };
    const Case cases[] = {
        // The last field runs to the end of the text, which carries the " (remote)" tag.
        {"1srv!modA", {{"srv (remote)", "modA (remote)", unknown, 0, 0}}},
        {"1srv", {{"srv (remote) (remote)", unknown, unknown, 0, 0}}},
        {"2srv!modA!procB!12!91", {{unknown + " (remote)", unknown, unknown, 0, 0},  // the chain ran out
                                   {"srv (remote)", "modA", "procB", 12, 91}}},
        {"1!!!!", {{" (remote)", "", "", 0, 0}}},
        {"1srv!modA!procB!-12!-91", {{"srv (remote)", "modA", "procB", 0, 0}}},
        {"1srv!modA!procB!twelve!x91", {{"srv (remote)", "modA", "procB", 0, 0}}},
        {"1srv!modA!procB!99999999999!4294967387", {{"srv (remote)", "modA", "procB", 0, 0}}},
        {"0srv!modA!procB!12!91", {}},
        {"-1srv!modA!procB!12!91", {}},              // a negative count counts as none
        {"99999999999srv!modA!procB!12!91", {}},      // beyond 16 bits: no count
        {"40000srv!modA!procB!12!91", {}},
        {"srv!modA!procB!12!91", {}},                 // no count at all
        {"", {}},
    };
    for (const Case& c : cases) {
        const ErrorRecord record = decoded(c.chain);
        EXPECT_THAT(unfoldedLevels(record), ::testing::ElementsAreArray(c.levels)) << "chain \"" << c.chain << '"';
        EXPECT_EQ(record.levels[0].number, 440) << c.chain;
        EXPECT_EQ(record.levels[0].source.rfind("Morrowset (local)", 0), 0u) << c.chain;
    }
}

TEST(RemoteChainTest, KeepsTheLastTenLevelsOfALongerChain) {
    std::string chain = "12";
    for (int n = 1; n <= 12; ++n) chain += (n > 1 ? "!s" : "s") + std::to_string(n) + "!m!p!" + std::to_string(n) + "!5";

    const ErrorRecord record = decoded(chain);

    ASSERT_EQ(record.levelCount, 10);
    EXPECT_EQ(record.levels[10].source, "s3 (remote)") << "the first two levels of the chain are dropped";
    EXPECT_EQ(record.levels[1].line, 12);
}

TEST(RemoteChainTest, AHugeCountOfEmptyLevelsStaysWithinTheRecord) {
    const ErrorRecord record = decoded("32767");
    EXPECT_EQ(record.levelCount, 10);
    EXPECT_EQ(record.levels[10].module, "<unknown>");
}

}  // namespace
}  // namespace wardline
