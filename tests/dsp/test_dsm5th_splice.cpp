// Fades and splices of the modulator: volume settling, integrator cutting,
// mute consistency, and the bit-exact switch between the modulated stream
// and another stream, in both builds.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "dsm5th_builds.h"
#include "dsp/dsm5th.h"

namespace {

template <class Dut>
class Dsm5thSplice : public ::testing::Test {};
using Builds = ::testing::Types<classDsm5thApp, classDsm5th>;
TYPED_TEST_SUITE(Dsm5thSplice, Builds);

std::vector<uint8_t> randomBytes(size_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// The other stream's bits that window byte i meets at a lag of 17 bits.
uint8_t lagged17(const std::vector<uint8_t> &S, size_t i) {
    return static_cast<uint8_t>((S[i] << 7) | (S[i + 1] >> 1));
}

// Modulated bytes that agree with S at a lag of 17 bits, except for the bits
// set in disagree(window byte).
template <class F>
std::vector<uint8_t> modulatedLike(const std::vector<uint8_t> &S, F disagree, uint64_t seed) {
    std::vector<uint8_t> M = randomBytes(S.size(), seed);
    for (size_t i = 0; i + 3 < S.size(); ++i) M[3 + i] = static_cast<uint8_t>(lagged17(S, i) ^ disagree(i));
    return M;
}

bool bitAt(const std::vector<uint8_t> &v, size_t t) { return (v[t / 8] >> (7 - t % 8)) & 1; }

TEST(Dsm5thFade, CheckConsistentSnapsEachChannelOnItsOwn) {
    classDsm5thApp m;
    m.mMutePatVol[0] = 0.99996;
    m.mMutePatVol[1] = 0.5;
    m.mMutePatVolTarget[0] = m.mMutePatVolTarget[1] = 1.0;
    EXPECT_FALSE(m.checkConsistent());
    EXPECT_EQ(m.mMutePatVol[0], 1.0);
    EXPECT_EQ(m.mMutePatVol[1], 0.5);
    m.mMutePatVol[1] = 1.00004;
    EXPECT_TRUE(m.checkConsistent());
    EXPECT_EQ(m.mMutePatVol[1], 1.0);
    m.setMutePatVolume(0.25);
    EXPECT_EQ(m.mMutePatVol[1], 0.25);
    EXPECT_EQ(m.mMutePatVolTarget[0], 0.25);
}

TYPED_TEST(Dsm5thSplice, CuttingMovesOneIntegratorOfActiveChannelsToTheNextStep) {
    const int64_t q1 = int64_t(1) << (39 + Build<TypeParam>::cutShift);
    const int64_t q2 = int64_t(1) << (35 + Build<TypeParam>::cutShift);
    const struct {
        uint32_t flags;
        int64_t i1, i2;
        int64_t wantI1, wantI2;
        uint32_t wantFlags;
    } rows[] = {
        {0x80, 0, 0, q1, 0, 0x80},               // on a multiple: a whole step up
        {0x80, -q1, 5, 0, 5, 0x81},              // reaches the clean quantum 2^56
        {0x80, q1 + 12345, 0, 2 * q1, 0, 0x80},  // low bits dropped, then a step
        {0x80, (int64_t(1) << 56) - q1, 0, int64_t(1) << 56, 0, 0x81},
        {0x81, 777, -1, 777, 0, 0x83},  // I1 done: I2 moves, -1 -> 0 is clean
        {0x81, 777, 1, 777, q2, 0x81},
        {0x00, 3, 3, 3, 3, 0x00},  // cutting not active
        {0x9F, 3, 3, 3, 3, 0x9F},  // all five already cut
    };
    for (const auto &r : rows) {
        TypeParam m;
        m.mCutFlags[0] = r.flags;
        m.mInteg[0][0] = r.i1;
        m.mInteg[1][0] = r.i2;
        m.mInteg[0][1] = 99;  // channel 1 is not active and must not move
        m.CuttingFractionCircuit(false);
        EXPECT_EQ(m.mInteg[0][0], r.wantI1) << std::hex << r.flags;
        EXPECT_EQ(m.mInteg[1][0], r.wantI2) << std::hex << r.flags;
        EXPECT_EQ(m.mCutFlags[0], r.wantFlags) << std::hex << r.flags;
        EXPECT_EQ(m.mInteg[0][1], 99);
        EXPECT_EQ(m.mCutFlags[1], 0u);
    }
}

TEST(Dsm5thFade, MuteConsistencyNeedsAllCutAndCleanFirstIntegrators) {
    const struct {
        bool on;
        uint8_t x;
        uint32_t flags;
        int64_t i1;
        bool applies;
    } rows[] = {
        {true, 0, 0x9F, 0, true},  {false, 0, 0x9F, 0, false},
        {true, 1, 0x9F, 0, false}, {true, 0, 0x8F, 0, false},  // I5 not cut yet
        {true, 0, 0xDF, 0, true},                              // 0x40 alone does not block
        {true, 0, 0xBF, 0, false},                             // already consistent
        {true, 0, 0x9F, 1, false},                             // I1 not zero
        {true, 0, 0x1F, 0, false},                             // not active
    };
    for (const auto &r : rows) {
        classDsm5thApp m;
        m.mCutFlags[0] = r.flags;
        m.mInteg[0][0] = r.i1;
        m.mInteg[2][0] = m.mInteg[3][0] = m.mInteg[4][0] = 7;
        m.consistMute(r.on, r.x);
        EXPECT_EQ(m.mInteg[2][0], r.applies ? 0 : 7) << std::hex << r.flags;
        EXPECT_EQ(m.mInteg[3][0], r.applies ? 0 : 7);
        EXPECT_EQ(m.mInteg[4][0], 7);
        EXPECT_EQ(m.mCutFlags[0], r.applies ? (r.flags | 0x60) : r.flags);
    }
}

// A whole fade on silence with the pattern fully on: the cutting finishes,
// the state becomes mute-consistent and a pending switch to the mute stream
// then happens.
TYPED_TEST(Dsm5thSplice, FadeToThePatternFinishesCuttingThenSwitches) {
    TypeParam m;
    m.initDsm5thIntegrators(2822400);
    m.setMutePatVolume(1.0);
    m.mCutFlags[0] = m.mCutFlags[1] = kDsmCutActive;
    m.mSpliceReq[0] = m.mSpliceReq[1] = 1;
    const int32_t n = 4096;
    std::vector<double> in(2 * n, 0.0);
    std::vector<uint8_t> o0(n / 8), o1(n / 8);
    std::vector<uint8_t> mute(n / 8, 0x2D);
    uint8_t *out[2] = {o0.data(), o1.data()};
    const uint8_t *src[2] = {mute.data(), mute.data()};
    const double vol[2] = {1.0, 1.0};
    int switched = -1;
    for (int call = 0; call < 2000 && switched < 0; ++call) {
        m.dsm5thFade(out, in.data(), n, 0, vol);
        m.compareDsm(out, src, n, 0, 17, true);
        if (m.mSpliceCur[0] == 1) {
            switched = call;
            // No switch before the cutting and the consistency were done.
            EXPECT_EQ(m.mCutFlags[0], 0xFFu);
        }
    }
    ASSERT_GE(switched, 0);
}

TYPED_TEST(Dsm5thSplice, CopyDelaysTheOtherStreamBy17BitsAcrossCalls) {
    TypeParam m;
    m.mSpliceReq[0] = m.mSpliceCur[0] = 1;
    const int32_t n = 8 * 40;
    std::vector<uint8_t> allSrc, allOut;
    for (int call = 0; call < 5; ++call) {
        auto S = randomBytes(n / 8, 10 + call);
        auto M = randomBytes(n / 8, 20 + call);
        auto M1 = M;
        uint8_t *out[2] = {M.data(), M1.data()};
        const uint8_t *src[2] = {S.data(), S.data()};
        m.compareDsm(out, src, n, 0, 17, call % 2 == 0);
        EXPECT_EQ(M1, randomBytes(n / 8, 20 + call));  // the other channel is untouched
        allSrc.insert(allSrc.end(), S.begin(), S.end());
        allOut.insert(allOut.end(), M.begin(), M.end());
    }
    const uint8_t h = Build<TypeParam>::muteByte;
    for (size_t t = 0; t < allOut.size() * 8; ++t) {
        const bool want = t < 17 ? ((h >> (7 - (t + 7) % 8)) & 1) : bitAt(allSrc, t - 17);
        ASSERT_EQ(bitAt(allOut, t), want) << "bit " << t;
    }
    EXPECT_EQ(m.mSpliceCur[0], 1u);
}

// Identical streams at a lag of 17: the program build needs 12 matching bits
// at the start of a call (run 8 after window byte 0, splice at C = 16, so
// output byte 5 is the first copied one); the library build needs 8.
TYPED_TEST(Dsm5thSplice, IdenticalStreamsSpliceAtTheFirstLongEnoughRun) {
    const int32_t n = 8 * 64;
    const auto S = randomBytes(n / 8, 3);
    // Agree on window bytes 0 and 1 only.
    const auto M = modulatedLike(
        S, [](size_t i) { return i < 2 ? 0 : 0xFF; }, 4);
    const int32_t wantC = Build<TypeParam>::allowance ? 16 : 8;
    {
        TypeParam m;
        int32_t run = 0;
        EXPECT_EQ(m.compareDsmSub(M.data(), S.data(), n, &run, 17, 8), wantC);
        EXPECT_EQ(run, 0);
    }
    // To the other stream.
    TypeParam m;
    m.mSpliceReq[0] = 1;
    m.mCompareLen = 5;
    auto out0 = M, out1 = M;
    uint8_t *out[2] = {out0.data(), out1.data()};
    const uint8_t *src[2] = {S.data(), S.data()};
    m.compareDsm(out, src, n, 0, 17, true);
    ASSERT_EQ(m.mSpliceCur[0], 1u);
    EXPECT_EQ(m.mCompareLen, 8);
    EXPECT_EQ(m.mCompareTotal, 0);
    const size_t firstCopied = wantC / 8 + 3;
    for (size_t k = 0; k < out0.size(); ++k) {
        const uint8_t want = k < firstCopied ? M[k] : lagged17(S, k - 3);
        ASSERT_EQ(out0[k], want) << k;
    }
    // And back: history bytes, the other stream up to the splice, then the
    // modulated bytes.
    m.mSpliceReq[0] = 0;
    auto back = M;
    uint8_t *outB[2] = {back.data(), back.data()};
    m.compareDsm(outB, src, n, 0, 17, true);
    ASSERT_EQ(m.mSpliceCur[0], 0u);
    const uint8_t h = Build<TypeParam>::muteByte;
    EXPECT_EQ(back[0], static_cast<uint8_t>((h << 7) | (h >> 1)));
    EXPECT_EQ(back[2], static_cast<uint8_t>((h << 7) | (S[0] >> 1)));
    for (size_t k = 3; k < back.size(); ++k) {
        const uint8_t want = k < firstCopied ? lagged17(S, k - 3) : M[k];
        ASSERT_EQ(back[k], want) << k;
    }
}

// A splice inside a byte mixes it: modulated bits before the point, the
// other stream's from it. Both patterns put the point at bit 22: a carried
// run (8 in the program build, 4 in the library's) plus six matching bits
// at the top of window byte 2.
TYPED_TEST(Dsm5thSplice, SpliceInsideAByteMixesIt) {
    const int32_t n = 8 * 32;
    const auto S = randomBytes(n / 8, 8);
    const uint8_t second = Build<TypeParam>::allowance ? 0x00 : 0x10;
    const auto M = modulatedLike(
        S, [&](size_t i) { return i == 0   ? 0xFF
                                  : i == 1 ? second
                                  : i == 2 ? 0x02
                                           : 0xFF; }, 9);
    const int32_t C = 22;
    {
        TypeParam m;
        int32_t run = 0;
        EXPECT_EQ(m.compareDsmSub(M.data(), S.data(), n, &run, 17, 8), C);
    }
    TypeParam m;
    m.mSpliceReq[0] = 1;
    auto out0 = M;
    uint8_t *out[2] = {out0.data(), out0.data()};
    const uint8_t *src[2] = {S.data(), S.data()};
    m.compareDsm(out, src, n, 0, 17, true);
    ASSERT_EQ(m.mSpliceCur[0], 1u);
    const uint8_t D = static_cast<uint8_t>(0xFF >> (C % 8));
    const size_t pos = C / 8;
    EXPECT_EQ(out0[pos + 3], static_cast<uint8_t>((lagged17(S, pos) & D) | (M[pos + 3] & ~D)));
    for (size_t k = 0; k < pos + 3; ++k) EXPECT_EQ(out0[k], M[k]) << k;
    for (size_t k = pos + 4; k < out0.size(); ++k) EXPECT_EQ(out0[k], lagged17(S, k - 3)) << k;
}

TYPED_TEST(Dsm5thSplice, NoSwitchWhileCuttingIsUnfinished) {
    const int32_t n = 8 * 64;
    const auto S = randomBytes(n / 8, 5);
    const auto M = modulatedLike(
        S, [](size_t) { return 0; }, 6);  // agree everywhere
    const struct {
        uint32_t flags;
        bool muteFull;
        bool switches;
    } rows[] = {
        {0x80, false, false}, {0x8F, false, false}, {0x9F, false, true},
        {0x9F, true, false},  {0xFF, true, true},   {0x00, true, true},
    };
    for (uint32_t from : {0u, 1u}) {
        for (const auto &r : rows) {
            TypeParam m;
            m.mSpliceCur[0] = from;
            m.mSpliceReq[0] = 1 - from;
            m.mCutFlags[0] = r.flags;
            m.mMuteFull = r.muteFull;
            auto out0 = M;
            uint8_t *out[2] = {out0.data(), out0.data()};
            const uint8_t *src[2] = {S.data(), S.data()};
            m.compareDsm(out, src, n, 0, 17, false);
            EXPECT_EQ(m.mSpliceCur[0], r.switches ? 1 - from : from)
                << std::hex << r.flags << " " << r.muteFull << " from " << from;
            if (!r.switches && from == 1) {
                // Waiting on the other stream: the copy continues, with the
                // mute byte standing in for a first byte that is not real.
                const uint8_t h = Build<TypeParam>::muteByte;
                EXPECT_EQ(out0[2], static_cast<uint8_t>((h << 7) | (h >> 1)));
                EXPECT_EQ(out0[3], lagged17(S, 0));
            }
            if (!r.switches && from == 0) {
                EXPECT_EQ(out0, M);
            }
        }
    }
}

// Streams that never agree long enough keep the current stream; after
// 1,411,201 bits the compare length falls to 2 and a splice follows, after
// which the configured length is back.
TYPED_TEST(Dsm5thSplice, CompareLengthFallsAfterALongSearch) {
    const int32_t n = 4096;
    TypeParam m;
    int32_t restored = 8;
    if constexpr (std::is_same_v<TypeParam, classDsm5thApp>) {
        m.setCompareLen(4);
        m.mCompareLen = 4;
        restored = 4;
    }
    m.mSpliceReq[0] = 1;
    int fell = -1, spliced = -1;
    for (int call = 0; call < 400 && spliced < 0; ++call) {
        const auto S = randomBytes(n / 8, 1000 + call);
        // Runs of six matching bits, never more.
        const auto M = modulatedLike(
            S, [](size_t) { return 0x81; }, 2000 + call);
        auto out0 = M;
        uint8_t *out[2] = {out0.data(), out0.data()};
        const uint8_t *src[2] = {S.data(), S.data()};
        m.compareDsm(out, src, n, 0, 17, true);
        if (m.mSpliceCur[0] == 1) {
            spliced = call;
        } else {
            ASSERT_EQ(out0, M) << call;
            if (fell < 0 && m.mCompareLen == 2) fell = call;
        }
    }
    // 345 calls of 4096 bits pass 1,411,201.
    EXPECT_EQ(fell, 344);
    EXPECT_EQ(spliced, 345);
    EXPECT_EQ(m.mCompareLen, restored);
    EXPECT_EQ(m.mCompareTotal, 0);
}

TYPED_TEST(Dsm5thSplice, UnusableCallsChangeNothing) {
    const auto S = randomBytes(64, 1);
    const auto M = randomBytes(64, 2);
    const struct { int32_t n, ch, b; } rows[] = {{16, 0, 17}, {0, 0, 17}, {512, 0, -1}, {512, 2, 17}, {512, -1, 17}};
    for (const auto &r : rows) {
        TypeParam m;
        m.mSpliceReq[0] = m.mSpliceCur[0] = 1;
        auto o0 = M, o1 = M;
        uint8_t *out[2] = {o0.data(), o1.data()};
        const uint8_t *src[2] = {S.data(), S.data()};
        m.compareDsm(out, src, r.n, r.ch, r.b, true);
        EXPECT_EQ(o0, M);
        EXPECT_EQ(o1, M);
    }
    // A lag too short to line up still keeps every write inside the buffer.
    TypeParam m;
    m.mSpliceReq[0] = 1;
    auto o0 = M;
    uint8_t *out[2] = {o0.data(), o0.data()};
    const uint8_t *src[2] = {S.data(), S.data()};
    for (int32_t b = 0; b < 40; ++b) m.compareDsm(out, src, 8 * 64, 0, b, true);
}

}  // namespace
