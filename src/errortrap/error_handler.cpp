#include "errortrap/runtime_state.h"
#include "errortrap/startup.h"
#include "errortrap/wardline.h"

namespace wardline {

int16_t wlERROR(const std::string& /*module*/, const std::string& /*procedure*/) {
    if (!runtime().runtimeStarted) wlSTART();
    runtime().busy = false;
    return 0;
}

}  // namespace wardline
