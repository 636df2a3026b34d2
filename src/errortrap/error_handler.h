#pragma once
// The error handler: every instrumented procedure's trap hands its error to wlERROR, which
// records it, reports it (trace line, dialog, error log, mail) and says how to resume.
#include <cstdint>
#include <string>

namespace wardline {

class Runtime;

// Handles the current error, trapped in `procedure` of `module`, with the current runtime.
// The result (the ErrorAction) says how to resume: 1 run the failing statement again,
// 2 continue with the next statement, anything else leave through the exit path.
int16_t wlERROR(const std::string& module, const std::string& procedure);
// The same with `runtime`.
int16_t handleError(Runtime& runtime, const std::string& module, const std::string& procedure);

}  // namespace wardline
