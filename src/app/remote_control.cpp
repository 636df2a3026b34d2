#include "app/remote_control.h"

#include <chrono>

#include "platform/app_object.h"
#include "platform/instance_channel.h"
#include "timetable/run_text.h"
#include "timetable/scheduler.h"
#include "timetable/status_report.h"

namespace morrowset::remote {

namespace {

using Kind = Request::Kind;

struct RequestWord {
    Kind kind;
    std::string_view word;
    bool takesRow;
};
constexpr RequestWord kRequestWords[] = {
    {Kind::Status, "status", false},
    {Kind::Run, "run", true},
    {Kind::Stop, "stop", true},
};

// The answer's kinds of line.
constexpr std::string_view kOut = "out ";
constexpr std::string_view kErr = "err ";
constexpr std::string_view kExit = "exit ";

// Long enough for a first instance whose event loop is busy for a moment; a script is never
// held longer than this.
constexpr std::chrono::milliseconds kPatience{5000};

const RequestWord& wordOf(Kind kind) {
    for (const RequestWord& word : kRequestWords)
        if (word.kind == kind) return word;
    return kRequestWords[0];
}

// "1" to "6" as the row 0 to 5.
std::optional<int> rowNamed(std::string_view text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '6') return std::nullopt;
    return text[0] - '1';
}

// `text` as lines each after `prefix`; a last line without its end gets one.
std::string prefixedLines(std::string_view prefix, std::string_view text) {
    std::string lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.append(prefix).append(text.substr(at, end - at)).push_back('\n');
        at = end + 1;
    }
    return lines;
}

std::optional<int> exitStatusNamed(std::string_view text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    int status = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        status = status * 10 + (c - '0');
    }
    return status <= 255 ? std::optional<int>(status) : std::nullopt;
}

// ---- The first instance ----

std::string rowName(int row) { return "row " + std::to_string(row + 1); }

Reply refused(const std::string& why) {
    return {kRefused, "", platform::app().exeName() + ": " + why + "\n"};
}

// Why a row cannot start as NOW starts it; "" when it can.
std::string whyNotStarting(const Timetable::Row& row) {
    if (row.commandLine.empty()) return "has no command line";
    if (row.state == Timetable::kGrayed) return "is grayed, not checked";
    if (row.state != Timetable::kChecked) return "is not checked";
    return {};
}

Reply startRow(Scheduler& scheduler, int row) {
    const Timetable::Row& shown = scheduler.timetable().row(row);
    if (const std::string why = whyNotStarting(shown); !why.empty()) return refused(rowName(row) + " " + why);
    const std::string lastBefore = shown.lastRun ? shown.lastRun->id : std::string();
    scheduler.startByCommand(static_cast<int16_t>(row));
    const std::optional<RunRecord>& last = scheduler.timetable().row(row).lastRun;
    if (last && last->id != lastBefore && last->refused()) return refused(rowName(row) + " " + runtext::outcome(*last));
    return {};
}

Reply stopRow(Scheduler& scheduler, int row) {
    Launcher& launcher = scheduler.launcher();
    if (!launcher.runningIn(row) || !launcher.stop(row)) return refused("nothing of " + rowName(row) + " is running");
    return {};
}

Reply status(const Scheduler& scheduler, platform::WallTime now) {
    const StatusReport report = runningStatusReport(scheduler, now);
    return {kDone, report.table, report.problem};
}

// A request line that is none, shown without its control characters.
std::string shown(std::string_view line) {
    std::string text;
    for (const char c : line.substr(0, 40)) text.push_back(static_cast<unsigned char>(c) < 0x20 ? '?' : c);
    return text;
}

}  // namespace

std::string requestLine(const Request& request) {
    const RequestWord& word = wordOf(request.kind);
    return std::string(word.word) + (word.takesRow ? " " + std::to_string(request.row + 1) : std::string());
}

std::optional<Request> parseRequest(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t blank = line.find(' ');
    const std::string_view first = line.substr(0, blank);
    for (const RequestWord& word : kRequestWords) {
        if (word.word != first) continue;
        if (!word.takesRow) return blank == std::string_view::npos ? std::optional<Request>({word.kind, 0}) : std::nullopt;
        if (blank == std::string_view::npos) return std::nullopt;
        const std::optional<int> row = rowNamed(line.substr(blank + 1));
        return row ? std::optional<Request>({word.kind, *row}) : std::nullopt;
    }
    return std::nullopt;
}

std::string replyText(const Reply& reply) {
    return prefixedLines(kOut, reply.out) + prefixedLines(kErr, reply.err) + std::string(kExit) +
           std::to_string(reply.exitStatus) + "\n";
}

std::optional<Reply> parseReply(std::string_view text) {
    Reply reply;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) return std::nullopt;  // cut off within a line
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.starts_with(kOut)) {
            reply.out.append(line.substr(kOut.size())).push_back('\n');
        } else if (line.starts_with(kErr)) {
            reply.err.append(line.substr(kErr.size())).push_back('\n');
        } else if (line.starts_with(kExit)) {
            const std::optional<int> status = exitStatusNamed(line.substr(kExit.size()));
            if (!status || at != text.size()) return std::nullopt;  // the exit line comes last
            reply.exitStatus = *status;
            return reply;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;  // no exit line
}

Reply answer(Scheduler& scheduler, const Request& request, platform::WallTime now) {
    switch (request.kind) {
        case Kind::Status: return status(scheduler, now);
        case Kind::Run: return startRow(scheduler, request.row);
        case Kind::Stop: return stopRow(scheduler, request.row);
    }
    return {};
}

std::string answerLine(Scheduler& scheduler, const std::string& line) {
    const std::optional<Request> request = parseRequest(line);
    if (!request) return replyText(refused("no such request: \"" + shown(line) + "\""));
    return replyText(answer(scheduler, *request, platform::wallNow()));
}

Asked ask(const std::string& instanceName, const Request& request) {
    using Status = platform::InstanceAnswer::Status;
    const platform::InstanceAnswer answer = platform::askInstance(instanceName, requestLine(request), kPatience);
    if (answer.status == Status::NotRunning) return {Asked::Outcome::NotRunning, {}};
    // A Morrowset from before these requests takes the connection for a later start and
    // closes it without a word.
    const std::optional<Reply> reply = answer.status == Status::Answered ? parseReply(answer.text) : std::nullopt;
    if (!reply) return {Asked::Outcome::NoAnswer, {}};
    return {Asked::Outcome::Answered, *reply};
}

}  // namespace morrowset::remote
