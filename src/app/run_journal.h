#pragma once
// What each run leaves in the system journal (platform/journal.h), so that
// `journalctl -t morrowset` shows what ran while nobody was at the screen:
//
//   kind         PRIORITY           MESSAGE_ID                        fields
//   run start    6                  ef84deacf5b247c9be326f5968e3fa35  MORROWSET_ROW (1-6), MORROWSET_TRIGGER,
//                                                                     MORROWSET_COMMAND
//   run end      6 (exit status 0)  fa531de393794bda9aa6ce8c14e7e581  the start's, MORROWSET_EXIT_STATUS or
//                4 (otherwise)                                        MORROWSET_SIGNAL, MORROWSET_DURATION_MS
//   run refused  4                  64665bd98ca3432bbbea6b12f18c0c95  the start's, WARDLINE_ERROR_NUMBER
//
// ("MORROWSET_" is the journal field prefix of Morrowset's identity.)
#include <string_view>

#include "platform/journal.h"
#include "timetable/run_record.h"

namespace morrowset::run_journal {

inline constexpr std::string_view kRunStartId = "ef84deacf5b247c9be326f5968e3fa35";
inline constexpr std::string_view kRunEndId = "fa531de393794bda9aa6ce8c14e7e581";
inline constexpr std::string_view kRunRefusedId = "64665bd98ca3432bbbea6b12f18c0c95";

void started(platform::journal::Journal& journal, const RunRecord& run);
void ended(platform::journal::Journal& journal, const RunRecord& run);
void refused(platform::journal::Journal& journal, const RunRecord& run);

}  // namespace morrowset::run_journal
