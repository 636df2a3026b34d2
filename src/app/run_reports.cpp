#include "app/run_reports.h"

#include "app/failure_notice.h"
#include "timetable/run_output.h"
#include "platform/journal.h"

namespace morrowset {

namespace {

platform::journal::Run journalRun(const RunRecord& run) { return {run.row + 1, triggerName(run.trigger), run.command}; }

}  // namespace

RunReports::RunReports(std::string appFolder) : appFolder_(std::move(appFolder)) {}
RunReports::~RunReports() = default;

void RunReports::runStarted(const RunRecord& run) { platform::journal::runStarted(journalRun(run)); }

void RunReports::runEnded(const RunRecord& run) {
    platform::journal::runEnded(journalRun(run), run.signal ? std::nullopt : run.exitStatus,
                                run.signal ? signalName(run.signal) : std::string(), run.durationMs);
    if (run.result() == RunRecord::Result::Failed) notice(run);
}

void RunReports::runRefused(const RunRecord& run) {
    platform::journal::runRefused(journalRun(run), run.error);
    notice(run);
}

std::string RunReports::failureText(const RunRecord& run) {
    if (run.refused()) return "could not start (error " + std::to_string(run.error) + ")";
    if (run.signal) return "signal " + signalName(run.signal);
    return "exit status " + std::to_string(run.exitStatus.value_or(-1));
}

void RunReports::notice(const RunRecord& run) {
    if (!FailureNotices::wanted()) return;
    if (!notices_) notices_ = std::make_unique<FailureNotices>();
    const std::string output = run.output.empty() ? std::string() : runs::folderOf(appFolder_) + "/" + run.output;
    notices_->runFailed(run.row + 1, QString::fromStdString(failureText(run)), QString::fromStdString(run.command),
                        QString::fromStdString(output));
}

}  // namespace morrowset
