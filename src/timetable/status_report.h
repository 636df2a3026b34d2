#pragma once
// `Morrowset --status`: what each row is set to and what became of its last run, one line
// per row under a heading, the way a list of system timers reads. It reads the settings
// file and the run history of the application folder, and needs no display.
#include <string>

#include "platform/clock.h"

namespace morrowset {

struct StatusReport {
    std::string table;    // the heading and six lines
    std::string problem;  // a line saying why the settings file was not read whole, or ""
};

StatusReport statusReport(const std::string& appFolder, platform::WallTime now);

}  // namespace morrowset
