#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/monitor_link.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using platform::InstanceLock;

// Each test gets a private folder of its own for the lock and the socket.
class InstanceLockTest : public ::testing::Test {
protected:
    testsupport::TempFolder runtimeFolder;
    testsupport::ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtimeFolder.path()};
};

// The lock is per application folder: a second take for the same folder finds it held (a
// second open, as a second process makes), another folder has its own. Both files are in
// the private folder, never beside the program.
TEST_F(InstanceLockTest, OneHolderPerApplicationFolder) {
    EXPECT_EQ(platform::takeInstanceLock("/home/u/copy-a"), InstanceLock::First);
    EXPECT_EQ(platform::takeInstanceLock("/home/u/copy-a"), InstanceLock::Another);
    EXPECT_EQ(platform::takeInstanceLock("/home/u/copy-b"), InstanceLock::First);
    EXPECT_NE(platform::instanceName("/home/u/copy-a"), platform::instanceName("/home/u/copy-b"));
    EXPECT_TRUE(fs::is_regular_file(platform::monitorFolderPath() + "/" + platform::instanceName("/home/u/copy-a") +
                                    ".lock"));
}

TEST_F(InstanceLockTest, ALaterStartReachesTheFirstOnlyThroughItsOwnFoldersSocket) {
    EXPECT_FALSE(platform::askFirstInstanceToShow("/home/u/copy-a", 0)) << "nobody listens yet";
    platform::InstanceListener first("/home/u/copy-a");
    ASSERT_TRUE(first.listening());
    EXPECT_FALSE(first.takeRequests()) << "no request yet, and taking none must not block";
    EXPECT_FALSE(platform::askFirstInstanceToShow("/home/u/copy-b", 0));
    EXPECT_TRUE(platform::askFirstInstanceToShow("/home/u/copy-a", 0));
    EXPECT_TRUE(first.takeRequests());
    EXPECT_FALSE(first.takeRequests()) << "a request is taken once";
}

// A run that died leaves its socket file; the next first instance listens in its place.
TEST_F(InstanceLockTest, ASocketLeftByARunThatDiedIsReplaced) {
    const std::string path = platform::monitorFolderPath() + "/" + platform::instanceName("/f") + ".sock";
    ASSERT_GE(::close(platform::openMonitorFolder()), 0);
    const int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(dead, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(dead);

    platform::InstanceListener first("/f");
    ASSERT_TRUE(first.listening());
    EXPECT_TRUE(platform::askFirstInstanceToShow("/f", 1000));
    EXPECT_TRUE(first.takeRequests());
}

TEST_F(InstanceLockTest, AFileThatIsNoSocketIsLeftAlone) {
    ASSERT_GE(::close(platform::openMonitorFolder()), 0);
    const std::string path = platform::monitorFolderPath() + "/" + platform::instanceName("/f") + ".sock";
    testsupport::writeFile(path, "keep");
    platform::InstanceListener first("/f");
    EXPECT_FALSE(first.listening());
    EXPECT_TRUE(fs::is_regular_file(path));
}

}  // namespace
