// The monitor program (tools/monitor) with real programs' connections.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/monitor_link.h"
#include "support/monitor_process.h"
#include "support/temp_folder.h"

namespace {

using ::testing::HasSubstr;
using testsupport::MonitorProcess;
using testsupport::ScopedEnv;
using testsupport::TempFolder;

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends queries and never reads the answers, until the monitor takes no more for a second
// or drops the connection.
void sendWithoutReading(int fd) {
    std::string queries;
    for (int i = 0; i < 4096; ++i) {
        for (const uint32_t word : {platform::kMonitorQuery, platform::kMonitorQueryStillHolding})
            for (int byte = 0; byte < 4; ++byte) queries += static_cast<char>((word >> (8 * byte)) & 0xFF);
    }
    for (std::size_t total = 0; total < (256u << 20);) {
        const ssize_t sent = ::send(fd, queries.data(), queries.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            total += static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return;  // dropped already
        pollfd writable{fd, POLLOUT, 0};
        if (::poll(&writable, 1, 1000) == 0) return;  // the monitor stopped reading
    }
    FAIL() << "the monitor took 256 MB of queries without the answers being read";
}

// True once the connection has ended (after what was still buffered for it).
bool endsAfterBufferedAnswers(int fd) {
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 10000) <= 0) return false;
        char chunk[65536];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0 || (got < 0 && errno == ECONNRESET)) return true;
        if (got < 0 && errno != EAGAIN) return false;
    }
}

TEST(MonitorProgram, AProgramThatNeverReadsIsDroppedWhileTheOthersGetTheirAnswers) {
    TempFolder runtimeDir;
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtimeDir.path());
    MonitorProcess monitor({});
    ASSERT_TRUE(monitor.waitUntilListening());
    const int greedy =
        connectTo(platform::monitorFolderPath() + "/" + platform::encodeMonitorTitle("Korvex Wardline"));
    ASSERT_GE(greedy, 0);

    sendWithoutReading(greedy);
    platform::MonitorLink program = platform::MonitorLink::find();
    ASSERT_TRUE(program.connected());
    // 1: "the hold is over"; a monitor that did not answer would count as 0.
    EXPECT_EQ(program.send(platform::kMonitorQuery, platform::kMonitorQueryHoldOver), 1);

    std::optional<std::string> status;
    while ((status = monitor.nextStatus()) && status->find("dropped") == std::string::npos) {
    }
    ASSERT_TRUE(status) << "the monitor never dropped the program that did not read";
    EXPECT_THAT(*status, HasSubstr("did not take its answers"));
    EXPECT_TRUE(endsAfterBufferedAnswers(greedy));
    EXPECT_EQ(program.send(platform::kMonitorQuery, platform::kMonitorQueryHoldOver), 1)
        << "the other one stays";
    ::close(greedy);
}

// A client's line never reaches the monitor's terminal raw: escape sequences and other
// control characters are shown as \xNN, as the log reader shows them.
TEST(MonitorProgram, ControlCharactersOfAClientAreShownNotSent) {
    TempFolder runtimeDir;
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtimeDir.path());
    MonitorProcess monitor({});
    ASSERT_TRUE(monitor.waitUntilListening());
    platform::MonitorLink program = platform::MonitorLink::find();
    ASSERT_TRUE(program.connected());
    // 0x9B alone is an 8-bit terminal's CSI; inside U+201B it is text.
    const std::string line =
        "[Morrowset] [00001] \x1b]0;owned\x07\x1b[2J\tframe\xc2\x9b" "1m \x9b" "31m \xe2\x80\x9b\r\n";
    program.send(platform::kMonitorSetText, static_cast<uint32_t>(line.size()), line);
    const auto shown = monitor.nextLine();
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, "[Morrowset] [00001] \\x1B]0;owned\\x07\\x1B[2J\tframe\\xC2\\x9B1m \\x9B31m \xe2\x80\x9b");
}

}  // namespace
