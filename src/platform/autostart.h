#pragma once
// Starting the program when its user logs in: a desktop entry in the user's autostart
// folder, ${XDG_CONFIG_HOME:-~/.config}/autostart/<system name>.desktop, which the desktop
// session starts at login. The entry names the executable by its full path, so a portable
// copy starts itself and not another one; its name, comment and icon are the program's
// identity's (app_identity.h), and startsAtLogin and setStartAtLogin use the identity of
// the services in use.
#include <optional>
#include <string>
#include <vector>

#include "platform/app_identity.h"

namespace platform {

// The entry's text for the executable `exePath` started with `arguments`; nullopt when the
// path or an argument cannot be written into a desktop entry (a line break or other control
// character, or bytes that are not UTF-8).
std::optional<std::string> autostartEntry(const AppIdentity& identity, const std::string& exePath,
                                          const std::vector<std::string>& arguments = {});

// Whether the entry is there.
bool startsAtLogin();

// Writes the entry for `exePath` started with `arguments` (replacing one there, never
// half-written; the folder is made when missing) or removes it. Raises 75 Path/File access
// error when the path cannot be written into an entry or there is no home folder, else the
// file error.
void setStartAtLogin(bool on, const std::string& exePath, const std::vector<std::string>& arguments = {});

// The full path of the running executable.
std::string executablePath();

}  // namespace platform
