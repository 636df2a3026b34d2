// The whole program as a user meets it: a timetable and preferences in its folder, the
// program started, and only files and started processes looked at.
#include <gmock/gmock.h>

#include <signal.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <fstream>
#include <iterator>
#include <sstream>
#include <tuple>
#include <vector>

#include "circular_log_reader.h"
#include "support/program_under_test.h"
#include "support/run_program.h"
#include "support/second_user.h"
#include "support/temp_folder.h"
#include "support/x_server.h"

namespace {

using namespace std::chrono;
using ::testing::HasSubstr;
using e2e::ProgramUnderTest;

std::string settingsFile(const std::vector<std::array<std::string, 3>>& rows) {
    std::string text;
    for (std::size_t i = 0; i < 6; ++i) {
        const auto row = i < rows.size() ? rows[i] : std::array<std::string, 3>{" 0 ", "", "##:##"};
        for (const std::string& line : row) text += line + "\r\n";
    }
    return text;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result.push_back(line);
    }
    return result;
}

int countOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// One run covers the clock: a row due at the next minute runs a script once, a row naming
// a missing program leaves an error report, and the trace goes to the error log and the
// circular log. Three more rows at the same minute end with exit status 3, end by SIGKILL,
// and run on after the program has ended.
class ScheduledRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        program_ = new ProgramUnderTest();
        const auto folder = program_->folder().string();
        program_->writeFile("mark.sh", "#!/bin/sh\ndate +%s.%N >> '" + folder + "/marks'\n", 0700);
        program_->writeFile("WLCLIENT.INI",
                            "[preferences]\r\nCircularLog=1\r\nSilent Run=1\r\n"
                            "[log file]\r\nWrite To Disk=1\r\nCapture To Disk=1\r\n");
        due_ = e2e::waitUntilBeforeNextMinute(3);
        const std::string at = e2e::clockText(due_);
        program_->writeFile("Morrowset.ini",
                            settingsFile({{" 1 ", folder + "/mark.sh", at},
                                          {" 1 ", "no-such-program-for-morrowset", at},
                                          {" 1 ", "sh -c 'echo the disk is full; exit 3'", at},
                                          {" 1 ", "sh -c 'echo $$ > \"$0\"; exec sleep 600' " + folder + "/sleeper", at},
                                          {" 1 ", "sh -c 'kill -KILL $$'", at}}));
        program_->start();
        std::this_thread::sleep_until(due_ + seconds(4));
        ASSERT_TRUE(program_->running()) << "the program ended on its own";
    }
    static void TearDownTestSuite() {
        delete program_;
        program_ = nullptr;
    }

    static ProgramUnderTest* program_;
    static system_clock::time_point due_;
};

ProgramUnderTest* ScheduledRun::program_ = nullptr;
system_clock::time_point ScheduledRun::due_;

TEST_F(ScheduledRun, DueRowRunsItsScriptOnceAtItsSecond) {
    const auto marks = lines(program_->readFile("marks"));
    ASSERT_EQ(marks.size(), 1u) << program_->readFile("marks");
    const double startedAt = std::stod(marks[0]);
    const double dueAt = duration<double>(due_.time_since_epoch()).count();
    EXPECT_GE(startedAt, dueAt);
    EXPECT_LT(startedAt, dueAt + 0.5);
}

TEST_F(ScheduledRun, TraceLinesOfLoadTicksAndLaunchReachTheErrorLog) {
    const std::string log = program_->readFile("error.log");
    EXPECT_THAT(log, HasSubstr("[Morrowset] [00001] ["));
    EXPECT_THAT(log, HasSubstr("] ->frmMain.frm : Sub Form_Load : "));
    EXPECT_THAT(log, HasSubstr("] <-frmMain.frm : Sub Form_Load : "));
    EXPECT_THAT(log, HasSubstr("] ->frmMain.frm : Sub tmrMain_Timer : "));
    EXPECT_THAT(log, HasSubstr("] ->\tfrmMain.frm : Sub cmdGo_Click : "));  // nested one level
    EXPECT_THAT(log, HasSubstr(" - start Wardline client v"));
    // Disk capture adds a line end to lines that already have one.
    EXPECT_THAT(log, HasSubstr(" : \r\n\r\n[Morrowset] ["));
}

TEST_F(ScheduledRun, MissingProgramLeavesOneCompleteReportAndTheClockGoesOn) {
    const std::string log = program_->readFile("error.log");
    EXPECT_EQ(countOf(log, "Error Information"), 1);
    EXPECT_THAT(log, HasSubstr("Error No.     53"));
    EXPECT_THAT(log, HasSubstr("Procedure     Sub cmdGo_Click"));
    EXPECT_THAT(log, HasSubstr("Line Number   30"));
    EXPECT_THAT(log, HasSubstr(" : Call\t"));
    EXPECT_THAT(log, HasSubstr(" : Trap\t"));
    EXPECT_THAT(log, HasSubstr("Runtime error 53, File not found on line 30"));
    EXPECT_THAT(log, HasSubstr(" - stop Wardline client v"));
    const std::size_t report = log.find(" - stop Wardline client v");
    EXPECT_NE(log.find("Sub tmrMain_Timer", report), std::string::npos) << "no tick after the error";
}

TEST_F(ScheduledRun, CircularLogHasItsHeaderAndTheRunInSequenceOrder) {
    const std::string bytes = program_->readFile("circ0001.log");
    ASSERT_GT(bytes.size(), 512u);
    EXPECT_EQ(bytes.substr(0, 13), std::string(4, '\0') + "1024HM100");
    const auto log = circlog::readCircularLog(bytes);
    ASSERT_TRUE(log.ok) << log.error;
    int64_t previous = 0;
    int sequenced = 0;
    for (const auto& record : log.records) {
        if (!record.sequence) continue;
        EXPECT_GT(*record.sequence, previous);
        previous = *record.sequence;
        ++sequenced;
    }
    EXPECT_GT(sequenced, 10);
}

// What became of each start is in the history and the runs folder; once the program has
// ended, the program left running runs on and --status, with no display, tells each row.
TEST_F(ScheduledRun, EveryRunIsInTheHistoryAndStatusTellsItWithoutADisplay) {
    const auto history = [] { return program_->readFile("history.jsonl"); };
    ASSERT_TRUE(e2e::eventually([&] { return countOf(history(), "\"event\":\"end\"") == 3; }, 10s)) << history();
    EXPECT_THAT(history(), HasSubstr("\"row\":1,\"command\":\"" + program_->folder().string() + "/mark.sh\""));
    EXPECT_THAT(history(), HasSubstr("\"event\":\"refused\""));
    EXPECT_THAT(history(), HasSubstr("\"pid\":null,\"error\":53}"));
    EXPECT_THAT(history(), HasSubstr("\"exit_status\":3,\"signal\":null,\"output\":\"row3-"));
    EXPECT_THAT(history(), HasSubstr("\"exit_status\":null,\"signal\":\"SIGKILL\""));
    int outputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(program_->file("runs")))
        if (entry.path().filename().string().starts_with("row3-")) {
            EXPECT_EQ(program_->readFile("runs/" + entry.path().filename().string()), "the disk is full\n");
            ++outputs;
        }
    EXPECT_EQ(outputs, 1);

    program_->stop();
    const int sleeper = std::atoi(program_->readFile("sleeper").c_str());
    ASSERT_GT(sleeper, 0);
    EXPECT_EQ(::kill(sleeper, 0), 0) << "left running";
    const std::string command = "cd '" + program_->folder().string() +
                                "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ./Morrowset --status";
    std::string status;
    if (FILE* out = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, out)) > 0;) status.append(buffer, got);
        EXPECT_EQ(::pclose(out), 0);
    }
    ::kill(sleeper, SIGKILL);
    const auto rows = lines(status);
    ASSERT_EQ(rows.size(), 7u) << status;
    EXPECT_TRUE(rows[0].starts_with("ROW  ENABLED  TIME   NEXT")) << rows[0];
    EXPECT_THAT(rows[1], HasSubstr("  exit status 0  "));
    EXPECT_THAT(rows[2], HasSubstr("  could not start: error 53 (File not found)  no-such-program-for-morrowset"));
    EXPECT_THAT(rows[3], HasSubstr("  exit status 3  "));
    EXPECT_THAT(rows[4], HasSubstr("  end not seen  "));
    EXPECT_THAT(rows[5], HasSubstr("  killed by SIGKILL  "));
    EXPECT_THAT(rows[6], HasSubstr("6    no       -      not scheduled"));
}

// A program in a folder its user cannot write, as after installing the package: it keeps its
// files in the user's own folder. Root may write anywhere, so under root the program runs as
// the ordinary user "nobody"; otherwise the program's folder is made read-only.
TEST(InstalledRun, FilesGoToTheUsersConfigFolder) {
    constexpr uid_t kNobody = 65534;
    const bool asRoot = ::geteuid() == 0;
    const uid_t user = asRoot ? kNobody : ::geteuid();
    ProgramUnderTest program;
    const auto home = program.folder() / "home";
    std::filesystem::create_directory(home);
    if (asRoot) ASSERT_EQ(::chown(home.c_str(), user, user), 0);
    ::chmod(program.folder().c_str(), asRoot ? 0755 : 0555);
    const auto userFolder = home / ".config" / "Morrowset";

    // First start: the folder is made, private to the user.
    program.startAsUser(user, home);
    ASSERT_TRUE(e2e::eventually([&] { return std::filesystem::exists(userFolder); }, 10s))
        << "no " << userFolder;
    program.stop();
    struct stat info {};
    ASSERT_EQ(::stat(userFolder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(info.st_uid, user);

    // With preferences there, a timetable that cannot be read (a folder in its place) is
    // reported to the error log there, and its header names that folder.
    std::filesystem::create_directory(userFolder / "Morrowset.ini");
    const auto preferences = userFolder / "WLCLIENT.INI";
    std::ofstream(preferences) << "[preferences]\r\nSilent Run=1\r\n[log file]\r\nWrite To Disk=1\r\n";
    if (asRoot) ASSERT_EQ(::chown(preferences.c_str(), user, user), 0);
    program.startAsUser(user, home);
    const auto log = userFolder / "error.log";
    const auto logText = [&] {
        std::ifstream in(log, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    ASSERT_TRUE(e2e::eventually([&] { return logText().find(" - stop Wardline client") != std::string::npos; }, 10s))
        << "no report in " << log;
    program.stop();
    EXPECT_THAT(logText(), HasSubstr("\r\n" + userFolder.string() + "/Morrowset ver "));
    EXPECT_THAT(logText(), HasSubstr("Error No.     75"));
    EXPECT_FALSE(std::filesystem::exists(program.file("error.log")));
    ::chmod(program.folder().c_str(), 0700);  // so that the folder can be removed
}

// ---- The running timetable from the command line ----

// The program's own command line, run to its end beside the running program.
toolstest::Ran commandLine(const ProgramUnderTest& program, const std::vector<std::string>& options) {
    std::vector<std::string> command{program.file("Morrowset").string()};
    command.insert(command.end(), options.begin(), options.end());
    return toolstest::runProgram(command);
}

// "hh:mm" a quarter of an hour ago: a row at that time does not start again today.
std::string aTimeThatPassed() { return e2e::clockText(system_clock::now() - minutes(15)); }

// A Morrowset running in a folder of its own, with its lock and socket in a runtime folder
// of the test's, asked from the command line as a script would ask it.
class CommandLineControl : public ::testing::Test {
protected:
    CommandLineControl() {
        std::filesystem::create_directory(runtimeFolder);
        std::filesystem::permissions(runtimeFolder, std::filesystem::perms::owner_all);
        program.writeFile("WLCLIENT.INI",
                          "[preferences]\r\nSilent Run=1\r\n[log file]\r\nWrite To Disk=1\r\nCapture To Disk=1\r\n");
        program.writeFile("Morrowset.ini", settingsFile({{" 1 ", "sleep 600", due},
                                                         {" 1 ", "no-such-program-for-morrowset", due},
                                                         {" 1 ", "", "##:##"},
                                                         {" 1 ", "true", "##:##"}}));
    }
    // The socket the program listens on, once it listens; "" before.
    std::filesystem::path socket() const {
        std::error_code none;
        for (const auto& entry : std::filesystem::directory_iterator(runtimeFolder / "wardline", none))
            if (entry.path().extension() == ".sock") return entry.path();
        return {};
    }
    // Starts the program and waits until it listens and its clock has ticked (and so grayed
    // the rows that cannot run).
    void startAndWaitForItsSocket(const std::string& display = {}) {
        if (display.empty())
            program.start();
        else
            program.startOnDisplay(display);
        ASSERT_TRUE(e2e::eventually([&] { return !socket().empty() && ticks() > 0; }, 20s))
            << program.readFile("stderr");
    }
    // The clock's ticks so far, from their trace lines.
    int ticks() const { return countOf(program.readFile("error.log"), "->frmMain.frm : Sub tmrMain_Timer"); }
    std::string history() const { return program.readFile("history.jsonl"); }

    // Taken once: a minute that turns during a test must not change what the rows say.
    const std::string due = aTimeThatPassed();
    ProgramUnderTest program;
    const std::filesystem::path runtimeFolder = program.folder() / "runtime";
    testsupport::ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtimeFolder};
};

// --run starts a row as NOW does, with "command" as its trigger; --status shows it running
// and for how long; --stop stops it. What cannot be done is refused with the reason.
TEST_F(CommandLineControl, RunStatusAndStopAskTheRunningMorrowset) {
    startAndWaitForItsSocket();
    auto ran = commandLine(program, {"--run", "1"});
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    EXPECT_EQ(ran.out + ran.err, "");
    EXPECT_THAT(history(), HasSubstr(R"("row":1,"command":"sleep 600","trigger":"command")"));

    ran = commandLine(program, {"--status"});
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    const auto rows = lines(ran.out);
    ASSERT_GE(rows.size(), 7u) << ran.out;
    EXPECT_THAT(rows[1], ::testing::MatchesRegex("1 +yes .* running [0-9.]+ m?s +sleep 600")) << ran.out;

    ran = commandLine(program, {"--stop", "1"});
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    EXPECT_TRUE(e2e::eventually([&] { return history().find(R"("signal":"SIGTERM")") != std::string::npos; }, 10s))
        << history();

    const std::string folder = program.folder().string();
    const std::tuple<std::vector<std::string>, std::string> refusals[] = {
        {{"--stop", "1"}, "Morrowset: nothing of row 1 is running\n"},
        {{"--run", "2"}, "Morrowset: row 2 could not start: error 53 (File not found)\n"},
        {{"--run", "3"}, "Morrowset: row 3 has no command line\n"},
        {{"--run", "4"}, "Morrowset: row 4 is grayed, not checked\n"},
        {{"--stop", "5"}, "Morrowset: nothing of row 5 is running\n"},
    };
    for (const auto& [options, reason] : refusals) {
        ran = commandLine(program, options);
        EXPECT_EQ(ran.exitCode, 1) << options[0] << " " << options[1];
        EXPECT_EQ(ran.err, reason);
        EXPECT_EQ(ran.out, "");
    }
    EXPECT_TRUE(program.running());
}

// With no Morrowset running for the folder there is nobody to start or stop a row: status 3;
// --status reads the files, as it always has.
TEST_F(CommandLineControl, WithNoneRunningRunAndStopEndWith3AndStatusReadsTheFiles) {
    for (const char* option : {"--run", "--stop"}) {
        const auto ran = commandLine(program, {option, "1"});
        EXPECT_EQ(ran.exitCode, 3) << option;
        EXPECT_EQ(ran.err, "Morrowset: no Morrowset is running for " + program.folder().string() + "\n");
    }
    const auto ran = commandLine(program, {"--status"});
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    EXPECT_THAT(ran.out, HasSubstr("\n1    yes      " + due));
    EXPECT_THAT(ran.out, ::testing::Not(HasSubstr("*")));
    EXPECT_EQ(history(), "") << "nothing was started";
}

// A peer that connects and says nothing holds nothing: the clock ticks on while it hangs on,
// a script's --status is answered meanwhile, and the silent peer is dropped.
TEST_F(CommandLineControl, ASilentPeerDoesNotHoldTheClock) {
    startAndWaitForItsSocket();
    const int silent = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket().c_str());
    ASSERT_EQ(::connect(silent, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const int before = ticks();

    const auto ran = commandLine(program, {"--status"});
    EXPECT_EQ(ran.exitCode, 0);
    EXPECT_EQ(ran.err, "") << "answered by the running program, not read from its files";
    EXPECT_TRUE(e2e::eventually([&] { return ticks() >= before + 3; }, 20s)) << "the clock stood still";
    const timeval patience{10, 0};
    ::setsockopt(silent, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    char byte = 0;
    EXPECT_EQ(::recv(silent, &byte, 1, 0), 0) << "the silent peer was not dropped";
    ::close(silent);
    EXPECT_TRUE(program.running());
}

// Driven through its window on an X server: the clock paused and a row's box unchecked are
// in what the running program tells --status, and the unchecked row is not started.
TEST_F(CommandLineControl, StatusShowsThePauseAndARowChangedSinceTheLastSave) {
    if (!testsupport::XServer::available()) GTEST_SKIP() << "needs Xvfb and xdotool (tools/deps.sh)";
    const testsupport::XServer x;
    ASSERT_NE(x.display(), "") << "Xvfb did not start";
    startAndWaitForItsSocket(x.display());
    const std::string window = "--name '^System Morrowset - By Ansgrove V1.0$'";
    ASSERT_TRUE(x.xdotool("search --sync --onlyvisible " + window + " windowfocus --sync"));
    toolstest::Ran ran;
    const auto statusSays = [&](const std::string& what) {
        return e2e::eventually(
            [&] {
                ran = commandLine(program, {"--status"});
                return ran.out.find(what) != std::string::npos;
            },
            10s);
    };
    const auto press = [&](const std::string& key, int times) {
        std::string keys = "key --delay 40";
        for (int i = 0; i < times; ++i) keys += " " + key;
        return x.xdotool(keys);
    };
    // The focus starts on the first row's box: Pause Program is 19 Tab presses on, the
    // second row's box 18 back from there. (Leaving a time box checks its row: so the box is
    // unchecked last.)
    ASSERT_TRUE(press("Tab", 19) && press("space", 1));
    ASSERT_TRUE(statusSays("The clock is paused")) << ran.out << ran.err;
    ASSERT_TRUE(press("shift+Tab", 18) && press("space", 1));
    ASSERT_TRUE(statusSays("\n2*   no ")) << ran.out << ran.err;

    const auto rows = lines(ran.out);
    ASSERT_EQ(rows.size(), 9u) << ran.out;
    EXPECT_TRUE(rows[1].starts_with("1    yes      " + due + "  paused ")) << rows[1];
    EXPECT_TRUE(rows[2].starts_with("2*   no       " + due + "  not scheduled ")) << rows[2];
    EXPECT_EQ(rows[7], "The clock is paused: no row starts at its time until Start Program is clicked.");
    EXPECT_EQ(rows[8], "* changed since the last Save");

    ran = commandLine(program, {"--run", "2"});
    EXPECT_EQ(ran.exitCode, 1);
    EXPECT_EQ(ran.err, "Morrowset: row 2 is not checked\n");
    EXPECT_EQ(history(), "") << "nothing was started";
}

}  // namespace

#ifdef WARDLINE_MONITOR_EXE
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The real monitor program, listening in the test's own runtime folder and printing every
// line it receives to a file.
class MonitorProcess {
public:
    explicit MonitorProcess(const std::filesystem::path& output) {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, STDOUT_FILENO);
            const int in = ::open("/dev/null", O_RDONLY);
            ::dup2(in, STDIN_FILENO);
            ::execl(WARDLINE_MONITOR_EXE, WARDLINE_MONITOR_EXE, "--hold", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~MonitorProcess() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    void release() const { ::kill(pid_, SIGUSR2); }

private:
    pid_t pid_ = -1;
};

// Without a display nobody could close an error dialog: the program runs as with "Silent
// Run", says so once on standard error, and a load error is written to the error log at
// once instead of waiting behind an invisible dialog.
TEST(HeadlessRun, ALoadErrorIsReportedWithoutADialogThatNobodyCouldClose) {
    ProgramUnderTest program;
    program.writeFile("WLCLIENT.INI", "[log file]\r\nWrite To Disk=1\r\n");
    std::string oneLineShort = settingsFile({});
    oneLineShort.resize(oneLineShort.size() - std::string("##:##\r\n").size());
    program.writeFile("Morrowset.ini", oneLineShort);
    program.start();
    EXPECT_TRUE(e2e::eventually([&] { return program.readFile("error.log").find(" - stop Wardline") != std::string::npos; },
                                seconds(20)));
    const std::string log = program.readFile("error.log");
    EXPECT_THAT(log, HasSubstr("Error No.     62"));
    EXPECT_EQ(countOf(program.readFile("stderr"), "running as with Silent Run"), 1) << program.readFile("stderr");
    EXPECT_TRUE(program.running());
}

// --background keeps the window in the system tray; without one (none offscreen) the
// window is shown after all, and standard error says why.
TEST(HeadlessRun, BackgroundWithoutATrayShowsTheWindowAndSaysWhy) {
    ProgramUnderTest program;
    program.start({"--background"});
    EXPECT_TRUE(e2e::eventually(
        [&] { return program.readFile("stderr").find("--background: The desktop has no system tray. The window is shown.") != std::string::npos; },
        seconds(10)))
        << program.readFile("stderr");
    EXPECT_TRUE(program.running());
}

// A second start for the same folder, run to its end: its exit status and what it said on
// standard error; -1 when it had not ended within 10 s.
std::pair<int, std::string> startAgainAndWait(const ProgramUnderTest& program) {
    int errors[2];
    if (::pipe2(errors, O_CLOEXEC) != 0) return {-1, "pipe"};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::chdir(program.folder().c_str());
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::dup2(errors[1], STDERR_FILENO);
        const std::string exe = program.file("Morrowset").string();
        ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(errors[1]);
    int status = 0;
    const bool ended = e2e::eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, seconds(10));
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    std::string said;
    char buffer[4096];
    for (ssize_t n; (n = ::read(errors[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
    ::close(errors[0]);
    return {ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1, said};
}

// Two copies of one folder's program would start every row twice: the second start asks the
// first to come to the front, says so and ends with status 0; the first goes on.
TEST(SecondStart, HandsOverToTheFirstAndEnds) {
    ProgramUnderTest program;
    program.writeFile("Morrowset.ini", settingsFile({}));
    program.start();
    ASSERT_TRUE(e2e::eventually([&] { return program.readFile("stderr").find("no display") != std::string::npos; },
                                10s));
    const auto [status, said] = startAgainAndWait(program);
    EXPECT_EQ(status, 0) << said;
    EXPECT_THAT(said, HasSubstr("already running for " + program.folder().string()));
    EXPECT_THAT(said, HasSubstr("its window was brought to the front"));
    EXPECT_TRUE(program.running());
}

// One folder reached by other spellings (with a trailing "/", through a link) once gave a
// running copy per spelling, each starting every row: a later start hands over all the same.
TEST(SecondStart, TheSameFolderSpelledAnotherWayHandsOverToo) {
    ProgramUnderTest program;
    ::chmod(program.folder().c_str(), 0777);  // a shared program folder: its files go to the configuration folder
    const auto config = program.folder() / "config";
    std::filesystem::create_directory(config);
    std::filesystem::create_directory_symlink(config, program.folder() / "config-link");
    testsupport::ScopedEnv configHome("XDG_CONFIG_HOME", config);
    program.start();
    ASSERT_TRUE(e2e::eventually([&] { return program.readFile("stderr").find("no display") != std::string::npos; },
                                10s));
    for (const std::string spelling : {config.string() + "/", (program.folder() / "config-link").string()}) {
        testsupport::ScopedEnv otherSpelling("XDG_CONFIG_HOME", spelling);
        const auto [status, said] = startAgainAndWait(program);
        EXPECT_EQ(status, 0) << said;
        EXPECT_THAT(said, HasSubstr("its window was brought to the front")) << spelling;
    }
    EXPECT_TRUE(program.running());
    ::chmod(program.folder().c_str(), 0700);
}

// Another user made both private folders a lock could go to: the program runs without a
// lock, and says so, instead of running as if it were alone.
TEST(SecondStart, WithoutALockTheProgramSaysSo) {
    const auto other = testsupport::secondUser();
    if (!other) GTEST_SKIP() << testsupport::secondUserMissing();
    ProgramUnderTest program;
    for (const char* planted : {"runtime/wardline", "config/wardline"}) {
        std::filesystem::create_directories(program.folder() / planted);
        ASSERT_EQ(::chown((program.folder() / planted).c_str(), other->uid, other->gid), 0);
    }
    testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", program.folder() / "runtime");
    testsupport::ScopedEnv configHome("XDG_CONFIG_HOME", program.folder() / "config");
    program.start();
    ASSERT_TRUE(e2e::eventually([&] { return program.readFile("stderr").find("no display") != std::string::npos; },
                                10s));
    EXPECT_THAT(program.readFile("stderr"),
                HasSubstr("Morrowset: no instance lock for " + program.folder().string() + " (" +
                          (program.folder() / "runtime/wardline").string() + ": belongs to another user; "));
    EXPECT_TRUE(program.running());
}

TEST(MonitorRun, AMonitorHoldsTheProgramUntilItLetsGo) {
    ProgramUnderTest program;
    const auto runtimeFolder = program.folder() / "runtime";
    std::filesystem::create_directory(runtimeFolder);
    std::filesystem::permissions(runtimeFolder, std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
    program.writeFile("Morrowset.ini", settingsFile({}));

    const auto output = program.folder() / "monitor.txt";
    MonitorProcess monitor(output);
    ASSERT_TRUE(e2e::eventually([&] { return std::filesystem::exists(runtimeFolder / "wardline"); }, 5s));
    std::this_thread::sleep_for(300ms);
    program.start();

    auto received = [&] { return countOf(program.readFile("monitor.txt"), "[Morrowset] "); };
    ASSERT_TRUE(e2e::eventually([&] { return received() >= 1; }, 5s)) << "the monitor got no line";
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(received(), 1) << "lines went on while held:\n" << program.readFile("monitor.txt");
    EXPECT_TRUE(program.running());

    monitor.release();
    EXPECT_TRUE(e2e::eventually([&] { return program.readFile("monitor.txt").find("Sub tmrMain_Timer") !=
                                             std::string::npos; },
                                5s))
        << program.readFile("monitor.txt");
    ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
#endif
