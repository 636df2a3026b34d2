#pragma once
// Ending the program at once, as the language runtime's "End" statement does: no window is
// unloaded and no further event runs; open files are flushed and closed on the way out.
namespace platform {

// Flushes the C streams, runs the at_quick_exit handlers, then ends the process with `code`.
[[noreturn]] void endProgram(int code = 0);

}  // namespace platform
