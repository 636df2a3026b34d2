// Pattern formatting of numbers, dates and times.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>

#include "platform/formatting.h"

namespace {

TEST(FormatZeroFilled5, AtLeastFiveDigitsWithTheSignBeforeThem) {
    const struct {
        int64_t value;
        const char* text;
    } cases[] = {
        {0, "00000"},       {7, "00007"},   {42, "00042"},   {99999, "99999"}, {123456, "123456"},
        {-42, "-00042"},    {-123456, "-123456"},
        {std::numeric_limits<int64_t>::max(), "9223372036854775807"},
        {std::numeric_limits<int64_t>::min(), "-9223372036854775808"},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::formatZeroFilled5(c.value), c.text) << c.value;
}

TEST(FormatSeconds, FiveIntegerDigitsThreeDecimalsAndTheGivenSeparator) {
    const struct {
        double seconds;
        char separator;
        const char* text;
    } cases[] = {
        {0.0, '.', "00000.000"},       {1.5, '.', "00001.500"},      {1.5, ',', "00001,500"},
        {12345.6789, ',', "12345,679"}, {123456.25, '.', "123456.250"}, {0.0005, '.', "00000.001"},
        {0.0004, '.', "00000.000"},    {-1.5, '.', "-00001.500"},    {-1.5, ',', "-00001,500"},
        {-0.0004, '.', "00000.000"},   {86399.9999, '.', "86400.000"},
        {1e20, ',', "100000000000000000000,000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::formatSeconds(c.seconds, c.separator), c.text)
            << c.seconds << " '" << c.separator << "'";
}

TEST(FormatSeconds, NumbersWithoutAValueStillGiveAText) {
    for (double odd : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(platform::formatSeconds(odd, ',').empty());
}

TEST(FormatClock12, TwelveHourClockWithAmPm) {
    const struct {
        int hour, minute;
        const char* text;
    } cases[] = {
        {0, 0, "12:00AM"},  {0, 30, "12:30AM"}, {1, 5, "01:05AM"},  {11, 59, "11:59AM"},
        {12, 0, "12:00PM"}, {12, 30, "12:30PM"}, {13, 5, "01:05PM"}, {23, 59, "11:59PM"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::formatClock12(c.hour, c.minute), c.text) << c.hour << ":" << c.minute;
}

TEST(FormatDateAndTime, MonthDayYearAnd24HourTime) {
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;  // March
    when.tm_mday = 7;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 3;
    EXPECT_EQ(platform::formatDate(when), "03-07-2024");
    EXPECT_EQ(platform::formatTime(when), "09:05:03");
    when.tm_mon = 11;
    when.tm_mday = 31;
    when.tm_hour = 23;
    when.tm_min = 59;
    when.tm_sec = 59;
    EXPECT_EQ(platform::formatDate(when), "12-31-2024");
    EXPECT_EQ(platform::formatTime(when), "23:59:59");
}

TEST(LocaleDecimalSeparator, FollowsTheNumericLocale) {
    EXPECT_EQ(platform::localeDecimalSeparator(), '.');  // the "C" locale of a test program
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
        if (!std::setlocale(LC_NUMERIC, name)) continue;
        EXPECT_EQ(platform::localeDecimalSeparator(), ',') << name;
        std::setlocale(LC_NUMERIC, previous.c_str());
        return;
    }
    std::setlocale(LC_NUMERIC, previous.c_str());
    GTEST_SKIP() << "no locale with a decimal comma installed";
}

}  // namespace
