#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "hosttest.h"

namespace {

using hosttest::CycleGate;
using hosttest::Recorder;
using hosttest::VirtualHostTest;

tAudioHostFormat fmt(int kind, int bits, int channels, int bytesPerFrame) {
    tAudioHostFormat f{};
    f.mKind = kind;
    f.mBits = bits;
    f.mChannels = channels;
    f.mBytesPerFrame = bytesPerFrame;
    return f;
}

std::vector<uint32_t> rates(uint32_t id) {
    uint32_t r[kAudioHostMaxRates];
    const int n = audiohost_getRates(id, r, kAudioHostMaxRates);
    return n < 0 ? std::vector<uint32_t>() : std::vector<uint32_t>(r, r + std::min(n, int(kAudioHostMaxRates)));
}

// A native-DSD device: three PCM rates and two DSD rates, given out of
// order. DoP runs at 176400 only, the one DoP rate it plays as PCM.
tVirtualDeviceConfig dsdDevice() {
    tVirtualDeviceConfig c = hosttest::unpacedConfig();
    c.mRates = {5644800, 48000, 176400, 2822400, 44100, 48000};
    return c;
}

TEST_F(VirtualHostTest, RatesAscendWithDsdLastAndNominalRatesFollowThem) {
    enable(dsdDevice());
    EXPECT_EQ(rates(id), (std::vector<uint32_t>{44100, 48000, 176400, 2822400, 5644800}));
    uint32_t r = 0;
    ASSERT_EQ(audiohost_getNominalRate(id, &r), 0);
    EXPECT_EQ(r, 48000u);  // the default where offered

    struct Case {
        uint32_t rate;
        int expected;
    };
    const Case cases[] = {
        {44100, 0},
        {176400, 0},  // PCM, and 2822400 / 16 for DoP or native DSD
        {352800, 0},  // 5644800 / 16: native DSD only
        {96000, kAudioHostErrUnsupported},
        {705600, kAudioHostErrUnsupported},   // 11289600 is not offered
        {2822400, kAudioHostErrUnsupported},  // DSD runs at a sixteenth of its rate
        {0, kAudioHostErrUnsupported},
    };
    for (const Case &c : cases) EXPECT_EQ(audiohost_setNominalRate(id, c.rate), c.expected) << c.rate;
    ASSERT_EQ(audiohost_getNominalRate(id, &r), 0);
    EXPECT_EQ(r, 352800u);
    EXPECT_EQ(audiohost_setNominalRate(id + 100, 44100), kAudioHostErrNoDevice);
}

TEST_F(VirtualHostTest, PhysicalFormatsAreCheckedAgainstKindAndRate) {
    enable(dsdDevice());
    struct Case {
        const char *what;
        uint32_t rate;
        tAudioHostFormat f;
        int expected;
        int deviceFormat;
    };
    const Case cases[] = {
        {"24-bit packed", 48000, fmt(kAudioHostPcmInt, 24, 2, 6), 0, kDevFmtS24_3LE},
        {"24 in 32", 48000, fmt(kAudioHostPcmInt, 24, 2, 8), 0, kDevFmtS24LE},
        {"16-bit mono", 44100, fmt(kAudioHostPcmInt, 16, 1, 2), 0, kDevFmtS16LE},
        {"float", 48000, fmt(kAudioHostPcmFloat, 32, 2, 8), 0, kDevFmtFloatLE},
        {"DoP 32", 176400, fmt(kAudioHostDop, 32, 2, 8), 0, kDevFmtS32LE},
        {"native DSD", 176400, fmt(kAudioHostDsd, 16, 2, 4), 0, kDevFmtDsdU16BE},
        {"native DSD 128", 352800, fmt(kAudioHostDsd, 16, 2, 4), 0, kDevFmtDsdU16BE},
        {"DoP 24", 176400, fmt(kAudioHostDop, 24, 2, 6), 0, kDevFmtS24_3LE},
        {"DoP at a rate not offered as PCM", 352800, fmt(kAudioHostDop, 24, 2, 6), kAudioHostErrUnsupported, 0},
        {"DoP in 16 bits cuts the bytes", 48000, fmt(kAudioHostDop, 16, 2, 4), kAudioHostErrUnsupported, 0},
        {"native DSD needs a DSD rate", 48000, fmt(kAudioHostDsd, 16, 2, 4), kAudioHostErrUnsupported, 0},
        {"PCM at a DSD container rate", 352800, fmt(kAudioHostPcmInt, 24, 2, 6), kAudioHostErrUnsupported, 0},
        {"native DSD of 8 bits", 176400, fmt(kAudioHostDsd, 8, 2, 2), kAudioHostErrUnsupported, 0},
        {"too many channels", 48000, fmt(kAudioHostPcmInt, 24, 3, 9), kAudioHostErrUnsupported, 0},
        {"no channels", 48000, fmt(kAudioHostPcmInt, 24, 0, 0), kAudioHostErrUnsupported, 0},
        {"bytes per frame disagree", 48000, fmt(kAudioHostPcmInt, 24, 2, 5), kAudioHostErrUnsupported, 0},
        {"unknown kind", 48000, fmt(7, 24, 2, 6), kAudioHostErrUnsupported, 0},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(audiohost_setNominalRate(id, c.rate), 0) << c.what;
        EXPECT_EQ(audiohost_setPhysicalFormat(id, kAudioHostOutput, c.f), c.expected) << c.what;
        if (c.expected != 0) continue;
        tAudioHostFormat got;
        ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostOutput, &got), 0);
        EXPECT_EQ(got.mDeviceFormat, c.deviceFormat) << c.what;
        EXPECT_EQ(got.mRate, c.rate) << c.what;
        EXPECT_EQ(got.mKind, c.f.mKind) << c.what;
    }
    // A refused format leaves the last good one in place.
    tAudioHostFormat got;
    ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostOutput, &got), 0);
    EXPECT_EQ(got.mKind, kAudioHostDop);
    EXPECT_EQ(audiohost_setPhysicalFormat(id, 2, fmt(kAudioHostPcmInt, 24, 2, 6)), kAudioHostErrUnsupported);
}

// The format is checked again at start: a rate set after it must fit, or
// the stream does not start and nothing is called.
TEST_F(VirtualHostTest, StartRefusesAFormatThatNoLongerFitsTheRate) {
    enable(dsdDevice());
    ASSERT_EQ(audiohost_setNominalRate(id, 176400), 0);
    ASSERT_EQ(audiohost_setPhysicalFormat(id, kAudioHostOutput, fmt(kAudioHostDsd, 16, 2, 4)), 0);
    ASSERT_EQ(audiohost_setNominalRate(id, 44100), 0);
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Recorder::proc, &rec), 0);
    EXPECT_EQ(audiohost_startStream(id), kAudioHostErrUnsupported);
    EXPECT_FALSE(audiohost_isRunning(id));
    ASSERT_EQ(audiohost_setNominalRate(id, 352800), 0);
    EXPECT_EQ(audiohost_startStream(id), 0);
    EXPECT_EQ(vdev_waitCycles(1, 5000), 0);
    EXPECT_GT(rec.calls.load(), 0u);
}

TEST_F(VirtualHostTest, StreamStatesAndSettingsWhileRunning) {
    EXPECT_EQ(audiohost_startStream(id), kAudioHostErrState);
    EXPECT_EQ(audiohost_stopStream(id), kAudioHostErrState);
    EXPECT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, nullptr, &rec), kAudioHostErrUnsupported);
    EXPECT_EQ(audiohost_openStream(id, 0, Recorder::proc, &rec), kAudioHostErrUnsupported);
    EXPECT_EQ(audiohost_openStream(id, 4, Recorder::proc, &rec), kAudioHostErrUnsupported);
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Recorder::proc, &rec), 0);
    EXPECT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Recorder::proc, &rec), kAudioHostErrBusy);
    ASSERT_EQ(audiohost_startStream(id), 0);
    EXPECT_EQ(audiohost_startStream(id), 0);  // already running
    EXPECT_TRUE(audiohost_isRunning(id));

    EXPECT_EQ(audiohost_setNominalRate(id, 44100), kAudioHostErrBusy);
    EXPECT_EQ(audiohost_setPhysicalFormat(id, kAudioHostOutput, fmt(kAudioHostPcmInt, 16, 2, 4)), kAudioHostErrBusy);
    EXPECT_EQ(audiohost_setContainer(id, kAudioHostOutput, kAudioHostContainerInt32), kAudioHostErrBusy);
    EXPECT_EQ(audiohost_setBufferFrames(id, 1024), kAudioHostErrBusy);
    // The program's configuration may be applied again unchanged; anything
    // that would change the device under its stream is refused.
    tAudioHostConfig same;
    same.mVirtual = true;
    same.mReal = false;
    same.mVirtualDevice = hosttest::unpacedConfig();
    EXPECT_EQ(audiohost_configure(same), 0);
    EXPECT_TRUE(audiohost_isRunning(id));
    tAudioHostConfig other = same;
    other.mVirtualDevice.mName = "Other";
    EXPECT_EQ(audiohost_configure(other), kAudioHostErrBusy);
    EXPECT_EQ(vdev_enable(hosttest::unpacedConfig()), kAudioHostErrBusy);

    ASSERT_EQ(audiohost_stopStream(id), 0);
    EXPECT_EQ(audiohost_stopStream(id), 0);  // already stopped
    EXPECT_EQ(audiohost_setBufferFrames(id, 1024), 0);
    EXPECT_EQ(audiohost_setBufferFrames(id, 8), kAudioHostErrUnsupported);
    EXPECT_EQ(audiohost_setBufferFrames(id, 262145), kAudioHostErrUnsupported);
    EXPECT_EQ(audiohost_setContainer(id, kAudioHostOutput, 2), kAudioHostErrUnsupported);
    ASSERT_EQ(audiohost_closeStream(id), 0);
    EXPECT_EQ(audiohost_closeStream(id), kAudioHostErrState);
}

// A callback that calls back into the host is refused instead of waiting on
// itself; nothing deadlocks and the stream stops normally afterwards.
TEST_F(VirtualHostTest, CallsFromTheCallbackAreRefused) {
    struct Reentrant {
        uint32_t id;
        std::atomic<int> stopResult{1}, closeResult{1}, rateResult{1};
        std::atomic<int> devices{-1};
        static void proc(void *client, const tAudioHostCycle *) {
            auto *self = static_cast<Reentrant *>(client);
            self->stopResult = audiohost_stopStream(self->id);
            self->closeResult = audiohost_closeStream(self->id);
            self->rateResult = audiohost_setNominalRate(self->id, 44100);
            uint32_t ids[4];
            self->devices = audiohost_getDevices(ids, 4);
        }
    } r;
    r.id = id;
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Reentrant::proc, &r), 0);
    ASSERT_EQ(audiohost_startStream(id), 0);
    ASSERT_EQ(vdev_waitCycles(2, 5000), 0);
    ASSERT_EQ(audiohost_stopStream(id), 0);
    EXPECT_EQ(r.stopResult.load(), kAudioHostErrState);
    EXPECT_EQ(r.closeResult.load(), kAudioHostErrState);
    EXPECT_EQ(r.rateResult.load(), kAudioHostErrState);
    EXPECT_EQ(r.devices.load(), 0);
}

TEST_F(VirtualHostTest, UseDefaultsAndDirections) {
    tVirtualDeviceConfig c = hosttest::unpacedConfig();
    c.mInChannels = 0;
    enable(c);
    EXPECT_EQ(audiohost_getDefaultDevice(kAudioHostOutput), id);
    EXPECT_EQ(audiohost_getDefaultDevice(kAudioHostInput), 0u);
    EXPECT_EQ(audiohost_setDefaultDevice(kAudioHostInput, id), kAudioHostErrUnsupported);
    EXPECT_EQ(audiohost_setDefaultDevice(kAudioHostOutput, id), 0);
    EXPECT_EQ(audiohost_setDefaultDevice(kAudioHostOutput, 0), kAudioHostErrNoDevice);

    EXPECT_EQ(audiohost_openStream(id, kAudioHostStreamInput, Recorder::proc, &rec), kAudioHostErrUnsupported);
    tAudioHostFormat f;
    EXPECT_EQ(audiohost_getPhysicalFormat(id, kAudioHostInput, &f), kAudioHostErrUnsupported);
    bool muted;
    EXPECT_EQ(audiohost_getInputMute(id, &muted), kAudioHostErrUnsupported);

    bool on = true;
    ASSERT_EQ(audiohost_getMixing(id, &on), 0);
    EXPECT_FALSE(on);
    EXPECT_EQ(audiohost_setMixing(id, false), 0);
    EXPECT_EQ(audiohost_setMixing(id, true), kAudioHostErrUnsupported);

    bool held = true;
    ASSERT_EQ(audiohost_getHog(id, &held), 0);
    EXPECT_FALSE(held);
    ASSERT_EQ(audiohost_setHog(id, true), 0);
    ASSERT_EQ(audiohost_getHog(id, &held), 0);
    EXPECT_TRUE(held);
    ASSERT_EQ(audiohost_setHog(id, false), 0);

    // The default physical format is the whole device in 24-bit PCM, float
    // containers.
    ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostOutput, &f), 0);
    EXPECT_EQ(f.mKind, kAudioHostPcmInt);
    EXPECT_EQ(f.mBits, 24);
    EXPECT_EQ(f.mChannels, 2);
    int container = -1;
    ASSERT_EQ(audiohost_getContainer(id, kAudioHostOutput, &container), 0);
    EXPECT_EQ(container, kAudioHostContainerFloat32);
}

// The memory capture keeps what fits under its limit and counts the rest.
TEST_F(VirtualHostTest, CaptureBeyondItsLimitIsCountedNotKept) {
    tVirtualDeviceConfig c = hosttest::unpacedConfig();
    c.mCaptureLimit = 1000;
    enable(c);
    CycleGate gate;
    gate.limit = 3;
    vdev_setPaceHook(CycleGate::hook, &gate);
    ASSERT_EQ(audiohost_setBufferFrames(id, 64), 0);  // 512 bytes a cycle
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Recorder::proc, &rec), 0);
    ASSERT_EQ(audiohost_startStream(id), 0);
    ASSERT_EQ(vdev_waitCycles(3, 5000), 0);
    ASSERT_EQ(audiohost_stopStream(id), 0);
    tVirtualCapture cap;
    ASSERT_EQ(vdev_takeCapture(&cap, true), 0);
    EXPECT_EQ(cap.mCycles.size(), 1u);
    EXPECT_EQ(cap.mData.size(), 512u);
    EXPECT_EQ(cap.mDroppedCycles, 2u);
}

}  // namespace
