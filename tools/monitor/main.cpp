// wardline-monitor: shows the trace lines of programs running under the Wardline runtime,
// and holds them on request. See usage() and src/platform/monitor_link.h.
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "circlog/circular_log_reader.h"
#include "common/tool_options.h"
#include "platform/monitor_link.h"

namespace {

constexpr const char* kTool = "wardline-monitor";

void usage() {
    std::fputs(
        "usage: wardline-monitor [--title TITLE] [--hold] [--step]\n"
        "Prints every trace line that programs running under the Wardline runtime send.\n"
        "  --title TITLE  listen as TITLE (default \"Korvex Wardline\"); a program takes a monitor\n"
        "                 titled \"Korvex Wardline\" or \"Korvex Wardline - <anything>\"\n"
        "  --hold         hold the program at the first line it sends\n"
        "  --step         hold at every line (each release lets one line through)\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the version and exit\n"
        "Commands on standard input, one per line:\n"
        "  h, hold        hold the program at the next line\n"
        "  r, release     let a held program go on\n"
        "  q, quit        stop the monitor\n"
        "Signals: SIGUSR1 holds, SIGUSR2 releases, SIGINT and SIGTERM stop.\n"
        "A program looks for its monitor once, when it starts: start the monitor first.\n"
        "A program that does not take its answers within 2 seconds is dropped, so that one\n"
        "stuck program never keeps the others waiting.\n",
        stdout);
}

struct Options {
    std::string title = "Korvex Wardline";
    bool holdFirst = false;
    bool step = false;
};

// The exit code when the command line says to stop here.
std::optional<int> parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = nullptr;
        if (tooloptions::isHelp(arg)) {
            usage();
            return 0;
        } else if (tooloptions::isVersion(arg)) {
            return tooloptions::printVersion(kTool);
        } else if (tooloptions::optionWithValue("--title", argc, argv, i, value)) {
            if (!value) return tooloptions::badCommandLine(kTool, "--title needs a title");
            options.title = value;
        } else if (arg == "--hold") {
            options.holdFirst = true;
        } else if (arg == "--step") {
            options.step = true;
        } else if (!arg.empty() && arg.front() == '-') {
            return tooloptions::badCommandLine(kTool, "unknown option '" + std::string(arg) + "'");
        } else {
            return tooloptions::badCommandLine(kTool, "unexpected argument '" + std::string(arg) + "'");
        }
    }
    return std::nullopt;
}

void status(const std::string& text) {
    std::fprintf(stderr, "wardline-monitor: %s\n", text.c_str());
    std::fflush(stderr);
}

class Monitor {
  public:
    explicit Monitor(const Options& options)
        : step_(options.step), armed_(options.holdFirst || options.step) {}

    void hold() {
        armed_ = true;
        status("will hold at the next line");
    }
    void release() {
        armed_ = step_;
        if (holding_) status("released");
        holding_ = false;
    }

    int32_t answer(const platform::MonitorRequestReader::Request& request) {
        using namespace platform;
        if (request.message == kMonitorSetText) return show(request.text);
        if (request.message == kMonitorQuery && request.wParam == kMonitorQueryStillHolding)
            return holding_ ? 1 : 0;
        if (request.message == kMonitorQuery && request.wParam == kMonitorQueryHoldOver)
            return holding_ ? 0 : 1;
        return 0;
    }

  private:
    int32_t show(std::string_view line) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
        // A client's bytes never reach the terminal raw: control characters (escape
        // sequences among them) are shown as \xNN, as the log reader shows them.
        const std::string shown = circlog::printable(line);
        std::fwrite(shown.data(), 1, shown.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        if (!armed_ || holding_) return 0;
        armed_ = false;
        holding_ = true;
        status("holding");
        return platform::kMonitorHold;
    }

    bool step_;
    bool armed_;
    bool holding_ = false;
};

using Clock = std::chrono::steady_clock;

// A client must take each answer within this time, as the program itself waits no longer
// for one; one that does not is dropped.
constexpr auto kAnswerDeadline = std::chrono::milliseconds(platform::kMonitorTimeoutMilliseconds);
// Answers held for a client that does not take them; with this many, nothing more is read
// from it until it does.
constexpr std::size_t kMaxUnsent = 64 * 1024;

// One connected program. Every write to it is non-blocking: answers it does not take at
// once wait in `unsent`, and the monitor goes on serving the others.
struct Client {
    platform::MonitorRequestReader reader;
    std::string unsent;
    Clock::time_point unsentSince;  // when `unsent` last stopped being empty

    bool wantsInput() const { return unsent.size() < kMaxUnsent; }
    bool late(Clock::time_point now) const { return !unsent.empty() && now - unsentSince >= kAnswerDeadline; }
};

// Sends what the client will take now. False when the connection failed.
bool flush(int fd, Client& client) {
    while (!client.unsent.empty()) {
        const ssize_t sent =
            ::send(fd, client.unsent.data(), client.unsent.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
        client.unsent.erase(0, static_cast<std::size_t>(sent));
    }
    return true;
}

// Reads what one client sent and answers each complete request. False when the
// connection is over.
bool serve(int fd, Client& client, Monitor& monitor) {
    char buffer[65536];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
    if (got <= 0) return false;
    client.reader.feed(buffer, static_cast<std::size_t>(got));
    if (client.unsent.empty()) client.unsentSince = Clock::now();
    while (auto request = client.reader.next())
        client.unsent += platform::encodeMonitorAnswer(monitor.answer(*request));
    return !client.reader.broken() && flush(fd, client);
}

// How long poll may wait: until the earliest answer deadline, or for ever.
int pollTimeout(const std::map<int, Client>& clients, Clock::time_point now) {
    std::optional<Clock::time_point> earliest;
    for (const auto& [fd, client] : clients)
        if (!client.unsent.empty())
            earliest =
                std::min(earliest.value_or(Clock::time_point::max()), client.unsentSince + kAnswerDeadline);
    if (!earliest) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*earliest - now).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

// A command typed on standard input. False for "quit".
bool command(std::string_view line, Monitor& monitor) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.remove_suffix(1);
    if (line == "h" || line == "hold")
        monitor.hold();
    else if (line == "r" || line == "release")
        monitor.release();
    else if (line == "q" || line == "quit")
        return false;
    else if (!line.empty())
        status("unknown command (hold, release, quit)");
    return true;
}

int signalDescriptor() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGUSR1, SIGUSR2, SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &signals, SFD_CLOEXEC);
}

int run(const Options& options) {
    const int signals = signalDescriptor();
    platform::MonitorListener listener(options.title);
    status("listening as \"" + options.title + "\" at " + listener.path());
    Monitor monitor(options);
    std::map<int, Client> clients;
    std::string typed;
    bool stdinOpen = true;

    for (;;) {
        std::vector<pollfd> waiting = {
            {listener.fd(), POLLIN, 0}, {signals, POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        for (const auto& [fd, client] : clients) {
            const short events = static_cast<short>((client.wantsInput() ? POLLIN : 0) |
                                                    (client.unsent.empty() ? 0 : POLLOUT));
            waiting.push_back({fd, events, 0});
        }
        if (::poll(waiting.data(), waiting.size(), pollTimeout(clients, Clock::now())) < 0) continue;

        if (waiting[1].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signals, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGUSR1)
                    monitor.hold();
                else if (info.ssi_signo == SIGUSR2)
                    monitor.release();
                else
                    return 0;
            }
        }
        if (waiting[2].revents & (POLLIN | POLLHUP)) {
            char buffer[256];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) stdinOpen = false;
            typed.append(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
            for (auto end = typed.find('\n'); end != std::string::npos; end = typed.find('\n')) {
                const bool goOn = command(std::string_view(typed).substr(0, end), monitor);
                typed.erase(0, end + 1);
                if (!goOn) return 0;
            }
        }
        const auto now = Clock::now();
        for (std::size_t i = 3; i < waiting.size(); ++i) {
            const int fd = waiting[i].fd;
            Client& client = clients[fd];
            bool open = true;
            if (waiting[i].revents & POLLOUT) open = flush(fd, client);
            if (open && (waiting[i].revents & (POLLIN | POLLHUP | POLLERR)))
                open = serve(fd, client, monitor);
            if (open && client.late(now)) {
                status("dropped a program that did not take its answers");
                open = false;
            }
            if (!open) {
                ::close(fd);
                clients.erase(fd);
            }
        }
        if (waiting[0].revents & POLLIN) {
            const int peer = listener.acceptPeer();
            if (peer >= 0) clients[peer];
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const auto exitCode = parse(argc, argv, options)) return *exitCode;
    try {
        return run(options);
    } catch (const std::exception& error) {
        status(error.what());
        return 1;
    }
}
