#pragma once
// Wave output devices, from the sound system's /proc/asound files: every PCM device that
// can play back is one wave output device, numbered from 0 in the order of
// <asoundRoot>/pcm.
#include <optional>
#include <string>

namespace platform {

// The capabilities of one wave output device.
struct WaveOutCaps {
    std::string productName;  // the PCM device's name
    int driverMajor = 0;      // the sound driver's version, from <asoundRoot>/version
    int driverMinor = 0;
};

// Number of wave output devices; 0 when there is no sound system.
int waveOutDeviceCount(const std::string& asoundRoot = "/proc/asound");

// Capabilities of wave output device `device`; nullopt when there is no such device or
// the driver's version cannot be read.
std::optional<WaveOutCaps> waveOutCapabilities(int device, const std::string& asoundRoot = "/proc/asound");

}  // namespace platform
