#pragma once
// Pattern formatting of numbers, dates and times, as the runtime's texts use them.
#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

// Pattern "00000": at least five digits, zero-filled, a minus sign before negatives.
std::string formatZeroFilled5(int64_t value);
// Pattern "00000.000": at least five integer digits, exactly three decimals, rounded,
// with `decimalSeparator` between them.
std::string formatSeconds(double seconds, char decimalSeparator);
// Pattern "hh:mmAM/PM": 12-hour clock, two-digit hour, no space before AM/PM.
std::string formatClock12(int hour, int minute);
// "mm-dd-yyyy" and "hh:mm:ss" (24-hour clock).
std::string formatDate(const std::tm& when);
std::string formatTime(const std::tm& when);

// The decimal separator of the user's locale (the C library's current numeric locale).
char localeDecimalSeparator();

}  // namespace platform
