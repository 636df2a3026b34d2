#pragma once
// The development environment on this platform is a debugger attached to the process.
#include <string>

namespace platform {

// Name of the program tracing this process (from TracerPid in /proc/self/status), or ""
// when none is. `procRoot` lets tests point at a fixture instead of /proc.
std::string tracerProgramName(const std::string& procRoot = "/proc");

// Stops at a break point of the attached debugger (raises SIGTRAP).
void breakIntoDebugger();

}  // namespace platform
