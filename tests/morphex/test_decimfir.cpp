// FIR design, 1-bit byte tables and the stereo kernel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "morphex/decimfir.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kSentinel = 12345.0;

// Designs into an array prefilled with a sentinel and a margin behind the
// expected end, so that writes past the design show up.
std::vector<double> design(double rate, double fc, int taps, uint32_t mult, double gain, uint32_t reserve,
                           int64_t margin = 8) {
    const int64_t entries = firDesignEntries(taps, reserve);
    std::vector<double> c(static_cast<size_t>(2 * (entries + margin)), kSentinel);
    gAudio_setDecimFirParam(0, rate, fc, taps, c.data(), mult, gain, 0, reserve);
    return c;
}

// |H(f)| of the designed (symmetric) taps (lane 0), divided by `norm`, in dB.
double responseDb(const std::vector<double> &c, int taps, double rate, double f, double norm) {
    const int m = taps / 2;
    // Symmetric taps: the response is real about the centre tap.
    double re = 0;
    for (int k = 0; k <= 2 * m; ++k) re += c[2 * k] * std::cos(2.0 * kPi * f * (k - m) / rate);
    return 20.0 * std::log10(std::fabs(re) / norm);
}

TEST(FirDesign, FortyFiveTapSmoothingFilter) {
    // The smoothing filter of a DSD64 job: output rate / 16.
    auto c = design(2822400, 176400, 45, 1, 1.0, 0);
    ASSERT_EQ(firDesignEntries(45, 0), 45 + 16);
    EXPECT_DOUBLE_EQ(c[2 * 22], 0.125);
    for (int k = 0; k < 45; ++k) {
        EXPECT_EQ(c[2 * k], c[2 * k + 1]) << k;     // both lanes alike
        EXPECT_EQ(c[2 * k], c[2 * (44 - k)]) << k;  // symmetric
    }
    EXPECT_NE(c[0], 0.0);
    for (int k = 45; k < 61; ++k) {
        EXPECT_EQ(c[2 * k], 0.0) << k;
        EXPECT_EQ(c[2 * k + 1], 0.0) << k;
    }
    EXPECT_EQ(c[2 * 61], kSentinel);  // nothing behind the tail
    EXPECT_NEAR(responseDb(c, 45, 2822400, 176400, 1.0), -6.02, 0.01);
}

TEST(FirDesign, EvenRequestAddsATapButKeepsTheWindowPeriod) {
    const double rate = 2822400, fc = 176400, gain = 0.5;
    const uint32_t mult = 3;
    auto c = design(rate, fc, 44, mult, gain, 0);
    ASSERT_EQ(firDesignEntries(44, 0), 45 + 16);
    // Entry 0 is x = -22; on period 44 its window is 0.35875 - 0.48829 +
    // 0.14128 - 0.01168 (a period of 45 would give a different value).
    for (int x : {-22, -7, 1, 22}) {
        const double w = 0.35875 + 0.48829 * std::cos(2 * kPi * x / 44.0) + 0.14128 * std::cos(4 * kPi * x / 44.0) +
                         0.01168 * std::cos(6 * kPi * x / 44.0);
        const double expect = std::sin(2 * kPi * fc * x / rate) * (mult * gain) / (kPi * x) * w;
        EXPECT_NEAR(c[2 * (x + 22)], expect, 1e-15) << x;
    }
    EXPECT_DOUBLE_EQ(c[2 * 22], 2 * mult * gain * fc / rate);
    EXPECT_EQ(c[2 * 45], 0.0);
}

TEST(FirDesign, DegenerateLengths) {
    auto one = design(48000, 12000, 0, 2, 1.0, 0);
    EXPECT_DOUBLE_EQ(one[0], 2 * 2 * 12000 / 48000.0);
    EXPECT_EQ(one[2], 0.0);
    EXPECT_EQ(one[2 * 17], kSentinel);

    // T < -1 designs nothing and clears the tail from the start.
    auto none = design(48000, 12000, -2, 1, 1.0, kFirReserveMax);
    ASSERT_EQ(firDesignEntries(-2, kFirReserveMax), 131084);
    for (int64_t k = 0; k < 131084; ++k) ASSERT_EQ(none[2 * k], 0.0) << k;
    EXPECT_EQ(none[2 * 131084], kSentinel);
}

TEST(FirDesign, LongFilterCarriesTheFullZeroTail) {
    auto c = design(112896000, 19845, 32767, 147, 1.0, kFirReserveMax);
    // 131,084 zero entries, 2,097,344 bytes, behind the 32767 taps.
    EXPECT_EQ(firZeroTailEntries(kFirReserveMax) * 16, 2097344);
    EXPECT_NE(c[2 * 32766], 0.0);
    for (int64_t k = 32767; k < 32767 + 131084; ++k) ASSERT_EQ(c[2 * k] + c[2 * k + 1], 0.0) << k;
    EXPECT_EQ(c[2 * (32767 + 131084)], kSentinel);
}

// Frequency responses of the rate-conversion filters as the rate plan
// designs them (rate = common rate L, multiplier = L / source rate).
TEST(FirDesign, FrequencyResponses) {
    struct Row {
        double rate, fc;
        int taps;
        uint32_t mult;
        double f, db, tol;
    };
    const Row rows[] = {
        // 44.1 kHz -> 48 kHz: L = 7,056,000, up = 160, 4095 taps
        {7056000, 19845, 4095, 160, 1000, 0.0, 0.001},
        {7056000, 19845, 4095, 160, 15000, -0.025, 0.002},
        {7056000, 19845, 4095, 160, 19845, -6.02, 0.01},
        {7056000, 19845, 4095, 160, 22050, -18.31, 0.05},
        {7056000, 19845, 4095, 160, 26000, -84.95, 0.1},
        {7056000, 19845, 4095, 160, 30000, -113.4, 0.5},
        // DSD64 -> 44.1 kHz: L = 2,822,400, up = 1, 2047 taps
        {2822400, 19845, 2047, 1, 15000, -0.00075, 0.0002},
        {2822400, 19845, 2047, 1, 19845, -6.02, 0.01},
        {2822400, 19845, 2047, 1, 24000, -57.72, 0.05},
        {2822400, 19845, 2047, 1, 26000, -112.95, 0.1},
    };
    for (const Row &r : rows) {
        auto c = design(r.rate, r.fc, r.taps, r.mult, 1.0, 0);
        EXPECT_NEAR(responseDb(c, r.taps, r.rate, r.f, r.mult), r.db, r.tol) << r.taps << " taps at " << r.f << " Hz";
    }
}

TEST(FirDesign, Dsd64StopBandStaysBelow111Db) {
    auto c = design(2822400, 19845, 2047, 1, 1.0, 0);
    double worst = -1000, at = 0;
    for (double f = 26000; f <= 1411200; f += 97) {
        const double db = responseDb(c, 2047, 2822400, f, 1.0);
        if (db > worst) {
            worst = db;
            at = f;
        }
    }
    EXPECT_LE(worst, -111.0) << "at " << at << " Hz";
    EXPECT_GE(worst, -112.5) << "at " << at << " Hz";  // the window's known ripple
}

// Blackman-windowed coefficient of the 1-bit design, computed independently.
double meterCoef(double rate, double fc, int taps, int m) {
    const int n = taps | 1;
    if (m >= n) return 0.0;
    const int x = m - taps / 2;
    if (x == 0) return 2 * fc / rate;
    const double w = 0.42 + 0.5 * std::cos(2 * kPi * x / n) + 0.08 * std::cos(4 * kPi * x / n);
    return std::sin(2 * kPi * fc * x / rate) * w / (kPi * x);
}

TEST(MeterFir, ByteTablesSumSignedCoefficients) {
    const double rate = 2822400, fc = rate / 64;
    const int taps = 255;
    ASSERT_EQ(meterFirTableCount(taps), 32);
    std::vector<double> t(33 * 256, kSentinel);
    gAudio_setMeterFirParam(rate, fc, taps, t.data());
    EXPECT_EQ(t[32 * 256], kSentinel);  // exactly 32 tables

    for (int g : {0, 15, 31}) {
        double c[8], sum = 0;
        for (int j = 0; j < 8; ++j) {
            c[j] = meterCoef(rate, fc, taps, 8 * g + j);
            sum += c[j];
        }
        const double *tab = &t[256 * g];
        // 0x96 = 1001 0110, most significant bit first.
        EXPECT_NEAR(tab[0x96], c[0] - c[1] - c[2] + c[3] - c[4] + c[5] + c[6] - c[7], 1e-15) << g;
        EXPECT_NEAR(tab[0xFF], sum, 1e-15) << g;
        EXPECT_NEAR(tab[0x00], -sum, 1e-15) << g;
        EXPECT_NEAR(tab[0x80] - tab[0x00], 2 * c[0], 1e-15) << g;  // MSB meets coefficient 8g
    }
    // The 256th coefficient lies past the design: the last bit of the last
    // group changes nothing.
    EXPECT_EQ(t[31 * 256 + 0xFF], t[31 * 256 + 0xFE]);
    EXPECT_NE(t[31 * 256 + 0xFE], t[31 * 256 + 0xFC]);
}

TEST(MeterFir, EvenLengthAndTooShortRequests) {
    std::vector<double> t(2 * 256, kSentinel);
    gAudio_setMeterFirParam(44100, 11025, 8, t.data());  // 9 coefficients, 2 tables
    const double c8 = meterCoef(44100, 11025, 8, 8);
    EXPECT_NE(c8, 0.0);
    EXPECT_NEAR(t[256 + 0x80] - t[256 + 0x00], 2 * c8, 1e-15);
    EXPECT_NEAR(t[256 + 0x40], t[256 + 0x00], 1e-15);

    std::vector<double> none(256, kSentinel);
    gAudio_setMeterFirParam(44100, 11025, -8, none.data());
    EXPECT_EQ(none[0], kSentinel);
}

// Reference convolution in long double: coefficient 0 meets the oldest frame.
void reference(const std::vector<double> &sig, int64_t start, const std::vector<double> &coef, int taps,
               double out[2]) {
    long double l = 0, r = 0;
    for (int k = 0; k < taps; ++k) {
        l += static_cast<long double>(sig[2 * (start + k)]) * coef[2 * k];
        r += static_cast<long double>(sig[2 * (start + k) + 1]) * coef[2 * k + 1];
    }
    out[0] = static_cast<double>(l);
    out[1] = static_cast<double>(r);
}

TEST(DecimationFir, WindowAcrossABlockBoundaryEqualsTheJoinedSignal) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int taps : {1, 5, 45, 2047}) {
        // Arbitrary, asymmetric coefficients so that a reversed window fails;
        // a zero tail behind them as the design leaves it.
        std::vector<double> coef(2 * (taps + 64), 0.0);
        for (int k = 0; k < taps; ++k) {
            coef[2 * k] = u(rng);
            coef[2 * k + 1] = u(rng);
        }
        std::vector<double> joined(2 * (3 * taps + 64));
        for (double &v : joined) v = u(rng);
        const int64_t start = 17;
        double ref[2];
        reference(joined, start, coef, taps, ref);
        for (int h : {0, 1, 3, taps / 2, taps - 1, taps}) {
            if (h < 0 || h > taps) continue;
            // History = the h frames before the boundary, new data after it.
            std::vector<double> hist(joined.begin() + 2 * start, joined.begin() + 2 * (start + h));
            std::vector<double> fresh(joined.begin() + 2 * (start + h), joined.end());
            double out[2] = {kSentinel, kSentinel};
            EXPECT_EQ(gAudioDecimationFir(out, fresh.data(), coef.data(), taps, h ? hist.data() : nullptr, h), 0);
            const double tol = 1e-13 * taps;
            EXPECT_NEAR(out[0], ref[0], tol) << taps << " taps, history " << h;
            EXPECT_NEAR(out[1], ref[1], tol) << taps << " taps, history " << h;
        }
    }
}

TEST(DecimationFir, HistoryLongerThanTheFilterReadsTheZeroTail) {
    auto coef = design(2822400, 176400, 45, 1, 1.0, 0);  // 45 taps, 16 zeros
    std::vector<double> hist(2 * 55);
    for (size_t i = 0; i < hist.size(); ++i) hist[i] = std::sin(0.37 * static_cast<double>(i));
    double ref[2];
    reference(hist, 0, coef, 45, ref);
    double out[2];
    EXPECT_EQ(gAudioDecimationFir(out, nullptr, coef.data(), 45, hist.data(), 55), 0);
    EXPECT_NEAR(out[0], ref[0], 1e-14);
    EXPECT_NEAR(out[1], ref[1], 1e-14);
}

}  // namespace
