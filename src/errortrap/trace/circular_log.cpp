#include "errortrap/trace/circular_log.h"

#include <cstdio>

#include <algorithm>
#include <array>

#include "errortrap/trace/circular_log_layout.h"
#include "platform/clock.h"

namespace wardline {
namespace {

using circular_log_layout::kHeaderSize;
using circular_log_layout::kLeadingZeros;
using circular_log_layout::kMark;
using circular_log_layout::kMaxPadding;
using circular_log_layout::slotOffset;

constexpr std::string_view kPreviousRun = ".prev";

// Every slot index the writer can reach: limits below 1 put every record in slot 1.
int64_t slotCount(int16_t recordLimit) { return std::max<int64_t>(recordLimit, 1); }

// The previous run's log, if any, becomes ".prev"; a log that is not there is no failure.
void keepPreviousRun(const std::string& path) {
    const std::string previous = path + std::string(kPreviousRun);
    std::rename(path.c_str(), previous.c_str());
}

}  // namespace

bool CircularLog::open(const std::string& path, int32_t recordSize, int16_t recordLimit) {
    recordSize_ = recordSize;
    recordLimit_ = recordLimit;
    recordIndex_ = 0;
    keepPreviousRun(path);
    return openAndMap(path);
}

// Opens the file (creating it), gives it its full size, maps it and writes the header.
bool CircularLog::openAndMap(const std::string& path) {
    if (recordSize_ <= 0) return file_.open(path, platform::KeptFile::Mode::ReadWrite);  // no slot holds anything
    const int64_t size = kHeaderSize + slotCount(recordLimit_) * int64_t{recordSize_};
    if (!file_.open(path, platform::KeptFile::Mode::ReadWrite) || !file_.mapWhole(size)) {
        file_.close();
        return false;
    }
    slotEnds_.assign(static_cast<std::size_t>(slotCount(recordLimit_)), recordSize_);
    std::array<char, 32> header{};
    const int digits = std::snprintf(header.data() + kLeadingZeros, header.size() - kLeadingZeros, "%d", recordSize_);
    std::copy(kMark.begin(), kMark.end(), header.begin() + kLeadingZeros + digits);
    file_.copyToMapping(0, std::string_view(header.data(), kLeadingZeros + digits + kMark.size()), 0);
    return true;
}

void CircularLog::write(const std::string& line) {
    write(line, platform::coarseMonotonicMilliseconds());
}

void CircularLog::write(const std::string& line, int64_t nowMilliseconds) {
    Preferences& prefs = prefs_;
    bool usable = file_.isOpen() && !file_.replacedLately(nowMilliseconds);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!usable && !openAndMap(prefs.circFileName)) {
            if (cannotOpen_) cannotOpen_(prefs.circFileName);
            prefs.circularLogOn = false;
            return;
        }
        if (writeRecord(line)) return;
        usable = false;  // made shorter under the mapping: map it afresh and write again
        --recordIndex_;
    }
}

void CircularLog::writeLastLine(std::string_view line) noexcept {
    if (file_.isMapped()) writeRecord(line);
}

// True unless the copy found the file shorter than its mapping.
bool CircularLog::writeRecord(std::string_view line) noexcept {
    ++recordIndex_;
    if (recordIndex_ > recordLimit_ || recordIndex_ <= 0) recordIndex_ = 1;
    if (recordSize_ <= 0) return true;  // no slot can hold anything

    const auto text = line.substr(0, static_cast<std::size_t>(recordSize_));
    const auto padding = std::min<std::size_t>(static_cast<std::size_t>(recordSize_) - text.size(), kMaxPadding);
    const auto slot = static_cast<std::size_t>(recordIndex_ - 1);
    if (slot >= slotEnds_.size())
        return file_.copyToMapping(slotOffset(recordIndex_, recordSize_), text, padding);
    auto& end = slotEnds_[slot];
    const std::size_t used = static_cast<std::size_t>(end);
    const std::size_t zeros = used > text.size() ? std::min(used - text.size(), padding) : 0;
    if (!file_.copyToMapping(slotOffset(recordIndex_, recordSize_), text, zeros)) return false;
    if (used <= text.size() + padding) end = static_cast<int32_t>(text.size());
    return true;
}

}  // namespace wardline
