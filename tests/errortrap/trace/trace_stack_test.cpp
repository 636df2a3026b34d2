// The trace stack as enter (wlPUSH) and leave (wlPOP) keep it: frame texts, the
// balanced-leave rule, the unbalanced leave and its message, the levels beyond 1000.
#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>

#include "errortrap/core/runtime.h"
#include "errortrap/core/trace_stack.h"
#include "errortrap/wardline.h"
#include "support/recording_ui.h"
#include "support/scoped_runtime.h"
#include "support/temp_folder.h"

namespace {

using wardline::traceStack;
using wardline::wlPOP;
using wardline::wlPUSH;

const std::string kMain = "frmMain.frm";
const std::string kNone;

// A started runtime with tracing off and no monitor; the UI records every message box.
class TraceStackTest : public ::testing::Test {
protected:
    testsupport::RecordingUi ui;
    testsupport::ScopedRuntime testRuntime;

    void SetUp() override {
        testRuntime->setUi(&ui);
        // What start-up leaves behind: the stack created, entry 0 written.
        testRuntime->state().runtimeStarted = true;
        traceStack().setFrameText(0, "Wardline(tm) : Program START <03-07-2024, 09:05:03>");
    }

    static int depth() { return traceStack().traceDepth; }
    static wardline::ErrorLevel& level0() { return wardline::errorRecord().levels[0]; }
};

TEST_F(TraceStackTest, EnterStoresTheFrameTextWithLevelAndIndent) {
    wlPUSH(kMain, "Sub Form_Load", kNone);
    EXPECT_EQ(depth(), 1);
    EXPECT_EQ(traceStack().frameText(1), "1 : frmMain.frm : Sub Form_Load : ");
    EXPECT_EQ(traceStack().frameBody(1), "frmMain.frm : Sub Form_Load : ");

    wlPUSH(kMain, "Sub tmrMain_Timer", kNone);
    wlPUSH(kMain, "Sub cmdGo_Click", "Index=3");
    EXPECT_EQ(depth(), 3);
    EXPECT_EQ(traceStack().frameText(3), "3 : \t\tfrmMain.frm : Sub cmdGo_Click : Index=3");
    EXPECT_EQ(traceStack().frameBody(3), "\t\tfrmMain.frm : Sub cmdGo_Click : Index=3");
    EXPECT_EQ(traceStack().frameText(2), "2 : \tfrmMain.frm : Sub tmrMain_Timer : ");
    EXPECT_EQ(traceStack().frameText(0), "Wardline(tm) : Program START <03-07-2024, 09:05:03>");
}

TEST_F(TraceStackTest, BalancedLeaveClearsTheFrameAndLowersTheDepth) {
    wlPUSH(kMain, "Sub tmrMain_Timer", kNone);
    wlPUSH(kMain, "Sub cmdGo_Click", kNone);
    traceStack().frameCodePointer(2) = 7;
    wlPOP(kMain, "Sub cmdGo_Click", kNone);
    EXPECT_EQ(depth(), 1);
    EXPECT_EQ(traceStack().frameText(2), "");
    EXPECT_EQ(traceStack().frameCodePointer(2), 0);
    EXPECT_EQ(traceStack().frameText(1), "1 : frmMain.frm : Sub tmrMain_Timer : ");
    wlPOP(kMain, "Sub tmrMain_Timer", kNone);
    EXPECT_EQ(depth(), 0);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(TraceStackTest, AnotherProcedureEnteringTheSameLevelReplacesTheFrame) {
    // Names of many lengths, each differing from the one before it in a single character
    // at its start, middle or end: enter must store the new one, leave must tell them apart.
    for (std::size_t length : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 24u, 31u, 32u, 33u, 40u, 64u}) {
        for (std::size_t at : {std::size_t{0}, length / 2, length - 1}) {
            const std::string first(length, 'a');
            std::string second = first;
            second[at] = 'b';
            wlPUSH(first, first, first);
            wlPOP(first, first, first);
            wlPUSH(second, second, second);
            ASSERT_EQ(traceStack().frameBody(1), second + " : " + second + " : " + second)
                << "length " << length << ", difference at " << at;
            wlPOP(second, first, kNone);  // the procedure name is wrong: unbalanced
            ASSERT_EQ(depth(), 0) << "length " << length << ", difference at " << at;
            wlPUSH(second, second, second);
            wlPOP(first, second, kNone);  // the module name is wrong: unbalanced
            ASSERT_EQ(depth(), 0) << "length " << length << ", difference at " << at;
        }
    }
}

TEST_F(TraceStackTest, LeaveMatchesAnySubstringOfTheFrameText) {
    const struct {
        const char* module;
        const char* procedure;
        bool balanced;
    } cases[] = {
        {"frmMain.frm", "Sub Form_Load", true},
        {"Main.frm", "Sub Form", true},           // a substring of the names
        {"1 : frmMain.frm", "Sub Form_Load", true},  // the level prefix is part of the text
        {"", "", true},                            // " : " is in every stored frame text
        {"FRMMAIN.FRM", "Sub Form_Load", false},  // case-sensitive
        {"frmMain.frm", "Sub form_load", false},
        {"frmMain.frm", "Sub Form_Load_Extra", false},
        {"frmAbout.frm", "Sub Form_Load", false},
    };
    for (const auto& c : cases) {
        traceStack().traceDepth = 0;
        wlPUSH(kMain, "Sub Form_Load", kNone);
        wlPOP(c.module, c.procedure, kNone);
        EXPECT_EQ(depth(), 0) << c.module << " / " << c.procedure;
        EXPECT_EQ(traceStack().frameText(1).empty(), c.balanced) << c.module << " / " << c.procedure;
    }
}

TEST_F(TraceStackTest, UnbalancedLeaveAbandonsEveryFrameButKeepsTheirTexts) {
    wlPUSH(kMain, "Sub Form_Load", kNone);
    wlPUSH(kMain, "Sub cmdGo_Click", kNone);
    wlPOP("FRMMAIN.FRM", "Sub cmdGo_Click", kNone);
    EXPECT_EQ(depth(), 0);
    EXPECT_EQ(traceStack().frameText(2), "2 : \tfrmMain.frm : Sub cmdGo_Click : ");
    EXPECT_TRUE(ui.boxes.empty());  // not in the development environment

    wlPUSH(kMain, "Sub tmrMain_Timer", kNone);  // a later enter overwrites level 1
    EXPECT_EQ(traceStack().frameText(1), "1 : frmMain.frm : Sub tmrMain_Timer : ");
}

TEST_F(TraceStackTest, LeaveAtDepthZeroIsUnbalanced) {
    wardline::runtime().inDevEnvironment = -1;
    // Level 0 holds the start line, which holds "Wardline(tm) : Program START": still no match.
    wlPOP("Wardline(tm)", "Program START", kNone);
    EXPECT_EQ(depth(), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(traceStack().frameText(0), "Wardline(tm) : Program START <03-07-2024, 09:05:03>");
}

TEST_F(TraceStackTest, UnbalancedLeaveInTheDevelopmentEnvironmentShowsTheMessage) {
    wardline::runtime().inDevEnvironment = -1;
    ui.boxAnswer = wardline::kResultOk;  // "break": without a debugger attached the program goes on
    wlPUSH(kMain, "Sub Form_Load", kNone);
    wlPOP("frmAbout.frm", "Sub cmdOK_Click", kNone);

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "WLVB100");
    EXPECT_EQ(ui.boxes[0].style, 49);  // OK and Cancel, exclamation icon
    EXPECT_EQ(ui.boxes[0].text,
              "Module    \tfrmAbout.frm\r\n"
              "Procedure\tSub cmdOK_Click\r\n\r\n"
              "Procedure is unbalanced or contains calls to unbalanced routines. \r\n\r\n"
              "'wlPOP()' was called without 'wlPUSH()'. \r\n\r\n"
              "Choose OK break to VB.\r\n"
              "Choose CANCEL to continue with program.");
    EXPECT_EQ(depth(), 0);
}

TEST_F(TraceStackTest, ErrorPassedUpMarksSuppressTheMessageOnlyWhenBothFieldsHoldThem) {
    wardline::runtime().inDevEnvironment = -1;
    const struct {
        const char* module;
        const char* procedure;
        bool shown;
    } cases[] = {
        {"frmMain.frm << frmMain.frm", "Sub A << Sub B", false},
        {"frmMain.frm << frmMain.frm", "Sub A", true},
        {"frmMain.frm", "Sub A << Sub B", true},
        {"", "", true},
        {"<<", "<<", true},  // the mark is " << " with its blanks
    };
    for (const auto& c : cases) {
        ui.boxes.clear();
        level0().module = c.module;
        level0().procedure = c.procedure;
        wlPUSH(kMain, "Sub Form_Load", kNone);
        wlPOP(kMain, "Sub Other", kNone);
        EXPECT_EQ(ui.boxes.size(), c.shown ? 1u : 0u) << c.module << " / " << c.procedure;
        EXPECT_EQ(level0().module, "") << c.module;  // cleared whether shown or not
        EXPECT_EQ(level0().procedure, "") << c.procedure;
    }
}

TEST_F(TraceStackTest, OutsideTheDevelopmentEnvironmentTheErrorFieldsAreLeftAlone) {
    level0().module = "frmMain.frm << frmMain.frm";
    level0().procedure = "Sub A";
    wlPOP(kMain, "Sub Other", kNone);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(level0().module, "frmMain.frm << frmMain.frm");
    EXPECT_EQ(level0().procedure, "Sub A");
}

TEST_F(TraceStackTest, LevelsBeyondAThousandKeepNoFrame) {
    for (int level = 1; level <= wardline::kMaxTraceLevel; ++level) wlPUSH(kMain, "Function Deep", kNone);
    const std::string top = traceStack().frameText(1000);
    EXPECT_EQ(top, "1000 : " + std::string(999, '\t') + "frmMain.frm : Function Deep : ");

    wlPUSH(kMain, "Function Deeper", kNone);  // level 1001
    EXPECT_EQ(depth(), 1001);
    EXPECT_EQ(traceStack().frameText(1000), top);
    EXPECT_THROW(traceStack().frameText(1001), std::out_of_range);

    wlPOP("any", "names at all", kNone);  // taken as balanced without the check
    EXPECT_EQ(depth(), 1000);
    EXPECT_EQ(traceStack().frameText(1000), top);
    wlPOP(kMain, "Function Deep", kNone);
    EXPECT_EQ(depth(), 999);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(TraceStackTest, WithTracingOnLevelsBeyondAThousandCountLinesButWriteNone) {
    testsupport::TempFolder folder;
    wardline::Preferences& prefs = wardline::runtime().prefs;
    prefs.captureToDisk = -1;  // trace lines go to the disk log
    prefs.writeToDisk = -1;
    prefs.errorLogPath = folder / "capture.log";

    for (int level = 1; level <= wardline::kMaxTraceLevel + 1; ++level) wlPUSH(kMain, "Function Deep", kNone);
    EXPECT_EQ(traceStack().lineCounter, 1001);
    wlPOP(kMain, "Function Deep", kNone);  // level 1001
    EXPECT_EQ(traceStack().lineCounter, 1002);
    EXPECT_EQ(depth(), 1000);
    wlPOP(kMain, "Function Deep", kNone);  // level 1000: a line again
    EXPECT_EQ(traceStack().lineCounter, 1003);

    const std::string log = testsupport::readFile(prefs.errorLogPath);
    const auto count = [&log](const std::string& mark) {
        std::size_t found = 0;
        for (std::size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1)) ++found;
        return found;
    };
    EXPECT_EQ(count("] ->"), 1000u);  // an entry line for each of the levels 1 to 1000
    EXPECT_EQ(count("] <-"), 1u);     // and the exit line of level 1000
}

TEST_F(TraceStackTest, DepthStopsAtTheLargest16BitLevel) {
    traceStack().traceDepth = std::numeric_limits<int16_t>::max() - 1;
    wlPUSH(kMain, "Function Deep", kNone);
    EXPECT_EQ(depth(), 32767);
    wlPUSH(kMain, "Function Deep", kNone);  // the increment is skipped
    EXPECT_EQ(depth(), 32767);
    wlPOP(kMain, "Function Deep", kNone);
    EXPECT_EQ(depth(), 32766);
}

TEST_F(TraceStackTest, OverheadsStayZeroWithoutAMonitor) {
    wardline::runtime().prefs.captureToDisk = -1;  // tracing on, no lines written
    for (int round = 0; round < 3; ++round) {
        wlPUSH(kMain, "Sub tmrMain_Timer", kNone);
        wlPUSH(kMain, "Sub cmdGo_Click", kNone);
        wlPOP(kMain, "Sub cmdGo_Click", kNone);
        wlPOP(kMain, "Sub tmrMain_Timer", kNone);
    }
    EXPECT_EQ(traceStack().lineCounter, 12);
    EXPECT_EQ(traceStack().entryOverhead, 0);
    EXPECT_EQ(traceStack().exitOverhead, 0);
    EXPECT_EQ(traceStack().overheadProbe, 0);
}

TEST_F(TraceStackTest, EnterAndLeaveWaitWhileTheErrorDialogIsBusy) {
    wardline::runtime().busy = true;
    ui.onProcessEvents = [](int round) {
        if (round == 3) wardline::runtime().busy = false;  // the dialog closes
    };
    wlPUSH(kMain, "Sub tmrMain_Timer", kNone);
    EXPECT_EQ(ui.eventRounds, 3);
    EXPECT_EQ(depth(), 1);

    wardline::runtime().busy = true;
    ui.onProcessEvents = [](int round) {
        if (round == 5) wardline::runtime().busy = false;
    };
    wlPOP(kMain, "Sub tmrMain_Timer", kNone);
    EXPECT_EQ(ui.eventRounds, 5);
    EXPECT_EQ(depth(), 0);
}

TEST_F(TraceStackTest, AFailingEventRoundDuringTheWaitIsSkipped) {
    wardline::runtime().busy = true;
    ui.onProcessEvents = [](int) {
        wardline::runtime().busy = false;
        throw std::runtime_error("an event procedure failed");
    };
    EXPECT_NO_THROW(wlPUSH(kMain, "Sub tmrMain_Timer", kNone));
    EXPECT_EQ(depth(), 1);
}

TEST(TraceStackBeforeStart, LeaveWithoutAStackIsUnbalancedAndHarmless) {
    testsupport::ScopedRuntime testRuntime;
    traceStack() = wardline::TraceStack();  // not created yet
    EXPECT_FALSE(traceStack().created());
    wlPOP(kMain, "Sub Form_Load", kNone);
    EXPECT_EQ(traceStack().traceDepth, 0);
    EXPECT_THROW(traceStack().frameText(0), std::out_of_range);
}

}  // namespace
