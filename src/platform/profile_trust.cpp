#include "platform/profile_trust.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <mutex>
#include <set>

#include "platform/file_io.h"
#include "platform/process_state.h"

namespace platform {
namespace {

constexpr unsigned kRoot = 0;
constexpr unsigned kWritableByOthers = S_IWGRP | S_IWOTH;

// The profiles said to be ignored in this run (process_state.h).
struct IgnoredProfiles {
    std::mutex guard;
    std::set<std::string> said;
};

IgnoredProfiles& ignoredProfiles() {
    static IgnoredProfiles ignored;
    return ignored;
}

void sayIgnoredOnce(const std::string& path, const std::string& why) {
    IgnoredProfiles& ignored = ignoredProfiles();
    const std::lock_guard<std::mutex> lock(ignored.guard);
    if (ignored.said.insert(path).second) std::cerr << path << " ignored: " << why << std::endl;
}

std::optional<std::string> readAll(int fd) {
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) return text;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

void forgetIgnoredProfiles() {
    IgnoredProfiles& ignored = ignoredProfiles();
    const std::lock_guard<std::mutex> lock(ignored.guard);
    ignored.said.clear();
}

std::optional<std::string> profileDistrust(unsigned ownerUid, unsigned mode, unsigned folderOwnerUid,
                                           unsigned folderMode) {
    const unsigned me = ::geteuid();
    if (ownerUid != me && ownerUid != kRoot) return "it belongs to another user";
    // Root's file in a folder others can change could be swapped for theirs.
    const bool folderKept = (folderOwnerUid == kRoot || folderOwnerUid == me) && (folderMode & kWritableByOthers) == 0;
    if (ownerUid != me && !folderKept) return "it belongs to root but lies in a folder other users can change";
    if ((mode & kWritableByOthers) != 0) return "group or others can write it";
    return std::nullopt;
}

std::optional<std::string> readTrustedProfile(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    struct stat folder {};
    std::optional<std::string> text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::stat(folderOf(path).c_str(), &folder) == 0) {
        if (const auto why = profileDistrust(info.st_uid, info.st_mode, folder.st_uid, folder.st_mode))
            sayIgnoredOnce(path, *why);
        else
            text = readAll(fd);
    }
    ::close(fd);
    return text;
}

}  // namespace platform
