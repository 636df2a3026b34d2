#pragma once
// Classic profile files (".INI"): sections in square brackets, then "key = value" lines.
//
// Reading rules, the same for every file:
// - section and key names are compared without regard to case; the first match wins;
// - blanks (spaces, tabs) around names and values are removed, and a value in matching
//   quotes ('...' or "...") loses them;
// - lines starting with ";" are comments; text after a value is part of the value;
// - the value is cut to bufferSize - 1 characters (a 2-character buffer sees only the first
//   character); a missing file, section or key gives the default, cut the same way and
//   without trailing blanks;
// - the result is the number of characters copied, which is also value.size().
// A file given by bare name (no "/") is looked for in the Windows directory; the file
// name is matched without regard to case ("win.INI" finds win.ini).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::size_t getPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::string& value, std::size_t bufferSize,
                                    const std::string& file);

// The same from the system profile "win.INI".
std::size_t getProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                             std::string& value, std::size_t bufferSize);

// The folder named by WINDIR when it is set, otherwise /etc; no trailing "/".
std::string windowsDirectory();

// The path of the profile file `file` as it exists on disk (bare names in the Windows
// directory, the file name matched without regard to case); nullopt when there is none.
std::optional<std::string> locateProfileFile(const std::string& file);

}  // namespace platform
