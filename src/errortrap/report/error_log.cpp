#include "errortrap/report/error_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "errortrap/core/error_record.h"
#include "errortrap/core/runtime.h"
#include "errortrap/core/runtime_texts.h"
#include "errortrap/core/skip_on_failure.h"
#include "errortrap/report/call_tree.h"
#include "platform/file_io.h"
#include "platform/log_open.h"

namespace wardline {
namespace {

constexpr std::size_t kPrintZone = 14;
constexpr std::string_view kLineEnd = "\r\n";
constexpr const char* kFallbackLogName = "wlerror.log";
constexpr mode_t kNewLogMode = 0600;

// The report, built line by line. Each line is one print statement: items after the
// first start at the next print zone.
class ReportText {
public:
    void line(std::initializer_list<std::string_view> items) {
        std::string text;
        for (auto item = items.begin(); item != items.end(); ++item) {
            if (item != items.begin()) advanceToNextZone(text);
            text.append(*item);
        }
        text_.append(text).append(kLineEnd);
    }

    const std::string& text() const { return text_; }

private:
    static void advanceToNextZone(std::string& text) {
        const std::size_t lineStart = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
        const std::size_t column = text.size() - lineStart;
        text.append((column / kPrintZone + 1) * kPrintZone - column, ' ');
    }

    std::string text_;
};

// Each print statement of the report runs on its own: one that fails is left out.
void writeHeader(ReportText& out) {
    skipOnFailure([&] { out.line({pfText(TextId::kStartBanner)}); });
    skipOnFailure([&] { out.line({std::string(65, '*')}); });
    skipOnFailure([&] { out.line({pfText(TextId::kProgramIdentity)}); });
    skipOnFailure([&] { out.line({pfText(TextId::kErrorInformationTitle)}); });
}

void writeLevels(ReportText& out, const ErrorRecord& record) {
    auto labelLine = [&](const std::string& label, auto value) {
        skipOnFailure([&] { out.line({"", label, value()}); });
    };
    for (int n = 0; n <= record.levelCount; ++n) {
        const auto at = [&record, n]() -> const ErrorLevel& {
            return record.levels.at(static_cast<std::size_t>(n));
        };
        skipOnFailure([&] { out.line({"Error " + std::to_string(n)}); });
        labelLine(pfText(TextId::kCategoryLabel), [&] { return at().category; });
        labelLine(labelText(TextId::kSourceLabel), [&] { return at().source; });
        labelLine(labelText(TextId::kModuleLabel), [&] { return at().module; });
        labelLine(labelText(TextId::kProcedureLabel), [&] { return at().procedure; });
        labelLine(pfText(TextId::kLineNumberLabel), [&] { return std::to_string(at().line); });
        labelLine(pfText(TextId::kErrorNumberLabel), [&] { return std::to_string(at().number); });
        labelLine(pfText(TextId::kDescriptionLabel), [&] { return at().description; });
        skipOnFailure([&] { out.line({""}); });
    }
}

void writeCallTree(ReportText& out, const ErrorRecord& record) {
    skipOnFailure([&] { out.line({""}); });
    skipOnFailure([&] { out.line({pfText(TextId::kCallTreeTitle)}); });
    std::vector<std::string> lines;
    skipOnFailure([&] { lines = callTreeLines(record, CallTreeLayout::ErrorLog); });
    for (const std::string& line : lines) skipOnFailure([&] { out.line({"", line}); });
}

void writeTrailer(ReportText& out, const ErrorRecord& record) {
    skipOnFailure([&] { out.line({""}); });
    skipOnFailure([&] { out.line({pfText(TextId::kSystemStateTitle)}); });
    skipOnFailure([&] { out.line({record.systemStateText}); });
    skipOnFailure([&] { out.line({"User Said"}); });
    skipOnFailure([&] { out.line({"", record.userComment}); });
    if (!record.mailNote.empty()) skipOnFailure([&] { out.line({record.mailNote}); });
    skipOnFailure([&] { out.line({pfText(TextId::kStopBanner)}); });
}

// The line end that puts the report on a line of its own after a file cut mid-line
// (by a crash, or by a writer that gave up half-way); empty when none is needed.
std::string_view lineStartAfter(int fd, off_t size) {
    char last = '\n';
    if (size > 0 && ::pread(fd, &last, 1, size - 1) != 1) last = '\n';
    return last == '\n' ? std::string_view() : std::string_view(kLineEnd);
}

// A stream (a FIFO, a terminal) is never waited for: the report goes whole or not at all,
// and the reports it did not take are said before the next one it takes.
bool writeReportToStream(int fd, std::string_view text) {
    static int64_t lost = 0;
    static bool torn = false;
    const platform::BrokenPipeQuiet quiet;
    char notice[platform::kLossNoticeCapacity];
    const std::string_view said =
        lost > 0 ? platform::lossNotice(notice, sizeof notice, lost, torn, "reports") : std::string_view();
    const platform::StreamWrite result = platform::writeToStream(fd, {said, text});
    ::close(fd);
    if (result == platform::StreamWrite::Whole) {
        lost = 0;
        torn = false;
        return true;
    }
    ++lost;
    torn = torn || result == platform::StreamWrite::Torn;
    return false;
}

// Writes the report in one piece and waits until it is on the disk. A report that cannot
// be written whole (the disk is full) is taken back: the file is cut back to its length
// before it, so the log holds only whole reports.
bool writeReport(const ErrorRecord& record, int fd, bool madeNew, const std::string& path) {
    struct stat before {};
    const bool known = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    if (!known) return writeReportToStream(fd, errorReportText(record));
    std::string text(lineStartAfter(fd, before.st_size));
    text += errorReportText(record);
    const platform::BrokenPipeQuiet quiet;
    const bool complete = platform::writeAll(fd, text);
    if (!complete) ::ftruncate(fd, before.st_size);
    ::fdatasync(fd);
    ::close(fd);
    // A newly made file is only durable once its folder entry is.
    if (madeNew) platform::syncFolder(platform::folderOf(path).c_str());
    return complete;
}

void appendReport(const ErrorRecord& record, const std::string& path) {
    // Read as well as write, to see how the file ends (see lineStartAfter); a write-only
    // file, a FIFO or a character device is appended to without that.
    bool madeNew = false;
    int fd = platform::openLogFile(path, platform::LogAccess::AppendReadable, &madeNew);
    if (fd < 0 && (errno == EACCES || errno == EPERM))
        fd = platform::openLogFile(path, platform::LogAccess::Append, &madeNew);
    if (fd >= 0) writeReport(record, fd, madeNew, path);
}

}  // namespace

std::string errorReportText(const ErrorRecord& record) {
    ReportText out;
    writeHeader(out);
    writeLevels(out, record);
    writeCallTree(out, record);
    writeTrailer(out, record);
    return out.text();
}

std::string errorLogFile(Runtime& runtime) {
    const std::string& path = runtime.prefs().errorLogPath;
    return path.empty() ? kFallbackLogName : path;
}

void WriteErrorLog(Runtime& runtime) {
    try {
        appendReport(runtime.errorRecord(), errorLogFile(runtime));
    } catch (...) {
    }
}

bool WriteErrorLogToNewFile(const ErrorRecord& record, const std::string& path) {
    try {
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kNewLogMode);
        return fd >= 0 && writeReport(record, fd, true, path);
    } catch (...) {
        return false;
    }
}

}  // namespace wardline
