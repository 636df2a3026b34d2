#include "timetable/launcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>

#include "timetable/run_output.h"
#include "platform/file_errors.h"
#include "platform/process_group_stop.h"
#include "platform/process_start.h"
#include "platform/runtime_error.h"

namespace morrowset {

namespace {

// Where a program's output goes when no output file can be had.
int nullOutput() { return ::open("/dev/null", O_WRONLY | O_CLOEXEC); }

}  // namespace

Launcher::StartProgram Launcher::startWith(platform::ChildWatcher& watcher) {
    return [&watcher](std::string_view commandLine, const std::string& folder, int outputFd,
                      platform::OnChildEnd onEnd) {
        return platform::launchProcess(commandLine, outputFd, folder, std::move(onEnd), &watcher);
    };
}

Launcher::Launcher(std::string appFolder, platform::ChildWatcher& watcher, StartProgram startProgram)
    : appFolder_(std::move(appFolder)), watcher_(watcher), startProgram_(std::move(startProgram)) {}

// The children are still reaped when they end; nobody hears of it.
Launcher::~Launcher() {
    for (const auto& [pid, running] : running_) watcher_.watch(pid);
}

// "20261211T013000.012Z-<our pid>-<n>", the start in UTC: unique, and in the order of the
// starts also when the clocks go back.
std::string Launcher::newRunId(const Stamp& started) {
    const Stamp utc{platform::WallTime::atPosition(started.local.position() - int64_t{started.utcOffsetSeconds} * 1000), 0};
    const std::string iso = isoText(utc);  // 2026-12-11T01:30:00.012+00:00
    std::string compact;
    for (const char c : iso.substr(0, 23))
        if (c != '-' && c != ':') compact += c;
    char sequence[16];
    std::snprintf(sequence, sizeof sequence, "%06d", ++sequence_);
    return compact + "Z-" + std::to_string(::getpid()) + "-" + sequence;
}

template <typename Event>
void Launcher::tell(Event event, const RunRecord& run) {
    const std::vector<RunObserver*> observers = observers_;
    for (RunObserver* observer : observers) (observer->*event)(run);
}

RunRecord Launcher::recordOf(const RunRequest& request) {
    RunRecord run;
    run.row = request.row;
    run.command = request.commandLine;
    run.trigger = request.trigger;
    if (request.due) run.due = stampOf(*request.due);
    run.started = stampNow();
    run.id = newRunId(run.started);
    return run;
}

void Launcher::skip(const RunRequest& request, std::string reason) {
    RunRecord run = recordOf(request);
    run.skipped = std::move(reason);
    tell(&RunObserver::runSkipped, run);
}

void Launcher::start(const RunRequest& request) {
    RunRecord run = recordOf(request);
    run.output = runs::fileName(run.row, run.id);
    int output = runs::create(appFolder_, run.output);
    if (output < 0) {
        run.output.clear();
        output = nullOutput();
    }
    const int64_t startedMs = platform::monotonicMilliseconds();
    try {
        // Not even /dev/null could be had (no descriptor left): the program would write
        // into ours, so it does not start.
        if (output < 0) platform::raiseError(platform::errorNumberForErrno(errno));
        run.pid = startProgram_(run.command, request.folder, output,
                                [this](const platform::ChildEnd& end) { ended(end.pid, end); });
    } catch (...) {
        if (output >= 0) ::close(output);
        if (!run.output.empty()) runs::remove(appFolder_, run.output);
        run.output.clear();
        run.error = platform::errorInfoFor(std::current_exception()).number;
        tell(&RunObserver::runRefused, run);
        throw;
    }
    if (output >= 0) ::close(output);
    runs::keepNewest(appFolder_, run.row);
    running_[run.pid] = {run, startedMs};
    tell(&RunObserver::runStarted, run);
}

bool Launcher::runningIn(int row) const {
    return std::any_of(running_.begin(), running_.end(), [row](const auto& entry) { return entry.second.run.row == row; });
}

bool Launcher::isRunning(const std::string& runId) const {
    return std::any_of(running_.begin(), running_.end(),
                       [&runId](const auto& entry) { return entry.second.run.id == runId; });
}

bool Launcher::stop(int row) {
    bool stopped = false;
    for (const auto& [pid, running] : running_)
        if (running.run.row == row) stopped = platform::stopProcessGroup(pid) || stopped;
    return stopped;
}

void Launcher::ended(int pid, const platform::ChildEnd& end) {
    const auto found = running_.find(pid);
    if (found == running_.end()) return;
    Running finished = std::move(found->second);
    running_.erase(found);
    RunRecord& run = finished.run;
    run.ended = stampNow();
    run.durationMs = std::max<int64_t>(0, end.monotonicMs - finished.startedMonotonicMs);
    if (end.exitStatus >= 0) run.exitStatus = end.exitStatus;
    run.signal = end.signal;
    if (!run.output.empty()) runs::cutToLast(appFolder_, run.output);
    tell(&RunObserver::runEnded, run);
}

}  // namespace morrowset
