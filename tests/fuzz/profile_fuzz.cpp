// Feeds arbitrary bytes to the profile reader, asking for every key the runtime and the
// system report read: in memory, then through the file as the runtime's "WLCLIENT.INI" and
// as the system's "win.INI". A crash, an out-of-bounds read, a value that is not the one in
// the text cut to its buffer, or a value longer than its buffer is a finding.
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "platform/profile.h"
#include "platform/profile_text.h"
#include "support/fuzz_support.h"

namespace {

using fuzzsupport::require;

struct Key {
    const char* section;
    const char* key;
    const char* defaultValue;
    std::size_t buffer;
};

// The runtime's preferences, then keys of the system profile.
constexpr Key kKeys[] = {
    {"preferences", "CircularLog", "0", 5},
    {"CicularLog", "FileName", "circ0001.log", 128},
    {"CicularLog", "RecordSize", "1024", 128},
    {"CicularLog", "MaxRecords", "20", 128},
    {"preferences", "Force System Info", "", 8},
    {"email", "Address", "", 255},
    {"log file", "Write To Disk", "", 8},
    {"log file", "Capture To Disk", "", 8},
    {"log file", "Log File", "", 128},
    {"preferences", "Silent Run", "0", 2},
    {"preferences", "Display Mode", "0", 2},
    {"include", "Resources", "1", 2},
    {"include", "Memory", "1", 2},
    {"include", "Arguments", "1", 2},
    {"include", "User", "1", 2},
    {"intl", "sDecimal", ".", 2},
    {"windows", "device", "", 255},
    {"boot", "display.drv", "<unknown>", 128},
};

// The value found in memory lies in the text and stays on one line.
void checkFound(std::string_view text, const std::optional<std::string_view>& found) {
    if (!found || found->empty()) return;
    require(found->data() >= text.data() && found->data() + found->size() <= text.data() + text.size());
    require(found->find('\n') == std::string_view::npos);
}

// A Windows directory whose "win.INI" is the input file, removed when the run ends.
class SystemProfileFolder {
  public:
    explicit SystemProfileFolder(const std::string& input)
        : folder_(std::filesystem::temp_directory_path() / ("profile-fuzz-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(folder_);
        std::filesystem::remove(folder_ / "win.INI");
        std::filesystem::create_symlink(input, folder_ / "win.INI");
        ::setenv("WINDIR", folder_.c_str(), 1);
    }
    ~SystemProfileFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

  private:
    std::filesystem::path folder_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzzsupport::InputFile file;
    static const SystemProfileFolder folder(file.path());
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const Key& key : kKeys) checkFound(text, platform::findProfileValue(text, key.section, key.key));

    // Through the files, as the runtime and the system report read them: the same value as
    // in memory (after a byte-order mark), cut to the buffer, or the default.
    file.hold(data, size);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const Key& key = kKeys[size % std::size(kKeys)];
    const auto found = platform::findProfileValue(text, key.section, key.key);
    const std::string_view expected = found.value_or(key.defaultValue).substr(0, key.buffer - 1);
    std::string value;
    const std::size_t copied = platform::getPrivateProfileString(key.section, key.key, key.defaultValue,
                                                                 value, key.buffer, file.path());
    require(copied == value.size() && value == expected);
    platform::getProfileString("intl", "sDecimal", ".", value, 2);
    require(value.size() <= 1);
    return 0;
}
