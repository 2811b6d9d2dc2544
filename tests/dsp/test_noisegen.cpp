#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "dsp/noisegen.h"

namespace {

// Bit-serial reference: shift right, the new top bit is bit0 ^ bit1 ^
// bit21 ^ bit31 of the old state.
uint32_t referenceStep(uint32_t s) {
    const uint32_t top = ((s >> 0) ^ (s >> 1) ^ (s >> 21) ^ (s >> 31)) & 1u;
    return (s >> 1) | (top << 31);
}

}  // namespace

TEST(NoiseGenerator, LanesStartAtTheSeedAndStepIndependently) {
    class random gen;
    const uint32_t *st = gen.state();
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(st) % 16, 0u);
    const uint32_t seed[4] = {0xAB58CFC0u, 0x3B540961u, 0x72A5445Cu, 0x7FBC860Au};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(st[i], seed[i]);
    for (int i = 4; i < 8; ++i) EXPECT_EQ(st[i], 0u);

    // Lane 0's first step worked by hand: bits 0, 1 and 21 of 0xAB58CFC0 are
    // clear and bit 31 is set, so the new top bit is 1.
    uint32_t expect[4] = {seed[0], seed[1], seed[2], seed[3]};
    double out[2] = {7.0, 7.0};
    const double in[2] = {0.25, -3.0};
    for (int step = 0; step < 1000; ++step) {
        gen.calcRamdomValue(out, in);
        for (int i = 0; i < 4; ++i) expect[i] = referenceStep(expect[i]);
        if (step == 0) {
            EXPECT_EQ(st[0], 0xD5AC67E0u);
        }
    }
    for (int i = 0; i < 4; ++i) EXPECT_EQ(st[i], expect[i]) << "lane " << i;
    // The output is the input times zero.
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1], 0.0);
    EXPECT_TRUE(std::signbit(out[1]));

    gen.seedInitValue();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(st[i], seed[i]);
}
