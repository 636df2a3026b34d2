#pragma once
// What becomes of each run, told where nobody needs to sit at the screen: every start, end
// and refusal to the system journal, and a desktop notice when a run fails (a failing exit
// status, a signal, or no start at all).
#include <memory>
#include <string>

#include "timetable/run_observer.h"

namespace morrowset {

class FailureNotices;

class RunReports : public RunObserver {
public:
    // A failed run's notice offers its output in the folder "runs" of `appFolder`.
    explicit RunReports(std::string appFolder);
    ~RunReports() override;

    void runStarted(const RunRecord& run) override;
    void runEnded(const RunRecord& run) override;
    void runRefused(const RunRecord& run) override;

    // How a failed run ended, as its notice says it: "exit status 3", "signal SIGKILL",
    // "could not start (error 53)".
    static std::string failureText(const RunRecord& run);

private:
    void notice(const RunRecord& run);
    const std::string appFolder_;
    // Made at the first failure: a program whose runs all go well never opens the bus.
    std::unique_ptr<FailureNotices> notices_;
};

}  // namespace morrowset
