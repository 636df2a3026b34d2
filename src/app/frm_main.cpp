#include "app/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QScopeGuard>
#include <cstdio>
#include <utility>

#include "timetable/catch_up.h"
#include "app/command_box.h"
#include "app/frm_about.h"
#include "app/frm_main_design.h"
#include "app/history_window.h"
#include "app/row_result_icon.h"
#include "app/row_settings_dialog.h"
#include "timetable/run_text.h"
#include "app/second_timer.h"
#include "app/single_instance.h"
#include "timetable/settings_file.h"
#include "app/state_check_box.h"
#include "app/time_box.h"
#include "app/tray_icon.h"
#include "timetable/switches.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/core/runtime.h"
#include "errortrap/trace/procedure.h"
#include "errortrap/trace/trace_sinks.h"
#include "platform/app_object.h"
#include "platform/autostart.h"
#include "platform/profile_write.h"
#include "platform/clock.h"
#include "platform/conversions.h"
#include "platform/error_texts.h"
#include "platform/formatting.h"
#include "platform/runtime_error.h"
#include "platform/program_end.h"
#include "widgets/button_keys.h"
#include "widgets/twips.h"

namespace morrowset {

namespace {

using wardline::jumpTo;
using wardline::next;
using wardline::Procedure;

using namespace frm_main_design;

const std::string kModule = "frmMain.frm";

QString toQString(const std::string& text) { return QString::fromStdString(text); }

// Focus moves the user makes, which let a time box check its entry first.
bool userMove(Qt::FocusReason reason) {
    return reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
           reason == Qt::ShortcutFocusReason;
}

}  // namespace

// The scheduler works for the runtime current when the window loads, in its application
// folder, with the process's child watcher.
frmMain::frmMain(QWidget* parent, std::function<bool()> trayThere)
    : QMainWindow(parent),
      scheduler_(platform::app().path(), platform::processWatcher(), Launcher::startWith(platform::processWatcher()),
                 wardline::currentRuntime()),
      reports_(platform::app().path()) {
    setWindowTitle(kCaption);
    createControls();
    createMenu();
    setTabOrderAsDesigned();
    bindRows();
    connectEvents();
    createTray(std::move(trayThere));
    setFixedSize(sizeHint());
    Form_Load();
    scheduler_.restoreLastRuns();
    scheduler_.clockStarted();
    tmrMain->setEnabled(true);
    chkEnabled[0]->setFocus();
    scheduler_.catchUpLater();
}

// Tearing the controls down moves the focus; the window must hear nothing of it by then.
frmMain::~frmMain() {
    disconnect(qApp, nullptr, this, nullptr);
    tmrMain->setEnabled(false);
}

// ---- Set-up ----

// The rows' controls show the timetable, and the user's edits in them go to it; what the
// scheduler decides (a typed command line checks its row) comes back through rowChanged.
void frmMain::bindRows() {
    scheduler_.setView(this);
    for (int16_t row = 0; row < kRows; ++row) {
        runIcons[row] = new RowResultIcon(txtPath[row], [this, row] { return scheduler_.nextStartText(row); });
        connect(chkEnabled[row], &QCheckBox::stateChanged, this, [this, row] {
            if (!showingRow_) timetable().setState(row, chkEnabled[row]->value());
        });
        connect(txtPath[row], &QLineEdit::textChanged, this, [this, row] {
            if (!showingRow_) scheduler_.commandLineEdited(row, txtPath[row]->commandLine());
        });
        connect(mskTime[row], &QLineEdit::textChanged, this, [this, row] {
            if (!showingRow_) timetable().setTimeText(row, mskTime[row]->timeText());
        });
        txtPath[row]->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(txtPath[row], &QWidget::customContextMenuRequested, this,
                [this, row](const QPoint& at) { showRowMenu(row, at); });
    }
}

void frmMain::showRowMenu(int16_t row, const QPoint& at) {
    QMenu* menu = txtPath[row]->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* first = menu->actions().value(0);
    QAction* settings = new QAction(tr("Row settings\u2026"), menu);
    connect(settings, &QAction::triggered, this, [this, row] { editRowSettings(row); });
    QAction* stop = new QAction(tr("Stop run"), menu);
    stop->setEnabled(launcher().runningIn(row));
    connect(stop, &QAction::triggered, this, [this, row] { launcher().stop(row); });
    menu->insertActions(first, {settings, stop});
    menu->insertSeparator(first);
    menu->popup(txtPath[row]->mapToGlobal(at));
}

// The row's days, time limit and folder; kept with the rest of the row at the next Save.
void frmMain::editRowSettings(int16_t row) {
    if (const auto rules = frmRowSettings::edit(row, timetable().row(row).rules, this)) timetable().setRules(row, *rules);
}

void frmMain::showRow(int row) {
    const bool outer = std::exchange(showingRow_, true);
    const Timetable::Row& shown = timetable().row(row);
    if (chkEnabled[row]->value() != shown.state) chkEnabled[row]->setValue(shown.state);
    if (txtPath[row]->commandLine() != shown.commandLine) {
        txtPath[row]->setCommandLine(shown.commandLine);
        txtPath[row]->setCursorPosition(0);  // show a long command line from its start
    }
    if (mskTime[row]->timeText() != shown.timeText) mskTime[row]->setTimeText(shown.timeText);
    runIcons[row]->show(shown.lastRun, scheduler_.appFolder());
    showingRow_ = outer;
}

void frmMain::connectEvents() {
    scheduler_.addRunObserver(&reports_);
    for (int16_t row = 0; row < kRows; ++row)
        connect(cmdGo[row], &QPushButton::clicked, this, [this, row] { cmdGo_Click(row); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdPause, &QPushButton::clicked, this, [this] { cmdPause_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    connect(mnuQuit, &QAction::triggered, this, [this] { mnuQuit_Click(); });
    connect(mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
    connect(mnuStartAtLogin, &QAction::triggered, this, [this] { mnuStartAtLogin_Click(); });
    connect(mnuCatchUp, &QAction::triggered, this, [this] { mnuCatchUp_Click(); });
    connect(mnuKeepRunning, &QAction::triggered, this, [this] { mnuKeepRunning_Click(); });
    connect(mnuHistory, &QAction::triggered, this, [this] { mnuHistory_Click(); });
    // A tray may have come (or gone) since the menu was last open.
    connect(mnuOptions, &QMenu::aboutToShow, this, [this] { offerKeepRunning(); });
    scheduler_.addRunObserver(this);
    connect(qApp, &QApplication::focusChanged, this, &frmMain::onFocusChanged);
}

// The tray's picture follows the status light.
void frmMain::setStatusColor(uint32_t bgr) {
    statusColor_ = bgr;
    QPalette palette = lblStatus->palette();
    palette.setColor(QPalette::Window, QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
    lblStatus->setPalette(palette);
    showTrayState();
}

void frmMain::clockRunning(bool running) { setStatusColor(running ? kGreen : kRed); }

void frmMain::clockShown(const std::string& text) { txtTime->setText(toQString(text)); }

// Restarting after a pause looks only at the second it restarts in.
void frmMain::startClock() {
    scheduler_.resume();
    tmrMain->setEnabled(true);
}

// Kept running, the window goes to the tray and the clock goes on; else closing it ends
// the program.
void frmMain::closeEvent(QCloseEvent* event) {
    if (keepsRunning()) {
        event->ignore();
        hide();
        return;
    }
    tmrMain->setEnabled(false);
    event->accept();
}

// Seeing the window is looking at what failed.
void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    tray->lookedAt();
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (tray && event->type() == QEvent::ActivationChange && isActiveWindow()) tray->lookedAt();
}

// ---- The tray ----

void frmMain::createTray(std::function<bool()> trayThere) {
    tray = new TrayIcon(this, std::move(trayThere));
    connect(tray, &TrayIcon::showTimetableRequested, this, [this] { bringToFront(this); });
    connect(tray, &TrayIcon::pauseRequested, this, [this] { cmdPause_Click(); });
    connect(tray, &TrayIcon::historyRequested, this, [this] { mnuHistory_Click(); });
    connect(tray, &TrayIcon::quitRequested, this, [this] { mnuQuit_Click(); });
    connect(tray, &TrayIcon::trayKnown, this, [this] { trayKnown(); });
    tray->show();
    offerKeepRunning();
}

// Whether the desktop has a tray is known at once, or once the session bus answered.
void frmMain::trayKnown() {
    tray->show();
    offerKeepRunning();
    if (std::exchange(startingHidden_, false) && !tray->isShown()) showWithoutTray();
}

void frmMain::showAtStart(bool background) {
    if (!background) return show();
    if (!tray->isKnown()) {
        startingHidden_ = true;  // until the tray is known
        return;
    }
    if (!tray->isShown()) showWithoutTray();
}

// --background without a tray: the window is shown after all.
void frmMain::showWithoutTray() {
    std::fprintf(stderr, "%s: --background: %s The window is shown.\n", platform::app().exeName().c_str(),
                 tray->whyNone().toLocal8Bit().constData());
    show();
}

bool frmMain::keepsRunning() const { return mnuKeepRunning->isChecked() && tray->isShown(); }

void frmMain::showTrayState() {
    if (!tray) return;  // the status light is set before the tray is made
    tray->setPaused(scheduler_.paused());
    tray->setNextStart(scheduler_.paused() ? QString() : firstStartText());
}

// Row times are whole minutes, so the first start's text changes only with the minute or
// with the rows: the clock's other ticks reuse it.
QString frmMain::firstStartText() {
    const platform::WallTime now = platform::wallNow();
    const int32_t minute = now.millisecond / 60'000;
    const uint64_t revision = timetable().revision();
    if (firstStart_.day != now.day || firstStart_.minute != minute || firstStart_.revision != revision)
        firstStart_ = {now.day, minute, revision, toQString(runtext::firstStart(timetable(), now))};
    return firstStart_.text;
}

void frmMain::offerKeepRunning() {
    const bool there = tray->trayThere();
    mnuKeepRunning->setEnabled(there);
    const QString why = there ? QString()
                              : tray->whyNone() + QStringLiteral(" A closed window could not be brought back, "
                                                                 "so closing it ends Morrowset.");
    mnuKeepRunning->setStatusTip(why);
    mnuKeepRunning->setToolTip(why);
}

bool frmMain::keepRunningWanted() const { return switches::isOn(scheduler_.preferencesPath(), switches::kKeepRunning); }

std::vector<std::string> frmMain::loginArguments() const {
    if (keepRunningWanted()) return {"--background"};
    return {};
}

void frmMain::runEnded(const RunRecord& run) {
    if (run.result() == RunRecord::Result::Failed) runFailedUnseen();
}

void frmMain::runRefused(const RunRecord&) { runFailedUnseen(); }

// A failure the user sees in the window (shown and in front) is not one to be told of.
void frmMain::runFailedUnseen() {
    if (!isVisible() || !isActiveWindow()) tray->runFailed();
}

// ---- Leaving a time box ----

int frmMain::timeBoxIndex(const QObject* widget) const {
    for (int row = 0; row < kRows; ++row)
        if (mskTime[row] == widget) return row;
    return -1;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::FocusOut:
            if (const int box = timeBoxIndex(watched); box >= 0)
                leaving_.emplace(box, static_cast<QFocusEvent*>(event)->reason());
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
            if (watched == swallowClickOn_) {
                if (event->type() == QEvent::MouseButtonRelease) swallowClickOn_ = nullptr;
                return true;
            }
            break;
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// The toolkit moves the focus before the control that takes it sees the click or the key.
// So the time box checks its entry once the focus has moved, and when it refuses, takes
// the focus back and swallows the click that moved it: the clicked button does not click.
void frmMain::onFocusChanged(QWidget* old, QWidget* now) {
    const auto leaving = leaving_;
    leaving_.reset();
    if (!leaving || !now || now->window() != this || old != mskTime[leaving->first] || !userMove(leaving->second))
        return;
    bool cancel = false;
    mskTime_Validate(static_cast<int16_t>(leaving->first), cancel);
    if (!cancel) return;
    if (leaving->second == Qt::MouseFocusReason) swallowClickOn_ = now;
    mskTime[leaving->first]->setFocus(Qt::OtherFocusReason);
}

// ---- Event procedures ----
//
// Each keeps its name and its numbered statements: the numbers are what the error reports
// show users as the failing line, so they stay as they are when the code around them changes.

// The timetable's own procedures run in the scheduler.
void frmMain::Form_Load() { scheduler_.Form_Load(); }
void frmMain::cmdSave_Click() { scheduler_.cmdSave_Click(); }
// After the scheduler's tick the tray shows the next start; a tray that came after the
// program (a panel started later at login) gets its icon.
void frmMain::tmrMain_Timer() {
    scheduler_.tmrMain_Timer();
    if (!tray->isShown()) tray->show();
    showTrayState();
}
void frmMain::cmdGo_Click(int16_t index) { scheduler_.cmdGo_Click(index); }
void frmMain::mskTime_Validate(int16_t index, bool& cancel) { scheduler_.mskTime_Validate(index, cancel); }
void frmMain::txtPath_Change(int16_t index) { scheduler_.txtPath_Change(index); }

void frmMain::cmdPause_Click() {
    Procedure(kModule, "Sub cmdPause_Click").run({
        {50, [&] { return tmrMain->isEnabled() ? next() : jumpTo(100); }},
        {60, [&] {
             tmrMain->setEnabled(false);
             scheduler_.pause();
         }},
        {70, [&] { cmdPause->setText(QString::fromLatin1(kStartCaption)); }},
        {80, [&] { setStatusColor(kRed); }},
        {90, [] { return jumpTo(130); }},
        {100, [&] { startClock(); }},
        {110, [&] { cmdPause->setText(QString::fromLatin1(kPauseCaption)); }},
        {120, [&] { setStatusColor(kGreen); }},
        {130, [] {}},
    });
}

// Ends the program at once: no unload, no leave call, nothing saved.
void frmMain::cmdExit_Click() {
    Procedure(kModule, "Sub cmdExit_Click").run({
        {10, [] { platform::endProgram(); }},
    });
}

void frmMain::mnuQuit_Click() {
    Procedure(kModule, "Sub mnuQuit_Click").run({
        {390, [] { platform::endProgram(); }},
    });
}

void frmMain::mnuAbout_Click() {
    Procedure(kModule, "Sub mnuAbout_Click").run({
        {380, [] { showAboutDialog(); }},
    });
}

// Writes or removes the entry that starts this executable at login; the check mark shows
// what is on disk afterwards, also when the change failed.
void frmMain::mnuStartAtLogin_Click() {
    const bool wanted = mnuStartAtLogin->isChecked();
    Procedure(kModule, "Sub mnuStartAtLogin_Click").run({
        {630, [&] { platform::setStartAtLogin(wanted, platform::executablePath(), loginArguments()); }},
        {640, [&] { mnuStartAtLogin->setChecked(platform::startsAtLogin()); }},
    });
    mnuStartAtLogin->setChecked(platform::startsAtLogin());
}

// Switches catching up on or off in the preferences file; the check mark shows what the
// file says afterwards, also when the change failed.
void frmMain::mnuCatchUp_Click() {
    const bool wanted = mnuCatchUp->isChecked();
    Procedure(kModule, "Sub mnuCatchUp_Click").run({
        {650, [&] { scheduler_.setCatchUp(wanted); }},
        {660, [&] { mnuCatchUp->setChecked(catchUpWanted(scheduler_.preferencesPath())); }},
    });
    mnuCatchUp->setChecked(catchUpWanted(scheduler_.preferencesPath()));
}

// Writes "Keep Running" into the preferences file; the check mark shows what the file says
// afterwards, also when the change failed. The login entry, when there is one, starts the
// program in the tray while it keeps running.
void frmMain::mnuKeepRunning_Click() {
    const bool wanted = mnuKeepRunning->isChecked();
    Procedure(kModule, "Sub mnuKeepRunning_Click").run({
        {670, [&] {
             switches::set(scheduler_.preferencesPath(), switches::kKeepRunning, wanted, wardline::currentRuntime().prefs());
         }},
        {680, [&] { mnuKeepRunning->setChecked(keepRunningWanted()); }},
        {690, [&] {
             if (platform::startsAtLogin())
                 platform::setStartAtLogin(true, platform::executablePath(), loginArguments());
         }},
    });
    mnuKeepRunning->setChecked(keepRunningWanted());
}

// The History window; a run it lists is still running when the launcher still follows it.
void frmMain::mnuHistory_Click() {
    const QPointer<frmMain> window(this);
    Procedure(kModule, "Sub mnuHistory_Click").run({
        {700, [&] {
             showHistoryWindow(scheduler_.appFolder(), [window](const std::string& runId) {
                 return window && window->launcher().isRunning(runId);
             });
         }},
    });
}

}  // namespace morrowset
