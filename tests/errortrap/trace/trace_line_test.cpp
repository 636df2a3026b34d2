#include <gmock/gmock.h>

#include <clocale>
#include <cstdlib>

#include "errortrap/trace/trace_line.h"
#include "errortrap/trace/trace_sinks.h"
#include "platform/clock.h"
#include "platform/formatting.h"
#include "support/tracing_fixture.h"

namespace {

using ::testing::MatchesRegex;
using testsupport::maskedTime;
using testsupport::TempFolder;
using wardline::traceStack;

// The trace line and a time figure as the test's runtime makes them.
std::string pfTraceLine(int64_t overhead, int16_t exitFlag) {
    std::string line;
    wardline::buildTraceLine(wardline::currentRuntime(), line, overhead, exitFlag);
    return line;
}
std::string pfDecimal(double seconds) { return wardline::pfDecimal(wardline::currentRuntime(), seconds); }

// Three nested procedures on the stack, as the enter operation leaves them, and the
// memory figures of a 64 GiB machine with 40 GiB available.
class TraceLineTest : public testsupport::TracingTest {
protected:
    TempFolder proc;

    void SetUp() override {
        TracingTest::SetUp();
        proc.write("meminfo", "MemTotal: 67108864 kB\nMemAvailable: 41943040 kB\n");
        testRuntime->platform().memoryStatusRoot = proc.path();
        wardline::runtime().exePrefix = "[Morrowset] ";
        traceStack().reset();
        traceStack().frameTime(0) = platform::monotonicFixedMilliseconds();
        push("Sub Form_Load", "");
        push("Sub tmrMain_Timer", "");
        push("Sub cmdGo_Click", "row 2");
    }
    void push(const std::string& procedure, const std::string& arguments) {
        const int level = ++traceStack().traceDepth;
        traceStack().storeFrame(level, "frmMain.frm", procedure, arguments);
    }
    void include(int16_t resources, int16_t memory, int16_t arguments, int16_t user) {
        auto& p = prefs();
        p.includeResources = resources;
        p.includeMemory = memory;
        p.includeArguments = arguments;
        p.includeUser = user;
    }
};

struct ShapeCase {
    const char* what;
    int depth;
    bool exit;
    int32_t sequence;
    int16_t resources, memory, arguments, user;
    const char* expected;  // time, as T
};

const ShapeCase kShapes[] = {
    {"all switches on, level 1 entry", 1, false, 1, -1, -1, -1, -1,
     "[Morrowset] [00001] [T] ->frmMain.frm : Sub Form_Load :  : [res =38%, mem = 42949672960] : \r\n"},
    {"the same exit: two blanks before the memory part", 1, true, 2, -1, -1, -1, -1,
     "[Morrowset] [00002] [T] <-frmMain.frm : Sub Form_Load :  : [res =38%, mem = 42949672960] : \r\n"},
    {"level 3 entry: two tabs, six-digit sequence", 3, false, 100000, 0, 0, -1, 0,
     "[Morrowset] [100000] [T] ->\t\tfrmMain.frm : Sub cmdGo_Click : row 2\r\n"},
    {"level 3 exit drops the level, keeps the tabs", 3, true, 99999, 0, 0, -1, 0,
     "[Morrowset] [99999] [T] <-\t\tfrmMain.frm : Sub cmdGo_Click : row 2\r\n"},
    {"Arguments 0 cuts at the second colon", 3, false, 7, 0, 0, 0, 0,
     "[Morrowset] [00007] [T] ->\t\tfrmMain.frm : Sub cmdGo_Click\r\n"},
    {"Arguments -2 cuts too", 3, true, 7, 0, 0, -2, 0, "[Morrowset] [00007] [T] <-\t\tfrmMain.frm : Sub cmdGo_Click\r\n"},
    {"empty arguments cut, then the other parts", 1, false, 3, -1, -1, 0, -1,
     "[Morrowset] [00003] [T] ->frmMain.frm : Sub Form_Load : [res =38%, mem = 42949672960] : \r\n"},
    {"Resources only", 2, false, 4, -1, 0, 0, 0, "[Morrowset] [00004] [T] ->\tfrmMain.frm : Sub tmrMain_Timer : [res =38%]\r\n"},
    {"Memory only", 2, false, 4, 0, -1, 0, 0,
     "[Morrowset] [00004] [T] ->\tfrmMain.frm : Sub tmrMain_Timer : [mem = 42949672960]\r\n"},
    {"any non-zero memory switch counts", 2, false, 4, 3, 0, 0, 0,
     "[Morrowset] [00004] [T] ->\tfrmMain.frm : Sub tmrMain_Timer : [res =38%]\r\n"},
    {"User only: an empty user text", 2, true, 5, 0, 0, 0, -1,
     "[Morrowset] [00005] [T] <-\tfrmMain.frm : Sub tmrMain_Timer : \r\n"},
};

TEST_F(TraceLineTest, EveryShapeOfTheLine) {
    for (const ShapeCase& c : kShapes) {
        traceStack().traceDepth = static_cast<int16_t>(c.depth);
        traceStack().lineCounter = c.sequence;
        include(c.resources, c.memory, c.arguments, c.user);
        EXPECT_EQ(maskedTime(pfTraceLine(0, c.exit ? -1 : 0)), c.expected) << c.what;
    }
}

TEST_F(TraceLineTest, StampsTheFrameWithTheTimeSinceStartLessTheOverhead) {
    include(0, 0, -1, 0);
    traceStack().frameTime(0) -= 12'345'4000;  // started 12.3454 s ago
    const std::string line = pfTraceLine(0, 0);
    EXPECT_THAT(line, MatchesRegex(R"(\[Morrowset\] \[00000\] \[000(12|13)\.[0-9]{3}\] ->.*)"));
    EXPECT_GE(traceStack().frameTime(3), 12'345'4000);

    const int64_t hundredSeconds = 100'000 * 10'000;
    const std::string late = pfTraceLine(hundredSeconds, -1);
    EXPECT_THAT(late, MatchesRegex(R"(\[Morrowset\] \[00000\] \[-000(87|88)\.[0-9]{3}\] <-.*)"))
        << "an overhead beyond the time since start gives a negative figure";
    EXPECT_LT(traceStack().frameTime(3), 0);
}

TEST_F(TraceLineTest, AMissingFrameMakesNoLine) {
    traceStack().traceDepth = 1001;
    EXPECT_THROW(pfTraceLine(0, 0), std::exception);
}

struct DecimalCase {
    double seconds;
    const char* text;
};

TEST_F(TraceLineTest, DecimalFigureHasFiveIntegerDigitsAndThreeDecimals) {
    for (const DecimalCase c : {DecimalCase{12.3454, "00012.345"}, {0.0, "00000.000"}, {0.0996, "00000.100"},
                                {-1.5, "-00001.500"}, {123456.7, "123456.700"}}) {
        EXPECT_EQ(pfDecimal(c.seconds), c.text) << c.seconds;
    }
}

// The trace's own formatting of the figure rounds as the general one does, halves and the
// largest figures included.
TEST_F(TraceLineTest, DecimalFigureRoundsAsFormatSecondsDoes) {
    for (const double seconds : {0.0005, 0.0015, 0.0025, 1.0005, 99999.9995, 4503599627370.4965, 8.9e15,
                                 9e15, -0.0005, -0.0004, -2.0005, 1e300}) {
        EXPECT_EQ(pfDecimal(seconds), platform::formatSeconds(seconds, '.')) << seconds;
    }
}

// Builds a locale whose decimal separator is a comma into `folder`; false when this
// machine cannot.
bool useCommaLocale(const TempFolder& folder) {
    folder.write("comma.src", "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3;3\nEND LC_NUMERIC\n");
    const std::string command = "localedef -c -i '" + (folder / "comma.src") + "' -f UTF-8 '" +
                                (folder / "xx_COMMA.UTF-8") + "' >/dev/null 2>&1";
    (void)std::system(command.c_str());
    ::setenv("LOCPATH", folder.path().c_str(), 1);
    return std::setlocale(LC_NUMERIC, "xx_COMMA.UTF-8") != nullptr;
}

// "[.0000.000]" came of a digit as the separator: its first occurrence became the point.
TEST_F(TraceLineTest, ASeparatorThatCannotBeOneIsIgnored) {
    for (const char* separator : {"", "0", "5", ",,", "ab"}) {
        freshRuntime();
        windows.write("win.ini", std::string("[intl]\nsDecimal=") + separator + "\n");
        EXPECT_EQ(pfDecimal(10012.3454), "10012.345") << "sDecimal=" << separator;
    }
}

TEST_F(TraceLineTest, TheProfilesSeparatorBecomesThePointInTheLocalesFigure) {
    TempFolder locales;
    if (!useCommaLocale(locales)) GTEST_SKIP() << "no way to build a comma locale here";
    struct Restore {
        ~Restore() {
            std::setlocale(LC_NUMERIC, "C");
            ::unsetenv("LOCPATH");
        }
    } restore;

    EXPECT_EQ(pfDecimal(12.3454), "00012,345") << "no system profile: the figure stays as the locale makes it";

    freshRuntime();
    windows.write("win.ini", "[intl]\nsTime=:\n");
    EXPECT_EQ(pfDecimal(12.3454), "00012,345") << "a profile without the separator: the same";

    freshRuntime();
    windows.write("win.ini", "[intl]\nsDecimal=,\n");
    EXPECT_EQ(pfDecimal(12.3454), "00012.345");

    freshRuntime();
    windows.write("win.ini", "[intl]\nsDecimal=\n");
    EXPECT_EQ(pfDecimal(12.3454), "00012.345") << "an empty separator is ignored";

    freshRuntime();
    windows.write("win.ini", "[intl]\nsDecimal=;\n");
    EXPECT_EQ(pfDecimal(12.3454), "00012,345") << "a separator the figure lacks loses nothing";
}

}  // namespace
