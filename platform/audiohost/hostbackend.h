// What the audio host and its two back ends (ALSA, virtual device) share:
// the host's record of one device and the table of operations through which
// the host reaches the back end that owns it. Internal to platform/audiohost.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/audiohost/audiohost.h"
#include "platform/audiohost/hostconfig.h"

struct tHostDevice;

// One device as a back end finds it. mData is the back end's own record of
// the device; the back end keeps it for the life of the process (a device
// that is found again under the same uid gets the same record back).
struct tHostFoundDevice {
    std::string mUid;
    std::string mName;
    int mChannels[2] = {0, 0};     // most offered, per direction
    std::vector<uint32_t> mRates;  // Hz, ascending, DSD rates last
    uint32_t mMinFrames = kAudioHostMinFrames;
    uint32_t mMaxFrames = kAudioHostMaxFrames;
    uint32_t mFrames = 512;
    tAudioHostFormat mFormat[2] = {};  // granted format to start with, per direction
    void *mData = nullptr;
};

// The stream's settings, copied when it starts; the back end's thread reads
// only this copy.
struct tHostStreamSettings {
    unsigned mDirections = 0;  // kAudioHostStream*
    uint32_t mRate = 0;        // container frames per second
    uint32_t mFrames = 0;      // per cycle
    tAudioHostFormat mFormat[2] = {};
    int mContainer[2] = {kAudioHostContainerFloat32, kAudioHostContainerFloat32};
    tAudioHostIoProc mProc = nullptr;
    void *mClient = nullptr;
};

// Operation table of a back end; slots are filled in this order.
struct tAudioHostBackend {
    // enumerate: appends the devices the back end offers now.
    void (*enumerate)(std::vector<tHostFoundDevice> *found);
    // checkFormat: whether the device offers *format (kind, bits, channels and
    // bytes per frame already checked by the host) at `rate`; on success fills
    // the granted bits, bytes per frame, kind and mDeviceFormat.
    int (*checkFormat)(tHostDevice *dev, int direction, uint32_t rate, tAudioHostFormat *format);
    // setHog: takes or releases exclusive use.
    int (*setHog)(tHostDevice *dev, bool hold);
    // setInputMute: what the device does beyond the host's own muting.
    int (*setInputMute)(tHostDevice *dev, bool muted);
    // startStream: opens and starts the device and its calling thread, or
    // fails with nothing running.
    int (*startStream)(tHostDevice *dev, const tHostStreamSettings &settings);
    // stopStream: stops calling and waits for the thread; no callback follows.
    void (*stopStream)(tHostDevice *dev);
};
static_assert(sizeof(tAudioHostBackend) == 6 * sizeof(void (*)()), "one slot per back-end operation");

// The host's record of a device. Listed devices and their settings are
// guarded by the host's mutex; the stream thread reads only its settings
// copy, mInputMuted and writes mCycle / mFrameTime while it runs (read by the
// host only after the thread has been joined).
struct tHostDevice {
    uint32_t mId = 0;
    std::string mUid;
    std::string mName;
    bool mVirtual = false;
    bool mListed = false;
    const tAudioHostBackend *mBackend = nullptr;
    void *mData = nullptr;

    int mChannels[2] = {0, 0};
    std::vector<uint32_t> mRates;
    uint32_t mMinFrames = kAudioHostMinFrames;
    uint32_t mMaxFrames = kAudioHostMaxFrames;
    uint32_t mFrames = 512;
    uint32_t mNominalRate = 0;
    tAudioHostFormat mFormat[2] = {};
    int mContainer[2] = {kAudioHostContainerFloat32, kAudioHostContainerFloat32};
    bool mHog = false;
    bool mMixing = false;
    // Written by the host under its mutex; read by the stream thread once per
    // cycle.
    std::atomic<bool> mInputMuted{false};

    bool mOpen = false;
    bool mRunning = false;
    unsigned mDirections = 0;
    tAudioHostIoProc mProc = nullptr;
    void *mClient = nullptr;
    uint64_t mCycle = 0;
    uint64_t mFrameTime = 0;
};

// The stream threads mark themselves so that the host refuses calls made
// from a callback (they could wait for the very thread that makes them).
void audiohost_markStreamThread();

// The back ends.
extern const tAudioHostBackend gAlsaBackend;
extern const tAudioHostBackend gVirtualBackend;

// audiohost_configure, and for the virtual device's test interface the same
// with the virtual device reset to a fresh state (its capture, hooks, cycle
// count and settings) even when its configuration is unchanged.
[[nodiscard]] int audiohost_applyConfig(const tAudioHostConfig &config, bool freshVirtual);

// The virtual device's part of the configuration, applied by the host while
// it holds its mutex and no stream runs on the virtual device.
void vdev_applyConfig(const tVirtualDeviceConfig &config, bool listed);
