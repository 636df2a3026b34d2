#pragma once
// Decoding an error that another component forwarded to this program. Its source text
// carries the whole path the error took: a decimal level count, then for each level the
// fields source, module, procedure, line and number, all separated by "!":
//
//   "2" "srvA!modA!procA!12!91" "!" "srvB!modB!procB!0!5" " (remote)"
//
// The text comes from outside the program, so the decoder accepts any text at all: a
// missing field reads "<unknown>" (numbers 0), a count outside 16 bits is taken as 0, a
// negative count as 0 and a count above 10 keeps only the last ten levels of the chain.
#include <cstdint>
#include <string>

#include "errortrap/core/error_record.h"

namespace wardline {

// Decodes the chain held in level 0's source of `record` (as the error handler tagged it)
// into the record's levels. Level 0 becomes the local end of the path: error 440, with the
// whole path folded into its source, module and procedure ("local << level 1 << level 2").
// The chain lists the forwarded levels farthest first: its first level becomes level
// <count>, its last level 1. `trappedNumber` is the error number that was trapped; every
// forwarded level carries its category.
void decodeRemoteChain(ErrorRecord& record, int32_t trappedNumber, const std::string& localSourceName);

}  // namespace wardline
