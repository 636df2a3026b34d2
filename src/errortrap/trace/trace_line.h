#pragma once
// Trace lines: one line per enter or leave of a procedure, for the trace sinks.
#include <cstdint>
#include <string>

#include "errortrap/core/trace_line_memo.h"

namespace wardline {

class Runtime;

// The trace line for the frame at the top of `runtime`'s trace stack, built into `line`,
// whose buffer is reused; `overhead` is subtracted from its time stamp, `exitFlag` is 0 for
// an entry line and -1 for an exit line.
void buildTraceLine(Runtime& runtime, std::string& line, int64_t overhead, int16_t exitFlag);
// The same for the moment `now` (monotonic fixed-point milliseconds).
void buildTraceLineAt(Runtime& runtime, std::string& line, int64_t now, int64_t overhead, int16_t exitFlag);
// The same line, made in `runtime`'s kept line out of the line before it: what the two
// share stays where it is. Valid until the next line.
const std::string& nextTraceLine(Runtime& runtime, int64_t now, int64_t overhead, int16_t exitFlag);
// Builds that line and hands it to `runtime`'s sinks. A failure loses that line only.
void traceTopFrame(Runtime& runtime, int64_t overhead, int16_t exitFlag);

// Seconds in the trace's time format "00000.000" in the user's locale, whose decimal
// separator, when the system profile ([intl] sDecimal) names it, is replaced by "."; an
// unusable one named there gives "." (decimal_separator.h). The profile and the locale are
// read once per runtime, with the first figure.
std::string pfDecimal(Runtime& runtime, double seconds);

}  // namespace wardline
