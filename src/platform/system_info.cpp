#include "platform/system_info.h"

#include <sys/utsname.h>

#include <array>
#include <charconv>
#include <fstream>

namespace platform {
namespace {

std::optional<std::string> firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    return line;
}

// Reads a decimal number at the start of `text`, moving `text` past it.
std::optional<int> takeNumber(std::string_view& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{}) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

// Counts the processors of a kernel CPU list: comma-separated numbers and ranges "a-b".
std::optional<int> countCpuList(std::string_view list) {
    int count = 0;
    while (!list.empty()) {
        const auto first = takeNumber(list);
        if (!first) return std::nullopt;
        int last = *first;
        if (!list.empty() && list.front() == '-') {
            list.remove_prefix(1);
            const auto rangeEnd = takeNumber(list);
            if (!rangeEnd || *rangeEnd < *first) return std::nullopt;
            last = *rangeEnd;
        }
        count += last - *first + 1;
        if (!list.empty() && list.front() != ',') return std::nullopt;
        if (!list.empty()) list.remove_prefix(1);
    }
    return count > 0 ? std::optional<int>(count) : std::nullopt;
}

}  // namespace

std::optional<int> processorCount(const std::string& sysRoot) {
    const auto list = firstLine(sysRoot + "/devices/system/cpu/online");
    return list ? countCpuList(*list) : std::nullopt;
}

int32_t processorTypeFor(std::string_view machine) {
    constexpr std::array<std::string_view, 5> kX86Machines = {"i386", "i486", "i586", "i686", "x86_64"};
    for (std::string_view x86 : kX86Machines)
        if (machine == x86) return 586;
    return 0;
}

std::string machineName(const std::string& procRoot) {
    if (auto arch = firstLine(procRoot + "/sys/kernel/arch"); arch && !arch->empty()) return *arch;
    utsname names{};
    return ::uname(&names) == 0 ? names.machine : "";
}

std::optional<KernelVersion> kernelVersion(const std::string& procRoot) {
    const auto name = firstLine(procRoot + "/sys/kernel/ostype");
    const auto release = firstLine(procRoot + "/sys/kernel/osrelease");
    if (!name || !release) return std::nullopt;
    std::string_view rest = *release;
    const auto major = takeNumber(rest);
    if (!major || rest.empty() || rest.front() != '.') return std::nullopt;
    rest.remove_prefix(1);
    const auto minor = takeNumber(rest);
    if (!minor) return std::nullopt;
    return KernelVersion{*name, *major, *minor};
}

}  // namespace platform
