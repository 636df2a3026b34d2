#pragma once
// Starting a command line as a new, independent process.
//
// The command line is split into words the way a POSIX shell splits them (blanks separate
// words; single quotes, double quotes and backslashes quote) but nothing is expanded:
// "$HOME", "*" and "~" reach the program literally. No shell is involved, so a command line
// can never be taken for shell code; to run a pipeline, start the shell yourself:
// sh -c 'sort in.txt | uniq > out.txt'.
//
// The first word names the program. Without a "/" it is looked up on PATH as execvp does.
// An executable file that is neither a binary nor a "#!" script is run by /bin/sh, so a plain
// file of commands runs like a batch file.
//
// The program starts in its own session (no controlling terminal, not hit by signals sent
// to ours), with stdin from /dev/null, stdout and stderr to the file given (else ours), no
// other open file of ours, every signal at its default and none blocked. The call returns as
// soon as the program is running; nothing waits for it: a child watcher (child_watcher.h,
// the process's own unless another is given) reaps it when the event loop hears that it
// ended, so it never lingers as a zombie, and calls the given `onEnd` then.
//
// A program may be started in a folder of its own: it runs there, and a program named by a
// relative path ("./report", "bin/report") is found there, as after "cd folder". Without
// one it runs in ours.
//
// Failures are raised as run-time errors: 5 for an empty or blank command line or an
// unterminated quote, 53 when the program cannot be found, 70 when it may not be run,
// 76 Path not found when the folder to start in is not there, is no folder or may not be
// entered, anything else from the operating system's error code (file_errors.h).
#include <signal.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/child_watcher.h"

namespace platform {

// Every signal there is, for a started program's "all to their defaults": sigfillset
// leaves out the two that glibc keeps for itself (32 and 33), and a program started with
// those ignored would keep them so.
const sigset_t& everySignal();

// Splits a command line into words; raises 5 on an unterminated quote.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// Starts the command line with its output to `outputFd` (-1: ours), in `folder` ("": ours);
// returns the new process's id. `watcher` (nullptr: the process's) watches it, once, with
// `onEnd`.
int startProcess(std::string_view commandLine, int outputFd = -1, const std::string& folder = {},
                 OnChildEnd onEnd = {}, ChildWatcher* watcher = nullptr);

// Starts the command line with the process starter of the services in use (services.h):
// startProcess unless a test gave a starter of its own (which keeps the output and the
// folder its own).
int launchProcess(std::string_view commandLine, int outputFd = -1, const std::string& folder = {},
                  OnChildEnd onEnd = {}, ChildWatcher* watcher = nullptr);

}  // namespace platform
