#pragma once
// Whole-file reads and writes for tests, and a wait for a file that another program writes.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

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

}  // namespace testsupport
