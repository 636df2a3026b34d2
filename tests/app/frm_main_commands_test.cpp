// The window's buttons and menu entries, and how the window is laid out.
#include <QMenuBar>
#include <QTest>

#include "support/frm_main_fixture.h"
#include "app/frm_about.h"
#include "app/tray_icon.h"
#include "platform/autostart.h"

namespace morrowset {
namespace {

using namespace apptest;

using WindowCommands = WindowTest;

TEST_F(WindowCommands, PauseTogglesTheClockCaptionAndLight) {
    load();
    window->cmdPause->click();
    EXPECT_FALSE(window->tmrMain->isEnabled());
    EXPECT_EQ(window->cmdPause->text(), "Start Program");
    EXPECT_EQ(window->statusColor(), frmMain::kRed);
    window->cmdPause->click();
    EXPECT_TRUE(window->tmrMain->isEnabled());
    EXPECT_EQ(window->cmdPause->text(), "Pause Program");
    EXPECT_EQ(window->statusColor(), frmMain::kGreen);
}

// Enter, Return and Space each click the button that has the focus.
TEST_F(WindowCommands, KeysClickTheFocusedButton) {
    loadShown();
    std::vector<std::string> started;
    testRuntime->platform().processStarter = [&started](std::string_view commandLine) {
        started.emplace_back(commandLine);
        return 1;
    };
    setRow(1, "backup.sh", "07:30", 1);
    const Qt::Key keys[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space};
    for (const Qt::Key key : keys) {
        const bool wasRunning = window->tmrMain->isEnabled();
        window->cmdPause->setFocus();
        QTest::keyClick(window->cmdPause, key);
        EXPECT_NE(window->tmrMain->isEnabled(), wasRunning) << "key " << key;

        window->cmdGo[1]->setFocus();
        QTest::keyClick(window->cmdGo[1], key);
    }
    EXPECT_EQ(started, std::vector<std::string>(3, "backup.sh"));
}

// The clock, once running, ticks on its own just after each whole second.
TEST_F(WindowCommands, TheRunningClockArmsItsNextTick) {
    load();
    window->tmrMain->setManual(false);
    clock.set(8 * 3600 + 0.25);
    window->cmdPause->click();
    window->cmdPause->click();
    EXPECT_NEAR(window->tmrMain->remainingMs(), 750 + TickSchedule::kTickOffsetMs, 50);
    window->cmdPause->click();
    EXPECT_EQ(window->tmrMain->remainingMs(), -1);
}

TEST_F(WindowCommands, EveryChangeOfACommandLineChecksItsRow) {
    loadShown();
    QLineEdit* path = window->txtPath[2];
    window->chkEnabled[2]->setValue(0);
    QTest::mouseClick(path, Qt::LeftButton);
    QTest::keyClicks(path, "x");
    EXPECT_EQ(window->chkEnabled[2]->value(), 1);
    window->chkEnabled[2]->setValue(0);
    QTest::keyClick(path, Qt::Key_Backspace);
    EXPECT_EQ(window->chkEnabled[2]->value(), 1) << "emptying counts too";
    window->tmrMain->deliverTick();
    EXPECT_EQ(window->chkEnabled[2]->value(), 2) << "and the next tick grays the empty row";
}

TEST_F(WindowCommands, ClickingAGrayedBoxChecksIt) {
    loadShown();
    window->chkEnabled[0]->setValue(2);
    QTest::mouseClick(window->chkEnabled[0], Qt::LeftButton);
    EXPECT_EQ(window->chkEnabled[0]->value(), 1);
    QTest::mouseClick(window->chkEnabled[0], Qt::LeftButton);
    EXPECT_EQ(window->chkEnabled[0]->value(), 0);
}

TEST_F(WindowCommands, AboutTwiceShowsOneDialog) {
    load();
    window->mnuAbout->trigger();
    window->mnuAbout->trigger();
    int open = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<frmAbout*>(top) && top->isVisible()) ++open;
    EXPECT_EQ(open, 1);
    ASSERT_NE(frmAbout::current(), nullptr);
    frmAbout::current()->cmdOK_Click();
}

// Shutdown, &Quit and the tray's Quit end the process at once, unsaved, with the procedure
// still on the trace stack.
TEST_F(WindowCommands, ShutdownAndQuitEndTheProgramAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto endsAtOnce = [this](const std::function<void()>& command) {
        load();
        window->txtPath[0]->setText("unsaved");
        command();
        std::_Exit(3);  // not reached when the command ends the program
    };
    EXPECT_EXIT(endsAtOnce([this] { window->cmdExit->click(); }), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(endsAtOnce([this] { window->mnuQuit->trigger(); }), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(endsAtOnce([this] { emit window->tray->quitRequested(); }), ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(fs::exists(settingsPath()));
}

TEST_F(WindowCommands, LaidOutFromTheDesignWithItsTabOrder) {
    load();
    EXPECT_EQ(window->windowTitle(), "System Morrowset - By Ansgrove V1.0");
    const double scale = frmMain::layoutScale(QApplication::font()).pixelsPerTwip();
    const QRect client = window->centralWidget()->geometry();
    EXPECT_NEAR(client.width(), 4740 * scale, 1);
    EXPECT_NEAR(client.height(), 2850 * scale, 1);
    EXPECT_NEAR(window->txtPath[5]->geometry().top(), (420 + 5 * 360) * scale, 1);
    EXPECT_NEAR(window->cmdGo[3]->geometry().left(), 4140 * scale, 1);
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "fixed size";

    QStringList menu;
    for (QAction* entry : window->menuBar()->actions()) menu << entry->text();
    EXPECT_EQ(menu, QStringList({"&Quit", "&Options", "&About"}));
    QStringList options;
    for (QAction* entry : window->mnuOptions->actions())
        if (!entry->isSeparator()) options << entry->text();
    EXPECT_EQ(options, QStringList({"Start at login", "Catch up missed starts", "Keep running when the window is closed",
                                    "&History…"}));

    QList<QWidget*> expected;
    for (auto* w : window->chkEnabled) expected << w;
    for (auto* w : window->txtPath) expected << w;
    for (auto* w : window->mskTime) expected << w;
    expected << window->cmdSave << window->cmdPause << window->cmdExit;
    for (auto* w : window->cmdGo) expected << w;
    QList<QWidget*> chain;
    QWidget* at = window->chkEnabled[0];
    for (int i = 0; i < expected.size(); ++i, at = at->nextInFocusChain()) {
        while (!expected.contains(at)) at = at->nextInFocusChain();
        chain << at;
    }
    EXPECT_EQ(chain, expected);
}
// "Start at login" writes an entry that starts this very executable, one the desktop's own
// checker accepts, and takes it away again; the check mark follows the file.
TEST_F(WindowCommands, StartAtLoginWritesAndRemovesTheAutostartEntry) {
    testsupport::ScopedEnv config("XDG_CONFIG_HOME", folder / "config");
    load();
    const std::string entry = folder / "config/autostart/morrowset.desktop";
    EXPECT_FALSE(window->mnuStartAtLogin->isChecked());

    TrapRecorder errors;
    window->mnuStartAtLogin->trigger();
    EXPECT_THAT(errors.trapped, ::testing::IsEmpty());
    EXPECT_TRUE(window->mnuStartAtLogin->isChecked());
    const std::string text = readFile(entry);
    EXPECT_THAT(text, ::testing::HasSubstr("\nExec=\"" + platform::executablePath() + "\"\n"));
    if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
        EXPECT_EQ(std::system(("desktop-file-validate '" + entry + "'").c_str()), 0);
    }

    window->mnuStartAtLogin->trigger();
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(window->mnuStartAtLogin->isChecked());
}

// "Catch up missed starts" is kept in the preferences file beside what is there already.
TEST_F(WindowCommands, CatchUpIsSwitchedInThePreferencesFile) {
    writeFile(folder / "WLCLIENT.INI", "[preferences]\r\nSilent Run=1\r\n");
    load();
    EXPECT_FALSE(window->mnuCatchUp->isChecked());
    window->mnuCatchUp->trigger();
    EXPECT_TRUE(window->mnuCatchUp->isChecked());
    EXPECT_EQ(readFile(folder / "WLCLIENT.INI"), "[preferences]\r\nSilent Run=1\r\n[timetable]\r\nCatch Up=1\r\n");
    window->mnuCatchUp->trigger();
    EXPECT_FALSE(window->mnuCatchUp->isChecked());
    EXPECT_EQ(readFile(folder / "WLCLIENT.INI"), "[preferences]\r\nSilent Run=1\r\n[timetable]\r\nCatch Up=0\r\n");
}

// An entry that cannot be written is reported, and the mark stays off.
TEST_F(WindowCommands, AnAutostartFolderThatCannotBeMadeIsReported) {
    testsupport::ScopedEnv config("XDG_CONFIG_HOME", folder / "config");
    writeFile(folder / "config", "a file where the folder should be");
    load();
    TrapRecorder errors;
    window->mnuStartAtLogin->trigger();
    ASSERT_EQ(errors.trapped.size(), 1u);
    EXPECT_EQ(errors.trapped[0].line, 630);
    EXPECT_EQ(errors.trapped[0].procedure, "Sub mnuStartAtLogin_Click");
    EXPECT_FALSE(window->mnuStartAtLogin->isChecked());
}

}  // namespace

}  // namespace morrowset
