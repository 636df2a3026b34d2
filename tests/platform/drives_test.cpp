#include "platform/drives.h"

#include <gmock/gmock.h>

namespace {

const std::string kFixture = std::string(MORROWSET_TEST_DATA_DIR) + "/system_report";

struct Expected {
    char letter;
    platform::DriveType type;
    const char* mountPoint;
};

void expectDrives(const std::vector<platform::Drive>& drives, const std::vector<Expected>& expected) {
    ASSERT_EQ(drives.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(drives[i].letter, expected[i].letter) << "drive " << i;
        EXPECT_EQ(drives[i].type, expected[i].type) << "drive " << drives[i].letter;
        EXPECT_EQ(drives[i].mountPoint, expected[i].mountPoint) << "drive " << drives[i].letter;
    }
}

TEST(LogicalDrives, FloppyIsAAndRootIsC) {
    using enum platform::DriveType;
    expectDrives(platform::logicalDrives(kFixture + "/mounts-floppy", kFixture + "/sys"),
                 {{'A', Removable, "/media/floppy"}, {'C', Fixed, "/"}, {'D', Fixed, "/usr"}});
}

// Pseudo file systems, package images and a second mount of the root device get no
// letter; the rest follow the mount table's order from D:.
TEST(LogicalDrives, RealFileSystemsInMountOrderWithTheirKinds) {
    using enum platform::DriveType;
    expectDrives(platform::logicalDrives(kFixture + "/mounts-mixed", kFixture + "/sys"),
                 {{'C', Fixed, "/"},
                  {'D', Fixed, "/usr"},
                  {'E', CdRom, "/media/cdrom"},
                  {'F', Remote, "/net/share"},
                  {'G', Removable, "/media/usb stick"}});
}

TEST(LogicalDrives, NoMountTableNoDrives) {
    EXPECT_TRUE(platform::logicalDrives("/nonexistent/mounts", kFixture + "/sys").empty());
}

// A chroot's mount table shows what was mounted below it, never its own root.
TEST(LogicalDrives, TheRootIsCAlsoWhenTheMountTableDoesNotListIt) {
    using enum platform::DriveType;
    const std::string table = ::testing::TempDir() + "/chroot-mounts";
    {
        std::FILE* out = std::fopen(table.c_str(), "w");
        std::fputs("proc /proc proc rw 0 0\n/dev/vdb1 /data ext4 rw 0 0\ntmpfs /dev/shm tmpfs rw 0 0\n", out);
        std::fclose(out);
    }
    expectDrives(platform::logicalDrives(table, kFixture + "/sys"), {{'C', Fixed, "/"}, {'D', Fixed, "/data"}});
}

TEST(LogicalDrives, LettersStopAtZ) {
    const std::string table = ::testing::TempDir() + "/many-mounts";
    {
        std::FILE* out = std::fopen(table.c_str(), "w");
        std::fputs("/dev/vda / ext4 rw 0 0\n", out);
        for (int i = 0; i < 30; ++i) std::fprintf(out, "/dev/vdb%d /data%d ext4 rw 0 0\n", i, i);
        std::fclose(out);
    }
    const auto drives = platform::logicalDrives(table, kFixture + "/sys");
    ASSERT_EQ(drives.size(), 24u);  // C to Z
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().mountPoint, "/data22");
}

TEST(FreeBytes, TheRootHasAFigureAMissingFolderHasNone) {
    EXPECT_TRUE(platform::freeBytes("/"));
    EXPECT_FALSE(platform::freeBytes("/nonexistent/mount"));
}

}  // namespace
