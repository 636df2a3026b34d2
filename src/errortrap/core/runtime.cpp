#include "errortrap/core/runtime.h"

namespace wardline {

namespace {

// The process's own runtime: made before main runs and never destroyed, so that procedures
// may still enter and leave while the program ends. Its platform services are the set in
// use until another runtime is made current.
union ProcessRuntime {
    ProcessRuntime() : runtime() { platform::useServices(&runtime.platform()); }
    ~ProcessRuntime() {}
    Runtime runtime;
};
ProcessRuntime processRuntime;

}  // namespace

namespace detail {

constinit Runtime* current = &processRuntime.runtime;

}  // namespace detail

Runtime::Runtime()
    : sinks_(state_, [this](const std::string& path) { circularLogCannotOpen(path); },
             {[this](bool enabled) { ui().setVisibleWindowsEnabled(enabled); },
              [this] { ui().processEvents(); }}) {}

Runtime::~Runtime() {
    if (detail::current == this) makeCurrent(nullptr);
}

void Runtime::circularLogCannotOpen(const std::string& path) {
    if (state_.inDevEnvironment) ui().messageBox("Could not open circular log file " + path, kCritical, "");
}

Runtime* makeCurrent(Runtime* runtime) {
    if (!runtime) runtime = &processRuntime.runtime;
    Runtime* const before = detail::current;
    detail::current = runtime;
    platform::useServices(&runtime->platform());
    return before;
}

void waitWhileBusy() {
    Runtime& runtime = currentRuntime();
    // A clock tick goes on at once (error_record.h).
    while (runtime.state().busy && runtime.handlersInProgress().clockTicks == 0) runtime.ui().processEvents();
}

}  // namespace wardline
