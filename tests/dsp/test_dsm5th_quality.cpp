// Quality of the modulated stream, measured outside the code path: a 1 kHz
// sine on the left and a 2 kHz one on the right are modulated, written as
// raw bits and measured channel by channel by numpy after a 20 kHz low-pass
// (tests/dsp/dsm5th_quality.py).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "dsp/dsm5th.h"
#include "support/testutil.h"
#include "support/tools.h"

namespace {

const double kSineHz[2] = {1000.0, 2000.0};

// Level (dB re one bit) and in-band SNR of each channel.
bool measure(int32_t rate, double amplitude, double levelDb[2], double snrDb[2]) {
    sxtest::TempDir dir;
    classDsm5thApp m;
    m.initDsm5thIntegrators(rate);
    const uint32_t block = 8192;
    const size_t total = static_cast<size_t>(rate) / 2;  // half a second
    std::vector<double> in(2 * block);
    std::vector<uint8_t> o0(block / 8), o1(block / 8), all[2];
    uint8_t *out[2] = {o0.data(), o1.data()};
    const double vol[2] = {0, 0};
    for (size_t t = 0; t < total; t += block) {
        for (uint32_t i = 0; i < block; ++i)
            for (int c = 0; c < 2; ++c)
                in[2 * i + c] = amplitude * std::sin(2 * M_PI * kSineHz[c] * double(t + i) / rate);
        m.dsm5th(out, in.data(), block, 0, vol);
        all[0].insert(all[0].end(), o0.begin(), o0.end());
        all[1].insert(all[1].end(), o1.begin(), o1.end());
    }
    for (int c = 0; c < 2; ++c) {
        const std::string path = dir.file("bits" + std::to_string(c) + ".raw");
        sxtest::writeAll(path, all[c]);
        int status = -1;
        const std::string printed =
            sxtest::commandOutput(sxtest::pythonScript("tests/dsp/dsm5th_quality.py") + " " + path + " " +
                                      std::to_string(rate) + " " + std::to_string(int(kSineHz[c])),
                                  &status);
        if (status != 0 || std::sscanf(printed.c_str(), "%lf %lf", &levelDb[c], &snrDb[c]) != 2) return false;
    }
    return true;
}

TEST(Dsm5thQuality, SineLevelAndInBandSnr) {
    const double k2To54 = 18014398509481984.0;
    const struct {
        int32_t rate;
        double amplitude;  // in units of 2^54, the library's PCM full scale
        double minSnr;     // a few dB under what both channels measure
    } rows[] = {
        {2822400, 0.5, 95},
        {5644800, 0.5, 128},
        {11289600, 0.5, 160},
        // 0 dBFS: the four-level stage engages and the SNR falls by design.
        {2822400, 1.0, 52},
        {5644800, 1.0, 61},
        {11289600, 1.0, 63},
    };
    for (const auto &r : rows) {
        double level[2] = {0, 0}, snr[2] = {0, 0};
        ASSERT_TRUE(measure(r.rate, r.amplitude * k2To54, level, snr)) << r.rate;
        // One bit is 2^55, so a sine of a x 2^54 has amplitude a / 2 of a bit.
        const double want = 20 * std::log10(r.amplitude / 2);
        for (int c = 0; c < 2; ++c) {
            std::printf("rate %d, channel %d, programme %+.1f dBFS: level %.3f dB (expected %.3f), SNR %.2f dB\n",
                        r.rate, c, 20 * std::log10(r.amplitude), level[c], want, snr[c]);
            EXPECT_NEAR(level[c], want, 0.05) << r.rate << " channel " << c;
            EXPECT_GT(snr[c], r.minSnr) << r.rate << " channel " << c;
        }
    }
}

}  // namespace
