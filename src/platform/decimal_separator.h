#pragma once
// How the trace's time figure gets its decimal point, from [intl] "sDecimal" of the system
// profile. The figure is formatted with the user's locale's separator first; then
// - a usable separator named there (one character, no digit) is replaced by ".";
// - a separator named there that cannot be one (empty, a digit, longer than one
//   character) is ignored in favour of "." itself, so that no digit becomes the point;
// - without any separator there, the figure is left as the locale formats it.
#include <string_view>

namespace platform {

struct DecimalRule {
    enum class Kind {
        AsFormatted,  // the profile names no separator
        Replace,      // the profile's `separator` becomes "."
        Point,        // the profile's separator is unusable: "." from the start
    };
    Kind kind = Kind::AsFormatted;
    char separator = '.';
};

// The rule the system profile gives; read it once per run.
DecimalRule traceDecimalRule();

}  // namespace platform
