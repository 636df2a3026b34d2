#pragma once
// Enter and leave: every instrumented procedure enters with wlPUSH and leaves with wlPOP
// (procedure.h does both). They work on the current runtime's trace stack and, while
// tracing is on, write a trace line for each; the first enter starts the runtime.
#include <string_view>

namespace wardline {

void wlPUSH(std::string_view module, std::string_view procedure, std::string_view arguments);
void wlPOP(std::string_view module, std::string_view procedure, std::string_view arguments);

}  // namespace wardline
