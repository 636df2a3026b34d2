#include "errortrap/circular_log.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "errortrap/runtime_state.h"
#include "errortrap/ui_services.h"

namespace wardline {
namespace {

constexpr int64_t kHeaderSize = 512;
constexpr std::string_view kMark = "HM100";
constexpr std::size_t kPaddingSize = 1024;
constexpr std::array<char, kPaddingSize> kPadding{};

const RuntimeResetHook resetHook{[] { circularLog().reset(); }};

}  // namespace

CircularLog& circularLog() {
    static CircularLog log;
    return log;
}

bool CircularLog::open(const std::string& path, int32_t recordSize) {
    if (!file_.open(path, platform::KeptFile::Mode::ReadWrite)) return false;
    file_.writeAt(4, std::to_string(recordSize), kMark);
    return true;
}

bool CircularLog::on() const { return runtime().prefs.circularLogOn; }

bool CircularLog::reopen(const std::string& path) {
    if (!file_.open(path, platform::KeptFile::Mode::ReadWrite)) return false;
    file_.writeAt(0, kMark);
    return true;
}

void CircularLog::write(const std::string& line) {
    Preferences& prefs = runtime().prefs;
    if (!file_.isOpen() || file_.replaced()) {
        if (!reopen(prefs.circFileName)) {
            if (runtime().inDevEnvironment)
                ui().messageBox("Could not open circular log file " + prefs.circFileName, kCritical, "");
            prefs.circularLogOn = false;
            return;
        }
    }
    writeRecord(line);
}

void CircularLog::writeLastLine(std::string_view line) noexcept {
    if (file_.isOpen()) writeRecord(line);
}

void CircularLog::writeRecord(std::string_view line) noexcept {
    const Preferences& prefs = runtime().prefs;
    ++recordIndex_;
    if (recordIndex_ > prefs.circRecordLimit || recordIndex_ <= 0) recordIndex_ = 1;

    const int64_t recordSize = prefs.circRecordSize;
    if (recordSize <= 0) return;  // no slot can hold anything
    const auto text = line.substr(0, static_cast<std::size_t>(recordSize));
    const auto padding = std::min<int64_t>(recordSize - static_cast<int64_t>(text.size()), kPaddingSize);
    file_.writeAt(kHeaderSize + (recordIndex_ - 1) * recordSize, text,
                  std::string_view(kPadding.data(), static_cast<std::size_t>(padding)));
}

void CircularLog::reset() {
    file_.close();
    recordIndex_ = 0;
}

}  // namespace wardline
