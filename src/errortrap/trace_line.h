#pragma once
// The parts of a trace line (pfTraceLine itself is declared in trace_sinks.h).
#include <string>

namespace wardline {

// Seconds in the trace's time format "00000.000", always with a point: the decimal
// separator of the system profile ([intl] sDecimal, read once) is replaced by ".".
std::string pfDecimal(double seconds);
// Text of the program's own appended to each line when "User" is on; empty here.
std::string pfUserText();

// Where the memory figures of trace lines are read from: "/proc" unless a test points
// at a fixture folder holding a meminfo file. Lines share one reading for up to 10 ms
// (the kept /proc/meminfo is read again with pread when its reading is older); setting
// the folder drops the reading.
void setMemoryStatusRoot(std::string procRoot);

}  // namespace wardline
