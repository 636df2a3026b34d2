#pragma once
// The error handler: every instrumented procedure's trap hands its error to wlERROR, which
// records it, reports it (trace line, dialog, error log, mail) and says how to resume.
#include <cstdint>
#include <string>

#include "errortrap/core/ui_services.h"

namespace wardline {

class Runtime;

// How a procedure goes on after its trap handled an error: kRetry runs the failing
// statement again, kResumeNext continues with the next statement, and any other value
// (the dialog's choices among them) leaves through the procedure's exit path.
enum ErrorAction : int16_t { kRetry = 1, kResumeNext = 2 };

// Handles the current error, trapped in `procedure` of `module`, with the current runtime.
// The result is the ErrorAction.
int16_t wlERROR(const std::string& module, const std::string& procedure);
// The same with `runtime`.
int16_t handleError(Runtime& runtime, const std::string& module, const std::string& procedure);

// What the error dialog is given for `runtime`'s error record: the record, where the program
// runs, and the handler's part while the dialog is up (busy from when it shows until the user
// answers).
DialogInput dialogInputFor(Runtime& runtime);
// Keeps the dialog's answer: the choice, and in the error record the comment (after
// Continue) and the system state report.
void takeDialogAnswer(Runtime& runtime, const DialogResult& answer);

// Marks a clock tick for as long as it lives: nothing in the tick waits for an open error
// dialog, and an error raised in it waits for its dialog (showWaitingDialogs), which opens
// after the tick. Its report is written when that dialog is answered.
class ClockTick {
public:
    explicit ClockTick(Runtime& runtime);
    ~ClockTick();
    ClockTick(const ClockTick&) = delete;
    ClockTick& operator=(const ClockTick&) = delete;

private:
    Runtime& runtime_;
};

// Whether errors still wait for their dialogs.
bool dialogsWaiting(Runtime& runtime);
// Shows the waiting dialogs one after the other, the oldest first, unless a dialog is open,
// a handler runs or a tick runs (the dialogs are shown when asked again after it). As each
// is answered, its error's report is written and mailed with what the user said there. The
// answers change nothing else: each error's procedure was left when the error was raised.
void showWaitingDialogs(Runtime& runtime);

}  // namespace wardline
