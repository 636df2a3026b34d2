#pragma once
// The language runtime's error object: the current error of the program, and the
// exception that carries a run-time error from the statement that failed to the trap
// that handles it.
#include <cstdint>
#include <exception>
#include <string>

namespace platform {

// What the runtime knows about one run-time error.
struct ErrorInfo {
    int32_t number = 0;
    std::string source;       // the project name for the program's own errors
    std::string description;  // the error's own text (the runtime reads the standard text instead)
    std::string helpFile;
    int32_t helpContext = 0;
    int32_t line = 0;  // number of the failing statement, 0 when none
};

// A run-time error in flight.
class RuntimeError : public std::exception {
public:
    explicit RuntimeError(ErrorInfo info);
    const ErrorInfo& info() const noexcept { return info_; }
    int32_t number() const noexcept { return info_.number; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    ErrorInfo info_;
    std::string what_;
};

// Run-time error `number` as the program itself raises it: the project name as source,
// the standard text as description and the runtime's help file with the number as help
// context.
ErrorInfo ownErrorInfo(int32_t number);

// Raises run-time error `number` with the fields of ownErrorInfo.
[[noreturn]] void raiseError(int32_t number);
// Raises an error that came from elsewhere (another component), with its own fields.
[[noreturn]] void raiseError(const ErrorInfo& info);

// The error a trap sees for any exception: run-time errors keep their fields; other
// exceptions become the program's own error of the nearest number: bad_alloc -> 7 Out of
// memory, out_of_range -> 9 Subscript out of range, overflow_error -> 6 Overflow,
// invalid_argument -> 5 Invalid procedure call or argument, anything else -> 51 Internal error.
ErrorInfo errorInfoFor(const std::exception_ptr& error);

// The current error of the program (the runtime's error object), kept by the services in
// use (services.h).
ErrorInfo& currentError();
void clearError();

}  // namespace platform
