// Logs named in folders other users can write, and logs that are streams rather than files.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include "errortrap/trace/disk_capture.h"
#include "errortrap/trace/procedure.h"
#include "errortrap/trace/trace_sinks.h"
#include "errortrap/wardline.h"
#include "platform/runtime_error.h"
#include "support/error_report_support.h"

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

}  // namespace
}  // namespace wardline::testing
