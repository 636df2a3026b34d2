#pragma once
// What a row may say beyond its time of day: the weekdays it runs on, the longest a run may
// take and the folder its program starts in. The settings file keeps them after its
// eighteen lines, CR LF lines in a section of their own for each row that has a rule:
//
//     [Row 2]
//     Days=Mon-Fri
//     Time Limit=45m
//     Folder=~/reports
//
// A value that cannot be read is no run-time error and does not stop the load: the row
// keeps a message that says why ("Row 2: Days "Mon-Frx" cannot be read: ...") and is grayed
// until the value is mended. Everything else after the eighteen lines (keys and sections
// the program does not know, comments) is kept as it is, and a file without rules has
// nothing after them.
//
// Dates are local dates as days since 1970-01-01 (platform::WallTime::day). A row's time
// belongs to a date: for 00:00 to 23:59 the date it falls on, for 24:00 the date whose
// midnight ends it. The days rule is judged by that date.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "timetable/row_count.h"
#include "platform/clock.h"

namespace morrowset {

// Days of the week, Monday first, and sets of them as bits (bit 0 Monday to bit 6 Sunday).
using DaySet = uint8_t;
constexpr int kDaysPerWeek = 7;
constexpr DaySet kAllDays = 0x7F;
constexpr DaySet dayBit(int weekday) { return static_cast<DaySet>(1u << weekday); }

// The weekday of `date`: 0 Monday to 6 Sunday.
int weekdayOf(int32_t date);
// "Mon" ... "Sun", and "Monday" ... "Sunday".
std::string_view shortDayName(int weekday);
std::string_view dayName(int weekday);

// The date the due second of a row at `rowSeconds` (0 to 86400) belongs to, when that due
// second is wall-clock second `dueSecond` (WallTime::position() / 1000): a row at 24:00 due
// at a midnight belongs to the date that midnight ends.
int32_t dueDate(int64_t dueSecond, int32_t rowSeconds);

// A value read from its text, or why it cannot be (the reason only: "\"Frx\" is not a day
// name; ...").
template <typename Value>
struct Reading {
    Value value{};
    std::string fault;
    bool ok() const { return fault.empty(); }
};

// Days: English three-letter day names in any case, apart by commas or blanks, and ranges
// ("Mon-Fri"; "Fri-Mon" runs over the weekend). Empty: every day (the empty set).
Reading<DaySet> readDays(std::string_view text);
// The canonical text: ranges of three days or more, single days otherwise, in week order
// ("Mon-Fri", "Sat,Sun", "Mon,Wed,Fri", "Wed,Fri-Mon"); "" for the empty set.
std::string daysText(DaySet days);

// Time Limit: a whole number with an optional unit s, m or h in any case (none: seconds);
// empty or 0: no limit.
Reading<int32_t> readTimeLimit(std::string_view text);
// In the largest unit that holds it whole: "45m", "2h", "90s"; "" for no limit.
std::string timeLimitText(int32_t seconds);

// Folder: an absolute path or one beginning with "~/"; empty: none.
Reading<std::string> readFolder(std::string_view text);
// The folder to start in: "~/" is the user's home folder ($HOME, else the password
// database's). "" stays "" (the folder Morrowset runs in); none when "~/" is asked for and
// no home folder is known.
std::optional<std::string> startFolder(const std::string& folder);

// One row's rules.
struct RowRules {
    enum Field { Days, TimeLimit, Folder };
    static constexpr int kFields = 3;
    // The key of each field in the settings file: "Days", "Time Limit", "Folder".
    static std::string_view key(Field field);

    DaySet days = 0;               // the empty set: every day
    int32_t timeLimitSeconds = 0;  // 0: no limit
    std::string folder;            // as written ("~/reports"); "": Morrowset's own
    // Per field: why the file's value could not be read ("Days \"Mon-Frx\" cannot be
    // read: ..."), "" when it could. A field that could not be read keeps its default.
    std::array<std::string, kFields> unreadable;

    // Reads `text` as the value of `field`: sets the field, or leaves it at its default and
    // says why in `unreadable`.
    void set(Field field, std::string_view text);
    // The field's value as the file writes it; "" when it is at its default.
    std::string text(Field field) const;

    // No field that could not be read: the row may run.
    bool readable() const;
    // No rule and nothing unreadable: the row needs no section in the file.
    bool empty() const;
    // Whether a run whose time belongs to `date` obeys the days rule.
    bool runsOn(int32_t date) const;
    // The messages for fields that could not be read, for row `index` (0 to 5):
    // "Row 2: Days \"Mon-Frx\" cannot be read: ...".
    std::vector<std::string> messages(int index) const;

    bool operator==(const RowRules&) const = default;
};

// "Days \"Mon-Frx\" cannot be read: <fault>".
std::string cannotBeRead(RowRules::Field field, std::string_view text, std::string_view fault);

// The date of the next start of a row at `rowSeconds` (0 to 86400) that obeys `rules`,
// after `now`: the start is at rowSeconds on that date (for 24:00, the midnight that ends
// it). None when the rules cannot be read or the time can never come.
std::optional<int32_t> nextStartDate(const RowRules& rules, int32_t rowSeconds, platform::WallTime now);

// The settings file after its eighteen lines: the rules of the six rows and whatever else
// is there, kept line for line.
class SettingsTail {
public:
    static constexpr int kRows = kRowCount;
    using Rules = std::array<RowRules, kRows>;

    // Reads the bytes after the eighteenth line's end. Section names and keys are matched
    // without regard to case and blanks around them. A key of row N's sections ("[Row N]",
    // N 1 to 6) counts where it first comes; anything else is kept unread.
    static SettingsTail read(std::string_view text);

    const Rules& rules() const { return rules_; }

    // The tail with `rules` in place of the rules read. A value that did not change keeps
    // its lines as they were; a changed one is written in the place of the line that
    // counted, and the key's later lines go; a new one goes after the last line of the
    // row's first section, or in a new section at the end ("[Row N]", then the keys, each
    // line ending in CR LF); a section that lost its keys and holds nothing else goes with
    // them. Every other byte stays as it was.
    std::string write(const Rules& rules) const;

private:
    struct Line {
        std::string text;     // as read, line end included
        int field = -1;       // the field it sets in a row's section, -1 for none
        bool counts = false;  // the key's first line for its row
    };
    // A section, or what comes before the first: its lines in order, the header first.
    struct Section {
        int row = -1;        // -1: not a row's
        bool first = false;  // the row's first section
        std::vector<Line> lines;
    };
    std::string rowSection(const Section& section, const RowRules& rules) const;

    std::vector<Section> sections_;
    Rules rules_{};
    std::array<std::array<bool, RowRules::kFields>, kRows> keyed_{};  // a line sets the field
};

}  // namespace morrowset
