#pragma once
// The runtime's state that start-up sets and the trace, the error handler and the error
// dialog read. The runtime object (runtime.h) holds it for the whole run.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace wardline {

// Values read from the preferences file "WLCLIENT.INI" at start-up. Flags follow the
// runtime's convention: -1 true, 0 false, any non-zero value counts as true.
struct Preferences {
    // The trace sinks' switches first: enter and leave read them as one word (see
    // quietFlags below).
    int16_t captureToDisk = 0;
    bool circularLogOn = false;
    int16_t writeToDisk = 0;
    int16_t circRecordLimit = 0;  // twice "MaxRecords"
    int16_t forceSystemInfo = 0;
    int16_t silentRun = 0;
    int16_t displayMode = 0;
    int16_t includeResources = 0;
    int16_t includeMemory = 0;
    int16_t includeArguments = 0;
    int16_t includeUser = 0;
    int32_t circRecordSize = 0;
    std::string circFileName;
    std::string mailAddress;
    std::string errorLogPath;
};

struct RuntimeState {
    // These three first: enter and leave read them as one word (see quietFlags below).
    bool runtimeStarted = false;
    // Set while the error dialog is up; enter, leave and the error handler wait on it.
    bool busy = false;
    int16_t monitorPresent = 0;
    int16_t inDevEnvironment = 0;
    // The error dialog's closing buttons leave the user's choice (a DialogChoice) here.
    int16_t dialogChoice = 0;
    // Set by the program before start-up when it has no display: nobody could see or
    // close the error dialog, so start-up sets "Silent Run".
    bool withoutDisplay = false;
    Preferences prefs;
    std::string exePrefix;
    std::string localSourceName;
};

// Tracing is on when any trace sink is.
inline bool tracingOn(const RuntimeState& state) {
    return state.prefs.captureToDisk != 0 || state.monitorPresent != 0 || state.prefs.circularLogOn;
}

// Zero exactly when the runtime is started, not busy and tracing is off: what lets enter
// and leave only keep the stack. It reads the five flags as two words, with no branch
// each: around every procedure call a branch per flag costs more than the stack itself.
inline uint32_t quietFlags(const RuntimeState& state) {
    static_assert(std::endian::native == std::endian::little);
    static_assert(offsetof(RuntimeState, runtimeStarted) == 0 && offsetof(RuntimeState, busy) == 1 &&
                  offsetof(RuntimeState, monitorPresent) == 2);
    static_assert(offsetof(Preferences, captureToDisk) == 0 && offsetof(Preferences, circularLogOn) == 2);
    uint32_t stateWord, prefsWord;  // byte 3 of the preferences' word is padding
    std::memcpy(&stateWord, reinterpret_cast<const unsigned char*>(&state), sizeof stateWord);
    std::memcpy(&prefsWord, reinterpret_cast<const unsigned char*>(&state.prefs), sizeof prefsWord);
    return (stateWord ^ 1u) | (prefsWord & 0x00ff'ffffu);
}

}  // namespace wardline
