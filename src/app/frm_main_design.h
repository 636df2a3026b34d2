#pragma once
// The timetable window's fixed texts, which its layout and its event procedures share.
namespace morrowset::frm_main_design {

inline constexpr const char* kCaption = "System Morrowset - By Ansgrove V1.0";
inline constexpr const char* kPauseCaption = "Pause Program";
inline constexpr const char* kStartCaption = "Start Program";
inline constexpr const char* kGoCaption = "NOW";

}  // namespace morrowset::frm_main_design
