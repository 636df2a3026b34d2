// The instrumentation helper: numbered statements under the enter/leave protocol, the
// error trap and the three ways of resuming, with a trap handler the test scripts.
#include <gtest/gtest.h>

#include <deque>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "errortrap/core/runtime.h"
#include "errortrap/core/trace_stack.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/trace/procedure.h"
#include "platform/runtime_error.h"
#include "support/recording_ui.h"
#include "support/scoped_runtime.h"

namespace {

using wardline::jumpTo;
using wardline::kChoiceBreakTo;
using wardline::kChoiceContinue;
using wardline::kResumeNext;
using wardline::kRetry;
using wardline::leave;
using wardline::next;
using wardline::Procedure;
using wardline::traceStack;

// What the trap handed over, as the handler saw it.
struct TrapCall {
    std::string module;
    std::string procedure;
    int32_t number = 0;
    int32_t line = -1;
    int depth = 0;
    std::string topFrame;
};

// A trap handler that records each call and answers with the scripted actions in turn
// (0, leave, once they run out).
class ScriptedTrap {
public:
    std::vector<TrapCall> calls;
    std::deque<int16_t> actions;
    std::function<void()> onCall;

private:
    testsupport::ScopedTrapHandler scope_{[this](const std::string& module, const std::string& procedure) {
        const platform::ErrorInfo& error = platform::currentError();
        const int depth = traceStack().traceDepth;
        std::string top;
        if (traceStack().created() && depth >= 1 && depth <= wardline::kMaxTraceLevel)
            top = traceStack().frameText(depth);
        calls.push_back({module, procedure, error.number, error.line, depth, top});
        if (onCall) onCall();
        if (actions.empty()) return int16_t{0};
        const int16_t action = actions.front();
        actions.pop_front();
        return action;
    }};
};

class ProcedureTest : public ::testing::Test {
protected:
    testsupport::ScopedRuntime testRuntime;  // before the trap, which sets the runtime's trap handler
    testsupport::RecordingUi ui;
    ScriptedTrap trap;
    std::string ran;  // the statements that ran, in order; "!" marks one that failed

    void SetUp() override {
        testRuntime->setUi(&ui);
        testRuntime->state().runtimeStarted = true;
        testRuntime->state().inDevEnvironment = -1;  // an unbalanced leave would show a box
    }

    void mark(const std::string& step) { ran += (ran.empty() ? "" : " ") + step; }
    static int depth() { return traceStack().traceDepth; }
};

TEST_F(ProcedureTest, StatementsRunInOrderBetweenEnterAndLeave) {
    Procedure("frmMain.frm", "Sub cmdGo_Click").run({
        {10, [&] { mark("10"); }},
        {20, [&] {
             mark("20");
             EXPECT_EQ(depth(), 1);
             EXPECT_EQ(traceStack().frameText(1), "1 : frmMain.frm : Sub cmdGo_Click : ");
         }},
        {30, [&] { mark("30"); }},
    });
    EXPECT_EQ(ran, "10 20 30");
    EXPECT_EQ(depth(), 0);
    EXPECT_TRUE(trap.calls.empty());
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ProcedureTest, TheErrorActionDecidesHowTheProcedureGoesOn) {
    const struct {
        int16_t action;
        const char* ran;
    } cases[] = {
        {kRetry, "10 20! 20 30 40"},    // run the failing statement again
        {kResumeNext, "10 20! 30 40"},  // continue with the next statement
        {kChoiceContinue, "10 20!"},    // leave through the exit path
        {kChoiceBreakTo, "10 20!"},     // ... as does any other answer
        {3, "10 20!"},                  //
        {-1, "10 20!"},                 //
    };
    for (const auto& c : cases) {
        ran.clear();
        trap.calls.clear();
        trap.actions = {c.action};
        bool failed = false;
        Procedure("frmMain.frm", "Sub cmdGo_Click").run({
            {10, [&] { mark("10"); }},
            {20, [&] {
                 if (!failed) {
                     failed = true;
                     mark("20!");
                     platform::raiseError(53);
                 }
                 mark("20");
             }},
            {30, [&] { mark("30"); }},
            {40, [&] { mark("40"); }},
        });
        EXPECT_EQ(ran, c.ran) << "action " << c.action;
        ASSERT_EQ(trap.calls.size(), 1u) << "action " << c.action;
        EXPECT_EQ(trap.calls[0].module, "frmMain.frm");
        EXPECT_EQ(trap.calls[0].procedure, "Sub cmdGo_Click");
        EXPECT_EQ(trap.calls[0].number, 53);
        EXPECT_EQ(trap.calls[0].line, 20);
        EXPECT_EQ(trap.calls[0].depth, 1);  // the trap runs before the leave
        EXPECT_EQ(depth(), 0) << "action " << c.action;  // every way out still leaves
        EXPECT_EQ(platform::currentError().number, 0) << "action " << c.action;  // cleared
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ProcedureTest, ContinuingAfterAFailingConditionEntersTheIfBlock) {
    // 20 is "If <condition> Then", 30 and 40 the block, 50 the Else part, 60 after End If.
    trap.actions = {kResumeNext};
    Procedure("frmMain.frm", "Sub tmrMain_Timer").run({
        {10, [&] { mark("10"); }},
        {20, [&]() -> wardline::Flow {
             mark("20!");
             platform::raiseError(13);  // the condition fails before it can skip the block
         }},
        {30, [&] { mark("30"); }},
        {40, [&] {
             mark("40");
             return jumpTo(60);
         }},
        {50, [&] { mark("50"); }},
        {60, [&] { mark("60"); }},
    });
    EXPECT_EQ(ran, "10 20! 30 40 60");
    ASSERT_EQ(trap.calls.size(), 1u);
    EXPECT_EQ(trap.calls[0].line, 20);
    EXPECT_EQ(depth(), 0);
}

TEST_F(ProcedureTest, StatementsCanLoopJumpAndLeaveEarly) {
    int i = 0;
    Procedure("frmMain.frm", "Sub tmrMain_Timer").run({
        {10, [&] { mark("10"); }},
        {20, [&] { mark("20:" + std::to_string(++i)); }},
        {30, [&] { return i < 3 ? jumpTo(20) : next(); }},
        {40, [&] {
             mark("40");
             return i == 3 ? leave() : next();
         }},
        {50, [&] { mark("50"); }},
    });
    EXPECT_EQ(ran, "10 20:1 20:2 20:3 40");
    EXPECT_EQ(depth(), 0);
    EXPECT_TRUE(trap.calls.empty());
}

TEST_F(ProcedureTest, AnErrorInACalleeWithoutATrapReachesTheCallersTrap) {
    trap.actions = {kResumeNext};
    Procedure("frmMain.frm", "Sub cmdGo_Click").run({
        {10, [&] { mark("10"); }},
        {20, [&] {
             Procedure("frmMain.frm", "Function GetKeyValue").runUntrapped({
                 {10, [&] { mark("callee 10"); }},
                 {20, [&] {
                      mark("callee 20!");
                      platform::raiseError(53);
                  }},
                 {30, [&] { mark("callee 30"); }},
             });
         }},
        {30, [&] {
             mark("30");
             // The callee left without its leave: its frame is still on top.
             EXPECT_EQ(depth(), 2);
         }},
    });
    EXPECT_EQ(ran, "10 callee 10 callee 20! 30");
    ASSERT_EQ(trap.calls.size(), 1u);
    EXPECT_EQ(trap.calls[0].procedure, "Sub cmdGo_Click");  // the caller's trap
    EXPECT_EQ(trap.calls[0].line, 20);                       // at the caller's statement
    EXPECT_EQ(trap.calls[0].number, 53);
    EXPECT_EQ(trap.calls[0].depth, 2);
    EXPECT_EQ(trap.calls[0].topFrame, "2 : \tfrmMain.frm : Function GetKeyValue : ");
    // The caller's leave meets the callee's frame: unbalanced, so the stack is abandoned.
    EXPECT_EQ(depth(), 0);
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(ProcedureTest, ACalleesFrameKeepsItsNamesWhenTheErrorHasLeftThem) {
    // The trace stack refers to a procedure's names; these are made at run time and gone
    // by the time the caller's trap reads the callee's frame, still on the stack.
    Procedure("frmMain.frm", "Sub cmdGo_Click").run({
        {10, [&] {
             const std::string procedure = std::string("Function ") + "GetKeyValueFromTheRegistry";
             const std::string arguments = "hKey=HKEY_LOCAL_MACHINE, row " + std::to_string(2);
             Procedure("modRegistry.bas", procedure, arguments).runUntrapped({
                 {10, [] { platform::raiseError(53); }},
             });
         }},
    });
    ASSERT_EQ(trap.calls.size(), 1u);
    EXPECT_EQ(trap.calls[0].topFrame,
              "2 : \tmodRegistry.bas : Function GetKeyValueFromTheRegistry : hKey=HKEY_LOCAL_MACHINE, row 2");
}

TEST_F(ProcedureTest, ExceptionsThatAreNoRunTimeErrorsAreTrappedAsTheirNearestError) {
    const struct {
        std::function<void()> fail;
        int32_t number;
    } cases[] = {
        {[] { throw std::bad_alloc(); }, 7},
        {[] { throw std::out_of_range("index"); }, 9},
        {[] { throw std::overflow_error("too big"); }, 6},
        {[] { throw std::logic_error("other"); }, 51},
        {[] { throw 42; }, 51},
    };
    for (const auto& c : cases) {
        trap.calls.clear();
        Procedure("frmMain.frm", "Sub Form_Load").run({{10, [&] { c.fail(); }}, {20, [] {}}});
        ASSERT_EQ(trap.calls.size(), 1u);
        EXPECT_EQ(trap.calls[0].number, c.number);
        EXPECT_EQ(trap.calls[0].line, 10);
        EXPECT_EQ(depth(), 0);
    }
}

// A runtime that is marked started but whose stack was never created, with the monitor
// present: the overhead probe of the enter reads the stack's start time and fails.
void breakTheEnter() {
    traceStack() = wardline::TraceStack();
    wardline::runtime().monitorPresent = -1;
}

TEST_F(ProcedureTest, AFailingEnterIsTrappedAtLineZero) {
    const struct {
        int16_t action;
        const char* ran;
    } cases[] = {
        {kChoiceContinue, ""},   // leave: the body does not run
        {kResumeNext, "10 20"},  // continue: the body runs
    };
    for (const auto& c : cases) {
        ran.clear();
        trap.calls.clear();
        breakTheEnter();
        trap.actions = {c.action};
        Procedure("frmMain.frm", "Sub Form_Load").run({{10, [&] { mark("10"); }}, {20, [&] { mark("20"); }}});
        EXPECT_EQ(ran, c.ran) << "action " << c.action;
        ASSERT_FALSE(trap.calls.empty()) << "action " << c.action;
        EXPECT_EQ(trap.calls[0].line, 0);
        EXPECT_EQ(trap.calls[0].number, 9);  // the stack's arrays do not exist
        EXPECT_EQ(depth(), 0);
    }
}

TEST_F(ProcedureTest, ARetriedEnterRunsAgainOnceTheFaultIsGone) {
    breakTheEnter();
    trap.actions = {kRetry};
    trap.onCall = [] {  // whoever handles the error mends the runtime
        traceStack().reset();
        wardline::runtime().monitorPresent = 0;
    };
    Procedure("frmMain.frm", "Sub Form_Load").run({{10, [&] {
        mark("10");
        EXPECT_EQ(depth(), 1);
    }}});
    EXPECT_EQ(ran, "10");
    ASSERT_EQ(trap.calls.size(), 1u);
    EXPECT_EQ(trap.calls[0].line, 0);
    EXPECT_EQ(depth(), 0);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ProcedureTest, AFailingLeaveIsTrappedAtTheExitLine) {
    Procedure("frmMain.frm", "Sub Form_Load").run({
        {10, [&] { mark("10"); }},
        {20, [&] {
             mark("20");
             breakTheEnter();                  // the leave's overhead probe will fail
             traceStack().lineCounter = 1;     // (it runs while one trace line has been made)
         }},
    });
    EXPECT_EQ(ran, "10 20");
    ASSERT_EQ(trap.calls.size(), 1u);
    EXPECT_EQ(trap.calls[0].line, 20);
    EXPECT_EQ(trap.calls[0].number, 9);
}

TEST_F(ProcedureTest, ScopedTrapHandlersNest) {
    // An inner handler replaces the scripted one for its lifetime, then gives it back.
    {
        int calls = 0;
        testsupport::ScopedTrapHandler inner{[&](const std::string&, const std::string&) {
            ++calls;
            return int16_t{2};
        }};
        Procedure("frmMain.frm", "Sub Form_Load").run({
            {10, [] { platform::raiseError(5); }},
            {20, [&] { mark("20"); }},
        });
        EXPECT_EQ(calls, 1);
    }
    EXPECT_TRUE(trap.calls.empty());
    Procedure("frmMain.frm", "Sub Form_Load").run({{10, [] { platform::raiseError(5); }}});
    EXPECT_EQ(trap.calls.size(), 1u);
    EXPECT_EQ(ran, "20");
}

}  // namespace
