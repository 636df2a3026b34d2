#pragma once
// What the trace lines of one runtime keep from one line to the next (trace/trace_line.h
// builds the lines); the runtime holds it.
#include <cstdint>
#include <string>

#include "platform/memory_status.h"

namespace wardline {

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

}  // namespace wardline
