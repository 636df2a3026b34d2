#include "platform/log_open.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using platform::LogAccess;
using platform::openLogFile;

struct LogCase {
    const char* what;
    std::function<std::string(const testsupport::TempFolder&)> make;  // the path to open
    LogAccess access;
    bool opens;
};

TEST(LogOpen, AcceptsOnlyTheUsersFilesAndStreams) {
    const LogCase cases[] = {
        {"missing file is created", [](auto& t) { return t / "new.log"; }, LogAccess::Append, true},
        {"own file", [](auto& t) { return t.write("own.log", "x"); }, LogAccess::ReadWrite, true},
        {"link to own file",
         [](auto& t) {
             fs::create_symlink(t.write("target", "kept"), t / "link.log");
             return t / "link.log";
         },
         LogAccess::Append, false},
        {"dangling link",
         [](auto& t) {
             fs::create_symlink(t / "nowhere", t / "dangling.log");
             return t / "dangling.log";
         },
         LogAccess::Append, false},
        {"folder", [](auto& t) { return t.path(); }, LogAccess::Append, false},
        {"FIFO without reader",
         [](auto& t) {
             ::mkfifo((t / "fifo").c_str(), 0600);
             return t / "fifo";
         },
         LogAccess::Append, false},
        {"FIFO as circular log",
         [](auto& t) {
             ::mkfifo((t / "fifo").c_str(), 0600);
             return t / "fifo";
         },
         LogAccess::ReadWrite, false},
        {"character device", [](auto&) { return std::string("/dev/null"); }, LogAccess::Append, true},
        {"link to a character device",
         [](auto& t) {
             fs::create_symlink("/dev/null", t / "null.log");
             return t / "null.log";
         },
         LogAccess::Append, true},
    };
    for (const LogCase& c : cases) {
        testsupport::TempFolder folder;
        const std::string path = c.make(folder);
        bool madeNew = false;
        const int fd = openLogFile(path, c.access, &madeNew);
        EXPECT_EQ(fd >= 0, c.opens) << c.what;
        if (fd >= 0) {
            EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << c.what;
            ::close(fd);
        }
        if (fs::exists(folder / "target")) {
            EXPECT_EQ(fs::file_size(folder / "target"), 4u) << c.what;
        }
        EXPECT_FALSE(fs::exists(folder / "nowhere")) << c.what;
    }
}

TEST(LogOpen, NewLogIsPrivate) {
    testsupport::TempFolder folder;
    bool madeNew = false;
    const int fd = openLogFile(folder / "new.log", LogAccess::Append, &madeNew);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_TRUE(madeNew);
    EXPECT_EQ(fs::status(folder / "new.log").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
