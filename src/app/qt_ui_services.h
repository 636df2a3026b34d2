#pragma once
// The runtime's user-interface services, done with the program's widgets.
#include "errortrap/core/ui_services.h"

namespace wardline {
class Runtime;
}  // namespace wardline

namespace morrowset {

class QtUiServices : public wardline::UiServices {
public:
    // Style bits: buttons (0 OK, 1 OK Cancel, 2 Abort Retry Ignore, 3 Yes No Cancel, 4 Yes No,
    // 5 Retry Cancel), icon (16 critical, 32 question, 48 exclamation, 64 information),
    // default button (0, 256, 512). Returns 1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes,
    // 7 No.
    int messageBox(const std::string& text, int style, const std::string& title) override;
    // Runs the pending events; when none are pending, waits a few milliseconds for one, so
    // that a caller looping on this does not spin.
    void processEvents() override;
    int mousePointer() override { return pointer_; }
    void setMousePointer(int pointer) override;
    void setVisibleWindowsEnabled(bool enabled) override;
    wardline::DialogResult showErrorDialog(const wardline::DialogInput& input) override;
    void unloadErrorDialog() override;
    bool probeErrorDialog() override;

    static constexpr int kIdleWaitMs = 5;

private:
    int pointer_ = wardline::kPointerDefault;
};

// Without a display (Qt's offscreen or minimal platform) nobody can see or close the error
// dialog: `runtime` then runs as with "Silent Run", which this says once on standard
// error. True when there is no display.
bool runSilentlyWithoutDisplay(wardline::Runtime& runtime);

}  // namespace morrowset
