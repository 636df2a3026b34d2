#include "timetable/run_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/error_texts.h"

namespace morrowset::runtext {

namespace {

constexpr int64_t kMinuteMs = 60'000;
constexpr int64_t kHourMs = 60 * kMinuteMs;
constexpr int64_t kDayMs = 24 * kHourMs;

std::string hoursMinutes(int32_t seconds) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", seconds / 3600, seconds / 60 % 60);
    return text;
}

// "in 3 h 12 min", counting a begun minute as a whole one.
std::string countdown(int64_t milliseconds) {
    const int64_t minutes = (milliseconds + kMinuteMs - 1) / kMinuteMs;
    if (minutes < 60) return "in " + std::to_string(minutes) + " min";
    return "in " + std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

bool scheduled(const Timetable::Row& row) {
    return row.state == Timetable::kChecked && row.canRun() && row.seconds.has_value();
}

std::string timeWord(const Timetable::Row& row) {
    if (!row.timeAsRead.empty()) return row.timeAsRead;
    if (row.rules.days != 0 && row.seconds && Timetable::isTimeOfDay(row.timeText))
        return scheduleText(*row.seconds, row.rules);
    return row.timeText == Timetable::kNoTime ? "-" : row.timeText;
}

std::string stateWord(const Timetable::Row& row) {
    if (row.state == Timetable::kGrayed || (row.state == Timetable::kChecked && !row.canRun()))
        return "grayed";
    return row.state == Timetable::kChecked ? "yes" : "no";
}

// Columns padded to their widest entry, two blanks apart; the last is not padded.
std::string table(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t column = 0; column + 1 < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    std::string text;
    for (const auto& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            text += row[column];
            if (column + 1 < row.size()) text += std::string(widths[column] - row[column].size() + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        text += '\n';
    }
    return text;
}

}  // namespace

std::string nextStart(const Timetable::Row& row, platform::WallTime now) {
    return scheduled(row) ? nextStart(*row.seconds, row.rules, now) : "not scheduled";
}

std::string nextStartWithRules(const Timetable::Row& row, platform::WallTime now) {
    if (!row.rules.readable()) {
        std::string text = "not scheduled";
        for (const std::string& message : row.rules.messages(0)) text += ": " + message.substr(message.find(':') + 2);
        return text;
    }
    const std::string next = nextStart(row, now);
    if (!scheduled(row) || row.rules.days == 0) return next;
    return next + " (" + scheduleText(*row.seconds, row.rules) + ")";
}

std::string nextStart(int32_t rowSeconds, const RowRules& rules, platform::WallTime now) {
    const std::optional<int32_t> date = nextStartDate(rules, rowSeconds, now);
    if (!date) return "not scheduled";
    const std::string time = hoursMinutes(rowSeconds);
    const int64_t start = int64_t{*date} * kDayMs + int64_t{rowSeconds} * 1000;
    if (*date == now.day) return "today " + time + ", " + countdown(start - now.position());
    if (*date == now.day + 1) return "tomorrow " + time;
    return std::string(dayName(weekdayOf(*date))) + " " + time;
}

std::string scheduleText(int32_t rowSeconds, const RowRules& rules) {
    static constexpr std::string_view kEnDash = "\xE2\x80\x93";  // in UTF-8
    const bool everyDay = rules.days == 0 || rules.days == kAllDays;
    std::string days = everyDay ? "every day" : daysText(rules.days);
    for (std::size_t dash = days.find('-'); dash != std::string::npos; dash = days.find('-', dash))
        days.replace(dash, 1, kEnDash);
    return days + " " + hoursMinutes(rowSeconds);
}

std::string when(const Stamp& stamp, platform::WallTime now) {
    const std::string iso = isoText(stamp, false);  // 2026-12-11T02:30:05+01:00
    const std::string time = iso.substr(11, 8);
    if (stamp.local.day == now.day) return "today " + time;
    if (stamp.local.day == now.day - 1) return "yesterday " + time;
    return iso.substr(0, 10) + " " + time;
}

namespace {

// "by the clock", "with NOW", "to catch up a missed start", "from the command line".
std::string cause(Trigger trigger) {
    switch (trigger) {
        case Trigger::Clock: return "by the clock";
        case Trigger::Now: return "with NOW";
        case Trigger::CatchUp: return "to catch up a missed start";
        case Trigger::Command: return "from the command line";
    }
    return {};
}

}  // namespace

std::string duration(int64_t milliseconds) {
    char text[48];
    if (milliseconds < 1000) {
        std::snprintf(text, sizeof text, "%lld ms", static_cast<long long>(milliseconds));
    } else if (milliseconds < kMinuteMs) {
        std::snprintf(text, sizeof text, "%lld.%lld s", static_cast<long long>(milliseconds / 1000),
                      static_cast<long long>(milliseconds % 1000 / 100));
    } else if (milliseconds < kHourMs) {
        std::snprintf(text, sizeof text, "%lld min %lld s", static_cast<long long>(milliseconds / kMinuteMs),
                      static_cast<long long>(milliseconds % kMinuteMs / 1000));
    } else if (milliseconds < kDayMs) {
        std::snprintf(text, sizeof text, "%lld h %lld min", static_cast<long long>(milliseconds / kHourMs),
                      static_cast<long long>(milliseconds % kHourMs / kMinuteMs));
    } else {
        std::snprintf(text, sizeof text, "%lld d %lld h", static_cast<long long>(milliseconds / kDayMs),
                      static_cast<long long>(milliseconds % kDayMs / kHourMs));
    }
    return text;
}

namespace {

struct SkipReason {
    std::string_view word;  // as the history writes it
    std::string_view text;
};
constexpr SkipReason kSkipReasons[] = {
    {"paused", "the clock was paused"},
};

// Why a run was skipped, in words: "the clock was paused"; a reason this program does not
// know (a later one wrote the history) as the history says it.
std::string_view skipReason(const RunRecord& run) {
    for (const SkipReason& reason : kSkipReasons)
        if (reason.word == run.skipped) return reason.text;
    return run.skipped;
}

}  // namespace

std::string skipped(const RunRecord& run) {
    return "skipped at " + isoText(run.due.value_or(run.started), false).substr(11, 5) + ": " +
           std::string(skipReason(run));
}

std::string outcome(const RunRecord& run) {
    if (run.refused())
        return "could not start: error " + std::to_string(run.error) + " (" + platform::standardErrorText(run.error) + ")";
    switch (run.result()) {
        case RunRecord::Result::Running: return "running";
        case RunRecord::Result::Unseen: return "end not seen";
        case RunRecord::Result::Skipped: return skipped(run);
        default: break;
    }
    const std::string cause = stopCause(run);
    const std::string stopped = cause.empty() ? cause : cause + ", ";
    if (run.signal) return stopped + "killed by " + signalName(run.signal);
    return stopped + (run.exitStatus ? "exit status " + std::to_string(*run.exitStatus) : "ended, status unknown");
}

std::string timeLimit(int32_t seconds) {
    const std::pair<int32_t, const char*> units[] = {
        {seconds / 3600, " h"}, {seconds / 60 % 60, " min"}, {seconds % 60, " s"}};
    std::string text;
    for (const auto& [count, unit] : units)
        if (count > 0) text += (text.empty() ? "" : " ") + std::to_string(count) + unit;
    return text;
}

std::string stopCause(const RunRecord& run) {
    switch (run.stopped) {
        case StopReason::None: return {};
        case StopReason::TimeLimit:
            return run.timeLimitSeconds > 0 ? "time limit " + timeLimit(run.timeLimitSeconds) + " reached"
                                            : "time limit reached";
        case StopReason::Stop: return "asked to stop";
    }
    return {};
}

std::string stoppedText(const RunRecord& run) {
    const std::string cause = stopCause(run);
    return cause.empty() ? cause : "Row " + std::to_string(run.row + 1) + " stopped: " + cause;
}

std::string toolTip(const RunRecord& run, const std::string& nextStart, platform::WallTime now) {
    if (run.result() == RunRecord::Result::Skipped)
        return "Last run: " + skipped(run) + ".\nNext start: " + nextStart + ".";
    std::string text = "Last run: started " + when(run.started, now) + " " + cause(run.trigger);
    if (run.due) text += " (due " + isoText(*run.due, false).substr(11, 5) + ")";
    text += ".\n";
    switch (run.result()) {
        case RunRecord::Result::Running: text += "Still running.\n"; break;
        case RunRecord::Result::Unseen: text += "Its end was not seen: Morrowset ended while it ran.\n"; break;
        case RunRecord::Result::Succeeded: text += "Ran " + duration(run.durationMs) + " and ended well (exit status 0).\n"; break;
        case RunRecord::Result::Skipped: break;
        case RunRecord::Result::Failed:
            text += run.refused() ? "It " + outcome(run) + ".\n"
                                  : "Ran " + duration(run.durationMs) + " and failed: " + outcome(run) + ".\n";
            break;
    }
    text += "Next start: " + nextStart + ".";
    if (!run.output.empty()) text += "\nClick to open its output.";
    return text;
}

std::string firstStart(const Timetable& timetable, platform::WallTime now) {
    std::optional<std::pair<int64_t, int>> first;  // when, and the row
    for (int index = 0; index < Timetable::kRows; ++index) {
        const Timetable::Row& row = timetable.row(index);
        if (!scheduled(row)) continue;
        const std::optional<int32_t> date = nextStartDate(row.rules, *row.seconds, now);
        if (!date) continue;
        const int64_t at = int64_t{*date} * kDayMs + int64_t{*row.seconds} * 1000;
        if (!first || at < first->first) first.emplace(at, index);
    }
    if (!first) return {};
    const Timetable::Row& row = timetable.row(first->second);
    return "row " + std::to_string(first->second + 1) + ", " + nextStart(*row.seconds, row.rules, now);
}

namespace {

// How long a run has gone at `now`, by the zone's offsets at its start and now, so that a
// change of the offset in between does not count.
int64_t runningMs(const Stamp& started, platform::WallTime now) {
    const Stamp at = stampOf(now);
    const int64_t ms = (at.local.position() - int64_t{at.utcOffsetSeconds} * 1000) -
                       (started.local.position() - int64_t{started.utcOffsetSeconds} * 1000);
    return std::max<int64_t>(ms, 0);
}

std::string resultWord(const RunRecord& run, platform::WallTime now) {
    if (run.result() == RunRecord::Result::Running) return outcome(run) + " " + duration(runningMs(run.started, now));
    return outcome(run);
}

std::string rowWord(int index, const std::optional<LiveState>& live) {
    const bool changed = live && live->changed[static_cast<std::size_t>(index)];
    return std::to_string(index + 1) + (changed ? "*" : "");
}

std::string nextWord(const Timetable::Row& row, platform::WallTime now, const std::optional<LiveState>& live) {
    if (live && live->paused && scheduled(row)) return "paused";
    return nextStart(row, now);
}

// The lines after the table that say what only the running program knows.
std::string liveNotes(const LiveState& live) {
    std::string notes;
    if (live.paused) notes += "The clock is paused: no row starts at its time until Start Program is clicked.\n";
    if (std::find(live.changed.begin(), live.changed.end(), true) != live.changed.end())
        notes += "* changed since the last Save\n";
    return notes;
}

}  // namespace

std::string statusTable(const Timetable& timetable, platform::WallTime now, const std::optional<LiveState>& live) {
    std::vector<std::vector<std::string>> rows{{"ROW", "ENABLED", "TIME", "NEXT", "LAST", "RESULT", "COMMAND"}};
    for (int index = 0; index < Timetable::kRows; ++index) {
        const Timetable::Row& row = timetable.row(index);
        const std::optional<RunRecord>& last = row.lastRun;
        rows.push_back({rowWord(index, live), stateWord(row), timeWord(row), nextWord(row, now, live),
                        last ? when(last->started, now) : "-", last ? resultWord(*last, now) : "-", row.commandLine});
    }
    return table(rows) + (live ? liveNotes(*live) : std::string());
}

}  // namespace morrowset::runtext
