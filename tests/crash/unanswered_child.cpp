// A program that ends while an error dialog waits for its answer. It starts the runtime in
// the current folder (its preferences file is there) with the real error dialog; a clock
// tick fails to start a row, and that error's dialog opens after the tick. Once a comment
// is typed into it, a second tick fails (its dialog waits behind the first), and the
// program ends, still without an answer, in the way its one argument names:
//   quit   - as Quit and Shutdown end it (platform::endProgram)
//   term   - it says "dialog-open" (a file in the current folder) and waits for SIGTERM
//   fault  - a segmentation fault
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

#include "app/app_identity.h"
#include "app/qt_ui_services.h"
#include "errortrap/core/runtime.h"
#include "errortrap/dialog/frm_wardline.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/trace/procedure.h"
#include "platform/app_object.h"
#include "platform/program_end.h"
#include "platform/runtime_error.h"

namespace {

using wardline::Procedure;

// The clock tick starting row 3, which names a program that is not there.
void tickWithFailingRow(wardline::Runtime& runtime, int32_t error) {
    const wardline::ClockTick tick(runtime);
    Procedure("frmMain.frm", "Sub tmrMain_Timer").run({
        {580, [&] { Procedure("frmMain.frm", "Sub cmdGo_Click", "3").run({{30, [&] { platform::raiseError(error); }}}); }},
    });
}

[[gnu::noinline, gnu::no_sanitize("undefined")]] void dereferenceNull() {
    volatile int* volatile pointer = nullptr;
    *pointer = 1;
}

void sayDialogOpen() {
    std::ofstream("dialog-open.new") << "open\n";
    std::rename("dialog-open.new", "dialog-open");
}

void end(std::string_view how) {
    if (how == "quit") platform::endProgram(0);
    if (how == "term") sayDialogOpen();
    if (how == "fault") dereferenceNull();
}

// Types into the dialog once it is up and waiting for its answer, then ends the program.
void whenTheDialogWaits(wardline::Runtime& runtime, std::string_view how) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, &runtime, how] {
        auto* form = qobject_cast<wardline::frmWARDLINE*>(QApplication::activeModalWidget());
        if (!form || !form->isVisible() || !runtime.state().busy) return;
        poll->stop();
        QTest::keyClicks(form->controls().Text1, "typed but never sent");
        tickWithFailingRow(runtime, 6);
        end(how);
    });
    poll->start();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    char folder[4096];
    if (!::getcwd(folder, sizeof folder)) return 2;
    wardline::Runtime runtime(morrowset::appIdentity());
    runtime.platform().app = platform::AppObject(folder, "Morrowset");
    wardline::makeCurrent(&runtime);
    QApplication application(argc, argv);
    morrowset::QtUiServices ui;
    runtime.setUi(&ui);

    tickWithFailingRow(runtime, 53);
    whenTheDialogWaits(runtime, argv[1]);
    wardline::showWaitingDialogs(runtime);
    return 3;  // only reached when the dialog was answered after all
}
