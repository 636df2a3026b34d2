#pragma once
// Ending the program at once, as the language runtime's "End" statement does: no window is
// unloaded and no further event runs; open files are flushed and closed on the way out.
namespace platform {

// What must still happen when the program ends at once (the runtime writes the reports
// whose dialogs were never answered). One such function; a later call replaces it.
using LastWords = void (*)() noexcept;
void setLastWords(LastWords lastWords);

// Says the last words, flushes the C streams, runs the at_quick_exit handlers, then ends
// the process with `code`.
[[noreturn]] void endProgram(int code = 0);

}  // namespace platform
