#include "platform/conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "platform/error_texts.h"
#include "platform/runtime_error.h"
#include "platform/text.h"

namespace platform {
namespace {

template <typename Int>
Int narrowRounded(double value) {
    const double rounded = roundHalfEven(value);
    if (std::isnan(rounded) || rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        raiseError(kOverflow);
    return static_cast<Int>(rounded);
}

// For a decimal number that does not fit a double: true when it is out of range because
// it is too close to 0 (its first significant digit lies far right of the point).
bool tooSmallToHold(std::string_view number) {
    const std::size_t exponentAt = number.find_first_of("eE");
    const std::string_view mantissa = number.substr(0, exponentAt);
    const int64_t exponent =
        exponentAt == std::string_view::npos ? 0 : leadingNumber(number.substr(exponentAt + 1));
    const std::size_t point = mantissa.find('.');
    const std::size_t integerDigits = point == std::string_view::npos ? mantissa.size() : point;
    const std::size_t firstSignificant = mantissa.find_first_of("123456789");
    if (firstSignificant == std::string_view::npos) return true;  // all zeros
    // Decimal position of the first significant digit: > 0 left of the point, <= 0 right of it.
    const int64_t position = firstSignificant < integerDigits
                                 ? static_cast<int64_t>(integerDigits - firstSignificant)
                                 : -static_cast<int64_t>(firstSignificant - integerDigits - 1);
    return exponent < -position;
}

// True when `number` is written as decimal digits with an optional fraction and exponent:
// [sign] digits [. digits] [e|E [sign] digits], with at least one digit before the exponent.
// Names such as "inf" or "nan" and hexadecimal forms are not numbers here.
bool isDecimalNumber(std::string_view number) {
    std::size_t pos = 0;
    auto skipDigits = [&] {
        const std::size_t start = pos;
        while (pos < number.size() && number[pos] >= '0' && number[pos] <= '9') ++pos;
        return pos - start;
    };
    if (pos < number.size() && (number[pos] == '+' || number[pos] == '-')) ++pos;
    std::size_t digits = skipDigits();
    if (pos < number.size() && number[pos] == '.') {
        ++pos;
        digits += skipDigits();
    }
    if (digits == 0) return false;
    if (pos < number.size() && (number[pos] == 'e' || number[pos] == 'E')) {
        ++pos;
        if (pos < number.size() && (number[pos] == '+' || number[pos] == '-')) ++pos;
        if (skipDigits() == 0) return false;
    }
    return pos == number.size();
}

}  // namespace

int64_t leadingNumber(std::string_view text) {
    text = trimmedLeading(text, kBlanks);
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10 - 1;
    int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        value = value > kLimit ? kLimit * 10 : value * 10 + (text[pos] - '0');
    return negative ? -value : value;
}

double toDouble(std::string_view text) {
    std::string_view number = trimmed(text, kBlanks);
    if (!isDecimalNumber(number)) raiseError(kTypeMismatch);
    const bool negative = number.front() == '-';
    if (number.front() == '+' || negative) number.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (end != number.data() + number.size()) raiseError(kTypeMismatch);
    if (error == std::errc::result_out_of_range) {
        // Too small to hold is 0; too large to hold is an overflow.
        if (!tooSmallToHold(number)) raiseError(kOverflow);
        value = 0;
    }
    if (std::isinf(value)) raiseError(kOverflow);
    return negative ? -value : value;
}

int16_t toInteger16(std::string_view text) { return toInteger16(toDouble(text)); }
int32_t toInteger32(std::string_view text) { return toInteger32(toDouble(text)); }

// The default rounding mode rounds to nearest with ties to even.
double roundHalfEven(double value) { return std::nearbyint(value); }

int16_t toInteger16(double value) { return narrowRounded<int16_t>(value); }
int32_t toInteger32(double value) { return narrowRounded<int32_t>(value); }

}  // namespace platform
