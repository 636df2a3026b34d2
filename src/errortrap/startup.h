#pragma once
// One-time start-up of the runtime, run by the first enter or the first error handler call.
#include <string>

namespace wardline {

class Runtime;

// Starts `runtime` unless it has started: reads the preferences, opens the trace sinks and
// writes the program-start line.
void startRuntime(Runtime& runtime);
// The preferences file's name, looked for in the application folder.
std::string pfIniName();

}  // namespace wardline
