// Feeds arbitrary bytes to the profile reader as the runtime's "WLCLIENT.INI" and as the
// system's "win.INI", asking for every key the runtime and the system report read.
// A crash, an out-of-bounds read or a value longer than its buffer allows is a finding.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/profile.h"

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

void checkValue(std::size_t copied, const std::string& value, std::size_t buffer) {
    require(copied == value.size() && copied < buffer);
}

// A Windows directory whose "win.INI" is the input file.
std::string systemProfileFolder(const std::string& input) {
    const std::string folder =
        std::filesystem::temp_directory_path() / ("profile-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::remove(folder + "/win.INI");
    std::filesystem::create_symlink(input, folder + "/win.INI");
    ::setenv("WINDIR", folder.c_str(), 1);
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzzsupport::InputFile file;
    static const std::string folder = systemProfileFolder(file.path());
    file.hold(data, size);
    std::string value;
    for (const Key& key : kKeys) {
        checkValue(platform::getPrivateProfileString(key.section, key.key, key.defaultValue, value,
                                                     key.buffer, file.path()),
                   value, key.buffer);
        checkValue(platform::getProfileString(key.section, key.key, key.defaultValue, value, key.buffer),
                   value, key.buffer);
    }
    return 0;
}
