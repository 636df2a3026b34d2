#include "platform/formatting.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace platform {

std::string formatZeroFilled5(int64_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s%05lld", value < 0 ? "-" : "",
                  static_cast<long long>(value < 0 ? -value : value));
    return buffer;
}

std::string formatSeconds(double seconds, char decimalSeparator) {
    // Work in whole thousandths so that rounding happens once, away from binary noise.
    const long long thousandths = std::llround(std::fabs(seconds) * 1000.0);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%s%05lld%c%03lld", (seconds < 0 && thousandths != 0) ? "-" : "",
                  thousandths / 1000, decimalSeparator, thousandths % 1000);
    return buffer;
}

std::string formatClock12(int hour, int minute) {
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d%s", hour12, minute, hour < 12 ? "AM" : "PM");
    return buffer;
}

std::string formatDate(const std::tm& when) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d", when.tm_mon + 1, when.tm_mday, when.tm_year + 1900);
    return buffer;
}

std::string formatTime(const std::tm& when) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", when.tm_hour, when.tm_min, when.tm_sec);
    return buffer;
}

char localeDecimalSeparator() {
    const std::lconv* conventions = std::localeconv();
    return (conventions && conventions->decimal_point && *conventions->decimal_point)
               ? *conventions->decimal_point
               : '.';
}

}  // namespace platform
