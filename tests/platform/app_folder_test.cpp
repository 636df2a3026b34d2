#include "platform/app_folder.h"

#include <gmock/gmock.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "support/temp_folder.h"

namespace {

using testsupport::ScopedEnv;
using testsupport::TempFolder;

struct ConfigCase {
    const char* xdgConfigHome;  // nullptr: unset
    const char* home;
    std::string expected;
};

TEST(AppFolder, UserFolderFollowsXdgConfigHomeThenHome) {
    const ConfigCase cases[] = {
        {"/srv/cfg", "/home/ann", "/srv/cfg/Morrowset"},
        {"/srv/cfg//", "/home/ann", "/srv/cfg/Morrowset"},
        {nullptr, "/home/ann", "/home/ann/.config/Morrowset"},
        {"", "/home/ann", "/home/ann/.config/Morrowset"},
        {"relative/cfg", "/home/ann", "/home/ann/.config/Morrowset"},  // only absolute paths count
        {"/", "/home/ann", "/Morrowset"},
    };
    for (const auto& c : cases) {
        ScopedEnv home("HOME", c.home);
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdgConfigHome ? c.xdgConfigHome : "");
        if (!c.xdgConfigHome) ::unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(platform::userApplicationFolder("Morrowset"), c.expected)
            << "XDG_CONFIG_HOME=" << (c.xdgConfigHome ? c.xdgConfigHome : "(unset)") << " HOME=" << c.home;
    }
}

// Root may write anywhere, so the choice is made in a child process that, under root, has
// become the ordinary user "nobody". Folders are prepared so that `exe` is not writable for
// that user and `home` and `portable` are its own.
class AppFolderAsUser : public ::testing::Test {
protected:
    void SetUp() override {
        ::chmod(base.path().c_str(), 0755);
        for (const char* name : {"exe", "portable", "home"}) ::mkdir((base / name).c_str(), 0755);
        if (asRoot) {
            for (const char* name : {"portable", "home"}) ASSERT_EQ(::chown((base / name).c_str(), kNobody, kNobody), 0);
        } else {
            ::chmod((base / "exe").c_str(), 0555);
        }
    }

    // Runs `choose` in a child as the ordinary user with HOME and XDG_CONFIG_HOME as given
    // (nullptr: unset), and returns what it printed.
    std::string runAsUser(const char* home, const char* xdgConfigHome, const std::function<std::string()>& choose) {
        int out[2];
        if (::pipe(out) != 0) return "pipe failed";
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(out[0]);
            if (asRoot && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(3);
            home ? ::setenv("HOME", home, 1) : ::unsetenv("HOME");
            xdgConfigHome ? ::setenv("XDG_CONFIG_HOME", xdgConfigHome, 1) : ::unsetenv("XDG_CONFIG_HOME");
            const std::string result = choose();
            const bool written = ::write(out[1], result.data(), result.size()) == static_cast<ssize_t>(result.size());
            ::_exit(written ? 0 : 4);
        }
        ::close(out[1]);
        std::string result;
        char buffer[512];
        for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) result.append(buffer, static_cast<std::size_t>(n));
        ::close(out[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
        return result;
    }

    static unsigned modeOf(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }

    static constexpr uid_t kNobody = 65534;
    const bool asRoot = ::geteuid() == 0;
    TempFolder base;
};

TEST_F(AppFolderAsUser, APortableCopyKeepsItsFilesBesideItself) {
    const std::string home = base / "home";
    const std::string portable = base / "portable";
    EXPECT_EQ(runAsUser(home.c_str(), nullptr, [&] { return platform::chooseApplicationFolder(portable, "Morrowset"); }), portable);
    EXPECT_FALSE(std::filesystem::exists(home + "/.config")) << "nothing is made in the home folder";
}

TEST_F(AppFolderAsUser, AnInstalledCopyUsesTheUsersConfigFolderMadePrivate) {
    const std::string home = base / "home";
    const std::string exe = base / "exe";
    const std::string chosen = runAsUser(home.c_str(), nullptr, [&] { return platform::chooseApplicationFolder(exe, "Morrowset"); });
    EXPECT_EQ(chosen, home + "/.config/Morrowset");
    EXPECT_EQ(modeOf(home + "/.config"), 0700u);
    EXPECT_EQ(modeOf(chosen), 0700u);

    // A second start finds the folder and leaves it as the user keeps it.
    ::chmod(chosen.c_str(), 0750);
    EXPECT_EQ(runAsUser(home.c_str(), nullptr, [&] { return platform::chooseApplicationFolder(exe, "Morrowset"); }), chosen);
    EXPECT_EQ(modeOf(chosen), 0750u);

    const std::string xdg = home + "/elsewhere";
    EXPECT_EQ(runAsUser(home.c_str(), xdg.c_str(), [&] { return platform::chooseApplicationFolder(exe, "Morrowset"); }),
              xdg + "/Morrowset");
}

TEST_F(AppFolderAsUser, WithoutAUsableUserFolderTheExecutablesFolderStays) {
    const std::string exe = base / "exe";
    const std::string notAFolder = base.write("home/file", "");
    if (asRoot) ::chown(notAFolder.c_str(), kNobody, kNobody);
    // XDG_CONFIG_HOME names a file, so the folder cannot be made below it.
    EXPECT_EQ(runAsUser((base / "home").c_str(), notAFolder.c_str(),
                        [&] { return platform::chooseApplicationFolder(exe, "Morrowset"); }),
              exe);
}

}  // namespace
