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
// number as its line and goes to the runtime's trap handler (wlERROR unless a test set its
// own), whose ErrorAction (error_handler.h) decides: kRetry runs the statement again,
// kResumeNext continues with the next statement in number order, anything else leaves
// through the exit path. The exit path carries the number of the last statement.
//
// Nothing here allocates: a statement refers to its body (the lambda lives until the end
// of the whole `Procedure(...).run({...});` statement), and the procedure refers to its
// names. So a Procedure and its statements are used in that one statement, never kept.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace wardline {

class Runtime;

// Where a statement lets the procedure go on.
struct Flow {
    enum class Kind : uint8_t { Next, Jump, Leave };
    Kind kind = Kind::Next;
    int line = 0;
};
inline constexpr Flow next() { return {}; }
inline constexpr Flow jumpTo(int line) { return {Flow::Kind::Jump, line}; }
inline constexpr Flow leave() { return {Flow::Kind::Leave, 0}; }

class Statement {
public:
    // A body returns nothing (go on with the next statement) or a Flow.
    template <typename Body>
        requires std::is_invocable_v<Body&>
    Statement(int lineNumber, Body&& body)
        : line(lineNumber),
          body_(const_cast<void*>(static_cast<const void*>(std::addressof(body)))),
          call_(&call<Body>) {}
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Flow run() const { return call_(body_); }

    const int line;

private:
    template <typename Body>
    static Flow call(void* body) {
        auto& b = *static_cast<std::remove_reference_t<Body>*>(body);
        if constexpr (std::is_void_v<std::invoke_result_t<decltype(b)>>) {
            b();
            return next();
        } else {
            return b();
        }
    }
    void* body_;
    Flow (*call_)(void*);
};

class Procedure {
public:
    Procedure(std::string_view module, std::string_view name, std::string_view arguments = {})
        : module_(module), name_(name), arguments_(arguments) {}
    Procedure(const Procedure&) = delete;
    Procedure& operator=(const Procedure&) = delete;

    // Runs the statements with the runtime's error trap.
    void run(std::initializer_list<Statement> statements);
    // Runs them without a trap: an error leaves the frame on the trace stack (no wlPOP)
    // and travels on to the caller's trap.
    void runUntrapped(std::initializer_list<Statement> statements);
    // Runs them outside the runtime: no trace, no trap, and nothing that would start the
    // runtime; a run-time error travels on to the caller. For a second reader of the same
    // steps (a command-line query) that must not touch a running program's trace files.
    static void runPlainly(std::initializer_list<Statement> statements);

    std::string_view module() const { return module_; }
    std::string_view name() const { return name_; }

private:
    friend class RunningProcedure;
    friend int runningStatementLine(const Runtime& runtime, int level) noexcept;
    int16_t trap(int line);
    bool enter();
    void exit(int line);
    static std::size_t following(std::span<const Statement> statements, std::size_t pc, Flow flow);

    std::string_view module_;
    std::string_view name_;
    std::string_view arguments_;
    // While it runs: the procedure it was called from, its trace level and the number of
    // the statement in progress.
    Procedure* outer_ = nullptr;
    int level_ = 0;
    int line_ = 0;
};

// The number of the statement in progress in the procedure that runs at trace level
// `level` of `runtime`, 0 when no Procedure runs there. It only reads memory (no
// allocation, no lock), so a signal handler may call it.
int runningStatementLine(const Runtime& runtime, int level) noexcept;

}  // namespace wardline
