#pragma once
// `Morrowset --status`: what each row is set to and what became of its last run, one line
// per row under a heading, the way a list of system timers reads. The rows are read by the
// scheduler's own load of the settings file (run plainly: nothing is traced or reported),
// so the table shows what the window shows; it needs no display. Asked of the running
// program, the table is its scheduler's as it stands.
#include <string>

#include "platform/clock.h"

namespace morrowset {

class Scheduler;

struct StatusReport {
    std::string table;    // the heading and six lines
    std::string problem;  // a line saying why the settings file was not read whole, or ""
};

// Reads the settings file and the run history into `scheduler` and reports its rows.
StatusReport statusReport(Scheduler& scheduler, platform::WallTime now);
// The same for the application folder `appFolder`, with a scheduler of its own.
StatusReport statusReport(const std::string& appFolder, platform::WallTime now);
// The running program's `scheduler` as it is, reading nothing: its rows with the edits not
// saved yet (marked), its pause, its runs going and its problems now.
StatusReport runningStatusReport(const Scheduler& scheduler, platform::WallTime now);

}  // namespace morrowset
