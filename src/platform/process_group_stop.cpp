#include "platform/process_group_stop.h"

#include <signal.h>

#include <QTimer>

#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace platform {
namespace {

// When process `pid` started (in clock ticks since boot, /proc/<pid>/stat field 22): with
// the id it tells one process from a later one that got the same id. None when no process
// has the id.
std::optional<uint64_t> startTimeOf(int pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(file, stat)) return std::nullopt;
    // The name in parentheses may hold blanks and parentheses: count fields after the last ')'.
    const std::size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(nameEnd + 1));
    constexpr int kFieldsBeforeStartTime = 19;  // fields 3 (state) to 21
    std::string skipped;
    for (int i = 0; i < kFieldsBeforeStartTime; ++i) fields >> skipped;
    uint64_t startTime = 0;
    if (!(fields >> startTime)) return std::nullopt;
    return startTime;
}

// Kills what is left of the group, unless its id now leads another group: the leader seen
// at the stop (or none then) is no longer the process with that id.
void killLeftovers(int groupId, std::optional<uint64_t> leaderStart) {
    const std::optional<uint64_t> leaderNow = startTimeOf(groupId);
    if (leaderNow && leaderNow != leaderStart) return;
    ::kill(-groupId, SIGKILL);
}

}  // namespace

bool stopProcessGroup(int groupId, std::chrono::milliseconds grace) {
    if (groupId <= 1) return false;
    const std::optional<uint64_t> leaderStart = startTimeOf(groupId);
    if (::kill(-groupId, SIGTERM) != 0) return false;
    ::kill(-groupId, SIGCONT);
    QTimer::singleShot(grace, [groupId, leaderStart] { killLeftovers(groupId, leaderStart); });
    return true;
}

}  // namespace platform
