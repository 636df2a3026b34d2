#pragma once
// The timetable's switches in section [timetable] of the preferences file WLCLIENT.INI:
// "Catch Up" (catch_up.h) and "Keep Running" (the window hides in the tray when closed).
// A switch is on when its value is 1, and off by default.
#include <string>

namespace wardline {
struct Preferences;
}  // namespace wardline

namespace morrowset::switches {

inline constexpr const char* kCatchUp = "Catch Up";
inline constexpr const char* kKeepRunning = "Keep Running";

// Whether the preferences file at `preferencesPath` sets switch `key` to 1.
bool isOn(const std::string& preferencesPath, const char* key);

// Writes switch `key`; raises the file's error. A file made for it also gets the [include]
// items in effect (`prefs`), which the runtime reads only from a file that is there: the
// trace lines stay as they were.
void set(const std::string& preferencesPath, const char* key, bool on, const wardline::Preferences& prefs);

}  // namespace morrowset::switches
