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
    int16_t inDevEnvironment = 0;
    // The user's choice in the last error dialog (a DialogChoice), kept by the error handler.
    int16_t dialogChoice = 0;
    // These three last before the preferences: with the preferences' first switches they
    // make the one word enter and leave read (see quietFlags below).
    bool runtimeStarted = false;
    // Set while the error dialog waits for the user; enter, leave and the error handler wait on it.
    bool busy = false;
    int16_t monitorPresent = 0;
    Preferences prefs;
    // Set by the program before start-up when it has no display: nobody could see or
    // close the error dialog, so start-up sets "Silent Run".
    bool withoutDisplay = false;
    std::string exePrefix;
    std::string localSourceName;
};

// Tracing is on when any trace sink is.
inline bool tracingOn(const RuntimeState& state) {
    return state.prefs.captureToDisk != 0 || state.monitorPresent != 0 || state.prefs.circularLogOn;
}

// Zero exactly when the runtime is started, not busy and tracing is off: what lets enter
// and leave only keep the stack. The five flags lie in one word (the state's last four
// bytes before the preferences, then the preferences' first four), read with one load and
// tested with one branch: around every procedure call a branch per flag costs more than
// the stack itself.
inline uint64_t quietFlags(const RuntimeState& state) {
    static_assert(std::endian::native == std::endian::little);
    static_assert(offsetof(RuntimeState, runtimeStarted) == 4 && offsetof(RuntimeState, busy) == 5 &&
                  offsetof(RuntimeState, monitorPresent) == 6 && offsetof(RuntimeState, prefs) == 8);
    static_assert(offsetof(Preferences, captureToDisk) == 0 && offsetof(Preferences, circularLogOn) == 2);
    uint64_t word;  // its last byte is the preferences' padding: shifted out below
    std::memcpy(&word, reinterpret_cast<const unsigned char*>(&state) + 4, sizeof word);
    return (word ^ 1u) << 8;
}

}  // namespace wardline
