#include "errortrap/trace/procedure.h"

#include <cassert>

#include "errortrap/core/runtime.h"
#include "errortrap/core/trace_stack.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/trace/enter_leave.h"
#include "platform/runtime_error.h"

namespace wardline {
namespace {

int16_t callTrapHandler(const std::string& module, const std::string& procedure) {
    Runtime& runtime = currentRuntime();
    const TrapHandler& handler = runtime.trapHandler();
    return handler ? handler(module, procedure) : handleError(runtime, module, procedure);
}

// Resuming with the next statement relies on the list being in number order.
[[maybe_unused]] bool inNumberOrder(std::span<const Statement> statements) {
    for (std::size_t i = 1; i < statements.size(); ++i)
        if (statements[i - 1].line >= statements[i].line) return false;
    return true;
}

}  // namespace

// Links a procedure into the runtime's running ones for as long as its statements run,
// however they end (an untrapped error unwinds through here).
class RunningProcedure {
public:
    explicit RunningProcedure(Procedure& procedure)
        : procedure_(procedure), runtime_(currentRuntime()) {
        procedure.outer_ = runtime_.innermostProcedure();
        procedure.level_ = runtime_.traceStack().traceDepth;
        runtime_.setInnermostProcedure(&procedure);
    }
    ~RunningProcedure() {
        if (!completed_) keepFrameNames();
        runtime_.setInnermostProcedure(procedure_.outer_);
    }
    RunningProcedure(const RunningProcedure&) = delete;
    RunningProcedure& operator=(const RunningProcedure&) = delete;

    // The statements ran to their end (rather than an error travelling on past them).
    void completed() { completed_ = true; }

private:
    // The trace stack refers to the procedure's names. An error that travels on past the
    // procedure leaves its frame on the stack after the names may have gone, so the frame
    // takes copies of them first. (An error that nothing catches ends the program without
    // unwinding, with the names in place.)
    void keepFrameNames() noexcept {
        try {
            TraceStack& stack = runtime_.traceStack();
            TraceStack::FrameNames names;
            const int level = procedure_.level_;
            if (stack.frameNames(level, names) && names.module.data() == procedure_.module_.data() &&
                names.procedure.data() == procedure_.name_.data())
                stack.keepNames(level);
        } catch (...) {  // out of memory: the frame keeps referring to the names
        }
    }

    Procedure& procedure_;
    Runtime& runtime_;
    bool completed_ = false;
};

int runningStatementLine(const Runtime& runtime, int level) noexcept {
    for (const Procedure* p = runtime.innermostProcedure(); p; p = p->outer_)
        if (p->level_ == level) return p->line_;
    return 0;
}

int16_t Procedure::trap(int line) {
    platform::ErrorInfo error = platform::errorInfoFor(std::current_exception());
    error.line = line;
    platform::currentError() = std::move(error);
    const int16_t action = callTrapHandler(std::string(module_), std::string(name_));
    platform::clearError();
    return action;
}

// Enters the trace stack; false when the procedure is to leave at once.
[[gnu::always_inline]] inline bool Procedure::enter() {
    for (;;) {
        try {
            wlPUSH(module_, name_, arguments_);
            return true;
        } catch (...) {
            const int16_t action = trap(0);
            if (action == kRetry) continue;
            return action == kResumeNext;
        }
    }
}

// Part of run, where its leave is one more inlined path: as a call of its own it saved and
// restored four registers around a leave that costs less than that.
[[gnu::always_inline]] inline void Procedure::exit(int line) {
    for (;;) {
        try {
            wlPOP(module_, name_, arguments_);
            return;
        } catch (...) {
            if (trap(line) != kRetry) return;
        }
    }
}

// Index of the statement that runs after statement `pc` finished with `flow`.
std::size_t Procedure::following(std::span<const Statement> statements, std::size_t pc, Flow flow) {
    switch (flow.kind) {
        case Flow::Kind::Next:
            return pc + 1;
        case Flow::Kind::Leave:
            return statements.size();
        case Flow::Kind::Jump:
            break;
    }
    for (std::size_t i = 0; i < statements.size(); ++i)
        if (statements[i].line == flow.line) return i;
    assert(!"jump to a line the procedure does not have");
    return statements.size();
}

void Procedure::run(std::initializer_list<Statement> list) {
    const std::span<const Statement> statements(list.begin(), list.size());
    assert(inNumberOrder(statements));
    const int exitLine = statements.empty() ? 0 : statements.back().line;
    std::size_t pc = enter() ? 0 : statements.size();
    {
        RunningProcedure running(*this);
        while (pc < statements.size()) {
            Flow flow;
            line_ = statements[pc].line;
            try {
                flow = statements[pc].run();
            } catch (...) {
                const int16_t action = trap(statements[pc].line);
                if (action == kRetry) continue;
                if (action == kResumeNext) {
                    ++pc;
                    continue;
                }
                break;
            }
            // Going on with the next statement is the usual way, and needs no search.
            pc = flow.kind == Flow::Kind::Next ? pc + 1 : following(statements, pc, flow);
        }
        running.completed();
        line_ = exitLine;
    }
    exit(exitLine);
}

void Procedure::runUntrapped(std::initializer_list<Statement> list) {
    const std::span<const Statement> statements(list.begin(), list.size());
    assert(inNumberOrder(statements));
    wlPUSH(module_, name_, arguments_);
    {
        RunningProcedure running(*this);
        std::size_t pc = 0;
        while (pc < statements.size()) {
            line_ = statements[pc].line;
            pc = following(statements, pc, statements[pc].run());
        }
        running.completed();
    }
    wlPOP(module_, name_, arguments_);
}

void Procedure::runPlainly(std::initializer_list<Statement> list) {
    const std::span<const Statement> statements(list.begin(), list.size());
    assert(inNumberOrder(statements));
    for (std::size_t pc = 0; pc < statements.size();) pc = following(statements, pc, statements[pc].run());
}

}  // namespace wardline
