#pragma once
// Logical drives: the mounted file systems of the machine, each given a drive letter.
//
// Letter rule: a floppy disk device /dev/fd0 or /dev/fd1 is A: or B:; the root file
// system "/" is C:; the other real file systems take D:, E:, ... up to Z: in the order of
// the mount table. Pseudo and in-memory file systems (proc, sysfs, cgroup, tmpfs, devpts,
// overlay, ...) and read-only package images (squashfs) are not drives, and a file system
// mounted a second time (a bind mount of the same device) keeps its first letter only.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Drive types, numbered as the classic drive-type query answers them.
enum class DriveType : int {
    Unknown = 0,
    NoRootDirectory = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// One line of a mount table (fstab format, octal escapes such as "\040" decoded).
struct MountEntry {
    std::string device;
    std::string mountPoint;
    std::string fileSystem;
};

struct Drive {
    char letter = 'C';
    DriveType type = DriveType::Fixed;
    std::string mountPoint;
};

// The drives of `mountTable`, in letter order. `sysRoot` is where the block devices'
// "removable" marks are read (<sysRoot>/class/block/<device>/removable).
std::vector<Drive> logicalDrives(const std::string& mountTable = "/proc/self/mounts",
                                 const std::string& sysRoot = "/sys");

// Bytes free for the user on the file system mounted at `mountPoint`, in 64 bits;
// nullopt when the file system cannot be asked.
std::optional<uint64_t> freeBytes(const std::string& mountPoint);

}  // namespace platform
