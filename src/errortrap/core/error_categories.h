#pragma once
// The category of a run-time error: error number -> category code -> category text.
#include <cstdint>
#include <string>

namespace wardline {

int16_t ErrorClassCode(int32_t number);
std::string ErrorClassName(int16_t code);

}  // namespace wardline
