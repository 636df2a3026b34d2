#pragma once
// The decimal separator the system names: [intl] "sDecimal" of the system profile, or the
// locale's when the profile has none. A text that cannot separate the parts of a figure
// (empty, a digit, more than one character) is ignored in favour of the locale's, so a
// figure formatted with it and then given a "." comes out whole.
#include <string>
#include <string_view>

namespace platform {

bool usableDecimalSeparator(std::string_view separator);

// One character, never a digit.
std::string systemDecimalSeparator();

}  // namespace platform
