#pragma once
// What the trace lines of one runtime keep from one line to the next (trace/trace_line.h
// builds the lines); the runtime holds it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/decimal_separator.h"
#include "platform/memory_status.h"

namespace wardline {

// What trace lines keep from one line to the next.
struct TraceLineMemo {
    // How the time figure gets its point (the system profile's separator), read once.
    bool decimalRuleRead = false;
    platform::DecimalRule decimalRule;
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
    uint32_t memoryTextVersion = 0;  // goes up whenever memoryText changes
    // Lines are built in one kept buffer; a line made while another is still being handed
    // to the sinks (events run during a monitor hold) gets a buffer of its own.
    std::string line;
    bool lineInUse = false;
    // Where that line holds what the next line may keep of it. The next line of a run
    // mostly differs in its sequence number's last digit and its direction; its time
    // figure changes only when a new thousandth of a second has begun, and an exit line
    // shows the frame part of the entry line before it.
    struct KeptLine {
        // The line is whole and the places below are its own.
        bool valid = false;
        std::size_t counterAt = 0, counterEnd = 0;  // the sequence number's digits
        int32_t counter = 0;
        std::size_t secondsAt = 0, secondsEnd = 0;  // the time figure
        bool secondsKeyed = false;                  // it shows whole thousandths: secondsKey
        int64_t secondsKey = 0;
        std::size_t frameAt = 0;  // where the frame part begins, after the direction
        // What the frame part and the rest of the line were made of, when a procedure's
        // frame: its level and names, the [include] switches and the memory text. The same
        // again make the same text.
        bool tailKeyed = false;
        int tailLevel = 0;
        int tailShape = 0;
        uint32_t tailMemoryText = 0;
        std::string module, procedure, arguments;
    } kept;
};

}  // namespace wardline
