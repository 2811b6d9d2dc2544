// Stereo radix-2 transform and the amplitude spectrum.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "morphex/classfft.h"
#include "support/testutil.h"

namespace {

constexpr double kPi = 3.141592653589793;

// One object with its caller-owned tables, prepared for analysis.
struct Analyzer {
    explicit Analyzer(int n = 16384) : fft(new classFFT) {
        if (n != fft->size()) {
            EXPECT_EQ(fft->changeFFTorder(n), kFftOk);
        }
        cosine.assign(2 * static_cast<size_t>(n), 0.0);
        sine.assign(2 * static_cast<size_t>(n), 0.0);
        bitrev.assign(static_cast<size_t>(n), 0);
        EXPECT_EQ(fft->initAnalyzingFFT(n, 44100, cosine.data(), sine.data(), bitrev.data()), 0);
        left.assign(static_cast<size_t>(n), 0.0);
        right.assign(static_cast<size_t>(n), 0.0);
    }
    int stages() const {
        int s = 0;
        while ((1 << s) < fft->size()) ++s;
        return s;
    }
    int analyze(const std::vector<double> &in) {
        return fft->analyzeFFT(0, stages(), left.data(), right.data(), in.data());
    }
    std::unique_ptr<classFFT> fft;
    std::vector<double> cosine, sine, left, right;
    std::vector<uint64_t> bitrev;
};

// Two-lane block: left = aL sin at bin kL, right = aR sin at bin kR.
std::vector<double> sines(int n, double aL, double kL, double aR, double kR) {
    std::vector<double> v(2 * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        v[2 * i] = aL * std::sin(2 * kPi * kL * i / n);
        v[2 * i + 1] = aR * std::sin(2 * kPi * kR * i / n);
    }
    return v;
}

TEST(ClassFFT, SizeChangesAreChecked) {
    classFFT f;
    EXPECT_EQ(f.size(), 16384);
    EXPECT_EQ(f.changeFFTorder(16384), kFftSameSize);
    // The window lives in the object and the transform is radix 2.
    EXPECT_EQ(f.changeFFTorder(32768), kFftBadSize);
    EXPECT_EQ(f.changeFFTorder(3000), kFftBadSize);
    EXPECT_EQ(f.changeFFTorder(0), kFftBadSize);
    EXPECT_EQ(f.size(), 16384);
    EXPECT_EQ(f.changeFFTorder(1024), kFftOk);
    EXPECT_EQ(f.size(), 1024);
}

TEST(ClassFFT, TablesAndWindow) {
    Analyzer a(1024);
    EXPECT_EQ(a.bitrev[1], 512u);
    EXPECT_EQ(a.bitrev[3], 768u);
    EXPECT_EQ(a.bitrev[1023], 1023u);
    EXPECT_DOUBLE_EQ(a.cosine[2 * 256], std::cos(2 * kPi * 256 / 1024));
    EXPECT_EQ(a.sine[2 * 100], a.sine[2 * 100 + 1]);
    EXPECT_EQ(a.fft->window()[0], 0.0);
    EXPECT_DOUBLE_EQ(a.fft->window()[2 * 512], 1.0);
}

// A sine of amplitude 1.0 centred on bin 1000 reads 0 dB there and on its
// mirror; the other lane carries another tone and stays independent.
TEST(ClassFFT, SineOnABinReadsZeroDecibels) {
    Analyzer a;
    ASSERT_EQ(a.analyze(sines(16384, 1.0, 1000, 0.5, 300)), 0);
    EXPECT_NEAR(a.left[1000], 0.0, 1e-9);
    EXPECT_NEAR(a.left[15384], 0.0, 1e-9);
    EXPECT_NEAR(a.left[999], -6.0206, 1e-3);  // Hann: neighbours at half amplitude
    EXPECT_NEAR(a.right[300], 20 * std::log10(0.5), 1e-9);
    EXPECT_LT(a.left[300], -200.0);
    EXPECT_LT(a.right[1000], -200.0);
}

TEST(ClassFFT, SilenceAndDc) {
    Analyzer a;
    std::vector<double> zero(2 * 16384, 0.0);
    ASSERT_EQ(a.analyze(zero), 0);
    for (int k = 0; k < 16384; ++k) {
        ASSERT_TRUE(std::isinf(a.left[k]) && a.left[k] < 0) << k;
        ASSERT_TRUE(std::isinf(a.right[k]) && a.right[k] < 0) << k;
    }
    std::vector<double> dc(2 * 16384, 0.5);
    ASSERT_EQ(a.analyze(dc), 0);
    EXPECT_NEAR(a.left[0], 0.0, 1e-9);  // 20 log10(4 / 16384 * 0.5 * 8192)
    EXPECT_NEAR(a.right[0], 0.0, 1e-9);
}

TEST(ClassFFT, SmallerSizeKeepsTheScaling) {
    Analyzer a(1024);
    ASSERT_EQ(a.analyze(sines(1024, 1.0, 10, 0.25, 100)), 0);
    EXPECT_NEAR(a.left[10], 0.0, 1e-9);
    EXPECT_NEAR(a.right[100], 20 * std::log10(0.25), 1e-9);
}

// The whole spectrum of a noisy stereo block against numpy's rfft with the
// same Hann window and scaling.
TEST(ClassFFT, MatchesNumpyRfft) {
    const int n = 16384;
    Analyzer a;
    std::mt19937_64 rng(11);
    std::normal_distribution<double> g(0.0, 0.1);
    std::vector<double> in = sines(n, 0.8, 1234.5, 0.3, 77);
    for (double &v : in) v += g(rng);
    ASSERT_EQ(a.analyze(in), 0);

    sxtest::TempDir dir;
    const std::string inPath = dir.file("in.f64"), outPath = dir.file("out.f64"), script = dir.file("ref.py");
    {
        FILE *f = std::fopen(inPath.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(in.data(), sizeof(double), in.size(), f), in.size());
        std::fclose(f);
    }
    const std::string py =
        "import sys, numpy as np\n"
        "x = np.fromfile(sys.argv[1], dtype='<f8').reshape(-1, 2)\n"
        "n = x.shape[0]\n"
        "w = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(n) / n)\n"
        "out = []\n"
        "for ch in range(2):\n"
        "    with np.errstate(divide='ignore'):\n"
        "        out.append(20 * np.log10(4.0 / n * np.abs(np.fft.rfft(x[:, ch] * w))))\n"
        "np.stack(out).astype('<f8').tofile(sys.argv[2])\n";
    ASSERT_TRUE(sxtest::writeAll(script, std::vector<uint8_t>(py.begin(), py.end())));
    const std::string cmd = "/usr/bin/python3 " + script + " " + inPath + " " + outPath;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "needs python3-numpy (scripts/deps)";
    const std::vector<uint8_t> raw = sxtest::readAll(outPath);
    const size_t bins = n / 2 + 1;
    ASSERT_EQ(raw.size(), 2 * bins * sizeof(double));
    std::vector<double> ref(2 * bins);
    std::memcpy(ref.data(), raw.data(), raw.size());
    for (size_t k = 0; k < bins; ++k) {
        ASSERT_NEAR(a.left[k], ref[k], 1e-7) << "left bin " << k;
        ASSERT_NEAR(a.right[k], ref[bins + k], 1e-7) << "right bin " << k;
    }
    // The upper half mirrors the lower.
    EXPECT_NEAR(a.left[n - 1234], a.left[1234], 1e-9);
}

// Naive DFT reference, per channel, in the decibels of analyzeFFT.
std::vector<double> naiveDb(const std::vector<double> &in, int n, int lane) {
    const long double twoPi = 2 * static_cast<long double>(kPi);
    std::vector<long double> c(static_cast<size_t>(n)), s(static_cast<size_t>(n)), x(c.size());
    for (int i = 0; i < n; ++i) {
        c[i] = std::cos(twoPi * i / n);
        s[i] = std::sin(twoPi * i / n);
        x[i] = (0.5L - 0.5L * c[i]) * in[2 * i + lane];
    }
    std::vector<double> out(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        long double re = 0, im = 0;
        for (int i = 0; i < n; ++i) {
            const int64_t t = (static_cast<int64_t>(k) * i) % n;
            re += x[i] * c[t];
            im -= x[i] * s[t];
        }
        out[k] = static_cast<double>(20 * std::log10(4.0L / n * std::sqrt(re * re + im * im)));
    }
    return out;
}

// Every size the transform takes, on both vector widths, against a direct
// DFT: the smallest sizes run none or few of the paired stages and the
// odd bin count leaves a tail. A silent right lane stays silent (minus
// infinity in every bin) however loud the left one is.
TEST(ClassFFT, EverySizeMatchesADirectTransform) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n : {4, 8, 16, 32, 64, 512, 2048}) {
        Analyzer a(n);
        std::vector<double> in(2 * static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            in[2 * i] = u(rng) + 0.3;
            in[2 * i + 1] = 0.0;
        }
        const std::vector<double> ref = naiveDb(in, n, 0);
        for (bool wide : {true, false}) {
            const bool before = fftAllowWideVectors(wide);
            ASSERT_EQ(a.analyze(in), 0);
            fftAllowWideVectors(before);
            for (int k = 0; k < n; ++k) {
                ASSERT_NEAR(a.left[k], ref[k], 1e-9) << "n " << n << " bin " << k << " wide " << wide;
                ASSERT_TRUE(std::isinf(a.right[k]) && a.right[k] < 0) << "n " << n << " bin " << k << " wide " << wide;
            }
        }
    }
}

// The AVX2 path (where the processor has it) gives the SSE2 path's doubles.
TEST(ClassFFT, VectorWidthsGiveTheSameDoubles) {
    Analyzer a;
    std::mt19937_64 rng(9);
    std::normal_distribution<double> g(0.0, 0.2);
    std::vector<double> in = sines(16384, 0.5, 2000.25, 0.7, 31);
    for (double &v : in) v += g(rng);
    const bool before = fftAllowWideVectors(false);
    ASSERT_EQ(a.analyze(in), 0);
    const std::vector<double> narrowL = a.left, narrowR = a.right;
    fftAllowWideVectors(true);
    ASSERT_EQ(a.analyze(in), 0);
    fftAllowWideVectors(before);
    for (int k = 0; k < 16384; ++k) {
        ASSERT_EQ(a.left[k], narrowL[k]) << k;
        ASSERT_EQ(a.right[k], narrowR[k]) << k;
    }
}

TEST(ClassFFT, InverseRestoresTheInput) {
    Analyzer a(4096);
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> in(2 * 4096), work, re(2 * 4096), im(2 * 4096), back(2 * 4096);
    for (double &v : in) v = u(rng);
    work = in;
    ASSERT_EQ(a.fft->doFft(0, 12, re.data(), im.data(), work.data()), 0);
    ASSERT_EQ(a.fft->doIfft(0, 12, back.data(), re.data(), im.data()), 0);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(back[i], in[i], 1e-12) << i;
}

TEST(ClassFFT, BadBitReversalTableIsRefused) {
    Analyzer a(1024);
    a.bitrev[5] = 1024;  // one past the buffers
    std::vector<double> in(2 * 1024, 0.25);
    EXPECT_EQ(a.analyze(in), kFftTransformFailed);
    std::vector<double> re(2 * 1024), im(2 * 1024);
    EXPECT_EQ(a.fft->doFft(0, 10, re.data(), im.data(), in.data()), kFftBadTable);
    classFFT bare;  // tables never given
    std::vector<double> l(16384), r(16384), big(2 * 16384);
    EXPECT_EQ(bare.analyzeFFT(0, 14, l.data(), r.data(), big.data()), kFftTransformFailed);
}

TEST(ClassFFT, WindowHelpersStayInsideTheWindow) {
    Analyzer a(8);
    const int32_t l[8] = {100, 100, 100, 100, 100, 100, 100, 100};
    const int32_t r[8] = {-4, -4, -4, -4, -4, -4, -4, -4};
    std::vector<double> out(2 * 9, 7.0);
    ASSERT_EQ(a.fft->convF64fromS32(8, out.data(), l, r), 0);
    EXPECT_DOUBLE_EQ(out[2 * 4], 100.0);
    EXPECT_DOUBLE_EQ(out[2 * 4 + 1], -4.0);
    EXPECT_DOUBLE_EQ(out[0], 0.0);
    EXPECT_EQ(out[2 * 8], 7.0);
    EXPECT_EQ(a.fft->convF64fromS32(9, out.data(), l, r), kFftBadSize);
    EXPECT_EQ(a.fft->applyWindowFunction(9, out.data(), out.data()), kFftBadSize);
}

TEST(ClassFFT, OneBitExpansion) {
    classFFT f;
    const uint8_t lb[2] = {0x80, 0xFF}, rb[2] = {0x01, 0x00};
    int32_t l[11], r[11];
    ASSERT_EQ(f.decimationDsd(11, l, r, lb, rb), 0);
    EXPECT_EQ(l[0], 2147483647);
    for (int i = 1; i < 8; ++i) EXPECT_EQ(l[i], -2147483647) << i;
    for (int i = 8; i < 11; ++i) EXPECT_EQ(l[i], 2147483647) << i;
    EXPECT_EQ(r[7], 2147483647);
    EXPECT_EQ(r[6], -2147483647);
    EXPECT_EQ(r[10], -2147483647);
}

}  // namespace
