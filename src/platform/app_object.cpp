#include "platform/app_object.h"

#include "platform/app_folder.h"

#include <filesystem>

#include "morrowset_version.h"
#include "platform/instance_lock.h"
#include "platform/services.h"

namespace platform {
namespace {

std::filesystem::path executablePath() {
    std::error_code error;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() / "Morrowset" : exe;
}

}  // namespace

AppObject::AppObject() {
    const auto exe = executablePath();
    exeFolder_ = exe.parent_path().string();
    if (exeFolder_.size() > 1 && exeFolder_.back() == '/') exeFolder_.pop_back();
    exeName_ = exe.stem().string();
}

int AppObject::major() const { return MORROWSET_VERSION_MAJOR; }
int AppObject::minor() const { return MORROWSET_VERSION_MINOR; }
int AppObject::revision() const { return MORROWSET_VERSION_PATCH; }

const std::string& AppObject::path() const {
    if (path_.empty()) path_ = chooseApplicationFolder(exeFolder_);
    return path_;
}

std::string AppObject::runtimeHelpFile() const { return exeFolder_ + "/wardline.hlp"; }

bool AppObject::prevInstance() const {
    static const bool previous = takeInstanceLock(path()) == InstanceLock::Another;
    return previous;
}

AppObject::AppObject(std::string folder, std::string name, std::string applicationFolder)
    : exeFolder_(std::move(folder)), path_(applicationFolder.empty() ? exeFolder_ : std::move(applicationFolder)),
      exeName_(std::move(name)) {}

AppObject& app() { return services().app; }

}  // namespace platform
