#include "errortrap/trace/enter_leave.h"

#include <cstdint>
#include <limits>

#include "errortrap/core/runtime.h"
#include "errortrap/core/runtime_texts.h"
#include "errortrap/startup.h"
#include "errortrap/trace/trace_line.h"
#include "platform/clock.h"
#include "platform/debugger.h"

namespace wardline {

namespace {

int64_t sinceStart(TraceStack& stack) { return platform::monotonicFixedMilliseconds() - stack.frameTime(0); }

void startOverheadProbe(TraceStack& stack) { stack.overheadProbe = sinceStart(stack); }

// Measures the overhead once, when a probe is running; a failure loses the measurement.
inline void finishOverheadProbe(TraceStack& stack, int64_t& overhead) {
    if (stack.overheadProbe == 0) [[likely]]
        return;
    try {
        overhead = sinceStart(stack) - stack.overheadProbe;
    } catch (...) {
    }
    stack.overheadProbe = 0;
}

// The line counter stops at its largest value rather than wrapping to negative numbers.
void countLine(TraceStack& stack) {
    if (stack.lineCounter < std::numeric_limits<int32_t>::max()) ++stack.lineCounter;
}

void waitWhileBusyIgnoringFailures(Runtime& runtime) {
    try {
        waitWhileBusy(runtime);
    } catch (...) {
    }
}

std::string unbalancedLeaveMessage(std::string_view module, std::string_view procedure) {
    using enum TextId;
    const std::string crlf = "\r\n";
    return pfText(kModuleLabel) + "\t" + std::string(module) + crlf + pfText(kProcedureLabel) + "\t" +
           std::string(procedure) + crlf + crlf + pfText(kUnbalancedProcedure) + crlf + crlf +
           pfText(kPopWithoutPush) + crlf + crlf + pfText(kChooseOkToBreak) + crlf +
           pfText(kChooseCancelToContinue);
}

bool errorPassedUp(const ErrorLevel& level0) {
    return level0.module.find(kPathJoin) != std::string::npos &&
           level0.procedure.find(kPathJoin) != std::string::npos;
}

// A leave that does not match the top frame abandons the whole stack. In the development
// environment the developer is told, unless the error handler has just passed an error up
// from one procedure to another (which legitimately skips leaves).
void unbalancedLeave(Runtime& runtime, std::string_view module, std::string_view procedure) {
    runtime.traceStack().traceDepth = 0;
    if (!runtime.state().inDevEnvironment) return;
    ErrorLevel& level0 = runtime.errorRecord().levels[0];
    if (!errorPassedUp(level0)) {
        try {
            const int answer =
                runtime.ui().messageBox(unbalancedLeaveMessage(module, procedure), kOkCancel | kExclamation,
                                        pfText(TextId::kUnbalancedTitle));
            if (answer == kResultOk) platform::breakIntoDebugger();
        } catch (...) {
        }
    }
    level0.module.clear();
    level0.procedure.clear();
}

}  // namespace

namespace detail {

// The enter algorithm, step by step.
void enterEveryStep(std::string_view module, std::string_view procedure, std::string_view arguments) {
    Runtime& runtime = currentRuntime();
    RuntimeState& state = runtime.state();
    if (!state.runtimeStarted) [[unlikely]]
        startRuntime(runtime);
    TraceStack& stack = runtime.traceStack();
    if (stack.lineCounter == 0 && state.monitorPresent) [[unlikely]]
        startOverheadProbe(stack);

    // From here on a failing step is skipped and the next one runs.
    if (state.busy) [[unlikely]]
        waitWhileBusyIgnoringFailures(runtime);
    if (stack.traceDepth < std::numeric_limits<int16_t>::max()) ++stack.traceDepth;
    const int level = stack.traceDepth;
    const bool tracing = tracingOn(state);
    if (level <= kMaxTraceLevel) {
        try {
            stack.referFrame(level, module, procedure, arguments);
        } catch (...) {  // no frame
        }
        if (tracing) {
            try {
                stack.frameCodePointer(level) = 0;
            } catch (...) {
            }
            countLine(stack);
            traceTopFrame(runtime, stack.entryOverhead, 0);
        }
    } else if (tracing) {
        countLine(stack);  // deeper than the stack: no line, so the sequence numbers get a gap
    }
    // The process error mode of the original platform (no critical-error boxes) has no
    // counterpart here: file failures always come back as errors.
    finishOverheadProbe(stack, stack.entryOverhead);
}

// The leave algorithm, step by step.
void leaveEveryStep(std::string_view module, std::string_view procedure, std::string_view /*arguments*/) {
    Runtime& runtime = currentRuntime();
    RuntimeState& state = runtime.state();
    TraceStack& stack = runtime.traceStack();
    if (stack.lineCounter == 1 && state.monitorPresent) [[unlikely]]
        startOverheadProbe(stack);

    // From here on a failing step is skipped and the next one runs.
    if (state.busy) [[unlikely]]
        waitWhileBusyIgnoringFailures(runtime);
    const int level = stack.traceDepth;
    const bool tracing = tracingOn(state);
    bool balanced = level > kMaxTraceLevel;  // levels without a frame are taken as balanced
    if (!balanced && level > 0) {            // level 0 holds no procedure, so never matches
        try {
            balanced = stack.frameContains(level, module, procedure);
        } catch (...) {
        }
    }
    if (!balanced) {
        unbalancedLeave(runtime, module, procedure);
    } else {
        if (tracing) {
            countLine(stack);
            if (level <= kMaxTraceLevel) traceTopFrame(runtime, stack.exitOverhead, -1);
        }
        if (level <= kMaxTraceLevel) {
            try {
                stack.clearFrame(level);
            } catch (...) {
            }
        }
        --stack.traceDepth;
    }
    finishOverheadProbe(stack, stack.exitOverhead);
}

}  // namespace detail
}  // namespace wardline
