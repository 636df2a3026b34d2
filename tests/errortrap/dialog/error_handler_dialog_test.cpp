// The dialog as a trapped error brings it up: procedures written with the instrumentation
// helper raise errors, the real error handler records them and shows the real dialog.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "errortrap/dialog/call_tree_list.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/trace/procedure.h"
#include "support/dialog_test_support.h"

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

}  // namespace
}  // namespace wardline::testing
