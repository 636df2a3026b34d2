#pragma once
// The runtime's last resort for its own failures: a message box, never the error handler.
#include <cstdint>
#include <string>

namespace wardline {

// Reports that runtime procedure `procedureText` ("wlSTART()", "wlERROR()") failed with
// run-time error `number`. Never raises and never calls wlERROR.
void pfErr(int16_t number, const std::string& procedureText);

}  // namespace wardline
