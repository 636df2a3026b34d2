// Morrowset: loads the timetable window, the program's start object, and runs the events.
#include <QApplication>
#include <QTimer>

#include "app/app_icon.h"
#include "app/app_identity.h"
#include "app/command_line.h"
#include "app/frm_main.h"
#include "app/lazy_icon_style.h"
#include "app/qt_ui_services.h"
#include "app/single_instance.h"
#include "errortrap/core/runtime.h"
#include "platform/app_object.h"

int main(int argc, char** argv) {
    // The program's one runtime, current for the whole run.
    wardline::Runtime runtime(morrowset::appIdentity());
    wardline::makeCurrent(&runtime);
    QApplication::setApplicationName(QString::fromStdString(platform::app().title()));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(platform::app().major())
                                            .arg(platform::app().minor())
                                            .arg(platform::app().revision()));
    if (const auto exitCode = morrowset::answerCommandLine(argc, argv)) return *exitCode;
    if (const auto exitCode = morrowset::handOverToFirstInstance()) return *exitCode;
    QApplication application(argc, argv);
    if (const auto exitCode = morrowset::answerCommandLine(QApplication::arguments(), true)) return *exitCode;
    morrowset::useLazyIconStyle();
    morrowset::QtUiServices ui;
    runtime.setUi(&ui);
    morrowset::runSilentlyWithoutDisplay(runtime);

    // Loading the window runs its Form_Load; the window unloads itself when closed, and that
    // ends the program, also while other windows (History, an output) are open. Hidden in
    // the tray it is not closed, and the program goes on.
    QApplication::setQuitOnLastWindowClosed(false);
    auto* window = new morrowset::frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(window, &QObject::destroyed, &application, &QApplication::quit);
    window->showAtStart(morrowset::startsInBackground(QApplication::arguments()));
    // The window icon is drawn once the window's map request has gone to the X server: it is
    // no part of the first frame, and window managers take an icon set later as well.
    QTimer::singleShot(0, [] { morrowset::useMorrowsetIconForAllWindows(); });
    morrowset::serveLaterStarts(window, window->scheduler());
    const int result = QApplication::exec();
    runtime.setUi(nullptr);
    return result;
}
