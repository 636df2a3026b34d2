// The error log, byte for byte against fixtures, and what it does when the disk refuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "errortrap/core/trace_stack.h"
#include "errortrap/core/unanswered_reports.h"
#include "errortrap/report/error_handler.h"
#include "errortrap/report/error_log.h"
#include "errortrap/trace/procedure.h"
#include "errortrap/wardline.h"
#include "platform/runtime_error.h"
#include "support/error_report_support.h"

namespace wardline::testing {
namespace {

using ::testing::HasSubstr;

const fs::path kFixtures = fs::path(MORROWSET_TEST_DATA_DIR) / "error_log";

[[noreturn]] void raiseFrom(const std::string& source, int32_t number) {
    platform::ErrorInfo info;
    info.number = number;
    info.source = source;
    platform::raiseError(info);
}

// The timetable's clock tick calling the row's start button, which fails in statement
// `failingLine` of its own (0: a statement without a line number).
void tickStartingRow(int failingLine, const std::function<void()>& fault) {
    Procedure("frmMain.frm", "Sub tmrMain_Timer").run({
        {10, [&] {
             Procedure("frmMain.frm", "Sub cmdGo_Click").run({
                 {failingLine, [&] { fault(); }},
                 {failingLine + 10, [] {}},
             });
         }},
    });
}

class ErrorLogTest : public ErrorReportTest {
protected:
    void SetUp() override {
        ErrorReportTest::SetUp();
        prefs().silentRun = -1;
        prefs().writeToDisk = -1;
        prefs().errorLogPath = logPath.string();
    }

    void expectLogMatches(const std::string& fixture) {
        EXPECT_EQ(readFile(logPath), readFile(kFixtures / fixture)) << "fixture " << fixture;
    }

    const fs::path logPath = scratch / "error.log";
};

TEST_F(ErrorLogTest, ErrorTrappedWhereItWasRaised) {
    tickStartingRow(30, [] { platform::raiseError(53); });
    expectLogMatches("trapped_with_line.log");
}

TEST_F(ErrorLogTest, ErrorWithoutALineNumber) {
    tickStartingRow(0, [] { platform::raiseError(53); });
    expectLogMatches("without_line.log");
}

TEST_F(ErrorLogTest, ErrorRaisedInAnUntrappedCallee) {
    Procedure("frmMain.frm", "Sub tmrMain_Timer").run({
        {20, [] {
             Procedure("modLaunch.bas", "Sub StartRow").runUntrapped({{50, [] { platform::raiseError(53); }}});
         }},
    });
    expectLogMatches("untrapped_callee.log");
}

TEST_F(ErrorLogTest, StackOfOneEntry) {
    Procedure("frmMain.frm", "Sub Form_Load").run({{10, [] { platform::raiseError(75); }}});
    expectLogMatches("one_entry.log");
}

TEST_F(ErrorLogTest, ForwardedRemoteChain) {
    tickStartingRow(30, [] { raiseFrom("2srvA!modA!procA!12!91!srvB!modB!procB!0!5", 440); });
    expectLogMatches("remote_chain.log");
}

// The first error is shown (the dialog leaves a comment and the system state), the second
// comes in a silent run and repeats what the last dialog left.
TEST_F(ErrorLogTest, TwoErrorsInARow) {
    prefs().silentRun = 0;
    ui.whileShown = [] {
        errorRecord().userComment = "Pressed NOW on row 2\r\nthen this came up";
        errorRecord().systemStateText = "Memory Load 42%";
    };
    tickStartingRow(30, [] { platform::raiseError(53); });
    prefs().silentRun = -1;
    Procedure("frmMain.frm", "Sub Form_Load").run({{10, [] { platform::raiseError(75); }}});
    expectLogMatches("two_in_a_row.log");
}

// A clock tick's error whose dialog is never answered: however the program ends (a signal
// writes the kept reports; the end of main ends the runtime), the report is the one an
// empty answer would have given.
TEST_F(ErrorLogTest, AReportLeftUnansweredAtTheEndHasTheSameLayout) {
    const std::pair<const char*, std::function<void()>> ends[] = {
        {"signal", [] { writeUnansweredReports(); }},
        {"runtime ends", [this] { freshRuntime(); }},
    };
    for (const auto& [end, endProgram] : ends) {
        SCOPED_TRACE(end);
        fs::remove(logPath);
        prefs().silentRun = 0;
        {
            const ClockTick tick(currentRuntime());
            tickStartingRow(30, [] { platform::raiseError(53); });
        }
        ASSERT_TRUE(dialogsWaiting(currentRuntime()));
        endProgram();
        expectLogMatches("trapped_with_line.log");
    }
}

TEST_F(ErrorLogTest, NewLogIsTheUsersOnlyAndAnExistingOneKeepsItsMode) {
    Procedure("frmMain.frm", "Sub Form_Load").run({{10, [] { platform::raiseError(75); }}});
    struct stat made{};
    ASSERT_EQ(::stat(logPath.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0600u);

    const fs::path shared = scratch / "shared.log";
    writeFile(shared, "earlier\r\n");
    ::chmod(shared.c_str(), 0644);
    prefs().errorLogPath = shared.string();
    Procedure("frmMain.frm", "Sub Form_Load").run({{10, [] { platform::raiseError(75); }}});
    struct stat kept{};
    ASSERT_EQ(::stat(shared.c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 0777, 0644u);
    EXPECT_EQ(readFile(shared).rfind("earlier\r\n", 0), 0u) << "appended, never truncated";
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// Resident memory of this process in bytes.
long residentBytes() {
    long pages = 0;
    long resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

TEST_F(ErrorLogTest, AStormOfErrorsWritesEveryReportInFlatMemory) {
    // Memory-backed when available: the reports are synced to the disk one by one.
    const fs::path folder = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::path(scratch.path());
    const fs::path stormLog = folder / ("wardline-storm-" + std::to_string(::getpid()) + ".log");
    prefs().errorLogPath = stormLog.string();
    auto failOnce = [] { Procedure("frmMain.frm", "Sub Form_Load").run({{10, [] { platform::raiseError(75); }}}); };

    constexpr int kErrors = 10'000;
    long afterWarmUp = 0;
    for (int n = 1; n <= kErrors; ++n) {
        failOnce();
        if (n == 1'000) afterWarmUp = residentBytes();
    }
    const long growth = residentBytes() - afterWarmUp;
    const std::string log = readFile(stormLog);
    fs::remove(stormLog);

    ASSERT_FALSE(log.empty());
    const std::string report = errorReportText(errorRecord());
    EXPECT_EQ(log.size(), report.size() * kErrors);
    EXPECT_EQ(countOf(log, " - start Wardline client v"), static_cast<std::size_t>(kErrors));
    EXPECT_EQ(countOf(log, " - stop Wardline client v"), static_cast<std::size_t>(kErrors));
    if (!kAddressSanitizer) {  // its quarantine holds on to freed memory on purpose
        EXPECT_LT(growth, 2L * 1024 * 1024) << "memory grew by " << growth << " bytes over 9,000 errors";
    }
}

// Runs `scenario` with the effective user switched to nobody, so that folder permissions
// hold even for the super-user; as anybody else it just runs it.
void asUnprivilegedUser(const std::function<void()>& scenario) {
    if (::geteuid() != 0) return scenario();
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(::setegid(kNobody), 0);
    ASSERT_EQ(::seteuid(kNobody), 0);
    scenario();
    ASSERT_EQ(::seteuid(0), 0);
    ASSERT_EQ(::setegid(0), 0);
}

// An unwritable folder and a full disk lose the reports and nothing else: the procedures
// are left as usual, the trace stack stays balanced and later statements still run.
TEST_F(ErrorLogTest, UnwritableFolderOrFullDiskLosesOnlyTheReports) {
    const fs::path locked = scratch / "locked";
    fs::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    ::chmod(scratch.path().c_str(), 0755);
    for (const std::string& path : {(locked / "error.log").string(), std::string("/dev/full")}) {
        prefs().errorLogPath = path;
        int afterwards = 0;
        asUnprivilegedUser([&] {
            for (int n = 0; n < 3; ++n) {
                Procedure("frmMain.frm", "Sub tmrMain_Timer").run({
                    {10, [] { Procedure("frmMain.frm", "Sub Form_Load").run({{10, [] { platform::raiseError(75); }}}); }},
                    {20, [&] { ++afterwards; }},
                });
            }
        });
        EXPECT_EQ(afterwards, 3) << path;
        EXPECT_EQ(traceStack().traceDepth, 0) << path;
        EXPECT_EQ(errorRecord().levels[0].number, 75) << path;
    }
    EXPECT_TRUE(fs::is_empty(locked));
}

// A report is written whole or not at all: one that the disk cannot hold is taken back,
// and the next one, once there is room again, starts on its own line. So does a report
// after a log that an earlier crash left cut mid-line.
TEST_F(ErrorLogTest, AReportTheDiskCannotHoldIsTakenBackAndEveryReportStartsOnItsOwnLine) {
    auto failOnce = [] { Procedure("frmMain.frm", "Sub Form_Load").run({{10, [] { platform::raiseError(75); }}}); };
    constexpr rlim_t kRoom = 300;
    failOnce();
    const std::string report = errorReportText(errorRecord());  // every error here is alike

    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = report.size() + kRoom;  // room for half the second report
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    failOnce();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(readFile(logPath), report) << "the cut report was taken back";

    failOnce();
    EXPECT_EQ(readFile(logPath), report + report);

    writeFile(logPath, report + report.substr(0, kRoom));  // cut mid-line by a crash
    failOnce();
    EXPECT_EQ(readFile(logPath), report + report.substr(0, kRoom) + "\r\n" + report);
}

}  // namespace
}  // namespace wardline::testing
