#pragma once
// Trace lines and the sinks they go to (disk capture, circular log, outside monitor).
#include <cstdint>
#include <string>
#include <string_view>

namespace wardline {

// The trace line for the frame at the top of the trace stack; `overhead` is subtracted
// from its time stamp, `exitFlag` is 0 for an entry line and -1 for an exit line.
std::string pfTraceLine(int64_t overhead, int16_t exitFlag);
// The same line, built into `line`, whose buffer is reused.
void buildTraceLine(std::string& line, int64_t overhead, int16_t exitFlag);
// Hands one finished line to every sink that is switched on.
void pfLogLine(const std::string& line);
// Hands a dying program's last line to every sink that is on, without allocating.
void logLastLine(std::string_view line) noexcept;

}  // namespace wardline
