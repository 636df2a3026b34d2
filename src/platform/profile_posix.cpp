#include "platform/profile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/formatting.h"
#include "platform/profile_text.h"
#include "platform/profile_trust.h"
#include "platform/text.h"

namespace platform {
namespace {

std::string_view withoutMatchingQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::size_t copyCut(std::string_view text, std::string& value, std::size_t bufferSize) {
    value.assign(text.substr(0, bufferSize == 0 ? 0 : std::min(text.size(), bufferSize - 1)));
    return value.size();
}

}  // namespace

std::optional<std::string_view> findProfileValue(std::string_view text, std::string_view section,
                                                 std::string_view key) {
    bool inSection = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = trimmed(line, kBlanks);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            inSection = equalIgnoringCase(
                trimmed(line.substr(1, close == std::string_view::npos ? close : close - 1), kBlanks),
                section);
            continue;
        }
        if (!inSection) continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (equalIgnoringCase(trimmed(line.substr(0, equals), kBlanks), key))
            return withoutMatchingQuotes(trimmed(line.substr(equals + 1), kBlanks));
    }
    return std::nullopt;
}

namespace {

std::optional<std::string> readWholeFile(const std::string& path) {
    auto text = readTrustedProfile(path);
    if (text && text->compare(0, 3, "\xEF\xBB\xBF") == 0) text->erase(0, 3);  // a byte-order mark is not a key
    return text;
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The entry of `folder` whose name equals `name` without regard to case; the first in
// name order when several do.
std::optional<std::string> findIgnoringCase(const std::string& folder, const std::string& name) {
    DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> matches;
    while (const dirent* entry = ::readdir(dir))
        if (equalIgnoringCase(entry->d_name, name)) matches.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(matches.begin(), matches.end());
    for (const std::string& match : matches)
        if (isRegularFile(folder + "/" + match)) return folder + "/" + match;
    return std::nullopt;
}

// The value of section/key in profile `file`, or nullopt when the file, section or key is missing.
std::optional<std::string> lookUp(const std::string& file, std::string_view section, std::string_view key) {
    const auto path = locateProfileFile(file);
    if (!path) return std::nullopt;
    const auto text = readWholeFile(*path);
    if (!text) return std::nullopt;
    const auto found = findProfileValue(*text, section, key);
    if (!found) return std::nullopt;
    return std::string(*found);
}

}  // namespace

std::string windowsDirectory() {
    const char* windir = std::getenv("WINDIR");
    std::string folder = windir && *windir ? windir : "/etc";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::optional<std::string> locateProfileFile(const std::string& file) {
    if (file.empty()) return std::nullopt;
    const auto slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? windowsDirectory() : file.substr(0, slash);
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    if (name.empty()) return std::nullopt;
    const std::string exact = folder + "/" + name;
    if (isRegularFile(exact)) return exact;
    return findIgnoringCase(folder, name);
}

std::size_t getPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::string& value, std::size_t bufferSize,
                                    const std::string& file) {
    if (const auto found = lookUp(file, section, key)) return copyCut(*found, value, bufferSize);
    return copyCut(trimmedTrailing(defaultValue, kBlanks), value, bufferSize);
}

std::size_t getProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                             std::string& value, std::size_t bufferSize) {
    return getPrivateProfileString(section, key, defaultValue, value, bufferSize, "win.INI");
}

}  // namespace platform
