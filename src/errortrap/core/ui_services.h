#pragma once
// The user-interface services that the runtime calls on. The application implements them
// with its widgets; tests implement them with a scripted fake. A runtime given none uses a
// silent one that answers as a user dismissing every box would.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace wardline {

struct ErrorRecord;
class UiServices;

// Message box style bits, as the classic message box takes them.
enum MessageBoxStyle : int {
    kOkOnly = 0,
    kOkCancel = 1,
    kCritical = 16,
    kQuestion = 32,
    kExclamation = 48,
    kInformation = 64,
};
// Button results.
enum MessageBoxResult : int {
    kResultOk = 1,
    kResultCancel = 2,
    kResultAbort = 3,
    kResultRetry = 4,
    kResultIgnore = 5,
    kResultYes = 6,
    kResultNo = 7,
};

// Mouse pointer shapes.
enum MousePointer : int {
    kPointerDefault = 0,
    kPointerCross = 2,
    kPointerIBeam = 3,
    kPointerHourglass = 11,
    kPointerArrowHourglass = 13,
};

// The error dialog's answers: the button the user closed it with.
enum DialogChoice : int16_t { kChoiceContinue = 0, kChoiceBreakTo = 5 };

// What the error dialog shows and works with. The dialog keeps nothing of the runtime's:
// the error handler fills this in and acts on the answer (DialogResult).
struct DialogInput {
    const ErrorRecord* record = nullptr;  // the error to show; nullptr: a form with no error
    bool inDevEnvironment = false;        // running under a debugger: the developer's tools
    bool forceSystemInfo = false;         // outside it, keep the views beyond the comment
    bool reportOnShow = false;            // build the system state report as the dialog comes up
    std::string exeName;                  // the program the headline names
    std::string helpFile;                 // the application's help file (F1 outside the debugger)
    UiServices* ui = nullptr;             // message boxes, pointer and events; nullptr: none
    // Told as the dialog comes up (active, waiting for the user) and as the user answers.
    std::function<void()> shown;
    std::function<void()> answered;
};

// The user's answer.
struct DialogResult {
    int16_t choice = kChoiceContinue;            // a DialogChoice
    std::optional<std::string> userComment;      // what the user typed, when they continued
    std::optional<std::string> systemStateText;  // the system state report (CR LF line ends), when shown
    std::string helpFile;                        // the help topic of the level last chosen
    int32_t helpContext = 0;
};

class UiServices {
public:
    virtual ~UiServices() = default;
    // Shows a modal message box; an empty title means the application's title.
    virtual int messageBox(const std::string& text, int style, const std::string& title) = 0;
    // Lets pending user-interface events run once.
    virtual void processEvents() = 0;
    virtual int mousePointer() = 0;
    virtual void setMousePointer(int pointer) = 0;
    // Enables or disables every visible window of the program.
    virtual void setVisibleWindowsEnabled(bool enabled) = 0;
    // Loads the error dialog for `input`, shows it modally and returns the user's answer.
    virtual DialogResult showErrorDialog(const DialogInput& input) = 0;
    // Unloads the error dialog when it is loaded; does nothing otherwise.
    virtual void unloadErrorDialog() = 0;
    // Whether the error dialog form can be loaded, asked without building it (start-up asks
    // once while it learns where it runs). False when there is no such form.
    virtual bool probeErrorDialog() = 0;
};

// The silent implementation: OK for one-button boxes, Cancel where there is a choice,
// Continue for the error dialog, no-ops for the rest.
class SilentUi : public UiServices {
public:
    int messageBox(const std::string&, int style, const std::string&) override {
        return (style & 0x7) == kOkOnly ? kResultOk : kResultCancel;
    }
    void processEvents() override {}
    int mousePointer() override { return pointer_; }
    void setMousePointer(int pointer) override { pointer_ = pointer; }
    void setVisibleWindowsEnabled(bool) override {}
    DialogResult showErrorDialog(const DialogInput&) override { return {}; }
    void unloadErrorDialog() override {}
    bool probeErrorDialog() override { return false; }

private:
    int pointer_ = kPointerDefault;
};

}  // namespace wardline
