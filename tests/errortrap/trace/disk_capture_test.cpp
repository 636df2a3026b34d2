#include <gmock/gmock.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "errortrap/trace/disk_capture.h"
#include "errortrap/trace/trace_sinks.h"
#include "errortrap/wardline.h"
#include "support/tracing_fixture.h"

namespace {

using ::testing::HasSubstr;
using testsupport::masked;
using testsupport::readFile;
using wardline::pfLogLine;

constexpr const char* kCapture = "[log file]\nWrite To Disk=1\nCapture To Disk=1\n[include]\nUser=0\n";

class DiskCaptureTest : public testsupport::TracingTest {
protected:
    // The error log without the start banner (its first two lines).
    std::string logAfterBanner() {
        const std::string log = readFile(app / "error.log");
        const auto banner = log.find("data capture\r\n\r\n");
        return banner == std::string::npos ? log : log.substr(banner + 16);
    }
};

TEST_F(DiskCaptureTest, TracedProceduresAppearInTheErrorLogEachFollowedByAnEmptyLine) {
    start(kCapture);
    wardline::wlPUSH("frmMain.frm", "Sub Form_Load", "");
    wardline::wlPUSH("frmMain.frm", "Sub cmdGo_Click", "");
    wardline::wlPOP("frmMain.frm", "Sub cmdGo_Click", "");
    wardline::wlPOP("frmMain.frm", "Sub Form_Load", "");
    EXPECT_EQ(masked(logAfterBanner()),
              "[Morrowset] [00001] [T] ->frmMain.frm : Sub Form_Load :  : [res =L%, mem = B]\r\n\r\n"
              "[Morrowset] [00002] [T] ->\tfrmMain.frm : Sub cmdGo_Click :  : [res =L%, mem = B]\r\n\r\n"
              "[Morrowset] [00003] [T] <-\tfrmMain.frm : Sub cmdGo_Click :  : [res =L%, mem = B]\r\n\r\n"
              "[Morrowset] [00004] [T] <-frmMain.frm : Sub Form_Load :  : [res =L%, mem = B]\r\n\r\n");
}

struct SwitchCase {
    const char* preferences;
    bool captured;
};

TEST_F(DiskCaptureTest, BothSwitchesAreNeeded) {
    const SwitchCase cases[] = {
        {"[log file]\nWrite To Disk=1\nCapture To Disk=1\n", true},
        {"[log file]\nCapture To Disk=1\n", false},
        {"[log file]\nWrite To Disk=1\n", false},
    };
    for (const SwitchCase& c : cases) {
        freshRuntime();
        std::filesystem::remove(app / "error.log");
        start(c.preferences);
        pfLogLine("a line\r\n");
        EXPECT_EQ(readFile(app / "error.log").find("a line\r\n\r\n") != std::string::npos, c.captured)
            << c.preferences;
    }
}

// Whether the log was rotated, deleted or replaced is asked at most every 100 ms.
void waitOutTheReplacedCheck() { std::this_thread::sleep_for(std::chrono::milliseconds(120)); }

TEST_F(DiskCaptureTest, ARotatedOrDeletedLogIsOpenedAfresh) {
    start(kCapture);
    pfLogLine("one\r\n");
    std::filesystem::rename(app / "error.log", app / "error.log.1");
    waitOutTheReplacedCheck();
    pfLogLine("two\r\n");
    std::filesystem::remove(app / "error.log");
    waitOutTheReplacedCheck();
    pfLogLine("three\r\n");
    EXPECT_THAT(readFile(app / "error.log.1"), ::testing::EndsWith("one\r\n\r\n"));
    EXPECT_EQ(readFile(app / "error.log"), "three\r\n\r\n");
    struct stat info {};
    ASSERT_EQ(::stat((app / "error.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(DiskCaptureTest, FollowsTheLogPathWhenItChanges) {
    start(kCapture);
    prefs().errorLogPath = app / "!error!.log";
    pfLogLine("during\r\n");
    prefs().errorLogPath = app / "error.log";
    pfLogLine("after\r\n");
    EXPECT_EQ(readFile(app / "!error!.log"), "during\r\n\r\n");
    EXPECT_THAT(readFile(app / "error.log"), ::testing::EndsWith("after\r\n\r\n"));
}

TEST_F(DiskCaptureTest, AnUnwritableLogLosesTheLineForItselfOnly) {
    start("[log file]\nWrite To Disk=1\nCapture To Disk=1\nLog File=/nonexistent/folder/error.log\n"
          "[preferences]\nCircularLog=1\n");
    pfLogLine("kept\r\n");
    EXPECT_THAT(readFile(prefs().circFileName), HasSubstr("kept\r\n"));
    EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
