#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/app_folder.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/monitor_link.h"
#include "platform/private_folder.h"

namespace platform {
namespace {

// The private folder of the locks and their sockets, open, and its path.
struct LockFolder {
    int fd = -1;
    std::string path;
};

// The monitor folder when it is the user's own; else, when another user made it (or it is
// open to others), "wardline" in the user's configuration folder, with the same rules.
LockFolder openLockFolder(std::string* whyNot = nullptr) {
    std::string refused;
    LockFolder folder{openMonitorFolder(&refused), monitorFolderPath()};
    if (folder.fd >= 0) return folder;
    folder.path = inUserConfigFolder("wardline");
    std::string alsoRefused = "no configuration folder of the user's";
    if (!folder.path.empty() && makeFolders(folderOf(folder.path)))
        folder.fd = openPrivateFolder(folder.path, &alsoRefused);
    if (folder.fd < 0 && whyNot) *whyNot = refused + "; " + alsoRefused;
    return folder;
}

}  // namespace

std::string instanceName(const std::string& systemName, const std::string& applicationFolder) {
    struct stat folder {};
    if (::stat(applicationFolder.c_str(), &folder) != 0) return {};
    char key[40];
    std::snprintf(key, sizeof key, "-%llx-%llx", static_cast<unsigned long long>(folder.st_dev),
                  static_cast<unsigned long long>(folder.st_ino));
    return systemName + key;
}

InstanceLock takeInstanceLock(const std::string& name, std::string* whyNot) {
    auto unavailable = [&](const std::string& reason) {
        if (whyNot) *whyNot = reason;
        return InstanceLock::Unavailable;
    };
    if (name.empty()) return unavailable("the application folder cannot be looked at");
    std::string refused;
    const LockFolder folder = openLockFolder(&refused);
    if (folder.fd < 0) return unavailable(refused);
    const std::string file = name + ".lock";
    const int fd = ::openat(folder.fd, file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    const int openError = errno;
    ::close(folder.fd);
    if (fd < 0) return unavailable(folder.path + "/" + file + ": " + std::strerror(openError));
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return InstanceLock::First;  // kept open: the lock lasts for the run
    ::close(fd);
    return InstanceLock::Another;
}

InstanceListener::InstanceListener(const std::string& name) : socketName_(name + ".sock") {
    const LockFolder folder = openLockFolder();
    folderFd_ = folder.fd;
    if (folderFd_ < 0) return;
    const std::string path = socketPathIn(folderFd_, folder.path, socketName_);
    if (path.empty()) return;
    struct stat existing {};
    if (::fstatat(folderFd_, socketName_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISSOCK(existing.st_mode)) return;
        ::unlinkat(folderFd_, socketName_.c_str(), 0);  // left by a run that died
    }
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return;
    const sockaddr_un address = socketAddress(path);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 4) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

InstanceListener::~InstanceListener() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlinkat(folderFd_, socketName_.c_str(), 0);
    }
    if (folderFd_ >= 0) ::close(folderFd_);
}

int InstanceListener::acceptPeer() {
    for (int peer; (peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;) {
        if (peerIsSameUser(peer)) return peer;
        ::close(peer);
    }
    return -1;
}

int connectToInstance(const std::string& name) {
    const LockFolder folder = openLockFolder();
    // The path may reach the socket through the open folder: it stays open until connected.
    const bool reachable = folder.fd >= 0 && !name.empty();
    const std::string path = reachable ? socketPathIn(folder.fd, folder.path, name + ".sock") : std::string();
    int fd = path.empty() ? -1 : ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int why = path.empty() ? ENOENT : errno;
    if (fd >= 0) {
        const sockaddr_un address = socketAddress(path);
        const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        why = !connected ? errno : EPERM;
        if (!connected || !peerIsSameUser(fd)) {
            ::close(fd);
            fd = -1;
        }
    }
    if (folder.fd >= 0) ::close(folder.fd);
    errno = why;
    return fd;
}

bool askFirstInstanceToShow(const std::string& name, int patienceMs) {
    if (name.empty()) return false;
    const int64_t deadline = monotonicMilliseconds() + patienceMs;
    for (;;) {
        if (const int fd = connectToInstance(name); fd >= 0) {
            ::close(fd);  // the connection, closed without a word, is the request
            return true;
        }
        if (monotonicMilliseconds() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace platform
