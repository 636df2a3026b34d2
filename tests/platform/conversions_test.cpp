// Number conversions and rounding with the language runtime's rules: every failure comes
// out as run-time error 13 (not a number) or 6 (out of range), never as a crash or a
// silently wrong value.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "platform/conversions.h"
#include "platform/runtime_error.h"

namespace {

constexpr int32_t kNoError = 0;
constexpr int32_t kOverflow = 6;
constexpr int32_t kTypeMismatch = 13;

// The run-time error number that `conversion` raises, or 0 when it raises none.
int32_t errorRaisedBy(const std::function<void()>& conversion) {
    try {
        conversion();
    } catch (const platform::RuntimeError& error) {
        return error.number();
    }
    return kNoError;
}

struct LeadingCase {
    const char* text;
    int64_t value;
};

TEST(LeadingNumber, ReadsSignAndDigitsFromTheStartOnly) {
    const LeadingCase cases[] = {
        {"", 0},       {"1", 1},       {"1 ", 1},    {"1x", 1},      {"-12x", -12}, {"+7", 7},
        {"  42", 42},  {"abc", 0},     {"--1", 0},   {"-", 0},       {"1.9", 1},    {"0042", 42},
        {"12 34", 12}, {"2147483648", 2147483648LL}, {"-32769", -32769},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::leadingNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(LeadingNumber, AbsurdlyLongDigitRunsSaturateInsteadOfOverflowing) {
    const std::string digits(400, '9');
    EXPECT_GT(platform::leadingNumber(digits), std::numeric_limits<int64_t>::max() / 2);
    EXPECT_LT(platform::leadingNumber("-" + digits), std::numeric_limits<int64_t>::min() / 2);
}

struct DoubleCase {
    const char* text;
    double value;
};

TEST(ToDouble, AcceptsDecimalNumbersWithBlanksAround) {
    const DoubleCase cases[] = {
        {"1.5", 1.5}, {" 2 ", 2.0}, {"\t-3e2\t", -300.0}, {".5", 0.5}, {"5.", 5.0}, {"+4", 4.0},
        {"1E3", 1000.0}, {"-0", 0.0}, {"1e-400", 0.0}, {"-1e-400", 0.0}, {"0.000", 0.0},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::toDouble(c.text), c.value) << '"' << c.text << '"';
}

struct ErrorCase {
    const char* text;
    int32_t error;
};

TEST(ToDouble, TextThatIsNoNumberIsTypeMismatchAndHugeNumbersOverflow) {
    const ErrorCase cases[] = {
        {"", kTypeMismatch},     {"   ", kTypeMismatch}, {"abc", kTypeMismatch},  {"1.2.3", kTypeMismatch},
        {"nan", kTypeMismatch},  {"inf", kTypeMismatch}, {"-infinity", kTypeMismatch}, {"1e", kTypeMismatch},
        {"--1", kTypeMismatch},  {"+-1", kTypeMismatch}, {"0x10", kTypeMismatch}, {"1,5", kTypeMismatch},
        {"e5", kTypeMismatch},   {".", kTypeMismatch},   {"1 2", kTypeMismatch},  {"12abc", kTypeMismatch},
        {"1e400", kOverflow},    {"-1e400", kOverflow},  {"9e99999999999999999999", kOverflow},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorRaisedBy([&] { platform::toDouble(c.text); }), c.error) << '"' << c.text << '"';
    EXPECT_EQ(errorRaisedBy([] { platform::toDouble(std::string(400, '9')); }), kOverflow);
    EXPECT_EQ(platform::toDouble("0." + std::string(400, '0') + "1"), 0.0);
}

TEST(RoundHalfEven, AnExactHalfGoesToTheEvenNeighbour) {
    const DoubleCase cases[] = {
        {"0.5", 0.0},  {"1.5", 2.0},  {"2.5", 2.0},  {"3.5", 4.0},   {"-0.5", 0.0},   {"-1.5", -2.0},
        {"-2.5", -2.0}, {"2.4999", 2.0}, {"2.5001", 3.0}, {"1e15", 1e15}, {"32767.5", 32768.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::roundHalfEven(platform::toDouble(c.text)), c.value) << c.text;
}

struct IntegerCase {
    const char* text;
    int64_t value;  // meaningful when error is 0
    int32_t error;
};

TEST(ToInteger16, RoundsHalfToEvenAndOverflowsOutsideItsRange) {
    const IntegerCase cases[] = {
        {"32767", 32767, kNoError},   {"32768", 0, kOverflow},         {"-32768", -32768, kNoError},
        {"-32769", 0, kOverflow},     {"32767.5", 0, kOverflow},       {"32766.5", 32766, kNoError},
        {"-32768.5", -32768, kNoError}, {"-32769.5", 0, kOverflow},    {"2.5", 2, kNoError},
        {" 3.5 ", 4, kNoError},       {"1e5", 0, kOverflow},           {"abc", 0, kTypeMismatch},
        {"", 0, kTypeMismatch},       {"nan", 0, kTypeMismatch},       {"1e400", 0, kOverflow},
    };
    for (const auto& c : cases) {
        int16_t value = 0;
        EXPECT_EQ(errorRaisedBy([&] { value = platform::toInteger16(c.text); }), c.error) << c.text;
        if (c.error == kNoError) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(ToInteger32, RoundsHalfToEvenAndOverflowsOutsideItsRange) {
    const IntegerCase cases[] = {
        {"2147483647", 2147483647, kNoError},        {"2147483648", 0, kOverflow},
        {"-2147483648", -2147483648LL, kNoError},    {"-2147483649", 0, kOverflow},
        {"2147483646.5", 2147483646, kNoError},      {"2147483647.5", 0, kOverflow},
        {"-2147483648.5", -2147483648LL, kNoError},  {"86399.5", 86400, kNoError},
        {"-0.5", 0, kNoError},                       {"x1", 0, kTypeMismatch},
    };
    for (const auto& c : cases) {
        int32_t value = 0;
        EXPECT_EQ(errorRaisedBy([&] { value = platform::toInteger32(c.text); }), c.error) << c.text;
        if (c.error == kNoError) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(ToInteger, ValuesThatAreNoNumberOverflowRatherThanWrap) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double value : {nan, inf, -inf, 1e300}) {
        EXPECT_EQ(errorRaisedBy([&] { platform::toInteger16(value); }), kOverflow) << value;
        EXPECT_EQ(errorRaisedBy([&] { platform::toInteger32(value); }), kOverflow) << value;
    }
}

}  // namespace
