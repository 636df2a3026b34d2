#pragma once
// Starts missed while Morrowset was not running ("Catch up missed starts", off unless
// [timetable] "Catch Up" is 1 in WLCLIENT.INI). At start, every row that may run and whose
// time already passed earlier on the current local date, and for which the run history
// holds no start of that date for that time, starts once, in row order. Only the current
// date counts, never days back; a row at 24:00 belongs to the end of its date, which has not
// passed yet.
#include <cstdint>
#include <string>
#include <vector>

#include "timetable/tick_schedule.h"
#include "platform/clock.h"

namespace morrowset {

// A start the history holds for the current date: the row (0 to 5) and the second of the
// day it was due.
struct DueStart {
    int row = 0;
    int32_t dueSeconds = 0;
};

// The rows to start at `now`, in row order.
std::vector<int> rowsToCatchUp(const TickSchedule::Rows& rows, platform::WallTime now,
                               const std::vector<DueStart>& startsOfToday);

// Whether the preferences file asks for catching up: [timetable] "Catch Up" is 1.
bool catchUpWanted(const std::string& preferencesPath);

}  // namespace morrowset
