#pragma once
// What Morrowset knows of one run of a row's command line: what started it and when, and
// how it ended. The history file keeps one line per event of a run (run_history.h); the
// timetable keeps each row's last run for the window.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace morrowset {

// What started a run: the clock, NOW, catching up, or `Morrowset --run` from the command line.
enum class Trigger { Clock, Now, CatchUp, Command };
// "clock", "now", "catch-up", "command": the history's words.
std::string_view triggerName(Trigger trigger);
std::optional<Trigger> triggerNamed(std::string_view name);

// Why Morrowset stopped a run: it reached its row's time limit, or it was asked to stop.
enum class StopReason { None, TimeLimit, Stop };
// "", "time limit", "stop": the history's words.
std::string_view stopReasonName(StopReason reason);
std::optional<StopReason> stopReasonNamed(std::string_view name);

// A moment as the history writes it: the local wall-clock reading and the zone's offset
// from UTC at that moment.
struct Stamp {
    platform::WallTime local;
    int32_t utcOffsetSeconds = 0;
    bool operator==(const Stamp& other) const {
        return local.position() == other.local.position() && utcOffsetSeconds == other.utcOffsetSeconds;
    }
};
// Now, from the time source in use. With the system clock the offset is the one in force
// (exact also in the hour the clocks go back); with another time source it is the zone's
// offset for that local reading.
Stamp stampNow();
// The local reading `local` with the zone's offset for it (the earlier one in the hour the
// clocks go back).
Stamp stampOf(platform::WallTime local);
// ISO 8601: "2026-12-11T02:30:00.012+01:00", or without the milliseconds.
std::string isoText(const Stamp& stamp, bool milliseconds = true);
// Reads what isoText writes, with or without milliseconds.
std::optional<Stamp> stampFromIso(std::string_view text);

struct RunRecord {
    // How a run stands or ended.
    enum class Result {
        Running,    // started, no end seen yet
        Succeeded,  // exit status 0
        Failed,     // another exit status, a signal, stopped by Morrowset, or it could not start
        Unseen,     // started by an earlier Morrowset that ended before the run did
        Skipped,    // never started: its time passed while the clock was paused
    };

    std::string id;  // shared by the run's events in the history
    int row = 0;     // 0 to 5
    std::string command;
    Trigger trigger = Trigger::Now;
    std::optional<Stamp> due;  // the second it was due, for clock and catch-up starts
    Stamp started;
    int pid = 0;                  // 0 when it could not start
    std::string output;           // the output file's name in the runs folder, "" for none
    int32_t error = 0;            // the run-time error that kept it from starting (5, 53, 70)
    std::optional<Stamp> ended;   // none while running
    int64_t durationMs = 0;       // monotonic, start to end
    std::optional<int> exitStatus;
    int signal = 0;               // the signal that ended it, 0 for none
    bool endUnseen = false;       // restored from the history with no end
    std::string skipped;          // why it never started ("paused"), "" for a start
    int32_t timeLimitSeconds = 0; // the longest it may take, 0 for no limit
    StopReason stopped = StopReason::None;  // why Morrowset stopped it
    int64_t cutBytes = 0;         // the bytes cut from the front of its output

    Result result() const;
    bool refused() const { return error != 0; }
};

// "SIGKILL" for 9; "signal 64" for a number without a name.
std::string signalName(int signal);
// The number for "SIGKILL", 0 when unknown.
int signalNumber(std::string_view name);

}  // namespace morrowset
