// The timetable window's design: its controls, where they sit in twips, their tab order.
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "timetable/catch_up.h"
#include "app/command_box.h"
#include "app/frm_main.h"
#include "app/frm_main_design.h"
#include "app/second_timer.h"
#include "app/state_check_box.h"
#include "app/time_box.h"
#include "widgets/button_keys.h"
#include "widgets/twips.h"
#include "platform/autostart.h"

namespace morrowset {

namespace {

using namespace frm_main_design;

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

// Grows a control that its design cell would clip.
void atLeastSizeHint(QWidget* control) { control->resize(control->size().expandedTo(control->sizeHint())); }

}  // namespace

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
    mnuCatchUp = mnuOptions->addAction(QStringLiteral("Catch up missed starts"));
    mnuCatchUp->setCheckable(true);
    mnuCatchUp->setChecked(catchUpWanted(scheduler_.preferencesPath()));
    mnuKeepRunning = mnuOptions->addAction(QStringLiteral("Keep running when the window is closed"));
    mnuKeepRunning->setCheckable(true);
    mnuKeepRunning->setChecked(keepRunningWanted());
    mnuOptions->addSeparator();
    mnuHistory = mnuOptions->addAction(QStringLiteral("&History\u2026"));
    // A grayed item says why in its tooltip.
    mnuOptions->setToolTipsVisible(true);
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

}  // namespace morrowset
