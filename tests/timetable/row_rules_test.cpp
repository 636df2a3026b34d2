// A row's rules: their texts, the days they run on and the settings file's tail.
#include "timetable/row_rules.h"

#include <gmock/gmock.h>

#include <random>

#include "support/temp_folder.h"

namespace morrowset {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr int32_t kThursday = 20433;  // 2025-12-11
constexpr int32_t kFriday = kThursday + 1;
constexpr int32_t kSaturday = kThursday + 2;
constexpr int32_t kSunday = kThursday + 3;
constexpr int32_t kMonday = kThursday + 4;

constexpr DaySet kMon = dayBit(0), kWed = dayBit(2), kFri = dayBit(4), kSat = dayBit(5), kSun = dayBit(6);
constexpr DaySet kWeekdays = 0x1F;

constexpr int32_t at(int hour, int minute) { return (hour * 60 + minute) * 60; }

RowRules withDays(DaySet days) {
    RowRules rules;
    rules.days = days;
    return rules;
}

TEST(RowRules, WeekdaysOfDates) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "Thursday"},  {-1, "Wednesday"}, {-7, "Thursday"}, {-8, "Wednesday"}, {kThursday, "Thursday"},
        {kSunday, "Sunday"}, {kMonday, "Monday"},
    };
    for (const auto& [date, name] : cases) EXPECT_EQ(dayName(weekdayOf(date)), name) << date;
}

// Whether a row runs for a due second, with the second as the wall clock shows it: a row at
// 24:00 belongs to the date whose midnight it is, a row at 00:00 to the date that begins.
TEST(RowRules, DaysAreJudgedByTheDateTheTimeBelongsTo) {
    struct Case {
        DaySet days;
        int32_t rowSeconds;
        int32_t date;  // of the wall-clock reading
        int32_t seconds;
        bool runs;
    };
    const Case cases[] = {
        {kWeekdays, at(7, 30), kMonday, at(7, 30), true},
        {kWeekdays, at(7, 30), kFriday, at(7, 30), true},
        {kWeekdays, at(7, 30), kSaturday, at(7, 30), false},
        {0, at(7, 30), kSaturday, at(7, 30), true},
        // 24:00 on Friday is the first second of Saturday.
        {kFri, 86400, kSaturday, 0, true},
        {kSat, 86400, kSaturday, 0, false},
        {kSat, at(0, 0), kSaturday, 0, true},
        {kFri, at(0, 0), kSaturday, 0, false},
        // The week wraps: Sunday's 24:00 is Monday's first second.
        {kSun, 86400, kMonday, 0, true},
        {kMon, 86400, kMonday, 0, false},
        {kMon, at(0, 0), kMonday, 0, true},
        // Fri-Mon runs over the weekend.
        {readDays("Fri-Mon").value, at(12, 0), kSunday, at(12, 0), true},
        {readDays("Fri-Mon").value, at(12, 0), kMonday, at(12, 0), true},
        {readDays("Fri-Mon").value, at(12, 0), kMonday + 1, at(12, 0), false},
        {readDays("Fri-Mon").value, at(12, 0), kThursday, at(12, 0), false},
    };
    for (const Case& c : cases) {
        const int64_t second = int64_t{c.date} * 86400 + c.seconds;
        EXPECT_EQ(withDays(c.days).runsOn(dueDate(second, c.rowSeconds)), c.runs)
            << daysText(c.days) << " row at " << c.rowSeconds << ", date " << c.date << " second " << c.seconds;
    }
}

TEST(RowRules, NextStartDateObeysTheDays) {
    const platform::WallTime thursdayMorning{kThursday, at(10, 47) * 1000};
    const platform::WallTime fridayNight{kFriday, at(23, 0) * 1000};
    struct Case {
        DaySet days;
        int32_t rowSeconds;
        platform::WallTime now;
        int32_t date;
    };
    const Case cases[] = {
        {0, at(14, 0), thursdayMorning, kThursday},
        {0, at(7, 30), thursdayMorning, kFriday},
        {kWeekdays, at(7, 30), fridayNight, kMonday},
        {kMon, at(7, 30), thursdayMorning, kMonday},
        {dayBit(3), at(7, 30), thursdayMorning, kThursday + 7},  // passed today: next week's
        {kFri, 86400, fridayNight, kFriday},                       // Friday's 24:00 is still to come
        {kSat, at(0, 0), fridayNight, kSaturday},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nextStartDate(withDays(c.days), c.rowSeconds, c.now), c.date) << daysText(c.days) << " " << c.rowSeconds;

    RowRules unreadable;
    unreadable.set(RowRules::Days, "Mon-Frx");
    EXPECT_EQ(nextStartDate(unreadable, at(7, 30), thursdayMorning), std::nullopt);
    EXPECT_EQ(nextStartDate({}, 86460, thursdayMorning), std::nullopt) << "24:01 never comes";
}

TEST(RowRules, ReadingDays) {
    const std::pair<const char*, DaySet> good[] = {
        {"Mon-Fri", kWeekdays},
        {"sat,SUN", kSat | kSun},
        {"Mon Wed Fri", kMon | kWed | kFri},
        {" mon ,\twed,,fri ", kMon | kWed | kFri},
        {"Fri-Mon", kFri | kSat | kSun | kMon},
        {"Sun - Tue, Fri", kSun | kMon | dayBit(1) | kFri},
        {"Wed-Wed", kWed},
        {"Mon-Sun", kAllDays},
        {"", 0},
    };
    for (const auto& [text, days] : good) {
        const Reading<DaySet> reading = readDays(text);
        EXPECT_TRUE(reading.ok()) << text << ": " << reading.fault;
        EXPECT_EQ(reading.value, days) << text;
    }
    const std::pair<const char*, const char*> bad[] = {
        {"Mon-Frx", "\"Frx\" is not a day name (Mon, Tue, Wed, Thu, Fri, Sat, Sun)"},
        {"Monday", "\"Monday\" is not a day name"},
        {"weekdays", "\"weekdays\" is not a day name"},
        {"Mon-", "a range needs a day on each side of \"-\""},
        {"-Fri", "a range needs a day on each side of \"-\""},
        {"Mon;Tue", "\"Mon;Tue\" is not a day name"},
    };
    for (const auto& [text, fault] : bad) {
        const Reading<DaySet> reading = readDays(text);
        EXPECT_THAT(reading.fault, HasSubstr(fault)) << text;
        EXPECT_EQ(reading.value, 0) << text;
    }
}

TEST(RowRules, DaysTextIsCanonicalAndReadsBack) {
    const std::pair<DaySet, const char*> cases[] = {
        {kWeekdays, "Mon-Fri"},
        {kSat | kSun, "Sat,Sun"},
        {kMon | kWed | kFri, "Mon,Wed,Fri"},
        {kFri | kSat | kSun | kMon, "Fri-Mon"},
        {kSun | kMon, "Mon,Sun"},
        {kFri | kSat | kSun | kMon | kWed, "Wed,Fri-Mon"},
        {kAllDays, "Mon-Sun"},
        {0, ""},
    };
    for (const auto& [days, text] : cases) EXPECT_EQ(daysText(days), text) << int{days};
    for (int days = 0; days <= kAllDays; ++days) {
        const Reading<DaySet> reading = readDays(daysText(static_cast<DaySet>(days)));
        EXPECT_TRUE(reading.ok() && reading.value == days) << days << " -> " << daysText(static_cast<DaySet>(days));
    }
}

TEST(RowRules, ReadingAndWritingTimeLimits) {
    const std::pair<const char*, int32_t> good[] = {
        {"45m", 2700}, {"45", 45}, {" 45 M ", 2700}, {"2h", 7200}, {"90S", 90}, {"0", 0}, {"", 0}, {"596523h", 2147482800},
    };
    for (const auto& [text, seconds] : good) {
        const Reading<int32_t> reading = readTimeLimit(text);
        EXPECT_TRUE(reading.ok()) << text << ": " << reading.fault;
        EXPECT_EQ(reading.value, seconds) << text;
    }
    for (const char* text : {"m", "-5", "1.5h", "45x", "45mm", "45 min", "h45"})
        EXPECT_THAT(readTimeLimit(text).fault, HasSubstr("a whole number with an optional unit s, m or h")) << text;
    for (const char* text : {"596524h", "99999999999", "99999999999999999999999s"})
        EXPECT_EQ(readTimeLimit(text).fault, "the longest time limit is 596523h") << text;

    const std::pair<int32_t, const char*> texts[] = {{2700, "45m"}, {7200, "2h"}, {90, "90s"}, {3660, "61m"}, {0, ""}};
    for (const auto& [seconds, text] : texts) EXPECT_EQ(timeLimitText(seconds), text);
}

TEST(RowRules, ReadingFolders) {
    for (const char* text : {"/srv/reports", "~/reports", "/", "", "/with blanks/in it"})
        EXPECT_TRUE(readFolder(text).ok()) << text;
    EXPECT_EQ(readFolder("  ~/reports ").value, "~/reports");
    for (const char* text : {"reports", "./reports", "~reports", "~", "~user/x"})
        EXPECT_THAT(readFolder(text).fault, HasSubstr("an absolute path")) << text;
    EXPECT_THAT(readFolder("/a\x01z").fault, HasSubstr("control characters"));

    const testsupport::ScopedEnv home("HOME", "/home/tester");
    EXPECT_EQ(startFolder("~/reports"), "/home/tester/reports");
    EXPECT_EQ(startFolder("/srv/reports"), "/srv/reports");
    EXPECT_EQ(startFolder(""), "");
}

// A value that cannot be read leaves the field at its default and says why, for the row's
// tooltip, the trace and --status.
TEST(RowRules, UnreadableValuesGiveMessages) {
    RowRules rules;
    rules.set(RowRules::Days, " Mon-Frx ");
    rules.set(RowRules::TimeLimit, "45x");
    rules.set(RowRules::Folder, "~/reports");
    EXPECT_FALSE(rules.readable());
    EXPECT_EQ(rules.days, 0);
    EXPECT_EQ(rules.folder, "~/reports");
    EXPECT_THAT(rules.messages(1),
                ElementsAre("Row 2: Days \"Mon-Frx\" cannot be read: \"Frx\" is not a day name (Mon, Tue, Wed, Thu, "
                            "Fri, Sat, Sun)",
                            "Row 2: Time Limit \"45x\" cannot be read: a time limit is a whole number with an "
                            "optional unit s, m or h (\"45m\")"));
    rules.set(RowRules::Days, "Mon-Fri");
    rules.set(RowRules::TimeLimit, "");
    EXPECT_TRUE(rules.readable());
    EXPECT_THAT(rules.messages(1), IsEmpty());
}

// The tail of a file saved by hand: comments, keys and sections the program does not know, a
// section named twice, a row out of range and a value that cannot be read.
constexpr std::string_view kHandMadeTail =
    "; weekday jobs\r\n"
    "[Row 2]\r\n"
    "days = mon-fri\r\n"
    "Colour=blue\r\n"
    "Time Limit=45m\r\n"
    "\r\n"
    "[Extra]\r\n"
    "Days=Sun\r\n"
    "[row 4]\r\n"
    "Days=Mon-Frx\r\n"
    "Folder=~/reports\r\n"
    "[Row 9]\r\n"
    "Folder=/x\r\n"
    "[Row 2]\r\n"
    "Days=Sat\n"
    "no line end";

TEST(SettingsTail, ReadsTheRulesAndWritesEverythingBackAsItWas) {
    const SettingsTail tail = SettingsTail::read(kHandMadeTail);
    const SettingsTail::Rules& rules = tail.rules();
    EXPECT_EQ(rules[1].days, kWeekdays);
    EXPECT_EQ(rules[1].timeLimitSeconds, 2700);
    EXPECT_EQ(rules[1].folder, "");
    EXPECT_THAT(rules[3].messages(3), ElementsAre(HasSubstr("Row 4: Days \"Mon-Frx\" cannot be read")));
    EXPECT_EQ(rules[3].folder, "~/reports");
    for (int row : {0, 2, 4, 5}) EXPECT_TRUE(rules[static_cast<std::size_t>(row)].empty()) << row;
    EXPECT_EQ(tail.write(rules), kHandMadeTail);

    // A file without rules has no tail, and gets none.
    EXPECT_EQ(SettingsTail::read("").write({}), "");
}

TEST(SettingsTail, ChangedRulesReplaceTheirLinesAndNewOnesAreAdded) {
    const SettingsTail tail = SettingsTail::read(kHandMadeTail);
    SettingsTail::Rules rules = tail.rules();
    rules[1].days = kSat | kSun;       // changed in its line
    rules[1].timeLimitSeconds = 0;     // its line goes
    rules[1].folder = "/srv/reports";  // added after the section's last line
    rules[3].set(RowRules::Days, "Mon");
    rules[5].folder = "~/x";           // a new section at the end
    rules[5].timeLimitSeconds = 3600;
    EXPECT_EQ(tail.write(rules),
              "; weekday jobs\r\n"
              "[Row 2]\r\n"
              "Days=Sat,Sun\r\n"
              "Colour=blue\r\n"
              "Folder=/srv/reports\r\n"
              "\r\n"
              "[Extra]\r\n"
              "Days=Sun\r\n"
              "[row 4]\r\n"
              "Days=Mon\r\n"
              "Folder=~/reports\r\n"
              "[Row 9]\r\n"
              "Folder=/x\r\n"
              "[Row 2]\r\n"  // its Days line went: a changed key keeps only the line that counts
              "no line end\r\n"
              "[Row 6]\r\n"
              "Time Limit=1h\r\n"
              "Folder=~/x\r\n");
}

// Tails made of every kind of line, in any order and with any line ends: written back
// unchanged they stay byte for byte; written without rules they hold none; written with
// any rules they read back as those rules.
TEST(SettingsTail, AnyTailKeepsItsBytesAndTakesAnyRules) {
    const char* const kLines[] = {"[Row 1]", "[row 2]", "[ Row 6 ]", "[Row 7]", "[Other]", "Days=Mon-Fri",
                                  "days = fri-mon", "Days=Mon-Frx", "Time Limit=45m", "time limit = 9x",
                                  "Folder=~/a", "Folder=rel", "; comment", "", "  ", "junk", "Days", "=", "["};
    const char* const kEnds[] = {"\r\n", "\n", ""};
    std::mt19937 random(31);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int lines = static_cast<int>(random() % 12);
        for (int line = 0; line < lines; ++line)
            text += std::string(kLines[random() % std::size(kLines)]) + kEnds[random() % (line + 1 < lines ? 2 : 3)];
        const SettingsTail tail = SettingsTail::read(text);
        ASSERT_EQ(tail.write(tail.rules()), text);
        const SettingsTail cleared = SettingsTail::read(tail.write({}));
        for (const RowRules& rules : cleared.rules())
            ASSERT_TRUE(rules.empty()) << text << "---\n" << tail.write({});

        SettingsTail::Rules wanted{};
        for (RowRules& rules : wanted) {
            if (random() % 2) rules.days = static_cast<DaySet>(random() % (kAllDays + 1));
            if (random() % 2) rules.timeLimitSeconds = static_cast<int32_t>(random() % 100'000);
            if (random() % 2) rules.folder = "/srv/" + std::to_string(random() % 10);
        }
        ASSERT_EQ(SettingsTail::read(tail.write(wanted)).rules(), wanted) << text << "---\n" << tail.write(wanted);
    }
}

// A section whose last rule goes leaves with its blank lines, unless it holds more.
TEST(SettingsTail, ASectionWithoutRulesGoes) {
    const SettingsTail tail = SettingsTail::read(
        "[Row 1]\r\nDays=Mon\r\n\r\n"
        "[Row 3]\r\n; keep me\r\nFolder=/srv\r\n"
        "[Other]\r\nx=1\r\n");
    EXPECT_EQ(tail.write({}), "[Row 3]\r\n; keep me\r\n[Other]\r\nx=1\r\n");

    SettingsTail::Rules first{};
    first[0].days = kWeekdays;
    EXPECT_EQ(SettingsTail::read("").write(first), "[Row 1]\r\nDays=Mon-Fri\r\n");
}

}  // namespace
}  // namespace morrowset
