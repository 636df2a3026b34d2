#include "app/run_reports.h"

#include "app/failure_notice.h"
#include "app/run_journal.h"
#include "timetable/run_text.h"
#include "timetable/run_output.h"
#include "platform/services.h"

namespace morrowset {

RunReports::RunReports(std::string appFolder) : appFolder_(std::move(appFolder)) {}
RunReports::~RunReports() = default;

void RunReports::runStarted(const RunRecord& run) { run_journal::started(platform::services().journal(), run); }

void RunReports::runEnded(const RunRecord& run) {
    run_journal::ended(platform::services().journal(), run);
    if (run.result() == RunRecord::Result::Failed) notice(run);
}

void RunReports::runRefused(const RunRecord& run) {
    run_journal::refused(platform::services().journal(), run);
    notice(run);
}

std::string RunReports::failureText(const RunRecord& run) {
    if (const std::string cause = runtext::stopCause(run); !cause.empty()) return cause;
    if (run.refused()) return "could not start (error " + std::to_string(run.error) + ")";
    if (run.signal) return "signal " + signalName(run.signal);
    return "exit status " + std::to_string(run.exitStatus.value_or(-1));
}

void RunReports::notice(const RunRecord& run) {
    if (!FailureNotices::wanted()) return;
    if (!notices_) notices_ = std::make_unique<FailureNotices>();
    const std::string output = run.output.empty() ? std::string() : runs::folderOf(appFolder_) + "/" + run.output;
    notices_->runFailed(run.row + 1, QString::fromStdString(failureText(run)), QString::fromStdString(run.command),
                        QString::fromStdString(output), run.stopped != StopReason::None);
}

}  // namespace morrowset
