#pragma once
// The timetable's six rows: whatever counts rows counts to this.
namespace morrowset {

inline constexpr int kRowCount = 6;

}  // namespace morrowset
