#include "errortrap/trace_stack.h"

#include <csignal>

#include "errortrap/error_record.h"
#include "errortrap/runtime_state.h"
#include "errortrap/startup.h"
#include "errortrap/trace_sinks.h"
#include "errortrap/ui_services.h"
#include "errortrap/wardline.h"
#include "platform/clock.h"
#include "platform/debugger.h"

namespace wardline {

std::string TraceStack::frameBody(int level) const {
    const Frame& f = frame(level);
    switch (f.kind) {
        case Kind::Empty:
            return {};
        case Kind::Literal:
            return f.literal;
        case Kind::Parts:
            break;
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(level) + f.module.size() + f.procedure.size() + f.arguments.size() + 8);
    text.append(static_cast<std::size_t>(level > 0 ? level - 1 : 0), '\t');
    text.append(f.module).append(" : ").append(f.procedure).append(" : ").append(f.arguments);
    return text;
}

std::string TraceStack::frameText(int level) const {
    if (frame(level).kind != Kind::Parts) return frameBody(level);
    return std::to_string(level) + " : " + frameBody(level);
}

void TraceStack::setFrameText(int level, std::string text) {
    Frame& f = frames_.at(static_cast<std::size_t>(level));
    f.kind = text.empty() ? Kind::Empty : Kind::Literal;
    f.literal = std::move(text);
}

void TraceStack::storeFrame(int level, const std::string& module, const std::string& procedure,
                            const std::string& arguments) {
    Frame& f = frames_.at(static_cast<std::size_t>(level));
    f.kind = Kind::Parts;
    // Assigning only what differs keeps the common case (the same procedure entering
    // again at the same level) to three comparisons and no copying.
    if (f.module != module) f.module = module;
    if (f.procedure != procedure) f.procedure = procedure;
    if (f.arguments != arguments) f.arguments = arguments;
}

void TraceStack::clearFrame(int level) {
    Frame& f = frames_.at(static_cast<std::size_t>(level));
    f.kind = Kind::Empty;
    f.codePointer = 0;
}

bool TraceStack::frameContains(int level, const std::string& module, const std::string& procedure) const {
    const Frame& f = frame(level);
    if (f.kind == Kind::Parts && f.module == module && f.procedure == procedure) return true;
    return frameText(level).find(module + " : " + procedure) != std::string::npos;
}

void TraceStack::reset() { *this = TraceStack(); }

TraceStack& traceStack() {
    static TraceStack stack;
    return stack;
}

namespace {

int64_t sinceStart(TraceStack& stack) { return platform::monotonicFixedMilliseconds() - stack.frameTime(0); }

void startOverheadProbe(TraceStack& stack) { stack.overheadProbe = sinceStart(stack); }

void finishOverheadProbe(TraceStack& stack, int64_t& overhead) {
    if (stack.overheadProbe == 0) return;
    overhead = sinceStart(stack) - stack.overheadProbe;
    stack.overheadProbe = 0;
}

// Builds one trace line for the frame at the top and hands it to the sinks. A failure
// loses that line only.
void traceTopFrame(int64_t overhead, int16_t exitFlag) {
    try {
        pfLogLine(pfTraceLine(overhead, exitFlag));
    } catch (...) {
    }
}

std::string unbalancedLeaveMessage(const std::string& module, const std::string& procedure) {
    const std::string crlf = "\r\n";
    return pfText(19) + "\t" + module + crlf + pfText(30) + "\t" + procedure + crlf + crlf + pfText(48) + crlf +
           crlf + pfText(49) + crlf + crlf + pfText(50) + crlf + pfText(51);
}

// A leave that does not match the top frame abandons the whole stack.
void unbalancedLeave(const std::string& module, const std::string& procedure) {
    traceStack().traceDepth = 0;
    if (!runtime().inDevEnvironment) return;
    ErrorLevel& level0 = errorRecord().levels[0];
    const bool errorPassedUp = level0.module.find(" << ") != std::string::npos &&
                               level0.procedure.find(" << ") != std::string::npos;
    if (!errorPassedUp) {
        const int answer = ui().messageBox(unbalancedLeaveMessage(module, procedure), kOkCancel | kExclamation,
                                           pfText(53));
        if (answer == kResultOk) platform::breakIntoDebugger();
    }
    level0.module.clear();
    level0.procedure.clear();
}

}  // namespace

void waitWhileBusy() {
    while (runtime().busy) ui().processEvents();
}

void wlPUSH(const std::string& module, const std::string& procedure, const std::string& arguments) {
    RuntimeState& state = runtime();
    if (!state.runtimeStarted) wlSTART();
    TraceStack& stack = traceStack();
    if (stack.lineCounter == 0 && state.monitorPresent) startOverheadProbe(stack);

    // From here on a failing step is skipped.
    try {
        waitWhileBusy();
    } catch (...) {
    }
    if (stack.traceDepth < INT16_MAX) ++stack.traceDepth;
    const int level = stack.traceDepth;
    const bool tracing = tracingOn(state);
    if (level <= kMaxTraceLevel) {
        try {
            stack.storeFrame(level, module, procedure, arguments);
        } catch (...) {
        }
        if (tracing) {
            stack.frameCodePointer(level) = 0;
            ++stack.lineCounter;
            traceTopFrame(stack.entryOverhead, 0);
        }
    } else if (tracing) {
        ++stack.lineCounter;  // deeper than the stack: the sequence numbers get a gap
    }
    finishOverheadProbe(stack, stack.entryOverhead);
}

void wlPOP(const std::string& module, const std::string& procedure, const std::string& /*arguments*/) {
    RuntimeState& state = runtime();
    TraceStack& stack = traceStack();
    if (stack.lineCounter == 1 && state.monitorPresent) startOverheadProbe(stack);

    try {
        waitWhileBusy();
    } catch (...) {
    }
    const int level = stack.traceDepth;
    const bool tracing = tracingOn(state);
    if (level > kMaxTraceLevel) {
        if (tracing) ++stack.lineCounter;
        --stack.traceDepth;
    } else if (level > 0 && stack.frameContains(level, module, procedure)) {
        if (tracing) {
            ++stack.lineCounter;
            traceTopFrame(stack.exitOverhead, -1);
        }
        stack.clearFrame(level);
        --stack.traceDepth;
    } else {
        try {
            unbalancedLeave(module, procedure);
        } catch (...) {
        }
    }
    finishOverheadProbe(stack, stack.exitOverhead);
}

}  // namespace wardline
