#include "platform/audiohost/virtualdevice.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "platform/audiohost/hostbackend.h"

namespace {

using tClock = std::chrono::steady_clock;

enum tCaptureMode : int { kCaptureOff = 0, kCaptureMemory = 1, kCaptureFile = 2 };

constexpr char kCaptureMagic[8] = {'S', 'X', 'V', 'C', 'A', 'P', '0', '1'};

// How long an unpaced device waits between questions to a hook that says
// "not yet", and between idle turns while offline.
constexpr auto kHookPoll = std::chrono::microseconds(100);
constexpr auto kIdleTurn = std::chrono::milliseconds(1);

struct tVirtualState {
    // Configuration: written by the host, under its mutex, only while no
    // stream is open on the device; read by the host and at stream start.
    tVirtualDeviceConfig mConfig;
    bool mListed = false;

    // Written by tests on any thread, read by the clock once per cycle.
    std::atomic<double> mSpeed{1.0};
    std::atomic<bool> mOffline{false};
    // Held by the clock from its offline check to the end of the cycle, so
    // that going offline can wait for a cycle under way.
    std::mutex mCycleMutex;
    std::atomic<uint32_t> mForcedFrames{0};

    // Guards everything down to mCycles; the clock holds it only to copy
    // hooks and input bytes and to append a captured cycle.
    std::mutex mMutex;
    tVirtualPaceHook mHook = nullptr;
    void *mHookClient = nullptr;
    tVirtualInputGenerator mGenerator = nullptr;
    void *mGeneratorClient = nullptr;
    std::vector<uint8_t> mLoop;
    size_t mLoopPos = 0;
    int mCaptureMode = kCaptureMemory;
    std::string mCapturePath;
    FILE *mCaptureFile = nullptr;
    bool mCaptureFailed = false;
    uint64_t mCaptureLimit = 0;
    tVirtualCapture mCapture;
    uint64_t mCycles = 0;
    std::condition_variable mCycleCv;

    // The running stream. The thread is started and joined by the host's
    // calls (under the host's mutex); mStop is the only word they share with
    // it besides the atomics above.
    std::thread mThread;
    std::mutex mStopMutex;
    std::condition_variable mStopCv;
    bool mStop = false;
    tHostDevice *mDev = nullptr;
    tHostStreamSettings mSettings;
    std::unique_ptr<uint8_t[]> mOut;
    std::unique_ptr<uint8_t[]> mIn;

    ~tVirtualState() {
        // A stream still running at exit is stopped before its state goes.
        if (mThread.joinable()) {
            {
                std::lock_guard<std::mutex> lk(mStopMutex);
                mStop = true;
            }
            mStopCv.notify_all();
            mThread.join();
        }
        if (mCaptureFile) std::fclose(mCaptureFile);
    }
};

tVirtualState &state() {
    static tVirtualState s;
    return s;
}

void putLE(uint8_t *p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint64_t getLE(const uint8_t *p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t(p[i]) << (8 * i);
    return v;
}

void encodeRecord(const tVirtualCycleRecord &r, uint8_t out[kVirtualCaptureRecordBytes]) {
    std::memset(out, 0, kVirtualCaptureRecordBytes);
    putLE(out + 0, r.mCycle, 8);
    putLE(out + 8, r.mFrameTime, 8);
    putLE(out + 16, r.mFrames, 4);
    putLE(out + 20, r.mChannels, 4);
    putLE(out + 24, r.mBytes, 4);
    putLE(out + 28, uint32_t(r.mContainer), 4);
    putLE(out + 32, uint32_t(r.mKind), 4);
    putLE(out + 36, uint32_t(r.mBits), 4);
    putLE(out + 40, uint32_t(r.mBytesPerFrame), 4);
    putLE(out + 44, uint32_t(r.mDeviceFormat), 4);
    putLE(out + 48, r.mRate, 4);
}

void decodeRecord(const uint8_t in[kVirtualCaptureRecordBytes], tVirtualCycleRecord *r) {
    r->mCycle = getLE(in + 0, 8);
    r->mFrameTime = getLE(in + 8, 8);
    r->mFrames = uint32_t(getLE(in + 16, 4));
    r->mChannels = uint32_t(getLE(in + 20, 4));
    r->mBytes = uint32_t(getLE(in + 24, 4));
    r->mContainer = int32_t(getLE(in + 28, 4));
    r->mKind = int32_t(getLE(in + 32, 4));
    r->mBits = int32_t(getLE(in + 36, 4));
    r->mBytesPerFrame = int32_t(getLE(in + 40, 4));
    r->mDeviceFormat = int32_t(getLE(in + 44, 4));
    r->mRate = uint32_t(getLE(in + 48, 4));
}

// Under s.mMutex.
void resetCapture(tVirtualState &s) {
    s.mCapture.mCycles.clear();
    s.mCapture.mData.clear();
    s.mCapture.mDroppedCycles = 0;
    if (s.mCaptureFile) std::fclose(s.mCaptureFile);
    s.mCaptureFile = nullptr;  // reopened (and truncated) by the next captured cycle
    s.mCaptureFailed = false;
}

// Under s.mMutex. Appends one output buffer; drops it (counted) when the
// memory limit is reached or the file cannot be written.
void captureCycle(tVirtualState &s, tVirtualCycleRecord rec, const uint8_t *bytes) {
    if (s.mCaptureMode == kCaptureOff) return;
    if (s.mCaptureMode == kCaptureMemory) {
        const uint64_t have = s.mCapture.mData.size();
        if (rec.mBytes > s.mCaptureLimit || have > s.mCaptureLimit - rec.mBytes) {
            ++s.mCapture.mDroppedCycles;
            return;
        }
        try {
            s.mCapture.mCycles.reserve(s.mCapture.mCycles.size() + 1);
            s.mCapture.mData.insert(s.mCapture.mData.end(), bytes, bytes + rec.mBytes);
        } catch (const std::bad_alloc &) {
            ++s.mCapture.mDroppedCycles;
            return;
        }
        rec.mOffset = have;
        s.mCapture.mCycles.push_back(rec);
        return;
    }
    if (!s.mCaptureFile && !s.mCaptureFailed) {
        s.mCaptureFile = std::fopen(s.mCapturePath.c_str(), "wb");
        if (!s.mCaptureFile || std::fwrite(kCaptureMagic, 1, 8, s.mCaptureFile) != 8) s.mCaptureFailed = true;
    }
    uint8_t head[kVirtualCaptureRecordBytes];
    encodeRecord(rec, head);
    if (s.mCaptureFailed || std::fwrite(head, 1, sizeof head, s.mCaptureFile) != sizeof head ||
        std::fwrite(bytes, 1, rec.mBytes, s.mCaptureFile) != rec.mBytes) {
        // A half-written record would make the rest of the file unreadable:
        // stop writing altogether and count what is lost.
        s.mCaptureFailed = true;
        ++s.mCapture.mDroppedCycles;
    }
}

// Waits until `until` or a stop request; true when stopping.
bool waitStop(tVirtualState &s, tClock::time_point until) {
    std::unique_lock<std::mutex> lk(s.mStopMutex);
    return s.mStopCv.wait_until(lk, until, [&] { return s.mStop; });
}

bool stopRequested(tVirtualState &s) {
    std::lock_guard<std::mutex> lk(s.mStopMutex);
    return s.mStop;
}

void fillInput(tVirtualState &s, uint8_t *in, uint64_t cycle, uint32_t frames, int channels, int container,
               bool muted) {
    const size_t bytes = size_t(frames) * size_t(channels) * 4;
    tVirtualInputGenerator gen;
    void *client;
    {
        std::lock_guard<std::mutex> lk(s.mMutex);
        gen = s.mGenerator;
        client = s.mGeneratorClient;
        if (!gen) {
            if (s.mLoop.empty()) {
                std::memset(in, 0, bytes);
            } else {
                for (size_t i = 0; i < bytes; ++i) {
                    in[i] = s.mLoop[s.mLoopPos];
                    if (++s.mLoopPos == s.mLoop.size()) s.mLoopPos = 0;
                }
            }
        }
    }
    if (gen) {
        std::memset(in, 0, bytes);
        gen(client, cycle, in, frames, channels, container);
    }
    if (muted) std::memset(in, 0, bytes);
}

void clockThread(tVirtualState *sp) {
    tVirtualState &s = *sp;
    audiohost_markStreamThread();
    const tHostStreamSettings st = s.mSettings;
    tHostDevice *dev = s.mDev;
    const bool hasOut = (st.mDirections & kAudioHostStreamOutput) != 0;
    const bool hasIn = (st.mDirections & kAudioHostStreamInput) != 0;
    const int outCh = hasOut ? st.mFormat[kAudioHostOutput].mChannels : 0;
    const int inCh = hasIn ? st.mFormat[kAudioHostInput].mChannels : 0;

    double anchorSpeed = s.mSpeed.load(std::memory_order_relaxed);
    tClock::time_point anchor = tClock::now();
    uint64_t framesSinceAnchor = 0;

    while (!stopRequested(s)) {
        bool called = false;
        if (!s.mOffline.load(std::memory_order_relaxed)) {
            tVirtualPaceHook hook;
            void *hookClient;
            {
                std::lock_guard<std::mutex> lk(s.mMutex);
                hook = s.mHook;
                hookClient = s.mHookClient;
            }
            bool stopping = false;
            while (hook && !hook(hookClient, dev->mCycle)) {
                if (waitStop(s, tClock::now() + kHookPoll)) {
                    stopping = true;
                    break;
                }
            }
            if (stopping) break;
        }
        // Read after the hook, so that a size forced while the hook held the
        // cycle back applies to it.
        const uint32_t forced = s.mForcedFrames.load(std::memory_order_relaxed);
        const uint32_t frames = forced ? forced : st.mFrames;
        std::unique_lock<std::mutex> cycleLock(s.mCycleMutex);
        if (!s.mOffline.load(std::memory_order_relaxed)) {
            tAudioHostCycle cyc{};
            cyc.mCycle = dev->mCycle;
            cyc.mFrameTime = dev->mFrameTime;
            if (hasOut) {
                cyc.mOutput = s.mOut.get();
                cyc.mOutChannels = outCh;
                cyc.mOutFrames = frames;
                cyc.mOutBytes = frames * uint32_t(outCh) * 4;
                cyc.mOutContainer = st.mContainer[kAudioHostOutput];
                std::memset(s.mOut.get(), 0, cyc.mOutBytes);
            }
            if (hasIn) {
                fillInput(s, s.mIn.get(), dev->mCycle, frames, inCh, st.mContainer[kAudioHostInput],
                          dev->mInputMuted.load(std::memory_order_relaxed));
                cyc.mInput = s.mIn.get();
                cyc.mInChannels = inCh;
                cyc.mInFrames = frames;
                cyc.mInBytes = frames * uint32_t(inCh) * 4;
                cyc.mInContainer = st.mContainer[kAudioHostInput];
            }
            st.mProc(st.mClient, &cyc);
            {
                std::lock_guard<std::mutex> lk(s.mMutex);
                if (hasOut) {
                    const tAudioHostFormat &f = st.mFormat[kAudioHostOutput];
                    tVirtualCycleRecord rec{};
                    rec.mCycle = cyc.mCycle;
                    rec.mFrameTime = cyc.mFrameTime;
                    rec.mFrames = frames;
                    rec.mChannels = uint32_t(outCh);
                    rec.mBytes = cyc.mOutBytes;
                    rec.mContainer = cyc.mOutContainer;
                    rec.mKind = f.mKind;
                    rec.mBits = f.mBits;
                    rec.mBytesPerFrame = f.mBytesPerFrame;
                    rec.mDeviceFormat = f.mDeviceFormat;
                    rec.mRate = st.mRate;
                    captureCycle(s, rec, s.mOut.get());
                }
                ++dev->mCycle;
                dev->mFrameTime += frames;
                ++s.mCycles;
            }
            s.mCycleCv.notify_all();
            called = true;
        }
        cycleLock.unlock();

        const double speed = s.mSpeed.load(std::memory_order_relaxed);
        if (speed != anchorSpeed) {
            anchorSpeed = speed;
            anchor = tClock::now();
            framesSinceAnchor = 0;
        }
        if (speed > 0.0) {
            // Deadlines from one anchor, so that the average rate stays exact
            // however late single cycles wake.
            framesSinceAnchor += frames;
            const double seconds = double(framesSinceAnchor) / (double(st.mRate) * speed);
            const auto deadline =
                anchor + std::chrono::duration_cast<tClock::duration>(std::chrono::duration<double>(seconds));
            if (waitStop(s, deadline)) break;
        } else if (!called) {
            if (waitStop(s, tClock::now() + kIdleTurn)) break;
        }
    }
}

uint32_t virtualDeviceFormat(const tAudioHostFormat &f) {
    switch (f.mKind) {
    case kAudioHostPcmFloat: return kDevFmtFloatLE;
    case kAudioHostDsd: return kDevFmtDsdU16BE;
    default:
        if (f.mBits == 16) return kDevFmtS16LE;
        if (f.mBits == 32) return kDevFmtS32LE;
        return f.mBytesPerFrame == 3 * f.mChannels ? kDevFmtS24_3LE : kDevFmtS24LE;
    }
}

tAudioHostFormat defaultFormat(int channels) {
    tAudioHostFormat f{};
    f.mKind = kAudioHostPcmInt;
    f.mBits = 24;
    f.mChannels = channels;
    f.mBytesPerFrame = 3 * channels;
    f.mDeviceFormat = kDevFmtS24_3LE;
    return f;
}

// ---- back-end slots --------------------------------------------------------

void virtualEnumerate(std::vector<tHostFoundDevice> *found) {
    tVirtualState &s = state();
    if (!s.mListed) return;
    tHostFoundDevice d;
    d.mUid = s.mConfig.mUid;
    d.mName = s.mConfig.mName;
    d.mChannels[kAudioHostOutput] = s.mConfig.mOutChannels;
    d.mChannels[kAudioHostInput] = s.mConfig.mInChannels;
    d.mRates = s.mConfig.mRates;
    std::sort(d.mRates.begin(), d.mRates.end());
    d.mRates.erase(std::unique(d.mRates.begin(), d.mRates.end()), d.mRates.end());
    d.mMinFrames = s.mConfig.mMinFrames;
    d.mMaxFrames = s.mConfig.mMaxFrames;
    d.mFrames = s.mConfig.mFrames;
    for (int dir = 0; dir < 2; ++dir)
        if (d.mChannels[dir] > 0) d.mFormat[dir] = defaultFormat(d.mChannels[dir]);
    d.mData = &s;
    found->push_back(d);
}

int virtualCheckFormat(tHostDevice *, int, uint32_t, tAudioHostFormat *format) {
    // The host has checked the shape and the rate against the list; the
    // virtual device takes every such format as asked.
    format->mDeviceFormat = int(virtualDeviceFormat(*format));
    return kAudioHostOK;
}

int virtualSetHog(tHostDevice *, bool) { return kAudioHostOK; }
int virtualSetInputMute(tHostDevice *, bool) { return kAudioHostOK; }

int virtualStartStream(tHostDevice *dev, const tHostStreamSettings &settings) {
    tVirtualState &s = state();
    if (s.mThread.joinable()) return kAudioHostErrBusy;
    const size_t maxFrames = s.mConfig.mMaxFrames;
    const bool hasOut = (settings.mDirections & kAudioHostStreamOutput) != 0;
    const bool hasIn = (settings.mDirections & kAudioHostStreamInput) != 0;
    std::unique_ptr<uint8_t[]> out, in;
    if (hasOut) {
        out.reset(new (std::nothrow) uint8_t[maxFrames * size_t(settings.mFormat[kAudioHostOutput].mChannels) * 4]);
        if (!out) return kAudioHostErrNoMemory;
    }
    if (hasIn) {
        in.reset(new (std::nothrow) uint8_t[maxFrames * size_t(settings.mFormat[kAudioHostInput].mChannels) * 4]);
        if (!in) return kAudioHostErrNoMemory;
    }
    s.mOut = std::move(out);
    s.mIn = std::move(in);
    s.mDev = dev;
    s.mSettings = settings;
    s.mStop = false;
    try {
        s.mThread = std::thread(clockThread, &s);
    } catch (const std::system_error &) {
        return kAudioHostErrNoMemory;
    }
    return kAudioHostOK;
}

void virtualStopStream(tHostDevice *) {
    tVirtualState &s = state();
    if (!s.mThread.joinable()) return;
    {
        std::lock_guard<std::mutex> lk(s.mStopMutex);
        s.mStop = true;
    }
    s.mStopCv.notify_all();
    s.mThread.join();
    std::lock_guard<std::mutex> lk(s.mMutex);
    if (s.mCaptureFile) std::fflush(s.mCaptureFile);
}

}  // namespace

// Slots in table order.
const tAudioHostBackend gVirtualBackend = {
    virtualEnumerate,     // enumerate
    virtualCheckFormat,   // checkFormat
    virtualSetHog,        // setHog
    virtualSetInputMute,  // setInputMute
    virtualStartStream,   // startStream
    virtualStopStream,    // stopStream
};

void vdev_applyConfig(const tVirtualDeviceConfig &config, bool listed) {
    tVirtualState &s = state();
    s.mConfig = config;
    s.mListed = listed;
    s.mSpeed.store(config.mSpeed, std::memory_order_relaxed);
    s.mOffline.store(false, std::memory_order_relaxed);
    s.mForcedFrames.store(0, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lk(s.mMutex);
    s.mHook = nullptr;
    s.mHookClient = nullptr;
    s.mGenerator = nullptr;
    s.mGeneratorClient = nullptr;
    s.mLoop.clear();
    s.mLoopPos = 0;
    resetCapture(s);
    if (config.mCapture == "off") {
        s.mCaptureMode = kCaptureOff;
    } else if (config.mCapture == "memory") {
        s.mCaptureMode = kCaptureMemory;
    } else {
        s.mCaptureMode = kCaptureFile;
        s.mCapturePath = config.mCapture;
    }
    s.mCaptureLimit = config.mCaptureLimit;
    s.mCycles = 0;
}

int vdev_enable(const tVirtualDeviceConfig &config, bool showReal) {
    if (hostconfig_check(config) != 0) return kAudioHostErrUnsupported;
    tAudioHostConfig c;
    c.mVirtual = true;
    c.mReal = showReal;
    c.mVirtualDevice = config;
    const int rc = audiohost_applyConfig(c, true);
    if (rc < 0) return rc;
    const uint32_t id = vdev_deviceId();
    return id ? int(id) : kAudioHostErrNoDevice;
}

uint32_t vdev_deviceId() {
    uint32_t ids[kAudioHostMaxDevices];
    const int n = std::min(audiohost_getDevices(ids, kAudioHostMaxDevices), int(kAudioHostMaxDevices));
    for (int i = 0; i < n; ++i) {
        tAudioHostDeviceInfo info;
        if (audiohost_getDeviceInfo(ids[i], &info) == 0 && info.mVirtual) return ids[i];
    }
    return 0;
}

void vdev_setSpeed(double speed) {
    if (speed >= 0.0) state().mSpeed.store(speed, std::memory_order_relaxed);
}

void vdev_setPaceHook(tVirtualPaceHook hook, void *client) {
    tVirtualState &s = state();
    std::lock_guard<std::mutex> lk(s.mMutex);
    s.mHook = hook;
    s.mHookClient = client;
}

void vdev_setOffline(bool offline) {
    tVirtualState &s = state();
    s.mOffline.store(offline, std::memory_order_relaxed);
    if (offline) std::lock_guard<std::mutex> wait(s.mCycleMutex);
}

int vdev_forceBufferFrames(uint32_t frames) {
    tVirtualState &s = state();
    if (frames > s.mConfig.mMaxFrames) return kAudioHostErrUnsupported;
    s.mForcedFrames.store(frames, std::memory_order_relaxed);
    return kAudioHostOK;
}

void vdev_setInputGenerator(tVirtualInputGenerator generator, void *client) {
    tVirtualState &s = state();
    std::lock_guard<std::mutex> lk(s.mMutex);
    s.mGenerator = generator;
    s.mGeneratorClient = client;
    s.mLoop.clear();
    s.mLoopPos = 0;
}

int vdev_setInputLoop(const void *bytes, size_t length) {
    tVirtualState &s = state();
    std::vector<uint8_t> loop;
    if (length > 0) {
        if (!bytes) return kAudioHostErrUnsupported;
        try {
            loop.assign(static_cast<const uint8_t *>(bytes), static_cast<const uint8_t *>(bytes) + length);
        } catch (const std::bad_alloc &) {
            return kAudioHostErrNoMemory;
        }
    }
    std::lock_guard<std::mutex> lk(s.mMutex);
    s.mGenerator = nullptr;
    s.mGeneratorClient = nullptr;
    s.mLoop.swap(loop);
    s.mLoopPos = 0;
    return kAudioHostOK;
}

uint64_t vdev_cycles() {
    tVirtualState &s = state();
    std::lock_guard<std::mutex> lk(s.mMutex);
    return s.mCycles;
}

int vdev_waitCycles(uint64_t count, int timeoutMs) {
    tVirtualState &s = state();
    std::unique_lock<std::mutex> lk(s.mMutex);
    const bool reached = s.mCycleCv.wait_for(lk, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                                             [&] { return s.mCycles >= count; });
    return reached ? kAudioHostOK : kAudioHostErrTimeout;
}

int vdev_takeCapture(tVirtualCapture *out, bool clear) {
    if (!out) return kAudioHostErrUnsupported;
    tVirtualState &s = state();
    std::string path;
    uint64_t dropped;
    {
        std::lock_guard<std::mutex> lk(s.mMutex);
        if (s.mCaptureMode != kCaptureFile) {
            try {
                *out = s.mCapture;
            } catch (const std::bad_alloc &) {
                return kAudioHostErrNoMemory;
            }
            if (clear) resetCapture(s);
            return kAudioHostOK;
        }
        path = s.mCapturePath;
        dropped = s.mCapture.mDroppedCycles;
        if (!s.mCaptureFile) {
            // Nothing captured since the last clear.
            *out = tVirtualCapture();
            out->mDroppedCycles = dropped;
            return kAudioHostOK;
        }
        std::fflush(s.mCaptureFile);
        if (clear) resetCapture(s);
    }
    const int rc = vdev_readCaptureFile(path.c_str(), out);
    if (rc == 0) out->mDroppedCycles = dropped;
    return rc;
}

void vdev_clearCapture() {
    tVirtualState &s = state();
    std::lock_guard<std::mutex> lk(s.mMutex);
    resetCapture(s);
}

int vdev_readCaptureFile(const char *path, tVirtualCapture *out) {
    if (!path || !out) return kAudioHostErrUnsupported;
    FILE *f = std::fopen(path, "rb");
    if (!f) return kAudioHostErrIO;
    tVirtualCapture cap;
    char magic[8];
    int rc = kAudioHostOK;
    uint64_t fileSize = 0;
    if (std::fseek(f, 0, SEEK_END) != 0 || (fileSize = uint64_t(std::ftell(f)), std::fseek(f, 0, SEEK_SET) != 0)) {
        rc = kAudioHostErrIO;
    } else if (std::fread(magic, 1, 8, f) != 8 || std::memcmp(magic, kCaptureMagic, 8) != 0) {
        rc = kAudioHostErrUnsupported;
    } else {
        uint8_t head[kVirtualCaptureRecordBytes];
        size_t n;
        while ((n = std::fread(head, 1, sizeof head, f)) == sizeof head) {
            tVirtualCycleRecord rec;
            decodeRecord(head, &rec);
            // The byte count must agree with the record's own frames and
            // channels before it sizes anything.
            const uint64_t pos = 8 + uint64_t(cap.mCycles.size() + 1) * kVirtualCaptureRecordBytes + cap.mData.size();
            if (uint64_t(rec.mFrames) * rec.mChannels * 4 != rec.mBytes || rec.mBytes > fileSize - pos) {
                rc = kAudioHostErrUnsupported;
                break;
            }
            rec.mOffset = cap.mData.size();
            try {
                cap.mData.resize(cap.mData.size() + rec.mBytes);
                cap.mCycles.push_back(rec);
            } catch (const std::bad_alloc &) {
                rc = kAudioHostErrNoMemory;
                break;
            }
            if (rec.mBytes && std::fread(cap.mData.data() + rec.mOffset, 1, rec.mBytes, f) != rec.mBytes) {
                rc = kAudioHostErrUnsupported;
                break;
            }
        }
        if (rc == 0 && n != 0) rc = kAudioHostErrUnsupported;  // a cut record
        if (rc == 0 && std::ferror(f)) rc = kAudioHostErrIO;
    }
    std::fclose(f);
    if (rc == 0) *out = std::move(cap);
    return rc;
}
