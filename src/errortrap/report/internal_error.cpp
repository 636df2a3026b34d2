#include "errortrap/report/internal_error.h"

#include "errortrap/core/runtime_texts.h"
#include "platform/error_texts.h"
#include "platform/runtime_error.h"

namespace wardline {

void reportInternalError(UiServices& ui, int16_t number, const std::string& procedureText) {
    try {
        const std::string report = procedureText + " " + pfText(TextId::kGeneratedError) + " " +
                                   std::to_string(number) + ", '" + platform::standardErrorText(number) +
                                   "', inside WARDLINE.BAS\r\n";
        ui.messageBox(report, kCritical | kOkOnly, "Wardline" + pfText(TextId::kInternalErrorTitle));
    } catch (...) {
        try {
            const platform::ErrorInfo failure = platform::errorInfoFor(std::current_exception());
            ui.messageBox(pfText(TextId::kInternalErrorIntro) + std::to_string(failure.number) +
                              pfText(TextId::kInternalErrorWhere) + std::to_string(failure.line),
                          kOkOnly, "");
        } catch (...) {
            // A failing second box is not handled further.
        }
    }
}

}  // namespace wardline
