#pragma once
// What the window's row icons and `--status` say about a row's runs, in words.
#include <array>
#include <optional>
#include <string>

#include "timetable/row_rules.h"
#include "timetable/run_record.h"
#include "timetable/timetable.h"
#include "platform/clock.h"

namespace morrowset::runtext {

// When the row starts next, seen at `now`: "today 14:00, in 3 h 12 min", "tomorrow 02:30",
// or "not scheduled" for a row that is not checked or lacks a time or a command line.
std::string nextStart(const Timetable::Row& row, platform::WallTime now);
// When a row at `rowSeconds` that obeys `rules` starts next, seen at `now`: as above, and a
// start two days or more ahead by its weekday, "Monday 07:30"; "not scheduled" when the
// rules cannot be read.
std::string nextStart(int32_t rowSeconds, const RowRules& rules, platform::WallTime now);
// What the row's icon says of its next start: the next start with the row's days rule
// ("Monday 07:30 (Mon–Fri 07:30)"), or why there is none ("not scheduled: Days ...").
std::string nextStartWithRules(const Timetable::Row& row, platform::WallTime now);
// The rule a row follows: "Mon–Fri 07:30", "every day 02:30".
std::string scheduleText(int32_t rowSeconds, const RowRules& rules);

// A moment seen at `now`: "today 02:30:05", "yesterday 23:10:00", "2026-12-01 08:00:00".
std::string when(const Stamp& stamp, platform::WallTime now);
// "45 ms", "1.2 s", "3 min 4 s", "2 h 5 min", "3 d 4 h".
std::string duration(int64_t milliseconds);
// How the run stands or ended: "running", "exit status 0", "exit status 3",
// "killed by SIGKILL", "could not start: error 53 (File not found)", "end not seen"; for a
// run Morrowset stopped, why first: "time limit 45 min reached, killed by SIGTERM".
std::string outcome(const RunRecord& run);
// A time limit: "45 min", "1 h 30 min", "90 s" stays "1 min 30 s".
std::string timeLimit(int32_t seconds);
// Why Morrowset stopped the run: "time limit 45 min reached", "asked to stop"; "" when it
// did not.
std::string stopCause(const RunRecord& run);
// For notices and the journal: "Row 2 stopped: time limit 45 min reached"; "" for a run
// Morrowset did not stop.
std::string stoppedText(const RunRecord& run);
// A start skipped, in the one wording the tooltip, `--status` and the History window share:
// "skipped at 08:21: the clock was paused" (the time it was due).
std::string skipped(const RunRecord& run);

// The row icon's tooltip: the last run (when it started, what started it, how long it ran,
// how it ended) and the row's next start.
std::string toolTip(const RunRecord& run, const std::string& nextStart, platform::WallTime now);

// The first start to come among the rows, seen at `now`: "row 2, today 14:00, in 3 h 12 min";
// "" when no row is scheduled.
std::string firstStart(const Timetable& timetable, platform::WallTime now);
// What only the running program knows of its timetable.
struct LiveState {
    bool paused = false;                           // the clock is paused
    std::array<bool, Timetable::kRows> changed{};  // the row was changed since the last Save
};

// `--status`: a heading and one line per row with its last run, columns as wide as their
// widest entry. A time the settings file held that no time box could hold shows as read; a
// run going shows how long it has run, "running 3 min 10 s". With `live`, from the running
// program, a changed row's number has a "*" and a line after the table says what it means;
// while the clock is paused a row that would start shows "paused" and a line says so.
std::string statusTable(const Timetable& timetable, platform::WallTime now,
                        const std::optional<LiveState>& live = std::nullopt);

}  // namespace morrowset::runtext
