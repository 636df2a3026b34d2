#pragma once
// The error log: one plain-text report per intercepted error, appended to the file named
// by the preference errorLogPath. A report holds a banner, the error record level by
// level, the call tree with the point where the error was trapped, the system state text
// and the user's comment from the error dialog, and a closing banner. Lines end in CR LF;
// indented lines start in column 15 and label values in column 29 (print zones of 14).
//
// Writing never fails into the caller: a part of the report that cannot be built is left
// out, a file that cannot be written gets no report. A report is written with a single
// append (so reports of two programs sharing a log never interleave) and is on the disk
// before the call returns. New log files are readable and writable by their owner only,
// since reports carry command lines and machine details.
#include <string>

namespace wardline {

class Runtime;
struct ErrorRecord;

// Appends the report of the error `runtime` just recorded to its errorLogPath, or to
// "wlerror.log" (in the current folder) while errorLogPath is empty.
void WriteErrorLog(Runtime& runtime);

// The log WriteErrorLog appends to now: errorLogPath, or "wlerror.log" while it is empty.
std::string errorLogFile(Runtime& runtime);

// Writes the report of `record` into a new file at `path`; an existing file or link there
// is never written to. False when the file could not be made.
bool WriteErrorLogToNewFile(const ErrorRecord& record, const std::string& path);

// The report's text for `record`, exactly as WriteErrorLog would append it now.
std::string errorReportText(const ErrorRecord& record);

}  // namespace wardline
