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
// Builds that line and hands it to `runtime`'s sinks. A failure loses that line only.
void traceTopFrame(Runtime& runtime, int64_t overhead, int16_t exitFlag);
// The line for the current runtime, as a text of its own.
std::string pfTraceLine(int64_t overhead, int16_t exitFlag);

// Seconds in the trace's time format "00000.000", always with a point: the decimal
// separator of the system profile ([intl] sDecimal) is replaced by ".". It and the locale's
// are read once per runtime, with the first figure.
std::string pfDecimal(double seconds);

}  // namespace wardline
