#pragma once
// The program's last words. When it dies of a fault (SIGSEGV, SIGBUS, SIGILL, SIGFPE), an
// abort (SIGABRT) or an exception nobody catches (std::terminate), it still
//   1. writes an error line, error 51 "Fatal signal SIGSEGV (segmentation fault)" (or
//      "Uncaught exception (what)"), at the innermost procedure on the trace stack and the
//      statement it was running, to every trace sink that is on;
//   2. appends the reports of earlier errors whose dialogs were never answered (kept as
//      bytes, core/unanswered_reports.h), then a report in the error log's layout (banner, the error, the call tree from
//      the live trace stack ending in a Trap line, empty system state and user comment,
//      stop banner) to the error log the error handler would use, as one write followed by
//      fdatasync;
//   3. restores the default action and raises the signal again (SIGABRT after an uncaught
//      exception), so the exit status and any core dump are the system's own.
// Asked to end by SIGTERM, SIGINT or SIGHUP (unless started with it ignored), by Quit or
// Shutdown (platform::endProgram) or by the end of main, it writes those unanswered
// reports too, and a signal then ends it as it would have.
// The handlers run on an alternate signal stack (a stack overflow still gets its report)
// and use only system calls and memory prepared here at start-up: no allocation, no stdio,
// no locks. A fault inside a handler meets the default action at once. The date in the
// report's banners is the local time at the crash: the zone's offsets (daylight-saving
// changes included) are learned at start-up for the two years after it.
namespace wardline {

class Runtime;

// Installs the handlers on the first call; every call (each start-up) prepares the texts
// of the report afresh from `runtime`'s state. Start-up calls it last.
void installCrashHandlers(Runtime& runtime);

}  // namespace wardline
