#include "platform/debugger.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <fstream>
#include <string_view>

#include "platform/services.h"

namespace platform {

namespace {

// Name of the program tracing this process (from TracerPid in /proc/self/status), or ""
// when none is.
std::string tracerProgramName() {
    std::ifstream status("/proc/self/status");
    std::string line;
    constexpr std::string_view kKey = "TracerPid:";
    while (std::getline(status, line)) {
        if (line.compare(0, kKey.size(), kKey) != 0) continue;
        const std::string pid = line.substr(line.find_first_not_of(" \t", kKey.size()) == std::string::npos
                                                ? line.size()
                                                : line.find_first_not_of(" \t", kKey.size()));
        if (pid.empty() || pid == "0") return {};
        std::ifstream comm("/proc/" + pid + "/comm");
        std::string name;
        std::getline(comm, name);
        return name;
    }
    return {};
}

constexpr std::array<std::string_view, 3> kDevelopmentDebuggers = {"gdb", "lldb", "lldb-server"};

}  // namespace

bool inDevelopmentDebugger() {
    const std::optional<std::string>& given = services().tracerName;
    const std::string tracer = given ? *given : tracerProgramName();
    return std::find(kDevelopmentDebuggers.begin(), kDevelopmentDebuggers.end(), tracer) != kDevelopmentDebuggers.end();
}

void breakIntoDebugger() {
    // Without a debugger to catch it, SIGTRAP would end the program; then there is no
    // break point to stop at and the program simply goes on.
    if (!tracerProgramName().empty()) std::raise(SIGTRAP);
}

}  // namespace platform
