#include "errortrap/report/error_handler.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "errortrap/core/error_categories.h"
#include "errortrap/core/runtime.h"
#include "errortrap/core/runtime_texts.h"
#include "errortrap/core/skip_on_failure.h"
#include "errortrap/core/unanswered_reports.h"
#include "errortrap/report/error_log.h"
#include "errortrap/report/internal_error.h"
#include "errortrap/report/mail_report.h"
#include "errortrap/report/remote_chain.h"
#include "errortrap/report/report_journal.h"
#include "errortrap/startup.h"
#include "errortrap/trace/trace_sinks.h"
#include "platform/app_object.h"
#include "platform/conversions.h"
#include "platform/error_texts.h"
#include "platform/runtime_error.h"
#include "platform/text.h"

namespace wardline {
namespace {

using platform::kSpaces;
using platform::trimmed;
using platform::trimmedLeading;

// User-defined errors of components are numbered from this base upwards.
constexpr int32_t kObjectErrorBase = -2147221504;

// The error as the trap left it (step 1). The description is always the standard text
// for the number; the error's own description is not read.
struct TrappedError {
    int32_t number = 0;
    int16_t line = 0;
    std::string source;
    int32_t helpContext = 0;
    std::string helpFile;
    std::string description;
};

TrappedError readCurrentError(Runtime& runtime) {
    const platform::ErrorInfo& current = runtime.platform().currentError;
    TrappedError error;
    error.number = current.number;
    error.line = platform::toInteger16(static_cast<double>(current.line));
    error.source = current.source;
    error.helpContext = current.helpContext;
    error.helpFile = current.helpFile;
    error.description = platform::standardErrorText(current.number);
    return error;
}

// Where the error was raised: the innermost procedure still on the trace stack.
struct StackEntry {
    std::string module;
    std::string procedure;
};

// The innermost frame text that is not empty; reading past the stack's end fails.
std::string innermostFrameText(const TraceStack& stack) {
    for (int level = stack.traceDepth; level >= 1; --level) {
        std::string text = stack.frameText(level);
        if (!text.empty()) return text;
    }
    return {};
}

// Splits "<level> : <tabs><module> : <procedure> : <arguments>". A text without the
// expected colons gives a shortened or empty module or procedure, never a failure.
StackEntry parseFrameText(std::string_view text) {
    const std::size_t firstColon = text.find(':');
    std::string_view rest =
        trimmedLeading(firstColon == std::string_view::npos ? text : text.substr(firstColon + 1), kSpaces);
    for (std::size_t tab = rest.find('\t'); tab != std::string_view::npos; tab = rest.find('\t'))
        rest = trimmedLeading(rest.substr(tab + 1), kSpaces);

    StackEntry entry;
    const std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos) {
        entry.module = trimmed(rest, kSpaces);
        return entry;
    }
    entry.module = trimmed(rest.substr(0, colon), kSpaces);
    const std::string_view afterColon = rest.substr(std::min(colon + 2, rest.size()));
    const std::size_t nextColon = afterColon.find(':');
    entry.procedure =
        nextColon == std::string_view::npos ? afterColon : trimmed(afterColon.substr(0, nextColon), kSpaces);
    return entry;
}

// "caller << callee" when the trapping procedure is not where the error was raised.
std::string joinedName(const std::string& trapping, const std::string& raising) {
    if (platform::equalIgnoringCase(trimmed(trapping, kSpaces), trimmed(raising, kSpaces))) return raising;
    return trapping + std::string(kPathJoin) + raising;
}

// Counts a handler, or the showing of waiting dialogs, as running while it lives: an error
// raised meanwhile waits for a dialog of its own instead of taking over the record.
class HandlerRunning {
public:
    explicit HandlerRunning(Runtime& runtime) : count_(runtime.handlersInProgress().count) { ++count_; }
    ~HandlerRunning() { --count_; }
    HandlerRunning(const HandlerRunning&) = delete;
    HandlerRunning& operator=(const HandlerRunning&) = delete;

private:
    int& count_;
};

// Steps 1 to 7: the error, the start-up when needed, the error's source tag, the code
// pointer, the category and where on the trace stack the error was raised. (An open dialog
// is not waited for: the error's own dialog waits instead, see dialogMustWait.) A failure
// here is the runtime's own: it goes to the internal error handler and nothing is returned.
std::optional<std::pair<TrappedError, StackEntry>> captureError(Runtime& runtime) {
    try {
        const TrappedError error = readCurrentError(runtime);
        RuntimeState& state = runtime.state();
        // Start-up learns the local source name, so it runs before the source is tagged:
        // an error handled before any enter would otherwise count as remote.
        if (!state.runtimeStarted) startRuntime(runtime);
        const std::string source = error.source + (error.source == state.localSourceName ? " (local)" : " (remote)");
        ErrorRecord& record = runtime.errorRecord();
        ErrorLevel& top = record.levels[0];
        top.source = source;
        TraceStack& stack = runtime.traceStack();
        record.codePointer = stack.frameCodePointer(stack.traceDepth);
        top.category = ErrorClassName(ErrorClassCode(error.number)) + pfText(TextId::kErrorSuffix);
        return std::make_pair(error, parseFrameText(innermostFrameText(stack)));
    } catch (...) {
        const platform::ErrorInfo failure = platform::errorInfoFor(std::current_exception());
        reportInternalError(runtime.ui(), static_cast<int16_t>(failure.number), "wlERROR()");
        return std::nullopt;
    }
}

void fillLevelZero(Runtime& runtime, const TrappedError& error, const StackEntry& raisedIn,
                   const std::string& module, const std::string& procedure) {
    ErrorRecord& record = runtime.errorRecord();
    ErrorLevel& top = record.levels[0];
    skipOnFailure([&] { top.module = joinedName(module, raisedIn.module); });
    skipOnFailure([&] { top.procedure = joinedName(procedure, raisedIn.procedure); });
    top.line = error.line;
    top.number = error.number;
    for (ErrorLevel& level : record.levels) level.description.clear();
    record.levelCount = 0;

    if (top.source.find('!') == std::string::npos) {
        skipOnFailure([&] {
            top.helpFile = error.helpFile;
            top.helpContext = error.helpContext;
            top.description = error.description;
        });
    } else {
        skipOnFailure([&] { decodeRemoteChain(record, error.number, runtime.state().localSourceName); });
    }

    if (error.number < 0) {
        skipOnFailure([&] {
            top.number = error.number - kObjectErrorBase;
            top.description = platform::standardErrorText(top.number) + " : " + top.description;
        });
    }
}

// The one line every intercepted error leaves in the trace sinks.
std::string errorTraceLine(Runtime& runtime) {
    const std::string tag = platform::upperAscii(trimmed(pfText(TextId::kErrorSuffix), kSpaces));
    const ErrorLevel& top = runtime.errorRecord().levels[0];
    return runtime.state().exePrefix + tag + " " + std::to_string(top.number) + " at " + top.module + " : " +
           top.procedure + " " + ": Line " + std::to_string(top.line) + " : " + top.description + "\r\n";
}

// The system journal's entry: the trace line without the program's tag and line end.
void journalEntry(Runtime& runtime, std::string_view line) {
    const ErrorLevel& top = runtime.errorRecord().levels[0];
    line.remove_prefix(std::min(runtime.state().exePrefix.size(), line.size()));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    journalErrorReport(runtime.platform().journal(), top.number, top.procedure, top.line, line);
}

void snapshotCallTree(Runtime& runtime) {
    const TraceStack& stack = runtime.traceStack();
    auto& snapshot = runtime.errorRecord().callTreeSnapshot;
    snapshot[0] = std::to_string(stack.traceDepth);
    for (int level = 1; level <= stack.traceDepth; ++level)
        snapshot.at(static_cast<std::size_t>(level)) = stack.frameText(level);
}

// Step 16's dialog. Returns the dialog's answer, 0 when none is shown.
int16_t showDialog(Runtime& runtime) {
    int16_t result = 0;
    if (runtime.prefs().silentRun) return result;
    UiServices& ui = runtime.ui();
    int pointer = kPointerDefault;
    skipOnFailure([&] { pointer = ui.mousePointer(); });
    skipOnFailure([&] { ui.setMousePointer(kPointerDefault); });
    skipOnFailure([&] {
        const DialogResult answer = ui.showErrorDialog(dialogInputFor(runtime));
        takeDialogAnswer(runtime, answer);
        result = answer.choice;
    });
    skipOnFailure([&] { ui.setMousePointer(pointer); });
    return result;
}

// Steps 16 to 18 after the dialog: the error log and the mail of the record.
void deliverReport(Runtime& runtime) {
    const Preferences& prefs = runtime.prefs();
    skipOnFailure([&] { noteWhyNotMailed(runtime); });  // before the reports, which say it
    if (!prefs.silentRun && !prefs.writeToDisk) skipOnFailure([&] { WriteErrorLog(runtime); });
    if (!prefs.mailAddress.empty()) skipOnFailure([&] { MailErrorReport(runtime); });
    if (prefs.writeToDisk) skipOnFailure([&] { WriteErrorLog(runtime); });
}

// The record's report as it reads should the program end before its dialog is answered:
// no comment, no system state, and not mailed. Kept (as bytes) until the dialog is answered.
UnansweredReport keptUntilAnswered(Runtime& runtime) {
    UnansweredReport kept;
    skipOnFailure([&] {
        ErrorRecord unanswered = runtime.errorRecord();
        unanswered.userComment.clear();
        unanswered.systemStateText.clear();
        unanswered.mailNote.clear();
        if (!runtime.prefs().mailAddress.empty())
            unanswered.mailNote = "Not mailed: the program ended before its dialog was answered";
        kept = UnansweredReport(errorLogFile(runtime), errorReportText(unanswered));
    });
    return kept;
}

// Its dialog answered, the record's report is written and mailed, unless the program's end
// has written it meanwhile.
void deliverAnswered(Runtime& runtime, UnansweredReport& kept) {
    kept.answeredWith([&] { skipOnFailure([&] { deliverReport(runtime); }); });
}

void exitPart(Runtime& runtime) {
    skipOnFailure([&] { runtime.ui().unloadErrorDialog(); });
    skipOnFailure([&] { runtime.platform().currentError = platform::ErrorInfo{}; });
    runtime.state().busy = false;
}

// Steps 14 and 15: the trace line and the call tree of the record just filled.
void recordError(Runtime& runtime, const TrappedError& error, const StackEntry& raisedIn, const std::string& module,
                 const std::string& procedure) {
    fillLevelZero(runtime, error, raisedIn, module, procedure);
    std::string line;
    skipOnFailure([&] { line = errorTraceLine(runtime); });
    skipOnFailure([&] { sinksOf(runtime).write(line); });
    skipOnFailure([&] { journalEntry(runtime, line); });
    skipOnFailure([&] { snapshotCallTree(runtime); });
}

// A dialog now would keep the clock waiting for a person (one is open, or a tick is
// running), or would take over the record another handler works on.
bool dialogMustWait(Runtime& runtime) {
    const HandlersInProgress& handlers = runtime.handlersInProgress();
    return runtime.state().busy || handlers.clockTicks > 0 || handlers.count > 0;
}

// Records the error and queues its dialog; its report waits for the answer. In a silent run
// there is no dialog: the report is written and mailed at once. The record an open dialog
// shows is put back, so that its comment and report stay its own. The caller leaves its
// procedure, as after every dialog of this program.
int16_t handleWithoutWaiting(Runtime& runtime, const std::string& module, const std::string& procedure) {
    ErrorRecord shown = runtime.errorRecord();
    if (const auto captured = captureError(runtime)) {
        const auto& [error, raisedIn] = *captured;
        recordError(runtime, error, raisedIn, module, procedure);
        if (runtime.prefs().silentRun) {
            skipOnFailure([&] { deliverReport(runtime); });
        } else {
            ErrorRecord& record = runtime.errorRecord();
            record.userComment.clear();  // what its own dialog will be told, nothing yet
            record.systemStateText.clear();
            UnansweredReport kept = keptUntilAnswered(runtime);
            runtime.handlersInProgress().dialogsToShow.push_back({std::move(record), std::move(kept)});
        }
    }
    skipOnFailure([] { platform::clearError(); });
    runtime.errorRecord() = std::move(shown);
    return 0;
}

}  // namespace

DialogInput dialogInputFor(Runtime& runtime) {
    const RuntimeState& state = runtime.state();
    const platform::AppObject& app = runtime.platform().app;
    DialogInput input;
    input.record = &runtime.errorRecord();
    input.inDevEnvironment = state.inDevEnvironment != 0;
    input.forceSystemInfo = state.prefs.forceSystemInfo != 0;
    input.reportOnShow = state.prefs.displayMode != 0;
    input.exeName = app.exeName();
    input.helpFile = app.helpFile();
    input.ui = &runtime.ui();
    // Busy while the dialog waits for the user: enter, leave and further errors wait too.
    input.shown = [&runtime] { runtime.state().busy = true; };
    input.answered = [&runtime] { runtime.state().busy = false; };
    return input;
}

void takeDialogAnswer(Runtime& runtime, const DialogResult& answer) {
    runtime.state().dialogChoice = answer.choice;
    ErrorRecord& record = runtime.errorRecord();
    if (answer.userComment) record.userComment = *answer.userComment;
    if (answer.systemStateText) record.systemStateText = *answer.systemStateText;
}

int16_t handleError(Runtime& runtime, const std::string& module, const std::string& procedure) {
    if (dialogMustWait(runtime)) return handleWithoutWaiting(runtime, module, procedure);
    int16_t result = 0;
    {
        const HandlerRunning running(runtime);
        if (const auto captured = captureError(runtime)) {
            const auto& [error, raisedIn] = *captured;
            recordError(runtime, error, raisedIn, module, procedure);
            if (runtime.prefs().silentRun) {
                skipOnFailure([&] { deliverReport(runtime); });
            } else {
                UnansweredReport kept = keptUntilAnswered(runtime);
                result = showDialog(runtime);
                deliverAnswered(runtime, kept);
            }
        }
        exitPart(runtime);
    }
    showWaitingDialogs(runtime);
    return result;
}

ClockTick::ClockTick(Runtime& runtime) : runtime_(runtime) { ++runtime_.handlersInProgress().clockTicks; }
ClockTick::~ClockTick() { --runtime_.handlersInProgress().clockTicks; }

bool dialogsWaiting(Runtime& runtime) { return !runtime.handlersInProgress().dialogsToShow.empty(); }

void showWaitingDialogs(Runtime& runtime) {
    HandlersInProgress& handlers = runtime.handlersInProgress();
    if (handlers.count > 0 || handlers.clockTicks > 0 || runtime.state().busy) return;
    const HandlerRunning running(runtime);
    while (!handlers.dialogsToShow.empty()) {
        WaitingDialog waiting = std::move(handlers.dialogsToShow.front());
        handlers.dialogsToShow.pop_front();
        runtime.errorRecord() = std::move(waiting.record);
        showDialog(runtime);
        deliverAnswered(runtime, waiting.report);
        exitPart(runtime);
    }
}

int16_t wlERROR(const std::string& module, const std::string& procedure) {
    return handleError(currentRuntime(), module, procedure);
}

}  // namespace wardline
