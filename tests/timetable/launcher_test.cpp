// Starting rows as runs with real processes: how each run ended, its output, its history,
// the observers, and a run still going when Morrowset ends.
#include "timetable/launcher.h"

#include <signal.h>

#include <filesystem>
#include <gmock/gmock.h>
#include <string>
#include <vector>

#include "timetable/run_history.h"
#include "platform/app_object.h"
#include "platform/runtime_error.h"
#include "support/event_loop.h"
#include "support/scoped_services.h"
#include "support/temp_folder.h"

namespace morrowset {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::readFile;
using testsupport::runEventsUntil;

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

}  // namespace
}  // namespace morrowset
