// Whole writes and folder names: a write that fails says why, a large one arrives whole.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/file_io.h"

namespace {

TEST(FileIo, WriteAllDeliversEveryByteOrSaysWhyNot) {
    // More than a pipe holds, read by another thread while it is written.
    const std::string big(1 << 20, 'x');
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::string received;
    std::thread reader([&] {
        char buffer[4096];
        for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;) received.append(buffer, got);
    });
    EXPECT_TRUE(platform::writeAll(ends[1], big));
    ::close(ends[1]);
    reader.join();
    ::close(ends[0]);
    EXPECT_EQ(received, big);

    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    errno = 0;
    EXPECT_FALSE(platform::writeAll(full, "report"));
    EXPECT_EQ(errno, ENOSPC);
    ::close(full);

    errno = 0;
    EXPECT_FALSE(platform::writeAll(-1, "report"));
    EXPECT_EQ(errno, EBADF);
    EXPECT_TRUE(platform::writeAll(-1, "")) << "nothing to write is no failure";
}

TEST(FileIo, FolderOfAPath) {
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {"wlerror.log", "."},         {"", "."},
        {"/wlerror.log", "/"},        {"/var/log/wlerror.log", "/var/log"},
        {"logs/wlerror.log", "logs"}, {"/var/log/", "/var/log"},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::folderOf(c.path), c.folder) << '"' << c.path << '"';
}

}  // namespace
