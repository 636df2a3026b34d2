#pragma once
// The one way an instrumented procedure is written. A procedure is a list of numbered
// statements run under the runtime's protocol:
//
//   wardline::Procedure("frmMain.frm", "Sub cmdGo_Click").run({
//       {20, [&] { return checked ? wardline::next() : wardline::jumpTo(40); }},
//       {30, [&] { startProcess(commandLine); }},
//       {40, [] {}},
//   });
//
// It enters with wlPUSH (a failure there reports line 0), runs the statements in order
// (a statement may jump to another line or leave), and leaves through the exit path with
// wlPOP. A run-time error in a statement becomes the current error with that statement's
// number as its line and goes to wlERROR, whose ErrorAction decides: 1 runs the statement
// again, 2 continues with the next statement in number order, anything else leaves through
// the exit path. The exit path carries the number of the last statement.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <type_traits>

namespace wardline {

// Where a statement lets the procedure go on.
struct Flow {
    enum class Kind : uint8_t { Next, Jump, Leave };
    Kind kind = Kind::Next;
    int line = 0;
};
inline constexpr Flow next() { return {}; }
inline constexpr Flow jumpTo(int line) { return {Flow::Kind::Jump, line}; }
inline constexpr Flow leave() { return {Flow::Kind::Leave, 0}; }

struct Statement {
    template <typename Body>
    Statement(int lineNumber, Body&& body) : line(lineNumber) {
        if constexpr (std::is_void_v<std::invoke_result_t<Body&>>)
            run = [b = std::forward<Body>(body)]() mutable -> Flow { return b(), next(); };
        else
            run = std::forward<Body>(body);
    }
    int line;
    std::function<Flow()> run;
};

class Procedure {
public:
    Procedure(std::string module, std::string name, std::string arguments = {});

    // Runs the statements with the runtime's error trap.
    void run(std::initializer_list<Statement> statements);
    // Runs them without a trap: an error leaves the frame on the trace stack (no wlPOP)
    // and travels on to the caller's trap.
    void runUntrapped(std::initializer_list<Statement> statements);

    const std::string& module() const { return module_; }
    const std::string& name() const { return name_; }

private:
    int16_t trap(int line);
    bool enter();
    void exit(int line);
    static std::size_t following(std::span<const Statement> statements, std::size_t pc, Flow flow);

    std::string module_;
    std::string name_;
    std::string arguments_;
};

// What a trap calls with a trapped error: wlERROR unless a test installs its own.
using TrapHandler = std::function<int16_t(const std::string& module, const std::string& procedure)>;
// Installs `handler` for the lifetime of this object.
class ScopedTrapHandler {
public:
    explicit ScopedTrapHandler(TrapHandler handler);
    ~ScopedTrapHandler();
    ScopedTrapHandler(const ScopedTrapHandler&) = delete;
    ScopedTrapHandler& operator=(const ScopedTrapHandler&) = delete;

private:
    TrapHandler previous_;
};

}  // namespace wardline
