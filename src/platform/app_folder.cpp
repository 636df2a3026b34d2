#include "platform/app_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string homeFolder() {
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

bool makeFolders(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    const std::size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash))) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

namespace {

// The folder is the user's alone: the user may create files in it (checked with the
// effective user, the one who would create them) and no other user may. In a folder others
// can write (a /tmp-like one, sticky or not, or one of a group) they could plant links and
// files under the names the program writes.
bool onlyUserMayWrite(const std::string& folder) {
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
           ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// The user's configuration folder, not created: an absolute XDG_CONFIG_HOME (a relative one
// is ignored, as the XDG base directory rules ask), else $HOME/.config, else the home folder
// of the password database plus "/.config"; no trailing "/" but for "/" itself. Empty when
// no home is known.
std::string userConfigFolder() {
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') {
        const std::string home = homeFolder();
        if (home.empty()) return {};
        config = home + "/.config";
    }
    while (config.size() > 1 && config.back() == '/') config.pop_back();
    return config;
}

}  // namespace

std::string inUserConfigFolder(const std::string& name) {
    const std::string config = userConfigFolder();
    if (config.empty()) return config;
    return (config == "/" ? std::string() : config) + "/" + name;
}

std::string userApplicationFolder(const std::string& folderName) { return inUserConfigFolder(folderName); }

std::string chooseApplicationFolder(const std::string& exeFolder, const std::string& folderName) {
    if (onlyUserMayWrite(exeFolder)) return exeFolder;
    const std::string user = userApplicationFolder(folderName);
    if (user.empty() || !makeFolders(user)) return exeFolder;
    return user;
}

}  // namespace platform
