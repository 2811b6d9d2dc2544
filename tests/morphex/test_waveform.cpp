// Waveform overviews of WAV, DSF and DSDIFF files, checked against a numpy
// reference that reads the same files (waveform_ref.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "audiogen.h"
#include "morphex/decimfir.h"
#include "morphex/waveform.h"
#include "testutil.h"
#include "tools.h"

namespace {

struct Overview {
    std::vector<int64_t> counts;
    std::vector<std::unique_ptr<double[]>> mx, mn;
    std::vector<double *> pmx, pmn;
    explicit Overview(std::vector<int64_t> c) : counts(std::move(c)) {
        for (int64_t n : counts) {
            // Exactly count stereo points per level: ASan sees any write past them.
            mx.emplace_back(new double[2 * n]);
            mn.emplace_back(new double[2 * n]);
            std::fill(mx.back().get(), mx.back().get() + 2 * n, -99.0);
            std::fill(mn.back().get(), mn.back().get() + 2 * n, -99.0);
            pmx.push_back(mx.back().get());
            pmn.push_back(mn.back().get());
        }
    }
    int run(const std::string &path, int64_t start, int64_t end, const uint8_t *abort = nullptr,
            int64_t *progress = nullptr) {
        return audioWaveForm(sxtest::u16(path).data(), start, end, counts.data(), pmx.data(), pmn.data(), abort,
                             progress, static_cast<int>(counts.size()));
    }
    double max(int level, int64_t i, int c) const { return mx[level][2 * i + c]; }
    double min(int level, int64_t i, int c) const { return mn[level][2 * i + c]; }
};

// Runs the numpy reference over the same file and the results.
void expectMatchesNumpy(const sxtest::TempDir &dir, const std::string &path, int64_t start, int64_t end,
                        const Overview &ov) {
    const std::string results = dir.file("results.bin");
    {
        std::ofstream out(results, std::ios::binary);
        for (size_t j = 0; j < ov.counts.size(); ++j) {
            out.write(reinterpret_cast<const char *>(ov.mx[j].get()), 16 * ov.counts[j]);
            out.write(reinterpret_cast<const char *>(ov.mn[j].get()), 16 * ov.counts[j]);
        }
    }
    std::string counts;
    for (int64_t c : ov.counts) counts += (counts.empty() ? "" : ",") + std::to_string(c);
    ASSERT_NE(std::getenv("SONVEX_SOURCE_DIR"), nullptr);
    const std::string cmd = sxtest::pythonScript("tests/morphex/waveform_ref.py") + " '" + path + "' " +
                            std::to_string(start) + " " + std::to_string(end) + " " + counts + " '" + results + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

std::vector<int32_t> squareWave(size_t frames, int channels, int period) {
    std::vector<int32_t> s;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) s.push_back((i % period) < size_t(period / 2) ? 32767 : -32768);
    return s;
}

}  // namespace

TEST(WaveForm, Pcm16SquareWaveOnThreeLevels) {
    sxtest::TempDir dir;
    const std::string path = dir.file("sq.wav");
    ASSERT_TRUE(sxtest::writeAll(path, sxgen::wav(48000, 16, 2, squareWave(48000, 2, 20))));
    Overview ov({10, 100, 1000});
    int64_t progress = -1;
    ASSERT_EQ(ov.run(path, 0, INT64_MAX, nullptr, &progress), 1000);
    EXPECT_EQ(progress, 10);
    for (int level = 0; level < 3; ++level) {
        for (int64_t i = 0; i < ov.counts[level]; ++i) {
            for (int c = 0; c < 2; ++c) {
                EXPECT_EQ(ov.max(level, i, c), 0.8 * (32767.0 / 32768.0));
                EXPECT_EQ(ov.min(level, i, c), -0.8);
            }
        }
    }
    expectMatchesNumpy(dir, path, 0, INT64_MAX, ov);
}

TEST(WaveForm, PcmSilencePositiveOnlyAndRanges) {
    sxtest::TempDir dir;
    // Mono 24-bit: silence, then positive samples only, then noise.
    std::vector<int32_t> s(30000, 0);
    for (size_t i = 10000; i < 20000; ++i) s[i] = static_cast<int32_t>(i * 97 % 8388607);
    const auto noise = sxgen::noiseBytes(10000, 7);
    for (size_t i = 20000; i < 30000; ++i) s[i] = (static_cast<int32_t>(noise[i - 20000]) - 128) * 32768;
    const std::string path = dir.file("m24.wav");
    ASSERT_TRUE(sxtest::writeAll(path, sxgen::wav(96000, 24, 1, s)));

    Overview ov({3, 30});
    ASSERT_EQ(ov.run(path, 0, 30000), 30);
    EXPECT_EQ(ov.max(1, 0, 0), 0.0);  // silent stretch
    EXPECT_EQ(ov.min(1, 0, 0), 0.0);
    EXPECT_GT(ov.max(1, 15, 0), 0.0);  // positive samples only
    EXPECT_EQ(ov.min(1, 15, 0), 0.0);
    EXPECT_EQ(ov.max(1, 15, 1), 0.0);  // mono: right stays 0
    expectMatchesNumpy(dir, path, 0, 30000, ov);

    // A range inside the file, and an end beyond it (cut to the file).
    Overview part({7, 70});
    ASSERT_EQ(part.run(path, 12345, 1000000), 70);
    expectMatchesNumpy(dir, path, 12345, 1000000, part);
}

TEST(WaveForm, LevelThatDoesNotDivideStopsAtItsCount) {
    sxtest::TempDir dir;
    const std::string path = dir.file("sq.wav");
    ASSERT_TRUE(sxtest::writeAll(path, sxgen::wav(44100, 16, 2, squareWave(1000, 2, 10))));
    // 10 / 4 = 2 finest points per level-0 point would make five of them.
    Overview ov({4, 10});
    int64_t progress = 0;
    ASSERT_EQ(ov.run(path, 0, INT64_MAX, nullptr, &progress), 10);
    EXPECT_EQ(progress, 4);
    EXPECT_EQ(ov.max(0, 3, 0), 0.8 * (32767.0 / 32768.0));
    // A level with more points than the last one receives nothing.
    Overview odd({20, 10});
    ASSERT_EQ(odd.run(path, 0, INT64_MAX), 10);
    EXPECT_EQ(odd.max(0, 0, 0), -99.0);
}

TEST(WaveForm, DsdThroughTheLowPass) {
    sxtest::TempDir dir;
    const size_t bytes = 20000;  // per channel: several DSF block groups
    std::vector<std::vector<uint8_t>> stereo = {sxgen::noiseBytes(bytes, 3), sxgen::noiseBytes(bytes, 5)};
    // A stretch of all ones on the left: the filter's output approaches its DC gain.
    std::fill(stereo[0].begin() + 8000, stereo[0].begin() + 12000, 0xFF);
    const std::string dsfPath = dir.file("n.dsf");
    const std::string dffPath = dir.file("n.dff");
    ASSERT_TRUE(sxtest::writeAll(dsfPath, sxgen::dsf(2822400, stereo)));
    ASSERT_TRUE(sxtest::writeAll(dffPath, sxgen::dsdiff(2822400, stereo)));

    for (const std::string &path : {dffPath, dsfPath}) {
        SCOPED_TRACE(path);
        Overview ov({5, 50});
        int64_t progress = 0;
        ASSERT_EQ(ov.run(path, 0, INT64_MAX, nullptr, &progress), 50);
        EXPECT_EQ(progress, 5);
        EXPECT_NEAR(ov.max(1, 25, 0), 1.6, 0.05);
        expectMatchesNumpy(dir, path, 0, INT64_MAX, ov);
        Overview part({3, 9});
        ASSERT_EQ(part.run(path, 1001, 150001), 9);
        expectMatchesNumpy(dir, path, 1001, 150001, part);
    }

    const std::string mono = dir.file("m.dsf");
    ASSERT_TRUE(sxtest::writeAll(mono, sxgen::dsf(5644800, {sxgen::noiseBytes(9000, 11)})));
    Overview ov({1, 8});
    ASSERT_EQ(ov.run(mono, 0, INT64_MAX), 8);
    EXPECT_EQ(ov.max(1, 3, 1), 0.0);
    expectMatchesNumpy(dir, mono, 0, INT64_MAX, ov);
}

// The vector kernels add each value's 31 terms in the plain order, so their
// extremes must be the plain loop's doubles bit for bit: for every length
// around the group sizes (the values of a partial last group count, those
// behind it must not), one and two channels, merged into earlier extremes,
// with any bytes in the tail the kernels may read. Buffers are exactly
// bytes + kWaveFormDsdTail long, so ASan sees a read past them.
TEST(WaveForm, DsdKernelsGiveThePlainSums) {
    double tables[32 * 256];
    gAudio_setMeterFirParam(2822400, 2822400 * 0.015625, 255, tables);
    const auto noise = sxgen::noiseBytes(70000, 17);
    std::vector<uint32_t> lengths;
    for (uint32_t n = 0; n <= 80; ++n) lengths.push_back(n);
    for (uint32_t n : {255u, 256u, 1001u, 4096u, 4099u, 65537u}) lengths.push_back(n);

    for (int kernel : {kWaveFormDsdSse2, kWaveFormDsdBest, kWaveFormDsdAvx2}) {
        for (uint32_t n : lengths) {
            for (int variant = 0; variant < 4; ++variant) {
                SCOPED_TRACE("kernel " + std::to_string(kernel) + " bytes " + std::to_string(n) + " variant " +
                             std::to_string(variant));
                std::vector<uint8_t> l(n + kWaveFormDsdTail), r(n + kWaveFormDsdTail);
                for (size_t k = 0; k < l.size(); ++k) {
                    l[k] = noise[(k + 31 * n) % noise.size()];
                    r[k] = noise[(k * 3 + 7 + n) % noise.size()];
                }
                // Runs of ones and zeros drive the sums to both extremes;
                // the tail holds what the values in range never see.
                if (variant == 1)
                    std::fill(l.begin(), l.begin() + n / 2, 0xFF), std::fill(r.begin() + n / 2, r.end(), 0x00);
                if (variant == 2) std::fill(l.begin() + n, l.end(), 0xFF), std::fill(r.begin() + n, r.end(), 0x00);
                const int channels = variant == 3 ? 1 : 2;
                const double start = (n % 3 == 0) ? 0.3 : 0.0;  // earlier extremes that may win
                double pmx[2] = {start, start}, pmn[2] = {-start, -start};
                double kmx[2] = {start, start}, kmn[2] = {-start, -start};
                ASSERT_EQ(0, waveFormDsdExtremes(kWaveFormDsdPlain, tables, l.data(), r.data(), channels, n, pmx, pmn));
                const int rc = waveFormDsdExtremes(kernel, tables, l.data(), r.data(), channels, n, kmx, kmn);
                if (rc == kWaveFormErrPcm && kernel == kWaveFormDsdAvx2) GTEST_SKIP() << "no AVX2 here";
                ASSERT_EQ(0, rc);
                EXPECT_EQ(0, std::memcmp(pmx, kmx, sizeof pmx))
                    << pmx[0] << " " << kmx[0] << " " << pmx[1] << " " << kmx[1];
                EXPECT_EQ(0, std::memcmp(pmn, kmn, sizeof pmn))
                    << pmn[0] << " " << kmn[0] << " " << pmn[1] << " " << kmn[1];
            }
        }
    }
    double mx[2] = {0, 0}, mn[2] = {0, 0};
    const uint8_t bytes[40] = {};
    EXPECT_EQ(kWaveFormErrPcm, waveFormDsdExtremes(99, tables, bytes, bytes, 2, 0, mx, mn));
    EXPECT_EQ(kWaveFormErrPcm, waveFormDsdExtremes(kWaveFormDsdBest, tables, bytes, nullptr, 2, 0, mx, mn));
}

TEST(WaveForm, AbortAndFailures) {
    sxtest::TempDir dir;
    const std::string path = dir.file("sq.wav");
    ASSERT_TRUE(sxtest::writeAll(path, sxgen::wav(48000, 16, 2, squareWave(4800, 2, 100))));
    Overview ov({10});
    const uint8_t abortSet = 1;
    int64_t progress = 0;
    EXPECT_EQ(ov.run(path, 0, INT64_MAX, &abortSet, &progress), kWaveFormAborted);
    EXPECT_EQ(progress, 0);

    EXPECT_EQ(ov.run(dir.file("missing.wav"), 0, INT64_MAX), kWaveFormErrOpen);
    const std::string junk = dir.file("junk.wav");
    ASSERT_TRUE(sxtest::writeAll(junk, std::vector<uint8_t>(100, 0x41)));
    EXPECT_EQ(ov.run(junk, 0, INT64_MAX), kWaveFormErrHeader);
    // An 8-bit WAV is not a word length the unpacker takes.
    const std::string w8 = dir.file("w8.wav");
    auto bytes = sxgen::wav(8000, 16, 1, std::vector<int32_t>(100, 0));
    bytes[34] = 8;  // bits per sample
    bytes[32] = 1;  // block align
    ASSERT_TRUE(sxtest::writeAll(w8, bytes));
    const int r8 = ov.run(w8, 0, INT64_MAX);
    EXPECT_TRUE(r8 == kWaveFormErrPcm || r8 == kWaveFormErrFmt) << r8;

    Overview none({0});
    EXPECT_EQ(none.run(path, 0, INT64_MAX), 0);
    Overview tooMany({1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(tooMany.run(path, 0, INT64_MAX), kWaveFormErrPcm);
}

// Files longer than the stretch the overview keeps in memory at once: the
// points whose pieces cross from one stretch into the next, and the last
// ones, which reach the end of the audio, read what a piece-by-piece read
// would. The material rises (falls on the right) all the way, so every
// point's extremes come from its first and last samples and a piece that
// lost its tail would show. A 24-bit stereo WAV (its word loads reach a
// byte past a piece), and a stereo DSF and DSDIFF whose density of ones
// grows.
TEST(WaveForm, FilesLongerThanTheReadStretch) {
    sxtest::TempDir dir;
    const size_t frames = 1800000;  // 10.8 MB at 6 bytes a frame
    std::vector<int32_t> s(2 * frames);
    for (size_t i = 0; i < frames; ++i) {
        s[2 * i] = -8000000 + int32_t(i) * 8;
        s[2 * i + 1] = -s[2 * i];
    }
    const std::string wavPath = dir.file("long24.wav");
    ASSERT_TRUE(sxtest::writeAll(wavPath, sxgen::wav(96000, 24, 2, s)));
    Overview pcm({7, 7000});
    ASSERT_EQ(pcm.run(wavPath, 0, INT64_MAX), 7000);
    expectMatchesNumpy(dir, wavPath, 0, INT64_MAX, pcm);

    const size_t bytes = 4700000;  // per channel: 9.4 MB of audio
    std::vector<std::vector<uint8_t>> stereo(2, std::vector<uint8_t>(bytes));
    const auto noise = sxgen::noiseBytes(bytes, 29);
    for (size_t j = 0; j < bytes; ++j) {
        // 0 to 8 ones a byte, more of them further on, dithered by the noise.
        const int ones = std::min<int>(8, int((j * 9 + noise[j]) / bytes));
        stereo[0][j] = uint8_t(0xFF00u >> ones);
        stereo[1][j] = uint8_t(~stereo[0][j]);
    }
    const std::string dsfPath = dir.file("long.dsf");
    const std::string dffPath = dir.file("long.dff");
    ASSERT_TRUE(sxtest::writeAll(dsfPath, sxgen::dsf(2822400, stereo)));
    ASSERT_TRUE(sxtest::writeAll(dffPath, sxgen::dsdiff(2822400, stereo)));
    for (const std::string &path : {dsfPath, dffPath}) {
        SCOPED_TRACE(path);
        Overview dsd({3, 900});
        ASSERT_EQ(dsd.run(path, 0, INT64_MAX), 900);
        expectMatchesNumpy(dir, path, 0, INT64_MAX, dsd);
    }
}
