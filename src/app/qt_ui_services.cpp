#include "app/qt_ui_services.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <vector>

#include "app/app_icon.h"
#include "errortrap/core/runtime.h"
#include "errortrap/dialog/error_dialog.h"
#include "platform/app_object.h"

namespace morrowset {

namespace {

struct Choice {
    QMessageBox::StandardButton button;
    int result;
};

// Button sets by the low three style bits, in the order the box shows them.
const std::vector<Choice>& buttonSet(int style) {
    using namespace wardline;
    static const std::vector<Choice> kSets[] = {
        {{QMessageBox::Ok, kResultOk}},
        {{QMessageBox::Ok, kResultOk}, {QMessageBox::Cancel, kResultCancel}},
        {{QMessageBox::Abort, kResultAbort},
         {QMessageBox::Retry, kResultRetry},
         {QMessageBox::Ignore, kResultIgnore}},
        {{QMessageBox::Yes, kResultYes}, {QMessageBox::No, kResultNo}, {QMessageBox::Cancel, kResultCancel}},
        {{QMessageBox::Yes, kResultYes}, {QMessageBox::No, kResultNo}},
        {{QMessageBox::Retry, kResultRetry}, {QMessageBox::Cancel, kResultCancel}},
    };
    const int set = style & 0x7;
    return set < static_cast<int>(std::size(kSets)) ? kSets[set] : kSets[0];
}

QMessageBox::Icon iconFor(int style) {
    switch (style & 0x70) {
        case wardline::kCritical: return QMessageBox::Critical;
        case wardline::kQuestion: return QMessageBox::Question;
        case wardline::kExclamation: return QMessageBox::Warning;
        case wardline::kInformation: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

Qt::CursorShape cursorFor(int pointer) {
    switch (pointer) {
        case wardline::kPointerHourglass: return Qt::WaitCursor;
        case wardline::kPointerArrowHourglass: return Qt::BusyCursor;
        case wardline::kPointerCross: return Qt::CrossCursor;
        case wardline::kPointerIBeam: return Qt::IBeamCursor;
        default: return Qt::ArrowCursor;
    }
}

}  // namespace

int QtUiServices::messageBox(const std::string& text, int style, const std::string& title) {
    useMorrowsetIconForAllWindows();
    const std::string& caption = title.empty() ? platform::app().title() : title;
    QMessageBox box(iconFor(style), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::NoButton, QApplication::activeWindow());
    const auto& choices = buttonSet(style);
    for (const auto& choice : choices) box.addButton(choice.button);
    const std::size_t defaultIndex = static_cast<std::size_t>((style >> 8) & 0x3);
    box.setDefaultButton(choices[defaultIndex < choices.size() ? defaultIndex : 0].button);
    const auto clicked = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const auto& choice : choices)
        if (choice.button == clicked) return choice.result;
    // Closed without a button: the box's cancel answer, or its only button.
    return choices.size() == 1 ? choices.front().result : wardline::kResultCancel;
}

void QtUiServices::processEvents() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || dispatcher->processEvents(QEventLoop::AllEvents)) return;
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(kIdleWaitMs);
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtUiServices::setMousePointer(int pointer) {
    if (pointer == pointer_) return;
    if (pointer_ != wardline::kPointerDefault) QApplication::restoreOverrideCursor();
    pointer_ = pointer;
    if (pointer != wardline::kPointerDefault) QApplication::setOverrideCursor(QCursor(cursorFor(pointer)));
}

void QtUiServices::setVisibleWindowsEnabled(bool enabled) {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible()) window->setEnabled(enabled);
}

wardline::DialogResult QtUiServices::showErrorDialog(const wardline::DialogInput& input) {
    useMorrowsetIconForAllWindows();
    return wardline::ShowErrorDialog(input);
}
void QtUiServices::unloadErrorDialog() { wardline::UnloadErrorDialog(); }
bool QtUiServices::probeErrorDialog() { return wardline::ProbeErrorDialog(); }

bool runSilentlyWithoutDisplay(wardline::Runtime& runtime) {
    const QString qtPlatform = QGuiApplication::platformName();
    if (qtPlatform != QLatin1String("offscreen") && qtPlatform != QLatin1String("minimal")) return false;
    runtime.state().withoutDisplay = true;
    std::fprintf(stderr, "%s: no display (Qt platform \"%s\"): running as with Silent Run, no error dialog\n",
                 runtime.platform().app.exeName().c_str(), qtPlatform.toLocal8Bit().constData());
    return true;
}

}  // namespace morrowset
