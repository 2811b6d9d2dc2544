// The device layer end to end: the virtual device selected and put on a
// rate through the control thread's jobs, a DSD file played through the
// audio thread, the buffer switch and the stream's callback, and the
// device's capture read back as a DAC would: DoP words decoded to DSD
// bits, native DSD bytes taken as they are.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audiofile/dsdifftestutil.h"
#include "devicerig.h"
#include "support/dsdcapture.h"
#include "support/testutil.h"

namespace {

class DevicePlaybackTest : public ::testing::Test {
protected:
    void SetUp() override { DebugClient::SetDebugLevel(0); }
    sxtest::TempDir dir;
};

// Plays a DSD file at its own rate on a device and returns the capture.
void playDsd(devrig::Rig &rig, const std::string &path, uint32_t rate, uint32_t rateIndex, uint64_t bits,
             tVirtualCapture *cap) {
    ASSERT_TRUE(rig.changeRate(rate));
    // Pure output is allowed once the device runs at the new rate.
    setDsdPureOrNot(true);
    ASSERT_TRUE(audiohost_isRunning(rig.id()));
    (void)vdev_takeCapture(cap, true);
    engtest::FeedJob job(path, rate, 1, bits, rateIndex);
    devrig::Player player(&job.record, &job.info, job.items);
    ASSERT_TRUE(player.started());
    rig.setFeedPacing(true);
    rig.setHoldWhenStopped(true);
    rig.allow(UINT64_MAX);
    ASSERT_TRUE(rig.waitHeld());
    ASSERT_TRUE(player.finished());
    EXPECT_EQ(player.result(), 0);
    ASSERT_EQ(vdev_takeCapture(cap, true), 0);
}

// A DSD64 file played as DoP on a PCM device, one track at unity with the
// equaliser off: the output fades in re-modulated, then splices into the
// file's own bits and carries every one of them unchanged, 17 bits late (the
// conversion delay of a same-rate job), to the last bit of the material and
// on into the idle pattern, in words whose markers alternate.
TEST_F(DevicePlaybackTest, Dsd64OverDopReachesTheDeviceBitExactAfterTheFadeIn) {
    constexpr uint32_t kRate = 2822400;
    constexpr uint64_t kBits = kRate;  // 1 s
    std::vector<uint8_t> left, right;
    devrig::dsdTone(kRate, kBits, &left, &right);
    const std::string path = dir.file("tone64.dff");
    ASSERT_NO_FATAL_FAILURE(dfftest::writeDff(path, dfftest::param(2, kRate), devrig::interleave(left, right)));

    devrig::Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.open("Studio Interface", false));
    tVirtualCapture cap;
    ASSERT_NO_FATAL_FAILURE(playDsd(rig, path, kRate, 16, kBits, &cap));
    ASSERT_FALSE(cap.mCycles.empty());
    std::vector<uint8_t> out[2], markers;
    dsdcap::decode(cap, true, out, &markers);
    const std::vector<uint8_t> *src[2] = {&left, &right};
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        const int64_t lag = dsdcap::findLag(out[c], *src[c]);
        ASSERT_GE(lag, 17) << "the source bits never reach the device unchanged";
        int64_t from = 0, until = 0;
        dsdcap::exactRun(out[c], *src[c], lag, &from, &until);
        // The bits the splice's delay holds at the end go out too.
        EXPECT_EQ(until, int64_t(kBits)) << "pure output broke off";
        EXPECT_EQ(dsdcap::idleBytesAfter(out[c], int64_t(kBits) + lag, 64), 64) << "no idle pattern after the end";
        // The fade-in reaches unity and the splice finds its match within
        // half a second.
        EXPECT_GT(from, 0) << "no fade-in";
        EXPECT_LT(from, int64_t(kRate) / 2) << "pure output began late";
    }
    // From the idle buffers before the start to those after the end.
    EXPECT_EQ(dsdcap::markerBreak(markers), -1) << "the DoP markers do not alternate";
}

// The same material at 11.2896 MHz on the device presented under the
// native-DSD name: native DSD words (after the start-up mute) carrying the
// file's bits unchanged once the fade-in has spliced into them, to the last
// one.
TEST_F(DevicePlaybackTest, Dsd256NativeReachesTheDeviceBitExact) {
    constexpr uint32_t kRate = 11289600;
    constexpr uint32_t kBufferBits = 30144;
    devrig::Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.open("ZOLT USB AUDIO DEVICE", true));
    ASSERT_TRUE(CCoreAudioIOThread::mZoltVx_DsdNative);
    for (uint64_t bits : {uint64_t(kRate / 2)}) {
        SCOPED_TRACE(bits);
        std::vector<uint8_t> left, right;
        devrig::dsdTone(kRate, bits, &left, &right);
        const std::string path = dir.file("tone256-" + std::to_string(bits) + ".dff");
        ASSERT_NO_FATAL_FAILURE(dfftest::writeDff(path, dfftest::param(2, kRate), devrig::interleave(left, right)));
        tVirtualCapture cap;
        ASSERT_NO_FATAL_FAILURE(playDsd(rig, path, kRate, 18, bits, &cap));
        ASSERT_FALSE(cap.mCycles.empty());
        for (const tVirtualCycleRecord &r : cap.mCycles) {
            ASSERT_EQ(r.mRate, 705600u);
            ASSERT_EQ(r.mKind, int(kAudioHostDsd));
            ASSERT_EQ(r.mFrames, kBufferBits);
        }
        std::vector<uint8_t> out[2];
        dsdcap::decode(cap, false, out, nullptr);
        const std::vector<uint8_t> *src[2] = {&left, &right};
        for (int c = 0; c < 2; ++c) {
            SCOPED_TRACE(c);
            const int64_t lag = dsdcap::findLag(out[c], *src[c]);
            ASSERT_GE(lag, 17) << "the source bits never reach the device unchanged";
            int64_t from = 0, until = 0;
            dsdcap::exactRun(out[c], *src[c], lag, &from, &until);
            EXPECT_EQ(until, int64_t(bits)) << "pure output broke off";
            EXPECT_EQ(dsdcap::idleBytesAfter(out[c], int64_t(bits) + lag, 64), 64) << "no idle pattern after the end";
            EXPECT_GT(from, 0) << "no fade-in";
            EXPECT_LT(from, int64_t(kRate) * 2 / 5) << "pure output began late";
        }
    }
}

// A DSD64 file played as DoP to its end: the device runs a sixteenth of the
// rate in 32-bit words whose wire stayed DoP through the format's re-write
// at set-up, every word carries a marker that alternates frame by frame,
// and the job lets its source ring go only after the engine is done with it.
TEST_F(DevicePlaybackTest, ADsdFilePlaysOverDopToItsEnd) {
    constexpr uint32_t kRate = 2822400;
    constexpr uint64_t kBits = kRate / 4;
    std::vector<uint8_t> left, right;
    devrig::dsdTone(kRate, kBits, &left, &right);
    const std::string path = dir.file("dop64.dff");
    ASSERT_NO_FATAL_FAILURE(dfftest::writeDff(path, dfftest::param(2, kRate), devrig::interleave(left, right)));

    devrig::Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.open("Studio Interface", false));
    tVirtualCapture cap;
    ASSERT_NO_FATAL_FAILURE(playDsd(rig, path, kRate, 16, kBits, &cap));
    ASSERT_GE(cap.mCycles.size() * 7680 * 16, kBits);
    size_t wrong = 0;
    for (const tVirtualCycleRecord &r : cap.mCycles) {
        ASSERT_EQ(r.mRate, 176400u);
        ASSERT_EQ(r.mKind, int(kAudioHostDop));
        ASSERT_EQ(r.mBits, 32);
        ASSERT_EQ(r.mFrames, 7680u);
        ASSERT_EQ(r.mContainer, int(kAudioHostContainerFloat32));
        const float *f = reinterpret_cast<const float *>(cap.mData.data() + r.mOffset);
        for (uint32_t k = 0; k < r.mFrames; ++k)
            for (int c = 0; c < 2; ++c) {
                const uint32_t w = uint32_t(int32_t(std::lrint(double(f[2 * k + uint32_t(c)]) * 2147483648.0)));
                const uint8_t m = uint8_t(w >> 24);
                wrong += (m != 0x05 && m != 0xFA) || (w & 0xFF) != 0;
                if (k > 0) {
                    const uint32_t p =
                        uint32_t(int32_t(std::lrint(double(f[2 * (k - 1) + uint32_t(c)]) * 2147483648.0)));
                    wrong += m != uint8_t(~(p >> 24));
                }
            }
    }
    EXPECT_EQ(wrong, 0u);
}

// A file that ends while its fade-in still splices toward its own bits (a
// quarter of a second: the splice comes about a third of a second in), then
// a second file in the same session, after the device is put on the rate
// again: the second one fades in and carries its own bits like the first
// file of a session, not idle words.
TEST_F(DevicePlaybackTest, AFileEndingDuringItsFadeInLeavesTheNextPlaybackSounding) {
    constexpr uint32_t kRate = 2822400;
    devrig::Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.open("Studio Interface", false));
    for (uint64_t bits : {uint64_t(kRate / 4), uint64_t(kRate)}) {
        SCOPED_TRACE(bits);
        std::vector<uint8_t> left, right;
        devrig::dsdTone(kRate, bits, &left, &right);
        const std::string path = dir.file("tone" + std::to_string(bits) + ".dff");
        ASSERT_NO_FATAL_FAILURE(dfftest::writeDff(path, dfftest::param(2, kRate), devrig::interleave(left, right)));
        tVirtualCapture cap;
        ASSERT_NO_FATAL_FAILURE(playDsd(rig, path, kRate, 16, bits, &cap));
        if (bits < kRate) continue;
        std::vector<uint8_t> out[2];
        dsdcap::decode(cap, true, out, nullptr);
        const std::vector<uint8_t> *src[2] = {&left, &right};
        for (int c = 0; c < 2; ++c) {
            SCOPED_TRACE(c);
            const int64_t lag = dsdcap::findLag(out[c], *src[c]);
            ASSERT_GE(lag, 17) << "the second file never reaches the device (idle words)";
            int64_t from = 0, until = 0;
            dsdcap::exactRun(out[c], *src[c], lag, &from, &until);
            EXPECT_EQ(until, int64_t(bits));
            EXPECT_LT(from, int64_t(kRate) / 2) << "pure output began late";
        }
    }
}

// The native stream's first 564,480 bits per channel are the start-up
// mute: all-zero words, then the idle pattern of a stopped engine.
TEST_F(DevicePlaybackTest, NativeStartUpMuteLastsItsBitsThenIdles) {
    devrig::Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.open("ZOLT USB AUDIO DEVICE", true));
    ASSERT_TRUE(rig.changeRate(11289600));
    ASSERT_NO_FATAL_FAILURE(rig.run(3));
    tVirtualCapture cap;
    ASSERT_EQ(vdev_takeCapture(&cap, true), 0);
    ASSERT_EQ(cap.mCycles.size(), 3u);
    // 30144 frames x 16 bits = 482,304 bits a buffer: the first two begin
    // inside the mute.
    for (size_t k = 0; k < 3; ++k) {
        const tVirtualCycleRecord &r = cap.mCycles[k];
        const float *f = reinterpret_cast<const float *>(cap.mData.data() + r.mOffset);
        const float want = k < 2 ? 0.0f : -0.82354736328125f;
        for (uint32_t i = 0; i < r.mFrames * 2; ++i) ASSERT_EQ(f[i], want) << k << " " << i;
    }
}

// A rate change stops the stream, puts the device on the new rate and
// buffer, and starts it again: every buffer before the change is at the
// old rate, every one after at the new.
TEST_F(DevicePlaybackTest, ARateChangeStopsReRatesAndRestartsTheStream) {
    devrig::Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.open("Studio Interface", false));
    ASSERT_TRUE(rig.changeRate(44100));
    ASSERT_NO_FATAL_FAILURE(rig.run(4));
    ASSERT_TRUE(rig.changeRate(2822400));
    EXPECT_TRUE(audiohost_isRunning(rig.id()));
    ASSERT_NO_FATAL_FAILURE(rig.run(4));
    ASSERT_TRUE(rig.changeRate(96000));
    ASSERT_NO_FATAL_FAILURE(rig.run(4));
    tVirtualCapture cap;
    ASSERT_EQ(vdev_takeCapture(&cap, true), 0);
    ASSERT_EQ(cap.mCycles.size(), 12u);
    struct Want {
        uint32_t rate, frames;
        int kind;
    } want[] = {{44100, 1880, kAudioHostPcmInt}, {176400, 7680, kAudioHostDop}, {96000, 4096, kAudioHostPcmInt}};
    for (size_t k = 0; k < 12; ++k) {
        const Want &w = want[k / 4];
        EXPECT_EQ(cap.mCycles[k].mRate, w.rate) << k;
        EXPECT_EQ(cap.mCycles[k].mFrames, w.frames) << k;
        EXPECT_EQ(cap.mCycles[k].mKind, w.kind) << k;
    }
    EXPECT_EQ(CCoreAudioIOThread::mCurFs, 96000u);
    EXPECT_EQ(rig.control().playRate(), 96000u);
}

// While buffers arrive they keep reloading the watchdog; a device taken
// offline stops them, and the 445th tick of the 45 ms timer reports it.
TEST_F(DevicePlaybackTest, ADeviceTakenOfflineMakesTheWatchdogFire) {
    devrig::Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.open("Studio Interface", false, 0.0, "off"));
    ASSERT_TRUE(rig.changeRate(48000));
    for (int tick = 0; tick < 5; ++tick) {
        ASSERT_NO_FATAL_FAILURE(rig.run(1));
        EXPECT_FALSE(downCountWDT(45)) << tick;
    }
    rig.allow(UINT64_MAX);
    ASSERT_EQ(vdev_waitCycles(vdev_cycles() + 2, 5000), 0);
    vdev_setOffline(true);
    const uint64_t cycles = vdev_cycles();
    int fired = 0;
    for (int tick = 1; tick <= 500 && !fired; ++tick)
        if (downCountWDT(45)) fired = tick;
    EXPECT_EQ(fired, 445);
    EXPECT_EQ(vdev_cycles(), cycles);
    vdev_setOffline(false);
    ASSERT_EQ(vdev_waitCycles(cycles + 1, 5000), 0);
    EXPECT_FALSE(downCountWDT(45));
}

}  // namespace
