#include <gtest/gtest.h>

#include <cmath>

#include "dsp/lpf.h"

namespace {

TEST(Lpf, CoefficientUsesSinglePrecisionLn10) {
    lpf s;
    s.set_coefA_byFs(0.01, 44100.0);
    const double expected = 1.0 - 2.0 / (2.0 * 0.01 * 44100.0 / 2.3025851249694824 + 1.0);
    EXPECT_EQ(s.mCoefA[0], expected);
    EXPECT_EQ(s.mCoefA[1], expected);
    EXPECT_NEAR(s.mCoefA[0], 0.9947923, 1e-7);
    // With ln 10 in double precision the coefficient would differ.
    const double withDoubleLn10 = 1.0 - 2.0 / (2.0 * 0.01 * 44100.0 / std::log(10.0) + 1.0);
    EXPECT_NE(s.mCoefA[0], withDoubleLn10);

    // The byte-time form is the same formula with v / 1000 steps per second.
    lpf b;
    b.set_coefA_byteTime(0.01, 44100000.0);
    EXPECT_EQ(b.mCoefA[0], expected);
}

TEST(Lpf, GlideReachesNinetyPercentAfterTFsSteps) {
    lpf s;
    s.set_coefA_byFs(0.01, 44100.0);
    const double target[2] = {1.0, 1.0};
    s.setXdiret(target);
    for (int i = 0; i < 440; ++i) s.proc_1stIir();
    EXPECT_LT(s.getCoefY_1_ch(0), 0.9);
    s.proc_1stIir();
    EXPECT_GE(s.getCoefY_1_ch(0), 0.9);
    EXPECT_NEAR(s.getCoefY_1_ch(0), 0.90000, 5e-6);
    EXPECT_EQ(s.mOneMinusY[0], 1.0 - s.mY[0]);
    EXPECT_EQ(s.mY[0], s.mY[1]);
}

TEST(Lpf, StereoCoefficientsArePerLane) {
    lpf s;
    const double t[2] = {0.01, 0.03};
    s.set_coefA_byFsStereo(t, 44100.0);
    lpf l, r;
    l.set_coefA_byFs(0.01, 44100.0);
    r.set_coefA_byFs(0.03, 44100.0);
    EXPECT_EQ(s.mCoefA[0], l.mCoefA[0]);
    EXPECT_EQ(s.mCoefA[1], r.mCoefA[1]);
    EXPECT_GT(s.mCoefA[1], s.mCoefA[0]);
}

TEST(Lpf, CheckConsistentSnapsOnlyStrictlyWithinThreshold) {
    struct Case {
        double y[2], x[2];
        double yAfter[2];
        bool result;
    };
    const Case cases[] = {
        {{0.99996, 0.5}, {1.0, 1.0}, {1.0, 0.5}, false},
        {{0.99996, 1.00004}, {1.0, 1.0}, {1.0, 1.0}, true},
        // A difference of exactly 5e-5 is not within.
        {{5e-5, 4.9999e-5}, {0.0, 0.0}, {5e-5, 0.0}, false},
        {{-5e-5, 0.0}, {0.0, 0.0}, {-5e-5, 0.0}, false},
    };
    for (const Case &c : cases) {
        lpf s;
        s.setY_1direct(c.y);
        s.setXdiret(c.x);
        EXPECT_EQ(s.checkConsistent(), c.result) << c.y[0] << " " << c.y[1];
        EXPECT_EQ(s.mY[0], c.yAfter[0]);
        EXPECT_EQ(s.mY[1], c.yAfter[1]);
        EXPECT_EQ(s.mOneMinusY[0], 1.0 - c.yAfter[0]);
        EXPECT_EQ(s.mOneMinusY[1], 1.0 - c.yAfter[1]);
    }
}

TEST(Lpf, DirectYWaitsForNextStepToRefreshOneMinusY) {
    lpf s;
    s.set_coefA_byFs(0.01, 44100.0);
    const double one[2] = {1.0, 1.0};
    s.setY_1direct(one);
    EXPECT_EQ(s.mOneMinusY[0], 1.0);
    EXPECT_EQ(s.mOneMinusY[1], 1.0);
    EXPECT_EQ(s.getY_1()[0], 1.0);
    s.proc_1stIir();  // toward x = 0
    EXPECT_EQ(s.mY[0], s.mCoefA[0]);
    EXPECT_EQ(s.mOneMinusY[0], 1.0 - s.mCoefA[0]);
}

TEST(Lpf, TakeSeveralHundredMiliSnapsThenSteps) {
    lpf s;
    s.set_coefA_byFs(0.01, 44100.0);
    const double y[2] = {0.99999, 0.0};
    const double x[2] = {1.0, 1.0};
    s.setY_1direct(y);
    s.setXdiret(x);
    s.takeSeveralHundredMili();
    EXPECT_EQ(s.mY[0], 1.0);  // snapped, and a step from the target stays there
    EXPECT_EQ(s.mY[1], (0.0 - 1.0) * s.mCoefA[1] + 1.0);
    EXPECT_EQ(s.mOneMinusY[1], 1.0 - s.mY[1]);
}

TEST(Lpf, LaneIndexIsMasked) {
    lpf s;
    const double y[2] = {0.25, 0.75};
    const double x[2] = {0.1, 0.9};
    s.setY_1direct(y);
    s.setXdiret(x);
    EXPECT_EQ(s.getCoefY_1_ch(0), 0.25);
    EXPECT_EQ(s.getCoefY_1_ch(2), 0.25);
    EXPECT_EQ(s.getCoefY_1_ch(3), 0.75);
    EXPECT_EQ(s.getCoefX_ch(2), 0.1);
    EXPECT_EQ(s.getCoefX_ch(3), 0.9);
}

TEST(Lpf, FreshObjectIsDefined) {
    lpf s;
    EXPECT_EQ(s.getCoefY_1_ch(0), 0.0);
    EXPECT_EQ(s.mOneMinusY[0], 1.0);
    EXPECT_TRUE(std::signbit(s.mSignMask[0]));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(s.mY) % 16, 0u);
    // Stepping before a coefficient is set follows the target at once
    // instead of reading an undefined coefficient.
    const double x[2] = {0.5, -0.5};
    s.setXdiret(x);
    s.proc_1stIir();
    EXPECT_EQ(s.mY[0], 0.5);
    EXPECT_EQ(s.mY[1], -0.5);
    EXPECT_TRUE(s.checkConsistent());
}

}  // namespace
