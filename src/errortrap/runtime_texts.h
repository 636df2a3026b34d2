#pragma once
// The runtime's numbered texts (labels, messages, banners).
#include <cstdint>
#include <string>

namespace wardline {

// The text numbered `number`; numbers without an entry give "".
std::string pfText(int16_t number);

// Text `number` as the label of a report row or a dialog caption: without the blanks at
// its ends, then one blank ("Module    " gives "Module ").
std::string labelText(int16_t number);

}  // namespace wardline
