#include "platform/memory_status.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <mutex>
#include <string_view>

namespace platform {
namespace {

struct Field {
    std::string_view name;  // as it starts a meminfo line, colon included
    uint64_t kibibytes = 0;
    bool seen = false;
};

enum FieldIndex { kTotal, kAvailable, kFree, kBuffers, kCached, kSwapTotal, kSwapFree, kFieldCount };

std::array<Field, kFieldCount> emptyFields() {
    return {{{"MemTotal:"}, {"MemAvailable:"}, {"MemFree:"}, {"Buffers:"}, {"Cached:"}, {"SwapTotal:"},
             {"SwapFree:"}}};
}

// A meminfo line reads "Name:   12345 kB".
void readLine(std::string_view line, std::array<Field, kFieldCount>& fields) {
    for (Field& field : fields) {
        if (line.substr(0, field.name.size()) != field.name) continue;
        std::string_view rest = line.substr(field.name.size());
        const auto digits = rest.find_first_not_of(' ');
        if (digits == std::string_view::npos) return;
        rest.remove_prefix(digits);
        uint64_t value = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
        if (error != std::errc{}) return;
        field.kibibytes = value;
        field.seen = true;
        return;
    }
}

uint64_t bytes(const Field& field) { return field.kibibytes * 1024; }

const std::string kProc = "/proc";

// Reads up to `capacity` bytes of a small file in one go; -1 when it cannot be read.
ssize_t readWholeSmallFile(const std::string& path, char* into, std::size_t capacity) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    std::size_t filled = 0;
    while (filled < capacity) {
        const ssize_t got = ::read(fd, into + filled, capacity - filled);
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return static_cast<ssize_t>(filled);
}

// The kernel builds the table afresh on every read from offset 0, so the real one is kept
// open: trace lines sample it often, and opening it costs as much as reading it.
ssize_t readKeptProcMeminfo(char* into, std::size_t capacity) {
    static std::mutex guard;
    static int fd = -1;
    const std::lock_guard lock(guard);
    if (fd < 0) fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    return ::pread(fd, into, capacity, 0);
}

}  // namespace

std::optional<MemoryStatus> parseMemoryStatus(std::string_view meminfo) {
    auto fields = emptyFields();
    std::string_view text = meminfo;
    while (!text.empty()) {
        const auto end = text.find('\n');
        readLine(text.substr(0, end), fields);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    if (!fields[kTotal].seen || fields[kTotal].kibibytes == 0) return std::nullopt;

    MemoryStatus status;
    status.totalPhysical = bytes(fields[kTotal]);
    status.availablePhysical = fields[kAvailable].seen
                                   ? bytes(fields[kAvailable])
                                   : bytes(fields[kFree]) + bytes(fields[kBuffers]) + bytes(fields[kCached]);
    if (status.availablePhysical > status.totalPhysical) status.availablePhysical = status.totalPhysical;
    const uint64_t used = status.totalPhysical - status.availablePhysical;
    status.memoryLoad = static_cast<uint32_t>((used * 100 + status.totalPhysical / 2) / status.totalPhysical);
    status.totalSwap = bytes(fields[kSwapTotal]);
    status.freeSwap = bytes(fields[kSwapFree]);
    return status;
}

std::optional<MemoryStatus> readMemoryStatus(const std::string& procRoot) {
    std::array<char, 16384> buffer;
    const ssize_t size = procRoot == kProc ? readKeptProcMeminfo(buffer.data(), buffer.size())
                                           : readWholeSmallFile(procRoot + "/meminfo", buffer.data(), buffer.size());
    if (size <= 0) return std::nullopt;
    return parseMemoryStatus(std::string_view(buffer.data(), static_cast<std::size_t>(size)));
}

}  // namespace platform
