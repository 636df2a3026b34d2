// The runtime's user-interface services done with widgets.
#include "app/qt_ui_services.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gmock/gmock.h>

#include "platform/app_object.h"

namespace morrowset {
namespace {

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Shows a box through the services and answers it with `answer` (NoButton: Esc).
int answerBox(const std::string& text, int style, const std::string& title, QMessageBox::StandardButton answer,
              SeenBox& seen) {
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton* button : box->buttons()) seen.buttons << box->standardButton(button);
        seen.defaultButton = box->standardButton(box->defaultButton());
        if (answer == QMessageBox::NoButton) box->reject();
        else box->button(answer)->click();
    });
    QtUiServices ui;
    return ui.messageBox(text, style, title);
}

TEST(QtUiServices, MessageBoxesFollowTheStyleBits) {
    using B = QMessageBox;
    struct Case {
        int style;
        B::StandardButton answer;
        int result;
        B::Icon icon;
        QList<B::StandardButton> buttons;
        B::StandardButton defaultButton;
    };
    const Case cases[] = {
        {0, B::Ok, 1, B::NoIcon, {B::Ok}, B::Ok},
        {49, B::Ok, 1, B::Warning, {B::Ok, B::Cancel}, B::Ok},
        {49, B::Cancel, 2, B::Warning, {B::Ok, B::Cancel}, B::Ok},
        {49, B::NoButton, 2, B::Warning, {B::Ok, B::Cancel}, B::Ok},
        {16, B::NoButton, 1, B::Critical, {B::Ok}, B::Ok},
        {64 + 4 + 256, B::No, 7, B::Information, {B::Yes, B::No}, B::No},
        {32 + 2, B::Retry, 4, B::Question, {B::Abort, B::Retry, B::Ignore}, B::Abort},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.style);
        SeenBox seen;
        EXPECT_EQ(answerBox("Line one\r\nLine two", c.style, "WLVB100", c.answer, seen), c.result);
        EXPECT_EQ(seen.title, "WLVB100");
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_THAT(seen.buttons, ::testing::UnorderedElementsAreArray(c.buttons));
        EXPECT_EQ(seen.defaultButton, c.defaultButton);
    }
}

TEST(QtUiServices, AnEmptyTitleIsTheApplicationsTitle) {
    SeenBox seen;
    answerBox("text", 0, "", QMessageBox::Ok, seen);
    EXPECT_EQ(seen.title.toStdString(), platform::app().title());
    EXPECT_EQ(seen.text, "text");
}

TEST(QtUiServices, ProcessEventsRunsWhatIsPendingAndReturnsWhenIdle) {
    QtUiServices ui;
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    for (int i = 0; i < 100 && !ran; ++i) ui.processEvents();
    EXPECT_TRUE(ran);
    ui.processEvents();  // nothing pending: waits briefly, then returns
}

TEST(QtUiServices, MousePointerAndWindowsEnabled) {
    QtUiServices ui;
    ui.setMousePointer(wardline::kPointerHourglass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui.setMousePointer(wardline::kPointerHourglass);
    ui.setMousePointer(wardline::kPointerDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "one restore undoes the one override";
    EXPECT_EQ(ui.mousePointer(), wardline::kPointerDefault);

    QWidget shown, hidden;
    shown.show();
    ui.setVisibleWindowsEnabled(false);
    EXPECT_FALSE(shown.isEnabled());
    EXPECT_TRUE(hidden.isEnabled());
    ui.setVisibleWindowsEnabled(true);
    EXPECT_TRUE(shown.isEnabled());
}

}  // namespace
}  // namespace morrowset
