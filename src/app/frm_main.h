#pragma once
// The timetable window: six rows, each an enabled box, a command line, a time of day and a
// "NOW" button; a clock label; "Save Settings", "Pause Program" and "Shutdown"; a status
// light; the menu entries "&Quit", "&Options" and "&About".
//
// Where the desktop has a system tray the window has an icon there (tray_icon.h) that says
// whether the clock runs, and when a run failed since the user last looked. With "Keep
// running when the window is closed" on, the close box hides the window in the tray and the
// clock goes on; Shutdown and &Quit still end the program.
//
// The window is a view of the scheduler (timetable/scheduler.h): its rows show the
// timetable's rows, an edit, a click or a clock tick goes to the scheduler, and the
// scheduler tells the window what to show. Each row's command box shows the row's last run
// as an icon (row_result_icon.h), also the last run before a restart, from the run history.
//
// Constructing the window loads it: its controls are made, the scheduler's Form_Load fills
// the timetable from the settings file and the clock starts. Every event procedure runs
// under the error-trap runtime's protocol with module "frmMain.frm".
#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_reports.h"
#include "timetable/scheduler.h"
#include "widgets/twips.h"

namespace wardline {
class Runtime;
}  // namespace wardline

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace morrowset {

class CommandBox;
class RowResultIcon;
class TrayIcon;
class SecondTimer;
class StateCheckBox;
class TimeBox;

class frmMain : public QMainWindow, private SchedulerView, private RunObserver {
public:
    static constexpr int kRows = Timetable::kRows;
    // Status light colours, 0xBBGGRR.
    static constexpr uint32_t kGreen = 0x00FF00;
    static constexpr uint32_t kRed = 0x0000FF;

    // `trayThere` tells whether the desktop has a system tray now: TrayIcon::available
    // unless a test stands in for a desktop that has one.
    explicit frmMain(QWidget* parent = nullptr, std::function<bool()> trayThere = {});
    ~frmMain() override;

    // Shows the window as the program starts; in the `background` (--background) it stays
    // hidden in the tray, or where there is none is shown, saying why on standard error.
    void showAtStart(bool background);
    // Whether the close box hides the window in the tray: "Keep running" on, and a tray there.
    bool keepsRunning() const;

    // Event procedures.
    void Form_Load();
    void tmrMain_Timer();
    void cmdGo_Click(int16_t index);
    void mskTime_Validate(int16_t index, bool& cancel);
    void cmdPause_Click();
    void cmdSave_Click();
    void cmdExit_Click();
    void mnuQuit_Click();
    void mnuAbout_Click();
    void txtPath_Change(int16_t index);
    void mnuStartAtLogin_Click();
    void mnuCatchUp_Click();
    void mnuKeepRunning_Click();
    void mnuHistory_Click();

    // Controls, named as the window's design names them; rows are indexed 0 to 5.
    std::array<StateCheckBox*, kRows> chkEnabled{};
    std::array<CommandBox*, kRows> txtPath{};
    std::array<TimeBox*, kRows> mskTime{};
    std::array<QPushButton*, kRows> cmdGo{};
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* txtTime = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdPause = nullptr;
    QPushButton* cmdExit = nullptr;
    SecondTimer* tmrMain = nullptr;
    QAction* mnuQuit = nullptr;
    QAction* mnuAbout = nullptr;
    QMenu* mnuOptions = nullptr;
    QAction* mnuStartAtLogin = nullptr;
    QAction* mnuCatchUp = nullptr;
    QAction* mnuKeepRunning = nullptr;
    QAction* mnuHistory = nullptr;
    TrayIcon* tray = nullptr;

    // Each row's last run, at the end of its command box.
    std::array<RowResultIcon*, kRows> runIcons{};

    // What the window shows.
    Scheduler& scheduler() { return scheduler_; }
    Timetable& timetable() { return scheduler_.timetable(); }
    const Timetable& timetable() const { return scheduler_.timetable(); }
    Launcher& launcher() { return scheduler_.launcher(); }

    // The status light's colour, 0xBBGGRR.
    uint32_t statusColor() const { return statusColor_; }

    // The window's twip scale when its text is `font`.
    static wardline::TwipScale layoutScale(const QFont& font);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void createMenu();
    void setTabOrderAsDesigned();
    void connectEvents();
    void createTray(std::function<bool()> trayThere);
    void trayKnown();
    void showWithoutTray();
    void bindRows();
    void showRow(int row);
    void setStatusColor(uint32_t bgr);
    void startClock();
    // What the scheduler tells the window.
    void rowChanged(int row) override { showRow(row); }
    void clockRunning(bool running) override;
    void clockShown(const std::string& text) override;
    // What the tray hears of runs: a failure the user has not seen.
    void runEnded(const RunRecord& run) override;
    void runRefused(const RunRecord& run) override;
    void runFailedUnseen();

    // The tray's picture and tooltip: the clock's state and the first start to come.
    void showTrayState();
    QString firstStartText();
    // "Keep running" can be had only with a tray; without one it is grayed and says why.
    void offerKeepRunning();
    bool keepRunningWanted() const;
    // The login entry's arguments: in the tray when the program keeps running.
    std::vector<std::string> loginArguments() const;

    // A row's context menu: its settings, Stop run while it runs, then the box's own edits.
    void showRowMenu(int16_t row, const QPoint& at);
    void editRowSettings(int16_t row);

    // Validation when the focus leaves a time box.
    void onFocusChanged(QWidget* old, QWidget* now);
    int timeBoxIndex(const QObject* widget) const;

    Scheduler scheduler_;
    RunReports reports_;
    bool showingRow_ = false;  // while a row's controls are set from the timetable
    bool startingHidden_ = false;  // --background, while the tray is not known yet
    uint32_t statusColor_ = 0;
    // A time box the focus is leaving, and why.
    std::optional<std::pair<int, Qt::FocusReason>> leaving_;
    // A control whose click is swallowed because the time box refused to let the focus go.
    QWidget* swallowClickOn_ = nullptr;
    // The tray's first start, with the minute and the timetable's revision it was made for.
    struct FirstStart {
        int32_t day = -1;
        int32_t minute = -1;
        uint64_t revision = 0;
        QString text;
    } firstStart_;
};

}  // namespace morrowset
