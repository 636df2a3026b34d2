#include "platform/profile_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/profile.h"
#include "platform/runtime_error.h"
#include "support/temp_folder.h"

namespace {

// One value set; every other line, comment and section kept as it was.
TEST(ProfileWrite, SetsOneValueAndKeepsTheRest) {
    const struct {
        const char* what;
        const char* before;
        const char* after;
    } cases[] = {
        {"no file", "", "[timetable]\r\nCatch Up=1\r\n"},
        {"no section", "[preferences]\r\nSilent Run=1\r\n",
         "[preferences]\r\nSilent Run=1\r\n[timetable]\r\nCatch Up=1\r\n"},
        {"the key's line, matched without case", "[Timetable]\r\ncatch up = 0\r\n[email]\r\nAddress=a@b\r\n",
         "[Timetable]\r\nCatch Up=1\r\n[email]\r\nAddress=a@b\r\n"},
        {"a new key at the end of its section", "[timetable]\r\n; note\r\nOther=x\r\n\r\n[email]\r\n",
         "[timetable]\r\n; note\r\nOther=x\r\nCatch Up=1\r\n\r\n[email]\r\n"},
        {"a key of the same name in another section is not it", "[preferences]\nCatch Up=0\n",
         "[preferences]\r\nCatch Up=0\r\n[timetable]\r\nCatch Up=1\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::withProfileValue(c.before, "timetable", "Catch Up", "1"), c.after) << c.what;
}

TEST(ProfileWrite, TheFileReadsBackAndAFileOthersMayChangeIsRefused) {
    testsupport::TempFolder folder;
    const std::string path = folder / "WLCLIENT.INI";
    platform::writePrivateProfileString("timetable", "Catch Up", "1", path);
    std::string value;
    platform::getPrivateProfileString("timetable", "Catch Up", "0", value, 2, path);
    EXPECT_EQ(value, "1");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ::chmod(path.c_str(), 0666);
    EXPECT_THROW(platform::writePrivateProfileString("timetable", "Catch Up", "0", path), platform::RuntimeError);
}

}  // namespace
