// The tray icon: what its picture, tooltip and menu say as the clock runs, pauses and a run
// fails, and that without a tray (as here, offscreen) it shows nothing and its menu works.
#include "app/tray_icon.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>

#include <gmock/gmock.h>

#include "app/app_icon.h"
#include "app/session_bus_probe.h"
#include "support/private_bus.h"
#include "support/temp_folder.h"

namespace morrowset {
namespace {

using ::testing::HasSubstr;

TEST(TrayIcon, WithoutATrayShowsNothingAndItsMenuStillAsks) {
    TrayIcon tray;
    EXPECT_EQ(tray.show(), TrayIcon::available());
    if (!TrayIcon::available()) {
        EXPECT_FALSE(tray.isShown());
    }

    QStringList texts;
    for (QAction* action : tray.menu()->actions())
        if (!action->isSeparator()) texts << action->text();
    EXPECT_EQ(texts, (QStringList{"Show &Timetable", "&Pause", "&History…", "&Quit"}));
    const std::vector<void (TrayIcon::*)()> requests = {&TrayIcon::showTimetableRequested, &TrayIcon::pauseRequested,
                                                       &TrayIcon::historyRequested, &TrayIcon::quitRequested};
    int item = 0;
    for (QAction* action : tray.menu()->actions()) {
        if (action->isSeparator()) continue;
        QSignalSpy asked(&tray, requests[static_cast<std::size_t>(item++)]);
        action->trigger();
        EXPECT_EQ(asked.count(), 1) << action->text().toStdString();
    }
}

TEST(TrayIcon, PictureAndTooltipSayRunningPausedOrAFailureSinceTheUserLooked) {
    TrayIcon tray;
    tray.setNextStart("row 2, today 14:00, in 3 h 12 min");
    struct Step {
        void (*act)(TrayIcon&);
        TrayIcon::Look look;
        const char* pauseItem;
        const char* toolTip;
    };
    const Step steps[] = {
        {[](TrayIcon&) {}, TrayIcon::Look::Running, "&Pause", "Morrowset\nNext start: row 2, today 14:00, in 3 h 12 min"},
        {[](TrayIcon& t) { t.setPaused(true); }, TrayIcon::Look::Paused, "&Start",
         "Morrowset: paused\nNext start: row 2, today 14:00, in 3 h 12 min"},
        {[](TrayIcon& t) { t.runFailed(); }, TrayIcon::Look::Failed, "&Start",
         "Morrowset: paused\nNext start: row 2, today 14:00, in 3 h 12 min\nA run failed since you last looked."},
        {[](TrayIcon& t) { t.setPaused(false); }, TrayIcon::Look::Failed, "&Pause",
         "Morrowset\nNext start: row 2, today 14:00, in 3 h 12 min\nA run failed since you last looked."},
        {[](TrayIcon& t) { t.lookedAt(); }, TrayIcon::Look::Running, "&Pause",
         "Morrowset\nNext start: row 2, today 14:00, in 3 h 12 min"},
    };
    for (const Step& step : steps) {
        step.act(tray);
        EXPECT_EQ(tray.look(), step.look) << step.toolTip;
        EXPECT_EQ(tray.pauseAction()->text(), step.pauseItem) << step.toolTip;
        EXPECT_EQ(tray.toolTip(), step.toolTip);
    }
}

// The toolkit asks the session bus about the tray and would wait for a daemon that does
// not answer without limit: the tray is asked about only once the daemon answered a
// greeting. One that does not answer means no tray, and says so.
TEST(TrayIcon, TheTrayIsAskedAboutOnlyOnceTheSessionBusAnswers) {
    testsupport::PrivateBus bus;
    if (!bus.running()) GTEST_SKIP() << "no dbus-daemon here";
    const testsupport::ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", bus.address());
    struct Case {
        bool answers;
        bool there;
    };
    for (const Case c : {Case{true, true}, Case{false, false}}) {
        if (!c.answers) bus.stop();
        TrayIcon tray;
        EXPECT_FALSE(tray.isKnown());
        EXPECT_FALSE(tray.trayThere()) << "nothing is asked before the bus answered";
        EXPECT_THAT(tray.whyNone().toStdString(), HasSubstr("still being looked for"));
        QSignalSpy known(&tray, &TrayIcon::trayKnown);
        ASSERT_TRUE(known.wait(SessionBusProbe::kAnswerWithinMs + 5000));
        bus.resume();
        EXPECT_TRUE(tray.isKnown());
        EXPECT_EQ(tray.trayThere(), c.there && TrayIcon::available()) << c.answers;
        if (!c.answers) EXPECT_THAT(tray.whyNone().toStdString(), HasSubstr("session bus does not answer"));
    }
}

TEST(TrayIcon, PicturesAreTheProgramsIconWithABadgeInTheCorner) {
    const int size = 32;
    const QImage icon = morrowsetIconImage(size);
    EXPECT_EQ(TrayIcon::image(TrayIcon::Look::Running, size), icon);
    const QImage paused = TrayIcon::image(TrayIcon::Look::Paused, size);
    const QImage failed = TrayIcon::image(TrayIcon::Look::Failed, size);
    const QRect corner(size / 2 + 2, size / 2 + 2, size / 2 - 4, size / 2 - 4);
    const QRect rest(0, 0, size / 2, size / 2);
    EXPECT_NE(paused.copy(corner), icon.copy(corner));
    EXPECT_NE(failed.copy(corner), icon.copy(corner));
    EXPECT_NE(failed.copy(corner), paused.copy(corner));
    EXPECT_EQ(paused.copy(rest), icon.copy(rest));
    EXPECT_EQ(failed.copy(rest), icon.copy(rest));
}

}  // namespace
}  // namespace morrowset
