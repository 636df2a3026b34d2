#include "timetable/status_report.h"

#include "timetable/run_history.h"
#include "timetable/run_text.h"
#include "timetable/settings_file.h"
#include "timetable/timetable.h"
#include "platform/error_texts.h"
#include "platform/runtime_error.h"

namespace morrowset {

StatusReport statusReport(const std::string& appFolder, platform::WallTime now) {
    StatusReport report;
    Timetable timetable;
    const std::string settings = settings::filePath(appFolder);
    try {
        timetable.load(settings);
    } catch (const platform::RuntimeError& error) {
        report.problem = settings + ": error " + std::to_string(error.number()) + " (" +
                         platform::standardErrorText(error.number()) + ")\n";
    }
    report.table = runtext::statusTable(timetable, RunHistory::lastRuns(appFolder), now);
    return report;
}

}  // namespace morrowset
