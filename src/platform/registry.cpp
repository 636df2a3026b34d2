#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/services.h"
#include "platform/text.h"

namespace platform {
namespace {

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

void RegistryStore::fillOnFirstUse() {
    if (filled_) return;
    const char* path = std::getenv("PATH");
    fill(path ? path : "");
}

void RegistryStore::fill(const std::string& searchPath) {
    filled_ = true;
    keys_.clear();
    const std::string viewer = findSystemInfoViewer(searchPath, kSystemInfoViewers);
    if (!viewer.empty()) set(kHKeyLocalMachine, kSystemInfoKey, kSystemInfoValue, kRegString, viewer + '\0');
}

void RegistryStore::set(int32_t root, const std::string& key, const std::string& name, int32_t type,
                        std::string data) {
    keys_[{root, lowerAscii(key)}][lowerAscii(name)] = {type, std::move(data)};
}

int32_t RegistryStore::open(int32_t root, const std::string& subKey, int32_t& handle) {
    std::lock_guard guard(lock_);
    fillOnFirstUse();
    const KeyId id{root, lowerAscii(subKey)};
    if (!keys_.count(id)) return kRegNotFound;
    handle = nextHandle_++;
    open_[handle] = id;
    return kRegSuccess;
}

int32_t RegistryStore::query(int32_t handle, const std::string& valueName, int32_t& type, std::string& buffer,
                             int32_t& dataSize) {
    std::lock_guard guard(lock_);
    const auto key = open_.find(handle);
    if (key == open_.end()) return kRegInvalidHandle;
    const auto values = keys_.find(key->second);
    if (values == keys_.end()) return kRegNotFound;
    const auto found = values->second.find(lowerAscii(valueName));
    if (found == values->second.end()) return kRegNotFound;
    const StoredValue& value = found->second;
    const auto room = std::min<std::size_t>(static_cast<std::size_t>(std::max(dataSize, 0)), buffer.size());
    type = value.type;
    dataSize = static_cast<int32_t>(value.data.size());
    if (value.data.size() > room) return kRegMoreData;
    std::copy(value.data.begin(), value.data.end(), buffer.begin());
    return kRegSuccess;
}

int32_t RegistryStore::close(int32_t handle) {
    std::lock_guard guard(lock_);
    return open_.erase(handle) ? kRegSuccess : kRegInvalidHandle;
}

void RegistryStore::setValue(int32_t root, const std::string& key, const std::string& valueName, int32_t type,
                             std::string data) {
    std::lock_guard guard(lock_);
    filled_ = true;
    set(root, key, valueName, type, std::move(data));
}

void RegistryStore::clear() {
    std::lock_guard guard(lock_);
    filled_ = true;
    keys_.clear();
    open_.clear();
}

int RegistryStore::openKeyCount() {
    std::lock_guard guard(lock_);
    return static_cast<int>(open_.size());
}

void RegistryStore::fillPlatformValues(const std::string& searchPath) {
    std::lock_guard guard(lock_);
    fill(searchPath);
}

int32_t regOpenKeyEx(int32_t root, const std::string& subKey, int32_t, int32_t, int32_t& handle) {
    return services().registry.open(root, subKey, handle);
}

int32_t regQueryValueEx(int32_t handle, const std::string& valueName, int32_t& type, std::string& buffer,
                        int32_t& dataSize) {
    return services().registry.query(handle, valueName, type, buffer, dataSize);
}

int32_t regCloseKey(int32_t handle) { return services().registry.close(handle); }

std::string findSystemInfoViewer(const std::string& searchPath, std::span<const std::string_view> viewers) {
    for (std::string_view viewer : viewers) {
        std::size_t start = 0;
        while (start <= searchPath.size()) {
            const std::size_t end = std::min(searchPath.find(':', start), searchPath.size());
            const std::string folder = searchPath.substr(start, end - start);
            start = end + 1;
            if (folder.empty()) continue;  // an empty entry would mean the current folder: not searched
            const std::string candidate = folder + "/" + std::string(viewer);
            if (isExecutableFile(candidate)) return candidate;
        }
    }
    return {};
}

}  // namespace platform
