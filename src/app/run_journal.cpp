#include "app/run_journal.h"

#include <string>

namespace morrowset::run_journal {
namespace {

using platform::journal::Entry;
using platform::journal::Journal;

// "Row 3 (clock)": rows count from 1, as the window shows them.
std::string runText(const RunRecord& run) {
    return "Row " + std::to_string(run.row + 1) + " (" + std::string(triggerName(run.trigger)) + ")";
}

// The fields every entry of a run carries.
Entry& addRun(Journal& journal, Entry& entry, const RunRecord& run) {
    const std::string& prefix = journal.fieldPrefix();
    return entry.add(prefix + "ROW", run.row + 1)
        .add(prefix + "TRIGGER", triggerName(run.trigger))
        .add(prefix + "COMMAND", run.command);
}

}  // namespace

void started(Journal& journal, const RunRecord& run) {
    Entry entry(platform::journal::kPriorityInfo, kRunStartId, runText(run) + " started: " + run.command);
    journal.send(addRun(journal, entry, run));
}

void ended(Journal& journal, const RunRecord& run) {
    // A signal's end is told by the signal, whatever status was recorded.
    const bool exited = !run.signal && run.exitStatus.has_value();
    const int exitStatus = exited ? run.exitStatus.value_or(0) : 0;
    const std::string signal = run.signal ? signalName(run.signal) : std::string();
    const bool good = exited && exitStatus == 0;
    const std::string how = exited ? "exit status " + std::to_string(exitStatus) : "signal " + signal;
    Entry entry(good ? platform::journal::kPriorityInfo : platform::journal::kPriorityWarning, kRunEndId,
                runText(run) + (good ? " ended: " : " failed: ") + how);
    addRun(journal, entry, run);
    const std::string& prefix = journal.fieldPrefix();
    if (exited) entry.add(prefix + "EXIT_STATUS", exitStatus);
    else entry.add(prefix + "SIGNAL", signal);
    if (run.stopped != StopReason::None) entry.add(prefix + "STOPPED", stopReasonName(run.stopped));
    journal.send(entry.add(prefix + "DURATION_MS", run.durationMs));
}

void refused(Journal& journal, const RunRecord& run) {
    Entry entry(platform::journal::kPriorityWarning, kRunRefusedId,
                runText(run) + " could not start: error " + std::to_string(run.error));
    journal.send(addRun(journal, entry, run).add("WARDLINE_ERROR_NUMBER", run.error));
}

}  // namespace morrowset::run_journal
