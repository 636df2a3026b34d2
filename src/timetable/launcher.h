#pragma once
// Starting a row's command line as a run and following it to its end.
//
// A start gives the program a new output file in the runs folder (run_output.h) for its
// standard output and error, starts it (process_start.h), and hands it to the process's
// child watcher (child_watcher.h), which hears of its end on the event loop. The observers
// hear of each start, end and refusal, in the order they were added; the run history is
// one of them (run_history.h). A program still running when Morrowset ends is left
// running; its run stays started, with no end.
//
// The clock, the NOW buttons and, later, a catch-up after missed starts all start rows
// here; a notice on the desktop or a log of the system's can be added as observers.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "timetable/run_observer.h"
#include "timetable/run_record.h"
#include "platform/child_watcher.h"
#include "platform/clock.h"

namespace morrowset {

// What to start, and why.
struct RunRequest {
    int row = 0;  // 0 to 5
    std::string commandLine;
    Trigger trigger = Trigger::Now;
    std::optional<platform::WallTime> due;  // the second it was due (clock and catch-up)
};

class Launcher {
public:
    Launcher() = default;
    ~Launcher();  // runs still going are no longer followed
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    void addObserver(RunObserver* observer) { observers_.push_back(observer); }

    // Starts the run in the application folder in use. When the command line cannot be
    // started, the observers hear that it was refused and the run-time error (5, 53, 70, ...)
    // is raised on to the caller.
    void start(const RunRequest& request);

    // The runs started and not yet seen to end.
    int running() const { return static_cast<int>(running_.size()); }

private:
    struct Running {
        RunRecord run;
        std::string appFolder;
        int64_t startedMonotonicMs = 0;
    };
    std::string newRunId(const Stamp& started);
    void ended(int pid, const platform::ChildEnd& end);
    template <typename Event>
    void tell(Event event, const RunRecord& run);

    std::vector<RunObserver*> observers_;
    std::map<int, Running> running_;  // by process id
    int sequence_ = 0;
};

}  // namespace morrowset
