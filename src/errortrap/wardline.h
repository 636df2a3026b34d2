#pragma once
// The public face of the Wardline error-trap runtime. Every instrumented procedure enters
// with wlPUSH, leaves with wlPOP and hands each trapped run-time error to wlERROR, whose
// result (the ErrorAction) says how to resume: 1 run the failing statement again,
// 2 continue with the next statement, anything else leave through the exit path.
// Procedures normally do all of this through wardline::Procedure (procedure.h).
#include <cstdint>
#include <string>
#include <string_view>

namespace wardline {

void wlPUSH(std::string_view module, std::string_view procedure, std::string_view arguments);
void wlPOP(std::string_view module, std::string_view procedure, std::string_view arguments);
int16_t wlERROR(const std::string& module, const std::string& procedure);

// The runtime's numbered texts; numbers without an entry give "".
std::string pfText(int16_t number);

// Error number -> category code -> category text.
int16_t ErrorClassCode(int32_t number);
std::string ErrorClassName(int16_t code);

}  // namespace wardline
