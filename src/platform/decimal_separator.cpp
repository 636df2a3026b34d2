#include "platform/decimal_separator.h"

#include <string>

#include "platform/profile.h"

namespace platform {

namespace {

bool usableDecimalSeparator(std::string_view separator) {
    return separator.size() == 1 && !(separator[0] >= '0' && separator[0] <= '9');
}

}  // namespace

DecimalRule traceDecimalRule() {
    // A missing key gives each read its own default; a key that is there gives both the
    // same value, an empty one included.
    std::string named;
    std::string again;
    getProfileString("intl", "sDecimal", "0", named, 3);  // room for two: a longer one shows
    getProfileString("intl", "sDecimal", "1", again, 3);
    if (named != again) return {DecimalRule::Kind::AsFormatted, '.'};
    if (usableDecimalSeparator(named)) return {DecimalRule::Kind::Replace, named[0]};
    return {DecimalRule::Kind::Point, '.'};
}

}  // namespace platform
