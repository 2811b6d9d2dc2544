// The device side as the main window drives it, for the end-to-end tests:
// the virtual device listed and selected through the device layer, a rate
// change as the queued stop, rate and start jobs on the control thread, and
// a pace hook that lets the unpaced device run a cycle only while the test
// allows it and, with feed pacing, only once track 0's producer is a whole
// buffer ahead (a real-time device would not have underrun there either).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/contcoreaudiothread.h"
#include "engine/coreaudioio.h"
#include "engine/playbackproducer.h"
#include "rtbridge.h"

namespace devrig {

class Rig {
public:
    // Lists a virtual device under `name` (with the native DSD rates when
    // asked), selects it and reads its rates. Cycles are held.
    void open(const char *name, bool nativeRates, double speed = 0.0, const char *capture = "memory") {
        tVirtualDeviceConfig c;
        c.mName = name;
        c.mSpeed = speed;
        c.mCapture = capture;
        c.mCaptureLimit = 256ull << 20;
        if (nativeRates)
            c.mRates = {44100,  48000,  88200,  96000,   176400,  192000,   352800,
                        384000, 705600, 768000, 2822400, 5644800, 11289600, 22579200};
        const int id = vdev_enable(c);
        ASSERT_GT(id, 0);
        mId = id;
        vdev_setPaceHook(&Rig::pace, this);
        CCoreAudioIOThread *io = mControl.ioThread();
        io->getDevNames();
        ASSERT_EQ(io->mOutDevCount, 1);
        ASSERT_EQ(io->mOutDevIds[0], uint32_t(id));
        (void)io->selectDevice(id);
        io->getDevSystemInfo(id);
        // The main window's device boot: native DSD for the one device
        // presented under this name.
        CCoreAudioIOThread::mZoltVx_DsdNative = io->mOutDevNames[0] == QStringLiteral("ZOLT USB AUDIO DEVICE");
    }

    ~Rig() {
        mLimit.store(UINT64_MAX);
        CCoreAudioIOThread *io = mControl.ioThread();
        io->AudioStopReq();
        mControl.addTransaction(new ClassStopAudioQueue);
        engtest::waitFor([this] { return !mControl.isBusy(); }, 120000);
        vdev_setPaceHook(nullptr, nullptr);
        CCoreAudioIOThread::mZoltVx_DsdNative = false;
    }

    // The rate change: the stream stopped, a fresh engine for the rate, then
    // rate and start jobs and the busy poll (10 ms, at most 500).
    // Returns whether the jobs ended in time.
    bool changeRate(uint32_t rate) {
        setWDT(20000);
        CCoreAudioIOThread *io = mControl.ioThread();
        io->AudioStopReq();
        mControl.addTransaction(new ClassStopAudioQueue);
        // The running stream was handed the current engine as its client:
        // a fresh engine replaces it only once that stream has stopped.
        (void)engtest::waitFor([this] { return !mControl.isBusy(); }, 120000);
        rtbridge::setUpEngine(int(rate));
        mControl.setSamplingFreq(mId, rate);
        mControl.addTransaction(new ClassSetSampleRateCoreAudio);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        mControl.addTransaction(new ClassStartAudioQueue);
        // The window gives up after 500 polls of 10 ms; the jobs themselves
        // run to their end however loaded the machine is.
        (void)engtest::waitFor([this] { return !mControl.isBusy(); }, 120000);
        setWDT(20000);
        return !mControl.isBusy();
    }

    // Lets cycles run up to `limit` (counted by the device).
    void allow(uint64_t limit) {
        mHeld.store(false);
        mLimit.store(limit);
    }
    void run(uint64_t n) {
        const uint64_t target = vdev_cycles() + n;
        allow(target);
        ASSERT_EQ(vdev_waitCycles(target, 120000), 0);
    }
    void setFeedPacing(bool on) { mFeed.store(on); }
    void setHoldWhenStopped(bool on) { mHoldStopped.store(on); }
    bool waitHeld(int ms = 120000) {
        return engtest::waitFor([this] { return mHeld.load(); }, ms);
    }

    uint32_t id() const { return uint32_t(mId); }
    CContCoreAudioThread &control() { return mControl; }

private:
    static bool pace(void *client, uint64_t cycle) {
        auto *r = static_cast<Rig *>(client);
        if (cycle >= r->mLimit.load()) return false;
        const int32_t status = engine().engineStatus.load();
        if (r->mHoldStopped.load() && status == kEngineStopped) {
            r->mHeld.store(true);
            return false;
        }
        if (!r->mFeed.load() || status != kEnginePlaying || engine().stopRequest.load()) return true;
        return rtbridge::feedReady(gAudioThread_getAudioBufferFrameSize());
    }

    CContCoreAudioThread mControl;
    int mId = 0;
    std::atomic<uint64_t> mLimit{0};
    std::atomic<bool> mFeed{false};
    std::atomic<bool> mHoldStopped{false};
    std::atomic<bool> mHeld{false};
};

// An audio thread for track 0 that plays the job.
class Player {
public:
    Player(tMorphexParam *record, tAudioFileInfo *info, tDspVolItem *items) {
        setAudioIoThreadId(mThread.getThreadIndex(), 0);
        QObject::connect(&mThread, &audioThread::allTransactionsDone_, [this](int r) { mResult = r; });
        mThread.setAudioThreadParam(kMorphexCmdPlay, record, info, nullptr, items, 0, nullptr, 0);
        mThread.addTransaction(new ClassMorphex(2));
    }
    ~Player() {
        mThread.stop();
        if (mThread.isRunning()) engine().engineStatus.store(kEngineStopped);
        engtest::waitFor([&] { return mThread.isFinished() || !mThread.isRunning(); }, 120000);
    }
    bool started() {
        return engtest::waitFor([] { return engine().engineStatus.load() == kEnginePlaying; }, 120000);
    }
    bool finished() {
        return engtest::waitFor([&] { return mResult.load() != 1 && !mThread.isRunning(); }, 120000);
    }
    int result() const { return mResult.load(); }

private:
    audioThread mThread;
    std::atomic<int> mResult{1};
};

// A stereo DSD signal from a second-order modulator: a 1 kHz tone on the
// left, 1.5 kHz on the right, at half scale, with a little noise so that no
// stretch of bits repeats (a plain tone's bits do, period after period,
// which would make the alignment of a capture ambiguous). Per-channel
// bytes, first bit in the most significant bit.
inline void dsdTone(uint32_t rate, uint64_t bits, std::vector<uint8_t> *left, std::vector<uint8_t> *right) {
    const size_t bytes = size_t((bits + 7) / 8);
    left->assign(bytes, 0);
    right->assign(bytes, 0);
    std::vector<uint8_t> *out[2] = {left, right};
    const double freq[2] = {1000.0, 1500.0};
    for (int c = 0; c < 2; ++c) {
        double i1 = 0, i2 = 0, y = 0;
        uint32_t noise = 12345u + uint32_t(c);
        for (uint64_t n = 0; n < bits; ++n) {
            noise = noise * 1664525u + 1013904223u;
            const double x = 0.5 * std::sin(2.0 * M_PI * freq[c] * double(n) / rate) +
                             0.05 * (double(noise >> 8) / 16777216.0 - 0.5);
            i1 += x - y;
            i2 += i1 - y;
            y = i2 >= 0 ? 1.0 : -1.0;
            if (y > 0) (*out[c])[size_t(n / 8)] |= uint8_t(0x80 >> (n % 8));
        }
    }
}

// DSDIFF's interleaving: one byte per channel in turn.
inline std::vector<uint8_t> interleave(const std::vector<uint8_t> &left, const std::vector<uint8_t> &right) {
    std::vector<uint8_t> v(left.size() * 2);
    for (size_t i = 0; i < left.size(); ++i) {
        v[2 * i] = left[i];
        v[2 * i + 1] = right[i];
    }
    return v;
}

}  // namespace devrig
