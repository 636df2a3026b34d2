#include "errortrap/report/report_journal.h"

namespace wardline {

void journalErrorReport(platform::journal::Journal& journal, int32_t number, std::string_view procedure,
                        int32_t line, std::string_view message) {
    journal.send(platform::journal::Entry(platform::journal::kPriorityError, kErrorReportId, message)
                     .add("WARDLINE_ERROR_NUMBER", number)
                     .add("WARDLINE_PROCEDURE", procedure)
                     .add("WARDLINE_LINE", line));
}

void journalFatalSignal(const platform::journal::Journal& journal, char* buffer, std::size_t capacity,
                        const FatalJournalEntry& fatal) noexcept {
    platform::journal::FixedEntry entry(buffer, capacity);
    entry.add("PRIORITY", platform::journal::kPriorityCritical)
        .add("MESSAGE_ID", kFatalSignalId)
        .add("MESSAGE", fatal.message)
        .add("WARDLINE_ERROR_NUMBER", 51)
        .add("WARDLINE_PROCEDURE", fatal.procedure)
        .add("WARDLINE_LINE", fatal.line);
    if (!fatal.signalName.empty()) entry.add(fatal.signalField, fatal.signalName);
    journal.send(entry);
}

}  // namespace wardline
