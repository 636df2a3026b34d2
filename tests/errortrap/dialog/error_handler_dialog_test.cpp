// The dialog as a trapped error brings it up: procedures written with the instrumentation
// helper raise errors, the real error handler records them and shows the real dialog.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QTest>
#include <filesystem>

#include "errortrap/dialog/call_tree_list.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/trace/procedure.h"
#include "support/dialog_test_support.h"
#include "support/fake_sendmail.h"

namespace wardline::testing {
namespace {

std::vector<std::string> callTree(const frmWARDLINE& form) {
    std::vector<std::string> entries;
    for (int i = 0; i < form.controls().kxCtrlCalls->count(); ++i)
        entries.push_back(form.controls().kxCtrlCalls->item(i)->text().toStdString());
    return entries;
}

std::vector<std::string> levels(const frmWARDLINE& form) {
    std::vector<std::string> entries;
    for (int i = 0; i < form.controls().errText->count(); ++i)
        entries.push_back(form.controls().errText->itemText(i).toStdString());
    return entries;
}

// Reports go to a scratch error log, so that runs leave nothing behind.
class ErrorHandlerDialogTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        runtime().prefs.writeToDisk = -1;
        runtime().prefs.errorLogPath = scratch / "error.log";
    }
    std::string errorLog() const { return testsupport::readFile(scratch / "error.log"); }

    TempFolder scratch;
};

// cmdGo_Click called by the clock tick; the error is raised in cmdGo_Click's line 20.
void runTickWithFailingRow(bool& afterErrorRan) {
    Procedure("frmMain.frm", "Sub tmrMain_Timer")
        .run({
            {10,
             [&] {
                 Procedure("frmMain.frm", "Sub cmdGo_Click", "3")
                     .run({
                         {20, [] { platform::raiseError(13); }},
                         {30, [&] { afterErrorRan = true; }},
                     });
             }},
        });
}

TEST_F(ErrorHandlerDialogTest, ALocalErrorIsShownAndContinueLeavesTheProcedure) {
    bool afterErrorRan = false;
    whenDialogShown([](frmWARDLINE& form) {
        EXPECT_EQ(form.controls().lblErrCnt->text().toStdString(), "An unexpected 'type mismatch' error occured in " +
                                                            platform::app().exeName() +
                                                            ".\n1 error(s) are logged.");
        EXPECT_EQ(levels(form), std::vector<std::string>{"Error 1 - Type mismatch"});
        EXPECT_EQ(callTree(form), (std::vector<std::string>{
                                      "1 : Call\tfrmMain.frm : Sub tmrMain_Timer :",
                                      "2 : Call\t\tfrmMain.frm : Sub cmdGo_Click : 3",
                                      "3 : Trap\t\tRuntime error 13, Type mismatch on line 20",
                                  }));
        EXPECT_EQ(form.controls().ErrLine->text(), " 20");
        EXPECT_EQ(form.controls().errProject->text(), "Morrowset (local)");
        EXPECT_TRUE(form.controls().kxCtrlMore->isHidden());
        form.controls().Text1->setText("started row 3 by hand");
        form.controls().kxCtrlContinue->click();
    });
    runTickWithFailingRow(afterErrorRan);

    EXPECT_FALSE(afterErrorRan);
    EXPECT_FALSE(anyErrorDialogLoaded());
    EXPECT_FALSE(runtime().busy);
    EXPECT_EQ(errorRecord().userComment, "started row 3 by hand");
    EXPECT_NE(errorLog().find("User Said"), std::string::npos);
    EXPECT_NE(errorLog().find("started row 3 by hand"), std::string::npos);
}

TEST_F(ErrorHandlerDialogTest, AForwardedErrorInsideTheDevelopmentEnvironmentListsEveryLevel) {
    enterDevelopmentEnvironment();
    errorRecord().userComment = "kept from before";
    bool afterErrorRan = false;
    whenDialogShown([](frmWARDLINE& form) {
        EXPECT_TRUE(form.controls().lblErrCnt->text().contains("' error occured in a component used by "));
        EXPECT_TRUE(form.controls().lblErrCnt->text().endsWith("\n3 error(s) are logged."));
        const auto entries = levels(form);
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0], "Error 3 - Remote Automation error");
        EXPECT_EQ(entries[1].rfind("Error 2 - ", 0), 0u);
        EXPECT_EQ(entries[2].rfind("Error 1 - ", 0), 0u);
        EXPECT_EQ(form.controls().errText->currentIndex(), 2);
        const auto tree = callTree(form);
        ASSERT_EQ(tree.size(), 6u);
        EXPECT_EQ(tree[0], "1 : Call\tfrmMain.frm : Sub cmdGo_Click :");
        EXPECT_EQ(tree[1], "2 : Trap\tRuntime error 440, Remote Automation error on line 40");
        EXPECT_EQ(tree[2].rfind("3 : Call\t\t", 0), 0u);
        EXPECT_EQ(tree[3].rfind("4 : Error\t\tRuntime error ", 0), 0u);
        EXPECT_EQ(tree[4].rfind("5 : Call\t\t\t", 0), 0u);
        EXPECT_EQ(tree[5].rfind("6 : Error\t\t\tRuntime error ", 0), 0u);
        EXPECT_EQ(form.controls().kxCtrlCalls->currentRow(), 1);
        EXPECT_TRUE(form.controls().kxCtrlMore->isVisible());
        form.controls().kxCtrlMore->click();
    });
    platform::ErrorInfo forwarded;
    forwarded.number = 440;
    forwarded.source = "2srv!modA!procB!12!429!lib!modB!procC!0!91";
    Procedure("frmMain.frm", "Sub cmdGo_Click")
        .run({
            {40, [&] { platform::raiseError(forwarded); }},
            {50, [&] { afterErrorRan = true; }},
        });

    EXPECT_FALSE(afterErrorRan);
    EXPECT_EQ(errorRecord().userComment, "kept from before");
    EXPECT_FALSE(anyErrorDialogLoaded());
}

// The real dialog, modal and busy: a clock tick that comes meanwhile runs at once.
TEST_F(ErrorHandlerDialogTest, AClockTickDuringTheDialogRunsAtOnce) {
    bool tickRan = false;
    bool ranBeforeContinue = false;
    whenDialogShown(
        [&](frmWARDLINE& form) {
            QTimer::singleShot(0, [&, dialog = &form] {
                EXPECT_TRUE(runtime().busy) << "the dialog is up";
                {
                    const ClockTick tick(currentRuntime());
                    Procedure("frmMain.frm", "Sub tmrMain_Timer").run({{10, [&] { tickRan = true; }}});
                }
                ranBeforeContinue = tickRan;
                dialog->controls().kxCtrlContinue->click();
            });
        },
        true);
    Procedure("frmMain.frm", "Sub cmdGo_Click").run({{20, [] { platform::raiseError(53); }}});

    EXPECT_TRUE(ranBeforeContinue);
    EXPECT_FALSE(runtime().busy);
}

using testsupport::reportsIn;

// What a report says under "System State Information", up to "User Said".
std::string systemStateOf(const std::string& report) {
    const std::string title = "System State Information\r\n";
    const std::size_t from = report.find(title);
    const std::size_t to = report.find("User Said\r\n");
    if (from == std::string::npos || to == std::string::npos || to < from) return {};
    return report.substr(from + title.size(), to - from - title.size());
}

// With "Force System Info" and "Display Mode", as a machine left alone is set up.
class ReportsOfTheirOwnTest : public ErrorHandlerDialogTest {
protected:
    void SetUp() override {
        ErrorHandlerDialogTest::SetUp();
        runtime().prefs.forceSystemInfo = -1;
        runtime().prefs.displayMode = -1;
    }
};

// A row that cannot start in a clock tick: the tick opens no dialog and writes nothing; the
// dialog opens after it, and the report is written when it is answered, with the comment
// typed there and the system state it built, and mailed with them.
TEST_F(ReportsOfTheirOwnTest, AClockStartedErrorGetsItsOwnCommentAndSystemState) {
    TempFolder mailFolder;
    std::filesystem::create_directory(scratch / "run");
    std::filesystem::permissions(scratch / "run", std::filesystem::perms::owner_all);
    const ScopedEnv privateFolder("XDG_RUNTIME_DIR", scratch / "run");
    const morrowset::testing::FakeSendmail sendmail(mailFolder.path());
    runtime().prefs.mailAddress = "ops@example.org";
    bool afterErrorRan = false;
    {
        const ClockTick tick(currentRuntime());
        runTickWithFailingRow(afterErrorRan);
        EXPECT_FALSE(anyErrorDialogLoaded()) << "no dialog inside the tick";
    }
    EXPECT_FALSE(afterErrorRan);
    EXPECT_EQ(errorLog(), "") << "nothing written before the dialog is answered";

    whenDialogShownWithReport([](frmWARDLINE& form) {
        QTest::keyClicks(form.controls().Text1, "the nightly copy did not start");
        form.controls().kxCtrlContinue->click();
    });
    showWaitingDialogs(currentRuntime());

    const std::vector<std::string> reports = reportsIn(errorLog());
    ASSERT_EQ(reports.size(), 1u) << errorLog();
    EXPECT_NE(reports[0].find("User Said\r\n              the nightly copy did not start\r\n"), std::string::npos)
        << reports[0];
    EXPECT_GT(systemStateOf(reports[0]).size(), 100u) << reports[0];
    const auto mail = morrowset::testing::parseMail(sendmail.message());
    ASSERT_EQ(mail.parts.size(), 2u);
    EXPECT_NE(mail.parts[1].content.find("the nightly copy did not start"), std::string::npos)
        << "mailed after the answer";
}

// A clock tick fails while the dialog of a NOW-started error is open: the open dialog keeps
// its own error, and the tick's error gets a dialog of its own afterwards. Each report says
// what its own dialog was told and shows the system state that dialog held.
TEST_F(ReportsOfTheirOwnTest, AnErrorWhileAnotherDialogIsOpenGetsItsOwnCommentAndSystemState) {
    std::string secondDialogShowed;
    whenDialogShownWithReport([&](frmWARDLINE& first) {
        {
            const ClockTick tick(currentRuntime());
            Procedure("frmMain.frm", "Sub tmrMain_Timer").run({{70, [] { platform::raiseError(6); }}});
        }
        EXPECT_EQ(shownErrorDialog(), &first) << "no second dialog over the first";
        EXPECT_EQ(first.controls().ErrNo->text(), " 53");
        QTest::keyClicks(first.controls().Text1, "about the first");
        first.controls().kxCtrlArgs->appendPlainText("seen in the first dialog");
        first.controls().kxCtrlContinue->click();
        whenDialogShownWithReport([&](frmWARDLINE& second) {
            secondDialogShowed = second.controls().ErrNo->text().toStdString();
            QTest::keyClicks(second.controls().Text1, "about the second");
            second.controls().kxCtrlArgs->appendPlainText("seen in the second dialog");
            second.controls().kxCtrlContinue->click();
        });
    });
    Procedure("frmMain.frm", "Sub cmdGo_Click").run({{20, [] { platform::raiseError(53); }}});

    EXPECT_EQ(secondDialogShowed, " 6");
    const std::vector<std::string> reports = reportsIn(errorLog());
    ASSERT_EQ(reports.size(), 2u) << errorLog();
    const std::pair<const char*, const char*> own[] = {{"53", "first"}, {"6", "second"}};
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const auto& [number, which] = own[i];
        const std::string other = own[1 - i].second;
        EXPECT_NE(reports[i].find(std::string("Error No.     ") + number + "\r\n"), std::string::npos) << reports[i];
        EXPECT_NE(reports[i].find(std::string("User Said\r\n              about the ") + which + "\r\n"),
                  std::string::npos)
            << reports[i];
        const std::string state = systemStateOf(reports[i]);
        EXPECT_NE(state.find(std::string("seen in the ") + which + " dialog"), std::string::npos) << state;
        EXPECT_EQ(state.find("seen in the " + other + " dialog"), std::string::npos) << state;
    }
}

}  // namespace
}  // namespace wardline::testing
