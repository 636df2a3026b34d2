#include "platform/app_object.h"

#include "platform/app_folder.h"

#include <filesystem>

#include "platform/instance_lock.h"
#include "platform/services.h"

namespace platform {
namespace {

// Without /proc the executable is taken to be in the current folder, without a name of its
// own: exeName() then gives the project's.
std::filesystem::path executablePath() {
    std::error_code error;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() / "" : exe;
}

}  // namespace

AppObject::AppObject() {
    const auto exe = executablePath();
    exeFolder_ = exe.parent_path().string();
    if (exeFolder_.size() > 1 && exeFolder_.back() == '/') exeFolder_.pop_back();
    exeName_ = exe.stem().string();
}

const std::string& AppObject::exeName() const {
    return exeName_.empty() ? services().identity.projectName : exeName_;
}
const std::string& AppObject::title() const { return services().identity.title; }
int AppObject::major() const { return services().identity.major; }
int AppObject::minor() const { return services().identity.minor; }
int AppObject::revision() const { return services().identity.revision; }

const std::string& AppObject::path() const {
    if (path_.empty()) path_ = chooseApplicationFolder(exeFolder_, services().identity.configFolderName);
    return path_;
}

std::string AppObject::runtimeHelpFile() const { return exeFolder_ + "/wardline.hlp"; }

std::string AppObject::instanceName() const { return platform::instanceName(services().identity.systemName, path()); }

InstanceLock AppObject::instanceLock(std::string* whyNot) const {
    // Taken once: the lock is the process's, whichever application object asks.
    struct Taken {
        InstanceLock lock;
        std::string whyNot;
    };
    static const Taken taken = [this] {
        Taken result{};
        result.lock = takeInstanceLock(instanceName(), &result.whyNot);
        return result;
    }();
    if (whyNot) *whyNot = taken.whyNot;
    return taken.lock;
}

AppObject::AppObject(std::string folder, std::string name, std::string applicationFolder)
    : exeFolder_(std::move(folder)), path_(applicationFolder.empty() ? exeFolder_ : std::move(applicationFolder)),
      exeName_(std::move(name)) {}

AppObject& app() { return services().app; }

}  // namespace platform
