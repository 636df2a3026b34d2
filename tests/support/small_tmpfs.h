#pragma once
// A small file system of the test's own: a tmpfs of a given size mounted on a fresh folder
// for the life of the object, to see what code does when the disk is full. Mounting needs
// privilege; where it is refused, mounted() is false and why() says so for a skip.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace testsupport {

class SmallTmpfs {
public:
    // `size` as mount takes it: "2m".
    explicit SmallTmpfs(const std::string& size) : path_(folder_ / "fs") {
        std::filesystem::create_directory(path_);
        if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                    ("size=" + size + ",mode=0700").c_str()) == 0)
            mounted_ = true;
        else
            why_ = "a tmpfs cannot be mounted here (" + std::string(std::strerror(errno)) + ")";
    }
    ~SmallTmpfs() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    TempFolder folder_;
    std::string path_;
    bool mounted_ = false;
    std::string why_;
};

}  // namespace testsupport
