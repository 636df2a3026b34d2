#include "platform/program_end.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

LastWords lastWordsAtEnd = nullptr;

}  // namespace

void setLastWords(LastWords lastWords) { lastWordsAtEnd = lastWords; }

// Static destructors and the toolkit's clean-up do not run: the windows are still up, and
// tearing them down is exactly what ending "at once" leaves out. What must not outlive the
// program is stopped by its at_quick_exit handler (a sendmail still running).
void endProgram(int code) {
    if (lastWordsAtEnd) lastWordsAtEnd();
    std::fflush(nullptr);
    std::quick_exit(code);
}

}  // namespace platform
