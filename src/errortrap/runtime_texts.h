#pragma once
// The runtime's numbered texts (labels, messages, banners).
#include <cstdint>
#include <string>

namespace wardline {

// The text numbered `number`; numbers without an entry give "".
std::string pfText(int16_t number);

}  // namespace wardline
