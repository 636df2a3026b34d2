#include "platform/profile.h"

#include <gmock/gmock.h>

#include <clocale>

#include "support/temp_folder.h"

namespace {

using testsupport::ScopedEnv;
using testsupport::TempFolder;

struct ReadCase {
    const char* what;
    const char* section;
    const char* key;
    const char* defaultValue;
    std::size_t bufferSize;
    const char* expected;
};

// One file that holds every shape the rules talk about.
constexpr const char* kProfile =
    "; a comment line\r\n"
    "[Preferences]\r\n"
    "  CircularLog  =  1  \r\n"
    "Silent Run=1\r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Single='x'\r\n"
    "Unmatched=\"half\r\n"
    "Trailing=value ; not a comment\r\n"
    ";Hidden=yes\r\n"
    "Empty=\r\n"
    "no equals sign here\r\n"
    "Twice=first\r\n"
    "Twice=second\r\n"
    "[ log file ]\n"
    "Log File=/var/log/x.log\n"
    "[other]\n"
    "CircularLog=9\n";

const ReadCase kReadCases[] = {
    {"names ignore case, blanks go", "PREFERENCES", "circularlog", "0", 5, "1"},
    {"key with a blank inside", "preferences", "Silent Run", "0", 2, "1"},
    {"matching quotes go, blanks inside stay", "preferences", "Quoted", "", 128, "  spaced  "},
    {"single quotes too", "preferences", "Single", "", 128, "x"},
    {"a lone quote stays", "preferences", "Unmatched", "", 128, "\"half"},
    {"text after the value is the value", "preferences", "Trailing", "", 128, "value ; not a comment"},
    {"comment lines are not keys", "preferences", "Hidden", "dflt", 128, "dflt"},
    {"an empty value is a value", "preferences", "Empty", "dflt", 128, ""},
    {"the first of two wins", "preferences", "Twice", "", 128, "first"},
    {"section name in blanks, LF line ends", "Log File", "LOG FILE", "", 128, "/var/log/x.log"},
    {"cut to buffer size - 1", "log file", "Log File", "", 5, "/var"},
    {"a 2-character buffer sees one character", "log file", "Log File", "", 2, "/"},
    {"a 1-character buffer sees nothing", "log file", "Log File", "", 1, ""},
    {"missing key gives the default", "preferences", "Nope", "circ0001.log", 128, "circ0001.log"},
    {"missing section gives the default", "email", "Address", "", 255, ""},
    {"the default is cut too", "email", "Address", "<unknown>", 4, "<un"},
    {"the default loses trailing blanks", "email", "Address", "abc   ", 128, "abc"},
    {"keys belong to their section", "other", "Silent Run", "0", 2, "0"},
};

TEST(PrivateProfile, ReadsByTheClassicRules) {
    TempFolder folder;
    const std::string file = folder.write("WLCLIENT.INI", kProfile);
    for (const ReadCase& c : kReadCases) {
        std::string value = "garbage";
        const std::size_t count = platform::getPrivateProfileString(c.section, c.key, c.defaultValue, value,
                                                                    c.bufferSize, file);
        EXPECT_EQ(value, c.expected) << c.what;
        EXPECT_EQ(count, value.size()) << c.what;
    }
}

TEST(PrivateProfile, MissingFileGivesTheDefault) {
    TempFolder folder;
    std::string value;
    EXPECT_EQ(platform::getPrivateProfileString("preferences", "CircularLog", "0", value, 5, folder / "none.ini"), 1u);
    EXPECT_EQ(value, "0");
}

TEST(PrivateProfile, FileNameMatchesWithoutRegardToCase) {
    TempFolder folder;
    folder.write("wlclient.ini", "[preferences]\nCircularLog=1\n");
    std::string value;
    platform::getPrivateProfileString("preferences", "CircularLog", "0", value, 5, folder / "WLCLIENT.INI");
    EXPECT_EQ(value, "1");
    EXPECT_EQ(platform::locateProfileFile(folder / "WlClient.Ini"), folder / "wlclient.ini");
    EXPECT_EQ(platform::locateProfileFile(folder / "other.ini"), std::nullopt);
}

TEST(PrivateProfile, BareNamesLiveInTheWindowsDirectory) {
    TempFolder windows;
    windows.write("win.ini", "[fonts]\ndefault=Helv\n");
    {
        ScopedEnv windir("WINDIR", windows.path() + "/");
        EXPECT_EQ(platform::windowsDirectory(), windows.path());
        std::string value;
        EXPECT_EQ(platform::getPrivateProfileString("fonts", "default", "<unknown>", value, 128, "win.INI"), 4u);
        EXPECT_EQ(value, "Helv");
        platform::getPrivateProfileString("boot", "comm.drv", "<unknown>", value, 128, "system.INI");
        EXPECT_EQ(value, "<unknown>");
    }
    ScopedEnv noWindir("WINDIR", "");
    EXPECT_EQ(platform::windowsDirectory(), "/etc");
}

TEST(SystemProfile, DecimalSeparatorComesFromTheProfileOnly) {
    TempFolder windows;
    ScopedEnv windir("WINDIR", windows.path());
    std::string separator;
    EXPECT_EQ(platform::getProfileString("intl", "sDecimal", "", separator, 2), 0u) << "no win.ini: none";

    windows.write("WIN.INI", "[intl]\nsDecimal=,\n[windows]\ndevice=lp0\n");
    platform::getProfileString("intl", "sDecimal", "", separator, 2);
    EXPECT_EQ(separator, ",");
    platform::getProfileString("windows", "device", "", separator, 128);
    EXPECT_EQ(separator, "lp0");

    windows.write("WIN.INI", "[intl]\nsDecimal=\n");
    EXPECT_EQ(platform::getProfileString("intl", "sDecimal", "", separator, 2), 0u) << "the profile says none";
}

}  // namespace
