#pragma once
// Stopping a started program and whatever it started in turn. A program starts in a
// session and process group of its own (process_start.h), the group's id being its own, so
// its children, grandchildren and a shell's pipeline are all in that group unless they
// left it on purpose.
//
// The group gets SIGTERM (and SIGCONT, so that a stopped group hears it) at once; whatever
// of it is left after the grace gets SIGKILL. Nothing waits: the SIGKILL comes from a
// single-shot timer on the calling thread's event loop. The SIGKILL goes only to the group
// that was stopped: if its id has since passed to a new group (the group ended and the id
// was given to a new session leader), the timer leaves it alone.
#include <chrono>

namespace platform {

// How long a group has between SIGTERM and SIGKILL.
constexpr std::chrono::milliseconds kStopGrace{10'000};

// Stops process group `groupId` (a started program's process id). False, and nothing sent,
// when no process of the group is left, or when `groupId` is no group to stop (0, 1 or
// negative: those would reach every process the user has).
bool stopProcessGroup(int groupId, std::chrono::milliseconds grace = kStopGrace);

}  // namespace platform
