// wardline-monitor: shows the trace lines of programs running under the Wardline runtime,
// and holds them on request. See usage() and src/platform/monitor_link.h.
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/monitor_link.h"

namespace {

void usage(std::FILE* to) {
    std::fputs(
        "usage: wardline-monitor [--title TITLE] [--hold] [--step]\n"
        "Prints every trace line that programs running under the Wardline runtime send.\n"
        "  --title TITLE  listen as TITLE (default \"Korvex Wardline\"); a program takes a monitor\n"
        "                 titled \"Korvex Wardline\" or \"Korvex Wardline - <anything>\"\n"
        "  --hold         hold the program at the first line it sends\n"
        "  --step         hold at every line (each release lets one line through)\n"
        "Commands on standard input, one per line:\n"
        "  h, hold        hold the program at the next line\n"
        "  r, release     let a held program go on\n"
        "  q, quit        stop the monitor\n"
        "Signals: SIGUSR1 holds, SIGUSR2 releases, SIGINT and SIGTERM stop.\n"
        "A program looks for its monitor once, when it starts: start the monitor first.\n",
        to);
}

struct Options {
    std::string title = "Korvex Wardline";
    bool holdFirst = false;
    bool step = false;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--title" && i + 1 < argc)
            options.title = argv[++i];
        else if (arg == "--hold")
            options.holdFirst = true;
        else if (arg == "--step")
            options.step = true;
        else
            return false;
    }
    return true;
}

void status(const std::string& text) {
    std::fprintf(stderr, "wardline-monitor: %s\n", text.c_str());
    std::fflush(stderr);
}

class Monitor {
public:
    explicit Monitor(const Options& options) : step_(options.step), armed_(options.holdFirst || options.step) {}

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
        if (request.message == kMonitorQuery && request.wParam == kMonitorQueryStillHolding) return holding_ ? 1 : 0;
        if (request.message == kMonitorQuery && request.wParam == kMonitorQueryHoldOver) return holding_ ? 0 : 1;
        return 0;
    }

private:
    int32_t show(std::string_view line) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
        std::fwrite(line.data(), 1, line.size(), stdout);
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

struct Client {
    platform::MonitorRequestReader reader;
};

// Reads what one client sent and answers each complete request. False when the
// connection is over.
bool serve(int fd, Client& client, Monitor& monitor) {
    char buffer[65536];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) return false;
    client.reader.feed(buffer, static_cast<std::size_t>(got));
    while (auto request = client.reader.next()) {
        const std::string answer = platform::encodeMonitorAnswer(monitor.answer(*request));
        if (::write(fd, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size())) return false;
    }
    return !client.reader.broken();
}

// A command typed on standard input. False for "quit".
bool command(std::string_view line, Monitor& monitor) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
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
        std::vector<pollfd> waiting = {{listener.fd(), POLLIN, 0}, {signals, POLLIN, 0},
                                       {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        for (const auto& [fd, client] : clients) waiting.push_back({fd, POLLIN, 0});
        if (::poll(waiting.data(), waiting.size(), -1) < 0) continue;

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
        for (std::size_t i = 3; i < waiting.size(); ++i) {
            if (!(waiting[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const int fd = waiting[i].fd;
            if (!serve(fd, clients[fd], monitor)) {
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
    if (!parse(argc, argv, options)) {
        usage(stderr);
        return 2;
    }
    try {
        return run(options);
    } catch (const std::exception& error) {
        status(error.what());
        return 1;
    }
}
