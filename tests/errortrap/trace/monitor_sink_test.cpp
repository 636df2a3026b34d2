#include <gmock/gmock.h>
#include <signal.h>

#include "errortrap/trace/monitor_sink.h"
#include "errortrap/trace/trace_sinks.h"
#include "errortrap/wardline.h"
#include "support/monitor_process.h"
#include "support/tracing_fixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testsupport::maskedTime;
using testsupport::MonitorProcess;

class MonitorTest : public testsupport::TracingTest {
protected:
    // Starts the runtime with a monitor listening; the monitor has received the banner.
    void startWith(MonitorProcess& monitor) {
        ASSERT_TRUE(monitor.waitUntilListening());
        start();
        ASSERT_EQ(wardline::runtime().monitorPresent, -1);
        const auto banner = monitor.nextLine();
        ASSERT_TRUE(banner);
        EXPECT_THAT(*banner, HasSubstr(" - start Wardline client v5.00.04 (for Visual Basic 5.0) data capture"));
    }
    // Has the monitor hold at the next line it receives.
    static void armHold(MonitorProcess& monitor) {
        monitor.command("hold");
        ASSERT_EQ(monitor.nextStatus(), "wardline-monitor: will hold at the next line");
    }
};

TEST_F(MonitorTest, AMonitorTurnsTracingOnAndReceivesEveryLine) {
    MonitorProcess monitor({"--title", "Korvex Wardline - tests"});
    startWith(monitor);
    EXPECT_TRUE(wardline::tracingOn(wardline::runtime())) << "even without a preferences file";
    wardline::wlPUSH("frmMain.frm", "Sub Form_Load", "");
    wardline::wlPOP("frmMain.frm", "Sub Form_Load", "");
    // No preferences file: the [include] switches are off, arguments are cut.
    EXPECT_EQ(maskedTime(monitor.nextLine().value_or("")), "[Morrowset] [00001] [T] ->frmMain.frm : Sub Form_Load");
    EXPECT_EQ(maskedTime(monitor.nextLine().value_or("")), "[Morrowset] [00002] [T] <-frmMain.frm : Sub Form_Load");
    EXPECT_TRUE(ui.windowsEnabled.empty()) << "nothing held";
}

TEST_F(MonitorTest, AHoldDisablesTheWindowsUntilTheMonitorLetsGo) {
    MonitorProcess monitor({});
    startWith(monitor);
    armHold(monitor);
    bool disabledDuringHold = false;
    ui.onProcessEvents = [&](int round) {
        disabledDuringHold = ui.windowsDisabled();
        if (round == 3) monitor.command("release");
    };
    wardline::wlPUSH("frmMain.frm", "Sub tmrMain_Timer", "");
    EXPECT_TRUE(disabledDuringHold);
    EXPECT_GE(ui.eventRounds, 3) << "events run while held";
    EXPECT_THAT(ui.windowsEnabled, ElementsAre(false, true));
    EXPECT_EQ(wardline::traceStack().traceDepth, 1);
}

TEST_F(MonitorTest, AMonitorThatDiesWhileHoldingLetsTheProgramGoOn) {
    MonitorProcess monitor({});
    startWith(monitor);
    armHold(monitor);
    ui.onProcessEvents = [&](int round) {
        if (round == 1) monitor.kill();
    };
    wardline::wlPUSH("frmMain.frm", "Sub tmrMain_Timer", "");
    EXPECT_THAT(ui.windowsEnabled, ElementsAre(false, true));
    EXPECT_EQ(ui.eventRounds, 1);

    wardline::wlPOP("frmMain.frm", "Sub tmrMain_Timer", "");
    EXPECT_EQ(wardline::traceStack().traceDepth, 0) << "later lines are not held";
    EXPECT_FALSE(sinksOf(*testRuntime).monitor().link().connected());
}

TEST_F(MonitorTest, AMonitorThatStopsAnsweringLetsTheProgramGoOnAfterTheTimeOut) {
    MonitorProcess monitor({});
    startWith(monitor);
    armHold(monitor);
    ui.onProcessEvents = [&](int round) {
        if (round == 1) monitor.signal(SIGSTOP);
    };
    wardline::wlPUSH("frmMain.frm", "Sub tmrMain_Timer", "");
    EXPECT_THAT(ui.windowsEnabled, ElementsAre(false, true));
    EXPECT_EQ(ui.eventRounds, 1);
    EXPECT_FALSE(sinksOf(*testRuntime).monitor().link().connected());
}

TEST_F(MonitorTest, AMonitorWithAnotherTitleIsNotTaken) {
    MonitorProcess monitor({"--title", "Korvex Wardline2"});
    ASSERT_TRUE(monitor.waitUntilListening());
    start();
    EXPECT_EQ(wardline::runtime().monitorPresent, 0);
    EXPECT_FALSE(wardline::tracingOn(wardline::runtime()));
}

}  // namespace
