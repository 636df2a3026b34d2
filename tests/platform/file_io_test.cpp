// Whole writes, folder names and whole replacements: a write that fails says why, a large
// one arrives whole; a replacement touches no file it did not make.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "support/child_with_watchdog.h"
#include "support/scoped_services.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

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

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The user's own "<name>.new" and a FIFO another user planted under that name (the name
// replacements once wrote through) are left as they are: the FIFO is never opened, so
// nothing waits for a reader, and the file takes its new content whole.
TEST(FileReplacement, TouchesNoFileItDidNotMake) {
    testsupport::ScopedServices services;
    testsupport::TempFolder folder;
    writeFile(folder / "WLCLIENT.INI", "old");
    writeFile(folder / "WLCLIENT.INI.new", "the user's own");
    ASSERT_EQ(::mkfifo((folder / "entry.desktop.new").c_str(), 0666), 0);

    const auto status = testsupport::runInChildWithWatchdog([&] {
        platform::replaceFileWhole(folder / "WLCLIENT.INI", "[preferences]\r\n", 0600);
        platform::replaceFileWhole(folder / "entry.desktop", "[Desktop Entry]\n", 0644);
    });
    ASSERT_EQ(status, 0) << "the replacement did not return, or failed";
    EXPECT_EQ(readFile(folder / "WLCLIENT.INI"), "[preferences]\r\n");
    EXPECT_EQ(readFile(folder / "entry.desktop"), "[Desktop Entry]\n");
    EXPECT_EQ(readFile(folder / "WLCLIENT.INI.new"), "the user's own");
    EXPECT_TRUE(fs::is_fifo(folder / "entry.desktop.new"));
    EXPECT_THAT(namesIn(folder.path()),
                ::testing::ElementsAre("WLCLIENT.INI", "WLCLIENT.INI.new", "entry.desktop", "entry.desktop.new"));
    EXPECT_EQ(fs::status(folder / "entry.desktop").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

// A replacement that fails, at the rename or at a write, raises its error and leaves the
// old file as it was and no file of its own behind.
TEST(FileReplacement, AFailureLeavesTheOldFileAndNoStrayFile) {
    testsupport::ScopedServices services;
    const struct {
        const char* how;
        bool targetIsAFolder;
        rlim_t fileSizeLimit;
    } cases[] = {
        {"the old file is a folder: the rename fails", true, RLIM_INFINITY},
        {"a write past the file-size limit fails", false, 4096},
    };
    for (const auto& c : cases) {
        testsupport::TempFolder folder;
        const std::string target = folder / "Morrowset.ini";
        if (c.targetIsAFolder) fs::create_directory(target);
        else writeFile(target, "old");
        const auto status = testsupport::runInChildWithWatchdog([&] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{c.fileSizeLimit, c.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            platform::replaceFileWhole(target, std::string(64 * 1024, 'x'), 0600);
        });
        EXPECT_EQ(status, 1) << c.how << ": the error is raised";
        EXPECT_THAT(namesIn(folder.path()), ::testing::ElementsAre("Morrowset.ini")) << c.how;
        if (!c.targetIsAFolder) {
            EXPECT_EQ(readFile(target), "old") << c.how;
        }
    }
}

}  // namespace
