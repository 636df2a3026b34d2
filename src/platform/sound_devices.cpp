#include "platform/sound_devices.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace platform {
namespace {

// Names of the devices that play back. A line of the PCM list reads
// "00-00: id : name : playback 1 : capture 1".
std::vector<std::string> playbackDeviceNames(const std::string& asoundRoot) {
    std::vector<std::string> names;
    std::ifstream in(asoundRoot + "/pcm");
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string_view> fields;
        std::string_view rest = line;
        for (std::size_t colon; (colon = rest.find(':')) != std::string_view::npos; rest.remove_prefix(colon + 1))
            fields.push_back(trimmed(rest.substr(0, colon), kWhitespace));
        fields.push_back(trimmed(rest, kWhitespace));
        if (fields.size() < 3) continue;
        for (std::size_t i = 3; i < fields.size(); ++i)
            if (fields[i].starts_with("playback")) names.emplace_back(fields[2]);
    }
    return names;
}

// The driver version from a line such as "Advanced Linux Sound Architecture Driver
// Version k6.1.0-18-amd64." or "... Version 1.0.25.".
std::optional<std::pair<int, int>> driverVersion(const std::string& asoundRoot) {
    std::ifstream in(asoundRoot + "/version");
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    const std::size_t at = line.find("Version ");
    if (at == std::string::npos) return std::nullopt;
    std::string_view rest = std::string_view(line).substr(at + 8);
    if (!rest.empty() && !std::isdigit(static_cast<unsigned char>(rest.front()))) rest.remove_prefix(1);
    int major = 0, minor = 0;
    const char* end = rest.data() + rest.size();
    const auto first = std::from_chars(rest.data(), end, major);
    if (first.ec != std::errc{} || first.ptr == end || *first.ptr != '.') return std::nullopt;
    if (std::from_chars(first.ptr + 1, end, minor).ec != std::errc{}) return std::nullopt;
    return std::pair{major, minor};
}

}  // namespace

int waveOutDeviceCount(const std::string& asoundRoot) {
    return static_cast<int>(playbackDeviceNames(asoundRoot).size());
}

std::optional<WaveOutCaps> waveOutCapabilities(int device, const std::string& asoundRoot) {
    const std::vector<std::string> names = playbackDeviceNames(asoundRoot);
    if (device < 0 || device >= static_cast<int>(names.size())) return std::nullopt;
    const auto version = driverVersion(asoundRoot);
    if (!version) return std::nullopt;
    return WaveOutCaps{names[static_cast<std::size_t>(device)], version->first, version->second};
}

}  // namespace platform
