#pragma once
// Reports whose error dialog has not been answered yet. An error's report is written when
// its dialog is answered, with what the user typed and the system state the dialog showed.
// Until then its text as it would read without an answer (no comment, no system state) is
// kept here as bytes, so that however the program ends first (Quit, a terminating signal, a
// fatal one, the end of main) the report is still written. Writing the kept reports takes
// only system calls on memory prepared when they were kept: a signal handler may do it.
#include <functional>
#include <string>
#include <string_view>

namespace wardline {

// One kept report; moving it hands the report on.
class UnansweredReport {
public:
    UnansweredReport() = default;
    // Keeps `text`, to be appended to the log at `path` (made absolute here) should the
    // program end before the dialog is answered. When no more reports can be kept, the
    // text is appended at once instead.
    UnansweredReport(const std::string& path, std::string_view text);
    UnansweredReport(UnansweredReport&& other) noexcept;
    UnansweredReport& operator=(UnansweredReport&& other) noexcept;
    UnansweredReport(const UnansweredReport&) = delete;
    UnansweredReport& operator=(const UnansweredReport&) = delete;
    // A report still kept when it goes (its runtime ends first) is written then.
    ~UnansweredReport();

    // The dialog was answered: `writeAnswered` writes the report with the answer in place of
    // the kept one, unless the program's end has written the kept one already (or it was
    // written at once). The kept one stays ready until `writeAnswered` is done, so that an
    // end that comes meanwhile still leaves a whole report (at worst, both).
    void answeredWith(const std::function<void()>& writeAnswered);

private:
    void writeIfKept();
    int slot_ = -1;
    bool written_ = false;
};

// Appends every report still kept to its log, the oldest first, and keeps none of them.
// Async-signal-safe; any thread may call it, and a report is written once however many do.
void writeUnansweredReports() noexcept;

// Appends `text` to the log at `path` (an absolute path in `folder`) as one write, on a line
// of its own, and waits until it is on the disk; a stream (a FIFO, a terminal) takes it
// whole or not at all. Opens the log as every log is opened (platform/log_open.h).
// Async-signal-safe.
void appendToLogAtTheEnd(const char* path, const char* folder, std::string_view text) noexcept;

}  // namespace wardline
