// Quality of real conversions, measured outside the code path by numpy
// (tests/morphex/updownconv_quality.py): the plan's filter is designed,
// the signal runs block by block as the engine feeds it, and the output's
// level and THD+N are measured.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dsp/dsm5th.h"
#include "morphex/decimfir.h"
#include "morphex/rateplan.h"
#include "morphex/updownconv.h"
#include "support/rateplanjob.h"
#include "support/testutil.h"
#include "support/tools.h"

namespace {

// The two channels get different sines, so that a lost, swapped or
// mis-scaled channel shows.
const double kAmp[2] = {0.5, 0.25};
const double kFreq[2] = {1000.0, 1500.0};

// Writes lane `lane` of `frames` and returns level and THD+N in dB.
bool measure(const std::vector<double> &frames, int lane, double rate, double freq, double *levelDb, double *thdnDb) {
    sxtest::TempDir dir;
    const std::string path = dir.file("lane.f64");
    std::vector<double> left(frames.size() / 2);
    for (size_t k = 0; k < left.size(); ++k) left[k] = frames[2 * k + lane];
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(left.data(), sizeof(double), left.size(), f) == left.size();
    std::fclose(f);
    if (!ok) return false;
    int status = -1;
    const std::string out = sxtest::commandOutput(sxtest::pythonScript("tests/morphex/updownconv_quality.py") + " " +
                                                      path + " " + std::to_string(rate) + " " + std::to_string(freq),
                                                  &status);
    return status == 0 && std::sscanf(out.c_str(), "%lf %lf", levelDb, thdnDb) == 2;
}

using sxtest::designFor;

tRatePlan plan(uint32_t in, uint32_t out, uint32_t srcType) {
    tRatePlan p;
    EXPECT_EQ(ratePlanMake(sxtest::stereoPcmJob(in, out, srcType, 32, 1 << 30, int64_t(1) << 31), &p), kRatePlanOk);
    return p;
}

TEST(UpDownConvQuality, PcmRateChangesKeepLevelAndThdn) {
    const struct {
        uint32_t in, out;
        int taps;
        double maxThdn[2];  // a few dB over what each channel measures
    } rows[] = {
        {44100, 48000, 4095, {-125.0, -121.0}},  // -128.4 and -124.9 dB
        {96000, 44100, 8191, {-130.0, -128.0}},  // -132.9 and -131.3 dB
    };
    for (const auto &row : rows) {
        const tRatePlan p = plan(row.in, row.out, 0);
        ASSERT_EQ(p.taps, row.taps);
        const std::vector<double> coef = designFor(p);
        // About 2.1 s of output; the pre-roll lies before the first frame
        // and the tail covers the last block's filter.
        const int blocks = int(2.1 * row.out / p.outBlockFrames) + 1;
        const size_t frames = size_t(blocks) * p.inBlockFrames + p.taps / p.up + 2;
        std::vector<double> in(2 * (p.preRoll + frames), 0.0);
        for (size_t k = 0; k < frames; ++k)
            for (int c = 0; c < 2; ++c)
                in[2 * (p.preRoll + k) + c] = kAmp[c] * std::sin(2 * M_PI * kFreq[c] * double(k) / row.in);
        CUpDownConv conv;
        ASSERT_EQ(conv.prepareFilter(coef.data(), p.taps, p.up, false, p.down), kUpDownOk);
        std::vector<double> out(2 * size_t(blocks) * p.outBlockFrames, 0.0);
        for (int b = 0; b < blocks; ++b) {
            tDownConvertParams d;
            d.output = out.data() + 2 * size_t(b) * p.outBlockFrames;
            d.input = in.data() + 2 * size_t(b) * p.inBlockFrames;
            d.count = int(p.outBlockFrames);
            d.inRate = row.in;
            d.outRate = row.out;
            d.commonRate = p.commonRate;
            d.coefficients = coef.data();
            d.taps = p.taps;
            ASSERT_EQ(conv.gAudio_downconvert(&d), kUpDownOk);
        }
        for (int c = 0; c < 2; ++c) {
            double level = 0, thdn = 0;
            ASSERT_TRUE(measure(out, c, row.out, kFreq[c], &level, &thdn));
            std::printf("%u -> %u Hz, channel %d: level %.4f dB, THD+N %.2f dB\n", row.in, row.out, c, level, thdn);
            EXPECT_NEAR(level, 20 * std::log10(kAmp[c]), 0.01) << row.in << " channel " << c;
            EXPECT_LE(thdn, row.maxThdn[c]) << row.in << " channel " << c;
        }
    }
}

TEST(UpDownConvQuality, Dsd64SineDecimatedTo44k1KeepsItsLevel) {
    const tRatePlan p = plan(2822400, 44100, 2);
    ASSERT_EQ(p.taps, 2047);
    const std::vector<double> coef = designFor(p);
    const int blocks = 12;  // 0.8 s
    const size_t samples = size_t(blocks) * p.inBlockFrames + p.taps + 64;
    const uint32_t chunk = 8192;
    const size_t total = (samples + chunk - 1) / chunk * chunk;

    // A -6 dBFS sine in the library's PCM scale (full scale 2^54) through
    // the library's modulator.
    classDsm5th mod;
    mod.initDsm5thIntegrators(2822400);
    const double vol[2] = {0, 0};
    std::vector<uint8_t> l(total / 8 + 8), r(total / 8 + 8);
    std::vector<double> pcm(2 * chunk);
    for (size_t t = 0; t < total; t += chunk) {
        for (uint32_t i = 0; i < chunk; ++i)
            for (int c = 0; c < 2; ++c)
                pcm[2 * i + c] =
                    kAmp[c] * 18014398509481984.0 * std::sin(2 * M_PI * kFreq[c] * double(t + i) / 2822400.0);
        uint8_t *o[2] = {l.data() + t / 8, r.data() + t / 8};
        mod.dsm5th(o, pcm.data(), chunk, 0, vol);
    }

    CUpDownConv conv;
    ASSERT_EQ(conv.prepareFilter(coef.data(), p.taps, p.up, true), kUpDownOk);
    std::vector<double> out(2 * size_t(blocks) * p.outBlockFrames, 0.0);
    for (int b = 0; b < blocks; ++b) {
        const uint8_t *dsd[2] = {l.data() + size_t(b) * p.inBlockFrames / 8,
                                 r.data() + size_t(b) * p.inBlockFrames / 8};
        tDownConvertParams d;
        d.output = out.data() + 2 * size_t(b) * p.outBlockFrames;
        d.count = int(p.outBlockFrames);
        d.inRate = 2822400;
        d.outRate = 44100;
        d.commonRate = p.commonRate;
        d.coefficients = coef.data();
        d.taps = p.taps;
        d.dsd = dsd;
        ASSERT_EQ(conv.gAudio_downconvert(&d), kUpDownOk);
    }
    // Bits are +-2, so a sine of a times the PCM full scale decimates to a.
    for (int c = 0; c < 2; ++c) {
        double level = 0, thdn = 0;
        ASSERT_TRUE(measure(out, c, 44100, kFreq[c], &level, &thdn));
        std::printf("DSD64 -> 44.1 kHz, channel %d: level %.4f dB, THD+N %.2f dB\n", c, level, thdn);
        EXPECT_NEAR(level, 20 * std::log10(kAmp[c]), 0.05) << "channel " << c;
        // A few dB over what each channel measures (-100.2 and -94.6 dB).
        EXPECT_LE(thdn, c == 0 ? -97.0 : -91.0) << "channel " << c;
    }
}

}  // namespace
