#include "timetable/switches.h"

#include <utility>

#include "errortrap/core/runtime_state.h"
#include "platform/profile.h"
#include "platform/profile_write.h"
#include "timetable/settings_file.h"

namespace morrowset::switches {

namespace {

constexpr const char* kSection = "timetable";

}  // namespace

bool isOn(const std::string& preferencesPath, const char* key) {
    std::string value;
    platform::getPrivateProfileString(kSection, key, "0", value, 2, preferencesPath);
    return value == "1";
}

void set(const std::string& preferencesPath, const char* key, bool on, const wardline::Preferences& prefs) {
    if (!settings::exists(preferencesPath)) {
        for (const auto& [item, value] : {std::pair{"Resources", prefs.includeResources}, {"Memory", prefs.includeMemory},
                                          {"Arguments", prefs.includeArguments}, {"User", prefs.includeUser}})
            platform::writePrivateProfileString("include", item, value ? "1" : "0", preferencesPath);
    }
    platform::writePrivateProfileString(kSection, key, on ? "1" : "0", preferencesPath);
}

}  // namespace morrowset::switches
