// Quality of the modulated stream, measured outside the code path: a 1 kHz
// sine is modulated, written as raw bits and measured by numpy after a
// 20 kHz low-pass (tests/dsp/dsm5th_quality.py).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "dsp/dsm5th.h"
#include "support/testutil.h"
#include "support/tools.h"

namespace {

// Level (dB re one bit) and in-band SNR of channel 0.
bool measure(int32_t rate, double amplitude, double *levelDb, double *snrDb) {
    sxtest::TempDir dir;
    const std::string path = dir.file("bits.raw");
    classDsm5thApp m;
    m.initDsm5thIntegrators(rate);
    const uint32_t block = 8192;
    const size_t total = static_cast<size_t>(rate) / 2;  // half a second
    std::vector<double> in(2 * block);
    std::vector<uint8_t> o0(block / 8), o1(block / 8), all;
    uint8_t *out[2] = {o0.data(), o1.data()};
    const double vol[2] = {0, 0};
    for (size_t t = 0; t < total; t += block) {
        for (uint32_t i = 0; i < block; ++i) {
            const double v = amplitude * std::sin(2 * M_PI * 1000.0 * double(t + i) / rate);
            in[2 * i] = in[2 * i + 1] = v;
        }
        m.dsm5th(out, in.data(), block, 0, vol);
        all.insert(all.end(), o0.begin(), o0.end());
    }
    sxtest::writeAll(path, all);
    int status = -1;
    const std::string printed = sxtest::commandOutput(
        sxtest::pythonScript("tests/dsp/dsm5th_quality.py") + " " + path + " " + std::to_string(rate) + " 1000",
        &status);
    return status == 0 && std::sscanf(printed.c_str(), "%lf %lf", levelDb, snrDb) == 2;
}

TEST(Dsm5thQuality, SineLevelAndInBandSnr) {
    const double k2To54 = 18014398509481984.0;
    const struct {
        int32_t rate;
        double amplitude;  // in units of 2^54, the library's PCM full scale
        double minSnr;
    } rows[] = {
        {2822400, 0.5, 85}, {5644800, 0.5, 85}, {11289600, 0.5, 85},
        // 0 dBFS: the four-level stage engages and the SNR falls by design.
        {2822400, 1.0, 40}, {5644800, 1.0, 40}, {11289600, 1.0, 40},
    };
    for (const auto &r : rows) {
        double level = 0, snr = 0;
        ASSERT_TRUE(measure(r.rate, r.amplitude * k2To54, &level, &snr)) << r.rate;
        // One bit is 2^55, so a sine of a x 2^54 has amplitude a / 2 of a bit.
        const double want = 20 * std::log10(r.amplitude / 2);
        std::printf("rate %d, programme %+.1f dBFS: level %.3f dB (expected %.3f), SNR %.2f dB\n",
                    r.rate, 20 * std::log10(r.amplitude), level, want, snr);
        EXPECT_NEAR(level, want, 0.05) << r.rate;
        EXPECT_GT(snr, r.minSnr) << r.rate;
    }
}

}  // namespace
