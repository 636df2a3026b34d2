#include "platform/formatting.h"

#include <langinfo.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace platform {

std::string formatZeroFilled5(int64_t value) {
    // The magnitude as unsigned, so that the most negative value has one too.
    const unsigned long long magnitude =
        value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s%05llu", value < 0 ? "-" : "", magnitude);
    return buffer;
}

std::string formatSeconds(double seconds, char decimalSeparator) {
    // Beyond whole thousandths that a 64-bit integer holds (or not a number at all) the
    // printf rounding is as good as any; only the separator needs setting.
    if (!(std::fabs(seconds) < 9e15)) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, "%09.3f", seconds);
        std::string text = buffer;
        if (const auto point = text.find_first_of(".,"); point != std::string::npos)
            text[point] = decimalSeparator;
        return text;
    }
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
    std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d", when.tm_mon + 1, when.tm_mday,
                  when.tm_year + 1900);
    return buffer;
}

std::string formatTime(const std::tm& when) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", when.tm_hour, when.tm_min, when.tm_sec);
    return buffer;
}

// nl_langinfo reads the one item from the numeric category; localeconv would fill in every
// numeric and monetary convention on each call, which every trace line paid for.
char localeDecimalSeparator() {
    const char* radix = ::nl_langinfo(RADIXCHAR);
    return (radix && *radix) ? *radix : '.';
}

}  // namespace platform
