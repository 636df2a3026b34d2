#pragma once
// Number conversions with the language runtime's rules. Every failure is a run-time
// error: text that is not a number raises 13 Type mismatch, a value outside the target
// type raises 6 Overflow.
#include <cstdint>
#include <string_view>

namespace platform {

// The leading-number value of a text: an optional sign and the digits at its start
// (blanks before them are skipped), stopping at the first other character; no digits
// give 0. Saturates instead of overflowing on absurdly long digit runs.
int64_t leadingNumber(std::string_view text);

// Text to number: decimal digits with an optional sign, fraction and exponent, blanks
// around them allowed. A number too close to 0 to hold gives 0.
double toDouble(std::string_view text);
int16_t toInteger16(std::string_view text);
int32_t toInteger32(std::string_view text);

// Rounding to the nearest whole number, an exact half going to the even neighbour.
double roundHalfEven(double value);
int16_t toInteger16(double value);
int32_t toInteger32(double value);

}  // namespace platform
