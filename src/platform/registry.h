#pragma once
// The registry: a small in-process store of keys holding named, typed values, reached
// through the classic open / query / close calls with their result codes.
//
// On this platform the store is filled when it is first used: the value "PATH" of the key
// kSystemInfoKey names the first system-information viewer found on PATH (see
// kSystemInfoViewers); nothing else is stored. Tests replace the content with
// registryClear() and registrySetValue().
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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

// Store editing, for start-up and tests.
void registrySetValue(int32_t root, const std::string& key, const std::string& valueName, int32_t type,
                      std::string data);
void registryClear();
// Number of keys open at the moment (every open should be matched by a close).
int registryOpenKeyCount();
// Refills the store as start-up does, looking for viewers on `searchPath` (a PATH text).
void registryFillPlatformValues(const std::string& searchPath);

// The full file name of the first viewer of `viewers` found as an executable file in a
// folder of `searchPath`; "" when there is none.
std::string findSystemInfoViewer(const std::string& searchPath, std::span<const std::string_view> viewers);

}  // namespace platform
