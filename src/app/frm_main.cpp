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

#include "app/command_box.h"
#include "app/frm_about.h"
#include "app/second_timer.h"
#include "app/settings_file.h"
#include "app/state_check_box.h"
#include "app/time_box.h"
#include "errortrap/dialog/button_keys.h"
#include "errortrap/dialog/twips.h"
#include "errortrap/error_handler.h"
#include "errortrap/procedure.h"
#include "errortrap/runtime.h"
#include "errortrap/trace_sinks.h"
#include "platform/autostart.h"
#include "platform/clock.h"
#include "platform/conversions.h"
#include "platform/formatting.h"
#include "platform/process_start.h"
#include "platform/program_end.h"

namespace morrowset {

namespace {

using wardline::jumpTo;
using wardline::leave;
using wardline::next;
using wardline::Procedure;

const std::string kModule = "frmMain.frm";

// ---- Window design, in twips ----

using wardline::ControlDesign;
using wardline::Twips;
using wardline::TwipScale;

constexpr int kClientWidth = 4740;
constexpr int kClientHeight = 2850;
constexpr int kFirstRowTop = 420;
constexpr int kRowPitch = 360;

constexpr ControlDesign<frmMain, QLabel> kLabels[] = {
    {&frmMain::Label1, {0, 60, 315, 255}, "En?"},
    {&frmMain::Label2, {360, 60, 3075, 195}, "Application Path:"},
    {&frmMain::Label3, {3480, 60, 495, 255}, "Time:"},
    {&frmMain::txtTime, {4020, 60, 675, 255}, ""},
    {&frmMain::lblStatus, {4320, 2640, 195, 135}, ""},
};

constexpr ControlDesign<frmMain, QPushButton> kButtons[] = {
    {&frmMain::cmdSave, {0, 2520, 1335, 315}, "Save Settings"},
    {&frmMain::cmdPause, {1380, 2520, 1335, 315}, "Pause Program"},
    {&frmMain::cmdExit, {2760, 2520, 1335, 315}, "Shutdown"},
};

// A row's controls: left, width and height; the top is the row's.
constexpr Twips kCheckColumn{0, 0, 255, 195};
constexpr Twips kPathColumn{300, 0, 3075, 255};
constexpr Twips kTimeColumn{3480, 0, 615, 315};
constexpr Twips kGoColumn{4140, 0, 555, 315};

Twips inRow(Twips column, int row) { return {column.left, kFirstRowTop + kRowPitch * row, column.width, column.height}; }

// The widest texts of the controls that change their text.
const char* const kWidestClock = "00:00AM";
const char* const kWidestTimes[] = {"##:##", "00:00"};

const char* const kCaption = "System Morrowset - By Ansgrove V1.0";
const char* const kPauseCaption = "Pause Program";
const char* const kStartCaption = "Start Program";
const char* const kGoCaption = "NOW";
constexpr int16_t kChecked = 1;
constexpr int16_t kGrayed = 2;

// VB's Mid: up to `length` characters from the 0-based `start`, empty past the end.
std::string mid(const std::string& text, std::size_t start, std::size_t length) {
    return start < text.size() ? text.substr(start, length) : std::string();
}

// Grows a control that its design cell would clip.
void atLeastSizeHint(QWidget* control) { control->resize(control->size().expandedTo(control->sizeHint())); }

QString toQString(const std::string& text) { return QString::fromStdString(text); }

// Focus moves the user makes, which let a time box check its entry first.
bool userMove(Qt::FocusReason reason) {
    return reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
           reason == Qt::ShortcutFocusReason;
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(kCaption);
    createControls();
    createMenu();
    setTabOrderAsDesigned();
    connectEvents();
    setFixedSize(sizeHint());
    Form_Load();
    startClock();
    chkEnabled[0]->setFocus();
}

// Tearing the controls down moves the focus; the window must hear nothing of it by then.
frmMain::~frmMain() {
    disconnect(qApp, nullptr, this, nullptr);
    tmrMain->setEnabled(false);
}

// ---- Set-up ----

// The window's scale: its texts in the desktop's font fit their controls.
TwipScale frmMain::layoutScale(const QFont& font) {
    using wardline::TextHolder;
    std::vector<wardline::TextRoom> rooms = wardline::captionRooms(kLabels, TextHolder::Label, font);
    for (const auto& room : wardline::captionRooms(kButtons, TextHolder::Button, font)) rooms.push_back(room);
    const Twips clock = wardline::placeOf(kLabels, &frmMain::txtTime);
    const Twips pause = wardline::placeOf(kButtons, &frmMain::cmdPause);
    rooms.push_back({QString::fromLatin1(kWidestClock), clock.width, clock.height, TextHolder::Label, font});
    rooms.push_back({QString::fromLatin1(kStartCaption), pause.width, pause.height, TextHolder::Button, font});
    rooms.push_back({QString::fromLatin1(kGoCaption), kGoColumn.width, kGoColumn.height, TextHolder::Button, font});
    for (const char* time : kWidestTimes)
        rooms.push_back({QString::fromLatin1(time), kTimeColumn.width, kTimeColumn.height, TextHolder::LineEdit, font});
    return TwipScale::forText(font, rooms);
}

void frmMain::createControls() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    const TwipScale scale = layoutScale(client->font());
    client->setFixedSize(scale.size(kClientWidth, kClientHeight));

    const auto label = [](QWidget* parent, const QString& caption) { return new QLabel(caption, parent); };
    const auto button = [](QWidget* parent, const QString& caption) { return new QPushButton(caption, parent); };
    wardline::createControls(*this, kLabels, client, scale, label);
    wardline::createControls(*this, kButtons, client, scale, button);
    lblStatus->setAutoFillBackground(true);
    for (int row = 0; row < kRows; ++row) {
        chkEnabled[row] = new StateCheckBox(client);
        txtPath[row] = new CommandBox(client);
        mskTime[row] = new TimeBox(client);
        cmdGo[row] = new QPushButton(QString::fromLatin1(kGoCaption), client);
        chkEnabled[row]->setGeometry(scale.rect(inRow(kCheckColumn, row)));
        txtPath[row]->setGeometry(scale.rect(inRow(kPathColumn, row)));
        mskTime[row]->setGeometry(scale.rect(inRow(kTimeColumn, row)));
        cmdGo[row]->setGeometry(scale.rect(inRow(kGoColumn, row)));
        const QString index = QStringLiteral("(%1)").arg(row);
        chkEnabled[row]->setObjectName(QStringLiteral("chkEnabled") + index);
        txtPath[row]->setObjectName(QStringLiteral("txtPath") + index);
        mskTime[row]->setObjectName(QStringLiteral("mskTime") + index);
        cmdGo[row]->setObjectName(QStringLiteral("cmdGo") + index);
        atLeastSizeHint(chkEnabled[row]);
    }
    for (QPushButton* button : findChildren<QPushButton*>()) wardline::clickOnEnter(button);
    tmrMain = new SecondTimer([this] { tmrMain_Timer(); }, this);
}

void frmMain::createMenu() {
    mnuQuit = menuBar()->addAction(QStringLiteral("&Quit"));
    mnuOptions = menuBar()->addMenu(QStringLiteral("&Options"));
    mnuStartAtLogin = mnuOptions->addAction(QStringLiteral("Start at login"));
    mnuStartAtLogin->setCheckable(true);
    mnuStartAtLogin->setChecked(platform::startsAtLogin());
    mnuAbout = menuBar()->addAction(QStringLiteral("&About"));
}

void frmMain::setTabOrderAsDesigned() {
    QList<QWidget*> order;
    for (auto* box : chkEnabled) order << box;
    for (auto* path : txtPath) order << path;
    for (auto* time : mskTime) order << time;
    order << cmdSave << cmdPause << cmdExit;
    for (auto* go : cmdGo) order << go;
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    for (auto* control : order) control->installEventFilter(this);
}

void frmMain::connectEvents() {
    for (int16_t row = 0; row < kRows; ++row) {
        connect(cmdGo[row], &QPushButton::clicked, this, [this, row] { cmdGo_Click(row); });
        connect(txtPath[row], &QLineEdit::textChanged, this, [this, row] { txtPath_Change(row); });
    }
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdPause, &QPushButton::clicked, this, [this] { cmdPause_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    connect(mnuQuit, &QAction::triggered, this, [this] { mnuQuit_Click(); });
    connect(mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
    connect(mnuStartAtLogin, &QAction::triggered, this, [this] { mnuStartAtLogin_Click(); });
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

void frmMain::Form_Load() {
    settings::Reader file;
    int row = 0;
    std::string field;
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
        {260, [&] { chkEnabled[row]->setValue(platform::toInteger16(field)); }},
        {270, [&] { field = file.readLine(); }},
        {280, [&] {
             txtPath[row]->setCommandLine(field);
             txtPath[row]->setCursorPosition(0);  // show a long command line from its start
         }},
        {290, [&] { field = file.readLine(); }},
        // A time that can never come ("25:00", "ab:cd") counts as none: the row is grayed.
        {300, [&] { mskTime[row]->setTimeText(TimeBox::fitsMask(field) ? field : TimeBox::kEmpty); }},
        {310, [&] { return TimeBox::isTimeOfDay(field) ? next() : jumpTo(350); }},
        {320, [&] { RowSeconds[row] = platform::toInteger32(platform::toDouble(mid(field, 0, 2)) * 3600); }},
        {330, [&] { RowSeconds[row] = platform::toInteger32(platform::toDouble(mid(field, 3, 2)) * 60 + RowSeconds[row]); }},
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
        {160, [&] { file.writeLine(settings::stateText(chkEnabled[row]->value())); }},
        {170, [&] { file.writeLine(txtPath[row]->commandLine()); }},
        {180, [&] { file.writeLine(mskTime[row]->timeText()); }},
        {190, [&] { return ++row < kRows ? jumpTo(160) : next(); }},
        {200, [&] { file.commit(); }},
    });
}

// The tick never waits for a person: it runs on while an error dialog is open, and the
// dialogs of its own errors come after it, from the event loop, while the clock goes on.
void frmMain::tmrMain_Timer() {
    const wardline::ClockTick clockTick;
    TickSchedule::Starts starts;
    int row = 0;
    Procedure(kModule, "Sub tmrMain_Timer").run({
        {570, [&] {
             starts = schedule_.tick(platform::wallNow(), scheduledRows());
             row = 0;
         }},
        {580, [&] {
             if (const auto start = starts.of(row)) {
                 if (start->late()) traceLateStart(*start);
                 cmdGo_Click(static_cast<int16_t>(row));
             }
         }},
        {590, [&] {
             if (!TimeBox::isTimeOfDay(mskTime[row]->timeText()) || txtPath[row]->text().isEmpty())
                 chkEnabled[row]->setValue(kGrayed);
         }},
        {600, [&] { return ++row < kRows ? jumpTo(580) : next(); }},
        {610, [&] {
             const std::tm now = platform::localNow();
             txtTime->setText(toQString(platform::formatClock12(now.tm_hour, now.tm_min)));
         }},
    });
    if (wardline::dialogsWaiting()) QTimer::singleShot(0, this, [] { wardline::showWaitingDialogs(); });
}

// A row takes part in the schedule when it is checked and its time can come.
TickSchedule::Rows frmMain::scheduledRows() const {
    TickSchedule::Rows rows;
    for (int row = 0; row < kRows; ++row)
        rows[static_cast<std::size_t>(row)] = {
            chkEnabled[row]->value() == kChecked && TimeBox::isTimeOfDay(mskTime[row]->timeText()), RowSeconds[row]};
    return rows;
}

void frmMain::traceLateStart(const TickSchedule::Start& start) const {
    wardline::pfLogLine(wardline::runtime().exePrefix +
                        TickSchedule::lateStartText(start.row, RowSeconds[start.row], start.lateMs) + "\r\n");
}

void frmMain::cmdGo_Click(int16_t index) {
    Procedure(kModule, "Sub cmdGo_Click").run({
        {20, [&] { return chkEnabled.at(index)->value() == kChecked ? next() : jumpTo(40); }},
        {30, [&] { platform::launchProcess(txtPath.at(index)->commandLine()); }},
        {40, [] {}},
    });
}

void frmMain::mskTime_Validate(int16_t index, bool& cancel) {
    std::string text;
    double hour = 0;
    double minutes = 0;
    Procedure(kModule, "Sub mskTime_Validate").run({
        {400, [&] { cancel = false; }},
        {410, [&] {
             text = mskTime.at(index)->timeText();
             return text == TimeBox::kEmpty ? leave() : next();
         }},
        {420, [&] { return text.find('#') != std::string::npos ? next() : jumpTo(460); }},
        {430, [&] {
             cancel = true;
             return leave();
         }},
        {460, [&] {
             hour = platform::toDouble(mid(text, 0, 2));
             return hour > 24 || hour < 0 ? next() : jumpTo(500);
         }},
        {470, [&] {
             cancel = true;
             return leave();
         }},
        {500, [&] {
             minutes = platform::toDouble(mid(text, 3, 2));
             // 24 o'clock is midnight at the end of the day; 24:01 and later never come.
             const bool pastMidnight = hour == 24 && minutes != 0;
             return minutes > 59 || minutes < 0 || pastMidnight ? next() : jumpTo(540);
         }},
        {510, [&] {
             cancel = true;
             return leave();
         }},
        {540, [&] { RowSeconds[index] = platform::toInteger32(hour * 3600); }},
        {550, [&] { RowSeconds[index] = platform::toInteger32(minutes * 60 + RowSeconds[index]); }},
        {560, [&] { chkEnabled[index]->setValue(kChecked); }},
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
        {620, [&] { chkEnabled.at(index)->setValue(kChecked); }},
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

}  // namespace morrowset
