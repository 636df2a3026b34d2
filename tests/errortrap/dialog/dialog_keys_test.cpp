// The error dialog and the keyboard: Enter, Return and Space click the focused button and
// nothing else, Enter in a text is part of the text, and when the help viewer or a message
// box of the dialog closes, Continue has the focus again.
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>

#include "errortrap/dialog/help_viewer.h"
#include "support/dialog_test_support.h"

namespace wardline::testing {
namespace {

// Shows real message boxes in front of the dialog, each closed as soon as it has the focus.
class MessageBoxUi : public DialogUi {
public:
    int messageBox(const std::string& text, int style, const std::string& title) override {
        DialogUi::messageBox(text, style, title);
        QMessageBox box(QMessageBox::Information, QString::fromStdString(title), QString::fromStdString(text),
                        QMessageBox::Ok, QApplication::activeModalWidget());
        QTimer closeWhenActive;
        QObject::connect(&closeWhenActive, &QTimer::timeout, &box, [&box] {
            if (QApplication::activeWindow() == &box) box.accept();
        });
        closeWhenActive.start(5);
        box.exec();
        return kResultOk;
    }
};

class DialogKeys : public DialogTest {
protected:
    void TearDown() override {
        if (platform::HelpViewer* viewer = platform::helpViewer()) delete viewer;
        DialogTest::TearDown();
    }
};

TEST_F(DialogKeys, KeysClickTheFocusedButtonAndEnterInTheCommentIsNoContinue) {
    struct Case {
        Qt::Key key;
        QPushButton* DialogControls::*button;
        int16_t choice;
    };
    const Case cases[] = {
        {Qt::Key_Return, &DialogControls::kxCtrlContinue, 0},
        {Qt::Key_Enter, &DialogControls::kxCtrlContinue, 0},
        {Qt::Key_Space, &DialogControls::kxCtrlContinue, 0},
        {Qt::Key_Return, &DialogControls::kxCtrlMore, 5},
        {Qt::Key_Space, &DialogControls::kxCtrlMore, 5},
    };
    for (const Case& c : cases) {
        enterDevelopmentEnvironment();
        recordLocalError();
        errorRecord().userComment.clear();
        whenDialogShown([&c](frmWARDLINE& form) {
            QLineEdit* comment = form.controls().Text1;
            // The prompt is selected on activation, which a busy machine may not have
            // finished yet when this runs; select it here so typing replaces it either way.
            comment->selectAll();
            QTest::keyClicks(comment, "first");
            QTest::keyClick(comment, Qt::Key_Return);
            EXPECT_TRUE(form.isVisible()) << "Enter in the comment closes nothing";
            QTest::keyClicks(comment, " second");
            QPushButton* button = form.controls().*c.button;
            button->setFocus();
            QTest::keyClick(button, c.key);
            EXPECT_FALSE(form.isVisible()) << "key " << c.key << " on " << button->text().toStdString();
        });
        EXPECT_EQ(showDialogForRecord(), c.choice) << "key " << c.key;
        EXPECT_EQ(errorRecord().userComment, c.choice == 0 ? "first second" : "") << "key " << c.key;
    }
}

// Return right after the help viewer or a message box closes continues, instead of opening
// help or looking the error up again.
TEST_F(DialogKeys, ClosingTheHelpViewerOrAMessageBoxGivesContinueTheFocus) {
    MessageBoxUi boxes;
    testRuntime->setUi(&boxes);
    enterDevelopmentEnvironment();
    recordLocalError();
    whenDialogShown([&boxes](frmWARDLINE& form) {
        const DialogControls& c = form.controls();
        c.kxHelp->setFocus();
        QTest::keyClick(c.kxHelp, Qt::Key_Return);
        platform::HelpViewer* viewer = platform::helpViewer();
        ASSERT_TRUE(viewer && viewer->isVisible());
        QApplication::setActiveWindow(viewer);
        QCoreApplication::processEvents();
        QPushButton* close = viewer->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close);
        close->setFocus();
        QTest::keyClick(close, Qt::Key_Return);
        EXPECT_FALSE(viewer->isVisible()) << "Enter closes the help viewer";
        form.activateWindow();  // as the window manager does
        QCoreApplication::processEvents();
        EXPECT_EQ(form.focusWidget(), c.kxCtrlContinue) << "after the help viewer";

        c.cmdWWW->setFocus();
        QTest::keyClick(c.cmdWWW, Qt::Key_Return);  // no knowledge base here: a message box
        ASSERT_EQ(boxes.messages.size(), 1u);
        form.activateWindow();
        QCoreApplication::processEvents();
        EXPECT_EQ(form.focusWidget(), c.kxCtrlContinue) << "after the message box";
        EXPECT_TRUE(form.isVisible());
    });
    EXPECT_EQ(showDialogForRecord(), 0);
}

// The description of a level can be changed before printing; what is typed never becomes
// an entry of the list.
TEST_F(DialogKeys, TheDescriptionCanBeChangedBeforePrinting) {
    recordForwardedError();
    whenDialogShown([](frmWARDLINE& form) {
        QComboBox* levels = form.controls().errText;
        ASSERT_TRUE(levels->isEditable());
        const int entries = levels->count();
        const int chosen = levels->currentIndex();
        levels->lineEdit()->selectAll();
        QTest::keyClicks(levels->lineEdit(), "seen after a full disk");
        QTest::keyClick(levels->lineEdit(), Qt::Key_Return);
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(levels->count(), entries);
        EXPECT_EQ(levels->currentIndex(), chosen);
        EXPECT_THAT(form.printedLines(1).back(), ::testing::EndsWith("seen after a full disk"));
    });
    showDialogForRecord();
}

}  // namespace
}  // namespace wardline::testing
