#include "platform/memory_status.h"

#include <gmock/gmock.h>

#include "support/temp_folder.h"

namespace {

using testsupport::TempFolder;

TEST(MemoryStatus, ByteCountsAreSixtyFourBit) {
    // 64 GiB of which 40 GiB are available: far beyond a signed 32-bit count.
    const auto status = platform::parseMemoryStatus(
        "MemTotal:       67108864 kB\n"
        "MemFree:         1048576 kB\n"
        "MemAvailable:   41943040 kB\n"
        "Buffers:          524288 kB\n"
        "Cached:         20971520 kB\n"
        "SwapTotal:       2097152 kB\n"
        "SwapFree:        1048576 kB\n");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->totalPhysical, 68719476736u);
    EXPECT_EQ(status->availablePhysical, 42949672960u);
    EXPECT_EQ(status->memoryLoad, 38u);  // 24 of 64 GiB in use, 37.5 rounded
    EXPECT_EQ(status->totalSwap, 2147483648u);
    EXPECT_EQ(status->freeSwap, 1073741824u);
}

TEST(MemoryStatus, OldKernelsCountFreeBuffersAndCache) {
    const auto status = platform::parseMemoryStatus(
        "MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 100 kB\n");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->availablePhysical, 250u * 1024);
    EXPECT_EQ(status->memoryLoad, 75u);
}

TEST(MemoryStatus, UnreadableOrIncompleteTablesGiveNothing) {
    EXPECT_FALSE(platform::parseMemoryStatus(""));
    EXPECT_FALSE(platform::parseMemoryStatus("MemFree: 100 kB\n"));
    EXPECT_FALSE(platform::parseMemoryStatus("MemTotal: lots\n"));
    TempFolder empty;
    EXPECT_FALSE(platform::readMemoryStatus(empty.path()));
}

TEST(MemoryStatus, ReadsAFixtureFolderAndTheRealMachine) {
    TempFolder proc;
    proc.write("meminfo", "MemTotal: 2000 kB\nMemAvailable: 500 kB\n");
    const auto fixture = platform::readMemoryStatus(proc.path());
    ASSERT_TRUE(fixture);
    EXPECT_EQ(fixture->memoryLoad, 75u);

    const auto real = platform::readMemoryStatus();
    ASSERT_TRUE(real);
    EXPECT_GT(real->totalPhysical, 0u);
    EXPECT_LE(real->availablePhysical, real->totalPhysical);
    EXPECT_LE(real->memoryLoad, 100u);
}

}  // namespace
