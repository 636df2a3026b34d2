// A program that ends while error dialogs wait for their answers still leaves their reports:
// the open dialog's and the one queued behind it, in the order the errors happened, each
// without a comment or system state (what was typed was never sent), then ends as it was
// told to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace {

using testsupport::readFile;
using testsupport::TempFolder;

constexpr const char* kPreferences =
    "[preferences]\r\nForce System Info=1\r\nDisplay Mode=1\r\n[log file]\r\nWrite To Disk=1\r\n";

struct Ending {
    const char* how;
    bool bySignal;
    int statusOrSignal;
    int reports;  // the two unanswered ones, and the crash report after a fault
};

const Ending kEndings[] = {
    {"quit", false, 0, 2},
    {"term", true, SIGTERM, 2},
    {"fault", true, SIGSEGV, 3},
};

void PrintTo(const Ending& ending, std::ostream* out) { *out << ending.how; }

pid_t startChild(const std::string& folder, const char* how) {
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);  // unless a display is asked for
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::execl(UNANSWERED_CHILD_EXE, UNANSWERED_CHILD_EXE, how, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return child;
}

// Waits (a minute at most) for the child to say its dialog is open.
bool awaitDialogOpen(const std::filesystem::path& marker, pid_t child) {
    for (int i = 0; i < 6000; ++i) {
        if (std::filesystem::exists(marker)) return true;
        if (::waitpid(child, nullptr, WNOHANG) == child) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

using testsupport::reportsIn;

class UnansweredTest : public ::testing::TestWithParam<Ending> {};

TEST_P(UnansweredTest, TheReportsOfDialogsNeverAnsweredAreWrittenAsTheProgramEnds) {
    const Ending& ending = GetParam();
    TempFolder folder;
    folder.write("WLCLIENT.INI", kPreferences);

    const pid_t child = startChild(folder.path(), ending.how);
    if (std::string(ending.how) == "term") {
        ASSERT_TRUE(awaitDialogOpen(folder / "dialog-open", child));
        ::kill(child, SIGTERM);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    if (ending.bySignal) {
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        EXPECT_EQ(WTERMSIG(status), ending.statusOrSignal) << strsignal(WTERMSIG(status));
    } else {
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), ending.statusOrSignal);
    }
    const std::string log = readFile(folder / "error.log");
    EXPECT_EQ(log.find("typed but never sent"), std::string::npos) << "nothing was answered";
    const std::vector<std::string> reports = reportsIn(log);
    ASSERT_EQ(reports.size(), static_cast<std::size_t>(ending.reports)) << log;
    const char* const numbers[] = {"Error No.     53\r\n", "Error No.     6\r\n", "Error No.     51\r\n"};
    for (int i = 0; i < ending.reports; ++i) {
        const std::string& report = reports[static_cast<std::size_t>(i)];
        EXPECT_NE(report.find(numbers[i]), std::string::npos) << "report " << i << " in the order raised\n" << report;
        EXPECT_NE(report.find("System State Information\r\n\r\nUser Said\r\n              \r\n"), std::string::npos)
            << report;
        EXPECT_NE(report.find(" - stop Wardline"), std::string::npos) << "whole";
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, UnansweredTest, ::testing::ValuesIn(kEndings),
                         [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.how); });

}  // namespace
