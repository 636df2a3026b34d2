#include "errortrap/core/runtime_texts.h"

#include <array>
#include <string_view>

#include "platform/app_object.h"
#include "platform/clock.h"
#include "platform/formatting.h"
#include "platform/text.h"

namespace wardline {
namespace {

constexpr std::string_view kClientVersion = "5.00.04 (for Visual Basic 5.0)";

struct FixedText {
    int16_t number;
    std::string_view text;
};

constexpr auto kFixedTexts = std::to_array<FixedText>({
    {1, "] END PROGRAM "},
    {16, " error"},
    {17, " <unavailable: line numbers not used>"},
    {18, "<< ERROR >>"},
    {19, "Module    "},
    {21, "The error handler was not initialized before a call to 'wlPOP()' was made."},
    {22, "The program is too deeply nested. The error handler can only handle 1000 levels of recursion."},
    {23, "generated error"},
    {24, " - Internal Error Handler"},
    {25, "An internal error "},
    {26, " has occured in module WARDLINE.BAS, proceure pfErr(), line "},
    {27, "Error Information"},
    {28, "Call Tree & Arguments"},
    {29, "System State Information"},
    {30, "Procedure"},
    {32, "Wardline(tm) : Program START"},
    {33, "START PROGRAM"},
    {34, "Program Error Intercepted"},
    {35, "Line Number "},
    {36, "Error No. "},
    {37, "Description "},
    {38, "Category "},
    {39, " bytes"},
    {40, "YES"},
    {41, "NO"},
    {42, "&Continue"},
    {43, "&Go to"},
    {44, "&Break to"},
    {48, "Procedure is unbalanced or contains calls to unbalanced routines. "},
    {49, "'wlPOP()' was called without 'wlPUSH()'. "},
    {50, "Choose OK break to VB."},
    {51, "Choose CANCEL to continue with program."},
    {52, "Windows is in 'Standard' mode. Microsecond timer resolution only available under Windows 'Enhanced' "
         "mode. Using millisecond timer resolution."},
    {53, "WLVB100"},
    {55, "&More"},
    {58, "trappable errors"},
    {61, "Source "},
});

std::string captureBanner(std::string_view startOrStop) {
    const std::tm now = platform::localNow();
    return platform::formatDate(now) + " " + platform::formatTime(now) + " - " + std::string(startOrStop) +
           " Wardline client v" + std::string(kClientVersion) + " data capture";
}

std::string programIdentity() {
    const platform::AppObject& app = platform::app();
    return app.path() + "/" + app.exeName() + " ver " + std::to_string(app.major()) + "." +
           std::to_string(app.minor()) + "." + std::to_string(app.revision());
}

}  // namespace

std::string pfText(int16_t number) {
    try {
        switch (static_cast<TextId>(number)) {
            case TextId::kStartBanner:
                return captureBanner("start");
            case TextId::kStopBanner:
                return captureBanner("stop");
            case TextId::kProgramIdentity:
                return programIdentity();
            default:
                break;
        }
        for (const FixedText& entry : kFixedTexts)
            if (entry.number == number) return std::string(entry.text);
    } catch (...) {
    }
    return {};
}

std::string labelText(TextId id) {
    return std::string(platform::trimmed(pfText(id), platform::kSpaces)) + " ";
}

}  // namespace wardline
