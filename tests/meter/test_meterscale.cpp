// The meter's scale and laws without any widget: thresholds, timing, the
// single-precision peak level, segment lighting and the peak line.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "meter/meterscale.h"

namespace {

// r(k): threshold k relative to full scale, in dB (23 is the over threshold).
constexpr double kRelative[kMeterLevels] = {-54, -48, -44, -36, -30, -24, -22, -20, -18, -16, -14, -12,
                                            -10, -9,  -8,  -6,  -4,  -3,  -2,  -1,  0,   1,   3,   0};

TEST(MeterScale, ThresholdsAreFullScalePlusOffsetExactly) {
    for (int k = 0; k < kMeterLevels; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(gMeterLevelDsd[k], -6.020599913279624 + kRelative[k]);
        if (k == 9)
            EXPECT_EQ(gMeterLevelPcm[k], 170.61859731166834);  // 0.02 dB below −16 dB
        else if (k == kMeterOverLevel)
            EXPECT_EQ(gMeterLevelPcm[k], 186.63833223530796);  // just below full scale
        else
            EXPECT_EQ(gMeterLevelPcm[k], 186.63859731166835 + kRelative[k]);
    }
    EXPECT_NEAR(kMeterFullScalePcmDb, 20.0 * std::log10(2147483648.0), 1e-12);
    EXPECT_NEAR(kMeterFullScaleDsdDb, 20.0 * std::log10(0.5), 1e-15);
    EXPECT_EQ(meterThresholds(kMeterModePcm), gMeterLevelPcm);
    EXPECT_EQ(meterThresholds(kMeterModeDsd), gMeterLevelDsd);
    EXPECT_EQ(meterThresholds(7), gMeterLevelDsd);
}

TEST(MeterScale, TimingLaws) {
    // 45 ms: 22 updates of hold, 0.9 dB (20 dB/s) of release per update.
    EXPECT_EQ(meterPeakHoldUpdates(45), 22);
    EXPECT_EQ(meterReleaseFactor(45), std::pow(10.0, -0.045));
    EXPECT_NEAR(20.0 * std::log10(meterReleaseFactor(45)), -0.9, 1e-12);
    EXPECT_EQ(meterPeakHoldUpdates(0), 0);

    struct Case {
        int holdMs, periodMs, updates;
    };
    const Case cases[] = {
        {2000, 45, 22}, {1000, 45, 0}, {1001, 45, 0}, {1045, 45, 1},
        {0, 45, 0},     {-1, 45, -1},  {2000, 0, -1}, {2000, -5, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.holdMs << " ms at " << c.periodMs << " ms");
        EXPECT_EQ(meterOverHoldUpdates(c.holdMs, c.periodMs), c.updates);
    }
}

TEST(MeterScale, PeakLevelInSinglePrecisionDecidesTheOverLamp) {
    // The largest 32-bit sample rounds up to 2^31 as a float: over.
    const float pcm = meterPeakDb(2147483647.0);
    EXPECT_NEAR(pcm, 186.6386f, 1e-4f);
    EXPECT_GT(static_cast<double>(pcm), gMeterLevelPcm[kMeterOverLevel]);
    // DSD full scale lands a hair below the double threshold: not over.
    const float dsd = meterPeakDb(0.5);
    EXPECT_EQ(dsd, -6.0206003f);
    EXPECT_FALSE(static_cast<double>(dsd) > gMeterLevelDsd[kMeterOverLevel]);
    EXPECT_EQ(meterPeakDb(0.0), -std::numeric_limits<float>::infinity());
}

TEST(MeterScale, SegmentsAndFraction) {
    bool on[kMeterLevels];
    // −19 dB: segments up to −20 dB lit, the −18 dB one half lit.
    double f = meterLightSegments(kMeterFullScalePcmDb - 19.0, gMeterLevelPcm, on);
    for (int k = 0; k < kMeterLevels; ++k) EXPECT_EQ(on[k], k <= 7) << k;
    EXPECT_NEAR(f, 0.5, 1e-12);

    // DSD full scale: 0 dB lit, +1 dB not; the over level (23) equals full
    // scale and is lit too, but it is never drawn as a segment.
    f = meterLightSegments(20.0 * std::log10(0.5), gMeterLevelDsd, on);
    for (int k = 0; k < kMeterLevels; ++k) EXPECT_EQ(on[k], k <= 20 || k == 23) << k;
    EXPECT_EQ(f, 0.0);

    // Silence: nothing at all.
    f = meterLightSegments(-std::numeric_limits<double>::infinity(), gMeterLevelPcm, on);
    for (int k = 0; k < kMeterLevels; ++k) EXPECT_FALSE(on[k]) << k;
    EXPECT_EQ(f, 0.0);

    // The irregular −16.02 dB threshold: −16.01 dB lights segment 9.
    f = meterLightSegments(kMeterFullScalePcmDb - 16.01, gMeterLevelPcm, on);
    EXPECT_TRUE(on[9]);
    EXPECT_FALSE(on[10]);
    EXPECT_NEAR(f, 0.01 / 2.02, 1e-9);
}

TEST(MeterScale, PeakLinePositionAndColour) {
    float scale[kMeterScalePoints];
    for (int k = 0; k < kMeterScalePoints; ++k) scale[k] = gMainMeterPosiTableOrigin[k] * 200.0f;
    double pos = -1.0;

    // −19 dB lies halfway through segment 8 (−20..−18 dB).
    EXPECT_EQ(meterPeakLine(kMeterFullScalePcmDb - 19.0, gMeterLevelPcm, scale, &pos), 8);
    EXPECT_NEAR(pos, 0.5 * (0.316f + 0.361f) * 200.0, 1e-3);

    // +2 dB: in the top segment, orange.
    EXPECT_EQ(meterPeakLine(kMeterFullScaleDsdDb + 2.0, gMeterLevelDsd, scale, &pos), 22);
    EXPECT_NEAR(pos, (0.951f + 0.5f * (1.0f - 0.951f)) * 200.0, 1e-3);

    // Below the bar, at +3 dB and above, and silence: no line.
    for (double peak : {kMeterFullScalePcmDb - 60.0, kMeterFullScalePcmDb + 3.0, kMeterFullScalePcmDb + 40.0,
                        -std::numeric_limits<double>::infinity()}) {
        pos = -1.0;
        EXPECT_EQ(meterPeakLine(peak, gMeterLevelPcm, scale, &pos), 0) << peak;
        EXPECT_EQ(pos, 0.0) << peak;
    }
}

}  // namespace
