// Help from the error dialog: the shipped help file, the help viewer, the Help button for
// the chosen error level, and F1 for the control that has the focus.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "errortrap/dialog/help_viewer.h"
#include "platform/help_file.h"
#include "support/dialog_test_support.h"

namespace wardline::testing {
namespace {

const std::string kBinaryFolder = std::string(MORROWSET_BINARY_DIR) + "/bin";

// The program runs from the build's bin folder, where the help file is copied.
class HelpTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        testRuntime->platform().app = platform::AppObject(kBinaryFolder, platform::AppObject().exeName());
    }
    void TearDown() override {
        if (platform::HelpViewer* viewer = platform::helpViewer()) delete viewer;
        DialogTest::TearDown();
    }
};

TEST_F(HelpTest, TheShippedHelpFileHasATopicForEveryControlAndEveryErrorTheProgramRaises) {
    const int contexts[] = {270, 280, 290, 300, 320, 330, 340, 350,  // the dialog's controls
                            5,   6,   7,   9,   11,  13,  51,  52,  53,  57,
                            58,  61,  62,  67,  68,  70,  75,  76,  380, 440};
    for (const int context : contexts) {
        const auto found = platform::lookUpHelpTopic("wardline.hlp", context);
        EXPECT_EQ(found.status, platform::HelpLookup::Found) << "topic " << context;
        EXPECT_FALSE(found.topic.title.empty()) << "topic " << context;
        EXPECT_FALSE(found.topic.body.empty()) << "topic " << context;
    }
}

TEST_F(HelpTest, TheViewerShowsATopicOrSaysThatNoHelpIsAvailable) {
    const TempFolder scratch;
    scratch.write("empty.hlp", "");
    struct Case {
        std::string file;
        int32_t context;
        QString title;
        QString bodyContains;
    };
    const Case cases[] = {
        {"wardline.hlp", 53, "File not found", "command line names a program"},
        {"wardline.hlp", 9999, "No help available", "has no topic 9999"},
        {scratch / "empty.hlp", 5, "No help available", "has no topic 5"},
        {scratch / "missing.hlp", 5, "No help available", "could not be found"},
        {"", 5, "No help available", "No help file"},
    };
    for (const Case& c : cases) {
        platform::showHelpTopic(nullptr, c.file, c.context);
        platform::HelpViewer* viewer = platform::helpViewer();
        ASSERT_NE(viewer, nullptr);
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_EQ(viewer->titleText(), c.title) << c.file << " " << c.context;
        EXPECT_TRUE(viewer->bodyText().contains(c.bodyContains)) << viewer->bodyText().toStdString();
    }
}

TEST_F(HelpTest, F1AsksForTheTopicOfTheFocusedControl) {
    enterDevelopmentEnvironment();
    recordLocalError();
    whenDialogShown([](frmWARDLINE& form) {
        form.controls().wlPrint->setFocus();
        QTest::keyClick(form.controls().wlPrint, Qt::Key_F1);
        ASSERT_NE(platform::helpViewer(), nullptr);
        EXPECT_EQ(platform::helpViewer()->helpFile(), "wardline.hlp");
        EXPECT_EQ(platform::helpViewer()->context(), 300);
        EXPECT_EQ(platform::helpViewer()->titleText(), "Print");

        form.controls().Combo1->setCurrentIndex(3);
        form.controls().kxCtrlArgs->setFocus();
        QTest::keyClick(form.controls().kxCtrlArgs, Qt::Key_F1);
        EXPECT_EQ(platform::helpViewer()->context(), 330);
    });
    showDialogForRecord();
}

TEST_F(HelpTest, HelpOpensTheChosenLevelsTopicEvenAfterTheCurrentErrorWasCleared) {
    enterDevelopmentEnvironment();
    recordForwardedError();
    whenDialogShown([](frmWARDLINE& form) {
        form.controls().errText->setCurrentIndex(0);
        platform::clearError();  // as every handler that skips failing steps does
        form.controls().kxHelp->click();
        ASSERT_NE(platform::helpViewer(), nullptr);
        EXPECT_EQ(platform::helpViewer()->context(), 440);
        EXPECT_EQ(platform::helpViewer()->titleText(), "Automation error");

        form.controls().errText->setCurrentIndex(2);
        form.controls().kxHelp->click();
        EXPECT_EQ(platform::helpViewer()->helpFile(), "/nowhere/lib.hlp");
        EXPECT_EQ(platform::helpViewer()->context(), 91);
        EXPECT_EQ(platform::helpViewer()->titleText(), "No help available");
    });
    showDialogForRecord();
}

TEST_F(HelpTest, TheViewerCanBeUsedWhileTheDialogIsOpenAndOutlivesIt) {
    enterDevelopmentEnvironment();
    recordLocalError();
    whenDialogShown([](frmWARDLINE& form) {
        form.controls().kxHelp->click();
        platform::HelpViewer* viewer = platform::helpViewer();
        ASSERT_NE(viewer, nullptr);
        // Kept in front of the modal dialog, so the dialog does not block it.
        EXPECT_EQ(viewer->windowHandle()->transientParent(), form.windowHandle());
        auto* close = viewer->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close);
        const QPointer<platform::HelpViewer> closed(viewer);
        QTest::mouseClick(close, Qt::LeftButton);
        EXPECT_TRUE(!closed || !closed->isVisible());
        form.controls().kxHelp->click();
    });
    showDialogForRecord();
    ASSERT_NE(platform::helpViewer(), nullptr);
    EXPECT_EQ(platform::helpViewer()->titleText(), "Type mismatch");
}

}  // namespace
}  // namespace wardline::testing
