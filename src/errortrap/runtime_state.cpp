#include "errortrap/runtime_state.h"

#include <vector>

#include "errortrap/error_record.h"
#include "errortrap/trace_stack.h"
#include "errortrap/ui_services.h"

namespace wardline {
namespace {

UiServices* installedUi = nullptr;

std::vector<void (*)()>& resetHooks() {
    static std::vector<void (*)()> hooks;
    return hooks;
}

}  // namespace

constinit RuntimeState theRuntimeState;

ErrorRecord& errorRecord() {
    static ErrorRecord record;
    return record;
}

UiServices& ui() {
    static SilentUi silent;
    return installedUi ? *installedUi : silent;
}

void installUi(UiServices* services) { installedUi = services; }

void resetRuntimeForTesting() {
    runtime() = RuntimeState{};
    traceStack().reset();
    errorRecord() = ErrorRecord{};
    for (auto* hook : resetHooks()) hook();
}

RuntimeResetHook::RuntimeResetHook(void (*reset)()) { resetHooks().push_back(reset); }

}  // namespace wardline
