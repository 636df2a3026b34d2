#include "timetable/status_report.h"

#include "errortrap/core/runtime.h"
#include "platform/error_texts.h"
#include "platform/runtime_error.h"
#include "timetable/run_history.h"
#include "timetable/run_text.h"
#include "timetable/scheduler.h"
#include "timetable/settings_file.h"

namespace morrowset {

namespace {

// What keeps runs from being recorded or rows from running, one line each.
std::string scheduleProblems(const Scheduler& scheduler, const std::string& settings) {
    std::string problems;
    if (const std::string why = RunHistory::distrusted(scheduler.appFolder()); !why.empty())
        problems += why + ": starts are not recorded and catch-up is off\n";
    if (!scheduler.history().problem().empty()) problems += scheduler.history().problem() + "\n";
    for (int row = 0; row < Scheduler::kRows; ++row)
        for (const std::string& message : scheduler.timetable().row(row).rules.messages(row))
            problems += settings + ": " + message + "\n";
    return problems;
}

}  // namespace

StatusReport statusReport(Scheduler& scheduler, platform::WallTime now) {
    StatusReport report;
    const std::string settings = settings::filePath(scheduler.appFolder());
    // Before the first Save there is nothing to read, and nothing is wrong.
    if (!settings::exists(settings)) report.problem = settings + ": no timetable saved yet\n";
    try {
        scheduler.readSettings();
    } catch (const platform::RuntimeError& error) {
        report.problem = settings + ": error " + std::to_string(error.number()) + " (" +
                         platform::standardErrorText(error.number()) + ")\n";
    }
    report.problem += scheduleProblems(scheduler, settings);
    scheduler.restoreLastRuns();
    report.table = runtext::statusTable(scheduler.timetable(), now);
    return report;
}

StatusReport runningStatusReport(const Scheduler& scheduler, platform::WallTime now) {
    runtext::LiveState live{scheduler.paused(), {}};
    for (int row = 0; row < Scheduler::kRows; ++row)
        live.changed[static_cast<std::size_t>(row)] = scheduler.timetable().changedSinceSave(row);
    return {runtext::statusTable(scheduler.timetable(), now, live),
            scheduleProblems(scheduler, settings::filePath(scheduler.appFolder()))};
}

StatusReport statusReport(const std::string& appFolder, platform::WallTime now) {
    platform::ChildWatcher& watcher = platform::processWatcher();
    Scheduler scheduler(appFolder, watcher, Launcher::startWith(watcher), wardline::currentRuntime());
    return statusReport(scheduler, now);
}

}  // namespace morrowset
