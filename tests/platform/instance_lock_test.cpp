#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/monitor_link.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// Without XDG_RUNTIME_DIR the lock used to be "/tmp/morrowset-<uid>.lock", opened with
// O_CREAT through whatever link another user put there.
TEST(InstanceLock, TakenInThePrivateFolderNotThroughALinkInTmp) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> savedDir = saved ? std::optional<std::string>(saved) : std::nullopt;
    ::unsetenv("XDG_RUNTIME_DIR");

    testsupport::TempFolder attacker;
    const fs::path oldPath = "/tmp/morrowset-" + std::to_string(::geteuid()) + ".lock";
    std::error_code ignored;
    fs::remove(oldPath, ignored);  // ours: left by an earlier version
    fs::create_symlink(attacker / "chosen-by-attacker", oldPath, ignored);

    const platform::InstanceLock first = platform::takeInstanceLock("morrowset.lock");
    EXPECT_NE(first, platform::InstanceLock::Unavailable);
    EXPECT_FALSE(fs::exists(attacker / "chosen-by-attacker"));
    EXPECT_TRUE(fs::is_regular_file(platform::monitorFolderPath() + "/morrowset.lock"));
    // A second open of the lock, as a second instance would make, finds it held.
    if (first == platform::InstanceLock::First) {
        EXPECT_EQ(platform::takeInstanceLock("morrowset.lock"), platform::InstanceLock::Another);
    }

    fs::remove(oldPath, ignored);
    if (savedDir) ::setenv("XDG_RUNTIME_DIR", savedDir->c_str(), 1);
}

}  // namespace
