// Stopping a started program's process group, with real groups: one that ignores SIGTERM
// and one that leaves a child behind in its group.
#include "platform/process_group_stop.h"

#include <signal.h>

#include <chrono>
#include <gmock/gmock.h>
#include <optional>
#include <string>

#include "platform/child_watcher.h"
#include "platform/process_start.h"
#include "support/event_loop.h"
#include "support/temp_folder.h"

namespace {

using namespace std::chrono_literals;
using testsupport::awaitFile;
using testsupport::runEventsUntil;

// Whether `pid` still runs: a zombie has ended, it only waits for its new parent to reap it.
bool running(int pid) {
    const std::string stat = testsupport::readFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t nameEnd = stat.rfind(')');
    return nameEnd != std::string::npos && stat.substr(nameEnd + 1, 3) != " Z ";
}

// A started program and, once it is ready, the child it put in its group.
struct StartedGroup {
    int leader = 0;
    int child = 0;
    std::optional<platform::ChildEnd> end;
};

// Starts `sh -c` with `setUp`, then a child in the background, writes the child's id to a
// file once all is set and waits; hears of the leader's end.
void start(StartedGroup& group, const testsupport::TempFolder& folder, const std::string& setUp) {
    const std::string marker = folder / "child";
    group.leader = platform::startProcess("sh -c '" + setUp + " sleep 300 & echo $! > \"$0.tmp\"; mv \"$0.tmp\" \"$0\"; " +
                                          "while :; do wait; done' '" + marker + "'");
    platform::processWatcher().watch(group.leader, [&group](const platform::ChildEnd& end) { group.end = end; });
    group.child = std::stoi(awaitFile(marker));
}

struct StopCase {
    const char* what;
    const char* setUp;             // shell commands before the child starts
    std::chrono::milliseconds grace;
    int endingSignal;              // the signal the leader ends by
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.what; }

class StopProcessGroup : public ::testing::TestWithParam<StopCase> {
protected:
    void SetUp() override { testsupport::ensureCoreApplication(); }
};

// SIGTERM ends a group that heeds it, the child left in the background with it; a group
// that ignores SIGTERM (its child too: an ignored signal stays ignored in the programs it
// starts) gets SIGKILL once the grace is over.
TEST_P(StopProcessGroup, EndsTheWholeGroup) {
    const StopCase& c = GetParam();
    testsupport::TempFolder folder;
    StartedGroup group;
    start(group, folder, c.setUp);
    ASSERT_GT(group.child, 0);

    EXPECT_TRUE(platform::stopProcessGroup(group.leader, c.grace));
    ASSERT_TRUE(runEventsUntil([&] { return group.end.has_value(); }, 30'000)) << c.what;
    EXPECT_EQ(group.end->signal, c.endingSignal) << c.what;
    EXPECT_TRUE(runEventsUntil([&] { return !running(group.child); }, 30'000))
        << c.what << ": child " << group.child << " is left";
}

INSTANTIATE_TEST_SUITE_P(Groups, StopProcessGroup,
                         ::testing::Values(StopCase{"heeds SIGTERM", "", 60s, SIGTERM},
                                           StopCase{"ignores SIGTERM", "trap \"\" TERM;", 200ms, SIGKILL}),
                         [](const auto& info) { return info.param.endingSignal == SIGTERM ? "HeedsTerm" : "IgnoresTerm"; });

// A stopped group hears SIGTERM too: it is continued, not left for SIGKILL.
TEST(StopProcessGroupAlone, AStoppedGroupIsContinuedToHearSigterm) {
    testsupport::ensureCoreApplication();
    std::optional<platform::ChildEnd> end;
    const int leader = platform::startProcess("sleep 300");
    platform::processWatcher().watch(leader, [&end](const platform::ChildEnd& e) { end = e; });
    ASSERT_EQ(::kill(-leader, SIGSTOP), 0);
    EXPECT_TRUE(platform::stopProcessGroup(leader, 60s));
    ASSERT_TRUE(runEventsUntil([&] { return end.has_value(); }, 30'000));
    EXPECT_EQ(end->signal, SIGTERM);
}

// Ids that would reach every process of the user's, and a group that is gone, are refused.
TEST(StopProcessGroupAlone, RefusesWhatIsNoGroupOfARun) {
    testsupport::ensureCoreApplication();
    for (const int id : {-1, 0, 1}) EXPECT_FALSE(platform::stopProcessGroup(id, 1ms)) << id;
    std::optional<platform::ChildEnd> end;
    const int gone = platform::startProcess("true");
    platform::processWatcher().watch(gone, [&end](const platform::ChildEnd& e) { end = e; });
    ASSERT_TRUE(runEventsUntil([&] { return end.has_value(); }));
    EXPECT_FALSE(platform::stopProcessGroup(gone, 1ms));
}

}  // namespace
