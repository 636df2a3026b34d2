#pragma once
// One place trace lines go (see trace_sinks.h for the set of them). A sink is made with
// what it reads (the preferences, the runtime state) and the actions it may ask of the
// program; it reaches for nothing else.
#include <string>
#include <string_view>

namespace wardline {

class TraceSink {
public:
    virtual ~TraceSink() = default;
    // Whether the preferences (or the monitor found at start-up) switched this sink on.
    virtual bool on() const = 0;
    virtual void write(const std::string& line) = 0;
    // The same from a dying program's signal or terminate handler: only system calls and
    // memory the sink already has, no allocation, no lock, no waiting on anyone.
    virtual void writeLastLine(std::string_view line) noexcept = 0;
};

}  // namespace wardline
