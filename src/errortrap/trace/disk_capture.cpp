#include "errortrap/trace/disk_capture.h"

#include <cstring>

#include "platform/clock.h"

namespace wardline {

void DiskCapture::write(const std::string& line) {
    write(line, platform::coarseMonotonicMilliseconds());
}

void DiskCapture::write(const std::string& line, int64_t nowMilliseconds) {
    const Preferences& prefs = prefs_;
    if (prefs.writeToDisk == 0 || prefs.errorLogPath.empty()) return;
    // The descriptor stays open between lines; a log swapped for another (errorLogPath
    // changes while a report is mailed) is opened afresh at once, one rotated, deleted or
    // replaced on the disk within the replaced-check interval (100 ms).
    if (!file_.isOpen() || file_.path() != prefs.errorLogPath || file_.replacedLately(nowMilliseconds)) {
        if (!file_.open(prefs.errorLogPath, platform::KeptFile::Mode::Append)) return;
    }
    // One piece: the kernel takes one buffer faster than two. The buffer only grows, so a
    // line is one copy into it.
    const std::size_t size = line.size() + 2;
    if (buffer_.size() < size) buffer_.resize(size);
    std::memcpy(buffer_.data(), line.data(), line.size());
    std::memcpy(buffer_.data() + line.size(), "\r\n", 2);
    file_.append(std::string_view(buffer_.data(), size));
}

void DiskCapture::writeLastLine(std::string_view line) noexcept {
    const Preferences& prefs = prefs_;
    if (prefs.writeToDisk == 0 || prefs.errorLogPath.empty()) return;
    if (file_.isOpen() && file_.path() == prefs.errorLogPath)
        file_.append(line, "\r\n");
    else
        platform::KeptFile::appendOnce(prefs.errorLogPath.c_str(), line, "\r\n");
}

}  // namespace wardline
