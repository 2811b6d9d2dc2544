// The audio host's configuration: which back ends list devices, and how the
// virtual device presents itself. The keys and where they are read from are
// documented in audiohost.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct tVirtualDeviceConfig {
    std::string mName = "Sonvex Virtual Device";
    std::string mUid = "sonvex-virtual";
    // Hz, any order; rates of 2822400 and above make it a native-DSD device.
    std::vector<uint32_t> mRates = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000, 705600, 768000};
    int mOutChannels = 2;
    int mInChannels = 2;
    uint32_t mMinFrames = 16;
    uint32_t mMaxFrames = 262144;
    uint32_t mFrames = 512;           // buffer frames until set
    double mSpeed = 1.0;              // 1 real time, N N times faster, 0 unpaced
    std::string mCapture = "memory";  // "off", "memory", or a file path
    uint64_t mCaptureLimit = 64ull << 20;
};

struct tAudioHostConfig {
    bool mVirtual = false;
    bool mReal = true;
    tVirtualDeviceConfig mVirtualDevice;
};

// Applies the settings in `text` (lines or ';'-separated `key = value`) on
// top of *config. Returns the number of settings that were skipped as bad;
// each gets one line in *errors when errors is not null.
int hostconfig_parse(const char *text, tAudioHostConfig *config, std::string *errors);

// The configuration at start: defaults, then the file named by
// SONVEX_AUDIO_CONFIG, then SONVEX_AUDIO. Bad settings and an unreadable file
// are reported on the standard error, one line each, and skipped.
tAudioHostConfig hostconfig_fromEnvironment();

// Checks a virtual device configuration as a whole (names fit, channels,
// rates and frame range in the host's limits). 0 or kAudioHostErrUnsupported.
[[nodiscard]] int hostconfig_check(const tVirtualDeviceConfig &config);
