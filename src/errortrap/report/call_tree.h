#pragma once
// The call tree at the moment of an error, as the error log and the error dialog show it:
// one Call line per procedure on the trace stack, a Trap line after the procedure whose
// trap handled the error, an Error line when the error was raised further in, then a Call
// and an Error line per forwarded level. A line reads "<n> : <Kind>", a tab, one tab per
// level of indent, and its text.
#include <string>
#include <vector>

#include "errortrap/core/error_record.h"

namespace wardline {

// The two places the tree is shown lay it out a little differently.
enum class CallTreeLayout {
    // The error log: the Trap line is indented by the number of lines before it and the
    // lines after it one level deeper; the Error line that ends the stack part carries the
    // number of the line that follows it.
    ErrorLog,
    // The error dialog's list: lines numbered by their position, the Trap line indented
    // like the Call line above it.
    Dialog,
};

// The tree of `record` (its levels and call tree snapshot), one string per line.
std::vector<std::string> callTreeLines(const ErrorRecord& record, CallTreeLayout layout);

}  // namespace wardline
