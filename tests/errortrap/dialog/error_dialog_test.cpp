// The error dialog as the error handler shows it: filled from the error record, adapted
// to where the program runs, closed only by its buttons, and what it leaves behind.
#include <QComboBox>
#include <QExposeEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "errortrap/dialog/call_tree_list.h"
#include "support/dialog_test_support.h"

namespace wardline::testing {
namespace {

std::vector<std::string> entriesOf(const QComboBox* list) {
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i) entries.push_back(list->itemText(i).toStdString());
    return entries;
}

std::vector<std::string> entriesOf(const CallTreeList* list) {
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i) entries.push_back(list->item(i)->text().toStdString());
    return entries;
}

// The view whose picture box lies on top, at the middle of the view area.
int viewOnTop(frmWARDLINE& form) {
    const QPoint middle = form.controls().Picture1[0]->geometry().center();
    for (QWidget* w = form.childAt(middle); w; w = w->parentWidget())
        for (int i = 0; i < 4; ++i)
            if (w == form.controls().Picture1[static_cast<std::size_t>(i)]) return i;
    return -1;
}

bool centred(const frmWARDLINE& form) {
    const QRect screen = form.screen()->geometry();
    return form.x() == screen.x() + (screen.width() - form.width()) / 2 &&
           form.y() == screen.y() + (screen.height() - form.height()) / 2;
}

using ErrorDialogTest = DialogTest;

TEST_F(ErrorDialogTest, LocalErrorOutsideTheDevelopmentEnvironmentOffersOnlyTheCommentAndContinue) {
    recordLocalError();
    whenDialogShown([](frmWARDLINE& form) {
        EXPECT_EQ(form.windowTitle(), "Program Error Intercepted");
        EXPECT_EQ(form.controls().lblErrCnt->text(), "An unexpected 'type mismatch' error occured in " +
                                              QString::fromStdString(platform::app().exeName()) +
                                              ".\n1 error(s) are logged.");
        EXPECT_EQ(form.controls().Combo1->count(), 1);
        EXPECT_EQ(form.controls().Combo1->currentIndex(), 0);
        EXPECT_EQ(viewOnTop(form), 0);
        EXPECT_TRUE(form.controls().kxCtrlMore->isHidden());
        EXPECT_TRUE(form.controls().kxHelp->isHidden());
        EXPECT_TRUE(form.controls().cmdWWW->isHidden());
        EXPECT_EQ(form.controls().kxCtrlContinue->geometry().right() + 1, form.controls().wlPrint->x() - form.twipsToPixelsX(10));
        EXPECT_TRUE(centred(form));
        EXPECT_EQ(entriesOf(form.controls().errText), std::vector<std::string>{"Error 1 - Type mismatch"});
        EXPECT_EQ(form.controls().ErrType->text(), "Type conversion error");
        EXPECT_EQ(form.controls().errProject->text(), "Morrowset (local)");
        EXPECT_EQ(form.controls().ErrModule->text(), " frmMain.frm");
        EXPECT_EQ(form.controls().ErrProcedure->text(), " Sub cmdGo_Click");
        EXPECT_EQ(form.controls().ErrLine->text(), " 20");
        EXPECT_EQ(form.controls().ErrNo->text(), " 13");
        EXPECT_EQ(entriesOf(form.controls().kxCtrlCalls), (std::vector<std::string>{
                                                   "1 : Call\tfrmMain.frm : Sub tmrMain_Timer :",
                                                   "2 : Call\t\tfrmMain.frm : Sub cmdGo_Click : 3",
                                                   "3 : Trap\t\tRuntime error 13, Type mismatch on line 20",
                                               }));
        EXPECT_EQ(form.controls().kxCtrlCalls->currentRow(), 2);
        EXPECT_EQ(form.focusWidget(), form.controls().Text1);
        EXPECT_EQ(form.controls().Text1->selectedText(), "Type in what you where doing here.");
        QTest::keyClicks(form.controls().Text1, "pressed NOW on row 3");
        form.controls().kxCtrlContinue->click();
    });

    EXPECT_EQ(showDialogForRecord(), 0);
    EXPECT_EQ(errorRecord().userComment, "pressed NOW on row 3");
    EXPECT_FALSE(runtime().busy);
    EXPECT_EQ(errorRecord().systemStateText, "");
    EXPECT_FALSE(anyErrorDialogLoaded());
}

// The dialog works on the value it is given and answers with one: the runtime's record,
// busy flag and choice stay as they were; it says when it is up and when it is answered.
TEST_F(ErrorDialogTest, TheDialogTakesAValueAndGivesOneBack) {
    recordLocalError();
    const ErrorRecord given = errorRecord();
    errorRecord().levels[0].description = "not the error shown";
    errorRecord().userComment = "the runtime's own";
    runtime().dialogChoice = kChoiceBreakTo;
    std::vector<std::string> told;
    DialogInput input;
    input.record = &given;
    input.exeName = "Shown";
    input.ui = &ui;
    input.shown = [&] { told.push_back("shown"); };
    input.answered = [&] { told.push_back("answered"); };

    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        frmWARDLINE* form = shownErrorDialog();
        if (!form || !form->isVisible() || told.empty()) return;
        poll->stop();
        poll->deleteLater();
        EXPECT_EQ(form->controls().lblErrCnt->text(),
                  "An unexpected 'type mismatch' error occured in Shown.\n1 error(s) are logged.");
        EXPECT_FALSE(runtime().busy);
        QTest::keyClicks(form->controls().Text1, "typed");
        form->controls().kxCtrlContinue->click();
    });
    poll->start();
    const DialogResult answer = ShowErrorDialog(input);

    EXPECT_EQ(told, (std::vector<std::string>{"shown", "answered"}));
    EXPECT_EQ(answer.choice, kChoiceContinue);
    EXPECT_EQ(answer.userComment, "typed");
    EXPECT_EQ(answer.systemStateText, "");
    EXPECT_EQ(answer.helpFile, "wardline.hlp");
    EXPECT_EQ(answer.helpContext, 13);
    EXPECT_EQ(errorRecord().userComment, "the runtime's own");
    EXPECT_EQ(errorRecord().levels[0].description, "not the error shown");
    EXPECT_FALSE(runtime().busy);
    EXPECT_EQ(runtime().dialogChoice, kChoiceBreakTo);
}

TEST_F(ErrorDialogTest, ForwardedErrorInsideTheDevelopmentEnvironmentShowsEveryLevel) {
    enterDevelopmentEnvironment();
    recordForwardedError();
    errorRecord().userComment = "earlier comment";
    platform::app().setHelpFile("morrowset.hlp");
    whenDialogShown([](frmWARDLINE& form) {
        EXPECT_EQ(form.controls().lblErrCnt->text(),
                  "An unexpected 'object variable or with block variable not set' error occured "
                  "in a component used by " +
                      QString::fromStdString(platform::app().exeName()) + ".\n3 error(s) are logged.");
        EXPECT_EQ(form.controls().Combo1->count(), 4);
        EXPECT_EQ(form.controls().Combo1->currentIndex(), 1);
        EXPECT_EQ(viewOnTop(form), 1);
        EXPECT_TRUE(form.controls().kxCtrlMore->isVisible());
        EXPECT_TRUE(form.controls().kxHelp->isVisible());
        EXPECT_EQ(form.controls().kxHelp->text(), "Help");
        EXPECT_TRUE(form.controls().cmdWWW->isVisible());
        EXPECT_EQ(form.controls().kxCtrlContinue->x(), form.twipsToPixelsX(105));
        EXPECT_TRUE(centred(form));
        EXPECT_EQ(form.helpFileForF1(), "wardline.hlp");
        EXPECT_EQ(entriesOf(form.controls().errText), (std::vector<std::string>{
                                               "Error 3 - Remote Automation error",
                                               "Error 2 - ActiveX component can't create object",
                                               "Error 1 - Object variable or With block variable not set",
                                           }));
        // The last entry is chosen, and the fields show its level.
        EXPECT_EQ(form.controls().errText->currentIndex(), 2);
        EXPECT_EQ(form.controls().ErrNo->text(), " 91");
        EXPECT_EQ(form.controls().ErrModule->text(), " modB");
        EXPECT_EQ(form.controls().ErrProcedure->text(), " procC");
        EXPECT_EQ(form.controls().errProject->text(), "lib (remote)");
        EXPECT_EQ(form.controls().ErrLine->text(), " line numbers not used - Code Pointer = 0");
        EXPECT_EQ(entriesOf(form.controls().kxCtrlCalls),
                  (std::vector<std::string>{
                      "1 : Call\tfrmMain.frm : Sub cmdGo_Click :",
                      "2 : Trap\tRuntime error 440, Remote Automation error",
                      "3 : Call\t\tsrv (remote) : modA : procB",
                      "4 : Error\t\tRuntime error 429, ActiveX component can't create object on line 12",
                      "5 : Call\t\t\tlib (remote) : modB : procC",
                      "6 : Error\t\t\tRuntime error 91, Object variable or With block variable not set",
                  }));
        EXPECT_EQ(form.controls().kxCtrlCalls->currentRow(), 1);
        form.controls().errText->setCurrentIndex(1);
        EXPECT_EQ(form.controls().ErrNo->text(), " 429");
        EXPECT_EQ(form.controls().ErrLine->text(), " 12");
        EXPECT_EQ(form.answer().helpFile, "/nowhere/srv.hlp");
        EXPECT_EQ(form.answer().helpContext, 429);
        QTest::keyClicks(form.controls().Text1, "not taken");
        form.controls().kxCtrlMore->click();
    });

    EXPECT_EQ(showDialogForRecord(), kChoiceBreakTo);
    EXPECT_EQ(errorRecord().userComment, "earlier comment");
    EXPECT_FALSE(runtime().busy);
    EXPECT_EQ(platform::app().helpFile(), "morrowset.hlp") << "the application's help file is left alone";
}

TEST_F(ErrorDialogTest, HeadlineNamesTheProgramUntilTwoRemoteLevels) {
    recordForwardedError();
    errorRecord().levelCount = 1;
    whenDialogShown([](frmWARDLINE& form) {
        EXPECT_TRUE(
            form.controls().lblErrCnt->text().startsWith("An unexpected 'remote automation error' error occured in "));
        EXPECT_TRUE(form.controls().lblErrCnt->text().endsWith(".\n2 error(s) are logged."));
    });
    showDialogForRecord();
}

TEST_F(ErrorDialogTest, AnErrorRaisedInACalleeEndsTheCallTreeWithAnErrorLine) {
    recordLocalError();
    ErrorRecord& record = errorRecord();
    record.levels[0].module = "frmMain.frm << frmMain.frm";
    record.levels[0].procedure = "Sub tmrMain_Timer << Sub cmdGo_Click";
    record.levels[0].line = 0;
    whenDialogShown([](frmWARDLINE& form) {
        EXPECT_EQ(entriesOf(form.controls().kxCtrlCalls), (std::vector<std::string>{
                                                   "1 : Call\tfrmMain.frm : Sub tmrMain_Timer :",
                                                   "2 : Trap\tRuntime error 13, Type mismatch",
                                                   "3 : Call\t\tfrmMain.frm : Sub cmdGo_Click : 3",
                                                   "4 : Error\t\tRuntime error 13, Type mismatch",
                                               }));
        EXPECT_EQ(form.controls().ErrLine->text(), " line numbers not used - Code Pointer = 0");
    });
    showDialogForRecord();
}

TEST_F(ErrorDialogTest, ALevelCountBeyondTheRecordListsOnlyTheRecordedLevels) {
    recordForwardedError();
    errorRecord().levelCount = 15;
    whenDialogShown([](frmWARDLINE& form) { EXPECT_EQ(form.controls().errText->count(), kMaxErrorLevel + 1); });
    showDialogForRecord();
}

TEST_F(ErrorDialogTest, ForceSystemInfoKeepsEveryViewOutsideTheDevelopmentEnvironment) {
    runtime().prefs.forceSystemInfo = -1;
    recordLocalError();
    whenDialogShown([](frmWARDLINE& form) {
        EXPECT_EQ(form.controls().Combo1->count(), 4);
        EXPECT_EQ(form.controls().Combo1->currentIndex(), 0);
        EXPECT_TRUE(form.controls().kxCtrlMore->isHidden());
        form.controls().Combo1->setCurrentIndex(2);
        EXPECT_EQ(viewOnTop(form), 2);
        form.controls().Combo1->setCurrentIndex(0);
        EXPECT_EQ(viewOnTop(form), 0);
        EXPECT_EQ(form.focusWidget(), form.controls().Text1);
        EXPECT_EQ(form.controls().Text1->selectedText(), form.controls().Text1->text());
    });
    showDialogForRecord();
}

TEST_F(ErrorDialogTest, TheFrameAndEscapeDoNotCloseTheDialog) {
    recordLocalError();
    whenDialogShown([](frmWARDLINE& form) {
        EXPECT_FALSE(form.close());
        QTest::keyClick(form.controls().Text1, Qt::Key_Escape);
        QTest::keyClick(&form, Qt::Key_F4, Qt::AltModifier);
        QCoreApplication::processEvents();
        EXPECT_TRUE(form.isVisible());
        EXPECT_TRUE(runtime().busy);
    });
    EXPECT_EQ(showDialogForRecord(), 0);
}

TEST_F(ErrorDialogTest, TheReportIsBuiltOnceAndKeepsTheUsersEdits) {
    enterDevelopmentEnvironment();
    recordLocalError();
    whenDialogShown([](frmWARDLINE& form) {
        EXPECT_FALSE(form.reportBuilt);
        form.controls().Combo1->setCurrentIndex(3);
        EXPECT_TRUE(form.reportBuilt);
        EXPECT_EQ(viewOnTop(form), 3);
        form.controls().kxCtrlArgs->setPlainText("first line\nadded by the user");
        form.controls().Combo1->setCurrentIndex(1);
        form.controls().Combo1->setCurrentIndex(3);
        EXPECT_EQ(form.controls().kxCtrlArgs->toPlainText(), "first line\nadded by the user");
    });
    showDialogForRecord();
    EXPECT_EQ(errorRecord().systemStateText, "first line\r\nadded by the user");
}

TEST_F(ErrorDialogTest, DisplayModeBuildsTheReportOnEveryActivation) {
    runtime().prefs.displayMode = -1;
    recordLocalError();
    whenDialogShown([](frmWARDLINE& form) {
        EXPECT_TRUE(form.reportBuilt);
        form.controls().kxCtrlArgs->setPlainText("replaced on the next activation");
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&form, &activate);
        EXPECT_NE(form.controls().kxCtrlArgs->toPlainText(), "replaced on the next activation");
    });
    showDialogForRecord();
}

TEST_F(ErrorDialogTest, UncoveringTheWindowMovesTheFocusToContinueButTypingDoesNot) {
    recordLocalError();
    whenDialogShown([](frmWARDLINE& form) {
        ASSERT_EQ(form.focusWidget(), form.controls().Text1);
        QTest::keyClicks(form.controls().Text1, "typing repaints the box");
        form.controls().Text1->repaint();
        QCoreApplication::processEvents();
        EXPECT_EQ(form.focusWidget(), form.controls().Text1);

        QExposeEvent uncovered(QRegion(form.rect()));
        QCoreApplication::sendEvent(form.windowHandle(), &uncovered);
        EXPECT_EQ(form.focusWidget(), form.controls().Text1) << "nothing has covered the form yet";

        // Another program's window takes the focus, covers the form and goes away.
        QWindow other;
        other.show();
        other.requestActivate();
        QCoreApplication::processEvents();
        other.close();
        QCoreApplication::sendEvent(form.windowHandle(), &uncovered);
        EXPECT_EQ(form.focusWidget(), form.controls().kxCtrlContinue);
    });
    showDialogForRecord();
}

TEST_F(ErrorDialogTest, ClosingADropDownListOfTheFormIsNoRepaintRequest) {
    enterDevelopmentEnvironment();
    recordLocalError();
    whenDialogShown([](frmWARDLINE& form) {
        const auto uncover = [&form] {
            QExposeEvent uncovered(QRegion(form.rect()));
            QCoreApplication::sendEvent(form.windowHandle(), &uncovered);
        };
        // Another program's window has had the focus, so uncovering counts from now on.
        QWindow other;
        other.show();
        other.requestActivate();
        QCoreApplication::processEvents();
        other.close();
        form.activateWindow();
        QCoreApplication::processEvents();

        form.controls().Combo1->showPopup();
        QCoreApplication::processEvents();
        form.controls().Combo1->setCurrentIndex(0);
        form.controls().Combo1->hidePopup();
        QCoreApplication::processEvents();
        uncover();  // what the list leaves behind when it closes
        EXPECT_EQ(form.focusWidget(), form.controls().Text1);
    });
    showDialogForRecord();
}

TEST_F(ErrorDialogTest, HoverTextsAreTheStatusTips) {
    const frmWARDLINE form;
    EXPECT_EQ(form.controls().wlPrint->statusTip(), "Press to print this tabs data to the default printer.");
    EXPECT_EQ(form.controls().Text1->statusTip(), "");
    EXPECT_EQ(form.statusTip(), "Press 'Continue' to acknowledge this error and continue.");
}

TEST_F(ErrorDialogTest, ProbeFindsTheFormAndLeavesNoneLoaded) {
    EXPECT_TRUE(ProbeErrorDialog());
    EXPECT_FALSE(anyErrorDialogLoaded());
    UnloadErrorDialog();  // nothing loaded: nothing happens
}

TEST_F(ErrorDialogTest, TheFormIsLaidOutFromTwips) {
    const frmWARDLINE form;
    EXPECT_EQ(form.width(), form.twipsToPixelsX(7395));
    EXPECT_EQ(form.height(), form.twipsToPixelsY(3825));
    EXPECT_EQ(form.controls().wlPrint->geometry(), QRect(form.twipsToPixelsX(6105), form.twipsToPixelsY(3375),
                                              form.twipsToPixelsX(1155), form.twipsToPixelsY(375)));
    EXPECT_EQ(form.controls().kxCtrlLabel1->text(), "Module ");
    EXPECT_EQ(form.controls().kxCtrlLabel2->text(), "Procedure ");
    EXPECT_EQ(form.controls().kxCtrlContinue->text(), "&Continue");
    EXPECT_EQ(form.controls().kxCtrlMore->text(), "&Break to");
    EXPECT_EQ(form.controls().Combo1->currentIndex(), -1);
    EXPECT_GT(form.controls().kxCtrlCalls->horizontalExtent(), form.controls().kxCtrlCalls->width());
}

}  // namespace
}  // namespace wardline::testing
