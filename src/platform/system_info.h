#pragma once
// Processor and operating-system figures, read from the kernel's /proc and /sys files.
// Every function takes the root folder it reads from, so tests can point it at a fixture.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Number of online processors, from <sysRoot>/devices/system/cpu/online (a list such as
// "0-3,6"); nullopt when the list cannot be read.
std::optional<int> processorCount(const std::string& sysRoot = "/sys");

// The processor type number for a machine name as the kernel gives it ("x86_64", "i686",
// "aarch64"): every x86 processor reports 586, as the Pentium-class answer it has always
// had; other architectures have no number here and report 0.
int32_t processorTypeFor(std::string_view machine);

// The kernel's machine name, from <procRoot>/sys/kernel/arch, else from uname().
std::string machineName(const std::string& procRoot = "/proc");

struct KernelVersion {
    std::string name;  // "Linux"
    int major = 0;
    int minor = 0;
};

// The kernel's name and the major and minor numbers of its release, from
// <procRoot>/sys/kernel/ostype and osrelease ("6.1.0-18-amd64" gives 6 and 1).
std::optional<KernelVersion> kernelVersion(const std::string& procRoot = "/proc");

}  // namespace platform
