#include "platform/process_start.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <sstream>
#include <thread>

#include "platform/child_watcher.h"
#include "platform/runtime_error.h"
#include "support/event_loop.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using testsupport::awaitFile;
using testsupport::writeFile;

constexpr auto kExecutable = fs::perms::owner_all;
constexpr auto kReadWrite = fs::perms::owner_read | fs::perms::owner_write;

// Quotes a path for a command line.
std::string quoted(const std::string& text) { return "'" + text + "'"; }

int32_t errorNumberOf(const std::string& commandLine) {
    try {
        platform::startProcess(commandLine);
    } catch (const platform::RuntimeError& error) {
        return error.number();
    }
    return 0;
}

struct SplitCase {
    const char* commandLine;
    std::vector<std::string> words;
};

TEST(SplitCommandLine, QuotesLikeTheShellButExpandsNothing) {
    const SplitCase cases[] = {
        {"prog a  b\tc", {"prog", "a", "b", "c"}},
        {"  leading and trailing  ", {"leading", "and", "trailing"}},
        {"cp a,b c", {"cp", "a,b", "c"}},
        {"echo 'single  quoted' \"double  quoted\"", {"echo", "single  quoted", "double  quoted"}},
        {"echo ab'cd'\"ef\"", {"echo", "abcdef"}},
        {"echo '' \"\"", {"echo", "", ""}},
        {R"(echo a\ b \"x\" \\)", {"echo", "a b", "\"x\"", "\\"}},
        {R"(echo "a \"b\" \$c \n" 'a\b')", {"echo", R"(a "b" $c \n)", R"(a\b)"}},
        {"echo $HOME * ~ `id` $(id) ;|&><", {"echo", "$HOME", "*", "~", "`id`", "$(id)", ";|&><"}},
        {"echo trailing\\", {"echo", "trailing\\"}},
        {"", {}},
        {"   ", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::splitCommandLine(c.commandLine), c.words) << c.commandLine;
}

TEST(SplitCommandLine, UnterminatedQuoteIsInvalidArgument) {
    for (const char* line : {"echo 'open", "echo \"open", "echo \"a\\\""}) {
        try {
            platform::splitCommandLine(line);
            ADD_FAILURE() << line << " was accepted";
        } catch (const platform::RuntimeError& error) {
            EXPECT_EQ(error.number(), 5) << line;
        }
    }
}

TEST(StartProcess, RunsTheProgramWithItsArgumentsUnchanged) {
    testsupport::TempFolder folder;
    const std::string script = folder / "write args";
    writeFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$1.tmp\"\nmv \"$1.tmp\" \"$1\"\n",
              kExecutable);
    const std::string marker = folder / "marker";
    platform::startProcess(quoted(script) + " " + quoted(marker) + " 'two words' a,b '$HOME' '*'");
    EXPECT_EQ(awaitFile(marker), "[" + marker + "][two words][a,b][$HOME][*]");
}

TEST(StartProcess, FindsTheProgramOnPath) {
    testsupport::TempFolder folder;
    const std::string marker = folder / "marker";
    platform::startProcess("sh -c 'echo found > \"$0.tmp\" && mv \"$0.tmp\" \"$0\"' " + quoted(marker));
    EXPECT_EQ(awaitFile(marker), "found\n");
}

TEST(StartProcess, RunsAPlainFileOfCommandsThroughTheShell) {
    testsupport::TempFolder folder;
    const std::string batch = folder / "nightly";
    const std::string marker = folder / "marker";
    writeFile(batch, "echo \"batch $1\" > " + quoted(marker + ".tmp") + "\nmv " + quoted(marker + ".tmp") + " " +
                         quoted(marker) + "\n",
              kExecutable);
    platform::startProcess(quoted(batch) + " ran");
    EXPECT_EQ(awaitFile(marker), "batch ran\n");
}

TEST(StartProcess, ProgramRunsDetachedWithStdinFromDevNull) {
    testsupport::TempFolder folder;
    const std::string marker = folder / "marker";
    // A file of ours left open without close-on-exec must not reach the program.
    const int opened = ::open((folder / "ours").c_str(), O_WRONLY | O_CREAT, 0600);
    const int ours = ::dup2(opened, 100);  // high, so that no shell of the probe uses the number itself
    ::close(opened);
    ASSERT_EQ(ours, 100);
    const std::string probe = folder / "probe";
    writeFile(probe,
              "#!/bin/sh\n"
              "echo \"$$ $(cut -d' ' -f6 /proc/$$/stat) $(readlink /proc/$$/fd/0) $(readlink /proc/$$/fd/$2 || echo closed)\" "
              "> \"$1.tmp\"\n"
              "mv \"$1.tmp\" \"$1\"\n"
              "exec sleep 30\n",
              kExecutable);
    const int pid = platform::startProcess(quoted(probe) + " " + quoted(marker) + " " + std::to_string(ours));
    ::close(ours);
    std::istringstream report(awaitFile(marker));
    int reportedPid = 0, session = 0;
    std::string stdinTarget, oursInProgram;
    report >> reportedPid >> session >> stdinTarget >> oursInProgram;
    EXPECT_EQ(reportedPid, pid);
    EXPECT_EQ(session, pid) << "leads a session of its own";
    EXPECT_EQ(stdinTarget, "/dev/null");
    EXPECT_EQ(oursInProgram, "closed");
    EXPECT_EQ(::kill(pid, 0), 0) << "startProcess returned while the program still runs";
    ::kill(pid, SIGTERM);
}

// Gives glibc's own two signals (32 and 33) handlers, as a program that cancels a thread
// has them; a program started without care would then get them ignored.
void wakeGlibcsOwnSignals() {
    pthread_t thread;
    ASSERT_EQ(::pthread_create(
                  &thread, nullptr,
                  [](void*) -> void* {
                      for (;;) ::pause();
                  },
                  nullptr),
              0);
    ::pthread_cancel(thread);
    ::pthread_join(thread, nullptr);
}

// A program starts with every signal at its default, whatever this program ignores (the
// file-size signal) and including glibc's two.
TEST(StartProcess, EverySignalStartsAtItsDefault) {
    wakeGlibcsOwnSignals();
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    testsupport::TempFolder folder;
    const std::string marker = folder / "marker";
    const std::string probe = folder / "probe";
    writeFile(probe,
              "#!/bin/sh\n"
              "grep '^SigIgn' /proc/$$/status > \"$1.tmp\"\n"
              "mv \"$1.tmp\" \"$1\"\n",
              kExecutable);
    platform::startProcess(quoted(probe) + " " + quoted(marker));
    ::signal(SIGXFSZ, previous);
    EXPECT_EQ(awaitFile(marker), "SigIgn:\t0000000000000000\n");
}

// Once the program ends the event loop hears of it and reaps it: no zombie is left behind.
TEST(StartProcess, LeavesNoZombie) {
    testsupport::ensureCoreApplication();
    const int pid = platform::startProcess("true");
    const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    const bool gone = testsupport::runEventsUntil([&] { return !fs::exists(stat); });
    EXPECT_TRUE(gone) << "process " << pid << " still has an entry: " << awaitFile(stat);
}

// The program's standard output and error both go to the file given; its input stays empty.
TEST(StartProcess, OutputGoesToTheFileGiven) {
    testsupport::TempFolder folder;
    const std::string marker = folder / "done";
    const int output = ::open((folder / "output").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    ASSERT_GE(output, 0);
    platform::startProcess("sh -c 'echo out; echo err >&2; cat; touch \"$0\"' " + quoted(marker), output);
    ::close(output);
    awaitFile(marker);
    EXPECT_EQ(testsupport::readFile(folder / "output"), "out\nerr\n");
}

TEST(StartProcess, FailuresAreRunTimeErrors) {
    testsupport::TempFolder folder;
    writeFile(folder / "not-executable", "echo hi\n", kReadWrite);
    fs::create_directory(folder / "a-folder");
    const std::pair<std::string, int32_t> cases[] = {
        {"", 5},
        {" \t ", 5},
        {"echo 'unterminated", 5},
        {"no-such-program-anywhere --flag", 53},
        {"''", 53},
        {quoted(folder / "missing"), 53},
        {quoted(folder / "missing-folder/prog"), 53},
        {quoted(folder / "not-executable"), 70},
        {quoted(folder / "a-folder"), 70},
    };
    for (const auto& [commandLine, number] : cases) EXPECT_EQ(errorNumberOf(commandLine), number) << commandLine;
}

// A program started in a folder runs there, and a relative program name is the folder's.
TEST(StartProcess, RunsInTheFolderGiven) {
    testsupport::ensureCoreApplication();
    testsupport::TempFolder folder;
    const std::string work = folder / "work folder";
    fs::create_directory(work);
    writeFile(work + "/tool", "#!/bin/sh\necho \"tool in $(pwd)\"\n", kExecutable);
    const std::pair<std::string, std::string> cases[] = {
        {"pwd", work + "\n"},
        {"./tool", "tool in " + work + "\n"},
    };
    for (const auto& [commandLine, printed] : cases) {
        const std::string outputFile = folder / "output";
        const int output = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(output, 0);
        bool ended = false;
        platform::startProcess(commandLine, output, work, [&ended](const platform::ChildEnd&) { ended = true; });
        ::close(output);
        ASSERT_TRUE(testsupport::runEventsUntil([&] { return ended; })) << commandLine;
        EXPECT_EQ(testsupport::readFile(outputFile), printed) << commandLine;
    }
}

// A folder to start in that is not there, is no folder or may not be entered refuses the
// start with 76 Path not found, whatever the program.
TEST(StartProcess, AFolderThatCannotBeEnteredIsPathNotFound) {
    testsupport::TempFolder folder;
    writeFile(folder / "a-file", "", kReadWrite);
    fs::create_directory(folder / "closed");
    fs::permissions(folder / "closed", fs::perms::owner_read | fs::perms::owner_write);
    std::vector<std::string> folders = {folder / "missing", folder / "a-file", folder / "missing/deeper"};
    if (::geteuid() != 0) folders.push_back(folder / "closed");  // root enters any folder
    for (const std::string& where : folders) {
        for (const char* commandLine : {"true", "no-such-program-anywhere"}) {
            try {
                platform::startProcess(commandLine, -1, where);
                ADD_FAILURE() << commandLine << " started in " << where;
            } catch (const platform::RuntimeError& error) {
                EXPECT_EQ(error.number(), 76) << commandLine << " in " << where;
            }
        }
    }
}

// A program on PATH that may not be run is skipped when a later folder has a runnable one,
// and reported as 70 when none has.
TEST(StartProcess, PathSearchSkipsWhatMayNotRun) {
    testsupport::TempFolder folder;
    fs::create_directory(folder / "first");
    fs::create_directory(folder / "second");
    writeFile(folder / "first/tool", "echo first\n", kReadWrite);
    const std::string marker = folder / "marker";
    // Written aside and renamed, so the test never reads the marker between its creation and
    // its text; mv by its full name, as the tool runs with the test's PATH.
    writeFile(folder / "second/tool",
              "echo second > " + quoted(marker + ".tmp") + "\n/bin/mv " + quoted(marker + ".tmp") + " " +
                  quoted(marker) + "\n",
              kExecutable);
    const std::string savedPath = std::getenv("PATH");
    ::setenv("PATH", ((folder / "first") + ":" + (folder / "second")).c_str(), 1);
    platform::startProcess("tool");
    ::setenv("PATH", (folder / "first").c_str(), 1);
    const int32_t deniedOnly = errorNumberOf("tool");
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(awaitFile(marker), "second\n");
    EXPECT_EQ(deniedOnly, 70);
}

}  // namespace
