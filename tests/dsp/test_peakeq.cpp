#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/peakeq.h"

namespace {

constexpr double kFs = 48000.0;
constexpr double kPi = 3.141592653589793;

std::vector<double> stereoSine(double freq, double fs, int frames, double amp = 0.5) {
    std::vector<double> v(2 * frames);
    for (int i = 0; i < frames; ++i) {
        v[2 * i] = amp * std::sin(2.0 * kPi * freq * i / fs);
        v[2 * i + 1] = amp * std::cos(2.0 * kPi * freq * i / fs);
    }
    return v;
}

// RMS level in dB of one channel over frames [from, to).
double rmsDb(const std::vector<double> &v, int ch, int from, int to) {
    double acc = 0.0;
    for (int i = from; i < to; ++i) acc += v[2 * i + ch] * v[2 * i + ch];
    return 10.0 * std::log10(acc / (to - from));
}

// Settles a band at gain g: the glide from the constructor's 0 dB is skipped.
void setBand(peakEq &b, double g, double f, tEqType t, bool shelfLo = true) {
    b.setShelvLo(shelfLo);
    b.setupParam(g, f, 0.7, kFs, t);
    b.reCalcCoef(kFs);
    while (b.mGainChanging)  // let the status of the skipped glide run out
        b.getEqGainChangingStatus();
}

TEST(PeakEq, ResponseCurves) {
    struct Case {
        const char *what;
        tEqType type;
        bool shelfLo;
        double freq;  // evaluation frequency
        double dB;
        double tol;
    };
    const Case cases[] = {
        {"peak at centre", kEqPeak, true, 1000.0, 6.0, 1e-9},
        {"peak at DC", kEqPeak, true, 0.0, 0.0, 1e-9},
        {"peak near Nyquist", kEqPeak, true, 23999.0, 0.0, 1e-3},
        {"peak at Nyquist", kEqPeak, true, 24000.0, 0.0, 0.0},
        {"low shelf at DC", kEqShelf, true, 0.0, 6.0, 1e-9},
        {"low shelf at corner", kEqShelf, true, 1000.0, 3.0, 1e-6},
        {"low shelf near Nyquist", kEqShelf, true, 23999.0, 0.0, 1e-3},
        {"high shelf at corner", kEqShelf, false, 1000.0, 3.0, 1e-6},
        {"high shelf near Nyquist", kEqShelf, false, 23999.0, 6.0, 1e-3},
        {"high shelf at DC", kEqShelf, false, 0.0, 0.0, 1e-9},
        {"low-pass at corner", kEqLowPass, true, 1000.0, -3.0103, 1e-4},
        {"low-pass at DC", kEqLowPass, true, 0.0, 0.0, 1e-9},
        {"unknown type", static_cast<tEqType>(7), true, 1000.0, 0.0, 0.0},
    };
    for (const Case &c : cases) {
        peakEq b;
        setBand(b, 6.0, 1000.0, c.type, c.shelfLo);
        EXPECT_NEAR(b.calcDBatFreq(kFs, c.freq), c.dB, c.tol) << c.what;
    }
}

TEST(PeakEq, FilteredLevelAgreesWithCurve) {
    struct Case {
        tEqType type;
        bool shelfLo;
        double gain;
        double freq;
    };
    const Case cases[] = {
        {kEqPeak, true, 6.0, 1000.0},    {kEqPeak, true, 6.0, 300.0},    {kEqPeak, true, -9.0, 2500.0},
        {kEqShelf, true, 6.0, 200.0},    {kEqShelf, false, 6.0, 5000.0}, {kEqLowPass, true, 0.0, 1000.0},
        {kEqLowPass, true, 0.0, 3000.0},
    };
    const int frames = 48000;
    for (const Case &c : cases) {
        peakEq b;
        setBand(b, c.gain, 1000.0, c.type, c.shelfLo);
        std::vector<double> in = stereoSine(c.freq, kFs, frames);
        std::vector<double> out(in.size());
        b.procEq(out.data(), in.data(), frames);
        // Skip the first half second of transients; 0.5 s holds whole periods
        // of every test frequency.
        for (int ch = 0; ch < 2; ++ch) {
            const double measured = rmsDb(out, ch, frames / 2, frames) - rmsDb(in, ch, frames / 2, frames);
            EXPECT_NEAR(measured, b.calcDBatFreq(kFs, c.freq), 0.01)
                << "type " << c.type << " at " << c.freq << " Hz, channel " << ch;
        }
    }
}

TEST(PeakEq, UnknownTypePassesSignalUnchanged) {
    peakEq b;
    setBand(b, 6.0, 1000.0, static_cast<tEqType>(3));
    std::vector<double> in = stereoSine(440.0, kFs, 509);
    std::vector<double> out(in.size());
    b.procEq(out.data(), in.data(), 509);
    EXPECT_EQ(out, in);
}

TEST(PeakEq, FreshBandFiltersToSilenceAndStartsWithoutGlideFlag) {
    peakEq b;
    EXPECT_EQ(b.mGainChangeStatus, 1.0);
    EXPECT_FALSE(b.mGainChanging);
    std::vector<double> in = stereoSine(440.0, kFs, 64);
    std::vector<double> out(in.size(), 1.0);
    b.procEq(out.data(), in.data(), 64);
    for (double v : out) EXPECT_EQ(v, 0.0);
    // A fresh band counts as settled at 0 dB: setting it up starts no
    // gain-change status.
    b.setupParam(6.0, 1000.0, 0.7, kFs, kEqPeak);
    EXPECT_FALSE(b.mGainChanging);
    EXPECT_EQ(b.mGainCur, 0.0);
    EXPECT_EQ(b.mFs, kFs);
}

TEST(PeakEq, GainGlidesFromTheCallAfterSetup) {
    peakEq moving, still;
    setBand(moving, 0.0, 1000.0, kEqPeak);
    setBand(still, 0.0, 1000.0, kEqPeak);
    moving.setupParam(6.0, 1000.0, 0.7, kFs, kEqPeak);
    EXPECT_FALSE(moving.mGainChanging);  // no glide was running and the type is the same

    const int n = 400;  // 100 groups: 1 dB of glide
    std::vector<double> in = stereoSine(1000.0, kFs, 2 * n);
    std::vector<double> a(in.size()), b(in.size());
    moving.procEq(a.data(), in.data(), n);
    still.procEq(b.data(), in.data(), n);
    EXPECT_EQ(std::vector<double>(a.begin(), a.begin() + 2 * n), std::vector<double>(b.begin(), b.begin() + 2 * n))
        << "the first call still filters with the old gain";
    EXPECT_NEAR(moving.mGainCur, 1.0, 1e-9);
    EXPECT_NEAR(moving.calcDBatFreq(kFs, 1000.0), 1.0, 1e-9);

    moving.procEq(a.data() + 2 * n, in.data() + 2 * n, n);
    still.procEq(b.data() + 2 * n, in.data() + 2 * n, n);
    EXPECT_NE(a[2 * n + 100], b[2 * n + 100]) << "the glide shows from the second call";

    // Group by group the glide reaches the target with a final snap.
    int groups = 200;
    std::vector<double> four(8, 0.25), sink(8);
    while (moving.mGainCur != moving.mGain && groups < 1000) {
        moving.procEq(sink.data(), four.data(), 4);
        ++groups;
    }
    EXPECT_EQ(moving.mGainCur, 6.0);
    EXPECT_EQ(groups, 601) << "600 steps of 0.01 dB fall short of 6.0 by rounding; the snap ends it";
    EXPECT_NEAR(moving.calcDBatFreq(kFs, 1000.0), 6.0, 1e-9);
}

TEST(PeakEq, GlideDownwardAndGainChangeStatus) {
    peakEq b;
    setBand(b, 3.0, 1000.0, kEqPeak);
    b.setupParam(0.0, 1000.0, 0.7, kFs, kEqPeak);
    std::vector<double> buf(2 * 40, 0.1);
    b.procEq(buf.data(), buf.data(), 40);  // 10 groups
    EXPECT_NEAR(b.mGainCur, 2.9, 1e-9);
    EXPECT_FALSE(b.mGainChanging);

    // A second setup while the glide runs restarts the status.
    b.setupParam(-3.0, 1000.0, 0.7, kFs, kEqPeak);
    EXPECT_TRUE(b.mGainChanging);
    EXPECT_EQ(b.mGainCur, 0.0) << "the glide restarts from the previous target";
    double s = 0.0;
    int calls = 0;
    while (b.mGainChanging) {
        s = b.getEqGainChangingStatus();
        EXPECT_NEAR(s, 0.04 * calls, 1e-9);
        ++calls;
    }
    EXPECT_EQ(calls, 25);
    EXPECT_EQ(b.mGainChangeStatus, 1.0);
    EXPECT_EQ(b.getEqGainChangingStatus(), 1.0);

    // A type change restarts it too, glide or not.
    peakEq c;
    setBand(c, 0.0, 1000.0, kEqPeak);
    c.setupParam(0.0, 1000.0, 0.7, kFs, kEqShelf);
    EXPECT_TRUE(c.mGainChanging);
    EXPECT_EQ(c.mGainChangeStatus, 0.0);
}

TEST(PeakEq, RemainderFramesAdvanceHistoryAfterOneGainStep) {
    std::vector<double> in = stereoSine(700.0, kFs, 6);
    // Whole call of six frames against four then two: the same history, and
    // the same samples while no glide runs.
    peakEq a, b;
    setBand(a, 6.0, 1000.0, kEqPeak);
    setBand(b, 6.0, 1000.0, kEqPeak);
    std::vector<double> outA(12), outB(12);
    a.procEq(outA.data(), in.data(), 6);
    b.procEq(outB.data(), in.data(), 4);
    b.procEq(outB.data() + 8, in.data() + 8, 2);
    EXPECT_EQ(outA, outB);
    for (int i = 0; i < 2 * peakEq::kCoefPairs; ++i) EXPECT_EQ(a.mCoef[i], b.mCoef[i]) << i;

    // While gliding, one step is made after the group; frames 4 and 5 still
    // use the coefficients the call started with.
    peakEq g, ref;
    setBand(g, 0.0, 1000.0, kEqPeak);
    setBand(ref, 0.0, 1000.0, kEqPeak);
    g.setupParam(6.0, 1000.0, 0.7, kFs, kEqPeak);
    std::vector<double> outG(12), outR(12);
    g.procEq(outG.data(), in.data(), 6);
    ref.procEq(outR.data(), in.data(), 6);
    EXPECT_EQ(outG, outR);
    EXPECT_NEAR(g.mGainCur, 0.01, 1e-12);
}

TEST(PeakEq, InPlaceMatchesSeparateBuffersAndInitParamClearsHistory) {
    std::vector<double> in = stereoSine(1500.0, kFs, 509);
    peakEq a, b;
    setBand(a, -4.0, 2000.0, kEqShelf, false);
    setBand(b, -4.0, 2000.0, kEqShelf, false);
    std::vector<double> out(in.size()), inPlace = in;
    a.procEq(out.data(), in.data(), 509);
    b.procEq(inPlace.data(), inPlace.data(), 509);
    EXPECT_EQ(out, inPlace);

    a.initParam();
    std::vector<double> again(in.size());
    a.procEq(again.data(), in.data(), 509);
    EXPECT_EQ(again, out);
}

TEST(PeakEq, ReCalcCoefEndsGlideAtNewRate) {
    peakEq b;
    setBand(b, 0.0, 1000.0, kEqPeak);
    b.setupParam(6.0, 1000.0, 0.7, kFs, kEqPeak);
    std::vector<double> buf(2 * 40, 0.1);
    b.procEq(buf.data(), buf.data(), 40);
    ASSERT_NE(b.mGainCur, b.mGain);
    b.reCalcCoef(96000.0);
    EXPECT_TRUE(b.mGainChanging);
    EXPECT_EQ(b.mGainCur, 6.0);
    EXPECT_EQ(b.mFs, 96000.0);
    EXPECT_NEAR(b.calcDBatFreq(96000.0, 1000.0), 6.0, 1e-9);
}

TEST(PeakEq, LibraryBuildRules) {
    // procEq filters whole groups of four only.
    std::vector<double> in = stereoSine(700.0, kFs, 6);
    peakEq lib, prog;
    setBand(lib, 6.0, 1000.0, kEqPeak);
    setBand(prog, 6.0, 1000.0, kEqPeak);
    std::vector<double> outL(12, -7.0), outP(12);
    lib.procEq<kEqBuildLibrary>(outL.data(), in.data(), 6);
    prog.procEq(outP.data(), in.data(), 4);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(outL[i], outP[i]);
    for (int i = 8; i < 12; ++i) EXPECT_EQ(outL[i], -7.0) << "frames after the last group are not touched";
    for (int i = 0; i < 2 * peakEq::kCoefPairs; ++i) EXPECT_EQ(lib.mCoef[i], prog.mCoef[i]);

    // setupParam: a type change, or a high shelf set up while gliding, starts
    // the status; a gliding peak does not.
    struct Case {
        tEqType type;
        bool shelfLo;
        tEqType newType;
        bool expect;
    };
    const Case cases[] = {
        {kEqPeak, true, kEqPeak, false},
        {kEqShelf, true, kEqShelf, false},
        {kEqShelf, false, kEqShelf, true},
        {kEqPeak, true, kEqLowPass, true},
    };
    for (const Case &c : cases) {
        peakEq b;
        setBand(b, 0.0, 1000.0, c.type, c.shelfLo);
        b.setupParam<kEqBuildLibrary>(6.0, 1000.0, 0.7, kFs, c.type);  // glide 0 -> 6 starts
        ASSERT_FALSE(b.mGainChanging);
        std::vector<double> buf(8, 0.1);
        b.procEq<kEqBuildLibrary>(buf.data(), buf.data(), 4);
        ASSERT_NE(b.mGainCur, b.mGain);
        b.setupParam<kEqBuildLibrary>(3.0, 1000.0, 0.7, kFs, c.newType);
        EXPECT_EQ(b.mGainChanging, c.expect) << c.type << " " << c.shelfLo << " -> " << c.newType;
    }

    // reCalcCoef: only a gliding high shelf starts the status.
    for (bool shelfLo : {true, false}) {
        peakEq b;
        setBand(b, 0.0, 1000.0, kEqShelf, shelfLo);
        b.setupParam<kEqBuildLibrary>(6.0, 1000.0, 0.7, kFs, kEqShelf);
        std::vector<double> buf(8, 0.1);
        b.procEq<kEqBuildLibrary>(buf.data(), buf.data(), 4);
        b.reCalcCoef<kEqBuildLibrary>(44100.0);
        EXPECT_EQ(b.mGainChanging, !shelfLo);
        EXPECT_EQ(b.mGainCur, 6.0);
    }
}

}  // namespace
