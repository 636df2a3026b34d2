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
// About once a second, while runs go or ended runs' outputs still grow, the launcher keeps
// every output within its bound (output_bounds.h) and stops the runs that reached their
// time limit. A run is stopped through its process group (process_group_stop.h: SIGTERM,
// then SIGKILL after the grace to whatever of the group is left); its end says why.
//
// The clock, the NOW buttons and catching up start rows here; the run history, the rows'
// icons, the journal and the desktop notices hear of them as observers.
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "timetable/output_bounds.h"
#include "timetable/run_observer.h"
#include "timetable/run_record.h"
#include "platform/child_watcher.h"
#include "platform/clock.h"
#include "platform/process_group_stop.h"

class QTimer;

namespace morrowset {

// What to start, and why.
struct RunRequest {
    int row = 0;  // 0 to 5
    std::string commandLine;
    Trigger trigger = Trigger::Now;
    std::optional<platform::WallTime> due;  // the second it was due (clock and catch-up)
    std::string folder;                     // the folder to start in, "" for ours
    int32_t timeLimitSeconds = 0;           // the longest the run may take, 0 for no limit
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
    // Stops every run of `row` still going, as its time limit does; their ends say
    // "stopped": "stop". False when none of the row's runs was going.
    bool stop(int row);
    // How long a stopped run's group has between SIGTERM and SIGKILL (platform::kStopGrace).
    void setStopGrace(std::chrono::milliseconds grace) { stopGrace_ = grace; }
    // Hears of a problem with the outputs once: a file system that cannot bound them while
    // they are written.
    void setOnProblem(runs::BoundedOutputs::OnProblem onProblem) { outputs_.setOnProblem(std::move(onProblem)); }

    // The runs started and not yet seen to end.
    int running() const { return static_cast<int>(running_.size()); }
    // Whether the run with this id is going.
    bool isRunning(const std::string& runId) const;

private:
    struct Running {
        RunRecord run;
        int64_t startedMonotonicMs = 0;
    };
    std::string newRunId(const Stamp& started);
    RunRecord recordOf(const RunRequest& request);
    runs::OutputFile outputFor(RunRecord& run);
    void ended(int pid, const platform::ChildEnd& end);
    bool stopRun(Running& running, StopReason reason);
    void everySecond();
    void keepTicking();
    std::set<std::string> outputsInUse() const;
    template <typename Event>
    void tell(Event event, const RunRecord& run);

    const std::string appFolder_;
    platform::ChildWatcher& watcher_;
    const StartProgram startProgram_;
    std::vector<RunObserver*> observers_;
    std::map<int, Running> running_;  // by process id
    runs::BoundedOutputs outputs_;
    std::unique_ptr<QTimer> secondTimer_;  // runs while runs go or outputs are watched
    std::chrono::milliseconds stopGrace_ = platform::kStopGrace;
    int sequence_ = 0;
};

}  // namespace morrowset
