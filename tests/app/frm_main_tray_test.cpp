// The window in the background: its tray icon, "Keep running when the window is closed",
// --background, the History window it opens, and what the tray and a row say of runs that
// failed or were skipped. Offscreen there is no tray: the tests that need one stand one in.
#include <QAction>
#include <QMenu>
#include <QTableView>

#include "support/frm_main_fixture.h"
#include "app/history_model.h"
#include "app/history_window.h"
#include "app/row_result_icon.h"
#include "app/single_instance.h"
#include "app/tray_icon.h"
#include "platform/autostart.h"
#include "platform/instance_lock.h"
#include "support/event_loop.h"
#include "support/private_bus.h"

namespace morrowset {
namespace {

using namespace apptest;
using ::testing::HasSubstr;

const auto kTray = [] { return true; };
const auto kNoTray = [] { return false; };

class TrayWindow : public WindowTest {
protected:
    void TearDown() override {
        if (HistoryWindow* history = HistoryWindow::current()) history->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        WindowTest::TearDown();
    }
    // The tray menu's item named `text`.
    QAction* trayItem(const QString& text) const {
        for (QAction* item : window->tray->menu()->actions())
            if (item->text() == text) return item;
        ADD_FAILURE() << "no tray item " << text.toStdString();
        return nullptr;
    }
    std::string toolTip(int row) const { return window->runIcons[row]->toolTipText().toStdString(); }
};

// With the option on and a tray there, the close box hides the window and the clock goes
// on; the tray brings the window back, and pauses it as the window's button does. With the
// option off again, closing the window ends it.
TEST_F(TrayWindow, KeepRunningHidesTheClosedWindowAndTheClockGoesOn) {
    load(kTray);
    window->show();
    ASSERT_TRUE(window->tray->isShown());
    ASSERT_TRUE(window->mnuKeepRunning->isEnabled());
    EXPECT_FALSE(window->mnuKeepRunning->isChecked()) << "off by default";
    window->mnuKeepRunning->trigger();
    EXPECT_TRUE(window->mnuKeepRunning->isChecked());
    EXPECT_THAT(readFile(folder / "WLCLIENT.INI"), HasSubstr("[timetable]\r\nKeep Running=1\r\n"));
    EXPECT_THAT(readFile(folder / "WLCLIENT.INI"), HasSubstr("[include]\r\n")) << "a file made for it, as for Catch Up";

    setRow(0, "true", "12:01", 1);
    EXPECT_FALSE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->tmrMain->isEnabled());
    tickAt(12 * 3600 + 59.01);
    tickAt(12 * 3600 + 60.01);
    EXPECT_TRUE(window->timetable().row(0).lastRun) << "the row started while the window was hidden";

    trayItem("Show &Timetable")->trigger();
    EXPECT_TRUE(window->isVisible());
    trayItem("&Pause")->trigger();
    EXPECT_EQ(window->cmdPause->text(), "Start Program");
    EXPECT_EQ(window->statusColor(), frmMain::kRed);
    EXPECT_EQ(window->tray->look(), TrayIcon::Look::Paused);
    trayItem("&Start")->trigger();
    EXPECT_EQ(window->statusColor(), frmMain::kGreen);
    EXPECT_EQ(window->tray->toolTip(), "Morrowset\nNext start: row 1, tomorrow 12:01");

    window->mnuKeepRunning->trigger();
    EXPECT_THAT(readFile(folder / "WLCLIENT.INI"), HasSubstr("Keep Running=0"));
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->tmrMain->isEnabled());
}

// The tray's first start follows the rows and the clock: an edit shows at the next tick of
// the same minute, and a row whose minute has come moves to the next day.
TEST_F(TrayWindow, TheTraysFirstStartFollowsTheRowsAndTheMinute) {
    load(kTray);
    window->show();
    setRow(0, "true", "12:05", 1);
    tickAt(12 * 3600 + 59.01);
    EXPECT_EQ(window->tray->toolTip().toStdString(), "Morrowset\nNext start: row 1, today 12:05, in 5 min");
    setRow(1, "true", "12:01", 1);
    tickAt(12 * 3600 + 59.51);
    EXPECT_EQ(window->tray->toolTip().toStdString(), "Morrowset\nNext start: row 2, today 12:01, in 1 min");
    window->chkEnabled[1]->setValue(0);
    tickAt(12 * 3600 + 60.01);
    EXPECT_EQ(window->tray->toolTip().toStdString(), "Morrowset\nNext start: row 1, today 12:05, in 4 min");
    window->chkEnabled[1]->setValue(1);
    tickAt(12 * 3600 + 60.51);
    EXPECT_EQ(window->tray->toolTip().toStdString(), "Morrowset\nNext start: row 1, today 12:05, in 4 min")
        << "row 2's minute has come while it was unchecked: its next start is tomorrow";
    tickAt(12 * 3600 + 120.01);
    EXPECT_EQ(window->tray->toolTip().toStdString(), "Morrowset\nNext start: row 1, today 12:05, in 3 min");
}

// Without a tray a hidden window could not be brought back: the option is grayed and says
// why, and closing the window ends it even when the file has the option on. A tray that
// comes later (a panel started after the program) is offered the next time the menu opens,
// and gets the icon at the next tick.
TEST_F(TrayWindow, WithoutATrayTheOptionIsGrayedAndSaysWhy) {
    writeFile(folder / "WLCLIENT.INI", "[timetable]\r\nKeep Running=1\r\n");
    bool trayThere = false;
    load([&trayThere] { return trayThere; });
    window->show();
    EXPECT_FALSE(window->tray->isShown());
    EXPECT_FALSE(window->mnuKeepRunning->isEnabled());
    EXPECT_TRUE(window->mnuKeepRunning->isChecked());
    EXPECT_THAT(window->mnuKeepRunning->statusTip().toStdString(), HasSubstr("no system tray"));
    EXPECT_EQ(window->mnuKeepRunning->toolTip(), window->mnuKeepRunning->statusTip());
    EXPECT_FALSE(window->keepsRunning());

    trayThere = true;
    emit window->mnuOptions->aboutToShow();
    EXPECT_TRUE(window->mnuKeepRunning->isEnabled());
    EXPECT_TRUE(window->mnuKeepRunning->statusTip().isEmpty());
    tickAt(12 * 3600 + 1.01);
    EXPECT_TRUE(window->tray->isShown());
    EXPECT_TRUE(window->keepsRunning());

    trayThere = false;
    load(kNoTray);
    window->show();
    EXPECT_TRUE(window->close()) << "closing without a tray ends the program";
}

// A second start of the program for this folder brings a window hidden in the tray back.
TEST_F(TrayWindow, ASecondStartShowsTheHiddenWindow) {
    load(kTray);
    window->mnuKeepRunning->trigger();
    window->show();
    window->close();
    ASSERT_FALSE(window->isVisible());
    serveLaterStarts(window.get(), window->scheduler());
    ASSERT_TRUE(platform::askFirstInstanceToShow(platform::app().instanceName(), 1000));
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return window->isVisible(); }));
}

// --background starts with the window hidden in the tray; without a tray the window is
// shown, and standard error says why.
TEST_F(TrayWindow, BackgroundStartStaysInTheTrayOrShowsTheWindowWithoutOne) {
    load(kTray);
    window->showAtStart(true);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->tray->isShown());

    load(kNoTray);
    ::testing::internal::CaptureStderr();
    window->showAtStart(true);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(window->isVisible());
    EXPECT_THAT(said, HasSubstr("--background: The desktop has no system tray. The window is shown."));

    load(kTray);
    window->showAtStart(false);
    EXPECT_TRUE(window->isVisible());
}

// Whether there is a tray is known only once the session bus answered: until then a
// --background start stays hidden, then it finds no tray (none offscreen) and shows the
// window after all.
TEST_F(TrayWindow, BackgroundStartWaitsForTheSessionBusBeforeItLooksForTheTray) {
    testsupport::PrivateBus bus;
    if (!bus.running()) GTEST_SKIP() << "no dbus-daemon here";
    const testsupport::ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", bus.address());
    load();
    ASSERT_FALSE(window->tray->isKnown());
    ::testing::internal::CaptureStderr();
    window->showAtStart(true);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return window->tray->isKnown(); }));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(window->isVisible(), !TrayIcon::available());
    if (!TrayIcon::available()) {
        EXPECT_THAT(said, HasSubstr("--background: The desktop has no system tray."));
    }
}

// With both options on, the login entry starts the program in the tray; either switch
// rewrites it.
TEST_F(TrayWindow, TheLoginEntryStartsInTheTrayWhileTheProgramKeepsRunning) {
    testsupport::ScopedEnv config("XDG_CONFIG_HOME", folder / "config");
    const fs::path entry = folder / "config/autostart/morrowset.desktop";
    load(kTray);
    window->mnuKeepRunning->trigger();
    window->mnuStartAtLogin->trigger();
    EXPECT_THAT(readFile(entry), HasSubstr("\nExec=\"" + platform::executablePath() + "\" --background\n"));
    window->mnuKeepRunning->trigger();
    EXPECT_THAT(readFile(entry), HasSubstr("\nExec=\"" + platform::executablePath() + "\"\n"));
    window->mnuKeepRunning->trigger();
    EXPECT_THAT(readFile(entry), HasSubstr("\" --background\n"));
    window->mnuStartAtLogin->trigger();
    EXPECT_FALSE(fs::exists(entry));
    window->mnuKeepRunning->trigger();
    EXPECT_FALSE(fs::exists(entry)) << "switching Keep running makes no entry";
}

// "History…" of the Options menu and of the tray open one window, which asks the launcher
// which runs still go: a run started before it opened is "running", not "no end seen".
TEST_F(TrayWindow, HistoryOpensOneWindowThatKnowsWhatStillRuns) {
    load(kTray);
    setRow(2, "sleep 30", "##:##", 1);
    window->cmdGo[2]->click();
    ASSERT_TRUE(window->launcher().runningIn(2));

    window->mnuHistory->trigger();
    HistoryWindow* history = HistoryWindow::current();
    ASSERT_TRUE(history);
    trayItem("&History…")->trigger();
    EXPECT_EQ(HistoryWindow::current(), history);
    int windows = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) windows += qobject_cast<HistoryWindow*>(top) ? 1 : 0;
    EXPECT_EQ(windows, 1);
    ASSERT_TRUE(testsupport::runEventsUntil([&] { return history->model().rowCount() == 1; }));
    EXPECT_EQ(history->model().index(0, 5).data().toString(), "running");

    window->launcher().stop(2);
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return !window->launcher().runningIn(2); }));
}

// A start skipped while paused says so in its row's tooltip and is no failure: the tray
// does not say a run failed. A run that fails while nobody looks does, until the window is
// shown.
TEST_F(TrayWindow, ASkippedStartIsSaidInTheRowAndIsNoFailure) {
    load(kTray);
    setRow(1, "true", "12:05", 1);
    tickAt(12 * 3600 + 1.01);
    window->cmdPause->click();
    clock.set(12 * 3600 + 7 * 60 + 0.5);
    window->cmdPause->click();
    ASSERT_TRUE(window->timetable().row(1).lastRun);
    EXPECT_EQ(window->timetable().row(1).lastRun->result(), RunRecord::Result::Skipped);
    EXPECT_TRUE(window->runIcons[1]->isShown());
    EXPECT_EQ(toolTip(1), "Last run: skipped at 12:05: the clock was paused.\nNext start: tomorrow 12:05.");
    EXPECT_THAT(readFile(folder / "history.jsonl"), HasSubstr(R"("event":"skipped")"));
    EXPECT_EQ(window->tray->look(), TrayIcon::Look::Running);

    setRow(3, "sh -c 'exit 4'", "##:##", 1);
    window->cmdGo[3]->click();
    ASSERT_TRUE(testsupport::runEventsUntil([&] {
        const auto& run = window->timetable().row(3).lastRun;
        return run && run->result() == RunRecord::Result::Failed;
    }));
    EXPECT_EQ(window->tray->look(), TrayIcon::Look::Failed) << "the window was not shown";
    window->show();
    EXPECT_EQ(window->tray->look(), TrayIcon::Look::Running);
}

}  // namespace
}  // namespace morrowset
