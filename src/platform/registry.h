#pragma once
// The registry: a small in-process store of keys holding named, typed values, reached
// through the classic open / query / close calls with their result codes.
//
// On this platform the store is filled when it is first used: the value "PATH" of the key
// kSystemInfoKey names the first system-information viewer found on PATH (see
// kSystemInfoViewers); nothing else is stored. Each runtime's services (services.h) hold
// a store; tests edit theirs with clear() and setValue().
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

inline constexpr int32_t kHKeyLocalMachine = static_cast<int32_t>(0x80000002u);
inline constexpr int32_t kKeyAllAccess = 0x2003F;

// Value types.
inline constexpr int32_t kRegNone = 0;
inline constexpr int32_t kRegString = 1;  // text, normally stored with its closing NUL
inline constexpr int32_t kRegBinary = 3;
inline constexpr int32_t kRegNumber = 4;  // 32-bit number, low byte first

// Results of the calls.
inline constexpr int32_t kRegSuccess = 0;
inline constexpr int32_t kRegNotFound = 2;
inline constexpr int32_t kRegInvalidHandle = 6;
inline constexpr int32_t kRegMoreData = 234;

// Where the system-information viewer is registered.
inline constexpr char kSystemInfoKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr char kSystemInfoValue[] = "PATH";
inline constexpr char kSystemInfoLocationKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr char kSystemInfoLocationValue[] = "MSINFO";

// The viewers looked for on PATH, in order of preference.
inline constexpr std::string_view kSystemInfoViewers[] = {
    "hardinfo2", "hardinfo", "kinfocenter", "gnome-system-monitor", "mate-system-monitor",
};

class RegistryStore {
public:
    int32_t open(int32_t root, const std::string& subKey, int32_t& handle);
    int32_t query(int32_t handle, const std::string& valueName, int32_t& type, std::string& buffer,
                  int32_t& dataSize);
    int32_t close(int32_t handle);

    // Store editing, for start-up and tests. Editing counts as the first use: the store
    // is not filled from PATH afterwards.
    void setValue(int32_t root, const std::string& key, const std::string& valueName, int32_t type,
                  std::string data);
    void clear();
    // Number of keys open at the moment (every open should be matched by a close).
    int openKeyCount();
    // Refills the store as its first use does, looking for viewers on `searchPath` (a PATH text).
    void fillPlatformValues(const std::string& searchPath);

private:
    struct StoredValue {
        int32_t type = kRegNone;
        std::string data;
    };
    // Keys by (root, lower-cased path); values by lower-cased name.
    using KeyId = std::pair<int32_t, std::string>;
    using ValueTable = std::map<std::string, StoredValue>;

    void fillOnFirstUse();
    void fill(const std::string& searchPath);
    void set(int32_t root, const std::string& key, const std::string& name, int32_t type, std::string data);

    std::mutex lock_;
    bool filled_ = false;
    std::map<KeyId, ValueTable> keys_;
    std::map<int32_t, KeyId> open_;
    int32_t nextHandle_ = 0x100;
};

// The classic calls, on the store of the services in use (services.h).
//
// Opens `subKey` under `root` (names compare without regard to case) and puts its handle
// in `handle`. Gives kRegNotFound for a missing key; `options` and `access` are accepted
// as given.
int32_t regOpenKeyEx(int32_t root, const std::string& subKey, int32_t options, int32_t access, int32_t& handle);

// Reads value `valueName` of the open key: its type into `type`, its data into the start
// of `buffer` and its length into `dataSize`. On entry `dataSize` is the room in the
// buffer (at most buffer.size()); data longer than that gives kRegMoreData with the
// needed size in `dataSize` and the buffer untouched. A missing value gives kRegNotFound.
int32_t regQueryValueEx(int32_t handle, const std::string& valueName, int32_t& type, std::string& buffer,
                        int32_t& dataSize);

// Closes an open key; kRegInvalidHandle for anything else (such as 0).
int32_t regCloseKey(int32_t handle);

// The full file name of the first viewer of `viewers` found as an executable file in a
// folder of `searchPath`; "" when there is none.
std::string findSystemInfoViewer(const std::string& searchPath, std::span<const std::string_view> viewers);

}  // namespace platform
