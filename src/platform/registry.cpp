#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <tuple>

namespace platform {
namespace {

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

struct StoredValue {
    int32_t type = kRegNone;
    std::string data;
};

// Keys by (root, lower-cased path); values by lower-cased name.
using KeyId = std::pair<int32_t, std::string>;
using ValueTable = std::map<std::string, StoredValue>;

class Store {
public:
    Store() { fill(std::getenv("PATH") ? std::getenv("PATH") : ""); }

    void fill(const std::string& searchPath) {
        keys_.clear();
        const std::string viewer = findSystemInfoViewer(searchPath, kSystemInfoViewers);
        if (!viewer.empty()) set(kHKeyLocalMachine, kSystemInfoKey, kSystemInfoValue, kRegString, viewer + '\0');
    }
    void clear() {
        keys_.clear();
        open_.clear();
    }
    void set(int32_t root, const std::string& key, const std::string& name, int32_t type, std::string data) {
        keys_[{root, lowerAscii(key)}][lowerAscii(name)] = {type, std::move(data)};
    }

    int32_t open(int32_t root, const std::string& key, int32_t& handle) {
        const KeyId id{root, lowerAscii(key)};
        if (!keys_.count(id)) return kRegNotFound;
        handle = nextHandle_++;
        open_[handle] = id;
        return kRegSuccess;
    }
    const StoredValue* find(int32_t handle, const std::string& name, int32_t& result) const {
        const auto key = open_.find(handle);
        if (key == open_.end()) return result = kRegInvalidHandle, nullptr;
        const auto values = keys_.find(key->second);
        if (values == keys_.end()) return result = kRegNotFound, nullptr;
        const auto value = values->second.find(lowerAscii(name));
        if (value == values->second.end()) return result = kRegNotFound, nullptr;
        return result = kRegSuccess, &value->second;
    }
    int32_t close(int32_t handle) { return open_.erase(handle) ? kRegSuccess : kRegInvalidHandle; }
    int openCount() const { return static_cast<int>(open_.size()); }

    std::mutex lock;

private:
    std::map<KeyId, ValueTable> keys_;
    std::map<int32_t, KeyId> open_;
    int32_t nextHandle_ = 0x100;
};

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

Store& store() {
    static Store instance;
    return instance;
}

}  // namespace

int32_t regOpenKeyEx(int32_t root, const std::string& subKey, int32_t, int32_t, int32_t& handle) {
    std::lock_guard guard(store().lock);
    return store().open(root, subKey, handle);
}

int32_t regQueryValueEx(int32_t handle, const std::string& valueName, int32_t& type, std::string& buffer,
                        int32_t& dataSize) {
    std::lock_guard guard(store().lock);
    int32_t result = kRegSuccess;
    const StoredValue* value = store().find(handle, valueName, result);
    if (!value) return result;
    const auto room = std::min<std::size_t>(static_cast<std::size_t>(std::max(dataSize, 0)), buffer.size());
    type = value->type;
    dataSize = static_cast<int32_t>(value->data.size());
    if (value->data.size() > room) return kRegMoreData;
    std::copy(value->data.begin(), value->data.end(), buffer.begin());
    return kRegSuccess;
}

int32_t regCloseKey(int32_t handle) {
    std::lock_guard guard(store().lock);
    return store().close(handle);
}

void registrySetValue(int32_t root, const std::string& key, const std::string& valueName, int32_t type,
                      std::string data) {
    std::lock_guard guard(store().lock);
    store().set(root, key, valueName, type, std::move(data));
}

void registryClear() {
    std::lock_guard guard(store().lock);
    store().clear();
}

int registryOpenKeyCount() {
    std::lock_guard guard(store().lock);
    return store().openCount();
}

void registryFillPlatformValues(const std::string& searchPath) {
    std::lock_guard guard(store().lock);
    store().fill(searchPath);
}

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
