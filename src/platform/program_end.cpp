#include "platform/program_end.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace platform {
namespace {

std::vector<void (*)()>& endHooks() {
    static std::vector<void (*)()> hooks;
    return hooks;
}

}  // namespace

ProgramEndHook::ProgramEndHook(void (*flush)()) { endHooks().push_back(flush); }

// Static destructors and the toolkit's clean-up do not run: the windows are still up, and
// tearing them down is exactly what ending "at once" leaves out.
void endProgram(int code) {
    for (auto* flush : endHooks()) flush();
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace platform
