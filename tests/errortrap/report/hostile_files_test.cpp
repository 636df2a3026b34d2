// Logs named in folders other users can write, and logs that are streams rather than files.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "errortrap/trace/disk_capture.h"
#include "errortrap/trace/procedure.h"
#include "errortrap/trace/trace_sinks.h"
#include "errortrap/wardline.h"
#include "platform/runtime_error.h"
#include "support/error_report_support.h"
#include "support/second_user.h"

namespace wardline::testing {
namespace {

using ::testing::HasSubstr;

class HostileLogTest : public ErrorReportTest {
protected:
    void SetUp() override {
        ErrorReportTest::SetUp();
        prefs().silentRun = -1;
        prefs().writeToDisk = -1;
    }
    void raiseOne() {
        Procedure("frmMain.frm", "Sub Form_Load").run({{10, [] { platform::raiseError(53); }}});
    }
};

// Another user's link named "wlerror.log" in the current folder must not carry the report
// into one of the victim's files.
TEST_F(HostileLogTest, PlantedLinkAsFallbackLogIsNotFollowed) {
    const fs::path victimsFile = scratch / "dot-profile";
    writeFile(victimsFile, "export PATH=/usr/bin\n");
    fs::create_symlink(victimsFile, scratch / "wlerror.log");
    prefs().errorLogPath.clear();
    raiseOne();
    EXPECT_EQ(readFile(victimsFile), "export PATH=/usr/bin\n");
    EXPECT_TRUE(fs::is_symlink(scratch / "wlerror.log"));
}

// A FIFO nobody reads, as the error log with disk capture on: the lines and the report are
// lost, and nothing waits for a reader.
TEST_F(HostileLogTest, FifoWithoutReaderLosesTheLinesWithoutWaiting) {
    const fs::path fifo = scratch / "collector";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    prefs().errorLogPath = fifo.string();
    sinksOf(*testRuntime).disk().write("a trace line");
    raiseOne();
    SUCCEED();  // reaching here is the test: before, open() waited for a reader for good
}

TEST_F(HostileLogTest, FifoWithReaderGetsTraceLinesAndTheReport) {
    const fs::path fifo = scratch / "collector";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    prefs().errorLogPath = fifo.string();
    sinksOf(*testRuntime).disk().write("a trace line");
    raiseOne();
    std::string received;
    char buffer[4096];
    for (ssize_t got; (got = ::read(reader, buffer, sizeof buffer)) > 0;) received.append(buffer, got);
    ::close(reader);
    EXPECT_THAT(received, HasSubstr("a trace line\r\n"));
    EXPECT_THAT(received, HasSubstr("Error 0"));
    EXPECT_THAT(received, HasSubstr("Sub Form_Load"));
}

// The reader going away must fail the write, not end the program with SIGPIPE.
TEST_F(HostileLogTest, ReaderLeavingDoesNotEndTheProgram) {
    const fs::path fifo = scratch / "collector";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    prefs().errorLogPath = fifo.string();
    sinksOf(*testRuntime).disk().write("first");
    ::close(reader);
    sinksOf(*testRuntime).disk().write("second");
    raiseOne();
    SUCCEED();
}

// Everything the FIFO holds now, without waiting.
std::string drain(const std::string& fifo) {
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    std::string received;
    char buffer[65536];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<std::size_t>(got));
    ::close(fd);
    return received;
}

// A FIFO named as the log, with a reader that never reads: another user's, since mkfifo's
// default mode lets anybody open it for reading. Nothing waits for it: the lines and the
// report it has no room for are lost whole, counted, and said once before the next line
// it takes.
TEST_F(HostileLogTest, AReaderThatStopsReadingHoldsNothing) {
    const auto other = testsupport::secondUser();
    if (!other) GTEST_SKIP() << testsupport::secondUserMissing();
    ::chmod(scratch.path().c_str(), 0755);
    const std::string fifo = scratch / "collector";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t reader = ::fork();
    if (reader == 0) {
        if (!testsupport::becomeUser(*other) || ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK) < 0) ::_exit(3);
        (void)!::write(ready[1], "r", 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char sign = 0;
    const bool opened = ::read(ready[0], &sign, 1) == 1;
    ::close(ready[0]);
    if (!opened) {
        int status = 0;
        ::waitpid(reader, &status, 0);
        FAIL() << "the other user's reader did not open the FIFO: status " << status;
    }

    prefs().errorLogPath = fifo;
    constexpr std::size_t kLines = 2000;  // about 250 KB: far more than a pipe holds
    const auto line = [](std::size_t n) { return std::string(110, '.') + " line " + std::to_string(n); };
    for (std::size_t n = 0; n < kLines; ++n) sinksOf(*testRuntime).disk().write(line(n));
    raiseOne();
    const std::string taken = drain(fifo);
    const std::size_t takenLines = countOf(taken, " line ");
    EXPECT_GT(takenLines, 0u);
    EXPECT_LT(takenLines, kLines);
    std::string firstLines;
    for (std::size_t n = 0; n < takenLines; ++n) firstLines += line(n) + "\r\n";
    EXPECT_EQ(taken, firstLines) << "whole lines, the first ones, and no part of the report";

    sinksOf(*testRuntime).disk().write("after the reader caught up");
    EXPECT_EQ(drain(fifo), "(" + std::to_string(kLines - takenLines) +
                               " lines lost here: the reader of this log did not take them in time)\r\n"
                               "after the reader caught up\r\n");
    sinksOf(*testRuntime).disk().write("and the next");
    EXPECT_EQ(drain(fifo), "and the next\r\n") << "said once";
    raiseOne();
    EXPECT_THAT(drain(fifo), ::testing::StartsWith("(1 reports lost here: "));

    ::kill(reader, SIGKILL);
    ::waitpid(reader, nullptr, 0);
}

}  // namespace
}  // namespace wardline::testing
