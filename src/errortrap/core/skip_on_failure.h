#pragma once
// Runs one step of a procedure that goes on past a failing step ("on error resume next"):
// whatever the step throws is dropped and the caller carries on with its next step. For
// start-up, the error report and the error dialog, where a missing part is better than
// no report at all.
#include <utility>

namespace wardline {

template <typename Step>
void skipOnFailure(Step&& step) noexcept {
    try {
        std::forward<Step>(step)();
    } catch (...) {
    }
}

}  // namespace wardline
