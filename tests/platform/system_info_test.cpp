#include "platform/system_info.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

namespace {

const std::string kFixture = std::string(MORROWSET_TEST_DATA_DIR) + "/system_report";

// A /sys tree of its own holding one online-CPU list.
class CpuListRoot {
public:
    explicit CpuListRoot(const std::string& list)
        : root_(std::filesystem::temp_directory_path() / ("cpu-root-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(root_ / "devices/system/cpu");
        std::ofstream(root_ / "devices/system/cpu/online") << list << "\n";
    }
    ~CpuListRoot() { { std::error_code ignored; std::filesystem::remove_all(root_, ignored); } }
    std::string path() const { return root_.string(); }

private:
    std::filesystem::path root_;
};

TEST(ProcessorCount, CountsEveryCpuOfTheOnlineList) {
    const struct {
        const char* list;
        std::optional<int> count;
    } cases[] = {
        {"0", 1}, {"0-1", 2}, {"0-3,6", 5}, {"0,2,4-7", 6}, {"", std::nullopt}, {"3-1", std::nullopt}, {"0-x", std::nullopt},
    };
    for (const auto& c : cases) {
        CpuListRoot root(c.list);
        EXPECT_EQ(platform::processorCount(root.path()), c.count) << "list \"" << c.list << "\"";
    }
    EXPECT_EQ(platform::processorCount("/nonexistent"), std::nullopt);
    EXPECT_EQ(platform::processorCount(kFixture + "/sys"), 5);
}

TEST(ProcessorType, EveryX86ReportsPentiumClassOthersNothing) {
    for (const char* x86 : {"i386", "i686", "x86_64"}) EXPECT_EQ(platform::processorTypeFor(x86), 586) << x86;
    for (const char* other : {"aarch64", "riscv64", "ppc64le", ""}) EXPECT_EQ(platform::processorTypeFor(other), 0) << other;
    EXPECT_EQ(platform::machineName(kFixture + "/proc"), "x86_64");
    EXPECT_FALSE(platform::machineName("/nonexistent").empty()) << "falls back to the running kernel";
}

TEST(KernelVersion, NameAndTheFirstTwoNumbersOfTheRelease) {
    const auto fixture = platform::kernelVersion(kFixture + "/proc");
    ASSERT_TRUE(fixture);
    EXPECT_EQ(fixture->name, "Linux");
    EXPECT_EQ(fixture->major, 6);
    EXPECT_EQ(fixture->minor, 1);
    EXPECT_FALSE(platform::kernelVersion("/nonexistent"));
    const auto live = platform::kernelVersion();
    ASSERT_TRUE(live);
    EXPECT_GT(live->major, 0);
}

}  // namespace
