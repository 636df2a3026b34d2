#pragma once
// The machine's memory status, read from the kernel's meminfo table. Byte counts are
// 64-bit: a machine with more than 2 GB free is the ordinary case.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct MemoryStatus {
    uint32_t memoryLoad = 0;         // percentage of physical memory in use, 0 to 100
    uint64_t totalPhysical = 0;      // bytes
    uint64_t availablePhysical = 0;  // bytes the system can give to programs without swapping
    uint64_t totalSwap = 0;          // bytes
    uint64_t freeSwap = 0;           // bytes
};

// Reads <procRoot>/meminfo; nullopt when it cannot be read or lacks MemTotal. Kernels
// without MemAvailable get free + buffers + page cache instead. `procRoot` lets tests
// use a fixture folder.
std::optional<MemoryStatus> readMemoryStatus(const std::string& procRoot = "/proc");

// Parses the text of a meminfo table (what readMemoryStatus reads).
std::optional<MemoryStatus> parseMemoryStatus(std::string_view meminfo);

}  // namespace platform
