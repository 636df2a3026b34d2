#include "timetable/catch_up.h"

#include <algorithm>

#include "timetable/switches.h"

namespace morrowset {

std::vector<int> rowsToCatchUp(const TickSchedule::Rows& rows, platform::WallTime now,
                               const std::vector<DueStart>& startsOfToday) {
    const int32_t currentSecond = now.millisecond / 1000;
    std::vector<int> due;
    for (int row = 0; row < TickSchedule::kRows; ++row) {
        const TickSchedule::Row& r = rows[static_cast<std::size_t>(row)];
        // The current second is the clock tick's; later ones have not come yet.
        if (!r.enabled || r.seconds < 0 || r.seconds >= currentSecond || !r.runsOn(now.day)) continue;
        const bool started = std::any_of(startsOfToday.begin(), startsOfToday.end(), [&](const DueStart& start) {
            return start.row == row && start.dueSeconds == r.seconds;
        });
        if (!started) due.push_back(row);
    }
    return due;
}

bool catchUpWanted(const std::string& preferencesPath) { return switches::isOn(preferencesPath, switches::kCatchUp); }

}  // namespace morrowset
