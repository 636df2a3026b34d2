#include "timetable/history_event.h"

#include <algorithm>
#include <utility>

#include "timetable/json_line.h"
#include "timetable/row_count.h"

namespace morrowset {

namespace {

constexpr int kRows = kRowCount;

struct KindName {
    std::string_view name;
    HistoryEvent::Kind kind;
};
constexpr KindName kKinds[] = {
    {"start", HistoryEvent::Kind::Start},
    {"end", HistoryEvent::Kind::End},
    {"refused", HistoryEvent::Kind::Refused},
    {"skipped", HistoryEvent::Kind::Skipped},
};

std::optional<HistoryEvent::Kind> kindNamed(std::string_view name) {
    for (const KindName& kind : kKinds)
        if (kind.name == name) return kind.kind;
    return std::nullopt;
}

const std::string* stringOf(const json::Object& object, std::string_view key) {
    const auto found = object.find(key);
    return found != object.end() && found->second.kind == json::Value::Kind::String ? &found->second.bytes : nullptr;
}

std::optional<int64_t> numberOf(const json::Object& object, std::string_view key) {
    const auto found = object.find(key);
    if (found == object.end() || found->second.kind != json::Value::Kind::Number) return std::nullopt;
    return found->second.number;
}

// What every event of a run says of it.
void readRun(const json::Object& line, RunRecord& run) {
    if (const std::string* command = stringOf(line, "command")) run.command = *command;
    if (const std::string* trigger = stringOf(line, "trigger")) run.trigger = triggerNamed(*trigger).value_or(Trigger::Now);
    run.pid = static_cast<int>(numberOf(line, "pid").value_or(0));
}

void readEnd(const json::Object& line, const Stamp& time, RunRecord& run) {
    run.ended = time;
    run.durationMs = numberOf(line, "duration_ms").value_or(0);
    const std::optional<int64_t> status = numberOf(line, "exit_status");
    run.exitStatus = status ? std::optional<int>(static_cast<int>(*status)) : std::nullopt;
    const std::string* signal = stringOf(line, "signal");
    run.signal = signal ? signalNumber(*signal) : 0;
    if (const std::string* output = stringOf(line, "output")) run.output = *output;
    run.cutBytes = std::max<int64_t>(0, numberOf(line, "cut_bytes").value_or(0));
    const std::string* stopped = stringOf(line, "stopped");
    run.stopped = stopped ? stopReasonNamed(*stopped).value_or(StopReason::None) : StopReason::None;
    run.started = {platform::WallTime::atPosition(time.local.position() - run.durationMs), time.utcOffsetSeconds};
}

}  // namespace

std::optional<HistoryEvent> readHistoryEvent(std::string_view text) {
    const std::optional<json::Object> line = json::readLine(text);
    if (!line) return std::nullopt;
    const std::string* event = stringOf(*line, "event");
    const std::string* id = stringOf(*line, "run");
    const std::optional<int64_t> row = numberOf(*line, "row");
    const std::string* timeText = stringOf(*line, "time");
    const std::optional<Stamp> time = timeText ? stampFromIso(*timeText) : std::nullopt;
    const std::optional<HistoryEvent::Kind> kind = event ? kindNamed(*event) : std::nullopt;
    if (!kind || !row || *row < 1 || *row > kRows || !time) return std::nullopt;
    if (*kind != HistoryEvent::Kind::Skipped && !id) return std::nullopt;

    HistoryEvent result;
    result.kind = *kind;
    RunRecord& run = result.run;
    run.row = static_cast<int>(*row) - 1;
    run.started = *time;
    if (const std::string* due = stringOf(*line, "due")) run.due = stampFromIso(*due);
    if (id) run.id = *id;
    readRun(*line, run);
    if (*kind == HistoryEvent::Kind::Skipped) {
        const std::string* reason = stringOf(*line, "reason");
        if (!reason || reason->empty()) return std::nullopt;
        run.trigger = Trigger::Clock;
        run.skipped = *reason;
        return result;
    }
    if (*kind == HistoryEvent::Kind::End) readEnd(*line, *time, run);
    if (*kind == HistoryEvent::Kind::Refused) {
        const std::optional<int64_t> error = numberOf(*line, "error");
        if (!error || *error == 0) return std::nullopt;
        run.error = static_cast<int32_t>(*error);
    }
    return result;
}

void takeEnd(RunRecord& run, const RunRecord& end) {
    run.ended = end.ended;
    run.durationMs = end.durationMs;
    run.exitStatus = end.exitStatus;
    run.signal = end.signal;
    run.stopped = end.stopped;
    run.cutBytes = end.cutBytes;
    run.endUnseen = false;
    if (!end.output.empty()) run.output = end.output;
}

}  // namespace morrowset
