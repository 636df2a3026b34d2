// Starting rows as runs with real processes: how each run ended, its output, its history,
// the observers, a run still going when Morrowset ends, outputs kept bounded while they
// grow, and runs stopped by their time limit or on request.
#include "timetable/launcher.h"

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gmock/gmock.h>
#include <string>
#include <vector>

#include "timetable/run_history.h"
#include "platform/app_object.h"
#include "platform/runtime_error.h"
#include "support/event_loop.h"
#include "support/scoped_services.h"
#include "support/small_tmpfs.h"
#include "support/temp_folder.h"

namespace morrowset {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::readFile;
using testsupport::runEventsUntil;
using namespace std::chrono_literals;

constexpr int64_t kMebibyte = 1 << 20;

struct FileUse {
    int64_t length = 0;
    int64_t disk = 0;  // from its allocated blocks
};
FileUse useOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    return {info.st_size, int64_t{info.st_blocks} * 512};
}

// Gone, or ended and waiting to be reaped.
bool gone(int pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t nameEnd = stat.rfind(')');
    return nameEnd == std::string::npos || stat.compare(nameEnd + 2, 1, "Z") == 0;
}

int pidIn(const std::string& path) { return std::atoi(testsupport::awaitFile(path).c_str()); }

// Kills a process group that the test's program left behind, whatever the test's outcome.
struct GroupKiller {
    int group = 0;
    ~GroupKiller() {
        if (group > 1) ::kill(-group, SIGKILL);
    }
};

// Notes every event it hears of.
struct Recorder : RunObserver {
    void runStarted(const RunRecord& run) override { started.push_back(run); }
    void runEnded(const RunRecord& run) override { ended.push_back(run); }
    void runRefused(const RunRecord& run) override { refused.push_back(run); }
    std::vector<RunRecord> started, ended, refused;
};

class LaunchingRuns : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::ensureCoreApplication();
        services->app = platform::AppObject(folder.path(), "Morrowset");
        launcher = std::make_unique<Launcher>(folder.path(), platform::processWatcher(),
                                              Launcher::startWith(platform::processWatcher()));
        launcher->addObserver(&history);
        launcher->addObserver(&recorder);
        launcher->setStopGrace(300ms);
    }
    // Waits for the end of the run with this id.
    RunRecord endOf(const std::string& runId, int timeoutMs = 10000) {
        const auto find = [&] {
            return std::find_if(recorder.ended.begin(), recorder.ended.end(),
                                [&](const RunRecord& run) { return run.id == runId; });
        };
        EXPECT_TRUE(runEventsUntil([&] { return find() != recorder.ended.end(); }, timeoutMs)) << runId;
        return find() != recorder.ended.end() ? *find() : RunRecord{};
    }
    // A NOW start of `commandLine` in `row`.
    static RunRequest request(int row, const std::string& commandLine, int32_t timeLimitSeconds = 0) {
        RunRequest request;
        request.row = row;
        request.commandLine = commandLine;
        request.timeLimitSeconds = timeLimitSeconds;
        return request;
    }
    std::string outputPath(const RunRecord& run) const { return folder / ("runs/" + run.output); }
    std::string script(const std::string& name, const std::string& text) {
        const std::string path = folder.write(name, "#!/bin/sh\n" + text);
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    // Starts `commandLine` in `row` and waits for its end.
    RunRecord runToItsEnd(const std::string& commandLine, int row = 0) {
        const std::size_t before = recorder.ended.size();
        launcher->start({row, commandLine, Trigger::Now, std::nullopt});
        EXPECT_TRUE(runEventsUntil([&] { return recorder.ended.size() > before; }));
        return recorder.ended.empty() ? RunRecord{} : recorder.ended.back();
    }
    std::string historyText() const { return readFile(folder / "history.jsonl"); }

    testsupport::TempFolder folder;
    testsupport::ScopedServices services;
    RunHistory history{folder.path()};
    Recorder recorder;
    std::unique_ptr<Launcher> launcher;
};

TEST_F(LaunchingRuns, AFailingProgramEndsWithItsStatusAndItsOutputKept) {
    const platform::WallTime due = platform::wallNow();
    launcher->start({2, "sh -c 'echo out; echo err >&2; read line || exit 3'", Trigger::Clock, due});
    ASSERT_TRUE(runEventsUntil([&] { return !recorder.ended.empty(); }));
    const RunRecord& run = recorder.ended.front();
    EXPECT_EQ(run.row, 2);
    EXPECT_EQ(run.exitStatus, 3) << "its input is empty";
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.result(), RunRecord::Result::Failed);
    EXPECT_TRUE(run.ended);
    EXPECT_GE(run.durationMs, 0);
    EXPECT_LT(run.durationMs, 10000);
    ASSERT_EQ(recorder.started.size(), 1u);
    EXPECT_EQ(recorder.started[0].id, run.id);
    EXPECT_FALSE(recorder.started[0].ended);
    EXPECT_EQ(readFile(folder / ("runs/" + run.output)), "out\nerr\n");
    EXPECT_EQ(run.output, "row3-" + run.id + ".log");

    const std::string text = historyText();
    EXPECT_THAT(text, HasSubstr(R"({"event":"start","run":")" + run.id + R"(","row":3,)"));
    EXPECT_THAT(text, HasSubstr(R"("trigger":"clock","due":")" + isoText(stampOf(due), false) + "\""));
    EXPECT_THAT(text, HasSubstr(R"("exit_status":3,"signal":null,"output":")" + run.output + "\"}\n"));
    EXPECT_EQ(launcher->running(), 0);
}

TEST_F(LaunchingRuns, AProgramKilledBySigkillEndsWithTheSignal) {
    const RunRecord run = runToItsEnd("sh -c 'kill -KILL $$'");
    EXPECT_EQ(run.signal, SIGKILL);
    EXPECT_FALSE(run.exitStatus);
    EXPECT_EQ(run.result(), RunRecord::Result::Failed);
    EXPECT_THAT(historyText(), HasSubstr(R"("exit_status":null,"signal":"SIGKILL",)"));
    EXPECT_EQ(runToItsEnd("true").result(), RunRecord::Result::Succeeded);
}

// A start that fails is told as refused, with the error raised on to the caller, and
// leaves no output file.
TEST_F(LaunchingRuns, AProgramThatCannotStartIsRefusedWithItsError) {
    testsupport::writeFile(folder / "not-executable", "echo hi\n");
    const std::pair<std::string, int32_t> cases[] = {
        {"no-such-program-for-morrowset --now", 53}, {"   ", 5}, {"'" + (folder / "not-executable") + "'", 70}};
    for (const auto& [commandLine, number] : cases) {
        int32_t raised = 0;
        try {
            launcher->start({4, commandLine, Trigger::Now, std::nullopt});
        } catch (const platform::RuntimeError& error) {
            raised = error.number();
        }
        EXPECT_EQ(raised, number) << commandLine;
        ASSERT_FALSE(recorder.refused.empty());
        EXPECT_EQ(recorder.refused.back().error, number);
        EXPECT_EQ(recorder.refused.back().result(), RunRecord::Result::Failed);
        EXPECT_THAT(historyText(), HasSubstr(R"("pid":null,"error":)" + std::to_string(number) + "}\n"));
    }
    EXPECT_TRUE(recorder.started.empty());
    EXPECT_TRUE(fs::is_empty(folder / "runs"));
}

// When Morrowset ends first, the program runs on and its run stays started, with no end.
TEST_F(LaunchingRuns, AProgramStillRunningWhenMorrowsetEndsRunsOn) {
    launcher->start({5, "sleep 60", Trigger::Now, std::nullopt});
    ASSERT_EQ(recorder.started.size(), 1u);
    const int pid = recorder.started[0].pid;
    EXPECT_EQ(launcher->running(), 1);
    launcher.reset();
    runEventsUntil([] { return false; }, 200);
    EXPECT_EQ(::kill(pid, 0), 0) << "still running";
    EXPECT_THAT(historyText(), Not(HasSubstr(R"("event":"end")")));
    const RunHistory::LastRuns last = RunHistory::lastRuns(folder.path());
    ASSERT_TRUE(last[5]);
    EXPECT_EQ(last[5]->result(), RunRecord::Result::Unseen);
    ::kill(pid, SIGKILL);
}

TEST_F(LaunchingRuns, EachRowKeepsTheOutputOfItsLastTenRuns) {
    for (int run = 0; run < 12; ++run) runToItsEnd("true", 1);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder / "runs")) files += entry.path().filename().string().starts_with("row2-");
    EXPECT_EQ(files, 10);
    EXPECT_TRUE(fs::exists(folder / ("runs/" + recorder.ended.back().output)));
}

// A program writing megabytes a second takes little more disk than its last mebibyte while
// it runs, and its output is cut in place when it ends.
TEST_F(LaunchingRuns, AFastWritersOutputStaysBoundWhileItRunsAndIsCutAtItsEnd) {
    launcher->start(request(0, "sh -c 'while :; do head -c 1048576 /dev/zero; sleep 0.1; done'"));
    ASSERT_EQ(recorder.started.size(), 1u);
    const std::string path = outputPath(recorder.started[0]);
    int64_t mostDisk = 0;
    ASSERT_TRUE(runEventsUntil(
        [&] {
            mostDisk = std::max(mostDisk, useOf(path).disk);
            return useOf(path).length >= 40 * kMebibyte;
        },
        60000));
    EXPECT_LE(mostDisk, 17 * kMebibyte) << "the last mebibyte and at most about a second of writing";

    ASSERT_TRUE(launcher->stop(0));
    const RunRecord run = endOf(recorder.started[0].id);
    const std::string cut = readFile(path);
    EXPECT_GE(run.cutBytes, 39 * kMebibyte);
    EXPECT_EQ(cut.substr(0, cut.find('\n') + 1), "[Morrowset cut the first " + std::to_string(run.cutBytes) +
                                                     " bytes of this output; the last 1048576 bytes follow]\n");
    EXPECT_EQ(cut.size(), cut.find('\n') + 1 + kMebibyte);
    EXPECT_LE(useOf(path).disk, kMebibyte + 8192);
    EXPECT_THAT(historyText(), HasSubstr(R"("cut_bytes":)" + std::to_string(run.cutBytes) + R"(,"stopped":"stop"})"));
}

// 5 MiB written on a 2 MiB file system: written whole, and cut at the end with no room
// beside the last mebibyte.
TEST_F(LaunchingRuns, ARunWritingFiveMebibytesOnATwoMebibyteFileSystemEndsCut) {
    testsupport::SmallTmpfs small("2m");
    if (!small.mounted()) GTEST_SKIP() << small.why();
    Launcher onSmall(small.path(), platform::processWatcher(), Launcher::startWith(platform::processWatcher()));
    RunHistory smallHistory(small.path());
    onSmall.addObserver(&smallHistory);
    onSmall.addObserver(&recorder);
    // About half a mebibyte a second, numbered lines.
    constexpr int kChunks = 64, kLines = 12000;
    const std::string lines = std::to_string(kLines);
    onSmall.start(request(0, "sh -ec 'i=0; while [ $i -lt " + std::to_string(kChunks) + " ]; do seq $((i*" + lines +
                                 "+1)) $((i*" + lines + "+" + lines + ")); sleep 0.15; i=$((i+1)); done'"));
    ASSERT_EQ(recorder.started.size(), 1u);
    const RunRecord run = endOf(recorder.started[0].id, 60000);
    std::string written;
    for (int line = 1; line <= kChunks * kLines; ++line) written += std::to_string(line) + "\n";
    ASSERT_GT(written.size(), 5u * kMebibyte);

    EXPECT_EQ(run.exitStatus, 0) << "every write found room";
    EXPECT_EQ(run.cutBytes, static_cast<int64_t>(written.size()) - kMebibyte);
    const std::string expected = "[Morrowset cut the first " + std::to_string(run.cutBytes) +
                                 " bytes of this output; the last 1048576 bytes follow]\n" +
                                 written.substr(written.size() - kMebibyte);
    EXPECT_TRUE(readFile(small / ("runs/" + run.output)) == expected) << "the cut output, byte for byte";
    EXPECT_THAT(readFile(small / "history.jsonl"), HasSubstr(R"("cut_bytes":)" + std::to_string(run.cutBytes) + "}"));
}

// The outputs of runs still going are never among a row's oldest files removed.
TEST_F(LaunchingRuns, ABurstOfStartsNeverRemovesTheOutputOfARunStillGoing) {
    launcher->start(request(1, "sh -c 'echo first; exec sleep 60'"));
    ASSERT_EQ(recorder.started.size(), 1u);
    const RunRecord first = recorder.started[0];
    ASSERT_TRUE(runEventsUntil([&] { return readFile(outputPath(first)) == "first\n"; }));
    for (int run = 0; run < 12; ++run) runToItsEnd("true", 1);
    EXPECT_EQ(readFile(outputPath(first)), "first\n");

    ASSERT_TRUE(launcher->stop(1));
    endOf(first.id);
    runToItsEnd("true", 1);
    EXPECT_FALSE(fs::exists(outputPath(first))) << "once ended it is the oldest";
}

// A writer left behind in a session of its own writes on into the ended run's file, then
// into the same file once a burst of starts has removed it: both stay bound.
TEST_F(LaunchingRuns, AWriterThatOutlivesItsRunWritesIntoABoundFile) {
    const std::string pidFile = folder / "writer.pid";
    const RunRecord run = runToItsEnd("sh -c 'setsid sh -c \"echo \\$\\$ > " + pidFile +
                                      "; while :; do head -c 1048576 /dev/zero; sleep 0.1; done\" &'");
    GroupKiller writer{pidIn(pidFile)};
    ASSERT_GT(writer.group, 1);
    const auto staysBound = [&](const std::string& path, int64_t growth) {
        const int64_t start = useOf(path).length;
        int64_t mostDisk = 0;
        EXPECT_TRUE(runEventsUntil(
            [&] {
                mostDisk = std::max(mostDisk, useOf(path).disk);
                return useOf(path).length >= start + growth;
            },
            60000));
        EXPECT_LE(mostDisk, 17 * kMebibyte) << path;
    };
    staysBound(outputPath(run), 30 * kMebibyte);

    for (int later = 0; later < runs::kKeptPerRow; ++later) runToItsEnd("true");
    ASSERT_FALSE(fs::exists(outputPath(run)));
    staysBound("/proc/" + std::to_string(writer.group) + "/fd/1", 30 * kMebibyte);
}

TEST_F(LaunchingRuns, ARunPastItsTimeLimitIsStopped) {
    launcher->start(request(2, "sleep 60", 1));
    ASSERT_EQ(recorder.started.size(), 1u);
    const RunRecord run = endOf(recorder.started[0].id);
    EXPECT_EQ(run.stopped, StopReason::TimeLimit);
    EXPECT_EQ(run.signal, SIGTERM);
    EXPECT_GE(run.durationMs, 1000);
    EXPECT_EQ(run.timeLimitSeconds, 1);
    EXPECT_THAT(historyText(),
                HasSubstr(R"("signal":"SIGTERM","output":")" + run.output + R"(","stopped":"time limit"})"));
}

// SIGTERM to the whole group, SIGKILL after the grace to whatever of it is left: a program
// that ignores SIGTERM, and one whose forked child does.
TEST_F(LaunchingRuns, StopEndsTheProgramAndWhatItForked) {
    const std::string childFile = folder / "child.pid";
    const struct {
        std::string script;
        int endedBy;
    } cases[] = {
        {"trap '' TERM\nsleep 60 &\necho $! > " + childFile + "\nwait\n", SIGKILL},
        {"sh -c 'trap \"\" TERM; exec sleep 60' &\necho $! > " + childFile + "\nwait\n", SIGTERM},
    };
    for (const auto& [text, endedBy] : cases) {
        fs::remove(childFile);
        launcher->start(request(3, script("program", text)));
        ASSERT_FALSE(recorder.started.empty());
        GroupKiller group{recorder.started.back().pid};
        const int child = pidIn(childFile);
        ASSERT_GT(child, 1);
        ASSERT_TRUE(launcher->stop(3));
        const RunRecord run = endOf(recorder.started.back().id);
        EXPECT_EQ(run.signal, endedBy) << text;
        EXPECT_EQ(run.stopped, StopReason::Stop);
        EXPECT_EQ(run.result(), RunRecord::Result::Failed);
        EXPECT_TRUE(runEventsUntil([&] { return gone(child); })) << "the forked child ends too: " << text;
    }
    EXPECT_THAT(historyText(), HasSubstr(R"(,"stopped":"stop"})"));
}

TEST_F(LaunchingRuns, StopOnARowWithNothingGoingStopsNothing) {
    launcher->start(request(0, "sleep 60"));
    ASSERT_EQ(recorder.started.size(), 1u);
    GroupKiller group{recorder.started[0].pid};
    EXPECT_FALSE(launcher->stop(1));
    runEventsUntil([] { return false; }, 300);
    EXPECT_TRUE(recorder.ended.empty()) << "another row's run goes on";
    EXPECT_TRUE(launcher->isRunning(recorder.started[0].id));

    EXPECT_TRUE(launcher->stop(0));
    EXPECT_EQ(endOf(recorder.started[0].id).stopped, StopReason::Stop);
    EXPECT_FALSE(launcher->stop(0));
    EXPECT_FALSE(launcher->isRunning(recorder.started[0].id));
}

}  // namespace
}  // namespace morrowset
