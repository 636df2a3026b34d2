#pragma once
// Runs and the run history's lines for them, as tests of what reads the history need them:
// runs of 2025-12-11 (UTC+1), each lasting 30 s, written by the history's own writer.
#include <optional>
#include <string>

#include "timetable/run_history.h"

namespace testsupport {

inline morrowset::Stamp historyStamp(int hour, int minute, int second = 0) {
    return {{20433, ((hour * 60 + minute) * 60 + second) * 1000}, 3600};
}

// Run `id` of `row` (1 to 6), due and started at hour:minute by the clock; its command
// line is "job-<id>".
inline morrowset::RunRecord historyRun(const std::string& id, int row, int hour, int minute) {
    morrowset::RunRecord record;
    record.id = id;
    record.row = row - 1;
    record.command = "job-" + id;
    record.trigger = morrowset::Trigger::Clock;
    record.due = historyStamp(hour, minute);
    record.started = historyStamp(hour, minute);
    record.pid = 100 + row;
    return record;
}

inline std::string startLine(const morrowset::RunRecord& record) { return morrowset::RunHistory::startLine(record); }

// Its end 30 s on, with its output file named as the launcher names it.
inline std::string endLine(morrowset::RunRecord record, std::optional<int> status, int signal = 0) {
    const int startSecond = record.started.local.millisecond / 1000;
    record.ended = historyStamp(startSecond / 3600, startSecond / 60 % 60, 30);
    record.durationMs = 30'000;
    record.exitStatus = status;
    record.signal = signal;
    record.output = "row" + std::to_string(record.row + 1) + "-" + record.id + ".log";
    return morrowset::RunHistory::endLine(record);
}

// Could not start: error 53.
inline std::string refusedLine(morrowset::RunRecord record) {
    record.pid = 0;
    record.error = 53;
    return morrowset::RunHistory::refusedLine(record);
}

// Row `row` skipped its start due at `due` ("08:21") while the clock was paused.
inline std::string skippedLine(int row, const std::string& due) {
    return R"({"event":"skipped","row":)" + std::to_string(row) + R"(,"due":"2025-12-11T)" + due +
           R"(:00+01:00","time":"2025-12-11T)" + due + R"(:00.120+01:00","reason":"paused"})" "\n";
}

}  // namespace testsupport
