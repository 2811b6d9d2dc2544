#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/dynamics.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<double> sine(int frames, double amp, double freq, int rate) {
    std::vector<double> v(2 * frames);
    for (int i = 0; i < frames; ++i) v[2 * i] = v[2 * i + 1] = amp * std::sin(2 * kPi * freq * i / rate);
    return v;
}

}  // namespace

TEST(Compressor, DefaultsAndSetUp) {
    ClassDynamics dyn;
    for (int ch : {0, 1}) {
        EXPECT_EQ(dyn.getAttack(ch), 0.003);
        EXPECT_EQ(dyn.getRelease(ch), 0.15);
        EXPECT_EQ(dyn.getHold(ch), 0.05);
        EXPECT_EQ(dyn.getHoldLength(ch), 2400);
        EXPECT_EQ(dyn.getThresholdDb(ch), -12.0);
        EXPECT_NEAR(dyn.getThreshold(ch), 0.251189, 1e-6);
        EXPECT_EQ(dyn.getMakeup(ch), 1.0);
        EXPECT_EQ(dyn.getEnable(ch), 0.0);
        EXPECT_EQ(dyn.getEnvelope(ch), 0.0);
    }
    EXPECT_EQ(dyn.getRatio(), 32.0);
    EXPECT_EQ(dyn.getSampleRate(), 48000);

    ASSERT_EQ(dyn.setupParams(10, 200, -20.0, 4.0, 6.0), kDynamicsOk);
    EXPECT_DOUBLE_EQ(dyn.getAttack(1), 0.01);
    EXPECT_DOUBLE_EQ(dyn.getRelease(0), 0.2);
    EXPECT_NEAR(dyn.getThreshold(0), 0.1, 1e-15);
    EXPECT_NEAR(dyn.getMakeup(1), 1.9952623, 1e-7);
    EXPECT_EQ(dyn.getRatio(), 4.0);
    EXPECT_EQ(dyn.getHoldLength(0), 2400);
    ASSERT_EQ(dyn.setSampleRate(96000), kDynamicsOk);
    EXPECT_EQ(dyn.getHoldLength(1), 4800);
    ASSERT_EQ(dyn.setSampleRate(44100), kDynamicsOk);
    EXPECT_EQ(dyn.getHoldLength(1), 2205);

    // Refused set-ups change nothing.
    EXPECT_EQ(dyn.setupParams(0, 200, -20.0, 4.0, 0.0), kDynamicsErrRange);
    EXPECT_EQ(dyn.setupParams(10, 0, -20.0, 4.0, 0.0), kDynamicsErrRange);
    EXPECT_EQ(dyn.setupParams(10, 200, -20.0, 0.0, 0.0), kDynamicsErrRange);
    EXPECT_EQ(dyn.setupParams(10, 200, -20.0, 0.5, 0.0), kDynamicsErrRange);
    EXPECT_EQ(dyn.setupParams(10, 200, NAN, 4.0, 0.0), kDynamicsErrRange);
    EXPECT_EQ(dyn.setSampleRate(0), kDynamicsErrRange);
    EXPECT_EQ(dyn.getRatio(), 4.0);
    EXPECT_DOUBLE_EQ(dyn.getAttack(0), 0.01);
    EXPECT_EQ(dyn.getSampleRate(), 44100);
}

TEST(Compressor, GainCurveFollowsTheRatio) {
    ClassDynamics dyn;
    const double thr = dyn.getThreshold(0);
    EXPECT_EQ(dyn.calcGain(0, thr * 0.999), 1.0);
    EXPECT_NEAR(dyn.calcGain(0, 0.251189), 1.0, 1e-3);  // within 0.1 % at the threshold
    struct Row {
        double ratio;
        double over;
        double tol;
    };
    const Row rows[] = {
        {32.0, 1.0, 1e-3}, {32.0, 2.0, 1e-9}, {32.0, 4.0, 1e-2}, {32.0, 1.5, 1e-2},
        {4.0, 2.0, 1e-9},  {4.0, 1.2, 1e-2},  {2.0, 2.0, 1e-9},
    };
    for (const Row &r : rows) {
        ASSERT_EQ(dyn.setupParams(3, 150, -12.0, r.ratio, 0.0), kDynamicsOk);
        const double exact = std::pow(r.over, 1.0 / r.ratio - 1.0);
        for (int ch : {0, 1})
            EXPECT_NEAR(dyn.calcGain(ch, thr * r.over) / exact, 1.0, r.tol)
                << "ratio " << r.ratio << " at " << r.over << " x threshold";
    }
}

TEST(Compressor, MetersAndPerChannelEnable) {
    ClassDynamics dyn;
    // Nothing over the threshold yet: no reduction.
    tDynamicsPair red = dyn.getReductionData();
    EXPECT_EQ(red.left, 1.41253755);
    EXPECT_EQ(red.right, 1.41253755);

    const bool on[2] = {true, false};
    dyn.setEnable(on);
    EXPECT_EQ(dyn.getEnable(0), 1.0);
    EXPECT_EQ(dyn.getEnable(1), 0.0);

    const int frames = 24000;
    const std::vector<double> in = sine(frames, 0.9, 1000.0, 48000);
    std::vector<double> out(in.size());
    // The first peaks pass before the 3 ms attack has caught up; read the
    // meters over the second half only.
    dyn.process(out.data(), in.data(), frames / 2);
    (void)dyn.getInputMeterData();
    (void)dyn.getOutputMeterData();
    (void)dyn.getReductionData();
    dyn.process(out.data() + frames, in.data() + frames, frames / 2);

    double leftPeak = 0.0;
    for (int i = frames / 2; i < frames; ++i) {
        leftPeak = std::max(leftPeak, std::fabs(out[2 * i]));
        EXPECT_EQ(out[2 * i + 1], in[2 * i + 1]);  // right is off: untouched
    }
    // 0.9 is 11.1 dB over the threshold; ratio 32 leaves about 0.35 dB of it.
    EXPECT_NEAR(leftPeak, 0.251189 * std::pow(0.9 / 0.251189, 1.0 / 32.0), 0.01);

    const tDynamicsPair inMeter = dyn.getInputMeterData();
    const tDynamicsPair outMeter = dyn.getOutputMeterData();
    red = dyn.getReductionData();
    EXPECT_NEAR(inMeter.left, 0.9, 1e-6);
    EXPECT_NEAR(inMeter.right, 0.9, 1e-6);
    // The disabled channel's meters still show what the gain would do.
    EXPECT_EQ(outMeter.left, outMeter.right);
    EXPECT_NEAR(outMeter.left, leftPeak, 1e-12);
    EXPECT_EQ(red.left, red.right);
    EXPECT_NEAR(red.left, 1.41253755 - (0.9 - leftPeak), 0.01);

    // Reading reset every meter.
    EXPECT_EQ(dyn.getInputMeterData().left, 0.0);
    EXPECT_EQ(dyn.getOutputMeterData().right, 0.0);
    EXPECT_EQ(dyn.getReductionData().left, 1.41253755);
}

TEST(Compressor, AttackHoldAndRelease) {
    ClassDynamics dyn;
    const int attackFrames = 144;  // 3 ms at 48 kHz: the approach's 20 dB point
    std::vector<double> loud(2 * attackFrames, 0.5), out(2 * attackFrames);
    dyn.process(out.data(), loud.data(), attackFrames);
    EXPECT_NEAR(dyn.getEnvelope(0), 0.45, 0.005);
    loud.assign(2 * 4800, 0.5);
    out.resize(loud.size());
    dyn.process(out.data(), loud.data(), 4800);
    const double held = dyn.getEnvelope(1);
    EXPECT_NEAR(held, 0.5, 1e-6);

    // Quiet: the envelope holds for the hold length (2400 frames), then
    // releases.
    std::vector<double> quiet(2 * 2399, 0.0), q(2 * 2399);
    dyn.process(q.data(), quiet.data(), 2399);
    EXPECT_EQ(dyn.getEnvelope(0), held);
    EXPECT_EQ(dyn.getEnvelope(1), held);
    dyn.process(q.data(), quiet.data(), 1);
    EXPECT_LT(dyn.getEnvelope(0), held);
    // 150 ms later it has fallen by about 20 dB.
    std::vector<double> release(2 * 7200, 0.0), r(2 * 7200);
    dyn.process(r.data(), release.data(), 7199);
    EXPECT_NEAR(dyn.getEnvelope(0), held * 0.1, held * 0.01);
}
