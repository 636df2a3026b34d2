// Watching children to their end on the event loop, with real processes, by both methods:
// pidfds, and the SIGCHLD signalfd used where the kernel has no pidfds.
#include "platform/child_watcher.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <QTimer>
#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "support/event_loop.h"

extern char** environ;

namespace {

using platform::ChildEnd;
using platform::ChildWatcher;
using testsupport::runEventsUntil;

// Starts `sh -c script` as a child of ours that no watcher knows yet.
int spawnShell(const std::string& script) {
    std::string sh = "sh", dashC = "-c", text = script;
    char* argv[] = {sh.data(), dashC.data(), text.data(), nullptr};
    pid_t pid = 0;
    EXPECT_EQ(::posix_spawnp(&pid, "sh", nullptr, nullptr, argv, environ), 0);
    return pid;
}

bool hasProcessEntry(int pid) { return std::filesystem::exists("/proc/" + std::to_string(pid)); }

int threadCount() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("Threads:")) return std::stoi(line.substr(8));
    return -1;
}

class ChildWatching : public ::testing::TestWithParam<ChildWatcher::Method> {
protected:
    void SetUp() override {
        testsupport::ensureCoreApplication();
        if (GetParam() == ChildWatcher::Method::Pidfd && ChildWatcher::bestMethod() != ChildWatcher::Method::Pidfd)
            GTEST_SKIP() << "this kernel has no pidfds";
        watcher = std::make_unique<ChildWatcher>(GetParam());
    }
    std::unique_ptr<ChildWatcher> watcher;
};

// How each child ended, as the watcher tells it; and none is left a zombie.
TEST_P(ChildWatching, TellsHowEachChildEndedAndLeavesNoZombie) {
    const std::pair<std::string, std::pair<int, int>> children[] = {
        {"exit 0", {0, 0}},
        {"exit 3", {3, 0}},
        {"kill -KILL $$", {-1, SIGKILL}},
        {"kill -TERM $$", {-1, SIGTERM}},
    };
    std::map<int, ChildEnd> ends;
    std::vector<int> pids;
    for (const auto& [script, expected] : children) {
        const int pid = spawnShell(script);
        pids.push_back(pid);
        ASSERT_TRUE(watcher->watch(pid, [&ends](const ChildEnd& end) { ends[end.pid] = end; }));
    }
    EXPECT_EQ(watcher->watching(), 4);
    ASSERT_TRUE(runEventsUntil([&] { return ends.size() == 4; }));
    for (std::size_t i = 0; i < pids.size(); ++i) {
        SCOPED_TRACE(children[i].first);
        EXPECT_EQ(ends[pids[i]].exitStatus, children[i].second.first);
        EXPECT_EQ(ends[pids[i]].signal, children[i].second.second);
        EXPECT_GT(ends[pids[i]].monotonicMs, 0);
        EXPECT_FALSE(hasProcessEntry(pids[i])) << "reaped";
    }
    EXPECT_EQ(watcher->watching(), 0);
}

// The event loop goes on while children run, and no thread is made per child.
TEST_P(ChildWatching, ManyRunningChildrenCostNoThreads) {
    const int threadsBefore = threadCount();
    std::vector<int> pids;
    int ended = 0;
    for (int i = 0; i < 20; ++i) {
        pids.push_back(spawnShell("exec sleep 30"));
        watcher->watch(pids.back(), [&ended](const ChildEnd&) { ++ended; });
    }
    EXPECT_EQ(threadCount(), threadsBefore);
    bool ticked = false;
    QTimer::singleShot(50, [&] { ticked = true; });
    EXPECT_TRUE(runEventsUntil([&] { return ticked; })) << "the loop is not held";
    EXPECT_EQ(ended, 0);
    for (const int pid : pids) ::kill(pid, SIGKILL);
    EXPECT_TRUE(runEventsUntil([&] { return ended == 20; }));
}

// Only ids it is given, and only children: another child stays for whoever waits for it.
TEST_P(ChildWatching, WatchesOnlyTheChildrenItIsGiven) {
    EXPECT_FALSE(watcher->watch(1)) << "init is nobody's child here";
    EXPECT_FALSE(watcher->watch(static_cast<int>(::getpid())));
    const int others = spawnShell("exit 7");
    const int ours = spawnShell("exit 0");
    bool oursEnded = false;
    watcher->watch(ours, [&](const ChildEnd&) { oursEnded = true; });
    ASSERT_TRUE(runEventsUntil([&] { return oursEnded; }));
    runEventsUntil([] { return false; }, 1200);  // a sweep of the signal method included
    int status = 0;
    ASSERT_EQ(::waitpid(others, &status, 0), others) << "the other child was left to its own waiter";
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

// Watching a child again gives it a new callback; one that ended before it was watched is
// still heard of.
TEST_P(ChildWatching, AChildThatEndedBeforeItWasWatchedIsStillHeardOf) {
    const int pid = spawnShell("exit 5");
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    int first = 0, second = -1;
    watcher->watch(pid, [&](const ChildEnd&) { ++first; });
    watcher->watch(pid, [&](const ChildEnd& end) { second = end.exitStatus; });
    EXPECT_TRUE(runEventsUntil([&] { return second >= 0; }));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 5);
}

INSTANTIATE_TEST_SUITE_P(Methods, ChildWatching,
                         ::testing::Values(ChildWatcher::Method::Pidfd, ChildWatcher::Method::ChildSignal),
                         [](const auto& info) {
                             return info.param == ChildWatcher::Method::Pidfd ? "Pidfd" : "ChildSignal";
                         });

}  // namespace
