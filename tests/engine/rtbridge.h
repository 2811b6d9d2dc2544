// A thin stand-in for the device layer in the engine's tests: it sets up the
// virtual device for one format, and its callback hands every cycle's
// buffers to bufferSwitchCoreAudioQueue with the type codes the device layer
// uses (float PCM 0x8012, integer PCM 18, DoP in floats 0x8021, native DSD
// in floats 0x18021, and 0x38021 while a native stream's start-up mute
// lasts; input as floats, 18). DSD buffers are handed over in DSD bits per
// channel, 16 to a container frame.
//
// The device runs unpaced; a pace hook lets a cycle run only while the test
// allows it (a cycle limit) and, with feed pacing on, only once the track 0
// producer is a whole buffer ahead (before the play gate opens: as far
// ahead as the gate asks), so a test never hears an underrun or a start
// delay that a real-time device would not have had.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "dsp/oscillator.h"
#include "engine/audiothread.h"
#include "engine/bufferswitch.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "enginetestutil.h"
#include "platform/audiohost/audiohost.h"
#include "platform/audiohost/hostconfig.h"
#include "platform/audiohost/virtualdevice.h"

namespace rtbridge {

enum tKind { kPcmFloat, kPcmInt, kDop, kNative };

constexpr uint32_t kDsdRateFloor = 2822400;

inline tAudioHostFormat hostFormat(int kind, int bits, int channels, int bytesPerFrame) {
    tAudioHostFormat f{};
    f.mKind = kind;
    f.mBits = bits;
    f.mChannels = channels;
    f.mBytesPerFrame = bytesPerFrame;
    return f;
}

// The engine as the main window leaves it before the device starts: the
// library bound, the memories allocated, one track mixed with unity gains
// (its mixer record is returned for changes), the rate's set-up, the output
// patch with the master on column 0, nothing monitored or oscillating.
inline tMixParam &setUpEngine(int rate) {
    static tMixParam mix;
    static bool once = false;
    if (!once) {
        once = true;
        engtest::useBuiltLibrary();
        // The first audio thread sets up the engine; keep one for the process.
        static audioThread first;
        EXPECT_EQ(initAudioIO_parameters(), 0);
    }
    // A fresh engine for every set-up, current until the next one (or the
    // process's end). No stream of the last set-up may still run.
    static std::optional<engtest::FreshEngine> fresh;
    fresh.reset();
    fresh.emplace();
    // The main window's DSD mute buffer: two halves of 65,536 idle bytes.
    static std::vector<uint8_t> mute(2 * 65536);
    std::fill(mute.begin(), mute.end(), kDsdIdleByte);
    if (!engine().mutePatGrown) {
        engine().mutePatBuffer[0] = mute.data();
        engine().mutePatBuffer[1] = mute.data() + 65536;
    }
    EXPECT_EQ(allocateAudioThreadMemories(), 0);
    EXPECT_EQ(initAudioThreadMemoryWhole(), 0);
    mix = tMixParam();
    mix.trackCount = 1;
    mix.ch[0].LL = mix.ch[0].RR = 1.0;
    mix.masterGain = 1.0;
    gAudioThread_setMixParam(&mix);
    for (int t = 0; t < kMaxTracks; ++t) setAudioIoThreadId(-1, t);
    setMaxWaveLengthThreadID(0);
    setMasterVolDsp(0.0);
    gOutputPatch[0] = kOutputPatchMaster;
    for (int i = 1; i < kOutputPatchSize; ++i) gOutputPatch[i] = -1;
    gAudioThread_publishMixParam();
    engine().inputMonitorEnable.store(false);
    COscClass.sOscOff();
    engine().stopTimeoutMs.store(kStopTimeoutMs);
    engine().playTimeoutFlag.store(false);
    engine().playingSample.store(0);
    initDsdParameters(rate);
    engine().playFs.store(rate);
    bufferSwitchReserve(engtest::kReserveFrames);
    return mix;
}

// Whether a paced device may run its next cycle of `engineFrames` frames
// while track 0 plays: once the producer is that far ahead (before the
// play gate opens: as far ahead as the gate asks), or once its job has
// ended and the rest is all in the ring. Until the gate opens the engine
// sends idle buffers; a real-time device hears a few of them while the
// producer fills its second block, an unpaced one would run as many as it
// can in that time, a start delay that depends on the machine's load.
inline bool feedReady(int64_t engineFrames) {
    const int64_t ahead = engine().producedCount[0].load() - engine().consumedCount[0].load();
    const int64_t frames = std::max<int64_t>(engineFrames, 1);
    const int64_t need =
        engine().playGate.load() ? frames : std::max<int64_t>(frames, engine().ringBlockFrames.load() + 1);
    return ahead >= need || engine().jobEnded[0].load();
}

class Bridge {
public:
    // The device at `rate` (a PCM rate, or a DSD rate for kDop and kNative)
    // with `frames` container frames per cycle, `channels` outputs and as
    // many inputs. Held until run() allows cycles.
    void open(tKind kind, uint32_t rate, uint32_t frames, int channels = 2, bool input = false) {
        mKind = kind;
        tVirtualDeviceConfig c;
        c.mSpeed = 0.0;
        c.mOutChannels = channels;
        c.mInChannels = channels;
        c.mCaptureLimit = 256ull << 20;
        if (kind == kNative)
            c.mRates = {44100,  48000,  88200,  96000,   176400,  192000,   352800,
                        384000, 705600, 768000, 2822400, 5644800, 11289600, 22579200};
        const int id = vdev_enable(c);
        ASSERT_GT(id, 0);
        mId = uint32_t(id);
        vdev_setPaceHook(&Bridge::pace, this);
        const bool dsd = kind == kDop || kind == kNative;
        mNominal = dsd ? rate / 16 : rate;
        ASSERT_EQ(audiohost_setNominalRate(mId, mNominal), 0);
        const int container = kind == kPcmInt ? kAudioHostContainerInt32 : kAudioHostContainerFloat32;
        tAudioHostFormat f;
        switch (kind) {
        case kPcmFloat: f = hostFormat(kAudioHostPcmFloat, 32, channels, 4 * channels); break;
        case kPcmInt: f = hostFormat(kAudioHostPcmInt, 32, channels, 4 * channels); break;
        case kDop: f = hostFormat(kAudioHostDop, 32, channels, 4 * channels); break;
        case kNative: f = hostFormat(kAudioHostDsd, 16, channels, 2 * channels); break;
        }
        ASSERT_EQ(audiohost_setPhysicalFormat(mId, kAudioHostOutput, f), 0);
        ASSERT_EQ(audiohost_setContainer(mId, kAudioHostOutput, container), 0);
        ASSERT_EQ(audiohost_setBufferFrames(mId, frames), 0);
        mEngineFrames = dsd ? frames * 16 : frames;
        // As the device layer does before it starts a stream.
        bufferSwitchReserve(int(mEngineFrames));
        const unsigned dirs = kAudioHostStreamOutput | (input ? kAudioHostStreamInput : 0u);
        ASSERT_EQ(audiohost_openStream(mId, dirs, &Bridge::proc, this), 0);
        ASSERT_EQ(audiohost_startStream(mId), 0);
    }

    ~Bridge() {
        if (mId) {
            (void)audiohost_closeStream(mId);
            vdev_setPaceHook(nullptr, nullptr);
        }
    }

    // Lets n more cycles run and waits until they have.
    void run(uint64_t n, int timeoutMs = 120000) {
        gAudioThread_publishMixParam();  // the test's changes to the mixer record
        const uint64_t target = mLimit.load() + n;
        mLimit.store(target);
        ASSERT_EQ(vdev_waitCycles(target, timeoutMs), 0) << "cycles ran: " << vdev_cycles();
    }
    // Allows cycles up to `limit` without waiting.
    void allow(uint64_t limit) {
        gAudioThread_publishMixParam();
        mHeld.store(false);
        mLimit.store(limit);
    }
    // Waits until the device is held because the engine stopped (see
    // setHoldWhenStopped): the cycle that stopped it has ended.
    bool waitHeld(int timeoutMs = 120000) {
        return engtest::waitFor([this] { return mHeld.load(); }, timeoutMs);
    }
    uint64_t cycles() const { return vdev_cycles(); }

    // Native DSD: bits per channel the start-up mute still lasts.
    void setStartUpMuteBits(int64_t bits) { mMuteBits.store(bits); }
    // Cycles wait for the producer of track 0 (see the header comment).
    void setFeedPacing(bool on) { mFeed.store(on); }
    // While the engine is stopped no cycle runs (the end of a test's
    // playback holds the device where it stopped).
    void setHoldWhenStopped(bool on) { mHoldStopped.store(on); }

    // Engine frames (DSD: bits per channel) of one cycle.
    uint32_t engineFrames() const { return mEngineFrames; }
    // Every output buffer so far, as written.
    tVirtualCapture take(bool clear = true) {
        tVirtualCapture cap;
        EXPECT_EQ(vdev_takeCapture(&cap, clear), 0);
        return cap;
    }
    // The captured output as floats (float containers) or words, frame-interleaved.
    static std::vector<float> floats(const tVirtualCapture &cap) {
        std::vector<float> v(cap.mData.size() / 4);
        if (!v.empty()) std::memcpy(v.data(), cap.mData.data(), v.size() * 4);
        return v;
    }
    static std::vector<int32_t> words(const tVirtualCapture &cap) {
        std::vector<int32_t> v(cap.mData.size() / 4);
        if (!v.empty()) std::memcpy(v.data(), cap.mData.data(), v.size() * 4);
        return v;
    }

    // Type codes handed over so far (the last one).
    int lastType() const { return mLastType.load(); }

private:
    static bool pace(void *client, uint64_t cycle) {
        auto *b = static_cast<Bridge *>(client);
        if (cycle >= b->mLimit.load()) return false;
        const int32_t status = engine().engineStatus.load();
        if (b->mHoldStopped.load() && status == kEngineStopped) {
            b->mHeld.store(true);
            return false;
        }
        if (!b->mFeed.load() || status != kEnginePlaying || engine().stopRequest.load()) return true;
        return feedReady(b->mEngineFrames);
    }

    static void proc(void *client, const tAudioHostCycle *c) {
        auto *b = static_cast<Bridge *>(client);
        const bool dsd = b->mKind == kDop || b->mKind == kNative;
        const int frames = int(dsd ? c->mOutFrames * 16 : c->mOutFrames);
        int type = 0;
        switch (b->mKind) {
        case kPcmFloat: type = 0x8012; break;
        case kPcmInt: type = 18; break;
        case kDop: type = 0x8021; break;
        case kNative: {
            const int64_t left = b->mMuteBits.load();
            type = left > 0 ? 0x38021 : 0x18021;
            b->mMuteBits.store(std::max<int64_t>(0, left - frames));
            break;
        }
        }
        b->mLastType.store(type);
        tCoreAudioParams p;
        p.outChannels = c->mOutChannels;
        p.outBuffers = 1;
        p.outBufChannels[0] = c->mOutChannels;
        p.outBufFrames[0] = int32_t(c->mOutFrames);
        p.inChannels = c->mInput ? c->mInChannels : 0;
        p.inBuffers = c->mInput ? 1 : 0;
        p.inBufChannels[0] = p.inChannels;
        p.inBufFrames[0] = int32_t(c->mInFrames);
        // Input and output on one device: the input comes with the output's frames.
        p.inFrames = c->mInput ? frames : 0;
        bufferSwitchCoreAudioQueue(engine(), b->mNominal, type, frames, static_cast<unsigned char *>(c->mOutput),
                                   static_cast<unsigned char *>(const_cast<void *>(c->mInput)), p.inChannels, &p,
                                   c->mOutChannels, 18);
    }

    tKind mKind = kPcmFloat;
    uint32_t mId = 0;
    uint32_t mNominal = 0;
    uint32_t mEngineFrames = 0;
    std::atomic<uint64_t> mLimit{0};
    std::atomic<int64_t> mMuteBits{0};
    std::atomic<bool> mFeed{false};
    std::atomic<bool> mHoldStopped{false};
    std::atomic<bool> mHeld{false};
    std::atomic<int> mLastType{0};
};

}  // namespace rtbridge
