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
// The clock, the NOW buttons and catching up start rows here; the run history, the rows'
// icons, the journal and the desktop notices hear of them as observers.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
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
    std::string folder;                     // the folder to start in, "" for ours
};

class Launcher {
public:
    // Starts a command line in `folder` ("" for ours) with its output to `outputFd` and has
    // `onEnd` called when it ends (process_start.h); returns the process id or raises the
    // run-time error.
    using StartProgram = std::function<int(std::string_view commandLine, const std::string& folder, int outputFd,
                                           platform::OnChildEnd onEnd)>;
    // The usual way: platform::launchProcess, watched by `watcher`.
    static StartProgram startWith(platform::ChildWatcher& watcher);

    // Runs start in `appFolder`, whose folder "runs" takes their output.
    Launcher(std::string appFolder, platform::ChildWatcher& watcher, StartProgram startProgram);
    ~Launcher();  // runs still going are no longer followed
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    void addObserver(RunObserver* observer) { observers_.push_back(observer); }

    // Starts the run. When the command line cannot be
    // started, the observers hear that it was refused and the run-time error (5, 53, 70, ...)
    // is raised on to the caller.
    void start(const RunRequest& request);

    // Tells the observers that the row's time passed without a start, for `reason`.
    void skip(const RunRequest& request, std::string reason);

    // Whether a run of `row` is still going.
    bool runningIn(int row) const;
    // Whether the run with this id is still going.
    bool isRunning(const std::string& runId) const;
    // Stops the runs of `row` still going: SIGTERM to each one's process group, SIGKILL
    // 10 s later if anything of it is left. False when none was going.
    bool stop(int row);

    // The runs started and not yet seen to end.
    int running() const { return static_cast<int>(running_.size()); }

private:
    struct Running {
        RunRecord run;
        int64_t startedMonotonicMs = 0;
    };
    std::string newRunId(const Stamp& started);
    RunRecord recordOf(const RunRequest& request);
    void ended(int pid, const platform::ChildEnd& end);
    template <typename Event>
    void tell(Event event, const RunRecord& run);

    const std::string appFolder_;
    platform::ChildWatcher& watcher_;
    const StartProgram startProgram_;
    std::vector<RunObserver*> observers_;
    std::map<int, Running> running_;  // by process id
    int sequence_ = 0;
};

}  // namespace morrowset
