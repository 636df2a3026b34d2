#include "platform/sound_devices.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

namespace {

const std::string kFixture = std::string(MORROWSET_TEST_DATA_DIR) + "/system_report";

TEST(WaveOut, PlaybackDevicesOnlyInListOrder) {
    EXPECT_EQ(platform::waveOutDeviceCount(kFixture + "/asound"), 2);
    const auto first = platform::waveOutCapabilities(0, kFixture + "/asound");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->productName, "ALC892 Analog");
    EXPECT_EQ(first->driverMajor, 6);
    EXPECT_EQ(first->driverMinor, 1);
    const auto second = platform::waveOutCapabilities(1, kFixture + "/asound");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->productName, "HDMI 0");
    EXPECT_FALSE(platform::waveOutCapabilities(2, kFixture + "/asound"));
}

TEST(WaveOut, NoSoundSystemMeansNoDevices) {
    EXPECT_EQ(platform::waveOutDeviceCount("/nonexistent/asound"), 0);
    EXPECT_FALSE(platform::waveOutCapabilities(0, "/nonexistent/asound"));
}

TEST(WaveOut, CapabilitiesNeedTheDriverVersion) {
    EXPECT_EQ(platform::waveOutDeviceCount(kFixture + "/asound-noversion"), 2);
    EXPECT_FALSE(platform::waveOutCapabilities(0, kFixture + "/asound-noversion"));
}

TEST(WaveOut, DriverVersionWithAndWithoutKernelMark) {
    const auto root = std::filesystem::path(::testing::TempDir()) / "asound-versions";
    std::filesystem::create_directories(root);
    std::ofstream(root / "pcm") << "00-00: PCM : Speaker : playback 1\n";
    const struct {
        const char* line;
        std::optional<std::pair<int, int>> version;
    } cases[] = {
        {"Advanced Linux Sound Architecture Driver Version 1.0.25.", std::pair{1, 0}},
        {"Advanced Linux Sound Architecture Driver Version k5.10.0-8-amd64.", std::pair{5, 10}},
        {"Advanced Linux Sound Architecture Driver", std::nullopt},
        {"Advanced Linux Sound Architecture Driver Version unknown.", std::nullopt},
    };
    for (const auto& c : cases) {
        std::ofstream(root / "version") << c.line << "\n";
        const auto caps = platform::waveOutCapabilities(0, root.string());
        ASSERT_EQ(caps.has_value(), c.version.has_value()) << c.line;
        if (caps) {
            EXPECT_EQ(std::pair(caps->driverMajor, caps->driverMinor), *c.version) << c.line;
        }
    }
    { std::error_code ignored; std::filesystem::remove_all(root, ignored); }
}

}  // namespace
