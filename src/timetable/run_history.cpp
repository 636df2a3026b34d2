#include "timetable/run_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "timetable/json_line.h"
#include "timetable/run_output.h"
#include "platform/app_object.h"
#include "platform/file_io.h"
#include "platform/log_open.h"

namespace morrowset {

namespace {

// A history file larger than this (another program wrote to it) is read from its last
// kMaxReadBytes on.
constexpr long kMaxReadBytes = 4 * RunHistory::kRotateAtBytes;

json::LineWriter eventLine(std::string_view event, const RunRecord& run, const Stamp& time) {
    json::LineWriter line;
    line.string("event", event)
        .string("run", run.id)
        .number("row", run.row + 1)
        .string("command", run.command)
        .string("trigger", triggerName(run.trigger))
        .stringOrNull("due", run.due ? std::optional(isoText(*run.due, false)) : std::nullopt)
        .string("time", isoText(time))
        .numberOrNull("pid", run.pid > 0 ? std::optional<int64_t>(run.pid) : std::nullopt);
    return line;
}

// The user's own history file, read whole (or its tail when it is far too large).
std::string readOwnFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()) {
        const off_t start = info.st_size > kMaxReadBytes ? info.st_size - kMaxReadBytes : 0;
        text.resize(static_cast<std::size_t>(info.st_size - start));
        std::size_t have = 0;
        while (have < text.size()) {
            const ssize_t got = ::pread(fd, text.data() + have, text.size() - have, start + static_cast<off_t>(have));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            have += static_cast<std::size_t>(got);
        }
        text.resize(have);
        if (start > 0) text.erase(0, text.find('\n') + 1);  // a line cut by starting mid-file
    }
    ::close(fd);
    return text;
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

// Folds the history's events into runs and keeps each row's last one.
class RunFolder {
public:
    void add(const json::Object& line) {
        const std::string* event = stringOf(line, "event");
        const std::string* id = stringOf(line, "run");
        const std::optional<int64_t> row = numberOf(line, "row");
        const std::string* time = stringOf(line, "time");
        const std::optional<Stamp> stamp = time ? stampFromIso(*time) : std::nullopt;
        const std::optional<int64_t> error = numberOf(line, "error");
        if (!event || !id || !row || *row < 1 || *row > RunHistory::kRows || !stamp) return;
        const std::string* reason = stringOf(line, "reason");
        if (*event != "start" && *event != "end" && !(*event == "refused" && error && *error != 0) &&
            !(*event == "skipped" && reason && !reason->empty()))
            return;
        const auto known = runs_.find(*id);
        RunRecord& run = known != runs_.end() ? known->second : runs_[*id];
        if (known == runs_.end()) begin(run, line, *id, static_cast<int>(*row) - 1, *stamp);
        if (*event != "end") {
            run.started = *stamp;
            run.error = *event == "refused" ? static_cast<int32_t>(*error) : 0;
            if (*event == "skipped") run.skipped = *reason;
            last_[static_cast<std::size_t>(run.row)] = *id;
        } else {
            end(run, line, *stamp);
            auto& last = last_[static_cast<std::size_t>(run.row)];
            if (last.empty()) last = *id;
        }
    }

    RunHistory::LastRuns lastRuns() const {
        RunHistory::LastRuns last;
        for (std::size_t row = 0; row < last.size(); ++row) {
            if (last_[row].empty()) continue;
            RunRecord run = runs_.at(last_[row]);
            run.endUnseen = !run.ended && !run.refused() && run.skipped.empty();
            // The end names the output file; the launcher names it so from the start.
            if (run.endUnseen) run.output = runs::fileName(run.row, run.id);
            last[row] = std::move(run);
        }
        return last;
    }

private:
    static void begin(RunRecord& run, const json::Object& line, const std::string& id, int row, const Stamp& time) {
        run.id = id;
        run.row = row;
        run.started = time;
        if (const std::string* command = stringOf(line, "command")) run.command = *command;
        if (const std::string* trigger = stringOf(line, "trigger")) run.trigger = triggerNamed(*trigger).value_or(Trigger::Now);
        if (const std::string* due = stringOf(line, "due")) run.due = stampFromIso(*due);
        run.pid = static_cast<int>(numberOf(line, "pid").value_or(0));
    }
    static void end(RunRecord& run, const json::Object& line, const Stamp& time) {
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
    }

    std::map<std::string, RunRecord> runs_;
    std::array<std::string, RunHistory::kRows> last_;
};

}  // namespace

std::string RunHistory::startLine(const RunRecord& run) { return eventLine("start", run, run.started).line(); }

std::string RunHistory::endLine(const RunRecord& run) {
    json::LineWriter line = eventLine("end", run, run.ended.value_or(run.started));
    line.number("duration_ms", run.durationMs)
        .numberOrNull("exit_status", run.exitStatus ? std::optional<int64_t>(*run.exitStatus) : std::nullopt)
        .stringOrNull("signal", run.signal ? std::optional(signalName(run.signal)) : std::nullopt)
        .stringOrNull("output", run.output.empty() ? std::nullopt : std::optional(run.output));
    if (run.cutBytes > 0) line.number("cut_bytes", run.cutBytes);
    if (run.stopped != StopReason::None) line.string("stopped", stopReasonName(run.stopped));
    return line.line();
}

std::string RunHistory::skippedLine(const RunRecord& run) {
    json::LineWriter line = eventLine("skipped", run, run.started);
    line.string("reason", run.skipped);
    return line.line();
}

std::string RunHistory::refusedLine(const RunRecord& run) {
    json::LineWriter line = eventLine("refused", run, run.started);
    line.number("error", run.error);
    return line.line();
}

bool RunHistory::append(const std::string& appFolder, std::string_view line) {
    const std::string path = filePath(appFolder);
    int fd = platform::openLogFile(path, platform::LogAccess::AppendReadable);
    if (fd < 0) return false;
    struct stat info {};
    const auto known = [&] {
        if (::fstat(fd, &info) == 0) return true;
        ::close(fd);
        return false;
    };
    if (!known()) return false;
    if (info.st_size >= kRotateAtBytes) {
        ::close(fd);
        ::rename(path.c_str(), (path + ".1").c_str());
        fd = platform::openLogFile(path, platform::LogAccess::AppendReadable);
        if (fd < 0 || !known()) return false;
    }
    const bool whole = platform::writeAll(fd, line);
    if (!whole) ::ftruncate(fd, info.st_size);  // no part of a line stays
    ::close(fd);
    return whole;
}

RunHistory::LastRuns RunHistory::lastRuns(const std::string& appFolder) {
    RunFolder folder;
    for (const std::string& path : {filePath(appFolder) + ".1", filePath(appFolder)}) {
        const std::string text = readOwnFile(path);
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = text.find('\n', start);
            if (end == std::string::npos) break;  // a line without its end was cut
            if (const auto line = json::readLine(std::string_view(text).substr(start, end - start))) folder.add(*line);
            start = end + 1;
        }
    }
    return folder.lastRuns();
}

namespace {

// The due starts of local date `day` among the history lines in `text`.
void addDueStarts(std::string_view text, int32_t day, std::vector<DueStart>& starts) {
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) break;
        const auto line = json::readLine(text.substr(start, end - start));
        start = end + 1;
        if (!line) continue;
        const std::string* event = stringOf(*line, "event");
        const std::string* due = stringOf(*line, "due");
        const std::optional<int64_t> row = numberOf(*line, "row");
        const std::optional<Stamp> stamp = due ? stampFromIso(*due) : std::nullopt;
        // A refused start was tried: catching up would only fail again. A skipped one
        // was left out on purpose.
        if (!event || (*event != "start" && *event != "refused" && *event != "skipped") || !stamp || !row ||
            *row < 1 || *row > RunHistory::kRows || stamp->local.day != day)
            continue;
        starts.push_back({static_cast<int>(*row) - 1, stamp->local.millisecond / 1000});
    }
}

}  // namespace

std::vector<DueStart> RunHistory::dueStartsOn(const std::string& appFolder, int32_t day) {
    std::vector<DueStart> starts;
    for (const std::string& path : {filePath(appFolder) + ".1", filePath(appFolder)})
        addDueStarts(readOwnFile(path), day, starts);
    return starts;
}

std::vector<DueStart> RunHistory::waitingDueStartsOn(int32_t day) const {
    std::vector<DueStart> starts;
    for (const std::string& line : waiting_) addDueStarts(line, day, starts);
    return starts;
}

std::string RunHistory::distrusted(const std::string& appFolder) {
    const std::string path = filePath(appFolder);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return {};
    if (S_ISLNK(info.st_mode)) return path + " is a symbolic link";
    if (!S_ISREG(info.st_mode)) return path + " is no plain file";
    if (info.st_uid != ::geteuid()) return path + " belongs to another user";
    return {};
}

void RunHistory::write(std::string line) {
    waiting_.push_back(std::move(line));
    while (!waiting_.empty()) {
        errno = 0;
        if (!append(appFolder_, waiting_.front())) {
            const int why = errno;
            if (waiting_.size() > kMaxWaitingLines) {
                waiting_.pop_front();
                ++dropped_;
            }
            if (problem_.empty())
                tellProblem(filePath(appFolder_) + " cannot be written (" +
                            (why ? std::string(std::strerror(why)) : std::string("refused")) +
                            "); its lines wait in memory until it can be");
            return;
        }
        waiting_.pop_front();
    }
    if (!problem_.empty()) {
        problem_.clear();
        if (onProblem_)
            onProblem_(filePath(appFolder_) + " is written again" +
                       (dropped_ ? "; " + std::to_string(dropped_) + " lines were given up" : std::string()));
        dropped_ = 0;
    }
}

void RunHistory::tellProblem(std::string problem) {
    problem_ = std::move(problem);
    if (onProblem_) onProblem_(problem_);
}

void RunHistory::runStarted(const RunRecord& run) { write(startLine(run)); }
void RunHistory::runEnded(const RunRecord& run) { write(endLine(run)); }
void RunHistory::runRefused(const RunRecord& run) { write(refusedLine(run)); }
void RunHistory::runSkipped(const RunRecord& run) { write(skippedLine(run)); }

}  // namespace morrowset
