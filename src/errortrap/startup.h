#pragma once
// One-time start-up of the runtime, run by the first enter or the first error handler call.
#include <string>

namespace wardline {

void wlSTART();
// The preferences file's name, looked for in the application folder.
std::string pfIniName();

}  // namespace wardline
