#pragma once
// A fake of the user-interface services that records what the runtime asked for (message
// boxes, mouse pointers, window enabling, event rounds, error dialogs shown and unloaded)
// and answers as the test scripts it. A test gives it to its runtime (scoped_runtime.h).
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "errortrap/core/runtime.h"
#include "errortrap/core/ui_services.h"

namespace testsupport {

class RecordingUi : public wardline::UiServices {
public:
    struct Box {
        std::string text;
        int style = 0;
        std::string title;
    };
    // What the error dialog was shown for, and whether the runtime was busy meanwhile.
    struct Shown {
        std::string module;
        std::string procedure;
        int32_t number = 0;
        bool busyWhileShown = false;
    };

    RecordingUi() = default;
    RecordingUi(const RecordingUi&) = delete;
    RecordingUi& operator=(const RecordingUi&) = delete;

    // What the runtime asked for, in order.
    std::vector<Box> boxes;
    std::vector<int> pointers;         // one entry per setMousePointer call
    std::vector<bool> windowsEnabled;  // one entry per setVisibleWindowsEnabled call
    std::vector<Shown> shown;          // one entry per error dialog shown
    // "processEvents", "show <procedure>" and "unload", in the order they came.
    std::vector<std::string> events;
    int eventRounds = 0;
    int errorDialogLoads = 0;

    // Scripting. The answer of every message box; unset, a user dismissing it: OK for a
    // one-button box, Cancel where there is a choice.
    std::optional<int> boxAnswer;
    std::function<void(const Box&)> onMessageBox;
    // Runs inside processEvents (an event arriving), given the round's number from 1.
    std::function<void(int round)> onProcessEvents;
    // The error dialog's answer; an action run once while it is shown; or a failing dialog.
    int16_t answer = wardline::kChoiceContinue;
    std::deque<std::string> comments;  // typed into the dialogs shown, one each, in order
    std::function<void()> whileShown;
    bool failDialog = false;
    // Runs inside loading the error dialog form at start-up (it may throw, as a failing
    // form would).
    std::function<void()> onLoadErrorDialog;

    int messageBox(const std::string& text, int style, const std::string& title) override {
        boxes.push_back({text, style, title});
        if (onMessageBox) onMessageBox(boxes.back());
        if (boxAnswer) return *boxAnswer;
        return (style & 0x7) == wardline::kOkOnly ? wardline::kResultOk : wardline::kResultCancel;
    }
    void processEvents() override {
        ++eventRounds;
        events.push_back("processEvents");
        if (onProcessEvents) onProcessEvents(eventRounds);
    }
    int mousePointer() override { return pointer_; }
    void setMousePointer(int pointer) override {
        pointers.push_back(pointer);
        pointer_ = pointer;
    }
    void setVisibleWindowsEnabled(bool enabled) override { windowsEnabled.push_back(enabled); }
    // The fake leaves the runtime's busy flag alone: a test that plays the user sets it.
    wardline::DialogResult showErrorDialog(const wardline::DialogInput& input) override {
        const wardline::ErrorLevel& top = input.record->levels[0];
        shown.push_back({top.module, top.procedure, top.number, wardline::runtime().busy});
        events.push_back("show " + top.procedure);
        if (whileShown) {
            auto action = std::move(whileShown);
            whileShown = nullptr;
            action();
        }
        if (failDialog) throw std::runtime_error("dialog failed");
        wardline::DialogResult result;
        result.choice = answer;
        if (!comments.empty()) {
            result.userComment = std::move(comments.front());
            comments.pop_front();
        }
        return result;
    }
    void unloadErrorDialog() override { events.push_back("unload"); }
    bool probeErrorDialog() override {
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
