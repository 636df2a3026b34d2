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

// The enter algorithm, step by step, for every case the fast path below does not cover.
// It takes the same parameters as wlPUSH, so the fast path hands over with a jump.
[[gnu::noinline]] void enterEveryStep(std::string_view module, std::string_view procedure,
                                      std::string_view arguments) {
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

// The leave algorithm, step by step, for every case the fast path below does not cover.
[[gnu::noinline]] void leaveEveryStep(std::string_view module, std::string_view procedure,
                                      std::string_view /*arguments*/) {
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

// While the runtime is started and idle, with no sink on, enter and leave do nothing but
// keep the stack; these paths do just that, with the same outcome as the full steps, and
// hand every other case to them. (An overhead probe runs only within one call of the full
// steps, started while the monitor is present, so it never meets these paths.)
[[gnu::always_inline]] inline bool onlyKeepingTheStack(const RuntimeState& state) {
    return quietFlags(state) == 0;
}

// The same text by where it lies, not by its bytes.
[[gnu::always_inline]] inline bool sameView(std::string_view a, std::string_view b) {
    return ((reinterpret_cast<uintptr_t>(a.data()) ^ reinterpret_cast<uintptr_t>(b.data())) |
            (a.size() ^ b.size())) == 0;
}

}  // namespace

// Where the runtime is quiet, enter and leave are the fast paths below; each hands every
// other case to the full steps with a jump. Both run around every procedure call, so the
// flags are tested in one go, and the stack's fields are read only after that test: the
// empty asm statement keeps the compiler from reading them earlier, which would leave it
// short of scratch registers and make it save some on the stack at every call.
struct EnterLeave {
    [[gnu::always_inline]] static void enter(std::string_view module, std::string_view procedure,
                                             std::string_view arguments) {
        Runtime& runtime = currentRuntime();
        TraceStack& stack = runtime.traceStack();
        if (!onlyKeepingTheStack(runtime.state())) [[unlikely]]
            return enterEveryStep(module, procedure, arguments);
        asm volatile("" ::: "memory");
        TraceStack::Frame* frames = stack.frames_.get();
        const unsigned depth = static_cast<uint16_t>(stack.traceDepth);  // a negative one is out of range too
        if (!frames || depth >= kMaxTraceLevel) [[unlikely]]
            return enterEveryStep(module, procedure, arguments);
        stack.traceDepth = static_cast<int16_t>(depth + 1);
        TraceStack::Frame& frame = frames[depth + 1];
        frame.module = module;
        frame.procedure = procedure;
        frame.arguments = arguments;
        frame.kind = TraceStack::Kind::Parts;
    }

    [[gnu::always_inline]] static void leave(std::string_view module, std::string_view procedure,
                                             std::string_view arguments) {
        Runtime& runtime = currentRuntime();
        TraceStack& stack = runtime.traceStack();
        if (!onlyKeepingTheStack(runtime.state())) [[unlikely]]
            return leaveEveryStep(module, procedure, arguments);
        asm volatile("" ::: "memory");
        TraceStack::Frame* frames = stack.frames_.get();
        const unsigned depth = static_cast<uint16_t>(stack.traceDepth);
        // Levels 1 to 1000 hold a frame; level 0 never matches a procedure.
        if (!frames || depth - 1 >= kMaxTraceLevel) [[unlikely]]
            return leaveEveryStep(module, procedure, arguments);
        TraceStack::Frame& frame = frames[depth];
        // The same names as the enter passed, as procedures do: no need to compare the texts
        // (the steps below compare them when the names come from elsewhere).
        if (((frame.kind != TraceStack::Kind::Parts) | !sameView(frame.module, module) |
             !sameView(frame.procedure, procedure))) [[unlikely]]
            return leaveEveryStep(module, procedure, arguments);
        frame.kind = TraceStack::Kind::Empty;
        frame.spare = 0;
        frame.codePointer = 0;
        stack.traceDepth = static_cast<int16_t>(depth - 1);
    }
};

void wlPUSH(std::string_view module, std::string_view procedure, std::string_view arguments) {
    EnterLeave::enter(module, procedure, arguments);
}

void wlPOP(std::string_view module, std::string_view procedure, std::string_view arguments) {
    EnterLeave::leave(module, procedure, arguments);
}


}  // namespace wardline
