// A program that dies three procedures deep leaves its story: the error line as the last
// record of the circular log (and in disk capture), one complete report in the error log,
// and it still dies of the signal it died of.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "support/private_journal.h"
#include "support/temp_folder.h"

namespace {

using testsupport::readFile;
using testsupport::TempFolder;

constexpr const char* kCircularLogOnly = "[preferences]\r\nCircularLog=1\r\n";
constexpr const char* kWithErrorLog = "[preferences]\r\nCircularLog=1\r\n[log file]\r\nWrite To Disk=1\r\n";
constexpr const char* kWithCapture =
    "[preferences]\r\nCircularLog=1\r\n[log file]\r\nWrite To Disk=1\r\nCapture To Disk=1\r\n";

struct Death {
    const char* how;
    const char* preferences;
    const char* logName;  // where the report goes: "error.log" with Write To Disk, else "wlerror.log"
    int signal;
    const char* description;
    const char* trap;
};

const Death kDeaths[] = {
    {"null-dereference", kWithErrorLog, "error.log", SIGSEGV, "Fatal signal SIGSEGV (segmentation fault)",
     "Fatal signal SIGSEGV"},
    {"abort", kCircularLogOnly, "wlerror.log", SIGABRT, "Fatal signal SIGABRT (aborted)", "Fatal signal SIGABRT"},
    {"uncaught-exception", kWithCapture, "error.log", SIGABRT, "Uncaught exception (the disk is on fire)",
     "Uncaught exception"},
    {"divide-by-zero", kWithErrorLog, "error.log", SIGFPE, "Fatal signal SIGFPE (floating-point exception)",
     "Fatal signal SIGFPE"},
    {"stack-overflow", kWithErrorLog, "error.log", SIGSEGV, "Fatal signal SIGSEGV (segmentation fault)",
     "Fatal signal SIGSEGV"},
};

void PrintTo(const Death& death, std::ostream* out) { *out << death.how; }

// Runs the child in `folder` and returns its wait status. No core file is left behind.
int runChild(const std::string& folder, const char* how) {
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);  // the sanitizers' and the C library's own last words
        ::execl(CRASH_CHILD_EXE, CRASH_CHILD_EXE, how, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

std::string masked(const std::string& text) {
    static const std::regex dateTime(R"(\d\d-\d\d-\d{4} \d\d:\d\d:\d\d)");
    return std::regex_replace(text, dateTime, "DATE TIME");
}

std::string expectedReport(const std::string& folder, const Death& death) {
    const std::string indent(14, ' ');
    return "DATE TIME - start Wardline client v5.00.04 (for Visual Basic 5.0) data capture\r\n" +
           std::string(65, '*') + "\r\n" + folder + "/Morrowset ver 1.0.0\r\n" +
           "Error Information\r\n"
           "Error 0\r\n" +
           indent + "Category      General run-time error\r\n" +  //
           indent + "Source        Morrowset (local)\r\n" +        //
           indent + "Module        modCrash.bas\r\n" +             //
           indent + "Procedure     Sub Third\r\n" +                //
           indent + "Line Number   20\r\n" +                       //
           indent + "Error No.     51\r\n" +                       //
           indent + "Description   " + death.description + "\r\n" +
           "\r\n"
           "\r\n"
           "Call Tree & Arguments\r\n" +
           indent + "1 : Call\tfrmMain.frm : Sub Form_Load :\r\n" +  //
           indent + "2 : Call\t\tmodCrash.bas : Sub Second :\r\n" +  //
           indent + "3 : Call\t\t\tmodCrash.bas : Sub Third :\r\n" +
           indent + "4 : Trap\t\t\t\t" + death.trap + " on line 20\r\n" +
           "\r\n"
           "System State Information\r\n"
           "\r\n"
           "User Said\r\n" +
           indent + "\r\n" + "DATE TIME - stop Wardline client v5.00.04 (for Visual Basic 5.0) data capture\r\n";
}

// The records of a circular log with the default record size, in slot order, without
// their zero padding; empty slots are left out.
std::vector<std::string> circularRecords(const std::string& path) {
    const std::string bytes = readFile(path);
    constexpr std::size_t kHeader = 512, kRecord = 1024;
    std::vector<std::string> records;
    for (std::size_t at = kHeader; at + kRecord <= bytes.size(); at += kRecord) {
        std::string record = bytes.substr(at, kRecord);
        record.erase(record.find_last_not_of('\0') + 1);
        if (!record.empty()) records.push_back(record);
    }
    return records;
}

class CrashTest : public ::testing::TestWithParam<Death> {};

TEST_P(CrashTest, TheDyingProgramLeavesItsStoryAndDiesOfItsSignal) {
    const Death& death = GetParam();
    TempFolder folder;
    folder.write("WLCLIENT.INI", death.preferences);

    const int status = runChild(folder.path(), death.how);

    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    EXPECT_EQ(WTERMSIG(status), death.signal) << strsignal(WTERMSIG(status));

    const std::string errorLine =
        std::string("[Morrowset] ERROR 51 at modCrash.bas : Sub Third : Line 20 : ") + death.description + "\r\n";
    const std::vector<std::string> records = circularRecords(folder / "circ0001.log");
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records.back(), errorLine);
    EXPECT_NE(records[records.size() - 2].find("->\t\tmodCrash.bas : Sub Third"), std::string::npos)
        << records[records.size() - 2];

    std::string log = readFile(folder / death.logName);
    if (std::strstr(death.preferences, "Capture To Disk")) {
        // Disk capture wrote the trace lines and the error line before the report.
        const std::size_t lineAt = log.find(errorLine + "\r\n");
        ASSERT_NE(lineAt, std::string::npos) << log;
        log = log.substr(lineAt + errorLine.size() + 2);
    }
    EXPECT_EQ(masked(log), expectedReport(folder.path(), death));
}

INSTANTIATE_TEST_SUITE_P(Deaths, CrashTest, ::testing::ValuesIn(kDeaths),
                         [](const ::testing::TestParamInfo<Death>& info) {
                             std::string name = info.param.how;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// The journal hears of the death too, from the handler, at priority 2.
TEST(CrashJournal, AFatalSignalLeavesACriticalJournalEntry) {
    TempFolder folder;
    folder.write("WLCLIENT.INI", kCircularLogOnly);
    int status = 0;
    const auto entries = testsupport::withPrivateJournal([&] { status = runChild(folder.path(), "null-dereference"); });
    if (!entries) GTEST_SKIP() << "no private mount namespace here (needs CAP_SYS_ADMIN)";
    ASSERT_EQ(entries->size(), 1u);
    const testsupport::JournalEntry& entry = entries->front();
    EXPECT_EQ(entry.at("SYSLOG_IDENTIFIER"), "morrowset");
    EXPECT_EQ(entry.at("PRIORITY"), "2");
    EXPECT_EQ(entry.at("MESSAGE_ID"), "de1427104933441ca0ec1243f6f39b30");
    EXPECT_EQ(entry.at("MESSAGE"),
              "ERROR 51 at modCrash.bas : Sub Third : Line 20 : Fatal signal SIGSEGV (segmentation fault)");
    EXPECT_EQ(entry.at("WARDLINE_PROCEDURE"), "Sub Third");
    EXPECT_EQ(entry.at("WARDLINE_LINE"), "20");
    EXPECT_EQ(entry.at("MORROWSET_SIGNAL"), "SIGSEGV");
}

}  // namespace
