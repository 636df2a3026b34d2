#pragma once
// The system journal: one structured entry per run start, run end, refused run, error
// report and fatal signal, so that `journalctl -t morrowset` shows one machine's runs and
// a site collects many machines' with the journal's own forwarding.
//
// Every entry carries SYSLOG_IDENTIFIER=morrowset, a PRIORITY, a fixed MESSAGE_ID per kind
// (below), a readable MESSAGE and the fields of its kind:
//
//   kind         PRIORITY           fields
//   run start    6                  MORROWSET_ROW, MORROWSET_TRIGGER, MORROWSET_COMMAND
//   run end      6 (exit status 0)  the start's, MORROWSET_EXIT_STATUS or MORROWSET_SIGNAL,
//                4 (otherwise)      MORROWSET_DURATION_MS
//   run refused  4                  the start's, WARDLINE_ERROR_NUMBER
//   error report 3                  WARDLINE_ERROR_NUMBER, WARDLINE_PROCEDURE, WARDLINE_LINE
//   fatal signal 2                  the error report's (number 51), MORROWSET_SIGNAL
//
// Without a journal socket nothing is sent and nothing fails; a send is never waited on.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::journal {

inline constexpr std::string_view kRunStartId = "ef84deacf5b247c9be326f5968e3fa35";
inline constexpr std::string_view kRunEndId = "fa531de393794bda9aa6ce8c14e7e581";
inline constexpr std::string_view kRunRefusedId = "64665bd98ca3432bbbea6b12f18c0c95";
inline constexpr std::string_view kErrorReportId = "05fb6d955d2f4fdb8391e8970dfe868a";
inline constexpr std::string_view kFatalSignalId = "de1427104933441ca0ec1243f6f39b30";

inline constexpr int kPriorityCritical = 2;
inline constexpr int kPriorityError = 3;
inline constexpr int kPriorityWarning = 4;
inline constexpr int kPriorityInfo = 6;

// Where the journal listens for entries.
inline constexpr const char* kSocketPath = "/run/systemd/journal/socket";

// What a run's entries say of it. `row` counts from 1, as the window shows rows; `trigger`
// is "clock", "now" or "catch-up".
struct Run {
    int row = 0;
    std::string_view trigger;
    std::string_view command;
};

void runStarted(const Run& run);
// How a run ended: its exit status, or the name of the signal that ended it ("SIGKILL").
void runEnded(const Run& run, std::optional<int> exitStatus, std::string_view signalName, int64_t durationMs);
void runRefused(const Run& run, int32_t errorNumber);
// An intercepted error; `message` is its one-line description.
void errorReported(int32_t number, std::string_view procedure, int32_t line, std::string_view message);

// For a fatal signal handler, which may not allocate or lock: opens the socket now, at
// start-up, when the journal is there.
void prepareFatalEntry() noexcept;
// Sends the fatal-signal entry through the socket opened by prepareFatalEntry, building it
// in `buffer`; async-signal-safe. Line breaks in the values become blanks.
void sendFatalEntry(char* buffer, std::size_t capacity, std::string_view message, std::string_view procedure,
                    int32_t line, std::string_view signalName) noexcept;

}  // namespace platform::journal
