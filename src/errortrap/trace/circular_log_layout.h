#pragma once
// The circular log's file layout, shared by the writer (circular_log.h) and the reader
// (tools/circlog). Offsets count from 0:
//   0..3          zero
//   4..           the record size in decimal digits, then "HM100"
//   up to 511     rest of the header, zero
//   512 + (k-1)R  record slot k, k = 1 .. 2 x MaxRecords, R = record size
// A record is the line (with its CR LF) cut to R bytes, or followed by zero bytes up to R
// (at most 1024 of them; beyond those the slot keeps what it held).
#include <cstdint>
#include <string_view>

namespace circular_log_layout {

inline constexpr int32_t kHeaderSize = 512;
// The header's leading zero bytes, before the record size's digits.
inline constexpr std::size_t kLeadingZeros = 4;
inline constexpr std::string_view kMark = "HM100";
// The zero bytes a record is followed by at most.
inline constexpr std::size_t kMaxPadding = 1024;

// Where slot `slot` (from 1) starts in a log of `recordSize`-byte records.
constexpr int64_t slotOffset(int64_t slot, int64_t recordSize) { return kHeaderSize + (slot - 1) * recordSize; }

}  // namespace circular_log_layout
