#pragma once
// What the error dialog tests share: user-interface services that show the real dialog
// and record message boxes, a runtime started afresh, error records as the error handler
// leaves them, and a way to act on the dialog from inside its modal loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "errortrap/core/runtime.h"
#include "errortrap/dialog/error_dialog.h"
#include "errortrap/dialog/frm_wardline.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/startup.h"
#include "platform/app_object.h"
#include "platform/runtime_error.h"
#include "support/scoped_runtime.h"
#include "support/temp_folder.h"

namespace wardline::testing {

struct ShownMessage {
    std::string text;
    int style = 0;
    std::string title;
};

// The services the application gives the runtime, reduced to what the dialog needs.
class DialogUi : public UiServices {
public:
    int messageBox(const std::string& text, int style, const std::string& title) override {
        messages.push_back({text, style, title});
        return kResultOk;
    }
    void processEvents() override {
        ++eventRounds;
        QCoreApplication::processEvents();
    }
    int mousePointer() override { return pointer_; }
    void setMousePointer(int pointer) override { pointer_ = pointer; }
    void setVisibleWindowsEnabled(bool) override {}
    DialogResult showErrorDialog(const DialogInput& input) override { return ShowErrorDialog(input); }
    void unloadErrorDialog() override { UnloadErrorDialog(); }
    bool probeErrorDialog() override { return ProbeErrorDialog(); }

    std::vector<ShownMessage> messages;
    int eventRounds = 0;

private:
    int pointer_ = kPointerDefault;
};

// Shows the error dialog for the current runtime's error record as the error handler does,
// keeps the answer in the runtime as the handler does, and returns the choice.
inline int16_t showDialogForRecord() {
    Runtime& runtime = currentRuntime();
    const DialogResult answer = ShowErrorDialog(dialogInputFor(runtime));
    takeDialogAnswer(runtime, answer);
    return answer.choice;
}

// The error dialog that is up: the modal window in front, when it is the dialog.
inline frmWARDLINE* shownErrorDialog() { return qobject_cast<frmWARDLINE*>(QApplication::activeModalWidget()); }

// Whether any error dialog is loaded (built and not yet unloaded), shown or not.
inline bool anyErrorDialogLoaded() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<frmWARDLINE*>(window)) return true;
    return false;
}

// Runs `action` on the error dialog once it is up and active and `ready` holds for it,
// from inside its modal loop. If the action leaves the dialog open, Continue closes it
// (unless `keepOpen`), so a failing test cannot hang.
inline void whenDialogReady(std::function<bool(const frmWARDLINE&)> ready, std::function<void(frmWARDLINE&)> action,
                            bool keepOpen = false) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout,
                     [poll, keepOpen, ready = std::move(ready), action = std::move(action)] {
                         frmWARDLINE* form = shownErrorDialog();
                         if (!form || !form->isVisible() || !runtime().busy || !ready(*form)) return;
                         poll->stop();
                         poll->deleteLater();
                         QPointer<frmWARDLINE> alive(form);
                         action(*form);
                         if (!keepOpen && alive && alive->isVisible() && alive->inModalShow)
                             alive->controls().kxCtrlContinue->click();
                     });
    poll->start();
}

// Runs `action` on the error dialog as soon as it is up and active (see whenDialogReady).
inline void whenDialogShown(std::function<void(frmWARDLINE&)> action, bool keepOpen = false) {
    whenDialogReady([](const frmWARDLINE&) { return true; }, std::move(action), keepOpen);
}

// The same once the dialog's activation is over, with "Display Mode": its last step builds
// the system state report. (The activation lets events run before that, and on a real
// display the first check may come then.)
inline void whenDialogShownWithReport(std::function<void(frmWARDLINE&)> action) {
    whenDialogReady([](const frmWARDLINE& form) { return !form.controls().kxCtrlArgs->toPlainText().isEmpty(); },
                    std::move(action));
}

// A runtime started afresh, with the dialog's services given to it.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        testRuntime->setUi(&ui);
        startRuntime(currentRuntime());
        testRuntime->state().inDevEnvironment = 0;
    }

    void enterDevelopmentEnvironment() { testRuntime->state().inDevEnvironment = -1; }

    DialogUi ui;
    testsupport::ScopedRuntime testRuntime;
};

// Error 13 on line 20 of frmMain's cmdGo_Click, called from the clock tick and trapped
// where it was raised, as the error handler records it.
inline void recordLocalError() {
    ErrorRecord& record = errorRecord();
    record.levelCount = 0;
    ErrorLevel& level = record.levels[0];
    level.helpFile = "wardline.hlp";
    level.helpContext = 13;
    level.category = "Type conversion error";
    level.module = "frmMain.frm";
    level.procedure = "Sub cmdGo_Click";
    level.line = 20;
    level.source = "Morrowset (local)";
    level.number = 13;
    level.description = "Type mismatch";
    record.codePointer = 0;
    record.callTreeSnapshot[0] = "2";
    record.callTreeSnapshot[1] = "1 : frmMain.frm : Sub tmrMain_Timer : ";
    record.callTreeSnapshot[2] = "2 : \tfrmMain.frm : Sub cmdGo_Click : 3";
}

// An error forwarded through two components (srv, then lib), arriving in cmdGo_Click.
inline void recordForwardedError() {
    ErrorRecord& record = errorRecord();
    record.levelCount = 2;
    record.levels[0] = {"wardline.hlp",
                        440,
                        "Automation",
                        "frmMain.frm << modA << modB",
                        "Sub cmdGo_Click << procB << procC",
                        0,
                        "Morrowset (local) << srv (remote) << lib (remote)",
                        440,
                        "Remote Automation error"};
    record.levels[1] = {"/nowhere/srv.hlp",
                        429,
                        "Automation",
                        "modA << modB",
                        "procB << procC",
                        12,
                        "srv (remote) << lib (remote)",
                        429,
                        "ActiveX component can't create object"};
    record.levels[2] = {"/nowhere/lib.hlp",
                        91,
                        "Automation",
                        "modB",
                        "procC",
                        0,
                        "lib (remote)",
                        91,
                        "Object variable or With block variable not set"};
    record.codePointer = 0;
    record.callTreeSnapshot[0] = "1";
    record.callTreeSnapshot[1] = "1 : frmMain.frm : Sub cmdGo_Click : ";
}

using testsupport::ScopedEnv;
using testsupport::TempFolder;

}  // namespace wardline::testing
