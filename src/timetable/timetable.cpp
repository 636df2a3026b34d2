#include "timetable/timetable.h"

#include "platform/error_texts.h"
#include "platform/runtime_error.h"

namespace morrowset {

namespace {

constexpr char kPrompt = '#';

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool digitOrPrompt(char c) { return isDigit(c) || c == kPrompt; }

// The number of two characters that are both digits, else -1.
int twoDigits(char tens, char ones) { return isDigit(tens) && isDigit(ones) ? (tens - '0') * 10 + (ones - '0') : -1; }

}  // namespace

bool Timetable::Row::canRun() const { return isTimeOfDay(timeText) && !commandLine.empty() && rules.readable(); }

bool Timetable::fitsTimeBox(std::string_view text) {
    return text.size() == 5 && digitOrPrompt(text[0]) && digitOrPrompt(text[1]) && text[2] == ':' &&
           digitOrPrompt(text[3]) && digitOrPrompt(text[4]);
}

Timetable::TimeReading Timetable::readTime(std::string_view text) {
    if (text == kNoTime) return {TimeFault::NoTime};
    if (text.find(kPrompt) != std::string_view::npos) return {TimeFault::Incomplete};
    const int hour = text.size() == 5 && text[2] == ':' ? twoDigits(text[0], text[1]) : -1;
    if (hour < 0 || hour > 24) return {TimeFault::Hour};
    const int minute = twoDigits(text[3], text[4]);
    // 24 o'clock is midnight at the end of the day; 24:01 and later never come.
    if (minute < 0 || minute > 59 || (hour == 24 && minute != 0)) return {TimeFault::Minute};
    return {TimeFault::None, hour * 3600 + minute * 60};
}

std::string Timetable::withoutLineBreaks(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

void Timetable::setState(int index, int32_t state) {
    if (state < kUnchecked || state > kGrayed) platform::raiseError(platform::kInvalidPropertyValue);
    Row& row = changing(index);
    if (row.state == state) return;
    row.state = static_cast<int16_t>(state);
    changed(index);
}

void Timetable::setCommandLine(int index, std::string_view bytes) {
    Row& row = changing(index);
    std::string line = withoutLineBreaks(bytes);
    if (row.commandLine == line) return;
    row.commandLine = std::move(line);
    changed(index);
}

void Timetable::setTimeText(int index, std::string_view text) {
    if (!fitsTimeBox(text)) platform::raiseError(platform::kInvalidPropertyValue);
    Row& row = changing(index);
    if (row.timeText == text && row.timeAsRead.empty()) return;
    row.timeText = text;
    row.timeAsRead.clear();
    changed(index);
}

void Timetable::setRules(int index, const RowRules& rules) {
    Row& row = changing(index);
    if (row.rules == rules) return;
    row.rules = rules;
    changed(index);
}

void Timetable::setTimeAsRead(int index, std::string_view text) {
    Row& row = changing(index);
    if (row.timeAsRead == text) return;
    row.timeAsRead = text;
    changed(index);
}

void Timetable::setSeconds(int index, int32_t seconds) {
    Row& row = changing(index);
    if (row.seconds == seconds) return;
    row.seconds = seconds;
    changed(index);
}

void Timetable::setLastRun(int index, const RunRecord& run) {
    Row& row = changing(index);
    if (row.lastRun && row.lastRun->id != run.id && row.lastRun->started.local.position() > run.started.local.position())
        return;
    row.lastRun = run;
    changed(index);
}

TickSchedule::Rows Timetable::rows() const {
    TickSchedule::Rows schedule;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Row& row = rows_[i];
        schedule[i] = {row.state == kChecked && row.seconds && isTimeOfDay(row.timeText) && row.rules.readable(),
                       row.seconds.value_or(0), row.rules.days};
    }
    return schedule;
}

// A row that cannot run is grayed by the clock whatever its box said.
Timetable::Saved Timetable::savedForm(const Row& row) {
    return {row.canRun() ? row.state : kGrayed, row.commandLine, row.timeText, row.rules};
}

void Timetable::markSaved() {
    for (std::size_t i = 0; i < rows_.size(); ++i) saved_[i] = savedForm(rows_[i]);
}

bool Timetable::changedSinceSave(int index) const {
    return savedForm(row(index)) != saved_.at(static_cast<std::size_t>(index));
}

void Timetable::changed(int index) const {
    ++revision_;
    if (onChange_) onChange_(index);
}

}  // namespace morrowset
