#include "platform/instance_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <string>

#include "support/event_loop.h"
#include "support/temp_folder.h"

namespace {

using namespace std::chrono_literals;
using platform::InstanceAnswer;
using Status = InstanceAnswer::Status;

// A first instance in a private folder of the test's own: it answers "status" with a line,
// "big" with the longest answer, more than a socket takes at once, and counts the requests for its window. The
// asking side runs on a thread of its own, as another process would, while the event loop
// runs here.
class InstanceChannelTest : public ::testing::Test {
protected:
    InstanceChannelTest() {
        testsupport::ensureCoreApplication();  // the server listens on the event loop
        std::filesystem::create_directory(apps / "copy-a");
    }

    std::string name() const { return platform::instanceName("app", apps / "copy-a"); }

    std::unique_ptr<platform::InstanceServer> serve() {
        return std::make_unique<platform::InstanceServer>(
            name(), platform::InstanceServer::Handlers{[this] { ++shown; }, [this](const std::string& line) {
                                                           lines.push_back(line);
                                                           return line == "big" ? std::string(platform::kLongestAnswer, 'x')
                                                                                : "answer to " + line + "\n";
                                                       }});
    }

    // Asks on another thread and runs the event loop until the answer is there.
    InstanceAnswer ask(const std::string& line, std::chrono::milliseconds patience = 5s) {
        auto asked = std::async(std::launch::async, [=, this] { return platform::askInstance(name(), line, patience); });
        testsupport::runEventsUntil([&] { return asked.wait_for(0s) == std::future_status::ready; });
        return asked.get();
    }

    testsupport::TempFolder runtimeFolder;
    testsupport::ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtimeFolder.path()};
    testsupport::TempFolder apps;
    int shown = 0;
    std::vector<std::string> lines;
};

TEST_F(InstanceChannelTest, ALineIsAnsweredAndAConnectionWithoutAWordAsksForTheWindow) {
    EXPECT_EQ(ask("status").status, Status::NotRunning) << "nobody listens yet";
    const auto server = serve();
    ASSERT_TRUE(server->listening());

    const InstanceAnswer answer = ask("status");
    EXPECT_EQ(answer.status, Status::Answered);
    EXPECT_EQ(answer.text, "answer to status\n");
    EXPECT_EQ(ask("big").text.size(), platform::kLongestAnswer) << "an answer larger than the socket takes at once";
    EXPECT_EQ(shown, 0);

    // A later start as it always asked: it connects and closes.
    ASSERT_TRUE(platform::askFirstInstanceToShow(name(), 0));
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return shown == 1; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"status", "big"}));
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return server->connections() == 0; }));
}

// Peers that misbehave cost the first instance nothing: one that says nothing, one that
// never ends its line, one that leaves before taking its answer. Meanwhile the others are
// answered, and at the end none is left open.
TEST_F(InstanceChannelTest, PeersThatMisbehaveAreDroppedWhileOthersAreAnswered) {
    const auto server = serve();
    const int silent = platform::connectToInstance(name());
    ASSERT_GE(silent, 0);
    const int endless = platform::connectToInstance(name());
    ASSERT_GE(endless, 0);
    const std::string tooLong(platform::kLongestRequest, 's');
    ASSERT_EQ(::send(endless, tooLong.data(), tooLong.size(), MSG_NOSIGNAL), static_cast<ssize_t>(tooLong.size()));
    const int leaving = platform::connectToInstance(name());
    ASSERT_GE(leaving, 0);
    ASSERT_EQ(::send(leaving, "big\n", 4, MSG_NOSIGNAL), 4);
    testsupport::runEventsUntil([&] { return lines.size() == 1; });
    ::close(leaving);  // its answer is still being written: the next write finds it gone

    EXPECT_EQ(ask("status").text, "answer to status\n") << "answered while the others hang on";
    char byte = 0;
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return ::recv(silent, &byte, 1, MSG_DONTWAIT) == 0; }))
        << "the silent peer was not dropped";
    EXPECT_EQ(::recv(endless, &byte, 1, MSG_DONTWAIT), 0) << "the endless line was not dropped";
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return server->connections() == 0; }));
    EXPECT_EQ(shown, 0) << "a dropped peer asked for nothing";
    EXPECT_EQ(lines, (std::vector<std::string>{"big", "status"}));
    ::close(silent);
    ::close(endless);
}

// The asking side gives up when its patience is over: a first instance that takes the
// connection but never answers, as one whose event loop is held, costs it no more than that.
TEST_F(InstanceChannelTest, TheAskingSideWaitsNoLongerThanItsPatience) {
    platform::InstanceListener heldLoop(name());
    ASSERT_TRUE(heldLoop.listening());
    EXPECT_EQ(platform::askInstance(name(), "status", 300ms).status, Status::NoAnswer);
}

}  // namespace
