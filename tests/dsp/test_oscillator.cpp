#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "dsp/oscillator.h"

namespace {

constexpr double kPi = 3.141592653589793;

std::vector<double> run(oscillatorMain &o, int frames) {
    std::vector<double> v(2 * frames, -99.0);
    o.generateSineWave(v.data(), frames);
    return v;
}

// In-place radix-2 FFT, enough for spectrum shape checks.
void fft(std::vector<std::complex<double>> &a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> wl = std::polar(1.0, -2.0 * kPi / len);
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], t = a[i + k + len / 2] * w;
                a[i + k] = u + t;
                a[i + k + len / 2] = u - t;
                w *= wl;
            }
        }
    }
}

// Mean power per bin, in dB, of the octave band [lo, 2 lo) Hz, averaged over
// Hann-windowed segments of the left channel.
std::vector<double> octaveLevels(oscillatorMain &o, double rate, const std::vector<double> &bandsLo) {
    const size_t n = 8192;
    const int segments = 48;
    std::vector<double> power(n / 2, 0.0);
    for (int s = 0; s < segments; ++s) {
        std::vector<double> v = run(o, static_cast<int>(n));
        double mean = 0.0;
        for (size_t i = 0; i < n; ++i) mean += v[2 * i];
        mean /= n;
        std::vector<std::complex<double>> a(n);
        for (size_t i = 0; i < n; ++i) a[i] = (v[2 * i] - mean) * (0.5 - 0.5 * std::cos(2.0 * kPi * i / n));
        fft(a);
        for (size_t k = 0; k < n / 2; ++k) power[k] += std::norm(a[k]);
    }
    std::vector<double> out;
    for (double lo : bandsLo) {
        const size_t k0 = static_cast<size_t>(lo * n / rate), k1 = static_cast<size_t>(2 * lo * n / rate);
        double acc = 0.0;
        for (size_t k = k0; k < k1; ++k) acc += power[k];
        out.push_back(10.0 * std::log10(acc / (k1 - k0)));
    }
    return out;
}

TEST(Oscillator, DefaultsAreAThousandHertzSineAtMinus16dB) {
    oscillatorMain o;
    EXPECT_EQ(o.getOscLevel(), 0.15848931924611134);
    EXPECT_EQ(o.getOscFS(), 44100.0);
    EXPECT_EQ(o.getOscFreq(), 1000.0);
    EXPECT_EQ(o.mWaveType, kOscSine);
    EXPECT_FALSE(o.getOscStatus());
    o.setOscLevel(-16.0);
    EXPECT_EQ(o.getOscLevel(), 0.15848931924611134);

    o.sOscOn();
    EXPECT_TRUE(o.getOscStatus());
    std::vector<double> v = run(o, 100);
    const double w = 2.0 * kPi * 1000.0 / 44100.0;
    EXPECT_DOUBLE_EQ(v[0], std::sin(w) * 0.15848931924611134);
    for (int i = 0; i < 100; ++i) {
        EXPECT_NEAR(v[2 * i], 0.15848931924611134 * std::sin((i + 1) * w), 1e-12) << i;
        EXPECT_EQ(v[2 * i + 1], v[2 * i]);
    }
}

TEST(Oscillator, SineFrequencyAndLevelMeasuredFromOutput) {
    struct Case {
        double rate, freq, dB;
    };
    const Case cases[] = {{48000.0, 997.0, -6.0}, {96000.0, 12345.0, -20.0}, {44100.0, 100.0, 0.0}};
    for (const Case &c : cases) {
        oscillatorMain o;
        o.setOscFS(c.rate);
        o.setOscFreq(c.freq);
        o.setOscLevel(c.dB);
        o.sOscOn();
        const int frames = static_cast<int>(c.rate);  // one second
        std::vector<double> v = run(o, frames);
        int rising = 0;
        double peak = 0.0, energy = 0.0;
        for (int i = 1; i < frames; ++i) {
            if (v[2 * i - 2] < 0.0 && v[2 * i] >= 0.0) ++rising;
            peak = std::max(peak, std::fabs(v[2 * i]));
            energy += v[2 * i] * v[2 * i];
        }
        const double level = std::pow(10.0, c.dB / 20.0);
        EXPECT_NEAR(rising, c.freq, 1.0) << c.freq;
        EXPECT_NEAR(peak, level, level * 1e-3);
        EXPECT_NEAR(std::sqrt(energy / (frames - 1)), level / std::sqrt(2.0), level * 1e-3);
    }
}

TEST(Oscillator, OffClearsSineStateAndOnKicksAgain) {
    oscillatorMain o;
    o.sOscOn();
    std::vector<double> first = run(o, 50);
    o.sOscOff();
    EXPECT_FALSE(o.getOscStatus());
    o.sOscOn();
    std::vector<double> again = run(o, 50);
    EXPECT_EQ(first, again);
    // Without the kick a cleared sine stays silent.
    o.sOscOff();
    std::vector<double> silent = run(o, 10);
    for (double v : silent) EXPECT_EQ(v, 0.0);
}

TEST(Oscillator, FixedPatternIgnoresLevel) {
    oscillatorMain o;
    o.setOscLevel(-40.0);
    o.mWaveType = kOscFixedPattern;
    o.mPattern = static_cast<int32_t>(0xA53CA53Cu);
    std::vector<double> v = run(o, 37);
    for (double s : v) EXPECT_EQ(s, -1522752196.0 / 2147483647.0);
    // A 32-bit output stage gets the pattern back bit for bit.
    EXPECT_EQ(static_cast<int32_t>(std::lround(v[0] * 2147483647.0)), static_cast<int32_t>(0xA53CA53Cu));
}

TEST(Oscillator, UnknownTypeAndEmptyCallsLeaveBufferUntouched) {
    oscillatorMain o;
    for (int32_t t : {6, -1, 1000}) {
        o.mWaveType = t;
        std::vector<double> v = run(o, 16);
        for (double s : v) EXPECT_EQ(s, -99.0) << t;
    }
    o.mWaveType = kOscWhiteNoise;
    std::vector<double> v(4, -99.0);
    o.generateSineWave(v.data(), 0);
    o.generateSineWave(v.data(), -3);
    for (double s : v) EXPECT_EQ(s, -99.0);
}

TEST(Oscillator, ShiftRegisterTaps) {
    oscillatorMain o;
    EXPECT_EQ(o.calcMseqence(), 0xAAAAAAAAu);
    EXPECT_EQ(o.calcMseqence(), 0xD5555555u);
    // Against a bit-by-bit model: the new bit 31 is bits 0, 1, 21 and 31 xored.
    uint32_t s = 0xD5555555u;
    for (int i = 0; i < 10000; ++i) {
        const uint32_t bit = ((s >> 0) ^ (s >> 1) ^ (s >> 21) ^ (s >> 31)) & 1u;
        s = (s >> 1) | (bit << 31);
        ASSERT_EQ(o.calcMseqence(), s) << i;
    }
}

TEST(Oscillator, SawtoothAndTriangleShareARunningCounter) {
    oscillatorMain o;
    o.setOscFS(48000.0);
    o.setOscLevel(0.0);  // L = 1
    o.mWaveType = kOscSawtooth;
    std::vector<double> saw = run(o, 48);  // one period
    EXPECT_EQ(saw[0], -1.0);
    EXPECT_NEAR(saw[2 * 24], 0.0, 1e-12);
    EXPECT_NEAR(saw[2 * 47], 1.0 - 2.0 / 48, 1e-12);
    EXPECT_EQ(saw[1], saw[0]);

    o.mWaveType = kOscTriangle;
    std::vector<double> tri = run(o, 48);  // the counter went on: samples 48..95
    EXPECT_NEAR(tri[0], 1.0, 1e-12);
    EXPECT_NEAR(tri[2 * 12], 0.0, 1e-12);
    EXPECT_NEAR(tri[2 * 24], -1.0, 1e-12);
    o.sOscOff();
    o.sOscOn();
    std::vector<double> more = run(o, 1);  // sample 96: not reset by off and on
    EXPECT_NEAR(more[0], 1.0, 1e-12);
    std::vector<double> next = run(o, 1);
    EXPECT_NEAR(next[0], 1.0 - 4.0 / 48, 1e-12);
}

// The register moves one bit per sample, so each value is half the one
// before plus a fresh top bit: the noise has the spectrum of white bits
// through 1 / (1 - 0.5 z^-1), flat at low frequencies and 9.5 dB down at
// Nyquist. Pink noise is that through the filter bank.
double modelDb(double f, double rate, bool pink) {
    const std::complex<double> zi = std::polar(1.0, -2.0 * kPi * f / rate);
    std::complex<double> h = 1.0 / (1.0 - 0.5 * zi);
    if (pink) {
        const double corner[4] = {15.0, 200.0, 3000.0, rate <= 48000.0 ? 10000.0 : 20000.0};
        const double weight[4] = {0.6675, 0.22, 0.0325, rate <= 48000.0 ? 0.044 : 0.04};
        std::complex<double> bank = 0.0;
        for (int k = 0; k < 4; ++k) {
            const double d = std::tan(2.0 * kPi * corner[k] / rate);
            const double g = weight[k] * d / (1.0 + d), c = (1.0 - d) / (1.0 + d);
            bank += g * (1.0 + zi) / (1.0 - c * zi);
        }
        h *= bank;
    }
    return 10.0 * std::log10(std::norm(h));
}

std::vector<double> modelOctaves(double rate, bool pink, const std::vector<double> &bandsLo) {
    std::vector<double> out;
    for (double lo : bandsLo) {
        double acc = 0.0;
        const int steps = 64;
        for (int i = 0; i < steps; ++i)
            acc += std::pow(10.0, modelDb(lo * (1.0 + (i + 0.5) / steps), rate, pink) / 10.0);
        out.push_back(10.0 * std::log10(acc / steps));
    }
    return out;
}

TEST(Oscillator, WhiteNoiseKeepsItsOffsetAndRegisterSpectrum) {
    oscillatorMain o;
    o.mWaveType = kOscWhiteNoise;
    std::vector<double> v = run(o, 100000);
    const double L = o.getOscLevel();
    double mean = 0.0;
    for (int i = 0; i < 100000; ++i) {
        ASSERT_GE(v[2 * i], 0.0);
        ASSERT_LE(v[2 * i], 2.0 * L);
        ASSERT_EQ(v[2 * i + 1], v[2 * i]);
        mean += v[2 * i];
    }
    EXPECT_NEAR(mean / 100000, L, 0.01 * L);  // values run from 0 to 2L

    oscillatorMain w;
    w.mWaveType = kOscWhiteNoise;
    const std::vector<double> lo = {100, 200, 400, 800, 1600, 3200, 6400};
    const std::vector<double> dB = octaveLevels(w, 44100.0, lo);
    const std::vector<double> model = modelOctaves(44100.0, false, lo);
    for (size_t k = 1; k < dB.size(); ++k) EXPECT_NEAR(dB[k] - dB[0], model[k] - model[0], 0.5) << lo[k] << " Hz";
    // Roughly flat through the low and middle range.
    for (size_t k = 1; k < 4; ++k) EXPECT_NEAR(dB[k], dB[0], 1.0) << lo[k] << " Hz";
}

TEST(Oscillator, PinkNoiseFallsAboutThreeDbPerOctave) {
    for (double rate : {44100.0, 96000.0}) {
        oscillatorMain o;
        o.setOscFS(rate);
        o.mWaveType = kOscPinkNoise;
        const std::vector<double> lo = {100, 200, 400, 800, 1600, 3200, 6400};
        const std::vector<double> dB = octaveLevels(o, rate, lo);
        const std::vector<double> model = modelOctaves(rate, true, lo);
        for (size_t k = 1; k < dB.size(); ++k)
            EXPECT_NEAR(dB[k] - dB[0], model[k] - model[0], 0.5) << rate << " Hz, octave from " << lo[k];
        // 100 Hz to 3.2 kHz: five octaves at about -3 dB each.
        const double slope = (dB[0] - dB[5]) / 5.0;
        EXPECT_NEAR(slope, 3.0, 0.6) << rate;
    }
}

TEST(Oscillator, PinkNoiseAtDsdRateUsesThreeSectionsAndGainEight) {
    const double rate = 2822400.0;
    oscillatorMain o;
    o.setOscFS(rate);
    o.mWaveType = kOscPinkNoise;
    std::vector<double> v = run(o, 1000);

    oscillatorMain white;
    white.setOscFS(rate);
    white.mWaveType = kOscWhiteNoise;
    std::vector<double> x = run(white, 1000);
    const double corner[3] = {15.0, 200.0, 3000.0}, weight[3] = {0.6675, 0.22, 0.0325};
    double y[3] = {}, xp[3] = {};
    for (int i = 0; i < 1000; ++i) {
        double sum = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double d = std::tan(2.0 * kPi * corner[k] / rate);
            y[k] = (1.0 - d) / (1.0 + d) * y[k] + weight[k] * d / (1.0 + d) * (x[2 * i] + xp[k]);
            xp[k] = x[2 * i];
            sum += y[k];
        }
        ASSERT_NEAR(v[2 * i], 8.0 * sum, 1e-12) << i;
        ASSERT_EQ(v[2 * i + 1], v[2 * i]);
    }
}

TEST(Oscillator, GlobalInstanceExists) {
    EXPECT_EQ(COscClass.getOscFreq(), 1000.0);
    EXPECT_FALSE(COscClass.getOscStatus());
}

}  // namespace
