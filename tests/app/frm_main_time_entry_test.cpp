// Typing a start time and leaving the box: the entry is checked and turned into seconds,
// or the focus stays in the box.
#include "support/frm_main_fixture.h"

namespace morrowset {
namespace {

using namespace apptest;

class TimeEntry : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        loadShown();
    }
    TimeBox* box() const { return window->mskTime[0]; }

    // Clicks into the box, clears it and types `digits` from its first place.
    void typeTime(const std::string& digits) {
        QTest::mouseClick(box(), Qt::LeftButton);
        box()->selectAll();
        QTest::keyClick(box(), Qt::Key_Delete);
        QTest::keyClick(box(), Qt::Key_Home);
        QTest::keyClicks(box(), QString::fromStdString(digits));
    }
};

struct Entry {
    const char* typed;
    const char* text;
    bool accepted;
    int32_t seconds;  // when accepted
};

// Leaving with Tab. Before each entry the row is unchecked and its seconds read 777.
TEST_F(TimeEntry, EntriesAreCheckedWhenTheFocusLeaves) {
    const Entry entries[] = {
        {"", "##:##", true, 777},   {"1", "1#:##", false, 0},    {"123", "12:3#", false, 0},
        {"2400", "24:00", true, 86400}, {"2430", "24:30", false, 0}, {"2500", "25:00", false, 0},
        {"2360", "23:60", false, 0}, {"2359", "23:59", true, 86340}, {"0000", "00:00", true, 0},
        {"0705", "07:05", true, 25500},
    };
    for (const auto& entry : entries) {
        SCOPED_TRACE(entry.text);
        window->chkEnabled[0]->setValue(0);
        window->timetable().setSeconds(0, 777);
        typeTime(entry.typed);
        ASSERT_EQ(box()->timeText(), entry.text);
        QTest::keyClick(box(), Qt::Key_Tab);
        const bool leftTheBox = QApplication::focusWidget() != box();
        EXPECT_EQ(leftTheBox, entry.accepted);
        EXPECT_EQ(secondsOf(0), entry.accepted ? entry.seconds : 777);
        const bool blank = std::string(entry.text) == "##:##";
        EXPECT_EQ(window->chkEnabled[0]->value(), entry.accepted && !blank ? 1 : 0) << "a valid time checks the row";
    }
}

// A refused entry keeps the focus, and the click that tried to take it does nothing.
TEST_F(TimeEntry, AClickElsewhereDoesNotClickWhileTheEntryIsRefused) {
    typeTime("12");
    QTest::mouseClick(window->cmdPause, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), box());
    EXPECT_EQ(window->cmdPause->text(), "Pause Program");
    QTest::mouseClick(window->chkEnabled[3], Qt::LeftButton);
    EXPECT_EQ(window->chkEnabled[3]->value(), 0);
    EXPECT_EQ(QApplication::focusWidget(), box());

    QTest::keyClicks(box(), "45");
    QTest::mouseClick(window->cmdPause, Qt::LeftButton);
    EXPECT_EQ(window->cmdPause->text(), "Start Program");
    EXPECT_EQ(secondsOf(0), 12 * 3600 + 45 * 60);
}

// A box cleared back to "##:##" keeps the row's old seconds.
TEST_F(TimeEntry, ClearingTheBoxKeepsTheSeconds) {
    typeTime("0630");
    QTest::keyClick(box(), Qt::Key_Tab);
    ASSERT_EQ(secondsOf(0), 6 * 3600 + 30 * 60);
    typeTime("");
    QTest::keyClick(box(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), box());
    EXPECT_EQ(secondsOf(0), 6 * 3600 + 30 * 60);
}

TEST_F(TimeEntry, TheBoxTakesOnlyDigitsAroundAFixedColon) {
    typeTime("a1b2:c3d4e5");
    EXPECT_EQ(box()->timeText(), "12:34");
    box()->setTimeText("#5:4#");
    EXPECT_EQ(box()->timeText(), "#5:4#");
    for (const char* bad : {"", "12:345", "12-30", "ab:cd", "1:30"}) {
        try {
            box()->setTimeText(bad);
            ADD_FAILURE() << bad << " was taken";
        } catch (const platform::RuntimeError& error) {
            EXPECT_EQ(error.number(), 380) << bad;
        }
    }
}

}  // namespace
}  // namespace morrowset
