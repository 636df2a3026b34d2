#pragma once
// What the fuzz targets share: a broken promise stops the run as a finding, and readers
// that only take a file name get the input as a file of the user's own (a memory file
// reached through /proc/self/fd), without touching the disk.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzsupport {

inline void require(bool promise) {
    if (!promise) __builtin_trap();
}

class InputFile {
  public:
    InputFile() : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
        require(fd_ >= 0);
        ::fchmod(fd_, 0600);  // readers refuse files that others may write
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    // Makes the file hold exactly `data`.
    void hold(const uint8_t* data, std::size_t size) {
        require(::ftruncate(fd_, 0) == 0);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t written = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            require(written > 0);
            done += static_cast<std::size_t>(written);
        }
    }
    const std::string& path() const { return path_; }

  private:
    int fd_;
    std::string path_;
};

}  // namespace fuzzsupport
