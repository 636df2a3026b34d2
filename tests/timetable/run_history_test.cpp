// The run history file: its lines, its file rules, its rotation, and reading each row's
// last run back from it, damaged lines and all.
#include "timetable/run_history.h"

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <gmock/gmock.h>
#include <string>

#include "support/temp_folder.h"

namespace morrowset {
namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

Stamp at(int hour, int minute, int second, int millisecond = 0) {
    return {{20433, ((hour * 60 + minute) * 60 + second) * 1000 + millisecond}, 3600};  // 2025-12-11, UTC+1
}

RunRecord backupRun() {
    RunRecord run;
    run.id = "20251211T023000.004-77-1";
    run.row = 1;
    run.command = "backup \"home\" caf\xE9";
    run.trigger = Trigger::Clock;
    run.due = at(2, 30, 0);
    run.started = at(2, 30, 0, 4);
    run.pid = 4242;
    run.output = "row2-20251211T023000.004-77-1.log";
    return run;
}

TEST(RunHistory, OneLinePerEventWithTheKeysOtherToolsRead) {
    RunRecord run = backupRun();
    EXPECT_EQ(RunHistory::startLine(run),
              R"({"event":"start","run":"20251211T023000.004-77-1","row":2,"command":"backup \"home\" caf\udce9",)"
              R"("trigger":"clock","due":"2025-12-11T02:30:00+01:00","time":"2025-12-11T02:30:00.004+01:00","pid":4242})"
              "\n");
    run.ended = at(2, 31, 2, 250);
    run.durationMs = 62246;
    run.exitStatus = 3;
    EXPECT_EQ(RunHistory::endLine(run),
              R"({"event":"end","run":"20251211T023000.004-77-1","row":2,"command":"backup \"home\" caf\udce9",)"
              R"("trigger":"clock","due":"2025-12-11T02:30:00+01:00","time":"2025-12-11T02:31:02.250+01:00","pid":4242,)"
              R"("duration_ms":62246,"exit_status":3,"signal":null,"output":"row2-20251211T023000.004-77-1.log"})"
              "\n");
    run.exitStatus.reset();
    run.signal = SIGKILL;
    EXPECT_THAT(RunHistory::endLine(run), ::testing::HasSubstr(R"("exit_status":null,"signal":"SIGKILL",)"));
    // What Morrowset did to the run, only when it did something.
    run.cutBytes = 4096;
    run.stopped = StopReason::TimeLimit;
    EXPECT_THAT(RunHistory::endLine(run),
                ::testing::EndsWith(R"(-77-1.log","cut_bytes":4096,"stopped":"time limit"})"
                                    "\n"));

    RunRecord refused;
    refused.id = "r";
    refused.row = 5;
    refused.command = "no-such-program";
    refused.started = at(9, 0, 0);
    refused.error = 53;
    EXPECT_EQ(RunHistory::refusedLine(refused),
              R"({"event":"refused","run":"r","row":6,"command":"no-such-program","trigger":"now","due":null,)"
              R"("time":"2025-12-11T09:00:00.000+01:00","pid":null,"error":53})"
              "\n");
}

TEST(RunHistory, IsTheUsersOwnFileAndTakesOnlyWholeLines) {
    testsupport::TempFolder app;
    EXPECT_TRUE(RunHistory::append(app.path(), "{\"a\":1}\n"));
    EXPECT_EQ(fs::status(app / "history.jsonl").permissions(), fs::perms::owner_read | fs::perms::owner_write);

    // A line the disk cannot take whole leaves nothing of itself.
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 20;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool written = RunHistory::append(app.path(), "{\"a\":\"a longer line\"}\n");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(app / "history.jsonl"), "{\"a\":1}\n");

    // Never through a link.
    testsupport::TempFolder other;
    writeFile(other / "victim", "mine\n");
    fs::create_symlink(other / "victim", other / "history.jsonl");
    EXPECT_FALSE(RunHistory::append(other.path(), "{\"a\":1}\n"));
    EXPECT_EQ(readFile(other / "victim"), "mine\n");
}

TEST(RunHistory, PastOneMebibyteTheFileMakesRoomForANewOne) {
    testsupport::TempFolder app;
    const std::string full(RunHistory::kRotateAtBytes, 'x');
    writeFile(app / "history.jsonl", full);
    writeFile(app / "history.jsonl.1", "the oldest\n");
    EXPECT_TRUE(RunHistory::append(app.path(), "{\"a\":1}\n"));
    EXPECT_EQ(readFile(app / "history.jsonl.1"), full);
    EXPECT_EQ(readFile(app / "history.jsonl"), "{\"a\":1}\n");
}

// Each row's last run, from both files in order; a damaged line is skipped, the rest read.
TEST(RunHistory, GivesEachRowItsLastRunAndSkipsDamagedLines) {
    testsupport::TempFolder app;
    RunRecord first = backupRun();
    RunRecord second = backupRun();
    second.id = "20251211T090000.000-77-2";
    second.started = at(9, 0, 0);
    second.trigger = Trigger::Now;
    second.due.reset();
    RunRecord secondEnd = second;
    secondEnd.ended = at(9, 0, 1, 500);
    secondEnd.durationMs = 1500;
    secondEnd.signal = SIGKILL;
    secondEnd.stopped = StopReason::Stop;
    secondEnd.cutBytes = 77;
    RunRecord running = backupRun();
    running.id = "left-running";
    running.row = 3;
    running.trigger = Trigger::Command;
    RunRecord refused = backupRun();
    refused.id = "refused";
    refused.row = 4;
    refused.pid = 0;
    refused.error = 70;
    RunRecord endOnly = backupRun();  // its start went with an older file
    endOnly.id = "end-only";
    endOnly.row = 0;
    endOnly.ended = at(3, 0, 0);
    endOnly.exitStatus = 0;

    writeFile(app / "history.jsonl.1", RunHistory::endLine(endOnly) + RunHistory::startLine(first));
    writeFile(app / "history.jsonl",
              "garbage\n" + RunHistory::startLine(second) + "{\"event\":\"start\",\"run\":\"x\",\"row\":9,\"time\":\"2025-12-11T10:00:00+01:00\"}\n" +
                  "{\"event\":\"refused\",\"run\":\"y\",\"row\":2,\"time\":\"2025-12-11T10:00:00+01:00\"}\n" +
                  RunHistory::endLine(first) + RunHistory::startLine(running) + RunHistory::refusedLine(refused) +
                  RunHistory::endLine(secondEnd) + "{\"event\":\"start\",\"run\":\"cut\",\"row\":2");
    const RunHistory::LastRuns last = RunHistory::lastRuns(app.path());

    ASSERT_TRUE(last[0]);
    EXPECT_EQ(last[0]->id, "end-only");
    EXPECT_EQ(last[0]->result(), RunRecord::Result::Succeeded);
    ASSERT_TRUE(last[1]);
    EXPECT_EQ(last[1]->id, second.id) << "the run started last, not the one that ended last";
    EXPECT_EQ(last[1]->signal, SIGKILL);
    EXPECT_EQ(last[1]->durationMs, 1500);
    EXPECT_EQ(last[1]->stopped, StopReason::Stop);
    EXPECT_EQ(last[1]->cutBytes, 77);
    EXPECT_EQ(last[1]->trigger, Trigger::Now);
    EXPECT_EQ(last[1]->command, first.command) << "bytes come back";
    EXPECT_EQ(last[1]->result(), RunRecord::Result::Failed);
    EXPECT_FALSE(last[2]);
    ASSERT_TRUE(last[3]);
    EXPECT_EQ(last[3]->result(), RunRecord::Result::Unseen);
    EXPECT_EQ(last[3]->trigger, Trigger::Command) << "the last trigger's name reads back";
    EXPECT_EQ(last[3]->due, first.due);
    EXPECT_EQ(last[3]->output, "row4-left-running.log") << "named as the launcher names it";
    ASSERT_TRUE(last[4]);
    EXPECT_EQ(last[4]->error, 70);
    EXPECT_EQ(last[4]->result(), RunRecord::Result::Failed);
    EXPECT_FALSE(last[5]);
}

}  // namespace
}  // namespace morrowset
