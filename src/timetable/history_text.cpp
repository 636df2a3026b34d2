#include "timetable/history_text.h"

#include "timetable/run_text.h"

namespace morrowset::historytext {

namespace {

constexpr std::string_view kHeadings[kColumns] = {"Row", "Command", "Trigger", "Started", "Duration", "Result"};

// The trigger as the window names it: NOW is its button.
constexpr std::string_view kTriggerWords[] = {"clock", "NOW", "catch-up", "command"};

std::string result(const HistoryEntry& entry) {
    if (entry.run.result() == RunRecord::Result::Unseen) return "no end seen (Morrowset ended before it)";
    return runtext::outcome(entry.run);
}

std::string duration(const RunRecord& run) {
    return run.ended ? runtext::duration(run.durationMs) : std::string();
}

}  // namespace

std::string_view heading(Column column) { return kHeadings[static_cast<int>(column)]; }

std::string cell(const HistoryEntry& entry, Column column, platform::WallTime now) {
    const RunRecord& run = entry.run;
    switch (column) {
        case Column::Row: return std::to_string(run.row + 1);
        case Column::Command: return run.command;
        case Column::Trigger: return std::string(kTriggerWords[static_cast<int>(run.trigger)]);
        case Column::Started: return runtext::when(run.started, now);
        case Column::Duration: return duration(run);
        case Column::Result: return result(entry);
    }
    return {};
}

std::string summary(const HistoryEntry& entry, platform::WallTime now) {
    std::string text = "Row " + cell(entry, Column::Row, now) + ": " + entry.run.command + "\n";
    text += "started " + cell(entry, Column::Started, now) + " (" + cell(entry, Column::Trigger, now) + ")";
    if (entry.run.ended) text += ", ran " + cell(entry, Column::Duration, now);
    return text + ": " + result(entry);
}

}  // namespace morrowset::historytext
