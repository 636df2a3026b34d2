#include "errortrap/core/runtime.h"

namespace wardline {

namespace {

// The process's own runtime: made before main runs and never destroyed, so that procedures
// may still enter and leave while the program ends. From here on the platform's services in
// use are the current runtime's.
union ProcessRuntime {
    ProcessRuntime() : runtime() {
        platform::findServicesWith([]() -> platform::Services& { return currentRuntime().platform(); });
    }
    ~ProcessRuntime() {}
    Runtime runtime;
};
ProcessRuntime processRuntime;

}  // namespace

namespace detail {

constinit Runtime* current = &processRuntime.runtime;

}  // namespace detail

Runtime::Runtime() = default;

Runtime::Runtime(platform::AppIdentity identity) { platform_.identity = std::move(identity); }

Runtime::~Runtime() {
    if (detail::current == this) makeCurrent(nullptr);
}

Runtime* makeCurrent(Runtime* runtime) {
    if (!runtime) runtime = &processRuntime.runtime;
    Runtime* const before = detail::current;
    detail::current = runtime;
    return before;
}

void waitWhileBusy(Runtime& runtime) {
    // A clock tick goes on at once (error_record.h).
    while (runtime.state().busy && runtime.handlersInProgress().clockTicks == 0) runtime.ui().processEvents();
}

}  // namespace wardline
