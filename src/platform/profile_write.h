#pragma once
// Writing one value of a profile file (".INI"), keeping everything else as it is: the key's
// line in its section gets the new value; a missing key goes at the end of its section, a
// missing section at the end of the file; a missing file is made (0600). Section and key
// names are matched without regard to case, as reading matches them. The file is replaced
// only once the new one is complete, so a failed write leaves the old one whole.
#include <string>
#include <string_view>

namespace platform {

// The text of `profile` with `key` in `section` set to `value`; lines end in CR LF.
std::string withProfileValue(std::string_view profile, std::string_view section, std::string_view key,
                             std::string_view value);

// Sets the value in the file at `path`. Raises 70 Permission denied when the file is there
// but is not one the program believes (profile_trust.h), else the file error.
void writePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path);

}  // namespace platform
