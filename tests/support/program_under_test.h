#pragma once
// The built program copied into a fresh folder, started as a separate process on Qt's
// offscreen platform, and killed (with everything it started) at the end.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

class ProgramUnderTest {
public:
    ProgramUnderTest();  // makes the folder and copies the executable and its help file
    ~ProgramUnderTest();  // kills the program and removes the folder

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path file(const std::string& name) const { return folder_ / name; }
    void writeFile(const std::string& name, const std::string& content, unsigned mode = 0600) const;
    std::string readFile(const std::string& name) const;

    // Starts the program with `arguments` on its command line.
    void start(const std::vector<std::string>& arguments = {});
    // Starts the program as the user `uid` (when the test runs as root; else as the test's
    // own user) with `home` as HOME and no XDG_CONFIG_HOME.
    void startAsUser(uid_t uid, const std::filesystem::path& home, const std::vector<std::string>& arguments = {});
    // Starts the program on the X display `display` (":5"), instead of Qt's offscreen platform.
    void startOnDisplay(const std::string& display);
    bool running() const;
    void stop();

private:
    void launch(uid_t uid, const std::filesystem::path& home, const std::string& display,
                const std::vector<std::string>& arguments);

    std::filesystem::path folder_;
    pid_t pid_ = -1;
};

// "hh:mm" of a local time point.
std::string clockText(std::chrono::system_clock::time_point when);
// Sleeps until `seconds` before the next whole minute, and returns that minute. Never
// returns less than `seconds` before it.
std::chrono::system_clock::time_point waitUntilBeforeNextMinute(int seconds);
// Polls `ready` every 50 ms until it holds or `timeout` passes.
template <typename Ready>
bool eventually(Ready ready, std::chrono::milliseconds timeout);

}  // namespace e2e

#include <thread>

template <typename Ready>
bool e2e::eventually(Ready ready, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return ready();
}
