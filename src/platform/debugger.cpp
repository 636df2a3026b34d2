#include "platform/debugger.h"

#include <csignal>
#include <fstream>
#include <string_view>

namespace platform {

std::string tracerProgramName(const std::string& procRoot) {
    std::ifstream status(procRoot + "/self/status");
    std::string line;
    constexpr std::string_view kKey = "TracerPid:";
    while (std::getline(status, line)) {
        if (line.compare(0, kKey.size(), kKey) != 0) continue;
        const std::string pid = line.substr(line.find_first_not_of(" \t", kKey.size()) == std::string::npos
                                                ? line.size()
                                                : line.find_first_not_of(" \t", kKey.size()));
        if (pid.empty() || pid == "0") return {};
        std::ifstream comm(procRoot + "/" + pid + "/comm");
        std::string name;
        std::getline(comm, name);
        return name;
    }
    return {};
}

void breakIntoDebugger() { std::raise(SIGTRAP); }

}  // namespace platform
