#include "platform/autostart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>

#include "platform/app_folder.h"
#include "platform/file_errors.h"
#include "platform/file_io.h"
#include "platform/runtime_error.h"
#include "platform/services.h"

namespace platform {
namespace {

constexpr int32_t kPathFileAccess = 75;

// Whether `text` is well-formed UTF-8 without control characters.
bool isPlainUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return false;
        const int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 && c >= 0xC2 ? 1 : (c & 0xF0) == 0xE0 ? 2
                                       : (c & 0xF8) == 0xF0 && c <= 0xF4 ? 3 : -1;
        if (more < 0 || i + static_cast<std::size_t>(more) >= text.size()) return false;
        for (int k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

// The program's path as one argument of an Exec line: in double quotes, with the double
// quote, backquote, dollar and backslash escaped by a backslash; then, as in every string
// value of an entry, each backslash doubled; and % doubled, which Exec gives a meaning.
std::string execArgument(const std::string& path) {
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (const char c : quoted) {
        if (c == '\\') value += '\\';
        if (c == '%') value += '%';
        value += c;
    }
    return value;
}

// An argument of letters, digits and "-_=./,:+" needs no quotes on an Exec line.
bool needsNoQuotes(const std::string& argument) {
    return !argument.empty() && std::all_of(argument.begin(), argument.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("-_=./,:+").find(c) != std::string_view::npos;
    });
}

// The entry's full path, "autostart/<system name>.desktop" in the user's configuration
// folder; empty when the user has no home folder.
std::string autostartPath() { return inUserConfigFolder("autostart/" + services().identity.systemName + ".desktop"); }

}  // namespace

std::optional<std::string> autostartEntry(const AppIdentity& identity, const std::string& exePath,
                                          const std::vector<std::string>& arguments) {
    if (exePath.empty() || exePath.front() != '/' || !isPlainUtf8(exePath)) return std::nullopt;
    std::string exec = execArgument(exePath);
    for (const std::string& argument : arguments) {
        if (!isPlainUtf8(argument)) return std::nullopt;
        exec += ' ' + (needsNoQuotes(argument) ? argument : execArgument(argument));
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" + identity.title + "\n"
           "Comment=" + identity.summary + "\n"
           "Exec=" + exec + "\n"
           "Icon=" + identity.systemName + "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool startsAtLogin() {
    const std::string path = autostartPath();
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

void setStartAtLogin(bool on, const std::string& exePath, const std::vector<std::string>& arguments) {
    const std::string path = autostartPath();
    if (path.empty()) raiseError(kPathFileAccess);
    if (!on) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) raiseErrno(errno);
        return;
    }
    const std::optional<std::string> entry = autostartEntry(services().identity, exePath, arguments);
    if (!entry) raiseError(kPathFileAccess);
    const std::string folder = folderOf(path);
    if (!makeFolders(folder)) raiseErrno(errno ? errno : ENOTDIR);
    // Replaced whole: the session never reads half an entry.
    replaceFileWhole(path, *entry, 0644);
}

std::string executablePath() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.string();
}

}  // namespace platform
