#pragma once
// Module-level state of the runtime that start-up sets and the trace, the error handler
// and the error dialog read. It lives for the whole run.
#include <cstdint>
#include <string>

namespace wardline {

// Values read from the preferences file "WLCLIENT.INI" at start-up. Flags follow the
// runtime's convention: -1 true, 0 false, any non-zero value counts as true.
struct Preferences {
    bool circularLogOn = false;
    std::string circFileName;
    int32_t circRecordSize = 0;
    int16_t circRecordLimit = 0;  // twice "MaxRecords"
    int16_t forceSystemInfo = 0;
    std::string mailAddress;
    int16_t writeToDisk = 0;
    int16_t captureToDisk = 0;
    std::string errorLogPath;
    int16_t silentRun = 0;
    int16_t displayMode = 0;
    int16_t includeResources = 0;
    int16_t includeMemory = 0;
    int16_t includeArguments = 0;
    int16_t includeUser = 0;
};

struct RuntimeState {
    bool runtimeStarted = false;
    int16_t inDevEnvironment = 0;
    int16_t monitorPresent = 0;
    std::string exePrefix;
    std::string localSourceName;
    // Set while the error dialog is up; enter, leave and the error handler wait on it.
    bool busy = false;
    // The error dialog's closing buttons leave the user's choice here.
    int16_t dialogChoice = 0;
    // Set by the program before start-up when it has no display: nobody could see or
    // close the error dialog, so start-up sets "Silent Run".
    bool withoutDisplay = false;
    Preferences prefs;
};

// The program's one runtime state.
extern constinit RuntimeState theRuntimeState;
inline RuntimeState& runtime() { return theRuntimeState; }

// Tracing is on when any trace sink is.
inline bool tracingOn(const RuntimeState& state) {
    return state.prefs.captureToDisk != 0 || state.monitorPresent != 0 || state.prefs.circularLogOn;
}

// Waits while the busy flag is set, letting pending events run.
void waitWhileBusy();

// Subsystems that keep state of their own (open log files, cached values) register how
// to reset it, as a static object: `const RuntimeResetHook hook{&resetMine};`.
struct RuntimeResetHook {
    explicit RuntimeResetHook(void (*reset)());
};

// Returns the whole runtime (state, trace stack, error record, start-up) to its state
// before the first enter. For tests.
void resetRuntimeForTesting();

}  // namespace wardline
