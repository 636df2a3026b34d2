#include "errortrap/trace/trace_line.h"

#include <gmock/gmock.h>

#include <clocale>
#include <cstdlib>
#include <functional>
#include <random>

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

// A line made out of the line before it is the line made whole, byte for byte, whatever
// changed in between.
TEST_F(TraceLineTest, ALineMadeFromTheLineBeforeIsTheLineMadeWhole) {
    wardline::TraceStack& stack = traceStack();
    const int64_t start = stack.frameTime(0);
    int64_t now = start + 310'000;
    int64_t overhead = 0;
    int16_t exit = 0;
    std::string movingName = "Sub cmdGo_Click";
    const auto count = [&](int32_t sequence) { stack.lineCounter = sequence; };
    const auto stampAt = [&](int64_t stamp) { now = start + stamp + overhead; };
    const auto meminfo = [&](const char* available) {
        proc.write("meminfo", std::string("MemTotal: 67108864 kB\nMemAvailable: ") + available + " kB\n");
        now += 11 * 10'000;  // past the age a reading is shared for
    };
    struct Step {
        const char* what;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"the first line", [&] { count(1); }},
        {"its exit line within the same thousandth", [&] { count(2), exit = -1, now += 10; }},
        {"the next thousandth", [&] { count(3), exit = 0, now += 10'000; }},
        {"a sequence number that carries", [&] { count(9); }},
        {"...", [&] { count(10); }},
        {"one that grows a digit", [&] { count(99'999); }},
        {"...", [&] { count(100'000); }},
        {"a gap in the numbers", [&] { count(100'050); }},
        {"a number a digit shorter", [&] { count(42); }},
        {"a time halfway between two thousandths", [&] { stampAt(12'345'5000); }},
        {"one that the seconds' double rounds down (500.49999... ms)", [&] { stampAt(5'005'000); }},
        {"the next thousandth after it", [&] { stampAt(5'008'000); }},
        {"just below halfway", [&] { stampAt(12'345'4999); }},
        {"just above", [&] { stampAt(12'345'5001); }},
        {"halfway, beyond some 11 days", [&] { stampAt(20'000'000'005'000); }},
        {"a late time", [&] { stampAt(9'000'000'000'000'000'000); }},
        {"a negative time within a thousandth shows no sign",
         [&] { overhead = 40'000'000, stampAt(-4'000); }},
        {"one beyond a thousandth does", [&] { stampAt(-6'000); }},
        {"...", [&] { overhead = 0, stampAt(7'000); }},
        {"another tag as long", [&] { wardline::runtime().exePrefix = "[Morrowsez] "; }},
        {"another tag", [&] { wardline::runtime().exePrefix = "[Other] "; }},
        {"another level", [&] { stack.traceDepth = 2, exit = -1; }},
        {"the same level, another procedure", [&] { stack.storeFrame(2, "frmMain.frm", "Sub Other", ""); }},
        {"a frame referring to names", [&] { stack.referFrame(2, "frmMain.frm", movingName, "row 2"); }},
        {"the names changed where they lie", [&] { movingName[4] = 'X'; }},
        {"a frame with a text of its own", [&] { stack.setFrameText(2, "2 : text : of its own"); }},
        {"...", [&] { exit = 0; }},
        {"an entered frame again", [&] { stack.storeFrame(2, "frmMain.frm", "Sub Other", "x : y"); }},
        {"arguments cut", [&] { include(-1, -1, 0, -1); }},
        {"no user part", [&] { include(-1, -1, 0, 0); }},
        {"resources only", [&] { include(-1, 0, -1, 0); }},
        {"memory only", [&] { include(0, -1, -1, 0); }},
        {"no memory part", [&] { include(0, 0, -1, -1); }},
        {"memory again", [&] { include(-1, -1, -1, -1); }},
        {"new memory figures", [&] { meminfo("41943000"); }},
        {"a figure one digit longer", [&] { meminfo("419430000"); }},
        {"the same line again", [] {}},
    };
    for (const Step& step : steps) {
        step.change();
        const std::string kept = wardline::nextTraceLine(*testRuntime, now, overhead, exit);
        std::string whole;
        wardline::buildTraceLineAt(*testRuntime, whole, now, overhead, exit);
        EXPECT_EQ(kept, whole) << step.what;
    }

    std::mt19937 random(33);
    const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    for (int line = 0; line < 5000; ++line) {
        count(chance(95) ? stack.lineCounter + 1 : static_cast<int32_t>(random() % 2'000'000));
        now += chance(50) ? static_cast<int64_t>(random() % 3'000) : static_cast<int64_t>(random() % 300'000);
        exit = chance(50) ? -1 : 0;
        stack.traceDepth = 1 + static_cast<int>(random() % 3);
        if (chance(2))
            include(chance(50) ? -1 : 0, chance(50) ? -1 : 0, chance(50) ? -1 : 0, chance(50) ? -1 : 0);
        const std::string kept = wardline::nextTraceLine(*testRuntime, now, overhead, exit);
        std::string whole;
        wardline::buildTraceLineAt(*testRuntime, whole, now, overhead, exit);
        ASSERT_EQ(kept, whole) << "random line " << line;
    }
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
