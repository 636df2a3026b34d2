#include "platform/private_folder.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>

namespace platform {

int openPrivateFolder(const std::string& folder, std::string* whyNot) {
    auto refuse = [&](const std::string& reason) {
        if (whyNot) *whyNot = folder + ": " + reason;
        return -1;
    };
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return refuse(std::strerror(errno));
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return refuse(errno == ELOOP || errno == ENOTDIR ? "not a directory" : std::strerror(errno));
    struct stat info {};
    std::string reason;
    if (::fstat(fd, &info) != 0)
        reason = std::strerror(errno);
    else if (info.st_uid != ::geteuid())
        reason = "belongs to another user";
    else if ((info.st_mode & 077) != 0)
        reason = "is open to group or others (it must be 0700)";
    if (reason.empty()) return fd;
    ::close(fd);
    return refuse(reason);
}

std::string socketPathIn(int folderFd, const std::string& folder, const std::string& name) {
    constexpr std::size_t kRoom = sizeof(sockaddr_un{}.sun_path) - 1;
    std::string direct = folder + "/" + name;
    if (direct.size() <= kRoom) return direct;
    std::string viaFd = "/proc/self/fd/" + std::to_string(folderFd) + "/" + name;
    return viaFd.size() <= kRoom ? viaFd : std::string{};
}

sockaddr_un socketAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof address.sun_path));
    return address;
}

bool peerIsSameUser(int socketFd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == ::geteuid();
}

}  // namespace platform
