#pragma once
// The runtime's numbered texts (labels, messages, banners).
#include <cstdint>
#include <string>

namespace wardline {

// The numbers of the texts the runtime asks for by name. The numbers are the table's
// (runtime_texts.cpp); a few texts are built when asked for (the banners, the identity).
enum class TextId : int16_t {
    kErrorSuffix = 16,  // " error": after a category name, and the trace's error tag
    kModuleLabel = 19,
    kStartBanner = 20,  // built: date, time, "start", client version
    kGeneratedError = 23,
    kInternalErrorTitle = 24,
    kInternalErrorIntro = 25,
    kInternalErrorWhere = 26,
    kErrorInformationTitle = 27,
    kCallTreeTitle = 28,
    kSystemStateTitle = 29,
    kProcedureLabel = 30,
    kStopBanner = 31,  // built: date, time, "stop", client version
    kProgramStart = 32,
    kDialogTitle = 34,
    kLineNumberLabel = 35,
    kErrorNumberLabel = 36,
    kDescriptionLabel = 37,
    kCategoryLabel = 38,
    kBytesSuffix = 39,
    kYes = 40,
    kNo = 41,
    kContinueCaption = 42,
    kBreakToCaption = 44,
    kUnbalancedProcedure = 48,
    kPopWithoutPush = 49,
    kChooseOkToBreak = 50,
    kChooseCancelToContinue = 51,
    kUnbalancedTitle = 53,
    kSourceLabel = 61,
    kProgramIdentity = 62,  // built: folder, executable name and version
};

// The text numbered `number`; numbers without an entry give "".
std::string pfText(int16_t number);
inline std::string pfText(TextId id) {
    return pfText(static_cast<int16_t>(id));
}

// Text `id` as the label of a report row or a dialog caption: without the blanks at
// its ends, then one blank ("Module    " gives "Module ").
std::string labelText(TextId id);

}  // namespace wardline
