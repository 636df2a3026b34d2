#include "support/program_under_test.h"

#include <fcntl.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {

namespace fs = std::filesystem;

ProgramUnderTest::ProgramUnderTest() {
    std::string pattern = (fs::temp_directory_path() / "morrowset-e2e-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    fs::copy_file(MORROWSET_EXE, folder_ / "Morrowset");
    if (fs::exists(MORROWSET_HELP_FILE)) fs::copy_file(MORROWSET_HELP_FILE, folder_ / "wardline.hlp");
}

ProgramUnderTest::~ProgramUnderTest() {
    stop();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void ProgramUnderTest::writeFile(const std::string& name, const std::string& content, unsigned mode) const {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << content;
    ::chmod(path.c_str(), mode);
}

std::string ProgramUnderTest::readFile(const std::string& name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void ProgramUnderTest::start(const std::vector<std::string>& arguments) { launch(::geteuid(), {}, {}, arguments); }

void ProgramUnderTest::startAsUser(uid_t uid, const std::filesystem::path& home,
                                   const std::vector<std::string>& arguments) {
    launch(uid, home, {}, arguments);
}

void ProgramUnderTest::startOnDisplay(const std::string& display) { launch(::geteuid(), {}, display, {}); }

void ProgramUnderTest::launch(uid_t uid, const std::filesystem::path& home, const std::string& display,
                              const std::vector<std::string>& arguments) {
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setpgid(0, 0);  // its own process group, so stop() also ends what it started
        if (uid != ::geteuid() && (::setgid(uid) != 0 || ::setuid(uid) != 0)) ::_exit(126);
        if (!home.empty()) {
            ::setenv("HOME", home.c_str(), 1);
            ::unsetenv("XDG_CONFIG_HOME");
        }
        ::chdir(home.empty() ? folder_.c_str() : home.c_str());
        ::setenv("QT_QPA_PLATFORM", display.empty() ? "offscreen" : "xcb", 1);
        if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
        // What the program says on standard error is kept in "stderr" in its folder.
        const int errors = ::open("stderr", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (errors >= 0) ::dup2(errors, STDERR_FILENO);
        const std::string exe = (folder_ / "Morrowset").string();
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::setpgid(pid_, pid_);
}

bool ProgramUnderTest::running() const {
    if (pid_ <= 0) return false;
    return ::waitpid(pid_, nullptr, WNOHANG) == 0;
}

void ProgramUnderTest::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string clockText(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", local.tm_hour, local.tm_min);
    return text;
}

std::chrono::system_clock::time_point waitUntilBeforeNextMinute(int seconds) {
    using namespace std::chrono;
    for (;;) {
        // Time zones are whole minutes apart here, so a UTC minute starts a local one.
        const auto now = system_clock::now();
        const auto nextMinute = floor<minutes>(now) + minutes(1);
        const auto startAt = nextMinute - std::chrono::seconds(seconds);
        if (now <= startAt) {
            std::this_thread::sleep_until(startAt);
            return nextMinute;
        }
        std::this_thread::sleep_until(nextMinute);
    }
}

}  // namespace e2e
