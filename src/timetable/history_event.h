#pragma once
// One line of the run history (run_history.h) read back as an event of a run, and besides
// the runs' events the start a row skipped while the clock was paused, with the keys of a
// start or at least these:
//   {"event":"skipped","row":2,"due":"2026-12-11T08:21:00+01:00","time":"...","reason":"paused"}
#include <optional>
#include <string>
#include <string_view>

#include "timetable/run_record.h"

namespace morrowset {

struct HistoryEvent {
    enum class Kind { Start, End, Refused, Skipped };
    Kind kind = Kind::Start;
    // What the line says of its run. The event's time is `started` on a start, a refused
    // or a skipped start, and `ended` on an end (whose `started` is then worked out from
    // its duration). A skipped start has no pid, may have no id or command, and has its
    // reason in `skipped` ("paused").
    RunRecord run;
};

// The event on `line` (without its line end); none for a damaged line (cut, garbage, a row
// out of range, a time that cannot be read) and for a line that is no such event.
std::optional<HistoryEvent> readHistoryEvent(std::string_view line);

// Gives `run` the end that `end` (an end event's run) tells.
void takeEnd(RunRecord& run, const RunRecord& end);

}  // namespace morrowset
