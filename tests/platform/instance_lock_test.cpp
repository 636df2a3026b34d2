#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/monitor_link.h"
#include "support/second_user.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using platform::InstanceLock;

// Each test gets a private folder of its own for the lock and the socket, two application
// folders, and a configuration folder of its own for when the private folder is refused.
class InstanceLockTest : public ::testing::Test {
protected:
    InstanceLockTest() {
        fs::create_directory(apps / "copy-a");
        fs::create_directory(apps / "copy-b");
    }
    std::string nameOf(const std::string& folder) { return platform::instanceName("morrowset", folder); }
    // Takes one waiting connection; false when none waits.
    static bool tookOne(platform::InstanceListener& listener) {
        const int peer = listener.acceptPeer();
        if (peer >= 0) ::close(peer);
        return peer >= 0;
    }

    testsupport::TempFolder runtimeFolder;
    testsupport::ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtimeFolder.path()};
    testsupport::TempFolder config;
    testsupport::ScopedEnv configHome{"XDG_CONFIG_HOME", config.path()};
    testsupport::TempFolder apps;
};

// The lock is per application folder, whatever way the folder is spelled: with a trailing
// "/", with "." in it, through a link. Another folder has its own. The lock is held by the
// process that took it (a child here) and only in the private folder.
TEST_F(InstanceLockTest, OneHolderPerFolderHoweverItIsSpelled) {
    fs::create_directory_symlink(apps / "copy-a", apps / "link-to-a");
    const std::string name = nameOf(apps / "copy-a");
    ASSERT_EQ(name.rfind("morrowset-", 0), 0u) << name;

    int held[2];
    ASSERT_EQ(::pipe(held), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const bool first = platform::takeInstanceLock(name) == InstanceLock::First;
        ::write(held[1], &first, 1);
        ::pause();
        ::_exit(0);
    }
    bool first = false;
    ASSERT_EQ(::read(held[0], &first, 1), 1);
    EXPECT_TRUE(first);
    for (const std::string& spelling : {apps / "copy-a/", apps / "./copy-a", apps / "link-to-a", apps / "link-to-a/"}) {
        EXPECT_EQ(nameOf(spelling), name) << spelling;
        EXPECT_EQ(platform::takeInstanceLock(nameOf(spelling)), InstanceLock::Another) << spelling;
    }
    EXPECT_NE(nameOf(apps / "copy-b"), name);
    EXPECT_EQ(platform::takeInstanceLock(nameOf(apps / "copy-b")), InstanceLock::First);
    EXPECT_TRUE(fs::is_regular_file(platform::monitorFolderPath() + "/" + name + ".lock"));
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(held[0]);
    ::close(held[1]);
    EXPECT_EQ(platform::takeInstanceLock(name), InstanceLock::First) << "the lock goes with its holder";

    std::string whyNot;
    EXPECT_EQ(platform::takeInstanceLock(nameOf(apps / "no-such-folder"), &whyNot), InstanceLock::Unavailable);
    EXPECT_NE(whyNot, "");
}

TEST_F(InstanceLockTest, ALaterStartReachesTheFirstOnlyThroughItsOwnFoldersSocket) {
    const std::string a = nameOf(apps / "copy-a");
    EXPECT_FALSE(platform::askFirstInstanceToShow(a, 0)) << "nobody listens yet";
    platform::InstanceListener first(a);
    ASSERT_TRUE(first.listening());
    EXPECT_FALSE(tookOne(first)) << "no request yet, and taking none must not block";
    EXPECT_FALSE(platform::askFirstInstanceToShow(nameOf(apps / "copy-b"), 0));
    EXPECT_TRUE(platform::askFirstInstanceToShow(nameOf(apps / "copy-a/"), 0));
    EXPECT_TRUE(tookOne(first));
    EXPECT_FALSE(tookOne(first)) << "a request is taken once";
}

// A run that died leaves its socket file; the next first instance listens in its place.
TEST_F(InstanceLockTest, ASocketLeftByARunThatDiedIsReplaced) {
    const std::string name = nameOf(apps / "copy-a");
    const std::string path = platform::monitorFolderPath() + "/" + name + ".sock";
    ASSERT_GE(::close(platform::openMonitorFolder()), 0);
    const int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(dead, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(dead);

    platform::InstanceListener first(name);
    ASSERT_TRUE(first.listening());
    EXPECT_TRUE(platform::askFirstInstanceToShow(name, 1000));
    EXPECT_TRUE(tookOne(first));
}

TEST_F(InstanceLockTest, AFileThatIsNoSocketIsLeftAlone) {
    ASSERT_GE(::close(platform::openMonitorFolder()), 0);
    const std::string name = nameOf(apps / "copy-a");
    const std::string path = platform::monitorFolderPath() + "/" + name + ".sock";
    testsupport::writeFile(path, "keep");
    platform::InstanceListener first(name);
    EXPECT_FALSE(first.listening());
    EXPECT_TRUE(fs::is_regular_file(path));
}

// Another user made the private folder first (as anybody can make /tmp/wardline-<uid>
// while XDG_RUNTIME_DIR is unset). Once both starts then ran as the first; now the lock
// and the socket move to the user's own folder, and the second start hands over. When
// that one is another user's too, there is no lock, and the reason says both.
TEST_F(InstanceLockTest, APrivateFolderOfAnotherUserIsRefusedForTheUsersOwn) {
    const auto other = testsupport::secondUser();
    if (!other) GTEST_SKIP() << testsupport::secondUserMissing();
    const std::string planted = platform::monitorFolderPath();
    ASSERT_EQ(::mkdir(planted.c_str(), 0700), 0);
    ASSERT_EQ(::chown(planted.c_str(), other->uid, other->gid), 0);

    const std::string name = nameOf(apps / "copy-a");
    EXPECT_EQ(platform::takeInstanceLock(name), InstanceLock::First);
    EXPECT_EQ(platform::takeInstanceLock(name), InstanceLock::Another);
    EXPECT_TRUE(fs::is_regular_file(config / ("wardline/" + name + ".lock")));
    EXPECT_TRUE(fs::is_empty(planted)) << "nothing goes into the other user's folder";
    platform::InstanceListener first(name);
    ASSERT_TRUE(first.listening());
    EXPECT_TRUE(platform::askFirstInstanceToShow(name, 0));
    EXPECT_TRUE(tookOne(first));

    testsupport::TempFolder otherConfig;
    testsupport::ScopedEnv otherConfigHome("XDG_CONFIG_HOME", otherConfig.path());
    ASSERT_EQ(::mkdir((otherConfig / "wardline").c_str(), 0700), 0);
    ASSERT_EQ(::chown((otherConfig / "wardline").c_str(), other->uid, other->gid), 0);
    std::string whyNot;
    EXPECT_EQ(platform::takeInstanceLock(name, &whyNot), InstanceLock::Unavailable);
    EXPECT_NE(whyNot.find(planted + ": belongs to another user"), std::string::npos) << whyNot;
    EXPECT_NE(whyNot.find(otherConfig / "wardline: belongs to another user"), std::string::npos) << whyNot;
}

}  // namespace
