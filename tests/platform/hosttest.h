// Helpers for the audio host tests: a virtual device set up unpaced, and a
// callback that writes a pattern the capture can be checked against.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>

#include "platform/audiohost/audiohost.h"
#include "platform/audiohost/hostconfig.h"
#include "platform/audiohost/virtualdevice.h"

namespace hosttest {

// The word a pattern callback writes into sample `ch` of frame `frame` of
// cycle `cycle`: distinct per position, every bit of the word used.
inline uint32_t patternWord(uint64_t cycle, uint32_t frame, int ch) {
    uint32_t x = uint32_t(cycle) * 0x9E3779B1u ^ frame * 0x85EBCA77u ^ uint32_t(ch) * 0xC2B2AE3Du;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    return x ^ (x >> 13);
}

// Counts calls, notes the frames of each, fills the output with patternWord
// (raw words: tests use integer containers when they compare bytes) and
// keeps the first input sample of each cycle.
struct Recorder {
    std::atomic<uint64_t> calls{0};
    std::atomic<int> inside{0};
    std::atomic<uint32_t> lastFrames{0};
    std::atomic<uint32_t> firstInput{0};
    std::atomic<int> sleepUs{0};

    static void proc(void *client, const tAudioHostCycle *c) {
        Recorder *r = static_cast<Recorder *>(client);
        r->inside.fetch_add(1);
        if (c->mOutput) {
            uint32_t *o = static_cast<uint32_t *>(c->mOutput);
            for (uint32_t f = 0; f < c->mOutFrames; ++f)
                for (int ch = 0; ch < c->mOutChannels; ++ch)
                    o[f * c->mOutChannels + ch] = patternWord(c->mCycle, f, ch);
        }
        if (c->mInput) {
            uint32_t w;
            std::memcpy(&w, c->mInput, 4);
            r->firstInput.store(w);
        }
        r->lastFrames.store(c->mOutput ? c->mOutFrames : c->mInFrames);
        if (int us = r->sleepUs.load(); us > 0) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(us);
            while (std::chrono::steady_clock::now() < until) {}
        }
        r->calls.fetch_add(1);
        r->inside.fetch_sub(1);
    }
};

// Lets exactly `limit` cycles run on an unpaced device.
struct CycleGate {
    std::atomic<uint64_t> limit{0};
    static bool hook(void *client, uint64_t cycle) { return cycle < static_cast<CycleGate *>(client)->limit.load(); }
};

inline tVirtualDeviceConfig unpacedConfig() {
    tVirtualDeviceConfig c;
    c.mSpeed = 0.0;
    return c;
}

// Every test starts from a freshly configured virtual device and leaves no
// stream behind. The recorder belongs to the fixture, not to the test body:
// a stream that a failed or finished body left running is closed only in
// TearDown, and its clock thread may call the recorder until then.
class VirtualHostTest : public ::testing::Test {
protected:
    void enable(const tVirtualDeviceConfig &c) {
        const int rc = vdev_enable(c);
        ASSERT_GT(rc, 0);
        id = uint32_t(rc);
    }
    void SetUp() override { enable(unpacedConfig()); }
    void TearDown() override {
        if (id) (void)audiohost_closeStream(id);
    }
    Recorder rec;
    uint32_t id = 0;
};

}  // namespace hosttest
