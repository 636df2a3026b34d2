#pragma once
// The standard message texts of run-time errors, by error number.
#include <cstdint>
#include <string>

namespace platform {

// The classic text for `number`; numbers without an entry give
// "Application-defined or object-defined error".
std::string standardErrorText(int32_t number);
// True when the table has an entry of its own for `number`.
bool hasStandardErrorText(int32_t number);

}  // namespace platform
