#include "timetable/run_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "timetable/history_event.h"
#include "timetable/json_line.h"
#include "timetable/own_file.h"
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

// The user's own history file, from its first whole line, or its last kMaxReadBytes when
// it is far too large.
std::string readHistoryFile(const std::string& path) {
    const OwnFile file = OwnFile::open(path);
    const int64_t size = file.size();
    const int64_t start = size > kMaxReadBytes ? size - kMaxReadBytes : 0;
    std::string text = file.read(start, static_cast<std::size_t>(size - start));
    if (start > 0) text.erase(0, text.find('\n') + 1);  // a line cut by starting mid-file
    return text;
}

// Hands `take` the event of each whole line of `text`; damaged lines, and a last line
// without its end (cut), are skipped.
template <typename Take>
void forEachEvent(std::string_view text, Take take) {
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) break;
        if (const std::optional<HistoryEvent> event = readHistoryEvent(text.substr(start, end - start))) take(*event);
        start = end + 1;
    }
}

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
    LastRuns last;
    // A row's last run is the one that started (or was refused or skipped) last; an end
    // completes it, or stands for it when its start went with an older file.
    const auto take = [&last](const HistoryEvent& event) {
        std::optional<RunRecord>& run = last[static_cast<std::size_t>(event.run.row)];
        if (event.kind != HistoryEvent::Kind::End || !run)
            run = event.run;
        else if (run->id == event.run.id)
            takeEnd(*run, event.run);
    };
    for (const std::string& path : {filePath(appFolder) + ".1", filePath(appFolder)})
        forEachEvent(readHistoryFile(path), take);
    for (std::optional<RunRecord>& run : last) {
        if (!run) continue;
        run->endUnseen = !run->ended && !run->refused() && run->skipped.empty();
        // The end names the output file; the launcher names it so from the start.
        if (run->endUnseen) run->output = runs::fileName(run->row, run->id);
    }
    return last;
}

namespace {

// The due starts of local date `day` among the history lines in `text`. A refused start
// was tried: catching up would only fail again. A skipped one was left out on purpose.
void addDueStarts(std::string_view text, int32_t day, std::vector<DueStart>& starts) {
    forEachEvent(text, [&](const HistoryEvent& event) {
        const std::optional<Stamp>& due = event.run.due;
        if (event.kind != HistoryEvent::Kind::End && due && due->local.day == day)
            starts.push_back({event.run.row, due->local.millisecond / 1000});
    });
}

}  // namespace

std::vector<DueStart> RunHistory::dueStartsOn(const std::string& appFolder, int32_t day) {
    std::vector<DueStart> starts;
    for (const std::string& path : {filePath(appFolder) + ".1", filePath(appFolder)})
        addDueStarts(readHistoryFile(path), day, starts);
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
