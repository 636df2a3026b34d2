#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/monitor_link.h"

namespace platform {

InstanceLock takeInstanceLock(const std::string& lockName) {
    const int folder = openMonitorFolder();
    if (folder < 0) return InstanceLock::Unavailable;
    const int fd = ::openat(folder, lockName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    ::close(folder);
    if (fd < 0) return InstanceLock::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return InstanceLock::First;  // kept open: the lock lasts for the run
    ::close(fd);
    return InstanceLock::Another;
}

}  // namespace platform
