#include "platform/memory_status.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <charconv>
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

}  // namespace

std::optional<MemoryStatus> parseMemoryStatus(const std::string& meminfo) {
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
    // One read of a small buffer: the table is generated afresh by the kernel on each read.
    const int fd = ::open((procRoot + "/meminfo").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text(8192, '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t got = ::read(fd, text.data() + filled, text.size() - filled);
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    text.resize(filled);
    return parseMemoryStatus(text);
}

}  // namespace platform
