#include "platform/app_object.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace platform {
namespace {

std::filesystem::path executablePath() {
    std::error_code error;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() / "Morrowset" : exe;
}

// One lock file per user; whoever holds it is the first instance.
bool anotherInstanceHoldsLock() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtimeDir && *runtimeDir ? runtimeDir : "/tmp";
    const std::string lockPath = folder + "/morrowset-" + std::to_string(getuid()) + ".lock";
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return false;  // kept open: the lock lasts for the run
    ::close(fd);
    return true;
}

}  // namespace

AppObject::AppObject() {
    const auto exe = executablePath();
    path_ = exe.parent_path().string();
    if (path_.size() > 1 && path_.back() == '/') path_.pop_back();
    exeName_ = exe.stem().string();
}

int AppObject::major() const { return MORROWSET_VERSION_MAJOR; }
int AppObject::minor() const { return MORROWSET_VERSION_MINOR; }
int AppObject::revision() const { return MORROWSET_VERSION_PATCH; }

std::string AppObject::runtimeHelpFile() const { return path_ + "/wardline.hlp"; }

bool AppObject::prevInstance() const {
    static const bool previous = anotherInstanceHoldsLock();
    return previous;
}

void AppObject::overridePath(std::string folder, std::string name) {
    path_ = std::move(folder);
    if (!name.empty()) exeName_ = std::move(name);
}

AppObject& app() {
    static AppObject instance;
    return instance;
}

}  // namespace platform
