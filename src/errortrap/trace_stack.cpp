#include "errortrap/trace_stack.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "errortrap/runtime.h"
#include "errortrap/runtime_texts.h"
#include "errortrap/startup.h"
#include "platform/clock.h"
#include "platform/debugger.h"

namespace wardline {

namespace {

// Byte equality of two texts. The names compared on every enter and leave are short, so
// they are compared a few machine words at a time, the last word overlapping the one
// before it where the length is not a multiple of the word; a library call per name
// would cost more than the compare itself.
template <typename Word>
[[gnu::always_inline]] inline Word wordDifference(const char* p, const char* q, std::size_t offset) {
    Word x, y;
    std::memcpy(&x, p + offset, sizeof x);
    std::memcpy(&y, q + offset, sizeof y);
    return x ^ y;
}

// The bytes of two texts of the same `size` XOR-ed together, folded to one word: 0 when
// the texts are equal.
[[gnu::always_inline]] inline uint64_t textDifference(const char* p, const char* q, std::size_t size) {
    // Most common first: module names (8 to 16 characters), then procedure names (17 to 32).
    if (size - 8 <= 8) return wordDifference<uint64_t>(p, q, 0) | wordDifference<uint64_t>(p, q, size - 8);
    if (size - 17 <= 15)
        return wordDifference<uint64_t>(p, q, 0) | wordDifference<uint64_t>(p, q, 8) |
               wordDifference<uint64_t>(p, q, size - 16) | wordDifference<uint64_t>(p, q, size - 8);
    if (size == 0) return 0;
    if (size >= 4 && size < 8)
        return wordDifference<uint32_t>(p, q, 0) | wordDifference<uint32_t>(p, q, size - 4);
    if (size >= 2 && size < 4)
        return wordDifference<uint16_t>(p, q, 0) | wordDifference<uint16_t>(p, q, size - 2);
    if (size == 1) return wordDifference<uint8_t>(p, q, 0);
    uint64_t difference = 0;
    for (std::size_t i = 0; i < size - 8; i += 8) difference |= wordDifference<uint64_t>(p, q, i);
    return difference | wordDifference<uint64_t>(p, q, size - 8);
}

[[gnu::always_inline]] inline bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && textDifference(a.data(), b.data(), a.size()) == 0;
}

// The same test for two pairs (or three) of texts at once, with one branch on the result.
[[gnu::always_inline]] inline bool sameTexts(std::string_view a1, std::string_view b1,
                                             std::string_view a2, std::string_view b2) {
    return a1.size() == b1.size() && a2.size() == b2.size() &&
           (textDifference(a1.data(), b1.data(), a1.size()) |
            textDifference(a2.data(), b2.data(), a2.size())) == 0;
}

[[gnu::always_inline]] inline bool sameTexts(std::string_view a1, std::string_view b1,
                                             std::string_view a2, std::string_view b2,
                                             std::string_view a3, std::string_view b3) {
    return a1.size() == b1.size() && a2.size() == b2.size() && a3.size() == b3.size() &&
           (textDifference(a1.data(), b1.data(), a1.size()) |
            textDifference(a2.data(), b2.data(), a2.size()) |
            textDifference(a3.data(), b3.data(), a3.size())) == 0;
}

[[gnu::always_inline]] inline void keepText(std::string& kept, std::string_view text) {
    if (!sameText(kept, text)) [[unlikely]]
        kept = text;
}

// Copying only what differs keeps the common case (the same procedure entering again at
// the same level) to three short compares, with no copy and no allocation.
template <typename Frame, typename Kind>
[[gnu::always_inline]] inline void keepParts(Frame& f, Kind parts, std::string_view module,
                                             std::string_view procedure, std::string_view arguments) {
    keepText(f.module, module);
    keepText(f.procedure, procedure);
    keepText(f.arguments, arguments);
    f.kind = parts;
}

// The copying half of keepParts, kept out of the enter fast path.
template <typename Frame, typename Kind>
[[gnu::noinline]] void storeFrameParts(Frame& f, Kind parts, std::string_view module,
                                       std::string_view procedure, std::string_view arguments) {
    try {
        keepParts(f, parts, module, procedure, arguments);
    } catch (...) {  // out of memory for a longer name: the frame keeps what it had
    }
}

// The usual balanced leave: the frame holds exactly these names.
template <typename Frame, typename Kind>
[[gnu::always_inline]] inline bool holdsExactly(const Frame& f, Kind parts, std::string_view module,
                                                std::string_view procedure) {
    return f.kind == parts && sameTexts(f.procedure, procedure, f.module, module);
}

}  // namespace

void TraceStack::throwNoFrame(int level) {
    throw std::out_of_range("trace stack level " + std::to_string(level));
}

std::string TraceStack::frameBody(int level) const {
    const Frame& f = frameAt(level);
    switch (f.kind) {
        case Kind::Empty:
            return {};
        case Kind::Literal:
            return f.literal;
        case Kind::Parts:
            break;
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(level) + f.module.size() + f.procedure.size() + f.arguments.size() +
                 8);
    text.append(static_cast<std::size_t>(level > 0 ? level - 1 : 0), '\t');
    text.append(f.module).append(" : ").append(f.procedure).append(" : ").append(f.arguments);
    return text;
}

std::string TraceStack::frameText(int level) const {
    if (frameAt(level).kind != Kind::Parts) return frameBody(level);
    return std::to_string(level) + " : " + frameBody(level);
}

void TraceStack::setFrameText(int level, std::string text) {
    Frame& f = frameAt(level);
    f.kind = text.empty() ? Kind::Empty : Kind::Literal;
    f.literal = std::move(text);
}

void TraceStack::storeFrame(int level, std::string_view module, std::string_view procedure,
                            std::string_view arguments) {
    keepParts(frameAt(level), Kind::Parts, module, procedure, arguments);
}

void TraceStack::clearFrame(int level) {
    Frame& f = frameAt(level);
    f.kind = Kind::Empty;
    f.codePointer = 0;
}

bool TraceStack::frameContains(int level, std::string_view module, std::string_view procedure) const {
    const Frame& f = frameAt(level);
    if (holdsExactly(f, Kind::Parts, module, procedure)) return true;
    if (f.kind == Kind::Empty) return false;
    std::string wanted;
    wanted.append(module).append(" : ").append(procedure);
    return frameText(level).find(wanted) != std::string::npos;
}

bool TraceStack::frameNames(int level, FrameNames& names) const noexcept {
    const Frame* f = const_cast<TraceStack*>(this)->findFrame(level);
    if (!f || f->kind != Kind::Parts) return false;
    names = {f->module, f->procedure, f->arguments};
    return true;
}

void TraceStack::reset() {
    traceDepth = 0;
    lineCounter = 0;
    entryOverhead = 0;
    exitOverhead = 0;
    overheadProbe = 0;
    frames_ = std::make_unique<Frame[]>(kMaxTraceLevel + 1);
}

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

void waitWhileBusyIgnoringFailures() {
    try {
        waitWhileBusy();
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
    return level0.module.find(" << ") != std::string::npos &&
           level0.procedure.find(" << ") != std::string::npos;
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
[[gnu::noinline]] void enterEveryStep(Runtime& runtime, std::string_view module,
                                      std::string_view procedure, std::string_view arguments) {
    RuntimeState& state = runtime.state();
    if (!state.runtimeStarted) [[unlikely]]
        startRuntime(runtime);
    TraceStack& stack = runtime.traceStack();
    if (stack.lineCounter == 0 && state.monitorPresent) [[unlikely]]
        startOverheadProbe(stack);

    // From here on a failing step is skipped and the next one runs.
    if (state.busy) [[unlikely]]
        waitWhileBusyIgnoringFailures();
    if (stack.traceDepth < std::numeric_limits<int16_t>::max()) ++stack.traceDepth;
    const int level = stack.traceDepth;
    const bool tracing = tracingOn(state);
    if (level <= kMaxTraceLevel) {
        try {
            stack.storeFrame(level, module, procedure, arguments);
        } catch (...) {  // no frame, or out of memory for a longer name: the frame keeps what it had
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
[[gnu::noinline]] void leaveEveryStep(Runtime& runtime, std::string_view module,
                                      std::string_view procedure) {
    RuntimeState& state = runtime.state();
    TraceStack& stack = runtime.traceStack();
    if (stack.lineCounter == 1 && state.monitorPresent) [[unlikely]]
        startOverheadProbe(stack);

    // From here on a failing step is skipped and the next one runs.
    if (state.busy) [[unlikely]]
        waitWhileBusyIgnoringFailures();
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

// While the runtime is started and idle, with no sink on and no probe running, enter and
// leave do nothing but keep the stack; these paths do just that, with the same outcome
// as the full steps, and hand every other case to them.
[[gnu::always_inline]] inline bool onlyKeepingTheStack(const RuntimeState& state, const TraceStack& stack) {
    return state.runtimeStarted && !state.busy && !tracingOn(state) && stack.overheadProbe == 0;
}

}  // namespace

struct EnterLeave {
    [[gnu::always_inline]] static void enter(Runtime& runtime, std::string_view module,
                                             std::string_view procedure, std::string_view arguments) {
        TraceStack& stack = runtime.traceStack();
        TraceStack::Frame* frames = stack.frames_.get();
        const int depth = stack.traceDepth;
        if (onlyKeepingTheStack(runtime.state(), stack) && frames && depth < kMaxTraceLevel) [[likely]] {
            TraceStack::Frame& frame = frames[depth + 1];
            stack.traceDepth = static_cast<int16_t>(depth + 1);
            // A left frame keeps its parts, so the same procedure entering again at the same
            // level finds them in place. Procedures mostly pass no argument text, which spares
            // its compare.
            const bool same = arguments.empty() && frame.arguments.empty()
                                  ? sameTexts(frame.module, module, frame.procedure, procedure)
                                  : sameTexts(frame.module, module, frame.procedure, procedure,
                                              frame.arguments, arguments);
            if (same) [[likely]] {
                frame.kind = TraceStack::Kind::Parts;
                return;
            }
            storeFrameParts(frame, TraceStack::Kind::Parts, module, procedure, arguments);
            return;
        }
        enterEveryStep(runtime, module, procedure, arguments);
    }

    [[gnu::always_inline]] static void leave(Runtime& runtime, std::string_view module,
                                             std::string_view procedure) {
        TraceStack& stack = runtime.traceStack();
        TraceStack::Frame* frames = stack.frames_.get();
        const int depth = stack.traceDepth;
        // Levels 1 to 1000 hold a frame; level 0 never matches a procedure.
        const bool holdsAFrame = frames && static_cast<unsigned>(depth - 1) < kMaxTraceLevel;
        if (onlyKeepingTheStack(runtime.state(), stack) && holdsAFrame) [[likely]] {
            TraceStack::Frame& frame = frames[depth];
            if (holdsExactly(frame, TraceStack::Kind::Parts, module, procedure)) [[likely]] {
                frame.kind = TraceStack::Kind::Empty;
                frame.codePointer = 0;
                stack.traceDepth = static_cast<int16_t>(depth - 1);
                return;
            }
        }
        leaveEveryStep(runtime, module, procedure);
    }
};

void wlPUSH(std::string_view module, std::string_view procedure, std::string_view arguments) {
    EnterLeave::enter(currentRuntime(), module, procedure, arguments);
}

void wlPOP(std::string_view module, std::string_view procedure, std::string_view /*arguments*/) {
    EnterLeave::leave(currentRuntime(), module, procedure);
}

}  // namespace wardline
