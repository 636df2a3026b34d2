#pragma once
// The runtime: everything one program's error trap works with, in one object. It owns the
// preferences and state, the trace stack, the error record, the trace sinks and the
// services it calls on: the user interface, the procedures' trap handler, and the
// platform's services (where the program lives, the clock, mail, starting programs, the
// registry store, file roots, the current error).
//
// The program makes one runtime with its identity and makes it current. Only the
// instrumentation entry points (wlPUSH, wlPOP, wlERROR, pfText, wardline::Procedure) and
// the accessors below look the current runtime up; what they call takes the runtime as an
// argument. A test makes a fresh runtime, puts its fakes into it and makes that one current
// (tests/support/scoped_runtime.h). Before anything is made current, the process has a
// runtime of its own, with the silent user interface and the real platform services.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "errortrap/core/error_record.h"
#include "errortrap/core/runtime_state.h"
#include "errortrap/core/trace_line_memo.h"
#include "errortrap/core/trace_sink.h"
#include "errortrap/core/trace_stack.h"
#include "errortrap/core/ui_services.h"
#include "platform/services.h"

namespace wardline {

class Procedure;

// What a procedure's trap hands a trapped error to; wlERROR when none is set.
using TrapHandler = std::function<int16_t(const std::string& module, const std::string& procedure)>;

// Aligned so that what enter and leave read (the start of the object) takes two cache lines.
class alignas(64) Runtime {
public:
    // A runtime for the program `identity` names (its main says who it is); without one, a
    // runtime with no name, version or folder of its own (the process's runtime before main).
    explicit Runtime(platform::AppIdentity identity);
    Runtime();
    // A runtime that is current when it ends hands over to the process's own runtime.
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    RuntimeState& state() { return state_; }
    Preferences& prefs() { return state_.prefs; }
    TraceStack& traceStack() { return traceStack_; }
    ErrorRecord& errorRecord() { return errorRecord_; }
    HandlersInProgress& handlersInProgress() { return handlersInProgress_; }
    // The trace sinks, once the trace stage made them (trace/trace_sinks.h: sinksOf), as
    // one sink that hands each line to all of them; nullptr before.
    TraceSink* traceSinks() const { return traceSinks_.get(); }
    void setTraceSinks(std::unique_ptr<TraceSink> sinks) { traceSinks_ = std::move(sinks); }
    TraceLineMemo& traceLineMemo() { return traceLineMemo_; }
    platform::Services& platform() { return platform_; }

    // The user interface; the silent one (ui_services.h) until one is given.
    UiServices& ui() { return ui_ ? *ui_ : silentUi_; }
    void setUi(UiServices* ui) { ui_ = ui; }

    const TrapHandler& trapHandler() const { return trapHandler_; }
    void setTrapHandler(TrapHandler handler) { trapHandler_ = std::move(handler); }

    // The wardline::Procedure running now, innermost first (procedure.cpp links them).
    Procedure* innermostProcedure() const { return innermostProcedure_; }
    void setInnermostProcedure(Procedure* procedure) { innermostProcedure_ = procedure; }

private:
    // The stack and the state first: what enter and leave read sits in the first two cache lines.
    TraceStack traceStack_;
    RuntimeState state_;
    ErrorRecord errorRecord_;
    HandlersInProgress handlersInProgress_;
    platform::Services platform_;
    SilentUi silentUi_;
    UiServices* ui_ = nullptr;
    TrapHandler trapHandler_;
    Procedure* innermostProcedure_ = nullptr;
    TraceLineMemo traceLineMemo_;
    std::unique_ptr<TraceSink> traceSinks_;
};

namespace detail {
// Never null: the process's own runtime until another is made current.
extern constinit Runtime* current;
}  // namespace detail

// The current runtime.
inline Runtime& currentRuntime() { return *detail::current; }

// Makes `runtime` current, its platform services with it, and returns the runtime that was
// current. Passing nullptr returns to the process's own runtime.
Runtime* makeCurrent(Runtime* runtime);

// The parts of the current runtime.
inline RuntimeState& runtime() { return currentRuntime().state(); }
inline TraceStack& traceStack() { return currentRuntime().traceStack(); }
inline ErrorRecord& errorRecord() { return currentRuntime().errorRecord(); }
inline UiServices& ui() { return currentRuntime().ui(); }

// Waits while `runtime`'s busy flag is set, letting pending events run.
void waitWhileBusy(Runtime& runtime);

}  // namespace wardline
