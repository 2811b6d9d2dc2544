// Rate conversion: the up stage's +-2 values, the three branches of the down
// stage (hold, equal rates, polyphase) with envelope, pan matrix, smoother
// and equaliser, the polyphase and DSD byte-table forms against the plain
// sum, and the frequency-domain variants.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

#include "dsp/peqrecord.h"
#include "morphex/classfft.h"
#include "morphex/decimfir.h"
#include "morphex/libutil.h"
#include "morphex/updownconv.h"

namespace {

// Resets the pan table of this thread when a test ends.
struct PanTable {
    explicit PanTable(const double *t) { pPanVol = const_cast<double *>(t); }
    ~PanTable() { pPanVol = nullptr; }
};

std::vector<double> noise(size_t frames, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<double> v(2 * frames);
    for (double &x : v) x = d(gen);
    return v;
}

std::vector<uint8_t> bytes(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v) b = static_cast<uint8_t>(gen());
    return v;
}

// A designed low-pass with a zero tail of 4 up + 16 entries, enough for an
// odd phase offset to read past the taps (the engine's tail is longer).
std::vector<double> design(double rate, double fc, int taps, uint32_t up, double gain = 1.0) {
    std::vector<double> c(2 * firDesignEntries(taps, up));
    gAudio_setDecimFirParam(0, rate, fc, taps, c.data(), up, gain, 0, up);
    return c;
}

tDownConvertParams params(double *out, const double *in, int n, uint32_t inRate, uint32_t outRate, uint32_t L) {
    tDownConvertParams p;
    p.output = out;
    p.input = in;
    p.count = n;
    p.inRate = inRate;
    p.outRate = outRate;
    p.commonRate = L;
    return p;
}

// The polyphase sum written as plainly as possible (one output frame).
void plainSum(const double *coef, int taps, uint32_t up, uint32_t down, int offset, int i,
              const std::function<double(int64_t, int)> &x, double *l, double *r) {
    const int64_t P = int64_t(down) * i, U = up;
    const int64_t phase = (U - ((offset + P) % U + U) % U) % U;
    const int64_t first = (phase + P) / U;
    const int64_t K = (taps + P - 1) / U - first;
    *l = *r = 0.0;
    for (int64_t k = 0; k <= K; ++k) {
        *l += coef[2 * (phase + k * U)] * x(first + k, 0);
        *r += coef[2 * (phase + k * U) + 1] * x(first + k, 1);
    }
}

TEST(UpConvert, DsdBitsBecomePlusMinusTwo) {
    CUpDownConv conv;
    const uint8_t l[2] = {0xA5, 0x00}, r[2] = {0x5A, 0x00};
    const void *src[2] = {l, r};
    const double want[8] = {2, -2, 2, -2, -2, 2, -2, 2};

    std::vector<double> out(16, 9.0);
    ASSERT_EQ(conv.gAudio_upconvert(out.data(), src, 8, 2822400, 2822400, 0, 1, 0, 0, nullptr), kUpDownOk);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(out[2 * k], want[k]) << k;
        EXPECT_EQ(out[2 * k + 1], -want[k]) << k;  // 0x5A is 0xA5 inverted
    }

    // bitOffset 3, n = 5: the last five of those frames.
    std::fill(out.begin(), out.end(), 9.0);
    ASSERT_EQ(conv.gAudio_upconvert(out.data(), src, 5, 2822400, 2822400, 0, 1, 0, 3, nullptr), kUpDownOk);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(out[2 * k], want[3 + k]) << k;
    EXPECT_EQ(out[10], 9.0);

    // Hold to twice the rate repeats each sample from the first bit; an
    // offset of 2 zeroes two frames in front.
    std::vector<double> held(2 * 10, 9.0);
    ASSERT_EQ(conv.gAudio_upconvert(held.data(), src, 4, 2822400, 5644800, 1, 1, 2, 3, nullptr), kUpDownOk);
    const double heldWant[10] = {0, 0, 2, 2, -2, -2, 2, 2, -2, -2};
    for (int k = 0; k < 10; ++k) EXPECT_EQ(held[2 * k], heldWant[k]) << k;

    // PCM sources are two channel arrays.
    const double pl[2] = {0.25, -0.5}, pr[2] = {1.0, 0.75};
    const void *pcm[2] = {pl, pr};
    std::vector<double> p(8);
    ASSERT_EQ(conv.gAudio_upconvert(p.data(), pcm, 2, 44100, 88200, 1, 0, 0, 0, nullptr), kUpDownOk);
    EXPECT_EQ(p, (std::vector<double>{0.25, 1.0, 0.25, 1.0, -0.5, 0.75, -0.5, 0.75}));

    EXPECT_EQ(conv.gAudio_upconvert(nullptr, src, 8, 2822400, 2822400, 0, 1, 0, 0, nullptr), kUpDownBadParams);
    EXPECT_EQ(conv.gAudio_upconvert(out.data(), src, 8, 0, 2822400, 0, 1, 0, 0, nullptr), kUpDownBadParams);
}

TEST(DownConvert, EqualRatesPassThroughAndScale) {
    CUpDownConv conv;
    const int n = 37;
    std::vector<double> in = noise(n, 1), out(2 * n, 5.0);
    tDownConvertParams p = params(out.data(), in.data(), n, 96000, 96000, 96000);
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);  // no envelope state: unity
    EXPECT_EQ(out, in);                                 // stored, not added

    tDspVolParam st{1.0, 0, 0};
    p.envelopeState = &st;
    p.scale = 18014398509481984.0;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    for (int k = 0; k < 2 * n; ++k) EXPECT_EQ(out[k], in[k] * 18014398509481984.0);
    EXPECT_EQ(st.position, n);
}

TEST(DownConvert, PanMatrixOfTheTrack) {
    CUpDownConv conv;
    // Track 1's matrix starts at the fifth double.
    const double table[8] = {9, 9, 9, 9, 0.5, 0.25, -1.0, 2.0};
    PanTable pan(table);
    const double in[4] = {0.5, 0.25, -1.0, 0.125};
    double out[4] = {};
    tDownConvertParams p = params(out, in, 2, 48000, 48000, 48000);
    p.track = 1;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    // left = LL xl + RL xr, right = LR xl + RR xr
    EXPECT_EQ(out[0], 0.5 * 0.5 + -1.0 * 0.25);
    EXPECT_EQ(out[1], 0.25 * 0.5 + 2.0 * 0.25);
    EXPECT_EQ(out[2], 0.5 * -1.0 + -1.0 * 0.125);
    EXPECT_EQ(out[3], 0.25 * -1.0 + 2.0 * 0.125);
}

// The hold form takes, for every output frame, the input frame at or before
// its time: input at the source rate, output i at source frame
// i x in / out, scaled like the equal-rate branch and added to what the
// output held. The input holds exactly the frames the block spans, so a
// read beyond them is a sanitizer report.
TEST(DownConvert, HoldTakesTheSourceFrameAtOrBeforeEachOutputFrame) {
    struct Case {
        uint32_t in, out;
        double scale;
    };
    const Case cases[] = {
        {44100, 48000, 1.0},  {44100, 88200, 1.0},       {96000, 44100, 1.0},
        {192000, 44100, 1.0}, {192000, 88200, 1.0},      {384000, 44100, 1.0},
        {176400, 44100, 1.0}, {192000, 2822400, 0x1p54}, {44100, 11289600, 0x1p54},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out));
        const uint32_t L = uint32_t(uint64_t(c.in) / std::gcd(c.in, c.out) * c.out);
        const uint32_t up = L / c.in, down = L / c.out;
        // Two whole steps of the rate pair: n outputs span exactly `frames`
        // input frames.
        const int n = int(2 * up);
        const size_t frames = size_t(2) * down;
        const std::vector<double> in = noise(frames, c.in + c.out);
        std::vector<double> out(2 * size_t(n), 1.0);
        CUpDownConv conv;
        tDownConvertParams p = params(out.data(), in.data(), n, c.in, c.out, L);
        p.hold = 1;
        p.scale = c.scale;
        ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
        for (int i = 0; i < n; ++i) {
            const size_t k = size_t(uint64_t(i) * c.in / c.out);
            ASSERT_LT(k, frames);
            EXPECT_EQ(out[2 * i], 1.0 + c.scale * in[2 * k]) << i;
            EXPECT_EQ(out[2 * i + 1], 1.0 + c.scale * in[2 * k + 1]) << i;
        }
    }
}

TEST(DownConvert, EnvelopeStepsPerOutputFrame) {
    CUpDownConv conv;
    // Flat 0.5 to frame 3, then rising by 0.001 per frame.
    const tDspVolItem env[3] = {{0, 0.5, 0.0, 0}, {3, 0.5, 0.001, +1}, {kDspVolEnd, 0, 0, 0}};
    tDspVolParam st{0.5, 0, 0};
    const int n = 8;
    std::vector<double> in(2 * n, 1.0), out(2 * n);
    tDownConvertParams p = params(out.data(), in.data(), n, 44100, 44100, 44100);
    p.envelopeState = &st;
    p.envelope = env;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    const double want[n] = {0.5, 0.5, 0.5, 0.501, 0.502, 0.503, 0.504, 0.505};
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(out[2 * i], want[i], 1e-15) << i;
        EXPECT_NEAR(out[2 * i + 1], want[i], 1e-15) << i;
    }
    EXPECT_EQ(st.index, 1);
    EXPECT_EQ(st.position, n);
    EXPECT_NEAR(st.level, 0.505, 1e-15);

    // The same envelope through the polyphase branch (2:1, one tap of 1.0
    // per phase) gives the same gains per output frame.
    tDspVolParam st2{0.5, 0, 0};
    std::vector<double> in2(2 * 2 * n + 2, 1.0), out2(2 * n);
    const double coef[4] = {1.0, 1.0, 0.0, 0.0};
    tDownConvertParams q = params(out2.data(), in2.data(), n, 88200, 44100, 88200);
    q.coefficients = coef;
    q.taps = 1;
    q.envelopeState = &st2;
    q.envelope = env;
    ASSERT_EQ(conv.gAudio_downconvert(&q), kUpDownOk);
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(out2[2 * i], want[i], 1e-15) << i;
        EXPECT_NEAR(out2[2 * i + 1], want[i], 1e-15) << i;
    }
}

TEST(DownConvert, EqualiserBandsFromThreeDownThenTotalGain) {
    auto setUp = [](tPEQ &eq, bool *on) {
        const double freq[4] = {100, 1000, 4000, 12000};
        for (int b = 0; b < 4; ++b) {
            eq.band[b].setupParam<kEqBuildLibrary>(6.0 - 3 * b, freq[b], 0.7 + 0.3 * b, 48000, kEqPeak);
            eq.band[b].reCalcCoef<kEqBuildLibrary>(48000);
            eq.band[b].initParam();
            eq.band[b].mBandOn = b != 2;  // band 2 is off
        }
        eq.totalGainLin = 0.75;
        eq.allOn = on;
    };
    bool on = true;
    tPEQ eq, twin;
    setUp(eq, &on);
    setUp(twin, &on);

    CUpDownConv conv;
    const int n = 64;
    std::vector<double> in = noise(n, 7), out(2 * n);
    tDownConvertParams p = params(out.data(), in.data(), n, 48000, 48000, 48000);
    p.eqOn = 1;
    p.eq = &eq;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);

    std::vector<double> want = in;
    for (int b : {3, 1, 0}) twin.band[b].procEq<kEqBuildLibrary>(want.data(), want.data(), n);
    for (double &x : want) x *= 0.75;
    EXPECT_EQ(out, want);

    // The equaliser's own switch and the job's flag both turn it off.
    on = false;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    EXPECT_EQ(out, in);
    on = true;
    p.eqOn = 0;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    EXPECT_EQ(out, in);
}

TEST(DownConvert, SmoothingFilterCarriesItsHistory) {
    CUpDownConv conv;
    const std::vector<double> coef = design(2822400, 2822400 / 16, 45, 1);
    std::vector<double> first = noise(50, 3), second = noise(10, 4);
    std::vector<double> out1(2 * 50), out2(2 * 10);
    tDownConvertParams p = params(out1.data(), first.data(), 50, 2822400, 2822400, 2822400);
    p.smoothDsd = 1;
    p.smoothCoefficients = coef.data();
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    // Output i filters the 45 frames before input i (zeros before the first).
    for (int i = 0; i < 50; i += 7) {
        double l = 0, r = 0;
        for (int k = 0; k < 45; ++k) {
            const int j = i - 45 + k;
            if (j >= 0) {
                l += coef[2 * k] * first[2 * j];
                r += coef[2 * k + 1] * first[2 * j + 1];
            }
        }
        EXPECT_NEAR(out1[2 * i], l, 1e-14) << i;
        EXPECT_NEAR(out1[2 * i + 1], r, 1e-14) << i;
    }
    // n = 10: the history keeps its last 35 frames followed by the 10 new.
    p.output = out2.data();
    p.input = second.data();
    p.count = 10;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    for (int k = 0; k < 35; ++k) EXPECT_EQ(conv.history()[2 * k], first[2 * (15 + k)]) << k;
    for (int k = 0; k < 10; ++k) EXPECT_EQ(conv.history()[2 * (35 + k)], second[2 * k]) << k;

    // Below DSD output rates the filter is not used.
    CUpDownConv plain;
    tDownConvertParams q = params(out2.data(), second.data(), 10, 352800, 352800, 352800);
    q.smoothDsd = 1;
    q.smoothCoefficients = coef.data();
    ASSERT_EQ(plain.gAudio_downconvert(&q), kUpDownOk);
    EXPECT_EQ(out2, second);
}

// Rate pairs of the conversion plans: the polyphase form and the DSD byte
// tables against the plain sum, across consecutive blocks.
TEST(DownConvert, PolyphaseMatchesThePlainSum) {
    struct Pair {
        uint32_t in, out, L;
        int taps;
        int offset;
    };
    const Pair pairs[] = {
        {44100, 48000, 7056000, 4095, 0}, {48000, 44100, 7056000, 4095, 0},   {96000, 44100, 14112000, 4095, 0},
        {88200, 44100, 88200, 1023, 0},   {44100, 2822400, 2822400, 2047, 0}, {768000, 44100, 112896000, 2047, 0},
        {44100, 48000, 7056000, 255, 7},  // an offset that is not a multiple of up
    };
    for (const Pair &c : pairs) {
        const uint32_t up = c.L / c.in, down = c.L / c.out;
        const std::vector<double> coef = design(c.L, 19845, c.taps, up);
        const int n = 300;
        const size_t frames = size_t(down) * n / up + c.taps / up + 8;
        const std::vector<double> in = noise(frames, c.in + c.out);
        CUpDownConv conv;
        std::vector<double> out(2 * n);
        tDownConvertParams p = params(out.data(), in.data(), n, c.in, c.out, c.L);
        p.coefficients = coef.data();
        p.taps = c.taps;
        p.phaseOffset = c.offset;
        ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
        double peak = 0, err = 0;
        for (int i = 0; i < n; ++i) {
            double l, r;
            plainSum(
                coef.data(), c.taps, up, down, c.offset, i, [&](int64_t f, int lane) { return in[2 * f + lane]; }, &l,
                &r);
            peak = std::max({peak, std::fabs(l), std::fabs(r)});
            err = std::max({err, std::fabs(out[2 * i] - l), std::fabs(out[2 * i + 1] - r)});
        }
        EXPECT_LE(err, 1e-12 * peak) << c.in << " -> " << c.out;
        EXPECT_GT(peak, 0.1);
    }
}

// The byte tables reorder the sum (eight taps per entry, entries added in
// runs of eight): every output stays within 1e-12 of the block's peak of
// the plain sequential sum.
TEST(DownConvert, DsdByteTablesMatchThePlainSum) {
    struct Pair {
        uint32_t in, out, L;
        int taps;
        uint32_t bitOffset;
    };
    const Pair pairs[] = {
        {2822400, 44100, 2822400, 2047, 0},  {2822400, 44100, 2822400, 2047, 5},
        {2822400, 176400, 2822400, 511, 0},  {2822400, 192000, 28224000, 4095, 3},
        {5644800, 2822400, 5644800, 127, 1}, {22579200, 44100, 22579200, 16383, 0},
        {2822400, 48000, 14112000, 8201, 0},
    };
    for (const Pair &c : pairs) {
        const uint32_t up = c.L / c.in, down = c.L / c.out;
        const std::vector<double> coef = design(c.L, 19845, c.taps, up);
        const int n = 201;  // odd: the several-phase form's last output is formed alone
        const size_t bits = size_t(down) * n / up + c.taps / up + 16 + c.bitOffset;
        const std::vector<uint8_t> l = bytes(bits / 8 + 2, c.out), r = bytes(bits / 8 + 2, c.out + 1);
        const uint8_t *dsd[2] = {l.data(), r.data()};
        CUpDownConv conv;
        ASSERT_EQ(conv.prepareFilter(coef.data(), c.taps, up, true), kUpDownOk);
        std::vector<double> out(2 * n);
        tDownConvertParams p = params(out.data(), nullptr, n, c.in, c.out, c.L);
        p.coefficients = coef.data();
        p.taps = c.taps;
        p.dsd = dsd;
        p.dsdBitOffset = c.bitOffset;
        ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
        auto bit = [&](int64_t f, int lane) {
            const uint64_t b = c.bitOffset + f;
            return ((lane ? r : l)[b >> 3] & (0x80 >> (b & 7))) ? 2.0 : -2.0;
        };
        double peak = 0, err = 0;
        for (int i = 0; i < n; ++i) {
            double el, er;
            plainSum(coef.data(), c.taps, up, down, 0, i, bit, &el, &er);
            peak = std::max({peak, std::fabs(el), std::fabs(er)});
            err = std::max({err, std::fabs(out[2 * i] - el), std::fabs(out[2 * i + 1] - er)});
        }
        EXPECT_LE(err, 1e-12 * peak) << c.in << " -> " << c.out << " offset " << c.bitOffset;
    }
}

TEST(DownConvert, PhasesWithoutTapsAddNothing) {
    // up = 4 and two taps: phases 2 and 3 have none (K < 0).
    CUpDownConv conv;
    const double coef[2 * 2 + 16] = {1.0, 1.0, 0.5, 0.5};
    const int n = 8;
    std::vector<double> in(2 * 16, 1.0), out(2 * n, 0.0);
    // in 11025 -> out 14700 with L = 44100: up = 4, down = 3.
    tDownConvertParams p = params(out.data(), in.data(), n, 11025, 14700, 44100);
    p.coefficients = coef;
    p.taps = 2;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    for (int i = 0; i < n; ++i) {
        const int phase = (4 - (3 * i) % 4) % 4;
        const double want = phase == 0 ? 1.0 : phase == 1 ? 0.5 : 0.0;
        EXPECT_EQ(out[2 * i], want) << i;
    }
}

TEST(DownConvert, FadeSmootherFollowsTheLevel) {
    tConvFadeShared shared;
    shared.fadeLpf.set_coefA_byFs(0.01, 2822400);
    CUpDownConv conv(&shared);
    classDsm5th mod;
    mod.mSpliceReq[0] = mod.mSpliceReq[1] = mod.mSpliceCur[0] = mod.mSpliceCur[1] = 0;
    const int n = 16;
    std::vector<double> in(2 * n, 1.0), out(2 * n);
    tDspVolParam st{1.0, 0, 0};

    // Equal DSD rates while writing: the smoother's output is the gain.
    tDownConvertParams p = params(out.data(), in.data(), n, 2822400, 2822400, 2822400);
    p.envelopeState = &st;
    p.writing = 1;
    p.modulator = &mod;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    EXPECT_GT(out[2], out[0]);
    EXPECT_EQ(out[2 * (n - 1)], shared.fadeLpf.getCoefY_1_ch(0));
    EXPECT_EQ(shared.fadeLpf.getCoefX_ch(1), 1.0);

    // A modulator that is splicing holds the smoother still.
    const double y = shared.fadeLpf.getCoefY_1_ch(0);
    mod.mSpliceCur[1] = 1;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    EXPECT_EQ(shared.fadeLpf.getCoefY_1_ch(0), y);
    EXPECT_EQ(out[0], y);

    // Not writing, PCM output: the smoother is left alone.
    mod.mSpliceCur[1] = 0;
    p.writing = 0;
    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
    EXPECT_EQ(shared.fadeLpf.getCoefY_1_ch(0), y);
    EXPECT_EQ(out[0], 1.0);
}

TEST(DownConvert, RefusesBadArguments) {
    CUpDownConv conv;
    double buf[8] = {};
    const tDownConvertParams good = params(buf, buf, 2, 48000, 48000, 48000);
    tDownConvertParams p = good;
    EXPECT_EQ(conv.gAudio_downconvert(nullptr), kUpDownBadParams);
    p.output = nullptr;
    EXPECT_EQ(conv.gAudio_downconvert(&p), kUpDownBadParams);
    p = good;
    p.input = nullptr;
    EXPECT_EQ(conv.gAudio_downconvert(&p), kUpDownBadParams);
    p = good;
    p.inRate = 0;
    EXPECT_EQ(conv.gAudio_downconvert(&p), kUpDownBadParams);
    p = good;
    p.commonRate = 44100;  // not a multiple of 48000
    EXPECT_EQ(conv.gAudio_downconvert(&p), kUpDownBadParams);
    p = good;
    p.count = -1;
    EXPECT_EQ(conv.gAudio_downconvert(&p), kUpDownBadParams);
    p = params(buf, buf, 2, 44100, 88200, 88200);
    p.taps = 31;  // coefficients missing
    EXPECT_EQ(conv.gAudio_downconvert(&p), kUpDownBadParams);
    EXPECT_EQ(conv.prepareFilter(nullptr, 31, 2, false), kUpDownBadParams);
}

TEST(FreqAxis, ZeroStuffingAndOverlapSave) {
    CUpDownConv conv;
    const double pcm[4] = {0.5, -0.5, 0.25, 1.0};
    std::vector<double> up(2 * 8, 9.0);
    ASSERT_EQ(conv.gAudio_upconvertFreqAxis(up.data(), pcm, nullptr, 2, 44100, 176400, 0, 0, 0, 0, nullptr), kUpDownOk);
    EXPECT_EQ(up, (std::vector<double>{0.5, -0.5, 0, 0, 0, 0, 0, 0, 0.25, 1.0, 0, 0, 0, 0, 0, 0}));
    const uint8_t l = 0x80, r = 0x00;
    const uint8_t *dsd[2] = {&l, &r};
    std::vector<double> d(2 * 4, 9.0);
    ASSERT_EQ(conv.gAudio_upconvertFreqAxis(d.data(), nullptr, dsd, 2, 2822400, 5644800, 1, 1, 0, 0, nullptr),
              kUpDownOk);
    EXPECT_EQ(d, (std::vector<double>{2, -2, 2, -2, -2, -2, -2, -2}));

    // Overlap-save against the direct convolution: N = 1024, 63 taps,
    // 2:1 decimation from frame T on.
    const int N = 1024, stages = 10, T = 63;
    classFFT fft;
    ASSERT_EQ(fft.changeFFTorder(N), kFftOk);
    std::vector<double> cosine(2 * N), sine(2 * N);
    std::vector<uint64_t> bitrev(N);
    fft.calcFftCoef(0, cosine.data(), sine.data(), bitrev.data());
    const std::vector<double> coef = design(88200, 19845, T, 1);
    std::vector<double> h(2 * (N + 1), 0.0), hr(2 * (N + 1)), hi(2 * (N + 1));
    std::copy(coef.begin(), coef.begin() + 2 * T, h.begin());
    ASSERT_EQ(fft.doFft(0, stages, hr.data(), hi.data(), h.data()), kFftOk);

    const std::vector<double> in = noise(N, 11);
    const std::vector<double> inCopy = in;
    const uint32_t n = (N - T) / 2;
    std::vector<double> out(2 * n);
    ASSERT_EQ(conv.gAudio_downconvertFreqAxis(out.data(), in.data(), n, 88200, 44100, 88200, 0, 0, hr.data(), hi.data(),
                                              T, nullptr, 0, &fft, N, stages, nullptr, nullptr, false, nullptr),
              kUpDownOk);
    EXPECT_EQ(in, inCopy);
    double err = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const int t = T + 2 * int(i);
        for (int c = 0; c < 2; ++c) {
            double s = 0;
            for (int k = 0; k < T; ++k) s += coef[2 * k + c] * in[2 * (t - k) + c];
            err = std::max(err, std::fabs(out[2 * i + c] - s));
        }
    }
    EXPECT_LT(err, 1e-12);

    // A block that would read past N frames, or a size the transform does
    // not have, is refused.
    EXPECT_EQ(
        conv.gAudio_downconvertFreqAxis(out.data(), in.data(), n + 2, 88200, 44100, 88200, 0, 0, hr.data(), hi.data(),
                                        T, nullptr, 0, &fft, N, stages, nullptr, nullptr, false, nullptr),
        kUpDownBadParams);
    EXPECT_EQ(
        conv.gAudio_downconvertFreqAxis(out.data(), in.data(), 10, 88200, 44100, 88200, 0, 0, hr.data(), hi.data(), T,
                                        nullptr, 0, &fft, 2048, 11, nullptr, nullptr, false, nullptr),
        kUpDownBadParams);
}

}  // namespace
