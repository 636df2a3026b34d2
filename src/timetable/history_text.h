#pragma once
// What the History window says of each entry of the run history, column by column.
#include <array>
#include <string>
#include <string_view>

#include "timetable/history_list.h"
#include "platform/clock.h"

namespace morrowset::historytext {

enum class Column { Row, Command, Trigger, Started, Duration, Result };
inline constexpr int kColumns = 6;

// "Row", "Command", "Trigger", "Started", "Duration", "Result".
std::string_view heading(Column column);

// The entry's cell in `column`, seen at `now`: "2", the command line, "clock", "NOW" or
// "catch-up", "today 02:30:00", "1 min 4 s", and how it ended: "exit status 3",
// "running", "no end seen (Morrowset ended before it)", and a skipped start as
// runtext::skipped says it: "skipped at 08:21: the clock was paused".
std::string cell(const HistoryEntry& entry, Column column, platform::WallTime now);

// The entry in two lines, as the output viewer is headed:
// "Row 2: backup --quiet" and "started today 02:30:00 (clock), ran 1 min 4 s: exit status 3".
std::string summary(const HistoryEntry& entry, platform::WallTime now);

}  // namespace morrowset::historytext
