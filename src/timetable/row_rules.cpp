#include "timetable/row_rules.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "platform/app_folder.h"

namespace morrowset {

namespace {

constexpr int32_t kSecondsPerDay = 86400;
constexpr int64_t kMillisecondsPerDay = int64_t{kSecondsPerDay} * 1000;

constexpr std::array<std::string_view, kDaysPerWeek> kShortDayNames = {"Mon", "Tue", "Wed", "Thu",
                                                                       "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, kDaysPerWeek> kDayNames = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                                  "Friday", "Saturday", "Sunday"};
constexpr std::array<std::string_view, RowRules::kFields> kKeys = {"Days", "Time Limit", "Folder"};

// 1970-01-01 was a Thursday.
constexpr int kWeekdayOfDayZero = 3;

int64_t floorDivide(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool sameWithoutCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<int> weekdayNamed(std::string_view name) {
    for (int day = 0; day < kDaysPerWeek; ++day)
        if (sameWithoutCase(name, kShortDayNames[static_cast<std::size_t>(day)])) return day;
    return std::nullopt;
}

// The days from `first` to `last`, going on over Sunday to Monday when `last` comes first.
DaySet dayRange(int first, int last) {
    DaySet days = 0;
    for (int day = first;; day = (day + 1) % kDaysPerWeek) {
        days |= dayBit(day);
        if (day == last) return days;
    }
}

// Reads "Mon-Fri, Sat": day names and ranges between separators (commas and blanks).
class DaysReader {
public:
    explicit DaysReader(std::string_view text) : text_(text) {}

    Reading<DaySet> read() {
        Reading<DaySet> reading;
        for (skipSeparators(); pos_ < text_.size() && reading.ok(); skipSeparators()) {
            const std::optional<int> first = day(reading.fault);
            if (!first) break;
            skipBlanks();
            if (pos_ < text_.size() && text_[pos_] == '-') {
                ++pos_;
                skipBlanks();
                const std::optional<int> last = day(reading.fault);
                if (!last) break;
                reading.value |= dayRange(*first, *last);
            } else {
                reading.value |= dayBit(*first);
            }
        }
        if (!reading.ok()) reading.value = 0;
        return reading;
    }

private:
    // The day name at the reading place; none, with the fault, when there is none.
    std::optional<int> day(std::string& fault) {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !isSeparator(text_[pos_]) && text_[pos_] != '-') ++pos_;
        const std::string_view name = text_.substr(start, pos_ - start);
        if (name.empty()) {
            fault = "a range needs a day on each side of \"-\"";
            return std::nullopt;
        }
        const std::optional<int> weekday = weekdayNamed(name);
        if (!weekday) fault = "\"" + std::string(name) + "\" is not a day name (Mon, Tue, Wed, Thu, Fri, Sat, Sun)";
        return weekday;
    }
    static bool isSeparator(char c) { return c == ',' || isBlank(c); }
    void skipSeparators() {
        while (pos_ < text_.size() && isSeparator(text_[pos_])) ++pos_;
    }
    void skipBlanks() {
        while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// A run of days in the week: `length` days from `first` on, maybe over Sunday to Monday.
struct DayRun {
    int first;
    int length;
};

// The runs of `days`, each as long as it can be (a run through Sunday and Monday is one).
std::vector<DayRun> dayRuns(DaySet days) {
    std::vector<DayRun> runs;
    // Start after a day not in the set, so that no run is cut at the week's end.
    int start = 0;
    while (days & dayBit(start)) ++start;
    for (int step = 1; step <= kDaysPerWeek; ++step) {
        const int day = (start + step) % kDaysPerWeek;
        if (!(days & dayBit(day))) continue;
        if (!runs.empty() && (runs.back().first + runs.back().length) % kDaysPerWeek == day)
            ++runs.back().length;
        else
            runs.push_back({day, 1});
    }
    return runs;
}

struct UnitOfTime {
    char letter;
    int32_t seconds;
};
constexpr UnitOfTime kUnits[] = {{'h', 3600}, {'m', 60}, {'s', 1}};
constexpr int64_t kLongestTimeLimit = std::numeric_limits<int32_t>::max();

// The unit a time limit's text ends in, in any case; seconds when it has none.
const UnitOfTime* unitNamed(std::string_view name) {
    if (name.empty()) return &kUnits[std::size(kUnits) - 1];  // seconds
    for (const UnitOfTime& unit : kUnits)
        if (name.size() == 1 && std::tolower(static_cast<unsigned char>(name.front())) == unit.letter) return &unit;
    return nullptr;
}

}  // namespace

int weekdayOf(int32_t date) {
    const int64_t days = int64_t{date} + kWeekdayOfDayZero;
    return static_cast<int>(days - floorDivide(days, kDaysPerWeek) * kDaysPerWeek);
}

std::string_view shortDayName(int weekday) { return kShortDayNames.at(static_cast<std::size_t>(weekday)); }
std::string_view dayName(int weekday) { return kDayNames.at(static_cast<std::size_t>(weekday)); }

int32_t dueDate(int64_t dueSecond, int32_t rowSeconds) {
    return static_cast<int32_t>(floorDivide(dueSecond - rowSeconds, kSecondsPerDay));
}

Reading<DaySet> readDays(std::string_view text) { return DaysReader(trimmed(text)).read(); }

std::string daysText(DaySet days) {
    if ((days & kAllDays) == kAllDays) return "Mon-Sun";
    std::vector<DayRun> runs = dayRuns(days & kAllDays);
    // Runs of one or two days are written day by day; then all in week order by first day.
    std::vector<DayRun> items;
    for (const DayRun& run : runs) {
        if (run.length >= 3) items.push_back(run);
        else
            for (int i = 0; i < run.length; ++i) items.push_back({(run.first + i) % kDaysPerWeek, 1});
    }
    std::sort(items.begin(), items.end(), [](const DayRun& a, const DayRun& b) { return a.first < b.first; });
    std::string text;
    for (const DayRun& item : items) {
        if (!text.empty()) text += ',';
        text += shortDayName(item.first);
        if (item.length > 1) {
            text += '-';
            text += shortDayName((item.first + item.length - 1) % kDaysPerWeek);
        }
    }
    return text;
}

Reading<int32_t> readTimeLimit(std::string_view text) {
    text = trimmed(text);
    Reading<int32_t> reading;
    if (text.empty()) return reading;
    std::size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
    const UnitOfTime* unit = unitNamed(trimmed(text.substr(digits)));
    if (digits == 0 || !unit) {
        reading.fault = "a time limit is a whole number with an optional unit s, m or h (\"45m\")";
        return reading;
    }
    int64_t number = 0;
    for (const char digit : text.substr(0, digits))
        if ((number = number * 10 + (digit - '0')) > kLongestTimeLimit) break;
    if (number * unit->seconds > kLongestTimeLimit) {
        reading.fault = "the longest time limit is " + timeLimitText(static_cast<int32_t>(kLongestTimeLimit / 3600 * 3600));
        return reading;
    }
    reading.value = static_cast<int32_t>(number * unit->seconds);
    return reading;
}

std::string timeLimitText(int32_t seconds) {
    if (seconds <= 0) return {};
    for (const UnitOfTime& unit : kUnits)
        if (seconds % unit.seconds == 0) return std::to_string(seconds / unit.seconds) + unit.letter;
    return {};
}

Reading<std::string> readFolder(std::string_view text) {
    text = trimmed(text);
    Reading<std::string> reading;
    const bool controlCharacter =
        std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (controlCharacter) {
        reading.fault = "a folder name holds no control characters";
    } else if (!text.empty() && !text.starts_with('/') && !text.starts_with("~/")) {
        reading.fault = "a folder is an absolute path (\"/...\") or one in the home folder (\"~/...\")";
    } else {
        reading.value = text;
    }
    return reading;
}

std::optional<std::string> startFolder(const std::string& folder) {
    if (!folder.starts_with("~/")) return folder;
    const std::string home = platform::homeFolder();
    if (home.empty()) return std::nullopt;
    return home + folder.substr(1);
}

std::string_view RowRules::key(Field field) { return kKeys.at(static_cast<std::size_t>(field)); }

std::string cannotBeRead(RowRules::Field field, std::string_view text, std::string_view fault) {
    return std::string(RowRules::key(field)) + " \"" + std::string(text) + "\" cannot be read: " + std::string(fault);
}

void RowRules::set(Field field, std::string_view text) {
    std::string fault;
    switch (field) {
        case Days: {
            const Reading<DaySet> reading = readDays(text);
            days = reading.value, fault = reading.fault;
            break;
        }
        case TimeLimit: {
            const Reading<int32_t> reading = readTimeLimit(text);
            timeLimitSeconds = reading.value, fault = reading.fault;
            break;
        }
        case Folder: {
            Reading<std::string> reading = readFolder(text);
            folder = std::move(reading.value), fault = reading.fault;
            break;
        }
    }
    unreadable.at(field) = fault.empty() ? std::string() : cannotBeRead(field, trimmed(text), fault);
}

std::string RowRules::text(Field field) const {
    switch (field) {
        case Days: return daysText(days);
        case TimeLimit: return timeLimitText(timeLimitSeconds);
        case Folder: return folder;
    }
    return {};
}

bool RowRules::readable() const {
    return std::all_of(unreadable.begin(), unreadable.end(), [](const std::string& why) { return why.empty(); });
}

bool RowRules::empty() const { return readable() && days == 0 && timeLimitSeconds == 0 && folder.empty(); }

bool RowRules::runsOn(int32_t date) const { return days == 0 || (days & dayBit(weekdayOf(date))) != 0; }

std::vector<std::string> RowRules::messages(int index) const {
    std::vector<std::string> texts;
    for (const std::string& why : unreadable)
        if (!why.empty()) texts.push_back("Row " + std::to_string(index + 1) + ": " + why);
    return texts;
}

std::optional<int32_t> nextStartDate(const RowRules& rules, int32_t rowSeconds, platform::WallTime now) {
    if (!rules.readable() || rowSeconds < 0 || rowSeconds > kSecondsPerDay) return std::nullopt;
    // A week and a day: today's time may have passed, and the same weekday comes again.
    for (int32_t date = now.day; date <= now.day + kDaysPerWeek; ++date) {
        const int64_t start = int64_t{date} * kMillisecondsPerDay + int64_t{rowSeconds} * 1000;
        if (start > now.position() && rules.runsOn(date)) return date;
    }
    return std::nullopt;
}

// The settings file's tail.

namespace {

// The lines of `text`, each with its line end ("" after a last line without one).
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

// The line's end as it has it: "\r\n", "\n" or "".
std::string_view lineEnd(std::string_view line) {
    if (line.ends_with("\r\n")) return line.substr(line.size() - 2);
    if (line.ends_with('\n')) return line.substr(line.size() - 1);
    return {};
}

// The section a header line names: its name between the brackets; none for another line.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trimmed(line.substr(0, line.size() - lineEnd(line).size()));
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
    return trimmed(line.substr(1, line.size() - 2));
}

// The row (0 to 5) a section name "Row N" names; none for another name.
std::optional<int> rowNamed(std::string_view name) {
    if (name.size() < 4 || !sameWithoutCase(name.substr(0, 3), "row")) return std::nullopt;
    const std::string_view number = trimmed(name.substr(3));
    if (number.size() != 1 || number[0] < '1' || number[0] > '0' + SettingsTail::kRows) return std::nullopt;
    return number[0] - '1';
}

bool isBlankLine(std::string_view line) { return trimmed(line.substr(0, line.size() - lineEnd(line).size())).empty(); }

bool isComment(std::string_view line) {
    const std::string_view text = trimmed(line);
    return text.starts_with(';') || text.starts_with('#');
}

// The field a "key=value" line sets, with its value; none for another line.
std::optional<std::pair<RowRules::Field, std::string_view>> keyLine(std::string_view line) {
    line = line.substr(0, line.size() - lineEnd(line).size());
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || isComment(line)) return std::nullopt;
    const std::string_view key = trimmed(line.substr(0, equals));
    for (int field = 0; field < RowRules::kFields; ++field)
        if (sameWithoutCase(key, kKeys[static_cast<std::size_t>(field)]))
            return std::pair{static_cast<RowRules::Field>(field), trimmed(line.substr(equals + 1))};
    return std::nullopt;
}

std::string keyValueLine(RowRules::Field field, const std::string& value, std::string_view end) {
    return std::string(RowRules::key(field)) + "=" + value + std::string(end);
}

constexpr std::string_view kCrLf = "\r\n";

void endLastLine(std::string& text) {
    if (!text.empty() && text.back() != '\n') text += kCrLf;
}

// Whether `field` of `now` says what it said when read: then its line stays as it was.
bool unchanged(const RowRules& read, const RowRules& now, RowRules::Field field) {
    return read.text(field) == now.text(field) && read.unreadable.at(field) == now.unreadable.at(field);
}

}  // namespace

SettingsTail SettingsTail::read(std::string_view text) {
    SettingsTail tail;
    tail.sections_.push_back({});  // what comes before the first section
    std::array<bool, kRows> rowSeen{};
    for (std::string_view line : linesOf(text)) {
        if (const std::optional<std::string_view> name = sectionName(line)) {
            const int row = rowNamed(*name).value_or(-1);
            const bool first = row >= 0 && !rowSeen[static_cast<std::size_t>(row)];
            if (first) rowSeen[static_cast<std::size_t>(row)] = true;
            tail.sections_.push_back({row, first, {}});
        }
        Section& section = tail.sections_.back();
        Line kept{std::string(line)};
        if (section.row >= 0) {
            if (const auto key = keyLine(line)) {
                const auto row = static_cast<std::size_t>(section.row);
                bool& keyed = tail.keyed_[row][static_cast<std::size_t>(key->first)];
                kept.field = key->first;
                kept.counts = !keyed;
                if (kept.counts) tail.rules_[row].set(key->first, key->second);
                keyed = true;
            }
        }
        section.lines.push_back(std::move(kept));
    }
    return tail;
}

std::string SettingsTail::rowSection(const Section& section, const RowRules& rules) const {
    const auto row = static_cast<std::size_t>(section.row);
    const RowRules& read = rules_[row];
    std::vector<std::string> lines;
    bool removed = false;
    for (const Line& line : section.lines) {
        const auto field = static_cast<RowRules::Field>(line.field);
        if (line.field < 0 || unchanged(read, rules, field) || !rules.unreadable.at(field).empty())
            lines.push_back(line.text);
        else if (line.counts && !rules.text(field).empty())
            lines.push_back(keyValueLine(field, rules.text(field), lineEnd(line.text)));
        else
            removed = true;
    }
    std::vector<std::string> added;
    for (int f = 0; f < RowRules::kFields && section.first; ++f) {
        const auto field = static_cast<RowRules::Field>(f);
        if (!keyed_[row][static_cast<std::size_t>(f)] && !rules.text(field).empty())
            added.push_back(keyValueLine(field, rules.text(field), kCrLf));
    }
    if (!added.empty()) {
        // After the section's last line that is not blank (its header at least).
        std::size_t last = 0;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (!isBlankLine(lines[i])) last = i;
        endLastLine(lines[last]);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last) + 1, added.begin(), added.end());
    }
    const bool holdsNothing = std::all_of(lines.begin() + 1, lines.end(), isBlankLine);
    if (removed && holdsNothing) return {};
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

std::string SettingsTail::write(const Rules& rules) const {
    std::string text;
    std::array<bool, kRows> written{};
    for (const Section& section : sections_) {
        if (section.row < 0) {
            for (const Line& line : section.lines) text += line.text;
            continue;
        }
        written[static_cast<std::size_t>(section.row)] = true;
        text += rowSection(section, rules[static_cast<std::size_t>(section.row)]);
    }
    for (int row = 0; row < kRows; ++row) {
        const RowRules& rowRules = rules[static_cast<std::size_t>(row)];
        if (written[static_cast<std::size_t>(row)] || rowRules.empty()) continue;
        std::string keys;
        for (int f = 0; f < RowRules::kFields; ++f) {
            const auto field = static_cast<RowRules::Field>(f);
            if (!rowRules.text(field).empty()) keys += keyValueLine(field, rowRules.text(field), kCrLf);
        }
        if (keys.empty()) continue;
        endLastLine(text);
        text += "[Row " + std::to_string(row + 1) + "]" + std::string(kCrLf) + keys;
    }
    return text;
}

}  // namespace morrowset
