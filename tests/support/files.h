#pragma once
// Whole-file reads and writes for tests, a wait for a file that another program writes, and
// an error log cut into its reports.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// The file's bytes as they are; "" when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces the file's content with `bytes` (no line-end translation) and gives it
// `permissions`: by default the user's alone, as the program wants its own files (it
// refuses files that others may write).
inline void writeFile(const std::filesystem::path& path, const std::string& bytes,
                      std::filesystem::perms permissions = std::filesystem::perms::owner_read |
                                                           std::filesystem::perms::owner_write) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    std::filesystem::permissions(path, permissions);
}

// Reads a file that a started program writes, once it is there (such programs write a
// temporary name and rename it); gives up after a generous while and reads what is there.
inline std::string awaitFile(const std::filesystem::path& path) {
    for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return readFile(path);
}

// The reports in an error log, each from its start banner on.
inline std::vector<std::string> reportsIn(const std::string& log) {
    std::vector<std::string> reports;
    for (std::size_t at = log.find(" - start "); at != std::string::npos;) {
        const std::size_t next = log.find(" - start ", at + 1);
        reports.push_back(log.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return reports;
}

}  // namespace testsupport
