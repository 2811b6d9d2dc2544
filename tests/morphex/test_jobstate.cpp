// A job's packer state belongs to the job's thread: a second job running
// meanwhile on another thread (a playback feed beside an export) must not
// change what the first one writes.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "audiofile/dsdlayout.h"
#include "audiofile/pcmpack.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A DSF stream of two calls and a flush; `between` runs after the first call.
template <typename F>
Bytes dsfStream(F between) {
    Bytes left(1000 / 8), right(1000 / 8);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<uint8_t>(i * 3 + 1);
        right[i] = static_cast<uint8_t>(0xF0 ^ i);
    }
    Bytes out(2 * kDsfBlockBytes * 2, 0);
    Bytes all;
    uint32_t written = 0, valid = 0;
    clearDsfOffset();
    EXPECT_GE(dsd2dsf(out.data(), left.data(), right.data(), 1000, 2, 0, &written, &valid), 0);
    all.insert(all.end(), out.begin(), out.begin() + written * 2 / 8);
    between();
    EXPECT_GE(dsd2dsf(out.data(), left.data(), right.data(), 1000, 2, 0, &written, &valid), 0);
    all.insert(all.end(), out.begin(), out.begin() + written * 2 / 8);
    EXPECT_GE(dsd2dsf(out.data(), left.data(), right.data(), 0, 2, 1, &written, &valid), 0);
    all.insert(all.end(), out.begin(), out.begin() + written * 2 / 8);
    return all;
}

TEST(JobState, DsfPendingBlockIsPerThread) {
    const Bytes alone = dsfStream([] {});
    ASSERT_EQ(alone.size(), 2u * kDsfBlockBytes);
    const Bytes withOther = dsfStream([] {
        std::thread t([] {
            Bytes a(4096, 0x55), b(4096, 0xAA), o(4 * kDsfBlockBytes);
            uint32_t w = 0, v = 0;
            clearDsfOffset();
            (void)dsd2dsf(o.data(), a.data(), b.data(), 3000, 2, 0, &w, &v);
        });
        t.join();
    });
    EXPECT_EQ(withOther, alone);
}

// 16-bit dithered and noise-shaped output of one job.
template <typename F>
Bytes dithered(int mode, F between) {
    const uint32_t frames = 256;
    std::vector<double> in(2 * frames);
    for (uint32_t i = 0; i < 2 * frames; ++i) in[i] = 0.3 * ((i * 37) % 101) / 101.0 - 0.15;
    Bytes out(frames * 4), all;
    gRandom_seedInitValue();
    EXPECT_EQ(pcm2wav(out.data(), in.data(), frames, 2, 16, mode), 0);
    all = out;
    between();
    EXPECT_EQ(pcm2wav(out.data(), in.data(), frames, 2, 16, mode), 0);
    all.insert(all.end(), out.begin(), out.end());
    return all;
}

TEST(JobState, DitherAndNoiseShapingStateIsPerThread) {
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        const Bytes alone = dithered(mode, [] {});
        const Bytes withOther = dithered(mode, [mode] {
            std::thread t([mode] {
                std::vector<double> in(2 * 999, 0.123);
                Bytes o(999 * 4);
                gRandom_seedInitValue();
                (void)pcm2wav(o.data(), in.data(), 999, 2, 16, mode);
            });
            t.join();
        });
        EXPECT_EQ(withOther, alone);
    }
}

}  // namespace
