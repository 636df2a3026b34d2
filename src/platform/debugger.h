#pragma once
// The development environment on this platform is a debugger attached to the process.
#include <string>

namespace platform {

// True when the process runs inside the development environment: traced by a program
// whose executable name is exactly gdb, lldb or lldb-server. The tracer is the one the
// services in use name (services.h), else the one /proc names.
bool inDevelopmentDebugger();

// Stops at a break point of the attached debugger (raises SIGTRAP); does nothing when no
// debugger is attached.
void breakIntoDebugger();

}  // namespace platform
