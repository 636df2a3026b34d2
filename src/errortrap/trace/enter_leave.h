#pragma once
// Enter and leave: every instrumented procedure enters with wlPUSH and leaves with wlPOP
// (procedure.h does both). They work on the current runtime's trace stack and, while
// tracing is on, write a trace line for each; the first enter starts the runtime.
//
// Both run around every procedure call, so the usual case is written here to be inlined
// where they are called: while the runtime is started and idle with no sink on, enter and
// leave only keep the stack, with the same outcome as the full steps (enter_leave.cpp),
// and they hand every other case to those steps. (An overhead probe runs only within one
// call of the full steps, started while the monitor is present, so it never meets the
// inlined paths.)
#include <cstdint>
#include <string_view>

#include "errortrap/core/runtime.h"
#include "errortrap/core/runtime_state.h"
#include "errortrap/core/trace_stack.h"

namespace wardline {

namespace detail {
// The enter and leave algorithms step by step, for every case the inlined paths do not cover.
void enterEveryStep(std::string_view module, std::string_view procedure, std::string_view arguments);
void leaveEveryStep(std::string_view module, std::string_view procedure, std::string_view arguments);
}  // namespace detail

// The flags are tested in one go, and the stack's fields are read only after that test:
// the empty asm statement keeps the compiler from reading them earlier, which would leave
// it short of scratch registers around the call of the full steps.
struct EnterLeave {
    [[gnu::always_inline]] static void enter(std::string_view module, std::string_view procedure,
                                             std::string_view arguments) {
        Runtime& runtime = currentRuntime();
        if (quietFlags(runtime.state()) != 0) [[unlikely]]
            return detail::enterEveryStep(module, procedure, arguments);
        asm volatile("" ::: "memory");
        TraceStack& stack = runtime.traceStack();
        TraceStack::Frame* frames = stack.frames_.get();
        const auto depth = static_cast<unsigned>(stack.traceDepth);  // a negative one is out of range too
        if (!frames || depth >= kMaxTraceLevel) [[unlikely]]
            return detail::enterEveryStep(module, procedure, arguments);
        stack.traceDepth = static_cast<int32_t>(depth + 1);
        TraceStack::Frame& frame = frames[depth + 1];
        frame.module = module;
        frame.procedure = procedure;
        frame.arguments = arguments;
        frame.kind = TraceStack::Kind::Parts;
    }

    [[gnu::always_inline]] static void leave(std::string_view module, std::string_view procedure,
                                             std::string_view arguments) {
        Runtime& runtime = currentRuntime();
        if (quietFlags(runtime.state()) != 0) [[unlikely]]
            return detail::leaveEveryStep(module, procedure, arguments);
        asm volatile("" ::: "memory");
        TraceStack& stack = runtime.traceStack();
        TraceStack::Frame* frames = stack.frames_.get();
        const auto depth = static_cast<unsigned>(stack.traceDepth);
        // Levels 1 to 1000 hold a frame; level 0 never matches a procedure.
        if (!frames || depth - 1 >= kMaxTraceLevel) [[unlikely]]
            return detail::leaveEveryStep(module, procedure, arguments);
        TraceStack::Frame& frame = frames[depth];
        // The same names as the enter passed, as procedures do: no need to compare the texts
        // (the full steps compare them when the names come from elsewhere).
        if ((frame.kind != TraceStack::Kind::Parts) | !sameView(frame.module, module) |
            !sameView(frame.procedure, procedure)) [[unlikely]]
            return detail::leaveEveryStep(module, procedure, arguments);
        frame.kind = TraceStack::Kind::Empty;
        frame.spare = 0;
        frame.codePointer = 0;
        stack.traceDepth = static_cast<int32_t>(depth - 1);
    }

  private:
    // The same text by where it lies, not by its bytes.
    [[gnu::always_inline]] static bool sameView(std::string_view a, std::string_view b) {
        return ((reinterpret_cast<uintptr_t>(a.data()) ^ reinterpret_cast<uintptr_t>(b.data())) |
                (a.size() ^ b.size())) == 0;
    }
};

inline void wlPUSH(std::string_view module, std::string_view procedure, std::string_view arguments) {
    EnterLeave::enter(module, procedure, arguments);
}

inline void wlPOP(std::string_view module, std::string_view procedure, std::string_view arguments) {
    EnterLeave::leave(module, procedure, arguments);
}

}  // namespace wardline
