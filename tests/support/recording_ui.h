#pragma once
// A fake of the user-interface services that records what the runtime asked for: message
// boxes, window enabling, event processing, loading the error dialog. A test gives it to
// its runtime (scoped_runtime.h).
#include <functional>
#include <string>
#include <vector>

#include "errortrap/ui_services.h"

namespace testsupport {

class RecordingUi : public wardline::UiServices {
public:
    struct Box {
        std::string text;
        int style = 0;
        std::string title;
    };

    RecordingUi() = default;
    RecordingUi(const RecordingUi&) = delete;
    RecordingUi& operator=(const RecordingUi&) = delete;

    // What the runtime asked for, in order.
    std::vector<Box> boxes;
    std::vector<bool> windowsEnabled;  // one entry per setVisibleWindowsEnabled call
    int eventRounds = 0;
    int errorDialogLoads = 0;

    // Scripting: the answer of every message box; what runs inside processEvents and
    // inside loading the error dialog (either may throw, as a failing form would).
    int boxAnswer = wardline::kResultCancel;
    std::function<void(int round)> onProcessEvents;
    std::function<void()> onLoadErrorDialog;
    std::function<void(const Box&)> onMessageBox;

    int messageBox(const std::string& text, int style, const std::string& title) override {
        boxes.push_back({text, style, title});
        if (onMessageBox) onMessageBox(boxes.back());
        return boxAnswer;
    }
    void processEvents() override {
        ++eventRounds;
        if (onProcessEvents) onProcessEvents(eventRounds);
    }
    int mousePointer() override { return pointer_; }
    void setMousePointer(int pointer) override { pointer_ = pointer; }
    void setVisibleWindowsEnabled(bool enabled) override { windowsEnabled.push_back(enabled); }
    int16_t showErrorDialog() override { return 0; }
    void unloadErrorDialog() override {}
    bool loadAndUnloadErrorDialog() override {
        ++errorDialogLoads;
        if (onLoadErrorDialog) onLoadErrorDialog();
        return true;
    }

    // True while the last window call disabled the windows.
    bool windowsDisabled() const { return !windowsEnabled.empty() && !windowsEnabled.back(); }

private:
    int pointer_ = wardline::kPointerDefault;
};

}  // namespace testsupport
