#include <gmock/gmock.h>
#include <sys/stat.h>

#include <functional>

#include "errortrap/wardline.h"
#include "platform/error_texts.h"
#include "platform/runtime_error.h"
#include "support/tracing_fixture.h"

namespace {

using ::testing::MatchesRegex;
using testsupport::readFile;
using wardline::Preferences;
using wardline::runtime;

class StartupTest : public testsupport::TracingTest {};

TEST_F(StartupTest, WithoutPreferencesFileEverythingIsOff) {
    start();
    const Preferences& p = prefs();
    EXPECT_FALSE(p.circularLogOn);
    EXPECT_EQ(p.circFileName, app / "circ0001.log") << "read whether or not the file exists";
    EXPECT_EQ(p.circRecordSize, 0);
    EXPECT_EQ(p.forceSystemInfo, 0);
    EXPECT_EQ(p.writeToDisk, 0);
    EXPECT_EQ(p.captureToDisk, 0);
    EXPECT_EQ(p.errorLogPath, "");
    EXPECT_EQ(p.mailAddress, "");
    EXPECT_EQ(p.silentRun, 0);
    EXPECT_EQ(p.displayMode, 0);
    EXPECT_EQ(p.includeResources, 0);
    EXPECT_EQ(p.includeMemory, 0);
    EXPECT_EQ(p.includeArguments, 0);
    EXPECT_EQ(p.includeUser, 0);
    EXPECT_EQ(runtime().monitorPresent, 0);
    EXPECT_FALSE(wardline::tracingOn(runtime()));
}

TEST_F(StartupTest, SetsTheRunValuesOnce) {
    wardline::wlPUSH("frmMain.frm", "Sub Form_Load", "");  // the first enter starts the runtime
    const auto& state = runtime();
    EXPECT_TRUE(state.runtimeStarted);
    EXPECT_EQ(state.exePrefix, "[Morrowset] ");
    EXPECT_EQ(state.localSourceName, "Morrowset");
    EXPECT_EQ(state.inDevEnvironment, 0);
    EXPECT_THAT(wardline::traceStack().frameText(0),
                MatchesRegex(R"(Wardline\(tm\) : Program START <[0-9]{2}-[0-9]{2}-[0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2}>)"));
    EXPECT_EQ(ui.errorDialogLoads, 1) << "the error dialog form is loaded once to learn where we run";

    app.write("WLCLIENT.INI", "[preferences]\nSilent Run=1\n");
    wardline::startRuntime(wardline::currentRuntime());
    EXPECT_EQ(prefs().silentRun, 0) << "the preferences are read only once";
    EXPECT_EQ(ui.errorDialogLoads, 1);
}

TEST_F(StartupTest, OnlyTheCircularLogSwitchTurnsOnTheLogWithDefaultsAndTheIncludes) {
    start("[preferences]\r\nCircularLog=1\r\n");
    const Preferences& p = prefs();
    EXPECT_TRUE(p.circularLogOn);
    EXPECT_EQ(p.circFileName, app / "circ0001.log");
    EXPECT_EQ(p.circRecordSize, 1024);
    EXPECT_EQ(p.circRecordLimit, 40);
    EXPECT_EQ(p.includeResources, -1);
    EXPECT_EQ(p.includeMemory, -1);
    EXPECT_EQ(p.includeArguments, -1);
    EXPECT_EQ(p.includeUser, -1);
    EXPECT_EQ(p.writeToDisk, 0);
    EXPECT_EQ(p.captureToDisk, 0);
    EXPECT_EQ(p.silentRun, 0);
    EXPECT_EQ(p.displayMode, 0);
    struct stat info {};
    EXPECT_EQ(::stat(p.circFileName.c_str(), &info), 0);
}

struct SwitchCase {
    const char* value;
    bool on;
};

TEST_F(StartupTest, OnlyTheFirstCharacterOfCircularLogCounts) {
    for (const SwitchCase c : {SwitchCase{"1", true}, {"10", true}, {" 1 ", true}, {"yes", false},
                               {"0", false}, {"2", false}, {"", false}}) {
        freshRuntime();
        start(("[preferences]\nCircularLog=" + std::string(c.value) + "\n").c_str());
        EXPECT_EQ(prefs().circularLogOn, c.on) << '"' << c.value << '"';
    }
}

struct NumberCase {
    const char* what;
    const char* preferences;
    std::function<int32_t(const Preferences&)> field;
    int32_t expected;
};

TEST_F(StartupTest, NumbersAndFlagsFollowTheLeadingNumberRules) {
    auto silentRun = [](const Preferences& p) { return p.silentRun; };
    auto writeToDisk = [](const Preferences& p) { return p.writeToDisk; };
    auto recordSize = [](const Preferences& p) { return p.circRecordSize; };
    auto recordLimit = [](const Preferences& p) { return p.circRecordLimit; };
    const NumberCase cases[] = {
        {"Silent Run 1 gives -1", "[preferences]\nSilent Run=1\n", silentRun, -1},
        {"Silent Run -1 gives 0 (only the sign is seen)", "[preferences]\nSilent Run=-1\n", silentRun, 0},
        {"Silent Run 25 sees the 2", "[preferences]\nSilent Run=25\n", silentRun, -2},
        {"Display Mode 1", "[preferences]\nDisplay Mode=1\n", [](const Preferences& p) { return p.displayMode; }, -1},
        {"Force System Info 2 is on", "[preferences]\nForce System Info=2\n",
         [](const Preferences& p) { return p.forceSystemInfo; }, -1},
        {"Write To Disk 1 followed by a letter", "[log file]\nWrite To Disk=1x\n", writeToDisk, -1},
        {"Write To Disk -1 is off", "[log file]\nWrite To Disk=-1\n", writeToDisk, 0},
        {"Capture To Disk yes is off", "[log file]\nCapture To Disk=yes\n",
         [](const Preferences& p) { return p.captureToDisk; }, 0},
        {"Resources 0", "[include]\nResources=0\n", [](const Preferences& p) { return p.includeResources; }, 0},
        {"Arguments yes", "[include]\nArguments=yes\n", [](const Preferences& p) { return p.includeArguments; }, 0},
        {"RecordSize 64", "[preferences]\nCircularLog=1\n[CicularLog]\nRecordSize=64\n", recordSize, 64},
        {"RecordSize not a number stays 0", "[preferences]\nCircularLog=1\n[CicularLog]\nRecordSize=big\n",
         recordSize, 0},
        {"RecordSize beyond 16 bits stays 0", "[preferences]\nCircularLog=1\n[CicularLog]\nRecordSize=40000\n",
         recordSize, 0},
        {"RecordSize not read with the log off", "[CicularLog]\nRecordSize=64\n", recordSize, 0},
        {"MaxRecords 16383 doubles", "[preferences]\nCircularLog=1\n[CicularLog]\nMaxRecords=16383\n", recordLimit,
         32766},
        {"MaxRecords 16384 overflows and stays 0",
         "[preferences]\nCircularLog=1\n[CicularLog]\nMaxRecords=16384\n", recordLimit, 0},
    };
    for (const NumberCase& c : cases) {
        freshRuntime();
        start(c.preferences);
        EXPECT_EQ(c.field(prefs()), c.expected) << c.what;
    }
}

struct PathCase {
    const char* what;
    std::string preferences;
    std::string errorLogPath;
};

TEST_F(StartupTest, ErrorLogPathIsTheLogFileOrErrorLogInTheApplicationFolder) {
    const PathCase cases[] = {
        {"no Log File", "[log file]\nWrite To Disk=1\n", app / "error.log"},
        {"empty Log File", "[log file]\nWrite To Disk=1\nLog File=\n", app / "error.log"},
        {"bare name", "[log file]\nWrite To Disk=1\nLog File=trace.log\n", app / "trace.log"},
        {"full path", "[log file]\nWrite To Disk=1\nLog File=/var/tmp/logs/x.log\n", "/var/tmp/logs/x.log"},
        {"not read without Write To Disk", "[log file]\nLog File=trace.log\n", ""},
    };
    for (const PathCase& c : cases) {
        freshRuntime();
        start(c.preferences.c_str());
        EXPECT_EQ(prefs().errorLogPath, c.errorLogPath) << c.what;
    }
}

TEST_F(StartupTest, PreferencesFileNameMatchesWithoutRegardToCase) {
    app.write("wlclient.ini", "[email]\nAddress= ops@example.org \n[preferences]\nCircularLog=1\n[CicularLog]\n"
                              "FileName=trace.circ\n");
    start();
    EXPECT_EQ(prefs().mailAddress, "ops@example.org");
    EXPECT_EQ(prefs().circFileName, app / "trace.circ");
}

TEST_F(StartupTest, DevelopmentEnvironmentIsOneOfThreeDebuggers) {
    const std::pair<const char*, int16_t> cases[] = {{"gdb", -1},      {"lldb", -1},   {"lldb-server", -1},
                                                     {"gdbserver", 0}, {"strace", 0},  {"GDB", 0},
                                                     {"", 0}};
    for (const auto& [tracer, flag] : cases) {
        freshRuntime();
        testRuntime->platform().tracerName = tracer;
        start();
        EXPECT_EQ(runtime().inDevEnvironment, flag) << tracer;
    }
}

TEST_F(StartupTest, BannerGoesToTheSinksThatAreOn) {
    start("[log file]\nWrite To Disk=1\nCapture To Disk=1\n");
    const std::string log = readFile(app / "error.log");
    EXPECT_THAT(log, MatchesRegex(R"(\[Morrowset\] [0-9]{2}-[0-9]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} - start )"
                                  R"(Wardline client v5\.00\.04 \(for Visual Basic 5\.0\) data capture)"
                                  "\r\n\r\n"));
    EXPECT_EQ(wardline::traceStack().lineCounter, 0) << "the banner has no sequence number";
    struct stat info {};
    ASSERT_EQ(::stat((app / "error.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a new log is the user's alone";
}

TEST_F(StartupTest, AFailingFirstHalfStepIsSkipped) {
    // The circular log's folder does not exist: the log is off, start-up goes on silently.
    testRuntime->platform().tracerName = "gdb";
    start("[preferences]\nCircularLog=1\n[CicularLog]\nFileName=missing/circ.log\n[include]\nUser=1\n");
    EXPECT_FALSE(prefs().circularLogOn);
    EXPECT_EQ(prefs().includeUser, -1);
    EXPECT_EQ(runtime().exePrefix, "[Morrowset] ");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(StartupTest, AFailingSecondHalfStepEndsStartUpThroughTheInternalErrorHandler) {
    ui.onLoadErrorDialog = [] { platform::raiseError(91); };  // the form's load procedure fails
    start("[preferences]\nSilent Run=1\n");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "wlSTART() generated error 91, '" + platform::standardErrorText(91) +
                                    "', inside WARDLINE.BAS\r\n");
    EXPECT_EQ(ui.boxes[0].style, wardline::kCritical);
    EXPECT_EQ(ui.boxes[0].title, "Wardline - Internal Error Handler");

    const auto& state = runtime();
    EXPECT_TRUE(state.runtimeStarted);
    EXPECT_EQ(state.prefs.silentRun, -1) << "the steps before the failure ran";
    EXPECT_EQ(state.exePrefix, "") << "the steps after it did not";
    EXPECT_EQ(state.localSourceName, "Morrowset") << "the last step runs again with failures ignored";

    wardline::wlPUSH("frmMain.frm", "Sub Form_Load", "");
    EXPECT_EQ(ui.boxes.size(), 1u) << "no second attempt";
    EXPECT_EQ(wardline::traceStack().traceDepth, 1);
}

}  // namespace
