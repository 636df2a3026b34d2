#include "platform/autostart.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/app_identity.h"
#include "support/child_with_watchdog.h"
#include "support/scoped_services.h"
#include "support/temp_folder.h"

namespace {

std::string execLine(const std::string& exePath, const std::vector<std::string>& arguments = {}) {
    const auto entry = platform::autostartEntry(morrowset::appIdentity(), exePath, arguments);
    if (!entry) return "(refused)";
    const std::size_t at = entry->find("\nExec=");
    return entry->substr(at + 6, entry->find('\n', at + 1) - at - 6);
}

// The path is one quoted argument whatever it holds; what an entry cannot carry is refused.
TEST(Autostart, TheExecutableIsOneQuotedArgument) {
    const struct {
        std::string path;
        std::string exec;
    } cases[] = {
        {"/usr/lib/morrowset/Morrowset", R"("/usr/lib/morrowset/Morrowset")"},
        {"/home/u/my tools/Morrowset", R"("/home/u/my tools/Morrowset")"},
        {"/home/u/a\"b/Morrowset", R"("/home/u/a\\"b/Morrowset")"},
        {"/home/u/$x`y`/Morrowset", R"("/home/u/\\$x\\`y\\`/Morrowset")"},
        {"/home/u/back\\slash/M", R"("/home/u/back\\\\slash/M")"},
        {"/home/u/100%/M", R"("/home/u/100%%/M")"},
        {"/home/u/caf\xC3\xA9/M", "\"/home/u/caf\xC3\xA9/M\""},
        {"/home/u/line\nbreak/M", "(refused)"},
        {"/home/u/latin1-\xE9/M", "(refused)"},
        {"/home/u/cut-\xC3", "(refused)"},
        {"relative/Morrowset", "(refused)"},
    };
    for (const auto& c : cases) EXPECT_EQ(execLine(c.path), c.exec) << c.path;
}

// Arguments follow the path, bare when they are plain words, else quoted as the path is.
TEST(Autostart, ArgumentsFollowThePath) {
    const std::string exe = "/opt/m/Morrowset";
    EXPECT_EQ(execLine(exe, {"--background"}), R"("/opt/m/Morrowset" --background)");
    EXPECT_EQ(execLine(exe, {"--name=a b", "50%"}), R"("/opt/m/Morrowset" "--name=a b" "50%%")");
    EXPECT_EQ(execLine(exe, {"line\nbreak"}), "(refused)");
}

// The entry's file, name, comment and icon are the identity's: the platform names no program.
TEST(Autostart, TheEntryIsNamedByTheProgramsIdentity) {
    testsupport::ScopedServices services;
    services->identity.title = "Night Shift";
    services->identity.systemName = "nightshift";
    services->identity.summary = "Runs things at night";
    testsupport::TempFolder config;
    testsupport::ScopedEnv configHome("XDG_CONFIG_HOME", config.path());
    platform::setStartAtLogin(true, "/opt/night/nightshift");
    EXPECT_TRUE(platform::startsAtLogin());
    EXPECT_EQ(testsupport::readFile(config / "autostart/nightshift.desktop"),
              "[Desktop Entry]\nType=Application\nName=Night Shift\nComment=Runs things at night\n"
              "Exec=\"/opt/night/nightshift\"\nIcon=nightshift\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    platform::setStartAtLogin(false, "");
    EXPECT_FALSE(platform::startsAtLogin());
}

// An autostart folder linked to a shared one, where another user planted a FIFO under the
// name the entry was once written through: switching "Start at login" on does not wait
// for a reader, and the entry goes only to its own file.
TEST(Autostart, AFifoBesideTheEntryDoesNotHoldTheSwitch) {
    testsupport::ScopedServices services;
    testsupport::TempFolder config;
    testsupport::ScopedEnv configHome("XDG_CONFIG_HOME", config.path());
    std::filesystem::create_directory(config / "shared");
    std::filesystem::create_directory_symlink(config / "shared", config / "autostart");
    ASSERT_EQ(::mkfifo((config / "shared/morrowset.desktop.new").c_str(), 0666), 0);

    const auto status = testsupport::runInChildWithWatchdog([] { platform::setStartAtLogin(true, "/opt/m/Morrowset"); });
    ASSERT_EQ(status, 0) << "setStartAtLogin did not return, or failed";
    EXPECT_NE(testsupport::readFile(config / "shared/morrowset.desktop").find("Name=System Morrowset\n"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::is_fifo(config / "shared/morrowset.desktop.new"));
}

}  // namespace
