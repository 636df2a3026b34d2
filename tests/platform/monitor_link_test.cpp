#include "platform/monitor_link.h"

#include <gmock/gmock.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "support/monitor_process.h"
#include "support/temp_folder.h"

namespace {

using ::testing::HasSubstr;
using testsupport::MonitorProcess;
using testsupport::ScopedEnv;
using testsupport::TempFolder;

// Every test gets a private runtime folder of its own, so real monitors of the user never
// take part.
class MonitorLinkTest : public ::testing::Test {
protected:
    TempFolder runtimeDir;
    ScopedEnv xdg{"XDG_RUNTIME_DIR", runtimeDir.path()};

    std::string folder() const { return runtimeDir.path() + "/wardline"; }
};

TEST(MonitorTitle, RuleTakesTheExactTitleOrTheDashPrefix) {
    const std::pair<const char*, bool> cases[] = {
        {"Korvex Wardline", true},        {"Korvex Wardline -", true},  {"Korvex Wardline - Build 7", true},
        {"Korvex Wardline -x", true},     {"Korvex Wardline1", false},  {"Korvex Wardline ", false},
        {"Korvex Wardline-", false},      {"korvex wardline", false},   {"Korvex Wardlin", false},
        {"My Korvex Wardline", false},    {"", false},
    };
    for (const auto& [title, taken] : cases) EXPECT_EQ(platform::isMonitorTitle(title), taken) << title;
}

TEST(MonitorTitle, EveryTitleHasOneSafeFileName) {
    const char* titles[] = {"Korvex Wardline - Build 7", "a/b", "100%", ".hidden", "..", "tab\there",
                            "\xE9t\xE9",                 "%41"};
    for (const std::string title : titles) {
        const std::string name = platform::encodeMonitorTitle(title);
        EXPECT_EQ(name.find('/'), std::string::npos) << title;
        EXPECT_NE(name.front(), '.') << title;
        EXPECT_EQ(platform::decodeMonitorTitle(name), title) << title;
    }
    EXPECT_EQ(platform::encodeMonitorTitle("Korvex Wardline - 7"), "Korvex Wardline - 7");
    EXPECT_EQ(platform::encodeMonitorTitle("a/b%"), "a%2Fb%25");
    EXPECT_EQ(platform::decodeMonitorTitle("%41"), std::nullopt) << "one spelling per title";
    EXPECT_EQ(platform::decodeMonitorTitle("bad%2"), std::nullopt);
    EXPECT_EQ(platform::decodeMonitorTitle("bad%zz"), std::nullopt);
}

TEST_F(MonitorLinkTest, FolderIsCreatedPrivateAndRefusedWhenOpen) {
    std::string why;
    const int fd = platform::openMonitorFolder(&why);
    ASSERT_GE(fd, 0) << why;
    ::close(fd);
    struct stat info {};
    ASSERT_EQ(::stat(folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    ::chmod(folder().c_str(), 0755);
    EXPECT_EQ(platform::openMonitorFolder(&why), -1);
    EXPECT_THAT(why, HasSubstr("group or others"));

    ::rmdir(folder().c_str());
    TempFolder elsewhere;
    ::chmod(elsewhere.path().c_str(), 0700);
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), folder().c_str()), 0);
    EXPECT_EQ(platform::openMonitorFolder(&why), -1) << "a symbolic link is not the folder";
    EXPECT_THAT(why, HasSubstr("not a directory"));
}

TEST(MonitorFolder, WithoutRuntimeDirItIsPerUserInTmp) {
    ScopedEnv none("XDG_RUNTIME_DIR", "");
    EXPECT_EQ(platform::monitorFolderPath(), "/tmp/wardline-" + std::to_string(::geteuid()));
}

// A socket whose monitor is gone: bound, then closed without removing it.
void leaveStaleSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

TEST_F(MonitorLinkTest, FindTakesTheFirstLiveMonitorWhoseTitlePasses) {
    EXPECT_FALSE(platform::MonitorLink::find().connected()) << "no monitor yet";

    MonitorProcess wrongTitle({"--title", "Korvex Wardline2"});
    MonitorProcess second({"--title", "Korvex Wardline - B"});
    MonitorProcess first({"--title", "Korvex Wardline - A"});
    ASSERT_TRUE(wrongTitle.waitUntilListening());
    ASSERT_TRUE(second.waitUntilListening());
    ASSERT_TRUE(first.waitUntilListening());
    leaveStaleSocket(folder() + "/Korvex Wardline - 0");

    platform::MonitorLink link = platform::MonitorLink::find();
    ASSERT_TRUE(link.connected());
    EXPECT_EQ(link.title(), "Korvex Wardline - A");
    EXPECT_EQ(link.send(platform::kMonitorSetText, 6, "hello\n"), 0);
    EXPECT_EQ(first.nextLine(), "hello");
}

TEST_F(MonitorLinkTest, HoldAndReleaseFollowTheMessageTable) {
    using namespace platform;
    MonitorProcess monitor({"--hold"});
    ASSERT_TRUE(monitor.waitUntilListening());
    MonitorLink link = MonitorLink::find();
    ASSERT_TRUE(link.connected());

    const std::string line = "[Morrowset] [00001] [00000.001] ->frmMain.frm : Sub Form_Load : \r\n";
    EXPECT_EQ(link.send(kMonitorSetText, static_cast<uint32_t>(line.size()), line), kMonitorHold);
    EXPECT_EQ(monitor.nextLine(), line.substr(0, line.size() - 2));
    EXPECT_EQ(monitor.nextStatus(), "wardline-monitor: holding");
    EXPECT_NE(link.send(kMonitorQuery, kMonitorQueryStillHolding), 0);
    EXPECT_EQ(link.send(kMonitorQuery, kMonitorQueryHoldOver), 0);

    monitor.command("release");
    EXPECT_EQ(monitor.nextStatus(), "wardline-monitor: released");
    EXPECT_EQ(link.send(kMonitorQuery, kMonitorQueryStillHolding), 0);
    EXPECT_NE(link.send(kMonitorQuery, kMonitorQueryHoldOver), 0);
    EXPECT_EQ(link.send(kMonitorSetText, 3, "two"), 0) << "held once only";
    EXPECT_EQ(link.send(99, 0), 0) << "unknown messages answer 0";
    EXPECT_TRUE(link.connected());
}

TEST_F(MonitorLinkTest, ADeadMonitorAnswersZero) {
    MonitorProcess monitor({"--hold"});
    ASSERT_TRUE(monitor.waitUntilListening());
    platform::MonitorLink link = platform::MonitorLink::find();
    ASSERT_TRUE(link.connected());
    monitor.kill();
    EXPECT_EQ(link.send(platform::kMonitorSetText, 4, "line"), 0);
    EXPECT_FALSE(link.connected());
    EXPECT_EQ(link.send(platform::kMonitorQuery, 1), 0);
}

TEST_F(MonitorLinkTest, AHungMonitorAnswersZeroAfterTheTimeOut) {
    MonitorProcess monitor({});
    ASSERT_TRUE(monitor.waitUntilListening());
    platform::MonitorLink link = platform::MonitorLink::find();
    ASSERT_TRUE(link.connected());
    monitor.signal(SIGSTOP);
    EXPECT_EQ(link.send(platform::kMonitorSetText, 4, "line"), 0);
    EXPECT_FALSE(link.connected()) << "a late answer must not be taken for the next one";
}

TEST_F(MonitorLinkTest, OneLiveMonitorPerTitle) {
    MonitorProcess first({});
    ASSERT_TRUE(first.waitUntilListening());
    MonitorProcess second({});
    const auto status = second.nextStatus();
    ASSERT_TRUE(status);
    EXPECT_THAT(*status, HasSubstr("already listens"));
    EXPECT_EQ(second.wait(), 1);

    first.kill();  // leaves its socket behind
    MonitorProcess third({});
    EXPECT_TRUE(third.waitUntilListening()) << "a socket left by a dead monitor is taken over";
    EXPECT_THROW(platform::MonitorListener(std::string(200, 'x')), std::runtime_error) << "too long";
}

TEST(MonitorRequestReader, SplitsRequestsAndRefusesBrokenOnes) {
    const std::string text = "abc";
    std::string bytes = std::string("\x0C\0\0\0\x03\0\0\0", 8) + text + '\0' + std::string("\x64\x04\0\0\x01\0\0\0", 8);
    platform::MonitorRequestReader reader;
    for (char c : bytes) reader.feed(&c, 1);  // as slowly as a socket may deliver
    auto first = reader.next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->message, 12u);
    EXPECT_EQ(first->text, "abc");
    auto second = reader.next();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->message, 1124u);
    EXPECT_EQ(second->wParam, 1u);
    EXPECT_FALSE(reader.next());
    EXPECT_FALSE(reader.broken());

    platform::MonitorRequestReader unterminated;
    const std::string bad = std::string("\x0C\0\0\0\x01\0\0\0", 8) + "xy";
    unterminated.feed(bad.data(), bad.size());
    EXPECT_FALSE(unterminated.next());
    EXPECT_TRUE(unterminated.broken());

    platform::MonitorRequestReader huge;
    const std::string head = std::string("\x0C\0\0\0\0\0\0\x7F", 8);
    huge.feed(head.data(), head.size());
    EXPECT_FALSE(huge.next());
    EXPECT_TRUE(huge.broken());
}

}  // namespace
