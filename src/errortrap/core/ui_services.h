#pragma once
// The user-interface services that the runtime calls on. The application implements them
// with its widgets; tests implement them with a scripted fake. A runtime given none uses a
// silent one that answers as a user dismissing every box would.
#include <cstdint>
#include <string>

namespace wardline {

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
    // Loads the error dialog for the error record just filled, shows it modally and
    // returns the user's choice (a DialogChoice).
    virtual int16_t showErrorDialog() = 0;
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
    int16_t showErrorDialog() override { return kChoiceContinue; }
    void unloadErrorDialog() override {}
    bool probeErrorDialog() override { return false; }

private:
    int pointer_ = kPointerDefault;
};

}  // namespace wardline
