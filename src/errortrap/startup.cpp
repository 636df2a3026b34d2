#include "errortrap/startup.h"

#include "errortrap/runtime_state.h"
#include "errortrap/trace_stack.h"
#include "errortrap/wardline.h"
#include "platform/app_object.h"
#include "platform/clock.h"
#include "platform/formatting.h"
#include "platform/runtime_error.h"

namespace wardline {

std::string pfIniName() { return "WLCLIENT.INI"; }

void wlSTART() {
    RuntimeState& state = runtime();
    if (state.runtimeStarted) return;
    TraceStack& stack = traceStack();
    stack.reset();
    state.runtimeStarted = true;
    const std::tm now = platform::localNow();
    stack.setFrameText(0, pfText(32) + " <" + platform::formatDate(now) + ", " + platform::formatTime(now) + ">");
    state.exePrefix = "[" + platform::app().exeName() + "] ";
    stack.frameTime(0) = platform::monotonicFixedMilliseconds();
    state.localSourceName = platform::projectName();
}

}  // namespace wardline
