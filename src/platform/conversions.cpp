#include "platform/conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "platform/runtime_error.h"

namespace platform {
namespace {

constexpr int kOverflow = 6;
constexpr int kTypeMismatch = 13;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

template <typename Int>
Int narrowRounded(double value) {
    const double rounded = roundHalfEven(value);
    if (std::isnan(rounded) || rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        raiseError(kOverflow);
    return static_cast<Int>(rounded);
}

}  // namespace

int64_t leadingNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10 - 1;
    int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        value = value > kLimit ? kLimit * 10 : value * 10 + (text[pos] - '0');
    return negative ? -value : value;
}

double toDouble(std::string_view text) {
    std::string_view number = trimBlanks(text);
    if (!number.empty() && number.front() == '+') number.remove_prefix(1);
    double value = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || end != number.data() + number.size()) raiseError(kTypeMismatch);
    if (error == std::errc::result_out_of_range || std::isinf(value)) raiseError(kOverflow);
    return value;
}

int16_t toInteger16(std::string_view text) { return toInteger16(toDouble(text)); }
int32_t toInteger32(std::string_view text) { return toInteger32(toDouble(text)); }

double roundHalfEven(double value) { return std::nearbyint(value); }  // default mode: to nearest, ties to even

int16_t toInteger16(double value) { return narrowRounded<int16_t>(value); }
int32_t toInteger32(double value) { return narrowRounded<int32_t>(value); }

}  // namespace platform
