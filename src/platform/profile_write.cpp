#include "platform/profile_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/error_texts.h"
#include "platform/file_errors.h"
#include "platform/file_io.h"
#include "platform/profile_trust.h"
#include "platform/runtime_error.h"
#include "platform/text.h"

namespace platform {
namespace {

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string_view blanksTrimmed(std::string_view text) { return trimmed(text, " \t"); }

// The section a "[name]" line opens; empty for any other line.
std::string_view sectionOf(std::string_view line) {
    line = blanksTrimmed(line);
    if (line.size() < 2 || line.front() != '[') return {};
    const std::size_t close = line.find(']');
    return close == std::string_view::npos ? std::string_view() : blanksTrimmed(line.substr(1, close - 1));
}

bool isKeyLine(std::string_view line, std::string_view key) {
    const std::size_t equals = line.find('=');
    return equals != std::string_view::npos && line.find(';') != 0 &&
           equalIgnoringCase(blanksTrimmed(line.substr(0, equals)), key);
}

}  // namespace

std::string withProfileValue(std::string_view profile, std::string_view section, std::string_view key,
                             std::string_view value) {
    const std::vector<std::string_view> lines = linesOf(profile);
    const std::string keyLine = std::string(key) + "=" + std::string(value);
    std::vector<std::string> out(lines.begin(), lines.end());
    bool inSection = false;
    std::ptrdiff_t lastOfSection = -1;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::string_view name = sectionOf(out[i]);
        if (!name.empty()) inSection = equalIgnoringCase(name, section);
        if (!inSection) continue;
        if (name.empty() && isKeyLine(out[i], key)) {
            out[i] = keyLine;
            lastOfSection = -2;
            break;
        }
        if (!blanksTrimmed(out[i]).empty()) lastOfSection = static_cast<std::ptrdiff_t>(i);
    }
    if (lastOfSection >= 0) {
        out.insert(out.begin() + lastOfSection + 1, keyLine);
    } else if (lastOfSection == -1) {
        out.push_back("[" + std::string(section) + "]");
        out.push_back(keyLine);
    }
    std::string text;
    for (const std::string& line : out) text += line + "\r\n";
    return text;
}

void writePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path) {
    struct stat info {};
    std::string old;
    if (::lstat(path.c_str(), &info) == 0) {
        const std::optional<std::string> trusted = readTrustedProfile(path);
        if (!trusted) raiseError(kPermissionDenied);
        old = *trusted;
    }
    const std::string text = withProfileValue(old, section, key, value);
    replaceFileWhole(path, text, 0600);
}

}  // namespace platform
