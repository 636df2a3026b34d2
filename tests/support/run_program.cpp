#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace toolstest {

Ran runProgram(const std::vector<std::string>& arguments, unsigned long addressSpaceLimit) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) throw std::runtime_error("pipe failed");
    std::vector<char*> argv;
    for (const std::string& arg : arguments) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (addressSpaceLimit) {
            const rlimit limit{addressSpaceLimit, addressSpaceLimit};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    Ran ran;
    pollfd streams[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* into[2] = {&ran.out, &ran.err};
    int open = 2;
    while (open > 0) {
        if (::poll(streams, 2, -1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || !streams[i].revents) continue;
            char chunk[4096];
            const ssize_t got = ::read(streams[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                into[i]->append(chunk, static_cast<std::size_t>(got));
            } else {
                ::close(streams[i].fd);
                streams[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ran.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

}  // namespace toolstest
