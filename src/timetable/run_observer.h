#pragma once
// Who hears of runs: the history file, the window's rows, and whatever else wants to know
// when a row's command line started, ended or could not start (a desktop notice, a log of
// the system's). Observers are called on the user-interface thread, in the order they
// were added, once for each event of a run.
#include "timetable/run_record.h"

namespace morrowset {

class RunObserver {
public:
    virtual ~RunObserver() = default;
    // The program is running; `run` has no end yet.
    virtual void runStarted(const RunRecord& run) { (void)run; }
    // The program ended and was reaped; `run` has its end.
    virtual void runEnded(const RunRecord& run) { (void)run; }
    // The command line could not be started; `run.error` says why.
    virtual void runRefused(const RunRecord& run) { (void)run; }
    // The row's time passed without a start; `run.skipped` says why.
    virtual void runSkipped(const RunRecord& run) { (void)run; }
};

}  // namespace morrowset
