// Profiles another user could have written are read as missing, with one line on stderr.
#include "platform/profile_trust.h"

#include <gmock/gmock.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/process_state.h"
#include "platform/profile.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testsupport::ScopedEnv;
using testsupport::TempFolder;

std::string readKey(const std::string& file) {
    std::string value;
    platform::getPrivateProfileString("log file", "Log File", "default", value, 128, file);
    return value;
}

constexpr const char* kRedirecting = "[log file]\nLog File=/home/victim/.bashrc\n";

TEST(ProfileTrust, GroupOrOtherWritableProfileReadsAsMissingAndSaysSo) {
    const struct {
        const char* name;
        fs::perms mode;
        bool believed;
    } cases[] = {
        {"OWN.INI", fs::perms::owner_read | fs::perms::owner_write, true},
        {"GROUP.INI", fs::perms::owner_all | fs::perms::group_write, false},
        {"OTHERS.INI", fs::perms::owner_read | fs::perms::others_write, false},
    };
    TempFolder folder;
    for (const auto& c : cases) {
        const std::string file = folder.write(c.name, kRedirecting);
        fs::permissions(file, c.mode);
        ::testing::internal::CaptureStderr();
        const std::string value = readKey(file);
        readKey(file);  // a second look says nothing more
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(value, c.believed ? "/home/victim/.bashrc" : "default") << c.name;
        if (c.believed) {
            EXPECT_EQ(said, "") << c.name;
        } else {
            EXPECT_EQ(said, file + " ignored: group or others can write it\n") << c.name;
        }
    }
}

// A test's fresh runtime forgets what earlier tests were told: the same file is said again.
TEST(ProfileTrust, ForgettingTheIgnoredProfilesSaysEachAgain) {
    TempFolder folder;
    const std::string file = folder.write("SHARED.INI", kRedirecting);
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_write);
    const std::string line = file + " ignored: group or others can write it\n";
    ::testing::internal::CaptureStderr();
    readKey(file);
    platform::forgetIgnoredProfiles();
    readKey(file);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), line + line);
}

// A FIFO named like the profile is not waited on.
TEST(ProfileTrust, FifoReadsAsMissing) {
    TempFolder folder;
    ASSERT_EQ(::mkfifo((folder / "WLCLIENT.INI").c_str(), 0600), 0);
    EXPECT_EQ(readKey(folder / "WLCLIENT.INI"), "default");
}

// A "win.INI" of root's counts only in a folder nobody but root and the user can change.
TEST(ProfileTrust, RootsFileOnlyInAKeptFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "runs as root: every root-owned file is the user's own";
    EXPECT_EQ(platform::profileDistrust(0, 0644, 0, 0755), std::nullopt);
    EXPECT_NE(platform::profileDistrust(0, 0644, 0, 01777), std::nullopt) << "a /tmp-like folder";
}

// The shared install folder of the report: another user's "WLCLIENT.INI" moved the log.
TEST(ProfileTrust, AnotherUsersProfileReadsAsMissing) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to create a second user and give it a file";
    const char* kOther = "morrowset-other";
    if (!::getpwnam(kOther) && std::system("useradd --no-create-home --system morrowset-other >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "useradd failed: no second user";
    const passwd* other = ::getpwnam(kOther);
    ASSERT_NE(other, nullptr);

    TempFolder folder;
    const std::string file = folder.write("WLCLIENT.INI", kRedirecting);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    ASSERT_EQ(::chown(file.c_str(), other->pw_uid, other->pw_gid), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readKey(file), "default");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), file + " ignored: it belongs to another user\n");
}

// The system profile goes through the same door: a group-writable win.INI names no separator.
TEST(ProfileTrust, SystemProfileIsCheckedToo) {
    TempFolder windows;
    const ScopedEnv windir("WINDIR", windows.path());
    const std::string file = windows.write("win.ini", "[intl]\nsDecimal=0\n");
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_write);
    ::testing::internal::CaptureStderr();
    std::string value;
    platform::getPrivateProfileString("intl", "sDecimal", "none", value, 8, "win.INI");
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), HasSubstr("win.ini ignored"));
    EXPECT_EQ(value, "none");
}

}  // namespace
