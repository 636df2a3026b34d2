#pragma once
// Trace lines: one line per enter or leave of a procedure, for the trace sinks.
#include <cstdint>
#include <string>

#include "platform/memory_status.h"

namespace wardline {

class Runtime;

// What trace lines keep from one line to the next.
struct TraceLineMemo {
    std::string decimalSeparator;   // of the system profile; read again only while empty
    // The locale's, read with it: looking the locale up for every line cost more than the
    // rest of the figure.
    char localeDecimalSeparator = '.';
    platform::MemoryStatus memory;  // the latest memory figures read
    // Lines share one reading of the memory figures for up to 10 ms: the kernel builds its
    // meminfo table afresh for every read, which costs more than the rest of a line.
    bool memoryRead = false;
    int64_t memoryReadAt = 0;  // monotonic fixed-point milliseconds
    // The memory part of a line as formatted from that reading, and for which [include]
    // switches (Resources 1, Memory 2; -1 before the first).
    std::string memoryText;
    int memoryTextShape = -1;
    // Lines are built in one kept buffer; a line made while another is still being handed
    // to the sinks (events run during a monitor hold) gets a buffer of its own.
    std::string line;
    bool lineInUse = false;
};

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
// Text of the program's own appended to each line when "User" is on; empty here.
std::string pfUserText();

}  // namespace wardline
