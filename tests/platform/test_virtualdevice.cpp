#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "hosttest.h"
#include "testutil.h"

namespace {

using hosttest::CycleGate;
using hosttest::patternWord;
using hosttest::Recorder;
using hosttest::VirtualHostTest;
using Clock = std::chrono::steady_clock;

tAudioHostFormat fmt(int kind, int bits, int channels, int bytesPerFrame) {
    tAudioHostFormat f{};
    f.mKind = kind;
    f.mBits = bits;
    f.mChannels = channels;
    f.mBytesPerFrame = bytesPerFrame;
    return f;
}

TEST_F(VirtualHostTest, IdsStayWithTheDeviceAcrossRefreshAndReconfiguration) {
    tAudioHostDeviceInfo info;
    ASSERT_EQ(audiohost_getDeviceInfo(id, &info), 0);
    EXPECT_TRUE(info.mVirtual);
    EXPECT_STREQ(info.mUid, "sonvex-virtual");
    EXPECT_STREQ(info.mName, "Sonvex Virtual Device");
    EXPECT_EQ(info.mOutChannels, 2);
    EXPECT_EQ(info.mInChannels, 2);

    EXPECT_EQ(audiohost_refresh(), 1);  // real devices hidden: the virtual device alone
    EXPECT_EQ(vdev_deviceId(), id);

    // Presented as another device under the same uid: the same id.
    tVirtualDeviceConfig c = hosttest::unpacedConfig();
    c.mName = "ZOLT USB AUDIO DEVICE";
    ASSERT_EQ(vdev_enable(c), int(id));
    ASSERT_EQ(audiohost_getDeviceInfo(id, &info), 0);
    EXPECT_STREQ(info.mName, "ZOLT USB AUDIO DEVICE");

    // Another uid is another device; the first one keeps its id for when it
    // comes back, and an id of a device not listed names nothing.
    c.mUid = "second-virtual";
    const int second = vdev_enable(c);
    ASSERT_GT(second, 0);
    EXPECT_NE(uint32_t(second), id);
    EXPECT_EQ(audiohost_getDeviceInfo(id, &info), kAudioHostErrNoDevice);
    c.mUid = "sonvex-virtual";
    EXPECT_EQ(vdev_enable(c), int(id));
    EXPECT_EQ(audiohost_getDeviceInfo(0, &info), kAudioHostErrNoDevice);
}

// At speed s the clock hands over rate x s frames per second, and never
// more: its deadlines are absolute from the stream's start, so the callback
// of cycle n cannot come before n periods have passed since startStream was
// called. The test waits for the clock's count of cycles, however long a
// loaded machine takes, and checks only that bound, which load can never
// break (it can only make cycles later). The run is long enough that a
// clock running even a tenth fast would show.
TEST_F(VirtualHostTest, ClockRunsAtTheNominalRateTimesTheSpeed) {
    tVirtualDeviceConfig c = hosttest::unpacedConfig();
    c.mCapture = "off";
    enable(c);
    ASSERT_EQ(audiohost_setNominalRate(id, 48000), 0);
    ASSERT_EQ(audiohost_setBufferFrames(id, 480), 0);  // 100 cycles a second at speed 1
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Recorder::proc, &rec), 0);
    constexpr uint64_t kCycles = 25;
    for (double speed : {1.0, 4.0, 0.5}) {
        vdev_setSpeed(speed);
        const double period = 0.01 / speed;
        const uint64_t first = vdev_cycles();
        const Clock::time_point started = Clock::now();
        ASSERT_EQ(audiohost_startStream(id), 0);
        ASSERT_EQ(vdev_waitCycles(first + kCycles, 600000), 0) << "the clock stalled at speed " << speed;
        const double waited = std::chrono::duration<double>(Clock::now() - started).count();
        ASSERT_EQ(audiohost_stopStream(id), 0);
        // Cycles 0 .. kCycles-1: the last is due kCycles-1 periods after the
        // start (a nanosecond of rounding per deadline allowed).
        EXPECT_GE(waited, double(kCycles - 1) * period - 1e-6) << "the clock ran ahead at speed " << speed;
    }
}

TEST_F(VirtualHostTest, NoCallbackAfterStopReturns) {
    rec.sleepUs = 200;  // so that a stop usually lands inside a callback
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Recorder::proc, &rec), 0);
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(audiohost_startStream(id), 0);
        ASSERT_EQ(vdev_waitCycles(vdev_cycles() + 2, 5000), 0);
        ASSERT_EQ(audiohost_stopStream(id), 0);
        EXPECT_EQ(rec.inside.load(), 0);
        const uint64_t calls = rec.calls.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(rec.calls.load(), calls) << "round " << round;
    }
    // Closing a running stream stops it first.
    ASSERT_EQ(audiohost_startStream(id), 0);
    ASSERT_EQ(vdev_waitCycles(vdev_cycles() + 2, 5000), 0);
    ASSERT_EQ(audiohost_closeStream(id), 0);
    const uint64_t calls = rec.calls.load();
    EXPECT_FALSE(audiohost_isRunning(id));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(rec.calls.load(), calls);
    EXPECT_EQ(audiohost_startStream(id), kAudioHostErrState);
}

// The capture holds every output buffer as written, in order, each with the
// format it was played in; a rate and format change between two runs shows
// in the records.
TEST_F(VirtualHostTest, CaptureHoldsEveryBufferInOrderWithItsFormat) {
    CycleGate gate;
    vdev_setPaceHook(CycleGate::hook, &gate);
    ASSERT_EQ(audiohost_setContainer(id, kAudioHostOutput, kAudioHostContainerInt32), 0);
    ASSERT_EQ(audiohost_setBufferFrames(id, 509), 0);  // odd, so no layout lines up by chance
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Recorder::proc, &rec), 0);
    gate.limit = 5;
    ASSERT_EQ(audiohost_startStream(id), 0);
    ASSERT_EQ(vdev_waitCycles(5, 5000), 0);
    ASSERT_EQ(audiohost_stopStream(id), 0);

    // Then DoP at 2.8224 MHz: 176400 frames a second, float containers.
    ASSERT_EQ(audiohost_setNominalRate(id, 176400), 0);
    ASSERT_EQ(audiohost_setPhysicalFormat(id, kAudioHostOutput, fmt(kAudioHostDop, 24, 2, 6)), 0);
    ASSERT_EQ(audiohost_setContainer(id, kAudioHostOutput, kAudioHostContainerFloat32), 0);
    ASSERT_EQ(audiohost_setBufferFrames(id, 7680), 0);
    gate.limit = 8;
    ASSERT_EQ(audiohost_startStream(id), 0);
    ASSERT_EQ(vdev_waitCycles(8, 5000), 0);
    ASSERT_EQ(audiohost_stopStream(id), 0);

    tVirtualCapture cap;
    ASSERT_EQ(vdev_takeCapture(&cap, true), 0);
    ASSERT_EQ(cap.mCycles.size(), 8u);
    EXPECT_EQ(cap.mDroppedCycles, 0u);
    uint64_t offset = 0, frameTime = 0;
    for (size_t i = 0; i < cap.mCycles.size(); ++i) {
        const tVirtualCycleRecord &r = cap.mCycles[i];
        const bool dop = i >= 5;
        EXPECT_EQ(r.mCycle, i);
        EXPECT_EQ(r.mFrameTime, frameTime);
        EXPECT_EQ(r.mFrames, dop ? 7680u : 509u);
        EXPECT_EQ(r.mChannels, 2u);
        EXPECT_EQ(r.mBytes, r.mFrames * 8);
        EXPECT_EQ(r.mOffset, offset);
        EXPECT_EQ(r.mContainer, dop ? kAudioHostContainerFloat32 : kAudioHostContainerInt32);
        EXPECT_EQ(r.mKind, dop ? kAudioHostDop : kAudioHostPcmInt);
        EXPECT_EQ(r.mBits, 24);
        EXPECT_EQ(r.mBytesPerFrame, 6);
        EXPECT_EQ(r.mDeviceFormat, kDevFmtS24_3LE);
        EXPECT_EQ(r.mRate, dop ? 176400u : 48000u);
        size_t wrong = 0;
        for (uint32_t f = 0; f < r.mFrames; ++f)
            for (int ch = 0; ch < 2; ++ch) {
                uint32_t w;
                std::memcpy(&w, &cap.mData[r.mOffset + (size_t(f) * 2 + ch) * 4], 4);
                wrong += w != patternWord(r.mCycle, f, ch);
            }
        EXPECT_EQ(wrong, 0u) << "cycle " << i;
        offset += r.mBytes;
        frameTime += r.mFrames;
    }
    EXPECT_EQ(cap.mData.size(), offset);
    ASSERT_EQ(vdev_takeCapture(&cap, false), 0);
    EXPECT_TRUE(cap.mCycles.empty());
}

TEST_F(VirtualHostTest, OfflineStopsTheCallbacksAndKeepsTheDeviceListed) {
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Recorder::proc, &rec), 0);
    ASSERT_EQ(audiohost_startStream(id), 0);
    ASSERT_EQ(vdev_waitCycles(3, 5000), 0);
    vdev_setOffline(true);  // returns once a cycle under way has ended
    const uint64_t calls = rec.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(rec.calls.load(), calls);
    EXPECT_TRUE(audiohost_isRunning(id));
    EXPECT_EQ(vdev_deviceId(), id);
    tAudioHostDeviceInfo info;
    EXPECT_EQ(audiohost_getDeviceInfo(id, &info), 0);

    vdev_setOffline(false);
    EXPECT_EQ(vdev_waitCycles(vdev_cycles() + 3, 5000), 0);
    EXPECT_GT(rec.calls.load(), calls);
}

TEST_F(VirtualHostTest, ForcedBufferSizeChangesTheCyclesUntilReleased) {
    CycleGate gate;
    vdev_setPaceHook(CycleGate::hook, &gate);
    ASSERT_EQ(audiohost_setBufferFrames(id, 512), 0);
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Recorder::proc, &rec), 0);
    ASSERT_EQ(audiohost_startStream(id), 0);
    gate.limit = 2;
    ASSERT_EQ(vdev_waitCycles(2, 5000), 0);
    ASSERT_EQ(vdev_forceBufferFrames(1024), 0);
    gate.limit = 4;
    ASSERT_EQ(vdev_waitCycles(4, 5000), 0);
    ASSERT_EQ(vdev_forceBufferFrames(0), 0);
    gate.limit = 5;
    ASSERT_EQ(vdev_waitCycles(5, 5000), 0);
    ASSERT_EQ(audiohost_stopStream(id), 0);
    EXPECT_EQ(vdev_forceBufferFrames(262145), kAudioHostErrUnsupported);

    tVirtualCapture cap;
    ASSERT_EQ(vdev_takeCapture(&cap, true), 0);
    std::vector<uint32_t> frames;
    for (const auto &r : cap.mCycles) frames.push_back(r.mFrames);
    EXPECT_EQ(frames, (std::vector<uint32_t>{512, 512, 1024, 1024, 512}));
    uint32_t set = 0;
    EXPECT_EQ(audiohost_getBufferFrames(id, &set), 0);
    EXPECT_EQ(set, 512u);
}

// Input: a byte loop runs on across cycles; a generator sees each cycle;
// a muted input delivers zeros.
TEST_F(VirtualHostTest, InputComesFromTheLoopOrTheGeneratorAndMuteSilencesIt) {
    struct InputCheck {
        std::vector<uint8_t> got;  // every input byte, in order
        static void proc(void *client, const tAudioHostCycle *c) {
            auto *self = static_cast<InputCheck *>(client);
            const uint8_t *in = static_cast<const uint8_t *>(c->mInput);
            self->got.insert(self->got.end(), in, in + c->mInBytes);
        }
    } check;
    CycleGate gate;
    vdev_setPaceHook(CycleGate::hook, &gate);
    ASSERT_EQ(audiohost_setBufferFrames(id, 17), 0);  // 136 bytes: not a multiple of the loop
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamInput | kAudioHostStreamOutput, InputCheck::proc, &check), 0);
    const uint8_t loop[7] = {1, 2, 3, 4, 5, 6, 7};
    ASSERT_EQ(vdev_setInputLoop(loop, sizeof loop), 0);
    gate.limit = 3;
    ASSERT_EQ(audiohost_startStream(id), 0);
    ASSERT_EQ(vdev_waitCycles(3, 5000), 0);
    ASSERT_EQ(audiohost_stopStream(id), 0);
    ASSERT_EQ(check.got.size(), 3u * 136);
    size_t wrong = 0;
    for (size_t i = 0; i < check.got.size(); ++i) wrong += check.got[i] != loop[i % 7];
    EXPECT_EQ(wrong, 0u);

    struct Gen {
        static void fill(void *, uint64_t cycle, void *input, uint32_t frames, int channels, int container) {
            EXPECT_EQ(container, kAudioHostContainerFloat32);
            std::memset(input, int(cycle + 1), size_t(frames) * size_t(channels) * 4);
        }
    };
    vdev_setInputGenerator(Gen::fill, nullptr);
    check.got.clear();
    gate.limit = 4;
    ASSERT_EQ(audiohost_startStream(id), 0);
    ASSERT_EQ(vdev_waitCycles(4, 5000), 0);
    ASSERT_EQ(audiohost_stopStream(id), 0);
    ASSERT_EQ(check.got.size(), 136u);
    EXPECT_EQ(check.got.front(), 4);  // cycle 3
    EXPECT_EQ(check.got.back(), 4);

    ASSERT_EQ(audiohost_setInputMute(id, true), 0);
    bool muted = false;
    ASSERT_EQ(audiohost_getInputMute(id, &muted), 0);
    EXPECT_TRUE(muted);
    check.got.clear();
    gate.limit = 5;
    ASSERT_EQ(audiohost_startStream(id), 0);
    ASSERT_EQ(vdev_waitCycles(5, 5000), 0);
    ASSERT_EQ(audiohost_stopStream(id), 0);
    EXPECT_EQ(check.got, std::vector<uint8_t>(136, 0));
    ASSERT_EQ(audiohost_setInputMute(id, false), 0);
}

// A file capture holds the same records and bytes and reads back; a damaged
// file is refused, never read past its end.
TEST(VirtualDeviceFile, CaptureFileReadsBackAndDamageIsRefused) {
    sxtest::TempDir dir;
    const std::string path = dir.file("capture.bin");
    tVirtualDeviceConfig c = hosttest::unpacedConfig();
    c.mCapture = path;
    const int rc = vdev_enable(c);
    ASSERT_GT(rc, 0);
    const uint32_t id = uint32_t(rc);
    CycleGate gate;
    vdev_setPaceHook(CycleGate::hook, &gate);
    Recorder rec;
    ASSERT_EQ(audiohost_setContainer(id, kAudioHostOutput, kAudioHostContainerInt32), 0);
    ASSERT_EQ(audiohost_setBufferFrames(id, 64), 0);
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Recorder::proc, &rec), 0);
    gate.limit = 3;
    ASSERT_EQ(audiohost_startStream(id), 0);
    ASSERT_EQ(vdev_waitCycles(3, 5000), 0);
    ASSERT_EQ(audiohost_closeStream(id), 0);

    tVirtualCapture cap;
    ASSERT_EQ(vdev_readCaptureFile(path.c_str(), &cap), 0);
    ASSERT_EQ(cap.mCycles.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(cap.mCycles[i].mCycle, i);
        EXPECT_EQ(cap.mCycles[i].mFrames, 64u);
        EXPECT_EQ(cap.mCycles[i].mContainer, kAudioHostContainerInt32);
        uint32_t w;
        std::memcpy(&w, &cap.mData[cap.mCycles[i].mOffset + 8 * 63 + 4], 4);
        EXPECT_EQ(w, patternWord(i, 63, 1));
    }
    tVirtualCapture taken;
    ASSERT_EQ(vdev_takeCapture(&taken, false), 0);
    EXPECT_EQ(taken.mData, cap.mData);

    const std::vector<uint8_t> whole = sxtest::readAll(path);
    ASSERT_EQ(whole.size(), 8u + 3 * (kVirtualCaptureRecordBytes + 512));
    struct Damage {
        const char *what;
        size_t keep;     // bytes kept
        size_t patchAt;  // 0: no patch
        uint8_t patch;
        int expected;
    };
    const size_t rec2 = 8 + 2 * (kVirtualCaptureRecordBytes + 512);
    const Damage rows[] = {
        {"cut inside a record", rec2 + 20, 0, 0, kAudioHostErrUnsupported},
        {"cut inside the data", whole.size() - 1, 0, 0, kAudioHostErrUnsupported},
        {"byte count larger than the file", whole.size(), rec2 + 27, 0x7F, kAudioHostErrUnsupported},
        {"frames that disagree with the bytes", whole.size(), rec2 + 16, 65, kAudioHostErrUnsupported},
        {"not a capture file", whole.size(), 3, 'x', kAudioHostErrUnsupported},
        {"whole", whole.size(), 0, 0, 0},
    };
    for (const Damage &d : rows) {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + long(d.keep));
        if (d.patchAt) bytes[d.patchAt] = d.patch;
        const std::string p = dir.file("damaged.bin");
        sxtest::writeAll(p, bytes);
        tVirtualCapture out;
        EXPECT_EQ(vdev_readCaptureFile(p.c_str(), &out), d.expected) << d.what;
    }
    EXPECT_EQ(vdev_readCaptureFile(dir.file("missing.bin").c_str(), &cap), kAudioHostErrIO);
}

TEST(HostConfig, SettingsParseAndBadOnesAreSkipped) {
    tAudioHostConfig c;
    std::string errors;
    const int bad = hostconfig_parse(
        "# tests\n virtual = on ; real=off\n"
        "name = \"KV-P5; bench unit\"\nrates=48000, 44100\ndsd=on\noutputs=8\ninputs=0\n"
        "buffer=64-4096\nframes=256\nspeed=0\ncapture=off\ncapture-limit=1024\n"
        "colour=blue\nspeed=-1\noutputs=65\nbuffer=9-3\nrates=48000,,96000\nframes\n",
        &c, &errors);
    EXPECT_EQ(bad, 6);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 6);
    EXPECT_TRUE(c.mVirtual);
    EXPECT_FALSE(c.mReal);
    const tVirtualDeviceConfig &v = c.mVirtualDevice;
    EXPECT_EQ(v.mName, "KV-P5; bench unit");
    EXPECT_EQ(v.mRates, (std::vector<uint32_t>{48000, 44100, 2822400, 5644800, 11289600, 22579200}));
    EXPECT_EQ(v.mOutChannels, 8);
    EXPECT_EQ(v.mInChannels, 0);
    EXPECT_EQ(v.mMinFrames, 64u);
    EXPECT_EQ(v.mMaxFrames, 4096u);
    EXPECT_EQ(v.mFrames, 256u);
    EXPECT_EQ(v.mSpeed, 0.0);
    EXPECT_EQ(v.mCapture, "off");
    EXPECT_EQ(v.mCaptureLimit, 1024u);
    EXPECT_EQ(hostconfig_check(v), 0);

    // dsd=off takes the DSD rates out again.
    EXPECT_EQ(hostconfig_parse("dsd=off", &c, nullptr), 0);
    EXPECT_EQ(c.mVirtualDevice.mRates, (std::vector<uint32_t>{48000, 44100}));
    // Values that parse but do not fit together.
    tVirtualDeviceConfig odd;
    odd.mFrames = 8;
    EXPECT_EQ(hostconfig_check(odd), kAudioHostErrUnsupported);
    EXPECT_EQ(vdev_enable(odd), kAudioHostErrUnsupported);
}

// The program's way in: a settings file named by SONVEX_AUDIO_CONFIG, then
// SONVEX_AUDIO on top.
TEST(HostConfig, EnvironmentFileThenStringWins) {
    sxtest::TempDir dir;
    const std::string path = dir.file("audio.conf");
    const std::string text = "virtual = on\nname = From File\nframes = 1024\n";
    sxtest::writeAll(path, std::vector<uint8_t>(text.begin(), text.end()));
    setenv("SONVEX_AUDIO_CONFIG", path.c_str(), 1);
    setenv("SONVEX_AUDIO", "name=From Env;real=off", 1);
    const tAudioHostConfig c = hostconfig_fromEnvironment();
    unsetenv("SONVEX_AUDIO_CONFIG");
    unsetenv("SONVEX_AUDIO");
    EXPECT_TRUE(c.mVirtual);
    EXPECT_FALSE(c.mReal);
    EXPECT_EQ(c.mVirtualDevice.mName, "From Env");
    EXPECT_EQ(c.mVirtualDevice.mFrames, 1024u);
}

}  // namespace
