#include "platform/runtime_error.h"

#include <new>
#include <stdexcept>

#include "platform/app_object.h"
#include "platform/error_texts.h"
#include "platform/services.h"

namespace platform {

RuntimeError::RuntimeError(ErrorInfo info) : info_(std::move(info)) {
    what_ = "Run-time error " + std::to_string(info_.number) + ": " + standardErrorText(info_.number);
}

namespace {

// The program's project name (its identity's, services.h), carried as the source of its
// own run-time errors.
const std::string& projectName() { return services().identity.projectName; }

}  // namespace

ErrorInfo ownErrorInfo(int32_t number) {
    ErrorInfo info;
    info.number = number;
    info.source = projectName();
    info.description = standardErrorText(number);
    info.helpFile = app().runtimeHelpFile();
    info.helpContext = number;
    return info;
}

void raiseError(int32_t number) {
    throw RuntimeError(ownErrorInfo(number));
}

void raiseError(const ErrorInfo& info) { throw RuntimeError(info); }

namespace {

// bad_alloc -> 7 Out of memory, out_of_range -> 9 Subscript out of range,
// overflow_error -> 6 Overflow, invalid_argument -> 5 Invalid procedure call or argument,
// anything else -> 51 Internal error.
int32_t errorNumberForException(const std::exception& error) {
    if (auto* runtime = dynamic_cast<const RuntimeError*>(&error)) return runtime->number();
    if (dynamic_cast<const std::bad_alloc*>(&error)) return kOutOfMemory;
    if (dynamic_cast<const std::out_of_range*>(&error)) return kSubscriptOutOfRange;
    if (dynamic_cast<const std::overflow_error*>(&error)) return kOverflow;
    if (dynamic_cast<const std::invalid_argument*>(&error)) return kInvalidProcedureCall;
    return kInternalError;
}

}  // namespace

ErrorInfo errorInfoFor(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const RuntimeError& runtime) {
        return runtime.info();
    } catch (const std::exception& other) {
        return ownErrorInfo(errorNumberForException(other));
    } catch (...) {
        return ownErrorInfo(kInternalError);
    }
}

ErrorInfo& currentError() { return services().currentError; }

void clearError() { currentError() = ErrorInfo{}; }

}  // namespace platform
