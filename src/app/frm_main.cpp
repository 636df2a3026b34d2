#include "app/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QScopeGuard>
#include <utility>

#include "timetable/catch_up.h"
#include "app/command_box.h"
#include "app/frm_about.h"
#include "app/frm_main_design.h"
#include "app/row_result_icon.h"
#include "timetable/run_text.h"
#include "app/second_timer.h"
#include "timetable/settings_file.h"
#include "app/state_check_box.h"
#include "app/time_box.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/core/runtime.h"
#include "errortrap/trace/procedure.h"
#include "errortrap/trace/trace_sinks.h"
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

// The two characters of `text` from `start` on (fewer at its end), as the settings file's
// hour and minute are taken.
std::string twoCharactersAt(const std::string& text, std::size_t start) {
    return start < text.size() ? text.substr(start, 2) : std::string();
}

using wardline::jumpTo;
using wardline::leave;
using wardline::next;
using wardline::Procedure;

using namespace frm_main_design;

const std::string kModule = "frmMain.frm";

constexpr int16_t kChecked = Timetable::kChecked;
constexpr int16_t kGrayed = Timetable::kGrayed;
using TimeFault = Timetable::TimeFault;

QString toQString(const std::string& text) { return QString::fromStdString(text); }

// Focus moves the user makes, which let a time box check its entry first.
bool userMove(Qt::FocusReason reason) {
    return reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
           reason == Qt::ShortcutFocusReason;
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent), runtime_(wardline::currentRuntime()) {
    setWindowTitle(kCaption);
    createControls();
    createMenu();
    setTabOrderAsDesigned();
    bindRows();
    connectEvents();
    setFixedSize(sizeHint());
    Form_Load();
    restoreLastRuns();
    startClock();
    chkEnabled[0]->setFocus();
    QTimer::singleShot(0, this, [this] { catchUpMissedStarts(); });
}

// Tearing the controls down moves the focus; the window must hear nothing of it by then.
frmMain::~frmMain() {
    disconnect(qApp, nullptr, this, nullptr);
    tmrMain->setEnabled(false);
}

// ---- Set-up ----

// The rows' controls show the timetable, and an edit in them goes to it. A command line
// set from the timetable raises txtPath_Change as a typed one does.
void frmMain::bindRows() {
    timetable_.setOnChange([this](int row) { showRow(row); });
    for (int16_t row = 0; row < kRows; ++row) {
        runIcons[row] = new RowResultIcon(txtPath[row], [this, row] { return nextStartText(row); });
        connect(chkEnabled[row], &QCheckBox::stateChanged, this, [this, row] {
            if (!showingRow_) timetable_.setState(row, chkEnabled[row]->value());
        });
        connect(txtPath[row], &QLineEdit::textChanged, this, [this, row] {
            if (!showingRow_) timetable_.setCommandLine(row, txtPath[row]->commandLine());
            txtPath_Change(row);
        });
        connect(mskTime[row], &QLineEdit::textChanged, this, [this, row] {
            if (!showingRow_) timetable_.setTimeText(row, mskTime[row]->timeText());
        });
    }
}

void frmMain::showRow(int row) {
    const bool outer = std::exchange(showingRow_, true);
    const Timetable::Row& shown = timetable_.row(row);
    if (chkEnabled[row]->value() != shown.state) chkEnabled[row]->setValue(shown.state);
    if (txtPath[row]->commandLine() != shown.commandLine) {
        txtPath[row]->setCommandLine(shown.commandLine);
        txtPath[row]->setCursorPosition(0);  // show a long command line from its start
    }
    if (mskTime[row]->timeText() != shown.timeText) mskTime[row]->setTimeText(shown.timeText);
    runIcons[row]->show(shown.lastRun, platform::app().path());
    showingRow_ = outer;
}

// ---- Runs ----

void frmMain::restoreLastRuns() {
    const RunHistory::LastRuns last = RunHistory::lastRuns(platform::app().path());
    for (int row = 0; row < kRows; ++row)
        if (last[static_cast<std::size_t>(row)]) timetable_.setLastRun(row, *last[static_cast<std::size_t>(row)]);
}

// Starts missed while the program was not running, once the window is up, when the
// preferences ask for it. Like the clock's, they wait for no dialog.
void frmMain::catchUpMissedStarts() {
    if (!catchUpWanted(preferencesPath())) return;
    const platform::WallTime now = platform::wallNow();
    const TickSchedule::Rows rows = timetable_.rows();
    {
        const wardline::ClockTick clockTick(runtime_);
        for (const int row : rowsToCatchUp(rows, now, RunHistory::dueStartsOn(platform::app().path(), now.day))) {
            startTrigger_ = Trigger::CatchUp;
            startDue_ = platform::WallTime{now.day, rows[static_cast<std::size_t>(row)].seconds * 1000};
            cmdGo_Click(static_cast<int16_t>(row));
        }
        startTrigger_ = Trigger::Now;
        startDue_.reset();
    }
    showWaitingDialogsLater();
}

std::string frmMain::nextStartText(int row) const {
    if (!tmrMain->isEnabled()) return "not scheduled while the clock is paused";
    return runtext::nextStart(timetable_.row(row), platform::wallNow());
}

void frmMain::runStarted(const RunRecord& run) { timetable_.setLastRun(run.row, run); }
void frmMain::runEnded(const RunRecord& run) { timetable_.setLastRun(run.row, run); }
void frmMain::runRefused(const RunRecord& run) { timetable_.setLastRun(run.row, run); }

void frmMain::connectEvents() {
    launcher_.addObserver(&history_);
    launcher_.addObserver(this);
    launcher_.addObserver(&reports_);
    for (int16_t row = 0; row < kRows; ++row)
        connect(cmdGo[row], &QPushButton::clicked, this, [this, row] { cmdGo_Click(row); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdPause, &QPushButton::clicked, this, [this] { cmdPause_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    connect(mnuQuit, &QAction::triggered, this, [this] { mnuQuit_Click(); });
    connect(mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
    connect(mnuStartAtLogin, &QAction::triggered, this, [this] { mnuStartAtLogin_Click(); });
    connect(mnuCatchUp, &QAction::triggered, this, [this] { mnuCatchUp_Click(); });
    connect(qApp, &QApplication::focusChanged, this, &frmMain::onFocusChanged);
}

void frmMain::setStatusColor(uint32_t bgr) {
    statusColor_ = bgr;
    QPalette palette = lblStatus->palette();
    palette.setColor(QPalette::Window, QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
    lblStatus->setPalette(palette);
}

// Restarting after a pause looks only at the second it restarts in.
void frmMain::startClock() {
    schedule_.forget();
    tmrMain->setEnabled(true);
}

void frmMain::closeEvent(QCloseEvent* event) {
    tmrMain->setEnabled(false);
    event->accept();
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

void frmMain::Form_Load() {
    settings::Reader file;
    int row = 0;
    std::string field;
    int32_t seconds = 0;
    Procedure(kModule, "Sub Form_Load").run({
        {220, [&] { setStatusColor(kGreen); }},
        {230, [&] {
             // The first start has no file yet: the rows stay empty and there is nothing to report.
             if (!settings::exists(settings::filePath())) return jumpTo(370);
             file.open(settings::filePath());
             return next();
         }},
        {240, [&] { row = 0; }},
        {250, [&] { field = file.readLine(); }},
        {260, [&] { timetable_.setState(row, platform::toInteger16(field)); }},
        {270, [&] { field = file.readLine(); }},
        {280, [&] { timetable_.setCommandLine(row, field); }},
        {290, [&] { field = file.readLine(); }},
        // A time that does not fit the box ("7:00", "ab:cd") is reported and leaves the row
        // without a time, so the next tick grays it, as it does a time that never comes
        // ("25:00"); an hour or minute that is no number ("0#:00") is reported at its statement.
        {300, [&] {
             const bool fits = Timetable::fitsTimeBox(field);
             timetable_.setTimeText(row, fits ? field : Timetable::kNoTime);
             if (!fits) platform::raiseError(platform::kInvalidPropertyValue);
         }},
        {310, [&] { return field != Timetable::kNoTime ? next() : jumpTo(350); }},
        {320, [&] { seconds = platform::toInteger32(platform::toDouble(twoCharactersAt(field, 0)) * 3600); }},
        {330, [&] {
             seconds = platform::toInteger32(platform::toDouble(twoCharactersAt(field, 3)) * 60 + seconds);
             timetable_.setSeconds(row, seconds);
         }},
        {350, [&] { return ++row < kRows ? jumpTo(250) : next(); }},
        {360, [&] { file.close(); }},
        {370, [&] { setStatusColor(kGreen); }},
    });
}

void frmMain::cmdSave_Click() {
    settings::Writer file;
    int row = 0;
    Procedure(kModule, "Sub cmdSave_Click").run({
        {140, [&] { file.open(settings::filePath()); }},
        {150, [&] { row = 0; }},
        {160, [&] { file.writeLine(settings::stateText(timetable_.row(row).state)); }},
        {170, [&] { file.writeLine(timetable_.row(row).commandLine); }},
        {180, [&] { file.writeLine(timetable_.row(row).timeText); }},
        {190, [&] { return ++row < kRows ? jumpTo(160) : next(); }},
        {200, [&] { file.commit(); }},
    });
}

// The tick never waits for a person: it runs on while an error dialog is open, and the
// dialogs of its own errors come after it, from the event loop, while the clock goes on.
void frmMain::tmrMain_Timer() {
    const wardline::ClockTick clockTick(runtime_);
    TickSchedule::Starts starts;
    platform::WallTime now;
    int row = 0;
    Procedure(kModule, "Sub tmrMain_Timer").run({
        {570, [&] {
             now = platform::wallNow();
             starts = schedule_.tick(now, timetable_.rows());
             row = 0;
         }},
        {580, [&] {
             if (const auto start = starts.of(row)) {
                 if (start->late()) traceLateStart(*start);
                 startTrigger_ = Trigger::Clock;
                 startDue_ = platform::WallTime::atPosition(now.position() - start->lateMs);
                 const auto byNowAgain = qScopeGuard([this] {
                     startTrigger_ = Trigger::Now;
                     startDue_.reset();
                 });
                 cmdGo_Click(static_cast<int16_t>(row));
             }
         }},
        {590, [&] {
             if (!timetable_.row(row).hasTimeAndCommand()) timetable_.setState(row, kGrayed);
         }},
        {600, [&] { return ++row < kRows ? jumpTo(580) : next(); }},
        {610, [&] {
             const std::tm now = platform::localNow();
             txtTime->setText(toQString(platform::formatClock12(now.tm_hour, now.tm_min)));
         }},
    });
    // Whatever the leap passed over, catching up starts (when it is on).
    if (schedule_.leaptAhead()) QTimer::singleShot(0, this, [this] { catchUpMissedStarts(); });
    showWaitingDialogsLater();
}

// The dialogs of errors reported during a tick come from the event loop, after the tick.
void frmMain::showWaitingDialogsLater() {
    if (wardline::dialogsWaiting(runtime_))
        QTimer::singleShot(0, this, [this] { wardline::showWaitingDialogs(runtime_); });
}

void frmMain::traceLateStart(const TickSchedule::Start& start) const {
    wardline::pfLogLine(runtime_.state().exePrefix +
                        TickSchedule::lateStartText(start.row, timetable_.row(start.row).seconds.value_or(0), start.lateMs) + "\r\n");
}

void frmMain::cmdGo_Click(int16_t index) {
    Procedure(kModule, "Sub cmdGo_Click").run({
        {20, [&] { return timetable_.row(index).state == kChecked ? next() : jumpTo(40); }},
        {30, [&] { launcher_.start({index, timetable_.row(index).commandLine, startTrigger_, startDue_}); }},
        {40, [] {}},
    });
}

void frmMain::mskTime_Validate(int16_t index, bool& cancel) {
    Timetable::TimeReading reading;
    int32_t seconds = 0;
    Procedure(kModule, "Sub mskTime_Validate").run({
        {400, [&] { cancel = false; }},
        {410, [&] {
             reading = Timetable::readTime(timetable_.row(index).timeText);
             return reading.fault == TimeFault::NoTime ? leave() : next();
         }},
        {420, [&] { return reading.fault == TimeFault::Incomplete ? next() : jumpTo(460); }},
        {430, [&] {
             cancel = true;
             return leave();
         }},
        {460, [&] { return reading.fault == TimeFault::Hour ? next() : jumpTo(500); }},
        {470, [&] {
             cancel = true;
             return leave();
         }},
        {500, [&] { return reading.fault == TimeFault::Minute ? next() : jumpTo(540); }},
        {510, [&] {
             cancel = true;
             return leave();
         }},
        {540, [&] { seconds = reading.seconds; }},
        {550, [&] { timetable_.setSeconds(index, seconds); }},
        {560, [&] { timetable_.setState(index, kChecked); }},
    });
}

void frmMain::cmdPause_Click() {
    Procedure(kModule, "Sub cmdPause_Click").run({
        {50, [&] { return tmrMain->isEnabled() ? next() : jumpTo(100); }},
        {60, [&] { tmrMain->setEnabled(false); }},
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

void frmMain::txtPath_Change(int16_t index) {
    Procedure(kModule, "Sub txtPath_Change").run({
        {620, [&] { timetable_.setState(index, kChecked); }},
    });
}

// Writes or removes the entry that starts this executable at login; the check mark shows
// what is on disk afterwards, also when the change failed.
void frmMain::mnuStartAtLogin_Click() {
    const bool wanted = mnuStartAtLogin->isChecked();
    Procedure(kModule, "Sub mnuStartAtLogin_Click").run({
        {630, [&] { platform::setStartAtLogin(wanted, platform::executablePath()); }},
        {640, [&] { mnuStartAtLogin->setChecked(platform::startsAtLogin()); }},
    });
    mnuStartAtLogin->setChecked(platform::startsAtLogin());
}

std::string frmMain::preferencesPath() { return platform::app().path() + "/WLCLIENT.INI"; }

// Switches catching up on or off in the preferences file; the check mark shows what the
// file says afterwards, also when the change failed.
void frmMain::mnuCatchUp_Click() {
    const bool wanted = mnuCatchUp->isChecked();
    Procedure(kModule, "Sub mnuCatchUp_Click").run({
        {650, [&] { platform::writePrivateProfileString("timetable", "Catch Up", wanted ? "1" : "0", preferencesPath()); }},
        {660, [&] { mnuCatchUp->setChecked(catchUpWanted(preferencesPath())); }},
    });
    mnuCatchUp->setChecked(catchUpWanted(preferencesPath()));
}

}  // namespace morrowset
