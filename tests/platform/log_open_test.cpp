#include "platform/log_open.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iostream>

#include "support/second_user.h"
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
            EXPECT_NE(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << c.what << ": a stream must never hold the program";
            ::close(fd);
        }
        if (fs::exists(folder / "target")) {
            EXPECT_EQ(fs::file_size(folder / "target"), 4u) << c.what;
        }
        EXPECT_FALSE(fs::exists(folder / "nowhere")) << c.what;
    }
}

// A FIFO with a reader is taken only when it is the user's and nobody else can write into
// it: another user's FIFO, or one others may write, could carry their lines to its reader
// as the program's.
TEST(LogOpen, AFifoOnlyOfTheUsersAndWritableByNoOneElse) {
    struct FifoCase {
        const char* what;
        mode_t mode;
        bool theirs;
        bool opens;
    };
    const FifoCase cases[] = {
        {"the user's, 0600", 0600, false, true},
        {"the user's, readable by all (mkfifo's default)", 0644, false, true},
        {"the user's, writable by the group", 0620, false, false},
        {"the user's, writable by others", 0602, false, false},
        {"another user's, 0600", 0600, true, false},
    };
    const auto other = testsupport::secondUser();
    for (const FifoCase& c : cases) {
        if (c.theirs && !other) {
            std::cout << "skipped \"" << c.what << "\": " << testsupport::secondUserMissing() << "\n";
            continue;
        }
        testsupport::TempFolder folder;
        const std::string fifo = folder / "collector";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        ASSERT_EQ(::chmod(fifo.c_str(), c.mode), 0);
        if (c.theirs) {
            ASSERT_EQ(::chown(fifo.c_str(), other->uid, other->gid), 0);
        }
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        const int fd = openLogFile(fifo, LogAccess::Append);
        EXPECT_EQ(fd >= 0, c.opens) << c.what;
        if (fd >= 0) ::close(fd);
        ::close(reader);
    }
}

std::string drained(int reader) {
    std::string received;
    char buffer[65536];
    for (ssize_t got; (got = ::read(reader, buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<std::size_t>(got));
    return received;
}

// A FIFO whose reader stops reading takes a line whole or not at all, and never waits; a
// text longer than PIPE_BUF goes only when the pipe has room for it.
TEST(LogOpen, AStreamTakesATextWholeOrNotAtAll) {
    testsupport::TempFolder folder;
    const std::string fifo = folder / "collector";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    const int fd = openLogFile(fifo, LogAccess::Append);
    ASSERT_GE(fd, 0);
    const std::string line(997, 'l');
    std::size_t whole = 0;
    platform::StreamWrite result;
    while ((result = platform::writeToStream(fd, {line, "\r\n"})) == platform::StreamWrite::Whole) ++whole;
    EXPECT_EQ(result, platform::StreamWrite::Lost);
    std::string expected;
    for (std::size_t n = 0; n < whole; ++n) expected += line + "\r\n";
    EXPECT_TRUE(drained(reader) == expected) << "whole lines only";

    const std::string big(3 * 4096 + 17, 'b');
    EXPECT_EQ(platform::writeToStream(fd, {big}), platform::StreamWrite::Whole) << "an empty pipe has room";
    while (platform::writeToStream(fd, {line}) == platform::StreamWrite::Whole) {
    }
    EXPECT_NE(platform::writeToStream(fd, {big}), platform::StreamWrite::Whole) << "a full one has none";
    ::close(fd);
    ::close(reader);
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
