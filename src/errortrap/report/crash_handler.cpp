#include "errortrap/report/crash_handler.h"

#include <cxxabi.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "errortrap/core/error_categories.h"
#include "errortrap/core/runtime.h"
#include "errortrap/core/runtime_texts.h"
#include "errortrap/core/skip_on_failure.h"
#include "errortrap/core/trace_stack.h"
#include "errortrap/core/unanswered_reports.h"
#include "errortrap/report/report_journal.h"
#include "errortrap/trace/procedure.h"
#include "errortrap/trace/trace_sinks.h"
#include "platform/clock.h"
#include "platform/error_texts.h"
#include "platform/file_io.h"
#include "platform/kept_file.h"
#include "platform/program_end.h"
#include "platform/text.h"

namespace wardline {
namespace {

constexpr int32_t kFatalError = platform::kInternalError;
constexpr std::size_t kPrintZone = 14;
constexpr std::size_t kLineCapacity = 64 * 1024;
constexpr std::size_t kReportCapacity = 1024 * 1024;
// Kept free while the call tree is written, for the lines that close the report.
constexpr std::size_t kClosingRoom = 4096;
constexpr std::size_t kAltStackSize = 64 * 1024;
constexpr std::size_t kWhatRoom = 512;
// The local time's offsets are learned for this long after each start-up (about a
// millisecond's work); a run longer than that dates its report with the last one known.
constexpr int kDaysOfKnownOffsets = 800;

struct FatalSignal {
    int number;
    std::string_view name;
    std::string_view text;
};
constexpr std::array<FatalSignal, 5> kFatalSignals = {{
    {SIGSEGV, "SIGSEGV", "segmentation fault"},
    {SIGBUS, "SIGBUS", "bus error"},
    {SIGILL, "SIGILL", "illegal instruction"},
    {SIGFPE, "SIGFPE", "floating-point exception"},
    {SIGABRT, "SIGABRT", "aborted"},
}};

// Signals that end the program by default, asking it to end rather than reporting a fault.
constexpr std::array<int, 3> kEndingSignals = {SIGTERM, SIGINT, SIGHUP};

// Text in a buffer of fixed size, cut where the buffer ends: for code that may not
// allocate. memcpy and plain loops only.
class FixedText {
public:
    FixedText(char* data, std::size_t capacity) : data_(data), capacity_(capacity) {}

    FixedText& add(std::string_view text) {
        const std::size_t n = std::min(text.size(), capacity_ - size_);
        if (n == 0) return *this;  // an empty view may have no data at all
        std::memcpy(data_ + size_, text.data(), n);
        size_ += n;
        return *this;
    }
    FixedText& add(char c, std::size_t count = 1) {
        while (count-- > 0 && size_ < capacity_) data_[size_++] = c;
        return *this;
    }
    FixedText& addNumber(int64_t value) {
        char digits[24];
        std::size_t n = 0;
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        do {
            digits[n++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude > 0);
        if (value < 0) add('-');
        while (n > 0) add(digits[--n]);
        return *this;
    }
    FixedText& addTwoDigits(int value) { return add(static_cast<char>('0' + value / 10 % 10)).add(static_cast<char>('0' + value % 10)); }
    // Advances to the start of the next print zone of the line being written.
    FixedText& nextZone() {
        std::size_t lineStart = size_;
        while (lineStart > 0 && data_[lineStart - 1] != '\n') --lineStart;
        const std::size_t column = size_ - lineStart;
        return add(' ', (column / kPrintZone + 1) * kPrintZone - column);
    }
    FixedText& endLine() { return add("\r\n"); }
    // From `from` on: tabs become blanks, and blanks at both ends go.
    void untabAndTrimFrom(std::size_t from) {
        std::replace(data_ + from, data_ + size_, '\t', ' ');
        const std::string_view kept = platform::trimmed({data_ + from, size_ - from}, platform::kSpaces);
        std::memmove(data_ + from, kept.data(), kept.size());
        size_ = from + kept.size();
    }

    std::size_t room() const { return capacity_ - size_; }
    std::string_view view() const { return {data_, size_}; }

private:
    char* data_;
    std::size_t capacity_;
    std::size_t size_ = 0;
};

// Everything the handlers need besides the live trace stack, prepared at start-up.
struct Scene {
    std::string exePrefix;
    std::string errorTag;     // "ERROR"
    std::string startBanner;  // what follows the date and time in the start banner
    std::string stopBanner;
    std::string identity;  // the executable line
    std::string errorInformation;
    std::string callTreeTitle;
    std::string systemStateTitle;
    std::string category;  // of error 51
    std::string source;    // the program's own, marked local
    std::array<std::string, 7> labels;
    std::string logPath;
    std::string logFolder;
    platform::UtcOffsets utcOffsets;  // from start-up on, daylight-saving changes included
    std::unique_ptr<platform::journal::Journal> journal;  // its socket opened at start-up
    std::string journalSignalField;  // "<prefix>SIGNAL"
    char* line = nullptr;    // kLineCapacity bytes
    char* report = nullptr;  // kReportCapacity bytes
};

Scene* scene = nullptr;
std::atomic<long> teller{0};  // the thread telling the story, 0 before anyone does

enum Label { kCategory, kSource, kModule, kProcedure, kLineNumber, kErrorNumber, kDescription };

// The part of a capture banner after its date and time.
std::string bannerTail(const std::string& banner) {
    const std::size_t dash = banner.find(" - ");
    return dash == std::string::npos ? banner : banner.substr(dash);
}

char* preparedMemory(std::size_t size) {
    void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return memory == MAP_FAILED ? nullptr : static_cast<char*>(memory);
}

void prepareScene(Scene& s, Runtime& runtime) {
    const RuntimeState& state = runtime.state();
    s.exePrefix = state.exePrefix;
    s.errorTag = platform::upperAscii(platform::trimmed(pfText(TextId::kErrorSuffix), platform::kSpaces));
    s.startBanner = bannerTail(pfText(TextId::kStartBanner));
    s.stopBanner = bannerTail(pfText(TextId::kStopBanner));
    s.identity = pfText(TextId::kProgramIdentity);
    s.errorInformation = pfText(TextId::kErrorInformationTitle);
    s.callTreeTitle = pfText(TextId::kCallTreeTitle);
    s.systemStateTitle = pfText(TextId::kSystemStateTitle);
    s.category = ErrorClassName(ErrorClassCode(kFatalError)) + pfText(TextId::kErrorSuffix);
    s.source = state.localSourceName + " (local)";
    s.labels = {pfText(TextId::kCategoryLabel),   labelText(TextId::kSourceLabel),
                labelText(TextId::kModuleLabel),  labelText(TextId::kProcedureLabel),
                pfText(TextId::kLineNumberLabel), pfText(TextId::kErrorNumberLabel),
                pfText(TextId::kDescriptionLabel)};
    const Preferences& prefs = state.prefs;
    s.logPath = prefs.writeToDisk && !prefs.errorLogPath.empty() ? prefs.errorLogPath : "wlerror.log";
    s.logFolder = platform::folderOf(s.logPath);
    s.utcOffsets.learn(std::time(nullptr), kDaysOfKnownOffsets);
    const platform::Services& services = runtime.platform();
    s.journal = std::make_unique<platform::journal::Journal>(services.identity, services.journalSocket);
    s.journal->open();
    s.journalSignalField = s.journal->fieldPrefix() + "SIGNAL";
}

// ---- Inside the handlers: system calls and prepared memory only. ----

long threadId() { return ::syscall(SYS_gettid); }

void restoreDefaultActions() {
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (const FatalSignal& fatal : kFatalSignals) ::sigaction(fatal.number, &defaults, nullptr);
}

// True for the first thread to get here. Another thread that faults meanwhile waits for
// the first to end the process; the same thread coming back does not tell twice.
bool claimTheStory() {
    const long me = threadId();
    long expected = 0;
    if (teller.compare_exchange_strong(expected, me)) return true;
    if (expected != me) {
        const timespec pause{0, 10'000'000};
        for (int i = 0; i < 1000; ++i) ::nanosleep(&pause, nullptr);
    }
    return false;
}

// "mm-dd-yyyy hh:mm:ss" of the local time, from the offsets learned at start-up.
void addDateAndTime(FixedText& out, const platform::UtcOffsets& offsets) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int64_t local = static_cast<int64_t>(now.tv_sec) + offsets.at(now.tv_sec);
    int64_t days = local / 86400;
    int64_t seconds = local % 86400;
    if (seconds < 0) seconds += 86400, --days;
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    out.addTwoDigits(month).add('-').addTwoDigits(day).add('-').addNumber(year).add(' ');
    out.addTwoDigits(static_cast<int>(seconds / 3600)).add(':');
    out.addTwoDigits(static_cast<int>(seconds / 60 % 60)).add(':').addTwoDigits(static_cast<int>(seconds % 60));
}

// What died and where.
struct Story {
    Runtime* runtime = nullptr;  // the runtime current when it died
    std::string_view description;  // "Fatal signal SIGSEGV (segmentation fault)"
    std::string_view trap;          // "Fatal signal SIGSEGV"
    TraceStack::FrameNames frame;   // the innermost procedure on the trace stack
    int line = 0;                   // the statement it was running
    std::string_view signalName;    // "SIGSEGV"; empty for an uncaught exception
};

void findInnermostFrame(Story& story) {
    const TraceStack& stack = story.runtime->traceStack();
    for (int level = std::min<int>(stack.traceDepth, kMaxTraceLevel); level >= 1; --level) {
        if (stack.frameNames(level, story.frame)) {
            story.line = runningStatementLine(*story.runtime, level);
            return;
        }
    }
}

std::string_view errorLine(const Scene& s, const Story& story) {
    FixedText out(s.line, kLineCapacity);
    out.add(s.exePrefix).add(s.errorTag).add(' ').addNumber(kFatalError).add(" at ");
    out.add(story.frame.module).add(" : ").add(story.frame.procedure).add(" : Line ").addNumber(story.line);
    out.add(" : ").add(story.description).endLine();
    return out.view();
}

void labelLine(FixedText& out, std::string_view label, std::string_view value) {
    out.nextZone().add(label).nextZone().add(value).endLine();
}

void writeErrorLevel(FixedText& out, const Scene& s, const Story& story) {
    out.add("Error 0").endLine();
    labelLine(out, s.labels[kCategory], s.category);
    labelLine(out, s.labels[kSource], s.source);
    labelLine(out, s.labels[kModule], story.frame.module);
    labelLine(out, s.labels[kProcedure], story.frame.procedure);
    out.nextZone().add(s.labels[kLineNumber]).nextZone().addNumber(story.line).endLine();
    out.nextZone().add(s.labels[kErrorNumber]).nextZone().addNumber(kFatalError).endLine();
    labelLine(out, s.labels[kDescription], story.description);
    out.endLine();
}

// One Call line per procedure on the trace stack, outermost first, then the Trap line.
void writeCallTree(FixedText& out, const Scene& s, const Story& story) {
    out.endLine().add(s.callTreeTitle).endLine();
    const TraceStack& stack = story.runtime->traceStack();
    const int depth = std::min<int>(stack.traceDepth, kMaxTraceLevel);
    int written = 0;
    for (int level = 1; level <= depth; ++level) {
        TraceStack::FrameNames names;
        if (!stack.frameNames(level, names)) continue;
        const std::size_t needed = names.module.size() + names.procedure.size() + names.arguments.size() +
                                   static_cast<std::size_t>(written) + 64;
        if (out.room() < kClosingRoom + needed) break;
        out.nextZone().addNumber(written + 1).add(" : Call\t").add('\t', static_cast<std::size_t>(written));
        const std::size_t entry = out.view().size();
        out.add(names.module).add(" : ").add(names.procedure).add(" : ").add(names.arguments);
        out.untabAndTrimFrom(entry);
        out.endLine();
        ++written;
    }
    out.nextZone().addNumber(written + 1).add(" : Trap\t").add('\t', static_cast<std::size_t>(written));
    out.add(story.trap);
    if (story.line >= 1) out.add(" on line ").addNumber(story.line);
    out.endLine();
}

std::string_view report(const Scene& s, const Story& story) {
    FixedText out(s.report, kReportCapacity);
    addDateAndTime(out, s.utcOffsets);
    out.add(s.startBanner).endLine();
    out.add('*', 65).endLine();
    out.add(s.identity).endLine();
    out.add(s.errorInformation).endLine();
    writeErrorLevel(out, s, story);
    writeCallTree(out, s, story);
    out.endLine().add(s.systemStateTitle).endLine();
    out.endLine();  // the system state text: none
    out.add("User Said").endLine();
    out.nextZone().endLine();  // the user's comment: none
    addDateAndTime(out, s.utcOffsets);
    out.add(s.stopBanner).endLine();
    return out.view();
}

// The error line to the sinks first (so it is the circular log's last record), then the
// reports of earlier errors whose dialogs were never answered, then this one's report. A
// fatal signal comes to the process: the story is the current runtime's.
void tellTheStory(Story& story) {
    const Scene* s = scene;
    if (!s || !s->line || !s->report) return;
    Runtime& runtime = currentRuntime();
    story.runtime = &runtime;
    findInnermostFrame(story);
    const std::string_view line = errorLine(*s, story);
    if (TraceSink* sinks = runtime.traceSinks()) sinks->writeLastLine(line);
    writeUnansweredReports();
    appendToLogAtTheEnd(s->logPath.c_str(), s->logFolder.c_str(), report(*s, story));
    // The report is written: its buffer takes the journal's entry.
    std::string_view message = line.substr(std::min(s->exePrefix.size(), line.size()));
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.remove_suffix(1);
    if (s->journal)
        journalFatalSignal(*s->journal, s->report, kReportCapacity,
                           {message, story.frame.procedure, story.line, s->journalSignalField, story.signalName});
}

const FatalSignal* fatalSignal(int number) {
    for (const FatalSignal& fatal : kFatalSignals)
        if (fatal.number == number) return &fatal;
    return nullptr;
}

void onFatalSignal(int number, siginfo_t* info, void*) {
    // A mapped log made shorter under a copy into it is not fatal: the copy is abandoned.
    if (number == SIGBUS && info) platform::KeptFile::escapeFaultedCopy(info->si_addr);
    const int savedErrno = errno;
    restoreDefaultActions();
    const FatalSignal* fatal = fatalSignal(number);
    if (fatal && claimTheStory()) {
        char description[128];
        FixedText text(description, sizeof description);
        text.add("Fatal signal ").add(fatal->name);
        const std::size_t trapLength = text.view().size();
        text.add(" (").add(fatal->text).add(')');
        Story story;
        story.description = text.view();
        story.trap = text.view().substr(0, trapLength);
        story.signalName = fatal->name;
        tellTheStory(story);
    }
    errno = savedErrno;
    // Blocked until this handler returns, then met by the default action.
    ::raise(number);
}

// A request to end (SIGTERM from a shutdown or kill, SIGINT from a terminal, SIGHUP when
// the session goes): the reports whose dialogs were never answered are written, then the
// signal ends the program as it would have. Handled right here rather than through the
// event loop, so that a loop held elsewhere (a modal dialog's, the trace monitor's) cannot
// keep the program from ending, and writing is all the handler does.
void onEndingSignal(int number) {
    writeUnansweredReports();
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    ::sigaction(number, &defaults, nullptr);
    // Blocked until this handler returns, then met by the default action.
    ::raise(number);
}

// The uncaught exception's what() text, when it is a std::exception. Rethrowing the
// exception in hand allocates nothing.
std::string_view whatOfUncaught(char* into, std::size_t capacity) {
    if (!abi::__cxa_current_exception_type()) return {};
    try {
        throw;
    } catch (const std::exception& exception) {
        FixedText text(into, capacity);
        const char* what = exception.what();
        return text.add(what ? std::string_view(what, ::strnlen(what, capacity)) : std::string_view()).view();
    } catch (...) {
    }
    return {};
}

[[noreturn]] void onTerminate() {
    static std::atomic<bool> entered{false};
    if (!entered.exchange(true)) {
        restoreDefaultActions();
        if (claimTheStory()) {
            char what[kWhatRoom];
            char description[kWhatRoom + 32];
            const std::string_view whatText = whatOfUncaught(what, sizeof what);
            FixedText text(description, sizeof description);
            text.add("Uncaught exception");
            const std::size_t trapLength = text.view().size();
            if (!whatText.empty()) text.add(" (").add(whatText).add(')');
            Story story;
            story.description = text.view();
            story.trap = text.view().substr(0, trapLength);
            tellTheStory(story);
        }
    }
    restoreDefaultActions();
    std::abort();
}

// ---- Installing. ----

// A stack of its own for the handlers, so that a stack overflow still gets its report. A
// large enough one set up before (by a sanitizer, say) is kept.
void prepareAlternateStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
        current.ss_size >= kAltStackSize)
        return;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t size = std::max<std::size_t>(kAltStackSize, static_cast<std::size_t>(::sysconf(_SC_SIGSTKSZ)));
    char* memory = preparedMemory(size + page);
    if (!memory) return;
    ::mprotect(memory, page, PROT_NONE);  // an overflow of this stack faults at once
    stack_t alternate{};
    alternate.ss_sp = memory + page;
    alternate.ss_size = size;
    ::sigaltstack(&alternate, nullptr);
}

void installHandlers() {
    prepareAlternateStack();
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // While one fatal signal is handled the others wait; a fault inside the handler is
    // then met by the default action straight away.
    sigemptyset(&action.sa_mask);
    for (const FatalSignal& fatal : kFatalSignals) sigaddset(&action.sa_mask, fatal.number);
    for (const FatalSignal& fatal : kFatalSignals) ::sigaction(fatal.number, &action, nullptr);
    std::set_terminate(onTerminate);
}

// A signal the program was started with ignored (nohup, a background job) stays ignored.
void installEndingHandlers() {
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    action.sa_flags = SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int number : kEndingSignals) sigaddset(&action.sa_mask, number);
    for (const int number : kEndingSignals) {
        struct sigaction current {};
        if (::sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL && !(current.sa_flags & SA_SIGINFO))
            ::sigaction(number, &action, nullptr);
    }
}

// However the program ends, the reports whose dialogs were never answered are written.
void writeUnansweredReportsAtEveryEnd() {
    installEndingHandlers();
    platform::setLastWords(writeUnansweredReports);
    std::atexit([] { writeUnansweredReports(); });
}

}  // namespace

void installCrashHandlers(Runtime& runtime) {
    static bool installed = false;
    if (!scene) {
        auto* fresh = new Scene;  // lives until the process ends, past static destructors
        fresh->line = preparedMemory(kLineCapacity);
        fresh->report = preparedMemory(kReportCapacity);
        scene = fresh;
    }
    skipOnFailure([&] { prepareScene(*scene, runtime); });  // out of memory: the report lacks some texts
    if (!installed) {
        installed = true;
        installHandlers();
        writeUnansweredReportsAtEveryEnd();
    }
}

}  // namespace wardline
