#pragma once
// Ending the program at once, as the language runtime's "End" statement does: no window is
// unloaded and no further event runs; open files are flushed and closed on the way out.
namespace platform {

// Flushes the C streams and whatever registered a hook, then ends the process with `code`.
[[noreturn]] void endProgram(int code = 0);

// Code that keeps buffered output of its own registers a flush for endProgram, as a static
// object: `const platform::ProgramEndHook hook{&flushMine};`.
struct ProgramEndHook {
    explicit ProgramEndHook(void (*flush)());
};

}  // namespace platform
