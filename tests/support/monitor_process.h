#pragma once
// The real monitor program (tools/monitor) run as a child process for a test: its standard
// input takes commands, its standard output gives the lines it received, its standard
// error its status messages. It inherits the test's environment (XDG_RUNTIME_DIR).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace testsupport {

inline std::string monitorProgram() { return std::string(MORROWSET_BINARY_DIR) + "/bin/wardline-monitor"; }

class MonitorProcess {
public:
    explicit MonitorProcess(const std::vector<std::string>& arguments) {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC))
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        std::vector<std::string> args = {monitorProgram()};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        const int failed = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        toStdin_ = in[1];
        fromStdout_ = out[0];
        fromStderr_ = err[0];
        if (failed) throw std::runtime_error("cannot start " + monitorProgram());
    }
    ~MonitorProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::kill(pid_, SIGCONT);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {toStdin_, fromStdout_, fromStderr_}) ::close(fd);
    }
    MonitorProcess(const MonitorProcess&) = delete;
    MonitorProcess& operator=(const MonitorProcess&) = delete;

    // Waits for the status message saying that it listens; false when it said something
    // else first (it refused to start) or stayed silent.
    bool waitUntilListening() {
        const auto status = nextStatus();
        return status && status->find("listening") != std::string::npos;
    }
    // The next line it printed (a trace line it received), without its line end.
    std::optional<std::string> nextLine(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
        return readLine(fromStdout_, stdoutBuffer_, wait);
    }
    std::optional<std::string> nextStatus(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
        return readLine(fromStderr_, stderrBuffer_, wait);
    }
    void command(const std::string& text) {
        const std::string line = text + "\n";
        if (::write(toStdin_, line.data(), line.size()) < 0) throw std::runtime_error("monitor stdin closed");
    }
    void signal(int number) { ::kill(pid_, number); }
    // Waits for it to end; its exit code, or -1 when a signal ended it.
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Ends it at once, as a crash would.
    void kill() {
        ::kill(pid_, SIGKILL);
        wait();
    }

private:
    static std::optional<std::string> readLine(int fd, std::string& buffer, std::chrono::milliseconds wait) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            if (const auto end = buffer.find('\n'); end != std::string::npos) {
                std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd waiting{fd, POLLIN, 0};
            if (::poll(&waiting, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[4096];
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got <= 0) return std::nullopt;
            buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }

    pid_t pid_ = -1;
    int toStdin_ = -1;
    int fromStdout_ = -1;
    int fromStderr_ = -1;
    std::string stdoutBuffer_;
    std::string stderrBuffer_;
};

}  // namespace testsupport
