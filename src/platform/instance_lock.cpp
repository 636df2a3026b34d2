#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "platform/monitor_link.h"

namespace platform {
namespace {

// FNV-1a, 64 bits: stable from run to run and release to release, unlike std::hash.
uint64_t pathHash(const std::string& text) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

// The socket's address in the private folder; the folder reached through its open
// descriptor when the ordinary path is too long. False when neither fits.
bool socketAddress(int folderFd, const std::string& name, sockaddr_un& address) {
    constexpr std::size_t kRoom = sizeof(address.sun_path) - 1;
    std::string path = monitorFolderPath() + "/" + name;
    if (path.size() > kRoom) path = "/proc/self/fd/" + std::to_string(folderFd) + "/" + name;
    if (path.size() > kRoom) return false;
    address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool connectOnce(const std::string& applicationFolder) {
    const int folder = openMonitorFolder();
    if (folder < 0) return false;
    sockaddr_un address{};
    bool asked = false;
    if (socketAddress(folder, instanceName(applicationFolder) + ".sock", address)) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        asked = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                peerIsSameUser(fd);
        if (fd >= 0) ::close(fd);
    }
    ::close(folder);
    return asked;
}

}  // namespace

std::string instanceName(const std::string& applicationFolder) {
    char key[17];
    std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(pathHash(applicationFolder)));
    return std::string("morrowset-") + key;
}

InstanceLock takeInstanceLock(const std::string& applicationFolder) {
    const int folder = openMonitorFolder();
    if (folder < 0) return InstanceLock::Unavailable;
    const std::string name = instanceName(applicationFolder) + ".lock";
    const int fd = ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    ::close(folder);
    if (fd < 0) return InstanceLock::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return InstanceLock::First;  // kept open: the lock lasts for the run
    ::close(fd);
    return InstanceLock::Another;
}

InstanceListener::InstanceListener(const std::string& applicationFolder)
    : name_(instanceName(applicationFolder) + ".sock") {
    folderFd_ = openMonitorFolder();
    sockaddr_un address{};
    if (folderFd_ < 0 || !socketAddress(folderFd_, name_, address)) return;
    struct stat existing {};
    if (::fstatat(folderFd_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISSOCK(existing.st_mode)) return;
        ::unlinkat(folderFd_, name_.c_str(), 0);  // left by a run that died
    }
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 4) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

InstanceListener::~InstanceListener() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlinkat(folderFd_, name_.c_str(), 0);
    }
    if (folderFd_ >= 0) ::close(folderFd_);
}

bool InstanceListener::takeRequests() {
    bool asked = false;
    for (int peer; (peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        asked = asked || peerIsSameUser(peer);
        ::close(peer);
    }
    return asked;
}

bool askFirstInstanceToShow(const std::string& applicationFolder, int patienceMs) {
    const int64_t deadline = monotonicMilliseconds() + patienceMs;
    for (;;) {
        if (connectOnce(applicationFolder)) return true;
        if (monotonicMilliseconds() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace platform
