#pragma once
// A virtual X server (Xvfb) of the test's own, for a program that must be driven through
// its window from outside (xdotool); ended with the object.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace testsupport {

class XServer {
public:
    // Starts Xvfb on a free display and waits up to 10 s for it to take connections.
    XServer() {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            const std::string fd = std::to_string(ready[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "1024x768x24",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ready[1]);
        // Xvfb writes its display's number and a line end once it listens.
        std::string number;
        pollfd watched{ready[0], POLLIN, 0};
        char c = 0;
        while (::poll(&watched, 1, 10000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n') number.push_back(c);
        ::close(ready[0]);
        if (c == '\n' && !number.empty()) display_ = ":" + number;
    }
    ~XServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":N", or "" when no X server could be started.
    const std::string& display() const { return display_; }

    // Runs xdotool with `arguments` (as a shell reads them) on this display; true when it
    // succeeded.
    bool xdotool(const std::string& arguments) const {
        return std::system(("DISPLAY=" + display_ + " xdotool " + arguments + " >/dev/null").c_str()) == 0;
    }

    // Whether the programs an X session test needs are installed.
    static bool available() {
        return std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") == 0;
    }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace testsupport
