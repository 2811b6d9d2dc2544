#include "dsp/dsm5th.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "dsp/lpf.h"

#if defined(__SSE2__) && defined(__x86_64__)
#include <immintrin.h>
#define DSM_X86 1
#else
#define DSM_X86 0
#endif

namespace {

constexpr int64_t kFS = kDsmFullScale;
constexpr int64_t k3FS = 3 * kDsmFullScale;

// The mute pattern 0x2D read most significant bit first, 1 = positive.
constexpr uint8_t kMutePatternByte = 0x2D;
constexpr double kTwoTo55 = 36028797018963968.0;

// Matching bits from the top of an XOR of two bytes (8 for equal bytes).
struct tNlzTable {
    uint8_t v[256];
    constexpr tNlzTable() : v() {
        for (int x = 0; x < 256; ++x) {
            int z = 0;
            while (z < 8 && !(x & (0x80 >> z))) ++z;
            v[x] = static_cast<uint8_t>(z);
        }
    }
};
constexpr tNlzTable nlz_table;

// Cutting: integrator k moves to the next multiple of its step until it is a
// multiple of its clean quantum.
constexpr int kCutStepLog2[5] = {39, 35, 32, 30, 29};
constexpr int kCutQuantumLog2[5] = {56, 52, 49, 47, 46};

// Wrapping arithmetic on the signed state: the modulator relies on modulo
// 2^64 behaviour, which signed overflow does not promise.
inline int64_t wadd(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t wsub(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

// The high half of a 64-bit value, and its one's-complement magnitude.
inline int32_t highHalf(int64_t v) { return static_cast<int32_t>(v >> 32); }
inline int32_t onesMagnitude(int32_t h) { return h >= 0 ? h : ~h; }

// One channel's running state, kept in registers for the length of a call.
struct tLane {
    int64_t i1, i2, i3, i4, i5;
    int64_t bitConv;
    int64_t firstOrder;
    uint64_t shiftReg;
    uint64_t firstOrderShiftReg;
};

// The quantiser's "|high half of I5| > T" as one unsigned range test:
// I5 + T * 2^32 (mod 2^64) lies above lim exactly when the high half is
// outside [-T, T]. A two-level quantiser uses lim = ~0, which nothing exceeds.
struct tQuantiser {
    uint64_t off;
    uint64_t lim;
};
constexpr tQuantiser fourLevel(int32_t t) {
    return {static_cast<uint64_t>(t) << 32, ((2 * static_cast<uint64_t>(t) + 1) << 32) - 1};
}
constexpr tQuantiser kTwoLevel = {0, ~uint64_t(0)};

// The per-sample step for one channel: input sample x plus pattern value p.
inline void dsmStep(tLane &s, double x, double p, tQuantiser q) {
    const uint64_t o = s.bitConv >= 0;
    s.shiftReg = (s.shiftReg << 1) | o;
    const int64_t i5 = s.i5;
    const int64_t mag = (static_cast<uint64_t>(i5) + q.off > q.lim) ? k3FS : kFS;
    const int64_t f = i5 >= 0 ? mag : -mag;
    const int64_t X = dsm5thInputToInt(x + p);
    s.bitConv = wadd(s.bitConv, f - (o ? kFS : -kFS));
    const int64_t i1 = s.i1, i2 = s.i2, i3 = s.i3, i4 = s.i4;
    s.i5 = wsub(wadd(i5, i4 >> 1), f);
    s.i4 = wsub(wadd(i4, i3 >> 2), f);
    s.i3 = wsub(wadd(i3, i2 >> 3), f);
    s.i2 = wsub(wadd(i2, i1 >> 4), f);
    s.i1 = wsub(wadd(i1, X), f);
    const uint64_t u = s.firstOrder >= 0;
    s.firstOrderShiftReg = (s.firstOrderShiftReg << 1) | u;
    s.firstOrder = wsub(wadd(s.firstOrder, X), u ? kFS : -kFS);
}

inline int64_t &integ(tLane &s, int k) {
    switch (k) {
    case 0: return s.i1;
    case 1: return s.i2;
    case 2: return s.i3;
    case 3: return s.i4;
    default: return s.i5;
    }
}

template <class Policy>
inline void cutLane(tLane &s, uint32_t &flags) {
    if (!(flags & kDsmCutActive)) return;
    for (int k = 0; k < 5; ++k) {
        const uint32_t bit = kDsmCutI1 << k;
        if (flags & bit) continue;
        const uint64_t step = uint64_t(1) << (kCutStepLog2[k] + Policy::kCutStepShift);
        const uint64_t quantum = uint64_t(1) << kCutQuantumLog2[k];
        int64_t &v = integ(s, k);
        v = static_cast<int64_t>((static_cast<uint64_t>(v) & ~(step - 1)) + step);
        if ((static_cast<uint64_t>(v) & (quantum - 1)) == 0) flags |= bit;
        return;
    }
}

inline void consistLane(tLane &s, uint32_t &flags) {
    if ((flags & kDsmConsistReadyMask) == kDsmConsistReady && s.i1 == 0 && s.i2 == 0) {
        s.i3 = 0;
        s.i4 = 0;
        flags |= kDsmMuteConsistent;
    }
}

// Runs bit positions j0..j1-1 of one byte on both channels in lock-step.
// in points at the byte's first sample; pat holds the pattern value per
// channel for a positive sign; after is called after every step with the bit
// position (the fade's cutting hook).
template <class After>
inline void runBits(tLane &a, tLane &b, const double *__restrict in, int j0, int j1, const double pat[2], tQuantiser q,
                    After &&after) {
    for (int j = j0; j < j1; ++j) {
        const bool pos = (kMutePatternByte >> (7 - j)) & 1;
        const double p0 = pos ? pat[0] : -pat[0];
        const double p1 = pos ? pat[1] : -pat[1];
        dsmStep(a, in[2 * j], p0, q);
        dsmStep(b, in[2 * j + 1], p1, q);
        after(j);
    }
}

// The input conversion of the hot path: the processor's truncation, with
// the exact saturating conversion only where it reports out of range (its
// answer is then INT64_MIN, which -2^63 also gives legitimately).
inline int64_t toIntFast(double v) {
#if defined(__SSE2__) && defined(__x86_64__)
    const int64_t r = _mm_cvttsd_si64(_mm_set_sd(v));
    return __builtin_expect(r == INT64_MIN, 0) ? dsm5thInputToInt(v) : r;
#else
    return dsm5thInputToInt(v);
#endif
}

// The inputs of a whole byte with the pattern added (signs of 0x2D:
// - - + - + + - +), converted ahead of the integrator chain.
inline void convertByte(const double *__restrict in, const double pat[2], int64_t *__restrict X) {
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) {
        const bool pos = (kMutePatternByte >> (7 - j)) & 1;
        X[2 * j] = toIntFast(in[2 * j] + (pos ? pat[0] : -pat[0]));
        X[2 * j + 1] = toIntFast(in[2 * j + 1] + (pos ? pat[1] : -pat[1]));
    }
}

#if defined(__SSE2__) && defined(__x86_64__)
// Both channels in the two 64-bit lanes of a vector register. SSE2 has no
// arithmetic shift or signed compare on 64-bit lanes: the shift is a logical
// one with the sign bit moved back into place ((x >>> s) ^ c) - c, c = 2^(63-s),
// and the quantiser compares the high 32-bit halves, which is exactly the
// test on "the high half of I5".
struct tVecState {
    __m128i i1, i2, i3, i4, i5, bc, sr;
    uint64_t fo[2], fsr[2];  // first-order modulator, in general registers
};

inline __m128i pair(int64_t lane0, int64_t lane1) { return _mm_set_epi64x(lane1, lane0); }
inline int64_t lane0(__m128i v) { return _mm_cvtsi128_si64(v); }
inline int64_t lane1(__m128i v) { return _mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)); }

inline tVecState loadVec(const tLane &a, const tLane &b) {
    return {pair(a.i1, b.i1),
            pair(a.i2, b.i2),
            pair(a.i3, b.i3),
            pair(a.i4, b.i4),
            pair(a.i5, b.i5),
            pair(a.bitConv, b.bitConv),
            pair(static_cast<int64_t>(a.shiftReg), static_cast<int64_t>(b.shiftReg)),
            {static_cast<uint64_t>(a.firstOrder), static_cast<uint64_t>(b.firstOrder)},
            {a.firstOrderShiftReg, b.firstOrderShiftReg}};
}

inline void storeVec(const tVecState &v, tLane &a, tLane &b) {
    a.i1 = lane0(v.i1);
    b.i1 = lane1(v.i1);
    a.i2 = lane0(v.i2);
    b.i2 = lane1(v.i2);
    a.i3 = lane0(v.i3);
    b.i3 = lane1(v.i3);
    a.i4 = lane0(v.i4);
    b.i4 = lane1(v.i4);
    a.i5 = lane0(v.i5);
    b.i5 = lane1(v.i5);
    a.bitConv = lane0(v.bc);
    b.bitConv = lane1(v.bc);
    a.firstOrder = static_cast<int64_t>(v.fo[0]);
    b.firstOrder = static_cast<int64_t>(v.fo[1]);
    a.shiftReg = static_cast<uint64_t>(lane0(v.sr));
    b.shiftReg = static_cast<uint64_t>(lane1(v.sr));
    a.firstOrderShiftReg = v.fsr[0];
    b.firstOrderShiftReg = v.fsr[1];
}

template <int S>
inline __m128i sra64(__m128i x) {
    const __m128i c = _mm_set1_epi64x(int64_t(1) << (63 - S));
    return _mm_sub_epi64(_mm_xor_si128(_mm_srli_epi64(x, S), c), c);
}

// A whole normal byte of both channels without hooks. X: the byte's
// converted inputs, eight stereo pairs.
template <int32_t T>
inline void runByte8Vec(tVecState &v, const int64_t *__restrict X) {
    const __m128i fs = _mm_set1_epi64x(kFS);
    const __m128i twoFs = _mm_set1_epi64x(2 * kFS);
    const __m128i tPos = _mm_set1_epi32(T);
    const __m128i tNeg = _mm_set1_epi32(-T);
    __m128i i1 = v.i1, i2 = v.i2, i3 = v.i3, i4 = v.i4, i5 = v.i5, bc = v.bc;
    __m128i acc = _mm_setzero_si128();
    uint64_t fo0 = v.fo[0], fo1 = v.fo[1], facc0 = 0, facc1 = 0;
    for (int j = 0; j < 8; ++j) {
        // Emitted bit: collected inverted (1 = negative bitConv).
        const __m128i neg = _mm_srli_epi64(bc, 63);
        acc = _mm_add_epi64(_mm_add_epi64(acc, acc), neg);
        // Four-level quantiser on I5.
        const __m128i s5 = _mm_shuffle_epi32(_mm_srai_epi32(i5, 31), _MM_SHUFFLE(3, 3, 1, 1));
        const __m128i big = _mm_shuffle_epi32(_mm_or_si128(_mm_cmpgt_epi32(i5, tPos), _mm_cmpgt_epi32(tNeg, i5)),
                                              _MM_SHUFFLE(3, 3, 1, 1));
        const __m128i mag = _mm_or_si128(fs, _mm_and_si128(big, twoFs));
        const __m128i f = _mm_sub_epi64(_mm_xor_si128(mag, s5), s5);
        // bitConv += f - (bit ? 2^55 : -2^55)
        bc = _mm_sub_epi64(_mm_add_epi64(bc, f), _mm_sub_epi64(fs, _mm_slli_epi64(neg, 56)));
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(X + 2 * j));
        const __m128i n5 = _mm_sub_epi64(_mm_add_epi64(i5, sra64<1>(i4)), f);
        const __m128i n4 = _mm_sub_epi64(_mm_add_epi64(i4, sra64<2>(i3)), f);
        const __m128i n3 = _mm_sub_epi64(_mm_add_epi64(i3, sra64<3>(i2)), f);
        const __m128i n2 = _mm_sub_epi64(_mm_add_epi64(i2, sra64<4>(i1)), f);
        i1 = _mm_sub_epi64(_mm_add_epi64(i1, x), f);
        i2 = n2;
        i3 = n3;
        i4 = n4;
        i5 = n5;
        // The first-order modulator runs in the general registers, which
        // the vector chain leaves idle.
        const uint64_t fneg0 = fo0 >> 63, fneg1 = fo1 >> 63;
        facc0 = facc0 * 2 + fneg0;
        facc1 = facc1 * 2 + fneg1;
        fo0 = fo0 + static_cast<uint64_t>(X[2 * j]) - (static_cast<uint64_t>(kFS) - (fneg0 << 56));
        fo1 = fo1 + static_cast<uint64_t>(X[2 * j + 1]) - (static_cast<uint64_t>(kFS) - (fneg1 << 56));
    }
    const __m128i low = _mm_set1_epi64x(0xFF);
    v.i1 = i1;
    v.i2 = i2;
    v.i3 = i3;
    v.i4 = i4;
    v.i5 = i5;
    v.bc = bc;
    v.fo[0] = fo0;
    v.fo[1] = fo1;
    v.sr = _mm_or_si128(_mm_slli_epi64(v.sr, 8), _mm_andnot_si128(acc, low));
    v.fsr[0] = (v.fsr[0] << 8) | (~facc0 & 0xFF);
    v.fsr[1] = (v.fsr[1] << 8) | (~facc1 & 0xFF);
}
#endif

}  // namespace

#if DSM_X86
// The run of whole normal bytes in the wider instruction sets, chosen at
// run time (dsm5thLimitIsa lets the tests compare them).
#pragma GCC push_options
#pragma GCC target("avx2")
namespace dsm_avx2 {
#define DSM_AVX512 0
#include "dsp/dsm5thbytes.inc"
#undef DSM_AVX512
}  // namespace dsm_avx2
#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("avx512f,avx512vl,avx512dq,avx2")
namespace dsm_avx512 {
#define DSM_AVX512 1
#include "dsp/dsm5thbytes.inc"
#undef DSM_AVX512
}  // namespace dsm_avx512
#pragma GCC pop_options
#endif

namespace {

int detectDsmIsa() {
#if DSM_X86
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512dq"))
        return kDsmIsaAvx512;
    return avx2 ? kDsmIsaAvx2 : kDsmIsaSse2;
#else
    return kDsmIsaSse2;
#endif
}

const int kDsmIsaDetected = detectDsmIsa();
std::atomic<int> sDsmIsaLimit{kDsmIsaAvx512};

int dsmIsa() { return std::min(kDsmIsaDetected, sDsmIsaLimit.load(std::memory_order_relaxed)); }

inline bool i1Exceeds(const tLane &a, const tLane &b, int32_t level) {
    return onesMagnitude(highHalf(a.i1)) > level || onesMagnitude(highHalf(b.i1)) > level;
}

inline void clearIntegrators(tLane &s, bool withI1) {
    if (withI1) s.i1 = 0;
    s.i2 = s.i3 = s.i4 = s.i5 = 0;
}

}  // namespace

template <class Policy>
classDsm5thT<Policy>::classDsm5thT() {
    std::memset(static_cast<void *>(this), 0, sizeof(*this));
    for (int c = 0; c < 2; ++c) {
        mMutePatVolCoef[c] = 0.9;
        for (int h = 0; h < 4; ++h) mSpliceHist[c][h] = Policy::kMuteByte;
    }
    mCompareLen = 8;
    mCompareLenSet = 8;
}

template <class Policy>
void classDsm5thT<Policy>::initDsm5thIntegrators(int32_t rate) {
    mOverload = 0;
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 5; ++k) mInteg[k][c] = 0;
        mFirstOrder[c] = 0;
        mBitConv[c] = 0;
        mShiftReg[c] = 0x9696969696969696ull;
        mFirstOrderShiftReg[c] = 0x9696969696969696ull;
        mCutFlags[c] = 0;
    }
    // 0.01 s glide in output bytes, the time taken in single precision (the
    // smoother's ln 10 is single precision too).
    const double coef = lpf::coefFor(static_cast<double>(0.01f), static_cast<double>(rate / 8));
    mMutePatVolCoef[0] = coef;
    mMutePatVolCoef[1] = coef;
}

template <class Policy>
void classDsm5thT<Policy>::setMutePatVolume(double v) {
    mMutePatVol[0] = mMutePatVol[1] = v;
    mMutePatVolTarget[0] = mMutePatVolTarget[1] = v;
}

template <class Policy>
bool classDsm5thT<Policy>::checkConsistent() {
    bool both = true;
    for (int c = 0; c < 2; ++c) {
        if (std::fabs(mMutePatVol[c] - mMutePatVolTarget[c]) < 5e-5)
            mMutePatVol[c] = mMutePatVolTarget[c];
        else
            both = false;
    }
    return both;
}

template <class Policy>
void classDsm5thT<Policy>::dsm5th(uint8_t *const out[2], const double *in, uint32_t n, int32_t phase,
                                  const double *vol) {
    modulate<false>(out, in, n, phase, vol);
}

template <class Policy>
void classDsm5thT<Policy>::dsm5thFade(uint8_t *const out[2], const double *in, uint32_t n, int32_t phase,
                                      const double *vol) {
    modulate<true>(out, in, n, phase, vol);
}

template <class Policy>
template <bool Fade>
void classDsm5thT<Policy>::modulate(uint8_t *const out[2], const double *in, uint32_t n, int32_t phase,
                                    const double *vol) {
    // Whether the pattern volume has settled is judged against the previous
    // target, before this call's target replaces it.
    const bool settled = Fade ? checkConsistent() : false;

    const double target[2] = {vol[0], vol[1]};
    mMutePatVolTarget[0] = target[0];
    mMutePatVolTarget[1] = target[1];
    mMuteFull = (target[0] == 1.0);
    // Pattern value of a positive position; the sign and the power of two
    // are exact, so this equals volume x sign x 2^55 for every position.
    double pat[2] = {target[0] * kTwoTo55, target[1] * kTwoTo55};

    if (n != 0) {
        tLane ln[2];
        for (int c = 0; c < 2; ++c) {
            ln[c] = {mInteg[0][c], mInteg[1][c],   mInteg[2][c], mInteg[3][c],          mInteg[4][c],
                     mBitConv[c],  mFirstOrder[c], mShiftReg[c], mFirstOrderShiftReg[c]};
        }
        tLane &a = ln[0];
        tLane &b = ln[1];
        uint32_t cut[2] = {mCutFlags[0], mCutFlags[1]};
        // The hooks act only on channels whose cutting is active, and
        // nothing in a call sets that bit.
        const bool hooks = Fade && settled && ((cut[0] | cut[1]) & kDsmCutActive);
        const bool muteFull = mMuteFull;
        auto after = [&](int j) {
            if (!hooks) return;
            cutLane<Policy>(a, cut[0]);
            cutLane<Policy>(b, cut[1]);
            if (muteFull && j == 0) {
                consistLane(a, cut[0]);
                consistLane(b, cut[1]);
            }
        };

        // Computed in 64 bits so that no n can wrap the byte count.
        const uint64_t L = (static_cast<uint64_t>(n) + 7) / 8;
        // A negative phase would start before the buffer; count it modulo 8.
        const int d = ((phase % 8) + 8) % 8;
        const int r = static_cast<int>(n - 8 * (L - 1));
        constexpr tQuantiser kMain = fourLevel(Policy::kFourLevelThreshold);
        uint8_t *const out0 = out[0];
        uint8_t *const out1 = out[1];

        uint32_t overload = mOverload;
        uint32_t overloadPrev = mOverloadPrev;
        uint32_t overloadSevere = mOverloadSevere;
        int32_t hold = mOverloadHold;
        double patVol[2] = {mMutePatVol[0], mMutePatVol[1]};

        auto glide = [&]() {
            // The producer may change the coefficient from its own thread;
            // it is read once per byte.
            const double coef0 = mMutePatVolCoef[0];
            const double coef1 = mMutePatVolCoef[1];
            patVol[0] = target[0] + (patVol[0] - target[0]) * coef0;
            patVol[1] = target[1] + (patVol[1] - target[1]) * coef1;
            pat[0] = patVol[0] * kTwoTo55;
            pat[1] = patVol[1] * kTwoTo55;
        };

        const int isa = dsmIsa();
        uint64_t k = 0;
        while (k + 1 < L) {
            const int j0 = k == 0 ? d : 0;
#if DSM_X86
            if (overload == 0 && !hooks && j0 == 0 && isa != kDsmIsaSse2) {
                // A run of whole normal bytes: the common case, both channels
                // in vector lanes until the run ends.
                k = isa == kDsmIsaAvx512
                        ? dsm_avx512::runWholeBytes<Policy::kFourLevelThreshold>(
                              a, b, in, k, L, out0, out1, target, patVol, pat, mMutePatVolCoef, &overload)
                        : dsm_avx2::runWholeBytes<Policy::kFourLevelThreshold>(a, b, in, k, L, out0, out1, target,
                                                                               patVol, pat, mMutePatVolCoef, &overload);
                overloadPrev = 0;
                continue;
            }
            if (overload == 0 && !hooks && j0 == 0) {
                tVecState v = loadVec(a, b);
                do {
                    glide();
                    alignas(16) int64_t X[16];
                    convertByte(in + 16 * k, pat, X);
                    runByte8Vec<Policy::kFourLevelThreshold>(v, X);
                    out0[k] = static_cast<uint8_t>(lane0(v.sr));
                    out1[k] = static_cast<uint8_t>(lane1(v.sr));
                    const int32_t h0 = onesMagnitude(highHalf(lane0(v.i1)));
                    const int32_t h1 = onesMagnitude(highHalf(lane1(v.i1)));
                    overload = (h0 > kDsmOverloadEntry || h1 > kDsmOverloadEntry) ? kDsmOverloadOn : 0;
                    ++k;
                } while (k + 1 < L && overload == 0);
                overloadPrev = 0;
                storeVec(v, a, b);
                continue;
            }
#endif
            glide();
            const double *inByte = in + 16 * k;
            if (overload != 0) {
                if (overloadPrev == 0 || overloadSevere != 0) {
                    clearIntegrators(a, true);
                    clearIntegrators(b, true);
                    hold = kDsmOverloadHoldBytes;
                } else if (hold > 0) {
                    --hold;
                }
                const double none[2] = {0.0, 0.0};
                runBits(a, b, inByte, j0, 8, none, kMain, after);
                overloadPrev = overload;
                out0[k] = static_cast<uint8_t>(a.firstOrderShiftReg >> kDsmFirstOrderDelay);
                out1[k] = static_cast<uint8_t>(b.firstOrderShiftReg >> kDsmFirstOrderDelay);
                overloadSevere = i1Exceeds(a, b, kDsmOverloadEntry) ? kDsmOverloadOn : 0;
                if (hold > 0)
                    overload = 1;
                else
                    overload = i1Exceeds(a, b, kDsmOverloadHoldLevel) ? kDsmOverloadOn : 0;
            } else {
                runBits(a, b, inByte, j0, 8, pat, kMain, after);
                overloadPrev = 0;
                out0[k] = static_cast<uint8_t>(a.shiftReg);
                out1[k] = static_cast<uint8_t>(b.shiftReg);
                overload = i1Exceeds(a, b, kDsmOverloadEntry) ? kDsmOverloadOn : 0;
            }
            ++k;
        }

        // The last byte: no glide, so the pattern is the last main byte's (or
        // this call's target when the call has one byte).
        const double *inByte = in + 16 * k;
        const int j0 = L == 1 ? d : 0;
        if (overload != 0) {
            clearIntegrators(a, false);
            clearIntegrators(b, false);
            runBits(a, b, inByte, j0, r, pat, kMain, after);
            out0[k] = static_cast<uint8_t>(a.firstOrderShiftReg >> kDsmFirstOrderDelay);
            out1[k] = static_cast<uint8_t>(b.firstOrderShiftReg >> kDsmFirstOrderDelay);
        } else {
            const tQuantiser q = Fade ? kTwoLevel : fourLevel(kDsmLastByteThreshold);
            runBits(a, b, inByte, j0, r, pat, q, after);
            overloadPrev = 0;
            out0[k] = static_cast<uint8_t>(a.shiftReg);
            out1[k] = static_cast<uint8_t>(b.shiftReg);
            overload = i1Exceeds(a, b, kDsmOverloadEntry) ? kDsmOverloadOn : 0;
        }

        for (int c = 0; c < 2; ++c) {
            mInteg[0][c] = ln[c].i1;
            mInteg[1][c] = ln[c].i2;
            mInteg[2][c] = ln[c].i3;
            mInteg[3][c] = ln[c].i4;
            mInteg[4][c] = ln[c].i5;
            mBitConv[c] = ln[c].bitConv;
            mFirstOrder[c] = ln[c].firstOrder;
            mShiftReg[c] = ln[c].shiftReg;
            mFirstOrderShiftReg[c] = ln[c].firstOrderShiftReg;
            mCutFlags[c] = cut[c];
            mMutePatVol[c] = patVol[c];
        }
        mOverload = overload;
        mOverloadPrev = overloadPrev;
        mOverloadSevere = overloadSevere;
        mOverloadHold = hold;
    }

    for (int j = 0; j < 8; ++j) {
        const bool pos = (kMutePatternByte >> (7 - j)) & 1;
        mMutePat[j][0] = pos ? pat[0] : -pat[0];
        mMutePat[j][1] = pos ? pat[1] : -pat[1];
    }
}

template <class Policy>
void classDsm5thT<Policy>::CuttingFractionCircuit(bool) {
    for (int c = 0; c < 2; ++c) {
        tLane s = {mInteg[0][c], mInteg[1][c], mInteg[2][c], mInteg[3][c], mInteg[4][c], 0, 0, 0, 0};
        cutLane<Policy>(s, mCutFlags[c]);
        mInteg[0][c] = s.i1;
        mInteg[1][c] = s.i2;
        mInteg[2][c] = s.i3;
        mInteg[3][c] = s.i4;
        mInteg[4][c] = s.i5;
    }
}

template <class Policy>
void classDsm5thT<Policy>::consistMute(bool on, uint8_t x) {
    if (!on || x != 0) return;
    for (int c = 0; c < 2; ++c) {
        tLane s = {mInteg[0][c], mInteg[1][c], mInteg[2][c], mInteg[3][c], mInteg[4][c], 0, 0, 0, 0};
        consistLane(s, mCutFlags[c]);
        mInteg[2][c] = s.i3;
        mInteg[3][c] = s.i4;
    }
}

namespace {

// The other stream read at the lag's bit offset, for the copy and the splice.
struct tAligned {
    const uint8_t *s;
    int sL, sR;
    uint8_t operator()(int j) const { return static_cast<uint8_t>((s[j] << sL) | (s[j + 1] >> sR)); }
};

// The search over one channel's window; returns the splice bit or -1 and
// leaves the run to carry in *run.
template <class Policy>
int32_t searchWindow(const uint8_t *M, const uint8_t *S, int32_t nb, int32_t b, int32_t c, int32_t *run) {
    const int32_t w0 = (b + 8) / 8;
    const int e = b % 8;
    const int32_t count = nb - w0;
    int32_t carried = *run;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t T = (Policy::kStartAllowance && 8 * i < kDsmStartAllowanceBits) ? c + 4 : c;
        const uint8_t s = static_cast<uint8_t>((S[i] << (8 - e)) | (S[i + 1] >> e));
        const unsigned x = static_cast<unsigned>(s ^ M[w0 + i]);
        const int z = nlz_table.v[x];
        if (carried + z >= T) {
            *run = 0;
            return 8 * i + z;
        }
        if (z >= 7) {
            carried = z;
            continue;
        }
        // An early mismatch: look for a long enough run inside the byte.
        int rem = 7 - z;
        int k = 0;
        while (rem > 0) {
            const int at = 8 - rem;
            int lead = nlz_table.v[(x << at) & 0xFF];
            k = lead < rem ? lead : rem;
            if (k >= T) {
                *run = 0;
                return 8 * i + at + k;
            }
            rem -= k + 1;
        }
        carried = k;
    }
    *run = carried;
    return -1;
}

}  // namespace

template <class Policy>
int32_t classDsm5thT<Policy>::compareDsmSub(const uint8_t *data, const uint8_t *buf, int32_t n, int32_t *run, int32_t b,
                                            int32_t c) const {
    if (n < 8 || b < 0) return -1;
    return searchWindow<Policy>(data, buf, n / 8, b, c, run);
}

template <class Policy>
void classDsm5thT<Policy>::compareDsm(uint8_t *const out[2], const uint8_t *const src[2], int32_t n, int32_t ch,
                                      int32_t b, bool flag) {
    // The history refresh reads the last three bytes and a negative lag
    // would shift by a negative count: such calls are not made, and are
    // refused rather than trusted.
    if (n < 24 || b < 0 || ch < 0 || ch > 1) return;
    uint8_t *const M = out[ch];
    const uint8_t *const S = src[ch];
    uint8_t *const H = mSpliceHist[ch];
    const int32_t nb = n / 8;
    const int e = b % 8;
    const tAligned A = {S, e == 0 ? 0 : 8 - e, e == 0 ? 8 : e};

    auto historyBytes = [&]() {
        M[0] = static_cast<uint8_t>((H[0] << A.sL) | (H[1] >> A.sR));
        M[1] = static_cast<uint8_t>((H[1] << A.sL) | (H[2] >> A.sR));
        M[2] = static_cast<uint8_t>((H[2] << A.sL) | (H[3] >> A.sR));
    };
    // out[k] = A(k - 3) for k in [from, to), never past the buffer.
    auto alignedBytes = [&](int32_t from, int32_t to) {
        if (to > nb) to = nb;
        for (int32_t k = from; k < to; ++k) M[k] = A(k - 3);
    };
    auto writeCopy = [&]() {
        historyBytes();
        alignedBytes(3, nb);
    };

    H[3] = flag ? S[0] : Policy::kMuteByte;

    if (mSpliceReq[ch] == mSpliceCur[ch]) {
        if (mSpliceCur[ch] != 1) return;
        H[3] = S[0];
        writeCopy();
        H[0] = S[nb - 3];
        H[1] = S[nb - 2];
        H[2] = S[nb - 1];
        return;
    }

    // A switch waits until the integrator cutting (and, with the pattern
    // fully on, the mute consistency) is done.
    if ((mCutFlags[ch] & (mMuteFull ? kDsmSpliceWaitConsistent : kDsmSpliceWaitCutting)) == kDsmSpliceWaiting) {
        if (mSpliceCur[ch] == 1) writeCopy();
        return;
    }

    const int32_t C = searchWindow<Policy>(M, S, nb, b, mCompareLen, &mSpliceRun[ch]);
    if (C < 0) {
        mCompareTotal += n;
        if (mCompareTotal >= kDsmCompareTotalLimit) mCompareLen = 2;
        if (mSpliceCur[ch] == 1) writeCopy();
        return;
    }

    mSpliceRun[ch] = 0;
    mCompareTotal = 0;
    mCompareLen = mCompareLenSet;
    const int32_t pos = C / 8;
    const uint8_t D = static_cast<uint8_t>(0xFF >> (C % 8));
    // When the run ends exactly at the buffer's end no byte is mixed and the
    // new stream starts with the next buffer.
    const bool mixed = pos + 3 < nb;
    if (mSpliceReq[ch] != 0) {
        if (mixed) M[pos + 3] = static_cast<uint8_t>((A(pos) & D) | (M[pos + 3] & ~D));
        alignedBytes(pos + 4, nb);
        mSpliceCur[ch] = 1;
    } else {
        historyBytes();
        alignedBytes(3, pos + 3);
        if (mixed) M[pos + 3] = static_cast<uint8_t>((A(pos) & ~D) | (M[pos + 3] & D));
        mSpliceCur[ch] = 0;
    }
}

template class classDsm5thT<tDsm5thProgramPolicy>;
template class classDsm5thT<tDsm5thLibraryPolicy>;

void dsm5thLimitIsa(int level) { sDsmIsaLimit.store(level, std::memory_order_relaxed); }
