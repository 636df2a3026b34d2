#pragma once
// The run history "history.jsonl" in the application folder: one JSON object per line, one
// line per event of a run, so that other tools can read it:
//   "event"  "start", "end" or "refused"
//   "run"    an id shared by a run's events
//   "row"    1 to 6
//   "command", "trigger" ("clock", "now" or "catch-up")
//   "due"    the second it was due, ISO 8601 local time with offset, or null
//   "time"   when the event happened, ISO 8601 with milliseconds and offset
//   "pid"    null when it could not start
//   on "end":     "duration_ms", "exit_status" (or null), "signal" ("SIGKILL", or null),
//                 "output" (the output file's name in the folder "runs", or null),
//                 "cut_bytes" (the bytes cut from the output's front; absent when none),
//                 "stopped" ("time limit" or "stop" when Morrowset stopped it; else absent)
//   on "refused": "error" (the run-time error number)
//   "skipped" (the row's time passed while the clock was paused): "reason" ("paused")
// Each line is written whole or not at all, with the rules of every log (log_open.h): the
// user's own regular file, never through a link, made 0600. Once the file has passed 1 MiB
// it becomes "history.jsonl.1" (replacing the one before) and a new file is begun.
// Reading skips damaged lines (a cut line, garbage).
//
// A line that cannot be written (a full disk, a history that is not the user's own file)
// is not lost while the program runs: it waits in memory (up to kMaxWaitingLines) and goes
// out, in order, with the next line that can be written. The history says so once when it
// stops taking lines and once when it takes them again.
#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "timetable/catch_up.h"
#include "timetable/row_count.h"
#include "timetable/run_observer.h"

namespace morrowset {

class RunHistory : public RunObserver {
public:
    static constexpr std::size_t kMaxWaitingLines = 10000;
    using OnProblem = std::function<void(const std::string& message)>;

    // Writes events of runs to the history in `appFolder`.
    explicit RunHistory(std::string appFolder) : appFolder_(std::move(appFolder)) {}

    // Hears once when lines stop going to the file ("... cannot be written ...") and once
    // when they go again.
    void setOnProblem(OnProblem onProblem) { onProblem_ = std::move(onProblem); }
    // Why lines wait in memory, "" when they do not.
    const std::string& problem() const { return problem_; }
    // The due starts of local date `day` among the lines that still wait.
    std::vector<DueStart> waitingDueStartsOn(int32_t day) const;

    // Why the history in `appFolder` cannot be trusted as the user's own record (a link,
    // another user's file, no plain file), "" when it can or is not there yet.
    static std::string distrusted(const std::string& appFolder);

    static constexpr long kRotateAtBytes = 1 << 20;
    static constexpr int kRows = kRowCount;
    using LastRuns = std::array<std::optional<RunRecord>, kRows>;

    static std::string filePath(const std::string& appFolder) { return appFolder + "/history.jsonl"; }

    // The history's line for each event of `run`.
    static std::string startLine(const RunRecord& run);
    static std::string endLine(const RunRecord& run);
    static std::string refusedLine(const RunRecord& run);
    static std::string skippedLine(const RunRecord& run);

    // Appends `line` to the history in `appFolder`; false when it could not be written whole.
    static bool append(const std::string& appFolder, std::string_view line);

    // Each row's last run in the history of `appFolder` (the older file first, then the
    // current one). A run whose end is not in the history is marked as ended unseen.
    static LastRuns lastRuns(const std::string& appFolder);

    // The starts (and refused starts) of local date `day` (days since 1970-01-01) that were
    // due at a second of that date, as catching up asks for them.
    static std::vector<DueStart> dueStartsOn(const std::string& appFolder, int32_t day);

    void runStarted(const RunRecord& run) override;
    void runEnded(const RunRecord& run) override;
    void runRefused(const RunRecord& run) override;
    void runSkipped(const RunRecord& run) override;

private:
    void write(std::string line);
    void tellProblem(std::string problem);

    const std::string appFolder_;
    std::deque<std::string> waiting_;
    std::size_t dropped_ = 0;  // waiting lines given up when too many waited
    std::string problem_;
    OnProblem onProblem_;
};

}  // namespace morrowset
