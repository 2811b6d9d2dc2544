#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "dsp/qmf.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Stereo sine; the right lane is the left one at a different level so that
// crossed lanes would show.
std::vector<double> stereoSine(int frames, double cyclesPerSample, int offset = 0) {
    std::vector<double> v(2 * frames);
    for (int i = 0; i < frames; ++i) {
        const double s = std::sin(2.0 * kPi * cyclesPerSample * (i + offset));
        v[2 * i] = 0.5 * s;
        v[2 * i + 1] = -0.25 * s;
    }
    return v;
}

double rms(const double *v, int frames, int lane) {
    double p = 0.0;
    for (int i = 0; i < frames; ++i) p += v[2 * i + lane] * v[2 * i + lane];
    return std::sqrt(p / frames);
}

struct Bank {
    std::unique_ptr<ClassQMF> qmf = std::make_unique<ClassQMF>();
    std::vector<std::vector<double>> store;
    std::vector<double *> bands;

    Bank(int n, int frames) {
        EXPECT_EQ(qmf->setBranches(n), kQmfOk);
        EXPECT_EQ(qmf->setDecimFirParam(0, 51, nullptr, nullptr, 1.0, 48000.0, 12000.0, 1.0), kQmfOk);
        store.resize(n + 1);
        for (int b = 0; b <= n; ++b) {
            store[b].assign(2 * frames, 0.0);
            bands.push_back(store[b].data());
        }
    }
};

}  // namespace

TEST(FilterBank, DesignIsWindowedSincWithMirroredHighPass) {
    ClassQMF qmf;
    EXPECT_EQ(qmf.getTapCount(), 31);
    EXPECT_EQ(qmf.getSampleRate(), 44100.0);
    EXPECT_EQ(qmf.getCutOff(), 22050.0);

    std::vector<double> lp(2 * 51), hp(2 * 51);
    ASSERT_EQ(qmf.setDecimFirParam(0, 51, lp.data(), hp.data(), 2.0, 48000.0, 12000.0, 0.5), kQmfOk);
    EXPECT_EQ(qmf.getFilterLength(), 51);
    // Centre tap 2 g fc / fs with g = 2 * 0.5.
    EXPECT_DOUBLE_EQ(lp[2 * 25], 0.5);
    double dc = 0.0, alternating = 0.0;
    for (int i = 0; i < 51; ++i) {
        EXPECT_EQ(lp[2 * i], lp[2 * i + 1]);
        EXPECT_EQ(hp[2 * i], (i & 1) ? -lp[2 * i] : lp[2 * i]) << i;
        EXPECT_DOUBLE_EQ(lp[2 * i], lp[2 * (50 - i)]);  // linear phase
        dc += lp[2 * i];
        alternating += (i & 1) ? -lp[2 * i] : lp[2 * i];
    }
    EXPECT_NEAR(dc, 1.0, 1e-3);
    EXPECT_NEAR(alternating, 0.0, 1e-3);
    // k = 1: sin(pi/2)/pi times the window at 1/51.
    const double w1 = 0.35875 + 0.48829 * std::cos(2 * kPi / 51) + 0.14128 * std::cos(4 * kPi / 51) +
                      0.01168 * std::cos(6 * kPi / 51);
    EXPECT_NEAR(lp[2 * 26], 1.0 / kPi * w1, 1e-15);

    EXPECT_EQ(qmf.setDecimFirParam(0, 0, nullptr, nullptr, 1, 48000, 12000, 1), kQmfErrRange);
    EXPECT_EQ(qmf.setDecimFirParam(0, 128, nullptr, nullptr, 1, 48000, 12000, 1), kQmfErrRange);
    EXPECT_EQ(qmf.setDecimFirParam(0, 51, nullptr, nullptr, 1, 0.0, 12000, 1), kQmfErrRange);
    EXPECT_EQ(qmf.getFilterLength(), 51);
}

TEST(FilterBank, BandDelaysLineUpWithTheDeepestBand) {
    ClassQMF qmf;
    ASSERT_EQ(qmf.setBranches(3), kQmfOk);
    // Computed for the construction's 31 taps, then again for 51.
    EXPECT_EQ(qmf.getBandDelay(0), 30 * 3);
    ASSERT_EQ(qmf.setDecimFirParam(0, 51, nullptr, nullptr, 1, 48000, 12000, 1), kQmfOk);
    EXPECT_EQ(qmf.getBandDelay(0), 50 * 3);
    EXPECT_EQ(qmf.getBandDelay(1), 50 * 1);
    EXPECT_EQ(qmf.getBandDelay(2), 0);
    EXPECT_EQ(qmf.getBandDelay(3), 0);
    ASSERT_EQ(qmf.setBranches(8), kQmfOk);
    EXPECT_EQ(qmf.getBandDelay(0), 50 * 127);
    EXPECT_EQ(qmf.setBranches(9), kQmfErrRange);
    EXPECT_EQ(qmf.setBranches(-1), kQmfErrRange);
}

// A tone well inside one band lands in that band only, and the synthesis
// gives it back delayed by the cascade's total delay, over calls of any
// allowed size.
TEST(FilterBank, TonesAwayFromCrossoversSplitAndRebuild) {
    const int n = 3;
    const int frames = 4096;
    const int calls = 6;
    const int totalDelay = 50 * ((1 << n) - 1);
    struct Row {
        double freq;
        int band;
    };  // cycles per input sample
    const Row rows[] = {
        {0.375, 0},
        {0.1875, 1},
        {0.09, 2},
        {0.025, 3},
    };
    for (const Row &r : rows) {
        Bank bank(n, frames);
        std::vector<double> out(2 * frames);
        for (int c = 0; c < calls; ++c) {
            const std::vector<double> in = stereoSine(frames, r.freq, c * frames);
            ASSERT_EQ(bank.qmf->analyze(bank.bands.data(), in.data(), frames, n), kQmfOk);
            ASSERT_EQ(bank.qmf->synthesize(out.data(), bank.bands.data(), frames, n), kQmfOk);
            if (c < calls - 1) continue;
            for (int b = 0; b <= n; ++b) {
                const int len = frames >> (b < n ? b + 1 : n);
                const double level = rms(bank.bands[b], len, 0);
                if (b == r.band) {
                    EXPECT_GT(level, 0.2) << "freq " << r.freq << " band " << b;
                } else {
                    EXPECT_LT(level, 1e-3) << "freq " << r.freq << " band " << b;
                }
            }
            const std::vector<double> expect = stereoSine(frames, r.freq, c * frames - totalDelay);
            double err = 0.0;
            for (int i = 0; i < 2 * frames; ++i) err = std::max(err, std::fabs(out[i] - expect[i]));
            EXPECT_LT(err, 2e-3) << "freq " << r.freq;
        }
    }
}

TEST(FilterBank, SwitchesSilenceBandsAndTheWhole) {
    const int n = 2;
    const int frames = 2048;
    // Two tones, one in band 0 and one in band 2.
    std::vector<double> in = stereoSine(frames, 0.375);
    const std::vector<double> low = stereoSine(frames, 0.04);
    for (size_t i = 0; i < in.size(); ++i) in[i] += low[i];

    struct Row {
        int band;
        double outRmsMax;
        double outRmsMin;
    };
    const Row rows[] = {
        {0, 0.5 / std::sqrt(2.0) + 0.01, 0.3},  // only the low tone left
        {2, 0.5 / std::sqrt(2.0) + 0.01, 0.3},  // only the high tone left
        {15, 0.0, 0.0},                         // master switch: silence
    };
    for (const Row &r : rows) {
        Bank bank(n, frames);
        bank.qmf->switchBank(r.band, false);
        std::vector<double> out(2 * frames, 9.0);
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(bank.qmf->analyze(bank.bands.data(), in.data(), frames, n), kQmfOk);
            ASSERT_EQ(bank.qmf->synthesize(out.data(), bank.bands.data(), frames, n), kQmfOk);
        }
        const double level = rms(out.data() + frames, frames / 2, 0);
        EXPECT_LE(level, r.outRmsMax) << "switch " << r.band;
        EXPECT_GE(level, r.outRmsMin) << "switch " << r.band;
        if (r.band == 15) {
            for (double v : out) EXPECT_EQ(v, 0.0);
        }
    }
}

TEST(FilterBank, RefusesBadCalls) {
    Bank bank(3, 1024);
    std::vector<double> in(2 * 1024, 0.1), out(2 * 1024);
    EXPECT_EQ(bank.qmf->analyze(bank.bands.data(), in.data(), 1020, 3), kQmfErrRange);  // not a multiple of 8
    EXPECT_EQ(bank.qmf->analyze(bank.bands.data(), in.data(), kQmfMaxFrames + 8, 3), kQmfErrRange);
    EXPECT_EQ(bank.qmf->analyze(bank.bands.data(), in.data(), 1024, 9), kQmfErrRange);
    EXPECT_EQ(bank.qmf->synthesize(out.data(), bank.bands.data(), 1024, -1), kQmfErrRange);
    EXPECT_EQ(bank.qmf->analyze(bank.bands.data(), in.data(), 0, 3), kQmfOk);
    // No splits: the only band is the input itself.
    std::vector<double> b0(2 * 1024);
    double *one[1] = {b0.data()};
    ASSERT_EQ(bank.qmf->analyze(one, in.data(), 1024, 0), kQmfOk);
    ASSERT_EQ(bank.qmf->synthesize(out.data(), one, 1024, 0), kQmfOk);
    EXPECT_EQ(out, in);
}
