#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/phasemeter.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Reference sine on the left lane of ref; the measured sine, shifted by
// phaseDeg, on lane `lane` of meas (the other lane carries a decoy).
// Starting half a sample off zero puts every crossing between two samples.
void makeSignals(std::vector<double> &ref, std::vector<double> &meas, int frames, int period, double phaseDeg,
                 int lane) {
    ref.assign(2 * frames, 0.0);
    meas.assign(2 * frames, 0.0);
    for (int i = 0; i < frames; ++i) {
        const double t = 2.0 * kPi * (i + 0.5) / period;
        ref[2 * i] = std::sin(t);
        ref[2 * i + 1] = 0.3;
        meas[2 * i + lane] = 0.8 * std::sin(t + phaseDeg * kPi / 180.0);
        meas[2 * i + (lane ^ 1)] = std::cos(3.0 * t);
    }
}

}  // namespace

TEST(PhaseMeter, EstimatesThePhaseOfShiftedSines) {
    CPhase meter;
    struct Row {
        double phase;
        double expected;
        double tol;
    };
    // A measured channel that leads reads negative. (At exactly 180 degrees
    // the sign follows rounding noise at the crossings, so it is not a row.)
    const Row rows[] = {
        {0.0, 0.0, 0.05},   {30.0, -30.0, 0.2},   {45.0, -45.0, 0.2},   {-60.0, 60.0, 0.2},   {90.0, -90.0, 0.6},
        {-90.0, 90.0, 0.6}, {135.0, -135.0, 0.2}, {-120.0, 120.0, 0.2}, {170.0, -170.0, 0.2}, {-170.0, 170.0, 0.2},
    };
    std::vector<double> ref, meas;
    for (const Row &r : rows) {
        for (int channel : {0, 1, 2, 3}) {
            makeSignals(ref, meas, 480 * 20, 480, r.phase, channel & 1);
            const double got = meter.calcPhaseValue(ref.data(), meas.data(), 480 * 20, channel);
            EXPECT_NEAR(got, r.expected, r.tol) << "phase " << r.phase << " channel " << channel;
        }
    }
}

TEST(PhaseMeter, NeedsTwoRisingCrossings) {
    CPhase meter;
    std::vector<double> ref, meas;
    // Half a period after the start: one rising crossing at most.
    makeSignals(ref, meas, 700, 480, 90.0, 0);
    EXPECT_EQ(meter.calcPhaseValue(ref.data(), meas.data(), 700, 0), 0.0);
    // A silent reference never crosses.
    std::vector<double> silent(2 * 4800, 0.0);
    makeSignals(ref, meas, 4800, 480, 90.0, 0);
    EXPECT_EQ(meter.calcPhaseValue(silent.data(), meas.data(), 4800, 0), 0.0);
    EXPECT_EQ(meter.calcPhaseValue(ref.data(), meas.data(), 0, 0), 0.0);
    EXPECT_EQ(meter.calcPhaseValue(nullptr, meas.data(), 4800, 0), 0.0);
}

TEST(PhaseMeter, SilentMeasuredChannelReadsZero) {
    // No swing: the angle is 0 rather than a division by zero.
    CPhase meter;
    std::vector<double> ref, meas;
    makeSignals(ref, meas, 4800, 480, 0.0, 0);
    std::vector<double> silent(2 * 4800, 0.0);
    EXPECT_EQ(meter.calcPhaseValue(ref.data(), silent.data(), 4800, 0), 0.0);
}

TEST(PhaseMeter, RingReadsLikeTheStraightBuffer) {
    // The same signals laid into rings at an offset, so that a read from the
    // offset wraps at the ring's end: every start that names the same frame
    // gives the straight buffer's result exactly.
    CPhase meter;
    const int frames = 4800, ring = 6000, offset = 5000;
    std::vector<double> ref, meas;
    makeSignals(ref, meas, frames, 480, 60.0, 1);
    const double straight = meter.calcPhaseValue(ref.data(), meas.data(), frames, 1);
    ASSERT_NE(straight, 0.0);

    std::vector<double> ringRef(2 * ring, 0.7), ringMeas(2 * ring, -0.7);
    for (int i = 0; i < frames; ++i)
        for (int lane = 0; lane < 2; ++lane) {
            ringRef[2 * ((offset + i) % ring) + lane] = ref[2 * i + lane];
            ringMeas[2 * ((offset + i) % ring) + lane] = meas[2 * i + lane];
        }
    for (int start : {offset, offset - ring, offset + 3 * ring})
        EXPECT_EQ(meter.calcPhaseValue(ringRef.data(), ringMeas.data(), frames, 1, start, ring), straight) << start;
    EXPECT_EQ(meter.calcPhaseValue(ringRef.data(), ringMeas.data(), frames, 1, offset, 0), 0.0);
    EXPECT_EQ(meter.calcPhaseValue(nullptr, ringMeas.data(), frames, 1, offset, ring), 0.0);
}

TEST(PhaseMeter, SecondRiseWithoutAFallReadsTheFallAsZero) {
    // The reference steps from exactly 0 to below 0, which is no falling
    // crossing, so the second rising crossing comes before any falling
    // value was taken: it must pair with 0, not with whatever the memory
    // held. Rise at frame 1 (b 0.2), span 0.6 − (−0.4) = 1.
    const double ref[8] = {-1, 0, 0, 0, -1, 0, 1, 0};
    const double meas[8] = {0.5, 0, 0.2, 0, -0.4, 0, 0.6, 0};
    EXPECT_NEAR(CPhase().calcPhaseValue(ref, meas, 4, 0), -std::asin(0.2) * 180.0 / 3.14159265358, 1e-9);
}
