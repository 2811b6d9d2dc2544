// The modulator against a plain model, bit for bit, and its documented
// behaviours: idle and half-scale streams, overload and hold, partial bytes,
// the glide coefficient and the input saturation.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "dsm5th_builds.h"
#include "dsm5th_reference.h"
#include "dsp/dsm5th.h"

namespace {

constexpr double kFS = 36028797018963968.0;  // 2^55

template <class Dut>
dsmref::Model makeModel() {
    return dsmref::Model(Build<Dut>::threshold, Build<Dut>::cutShift);
}

template <class Dut>
void expectSameState(const Dut &m, const dsmref::Model &r, int call) {
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 5; ++k)
            ASSERT_EQ(m.mInteg[k][c], r.I[c][k]) << "call " << call << " I" << k + 1 << " ch " << c;
        ASSERT_EQ(m.mFirstOrder[c], r.firstOrder[c]) << "call " << call;
        ASSERT_EQ(m.mShiftReg[c], r.shiftReg[c]) << "call " << call;
        ASSERT_EQ(m.mFirstOrderShiftReg[c], r.firstOrderShiftReg[c]) << "call " << call;
        ASSERT_EQ(m.mBitConv[c], r.bitConv[c]) << "call " << call;
        ASSERT_EQ(m.mMutePatVol[c], r.vol[c]) << "call " << call;
        ASSERT_EQ(m.mMutePatVolTarget[c], r.target[c]) << "call " << call;
        ASSERT_EQ(m.mCutFlags[c], r.cut[c]) << "call " << call;
        for (int j = 0; j < 8; ++j) ASSERT_EQ(m.mMutePat[j][c], r.pat[j][c]) << "call " << call;
    }
    ASSERT_EQ(m.mOverload, r.overload) << "call " << call;
    ASSERT_EQ(m.mOverloadPrev, r.overloadPrev) << "call " << call;
    ASSERT_EQ(m.mOverloadSevere, r.overloadSevere) << "call " << call;
    ASSERT_EQ(m.mOverloadHold, r.hold) << "call " << call;
    ASSERT_EQ(m.mMuteFull, r.muteFull) << "call " << call;
}

enum class Signal { Noise, LoudSine, Overload, Extremes, Quiet, Silence };

// Input sample of the given kind at absolute position t (both channels).
struct SignalSource {
    Signal kind;
    std::mt19937_64 rng;
    explicit SignalSource(Signal k, uint64_t seed) : kind(k), rng(seed) {}

    void fill(std::vector<double> &in, size_t frames, uint64_t t0) {
        in.assign(2 * frames, 0.0);
        std::uniform_real_distribution<double> uni(-1.0, 1.0);
        for (size_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(t0 + i);
            for (int c = 0; c < 2; ++c) {
                double v = 0.0;
                switch (kind) {
                case Signal::Noise: v = 0.7 * kFS * uni(rng); break;
                case Signal::LoudSine:
                    // Near full scale on the left, past it on the right: the
                    // right channel overloads now and then, and overload is
                    // decided for both.
                    v = (c == 0 ? 0.95 : 1.15) * kFS * std::sin(2 * M_PI * t * (c ? 3.1e-4 : 1.7e-4));
                    break;
                case Signal::Overload: v = ((t0 + i) / 20000) % 3 == 1 ? 4.0 * kFS : 0.3 * kFS * uni(rng); break;
                case Signal::Extremes: {
                    static const double kOdd[] = {std::numeric_limits<double>::quiet_NaN(),
                                                  std::numeric_limits<double>::infinity(),
                                                  -std::numeric_limits<double>::infinity(),
                                                  1e300,
                                                  -1e300,
                                                  9223372036854775808.0,
                                                  -9223372036854775808.0,
                                                  9.2e18,
                                                  -9.2e18};
                    v = (rng() % 50 == 0) ? kOdd[rng() % 9] : 0.5 * kFS * uni(rng);
                    break;
                }
                case Signal::Quiet: v = 1e-3 * kFS * uni(rng); break;
                case Signal::Silence: break;
                }
                in[2 * i + c] = v;
            }
        }
    }
};

template <class Dut>
class Dsm5thBitExact : public ::testing::Test {};
using Builds = ::testing::Types<classDsm5thApp, classDsm5th>;
TYPED_TEST_SUITE(Dsm5thBitExact, Builds);

// Runs check once per instruction set of the byte loop (each capped at what
// the processor has): every one must give the model's bits.
template <class Check>
void atEveryIsa(Check check) {
    for (int isa : {kDsmIsaSse2, kDsmIsaAvx2, kDsmIsaAvx512}) {
        SCOPED_TRACE(::testing::Message() << "instruction set level " << isa);
        dsm5thLimitIsa(isa);
        check();
        if (::testing::Test::HasFatalFailure()) break;
    }
    dsm5thLimitIsa(kDsmIsaAvx512);
}

// Every signal, block shape and pattern volume through both variants of the
// block call, against the model.
template <class TypeParam>
void checkManyCalls() {
    const struct {
        Signal signal;
        bool fade;
        int32_t rate;
        double fixedVol = -1;  // >= 0: settled pattern volume and cutting from the start
    } cases[] = {
        {Signal::Noise, false, 2822400},        {Signal::Noise, true, 2822400},
        {Signal::LoudSine, false, 5644800},     {Signal::LoudSine, true, 5644800},
        {Signal::Overload, false, 2822400},     {Signal::Overload, true, 11289600},
        {Signal::Extremes, false, 2822400},     {Signal::Extremes, true, 2822400},
        {Signal::Quiet, true, 44100},           {Signal::Quiet, true, 2822400, 1.0},
        {Signal::Silence, true, 2822400, 1.0},  {Signal::Noise, true, 2822400, 0.0},
        {Signal::Extremes, true, 2822400, 1.0},
    };
    const double vols[][2] = {{0, 0}, {1, 1}, {0.5, 0.5}, {1, 0.25}, {0.3, 1}};
    uint64_t seed = 1;
    // The cases must reach every mechanism the model describes.
    bool sawOverload = false, sawCut = false, sawConsistent = false;
    for (const auto &cs : cases) {
        SCOPED_TRACE(::testing::Message() << "signal " << int(cs.signal) << " fade " << cs.fade);
        TypeParam dut;
        dsmref::Model ref = makeModel<TypeParam>();
        dut.initDsm5thIntegrators(cs.rate);
        ref.init(cs.rate);
        SignalSource src(cs.signal, seed++);
        std::mt19937 pick(static_cast<uint32_t>(seed * 77));
        std::vector<double> in;
        uint64_t t = 0;
        double vol[2] = {0, 0};
        if (cs.fixedVol >= 0) {
            vol[0] = vol[1] = cs.fixedVol;
            dut.setMutePatVolume(cs.fixedVol);
            ref.vol[0] = ref.vol[1] = ref.target[0] = ref.target[1] = cs.fixedVol;
            dut.mCutFlags[0] = dut.mCutFlags[1] = ref.cut[0] = ref.cut[1] = 0x80;
        }
        for (int call = 0; call < 400; ++call) {
            // Mostly whole blocks; a fair share of short and partial ones.
            uint32_t n;
            switch (pick() % 6) {
            case 0: n = 1 + pick() % 8; break;
            case 1: n = 9 + pick() % 16; break;
            default: n = 8 * (64 + pick() % 512) - (pick() % 3 == 0 ? pick() % 8 : 0); break;
            }
            int32_t phase = static_cast<int32_t>(pick() % 8);
            if (pick() % 40 == 0) phase = -phase;
            if (cs.fixedVol < 0 && call % 25 == 0) {
                const auto &v = vols[pick() % 5];
                vol[0] = v[0];
                vol[1] = v[1];
            }
            if (cs.fade && cs.fixedVol < 0 && call % 30 == 10) {
                // The owner of the fade starts or ends a cutting.
                const uint32_t flags = (pick() % 3) ? 0x80u : 0u;
                dut.mCutFlags[0] = ref.cut[0] = flags;
                dut.mCutFlags[1] = ref.cut[1] = (pick() % 2) ? flags : 0u;
            }
            const uint64_t L = (uint64_t(n) + 7) / 8;
            src.fill(in, 8 * L, t);
            t += n;
            std::vector<uint8_t> o0(L, 0xEE), o1(L, 0xEE), r0(L, 0x11), r1(L, 0x11);
            uint8_t *out[2] = {o0.data(), o1.data()};
            if (cs.fade)
                dut.dsm5thFade(out, in.data(), n, phase, vol);
            else
                dut.dsm5th(out, in.data(), n, phase, vol);
            ref.block(r0.data(), r1.data(), in.data(), n, phase, vol, cs.fade);
            ASSERT_EQ(o0, r0) << "call " << call << " n " << n << " phase " << phase;
            ASSERT_EQ(o1, r1) << "call " << call << " n " << n << " phase " << phase;
            expectSameState(dut, ref, call);
            sawOverload |= ref.overload != 0;
            sawCut |= ((ref.cut[0] | ref.cut[1]) & 0x1F) != 0;
            sawConsistent |= ((ref.cut[0] | ref.cut[1]) & 0x60) != 0;
        }
    }
    EXPECT_TRUE(sawOverload);
    EXPECT_TRUE(sawCut);
    EXPECT_TRUE(sawConsistent);
}

TYPED_TEST(Dsm5thBitExact, MatchesModelOverManyCalls) { atEveryIsa(checkManyCalls<TypeParam>); }

// Long bits-only runs: the stream itself, over calls of device-buffer size.
template <class TypeParam>
void checkPatternGlides() {
    TypeParam dut;
    dsmref::Model ref = makeModel<TypeParam>();
    dut.initDsm5thIntegrators(2822400);
    ref.init(2822400);
    dut.setMutePatVolume(1.0);
    ref.vol[0] = ref.vol[1] = ref.target[0] = ref.target[1] = 1.0;
    SignalSource src(Signal::Noise, 99);
    std::vector<double> in;
    const uint32_t n = 8 * 512;
    for (int call = 0; call < 200; ++call) {
        // Pattern fades out while the programme fades in, and back.
        const double v = (call / 50) % 2 ? 1.0 : 0.0;
        const double vol[2] = {v, v};
        src.fill(in, n, uint64_t(call) * n);
        for (double &x : in) x *= 1.0 - v;
        std::vector<uint8_t> o0(n / 8), o1(n / 8), r0(n / 8), r1(n / 8);
        uint8_t *out[2] = {o0.data(), o1.data()};
        dut.dsm5th(out, in.data(), n, 0, vol);
        ref.block(r0.data(), r1.data(), in.data(), n, 0, vol, false);
        ASSERT_EQ(o0, r0) << "call " << call;
        ASSERT_EQ(o1, r1) << "call " << call;
        expectSameState(dut, ref, call);
    }
}

TYPED_TEST(Dsm5thBitExact, MatchesModelWithPatternGlides) { atEveryIsa(checkPatternGlides<TypeParam>); }

// Helpers for the behaviour tests below: run a constant or a given signal
// through the program build in whole blocks and collect channel 0's bytes.
std::vector<uint8_t> modulateConstant(classDsm5thApp &m, double x, size_t bytes, uint32_t block = 4096) {
    std::vector<uint8_t> all;
    std::vector<double> in(2 * block, x);
    std::vector<uint8_t> o0(block / 8), o1(block / 8);
    uint8_t *out[2] = {o0.data(), o1.data()};
    const double vol[2] = {0, 0};
    while (all.size() < bytes) {
        m.dsm5th(out, in.data(), block, 0, vol);
        all.insert(all.end(), o0.begin(), o0.end());
    }
    all.resize(bytes);
    return all;
}

double onesFraction(const std::vector<uint8_t> &b, size_t from) {
    size_t ones = 0;
    for (size_t i = from; i < b.size(); ++i) ones += __builtin_popcount(b[i]);
    return double(ones) / double(8 * (b.size() - from));
}

TEST(Dsm5th, IdleInputGivesHalfOnesWithAFourBytePeriod) {
    classDsm5thApp m;
    m.initDsm5thIntegrators(2822400);
    const auto b = modulateConstant(m, 0.0, 40000);
    EXPECT_EQ(m.mOverload, 0u);
    EXPECT_DOUBLE_EQ(onesFraction(b, 1000), 0.5);
    for (size_t i = 1000; i + 4 < b.size(); ++i) ASSERT_EQ(b[i], b[i + 4]) << i;
}

TEST(Dsm5th, HalfScaleGivesThreeQuartersOrOneQuarterOnes) {
    for (double sign : {1.0, -1.0}) {
        classDsm5thApp m;
        m.initDsm5thIntegrators(2822400);
        std::vector<uint8_t> all;
        std::vector<double> in(2 * 4096, sign * kFS / 2);
        std::vector<uint8_t> o0(512), o1(512);
        uint8_t *out[2] = {o0.data(), o1.data()};
        const double vol[2] = {0, 0};
        for (int call = 0; call < 100; ++call) {
            m.dsm5th(out, in.data(), 4096, 0, vol);
            ASSERT_EQ(m.mOverload, 0u) << call;
            all.insert(all.end(), o0.begin(), o0.end());
        }
        EXPECT_NEAR(onesFraction(all, 100), sign > 0 ? 0.75 : 0.25, 1e-4);
    }
}

// Full scale and beyond: overload within the first block, the integrators
// are cleared and the output becomes the first-order stream delayed by 15
// bits, held for at least 5000 bytes.
TEST(Dsm5th, FullScaleEntersOverloadAndHoldsTheFirstOrderStream) {
    const double inputs[] = {
        kFS, -kFS, 2 * kFS, 1e30, std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (double x : inputs) {
        SCOPED_TRACE(x);
        classDsm5thApp m;
        m.initDsm5thIntegrators(2822400);
        // An independent first-order modulator with the same register fill.
        const int64_t X = dsmref::toInt(x);
        int64_t fo = 0;
        uint64_t reg = 0x9696969696969696ull;
        auto foByte = [&]() {
            for (int j = 0; j < 8; ++j) {
                const bool u = fo >= 0;
                reg = (reg << 1) | u;
                fo = dsmref::sub(dsmref::add(fo, X), u ? dsmref::FS : -dsmref::FS);
            }
            return static_cast<uint8_t>(reg >> 15);
        };
        // Two bytes per call: the main byte decides overload and hold, the
        // last byte only follows.
        std::vector<double> in(2 * 16, x);
        uint8_t o0[2], o1[2];
        uint8_t *out[2] = {o0, o1};
        const double vol[2] = {0, 0};
        int entry = -1, held = 0;
        for (int call = 0; call < 6000; ++call) {
            const uint32_t before = m.mOverload;
            m.dsm5th(out, in.data(), 16, 0, vol);
            const uint8_t e0 = foByte(), e1 = foByte();
            if (entry < 0 && before != 0) entry = call;
            if (entry >= 0) {
                if (before == 0) break;
                ASSERT_EQ(o0[0], e0) << call;
                ASSERT_EQ(o1[0], e0) << call;
                ASSERT_EQ(o0[1], e1) << call;
                ++held;
            }
        }
        ASSERT_GE(entry, 0);
        EXPECT_LT(entry, 256);  // within the first 4096-bit block
        EXPECT_GE(held, 5001);
    }
}

TEST(Dsm5th, OverloadEntryClearsIntegratorsAndStartsTheHold) {
    classDsm5thApp m;
    m.initDsm5thIntegrators(2822400);
    m.mOverload = kDsmOverloadOn;  // the previous byte overloaded, prev 0
    m.mInteg[2][1] = 12345;
    std::vector<double> in(2 * 16, 0.0);
    uint8_t o0[2], o1[2];
    uint8_t *out[2] = {o0, o1};
    const double vol[2] = {0, 0};
    m.dsm5th(out, in.data(), 16, 0, vol);
    EXPECT_EQ(m.mOverloadHold, 5000);
    EXPECT_EQ(m.mOverload, 1u);
    EXPECT_EQ(m.mOverloadPrev, uint32_t(kDsmOverloadOn));
    m.dsm5th(out, in.data(), 16, 0, vol);
    EXPECT_EQ(m.mOverloadHold, 4999);
}

TEST(Dsm5th, GlideCoefficientReachesOneTenthInTenMilliseconds) {
    classDsm5thApp m;
    EXPECT_EQ(m.mMutePatVolCoef[0], 0.9);
    m.initDsm5thIntegrators(44100);
    EXPECT_NEAR(m.mMutePatVolCoef[0], 0.95908, 5e-6);
    EXPECT_EQ(m.mMutePatVolCoef[0], m.mMutePatVolCoef[1]);
    EXPECT_EQ(m.mMutePatVolCoef[0], 1.0 - 2.0 / (5512.0 * 0.019999999552965164 / 2.3025851249694824 + 1.0));
    // 0.01 s worth of bytes brings the distance to one tenth.
    m.initDsm5thIntegrators(2822400);
    EXPECT_NEAR(std::pow(m.mMutePatVolCoef[0], 352800 * 0.01), 0.1, 2e-3);
}

TEST(Dsm5th, ShortCallsRunOnlyTheLastByteWithoutGlide) {
    std::vector<double> in(2 * 16, 0.0);
    uint8_t o0[2], o1[2];
    uint8_t *out[2] = {o0, o1};
    const double vol[2] = {1.0, 1.0};
    for (uint32_t n : {1u, 5u, 8u}) {
        classDsm5thApp m;
        m.initDsm5thIntegrators(2822400);
        m.dsm5th(out, in.data(), n, 0, vol);
        EXPECT_EQ(m.mMutePatVol[0], 0.0) << n;   // no glide
        EXPECT_EQ(m.mMutePat[0][0], -kFS) << n;  // the target's pattern
    }
    classDsm5thApp m;
    m.initDsm5thIntegrators(2822400);
    m.dsm5th(out, in.data(), 9, 0, vol);  // one main byte, one bit of the last
    EXPECT_NEAR(m.mMutePatVol[0], 1.0 - m.mMutePatVolCoef[0], 1e-15);
    EXPECT_EQ(m.mShiftReg[0] >> 9, 0x9696969696969696ull & ((uint64_t(1) << 55) - 1));  // nine bits in
}

TEST(Dsm5th, PhaseKeepsTheBitsAlreadyInTheRegisters) {
    classDsm5thApp a, b;
    a.initDsm5thIntegrators(2822400);
    b.initDsm5thIntegrators(2822400);
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> uni(-0.5 * kFS, 0.5 * kFS);
    std::vector<double> in(2 * 64);
    for (double &v : in) v = uni(rng);
    std::vector<double> poisoned = in;
    for (int i = 0; i < 6; ++i) poisoned[i] = 1e300;  // samples 0..2 are not read
    uint8_t x0[8], x1[8], y0[8], y1[8];
    uint8_t *ox[2] = {x0, x1};
    uint8_t *oy[2] = {y0, y1};
    const double vol[2] = {0, 0};
    const uint64_t regBefore = a.mShiftReg[0];
    a.dsm5th(ox, in.data(), 64, 3, vol);
    b.dsm5th(oy, poisoned.data(), 64, 3, vol);
    EXPECT_EQ(0, memcmp(x0, y0, 8));
    EXPECT_EQ(0, memcmp(x1, y1, 8));
    EXPECT_EQ(x0[0] >> 5, static_cast<uint8_t>(regBefore & 7));
    // The last byte's new bits sit at the bottom of the byte written, and the
    // next call with the matching phase rewrites that byte whole.
    classDsm5thApp c;
    c.initDsm5thIntegrators(2822400);
    uint8_t z0[8], z1[8];
    uint8_t *oz[2] = {z0, z1};
    c.dsm5th(oz, in.data(), 21, 0, vol);  // bytes 0, 1 whole, 5 bits of byte 2
    EXPECT_EQ(z0[2], static_cast<uint8_t>(c.mShiftReg[0]));
    uint8_t w0[6], w1[6];
    uint8_t *ow[2] = {w0, w1};
    c.dsm5th(ow, in.data() + 2 * 16, 64 - 16, 5, vol);
    EXPECT_EQ(w0[0] >> 3, z0[2] & 0x1F);
}

TEST(Dsm5th, MuteFullFollowsChannelZerosTarget) {
    classDsm5thApp m;
    m.initDsm5thIntegrators(2822400);
    std::vector<double> in(2 * 8, 0.0);
    uint8_t o0[1], o1[1];
    uint8_t *out[2] = {o0, o1};
    const double a[2] = {1.0, 0.5}, b[2] = {0.5, 1.0};
    m.dsm5th(out, in.data(), 8, 0, a);
    EXPECT_TRUE(m.mMuteFull);
    m.dsm5th(out, in.data(), 8, 0, b);
    EXPECT_FALSE(m.mMuteFull);
}

TEST(Dsm5th, FadeLastByteUsesATwoLevelQuantiser) {
    std::vector<double> in(2 * 8, 0.0);
    uint8_t o0[1], o1[1];
    uint8_t *out[2] = {o0, o1};
    const double vol[2] = {0, 0};
    const int64_t bigI5 = int64_t(28000000) << 32;  // between 3 * 2^23 and 15 * 2^21
    for (bool fade : {false, true}) {
        classDsm5thApp m;
        m.initDsm5thIntegrators(2822400);
        m.mInteg[4][0] = bigI5;
        if (fade)
            m.dsm5thFade(out, in.data(), 1, 0, vol);
        else
            m.dsm5th(out, in.data(), 1, 0, vol);
        // One step from bitConv = 0 (bit 1): bitConv = f - 2^55.
        EXPECT_EQ(m.mBitConv[0], fade ? 0 : 2 * dsmref::FS) << fade;
    }
}

// The saturation of out-of-range inputs: in-range values convert exactly as
// a plain truncation, the rest clamp, NaN is 0.
TEST(Dsm5th, InputConversionSaturates) {
    const struct {
        double x;
        int64_t want;
    } rows[] = {
        {0.0, 0},
        {-0.9, 0},
        {kFS + 0.5, int64_t(1) << 55},
        {-1234.99, -1234},
        {9223372036854774784.0, INT64_C(9223372036854774784)},
        {9223372036854775808.0, INT64_MAX},
        {-9223372036854775808.0, INT64_MIN},
        {-9.3e18, INT64_MIN},
        {1e300, INT64_MAX},
        {std::numeric_limits<double>::infinity(), INT64_MAX},
        {-std::numeric_limits<double>::infinity(), INT64_MIN},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto &r : rows) EXPECT_EQ(dsm5thInputToInt(r.x), r.want) << r.x;
}

}  // namespace
