#pragma once
// Time sources: the local wall clock (replaceable, so tests can drive any second of the
// day) and a monotonic millisecond counter.
#include <cstdint>
#include <ctime>

namespace platform {

class TimeSource {
public:
    virtual ~TimeSource() = default;
    // Current local date and time.
    virtual std::tm localNow() const;
    // Seconds since local midnight, single precision with its fraction, 0 to just under 86400.
    virtual float secondsSinceMidnight() const;
};

// The time source in use; setTimeSource(nullptr) restores the system clock.
const TimeSource& timeSource();
void setTimeSource(const TimeSource* source);

// Convenience forms of the current time source.
inline std::tm localNow() { return timeSource().localNow(); }
inline float secondsSinceMidnight() { return timeSource().secondsSinceMidnight(); }

// Milliseconds since an arbitrary fixed point, never going backwards. 64 bits, so it never
// wraps (a 32-bit millisecond counter wraps after 49.7 days of uptime).
int64_t monotonicMilliseconds();

// The same counter as fixed-point milliseconds: a 64-bit integer scaled by 10000
// (0.1 microsecond steps), the unit of the trace runtime's time stamps.
int64_t monotonicFixedMilliseconds();

}  // namespace platform
