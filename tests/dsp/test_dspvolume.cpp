#include <gtest/gtest.h>

#include "dsp/dspvolume.h"

namespace {

struct Env {
    tDspVolItem p[kDspVolItems];
};

Env build(const tWaveEditParam &e, uint32_t A, uint32_t B, int64_t M, bool shortFade) {
    Env env;
    tDspVolumeParam opt;
    opt.shortFade = shortFade ? 1 : 0;
    EXPECT_EQ(dspVolume::setDspVolume(0, &e, A, B, M, env.p, 0, &opt), kDspVolOk);
    return env;
}

void expectStarts(const Env &env, int64_t i, int64_t inEnd, int64_t outStart, int64_t o) {
    EXPECT_EQ(env.p[0].start, 0);
    EXPECT_EQ(env.p[1].start, i);
    EXPECT_EQ(env.p[2].start, inEnd);
    EXPECT_EQ(env.p[3].start, outStart);
    EXPECT_EQ(env.p[4].start, o);
    EXPECT_EQ(env.p[5].start, kDspVolEnd);
}

TEST(DspVolume, PointsOfARegionWithFades) {
    tWaveEditParam e;
    e.inPoint = 1000;
    e.fadeInLength = 400;
    e.gain = 0.8;
    e.fadeOutLength = 200;
    e.outPoint = 5000;
    Env env = build(e, 44100, 44100, 0, false);
    expectStarts(env, 1000, 1400, 4800, 5000);
    const double levels[] = {0.0, 0.0, 0.8, 0.8, 0.0, 0.0};
    const double slopes[] = {0.0, 0.8 / 400, 0.0, -0.8 / 200, 0.0, 0.0};
    const int dirs[] = {0, +1, 0, -1, 0, 0};
    for (int k = 0; k < kDspVolItems; ++k) {
        EXPECT_EQ(env.p[k].level, levels[k]) << k;
        EXPECT_EQ(env.p[k].slope, slopes[k]) << k;
        EXPECT_EQ(env.p[k].direction, dirs[k]) << k;
    }
}

TEST(DspVolume, NoFadesGiveStepsOfSlopeGain) {
    tWaveEditParam e{100, 0, 0.5, 0, 900};
    Env env = build(e, 48000, 48000, 0, false);
    expectStarts(env, 100, 100, 900, 900);
    EXPECT_EQ(env.p[1].slope, 0.5);
    EXPECT_EQ(env.p[3].slope, -0.5);
}

TEST(DspVolume, RateChangeScalesAndTruncates) {
    struct Case {
        uint32_t A, B;
        tWaveEditParam e;
        int64_t i, inEnd, outStart, o;
    };
    const Case cases[] = {
        // Doubling the rate doubles every position.
        {44100, 88200, {1001, 301, 1.0, 77, 9999}, 2002, 2002 + 602, 19998 - 154, 19998},
        // 48000/44100 = 1.088...: products truncate.
        {44100, 48000, {1, 10, 1.0, 10, 44101}, 1, 1 + 10, 48001 - 10, 48001},
        // Down to a lower rate.
        {96000, 44100, {3, 100, 1.0, 100, 96001}, 1, 1 + 45, 44100 - 45, 44100},
    };
    for (const Case &c : cases) {
        Env env = build(c.e, c.A, c.B, 0, false);
        expectStarts(env, c.i, c.inEnd, c.outStart, c.o);
    }
}

TEST(DspVolume, MinimumFadeLengthensShortFades) {
    tWaveEditParam e{0, 100, 1.0, 10000, 44100};
    Env env = build(e, 44100, 88200, 4410, false);
    expectStarts(env, 0, 8820, 88200 - 20000, 88200);
    EXPECT_EQ(env.p[1].slope, 1.0 / 8820);
}

TEST(DspVolume, DsdRegionAtItsOwnRateEndsTwoHundredMsEarly) {
    const uint32_t dsd = 2822400;
    tWaveEditParam e{0, 0, 1.0, 0, 10 * int64_t(dsd)};
    Env on = build(e, dsd, dsd, 0, true);
    EXPECT_EQ(on.p[4].start, 10 * int64_t(dsd) - 564480);
    Env off = build(e, dsd, dsd, 0, false);
    EXPECT_EQ(off.p[4].start, 10 * int64_t(dsd));
    // Not at its own rate: no pull-in.
    Env converted = build(e, dsd, 2 * dsd, 0, true);
    EXPECT_EQ(converted.p[4].start, 20 * int64_t(dsd));
    // A region shorter than the pull-in keeps one sample.
    tWaveEditParam shortRegion{1000, 0, 1.0, 0, 2000};
    Env s = build(shortRegion, dsd, dsd, 0, true);
    EXPECT_EQ(s.p[1].start, 1000);
    EXPECT_EQ(s.p[4].start, 1001);
}

TEST(DspVolume, OverlappingFadesMeetMidwayOnlyWithOptions) {
    tWaveEditParam e{1000, 800, 1.0, 600, 2001};
    Env on = build(e, 44100, 44100, 0, true);
    expectStarts(on, 1000, 1500, 1501, 2001);  // (2001 - 1000) / 2 = 500 each
    EXPECT_EQ(on.p[1].slope, 1.0 / 500);
    EXPECT_EQ(on.p[3].slope, -1.0 / 500);
    // Without the options the points keep their order of computation.
    Env off = build(e, 44100, 44100, 0, false);
    expectStarts(off, 1000, 1800, 1401, 2001);
}

TEST(DspVolume, LongDsdPositionsDoNotOverflow) {
    const uint32_t r = 22579200;  // the product in * r passes 2^63
    const int64_t in = int64_t(1) << 42;
    tWaveEditParam e{in, 0, 1.0, 0, in + 1000};
    Env env = build(e, r, r, 0, false);
    EXPECT_EQ(env.p[1].start, in);
    EXPECT_EQ(env.p[4].start, in + 1000);
}

TEST(DspVolume, BadArgumentsWriteNothing) {
    tWaveEditParam e{0, 0, 1.0, 0, 100};
    tDspVolItem out[kDspVolItems];
    out[0].start = 77;
    EXPECT_EQ(dspVolume::setDspVolume(0, &e, 0, 44100, 0, out, 0, nullptr), kDspVolBadParam);
    EXPECT_EQ(dspVolume::setDspVolume(0, nullptr, 44100, 44100, 0, out, 0, nullptr), kDspVolBadParam);
    EXPECT_EQ(out[0].start, 77);
    // Null options mean options off.
    dspVolume v;
    EXPECT_EQ(v.setDspVolume(0, &e, 44100, 44100, 0, out, 0, nullptr), kDspVolOk);
    EXPECT_EQ(out[4].start, 100);
}

}  // namespace
