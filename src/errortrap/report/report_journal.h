#pragma once
// The runtime's entries in the system journal (platform/journal.h), beside the program's:
//
//   kind         PRIORITY  MESSAGE_ID                        fields
//   error report 3         05fb6d955d2f4fdb8391e8970dfe868a  WARDLINE_ERROR_NUMBER, WARDLINE_PROCEDURE,
//                                                            WARDLINE_LINE
//   fatal signal 2         de1427104933441ca0ec1243f6f39b30  the error report's (number 51), and the
//                                                            signal's name in <prefix>SIGNAL
//
// The MESSAGE is the error's trace line without the program's tag and line end.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/journal.h"

namespace wardline {

inline constexpr std::string_view kErrorReportId = "05fb6d955d2f4fdb8391e8970dfe868a";
inline constexpr std::string_view kFatalSignalId = "de1427104933441ca0ec1243f6f39b30";

// An intercepted error's entry.
void journalErrorReport(platform::journal::Journal& journal, int32_t number, std::string_view procedure,
                        int32_t line, std::string_view message);

// What a fatal signal's entry says; the texts live in memory prepared at start-up.
struct FatalJournalEntry {
    std::string_view message;
    std::string_view procedure;
    int32_t line = 0;
    std::string_view signalField;  // "<prefix>SIGNAL", the journal's field prefix and "SIGNAL"
    std::string_view signalName;   // "SIGSEGV"; empty for an uncaught exception
};
// Builds the entry in `buffer` and sends it on the journal's socket, opened at start-up;
// async-signal-safe.
void journalFatalSignal(const platform::journal::Journal& journal, char* buffer, std::size_t capacity,
                        const FatalJournalEntry& entry) noexcept;

}  // namespace wardline
