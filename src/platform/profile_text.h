#pragma once
// The profile reader's rules (see profile.h) applied to a profile's text already in
// memory: the one entry that takes bytes, for the fuzz target.
#include <optional>
#include <string_view>

namespace platform {

// The raw value of section/key in the profile's text (blanks and matching quotes removed,
// not cut to a buffer), or nullopt when it has none. The value points into `text`.
std::optional<std::string_view> findProfileValue(std::string_view text, std::string_view section,
                                                 std::string_view key);

}  // namespace platform
