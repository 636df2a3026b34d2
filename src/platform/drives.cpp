#include "platform/drives.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string_view>

namespace platform {
namespace {

constexpr std::string_view kPseudoFileSystems[] = {
    "proc",      "sysfs",      "cgroup",      "cgroup2",   "tmpfs",   "devtmpfs",    "devpts",
    "overlay",   "mqueue",     "debugfs",     "tracefs",   "securityfs", "pstore",   "bpf",
    "autofs",    "hugetlbfs",  "configfs",    "fusectl",   "binfmt_misc", "ramfs",   "rpc_pipefs",
    "nsfs",      "efivarfs",   "selinuxfs",   "squashfs",  "fuse.portal", "fuse.gvfsd-fuse",
};
constexpr std::string_view kNetworkFileSystems[] = {
    "nfs",  "nfs4", "cifs", "smb3",      "smbfs",           "fuse.sshfs", "sshfs",        "9p",
    "afs",  "ceph", "coda", "glusterfs", "fuse.glusterfs", "davfs",      "fuse.davfs2", "ncpfs",
};
constexpr std::string_view kOpticalFileSystems[] = {"iso9660", "udf"};

bool isOneOf(std::string_view value, const auto& table) {
    return std::find(std::begin(table), std::end(table), value) != std::end(table);
}

bool isOctalDigit(char c) { return c >= '0' && c <= '7'; }

// Undoes the mount table's octal escapes ("\040" is a blank).
std::string decodeMountField(std::string_view field) {
    std::string decoded;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool escape = field[i] == '\\' && i + 4 <= field.size() && isOctalDigit(field[i + 1]) &&
                            isOctalDigit(field[i + 2]) && isOctalDigit(field[i + 3]);
        if (!escape) {
            decoded += field[i];
            continue;
        }
        decoded += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
        i += 3;
    }
    return decoded;
}

// The kernel's name of a block device ("/dev/mapper/root" -> "dm-0", "/dev/sdb1" -> "sdb1").
std::string blockDeviceName(const std::string& device) {
    std::error_code error;
    const auto resolved = std::filesystem::canonical(device, error);
    return (error ? std::filesystem::path(device) : resolved).filename().string();
}

std::optional<char> readFirstChar(const std::string& path) {
    std::ifstream in(path);
    char c = 0;
    if (in >> c) return c;
    return std::nullopt;
}

// A partition has no mark of its own; its disk, one folder up through the class link, has.
bool markedRemovable(const std::string& device, const std::string& sysRoot) {
    const std::string folder = sysRoot + "/class/block/" + blockDeviceName(device);
    auto mark = readFirstChar(folder + "/removable");
    if (!mark) mark = readFirstChar(folder + "/../removable");
    return mark == '1';
}

std::optional<int> floppyNumber(const std::string& device) {
    if (device == "/dev/fd0") return 0;
    if (device == "/dev/fd1") return 1;
    return std::nullopt;
}

DriveType driveTypeOf(const MountEntry& entry, const std::string& sysRoot) {
    if (isOneOf(entry.fileSystem, kNetworkFileSystems)) return DriveType::Remote;
    if (isOneOf(entry.fileSystem, kOpticalFileSystems)) return DriveType::CdRom;
    if (floppyNumber(entry.device) || markedRemovable(entry.device, sysRoot)) return DriveType::Removable;
    return DriveType::Fixed;
}

bool isDrive(const MountEntry& entry) {
    if (isOneOf(entry.fileSystem, kPseudoFileSystems)) return false;
    return entry.device.starts_with("/dev/") || isOneOf(entry.fileSystem, kNetworkFileSystems);
}

// The entries of a mount table file such as /proc/self/mounts; empty when unreadable.
std::vector<MountEntry> readMountTable(const std::string& path) {
    std::vector<MountEntry> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint, fileSystem;
        if (!(fields >> device >> mountPoint >> fileSystem) || device.starts_with("#")) continue;
        entries.push_back({decodeMountField(device), decodeMountField(mountPoint), decodeMountField(fileSystem)});
    }
    return entries;
}

}  // namespace

std::vector<Drive> logicalDrives(const std::string& mountTable, const std::string& sysRoot) {
    const std::vector<MountEntry> entries = readMountTable(mountTable);
    std::vector<Drive> drives;
    // The root may be mounted over more than once; the last mount is the one in use.
    const auto root = std::find_if(entries.rbegin(), entries.rend(),
                                   [](const MountEntry& e) { return e.mountPoint == "/"; });
    std::set<std::string> lettered;
    if (root != entries.rend()) {
        drives.push_back({'C', driveTypeOf(*root, sysRoot), "/"});
        lettered.insert(root->device);
    } else if (!entries.empty()) {
        // Inside a chroot the mount table lists only what was mounted below the new root,
        // not the root itself; the root is still the program's drive C:.
        drives.push_back({'C', DriveType::Fixed, "/"});
    }
    char nextLetter = 'D';
    for (const MountEntry& entry : entries) {
        if (entry.mountPoint == "/" || !isDrive(entry) || lettered.count(entry.device)) continue;
        char letter = 0;
        if (const auto floppy = floppyNumber(entry.device)) {
            letter = static_cast<char>('A' + *floppy);
        } else if (nextLetter <= 'Z') {
            letter = nextLetter++;
        } else {
            continue;  // no letters left
        }
        drives.push_back({letter, driveTypeOf(entry, sysRoot), entry.mountPoint});
        lettered.insert(entry.device);
    }
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return drives;
}

std::optional<uint64_t> freeBytes(const std::string& mountPoint) {
    struct statvfs figures {};
    if (::statvfs(mountPoint.c_str(), &figures) != 0) return std::nullopt;
    return static_cast<uint64_t>(figures.f_bavail) * static_cast<uint64_t>(figures.f_frsize);
}

}  // namespace platform
