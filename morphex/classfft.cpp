#include "morphex/classfft.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "base/alignedalloc.h"
#include "morphex/twolane.h"

using namespace morphex_lanes;

namespace {

// 20 / ln 10: decibels from a natural logarithm, which costs about half of
// log10 and keeps the spectrum of a 16384-point block well inside its 40 ms.
constexpr double kDbPerNeper = 8.685889638065035;

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

classFFT::classFFT(int maxSize)
    : mSize(1),
      mCosine(nullptr),
      mSine(nullptr),
      mMaxSize(0),
      mWindow(nullptr),
      mBitrev(nullptr),
      mBitLevel{-2147483647, 2147483647},
      mBuf{nullptr, nullptr, nullptr, nullptr} {
    if (!isPowerOfTwo(maxSize)) return;
    mWindow = static_cast<double *>(_aligned_malloc(static_cast<uint64_t>(maxSize) * 16, 16));
    if (!mWindow) return;
    std::memset(mWindow, 0, static_cast<size_t>(maxSize) * 16);
    mMaxSize = maxSize;
    (void)changeFFTorder(maxSize < kFftMaxSize ? maxSize : kFftMaxSize);
}

classFFT::~classFFT() {
    releaseFFTbuffers();
    _aligned_free(mWindow);
}

void classFFT::releaseFFTbuffers() {
    for (double *&b : mBuf) {
        _aligned_free(b);
        b = nullptr;
    }
}

int classFFT::changeFFTorder(int n) {
    if (n == mSize) return kFftSameSize;
    // The window has room for mMaxSize entries and the butterflies are
    // radix 2: anything else would write past the window or give a wrong
    // transform.
    if (n > mMaxSize || !isPowerOfTwo(n)) return kFftBadSize;
    releaseFFTbuffers();
    mSize = n;
    const uint64_t bytes = static_cast<uint64_t>(n) * 16 + 16;
    static const int codes[4] = {kFftAlloc1Failed, kFftAlloc2Failed, kFftAlloc3Failed, kFftAllocFailed};
    for (int i = 0; i < 4; ++i) {
        mBuf[i] = static_cast<double *>(_aligned_malloc(bytes, 16));
        if (!mBuf[i]) return codes[i];
    }
    return kFftOk;
}

void classFFT::calcFftCoef(int, double *cosine, double *sine, uint64_t *bitrev) {
    mCosine = cosine;
    mSine = sine;
    mBitrev = bitrev;
    const int n = mSize;
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    for (int k = 0; k < n; ++k) {
        const double a = 2.0 * kPi * static_cast<double>(k) / static_cast<double>(n);
        const double c = std::cos(a);
        const double s = std::sin(a);
        cosine[2 * k] = c;
        cosine[2 * k + 1] = c;
        sine[2 * k] = s;
        sine[2 * k + 1] = s;
        uint64_t in = static_cast<uint64_t>(k), out = 0;
        for (int b = 0; b < bits; ++b) {
            out = (out << 1) | (in & 1);
            in >>= 1;
        }
        bitrev[k] = out;
    }
}

int classFFT::initAnalyzingFFT(int ignored, int, double *cosine, double *sine, uint64_t *bitrev) {
    calcFftCoef(ignored, cosine, sine, bitrev);
    return prepare_WindowFunction();
}

int classFFT::prepare_WindowFunction() {
    if (!mWindow) return 0;
    const int n = mSize;
    for (int k = 0; k < n; ++k) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(k) / static_cast<double>(n));
        mWindow[2 * k] = w;
        mWindow[2 * k + 1] = w;
    }
    return 0;
}

bool classFFT::bitrevUsable() const {
    if (!mBitrev || !mCosine || !mSine) return false;
    // The reorder reads buffer entries at these indices: each must be a
    // frame of the N-frame buffers.
    for (int k = 0; k < mSize; ++k)
        if (mBitrev[k] >= static_cast<uint64_t>(mSize)) return false;
    return true;
}

namespace {

// One butterfly on the register pairs (ar, ai) and (br, bi) with the twiddle
// (c, sn); the inverse uses its conjugate.
template <bool kInverse>
inline void bfly(v2d &ar, v2d &ai, v2d &br, v2d &bi, v2d c, v2d sn) {
    const v2d dr = ar - br, di = ai - bi;
    ar = ar + br;
    ai = ai + bi;
    if (!kInverse) {
        br = c * dr + sn * di;
        bi = c * di - sn * dr;
    } else {
        br = c * dr - sn * di;
        bi = sn * dr + c * di;
    }
}

// The same on frames a and a + span of the buffers (double indices).
template <bool kInverse>
inline void butterfly(double *__restrict re, double *__restrict im, int64_t a, int64_t span, v2d c, v2d sn) {
    v2d ar = load2(re + a), ai = load2(im + a), br = load2(re + a + span), bi = load2(im + a + span);
    bfly<kInverse>(ar, ai, br, bi, c, sn);
    store2(re + a, ar);
    store2(im + a, ai);
    store2(re + a + span, br);
    store2(im + a + span, bi);
}

// Decimation in frequency: natural-order input, bit-reversed output.
// Stages run in pairs where they can: the four frames that two consecutive
// stages combine are loaded once for both, which halves the passes over
// the buffers. Each butterfly gets the same operands and twiddle as in a
// stage-by-stage pass, so the result is identical to it.
template <bool kInverse>
void runStages(int n, int stages, const double *__restrict cosine, const double *__restrict sine, double *__restrict re,
               double *__restrict im) {
    auto tw = [&](const double *table, int64_t t) { return load2(table + 2 * t); };
    int s = 0;
    while (s < stages && s < 30) {
        const int h = n >> (s + 1);
        if (h == 0) break;
        const int groups = 1 << s;
        const int64_t span = 2 * static_cast<int64_t>(h);  // in doubles
        if (s + 1 < stages && h >= 2) {
            const int q = h / 2;
            const int64_t qspan = 2 * static_cast<int64_t>(q);
            for (int g = 0; g < groups; ++g) {
                const int64_t base = 2 * span * g;
                for (int j = 0; j < q; ++j) {
                    const int64_t i0 = base + 2 * j, i1 = i0 + qspan, i2 = i0 + span;
                    const int64_t t0 = static_cast<int64_t>(j) << s;
                    const int64_t t1 = static_cast<int64_t>(j + q) << s;
                    const int64_t t2 = static_cast<int64_t>(j) << (s + 1);
                    const int64_t i3 = i2 + qspan;
                    v2d r0 = load2(re + i0), m0 = load2(im + i0);
                    v2d r1 = load2(re + i1), m1 = load2(im + i1);
                    v2d r2 = load2(re + i2), m2 = load2(im + i2);
                    v2d r3 = load2(re + i3), m3 = load2(im + i3);
                    bfly<kInverse>(r0, m0, r2, m2, tw(cosine, t0), tw(sine, t0));
                    bfly<kInverse>(r1, m1, r3, m3, tw(cosine, t1), tw(sine, t1));
                    const v2d c2 = tw(cosine, t2), s2 = tw(sine, t2);
                    bfly<kInverse>(r0, m0, r1, m1, c2, s2);
                    bfly<kInverse>(r2, m2, r3, m3, c2, s2);
                    store2(re + i0, r0);
                    store2(im + i0, m0);
                    store2(re + i1, r1);
                    store2(im + i1, m1);
                    store2(re + i2, r2);
                    store2(im + i2, m2);
                    store2(re + i3, r3);
                    store2(im + i3, m3);
                }
            }
            s += 2;
        } else {
            for (int g = 0; g < groups; ++g) {
                const int64_t base = 2 * span * g;
                for (int j = 0; j < h; ++j) {
                    const int64_t t = static_cast<int64_t>(j) << s;
                    butterfly<kInverse>(re, im, base + 2 * j, span, tw(cosine, t), tw(sine, t));
                }
            }
            s += 1;
        }
    }
}

}  // namespace

// The spectrum of two real channels.
//
// Each channel is real, so its N-point transform follows from one complex
// transform of half the size: z[m] = x[2m] + i x[2m + 1] (m < M = N / 2),
// Z its M-point transform, and with B = conj(Z[M - k]) (Z[M] = Z[0])
//   2 X[k] = (Z[k] + B) - i e^(-2 pi i k / N) (Z[k] - B),   k = 0 .. M.
// The two channels stay in the two lanes of every frame as in the plain
// butterflies, so they never mix; the upper half of the spectrum mirrors
// the lower exactly. Twiddles are the caller's table entries, as in the
// plain path; the decimation-in-frequency result is read back through the
// caller's bit-reversal table (entry 2k is k reversed in log2 M bits).
//
// The kernels are written once on GCC vectors of F frames (F = 1: SSE2,
// F = 2: AVX2 chosen at run time); both give the same doubles, lane by
// lane the same operations without contraction.

namespace {

// The 32-byte vector helpers are always inlined into the AVX2 function;
// no 32-byte vector crosses a call without AVX, so the ABI note of GCC
// does not apply. (Templates are instantiated at the end of the file, so
// the note stays off to the end.)
#pragma GCC diagnostic ignored "-Wpsabi"

#define SX_FFT_INLINE inline __attribute__((always_inline))

typedef double v4d __attribute__((vector_size(32), aligned(8)));
typedef uint64_t v2u __attribute__((vector_size(16), aligned(8)));
typedef uint64_t v4u __attribute__((vector_size(32), aligned(8)));

template <int F>
struct Frames;
template <>
struct Frames<1> {
    typedef v2d D;
    typedef v2u U;
};
template <>
struct Frames<2> {
    typedef v4d D;
    typedef v4u U;
};

template <class V>
SX_FFT_INLINE V loadv(const double *p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class V>
SX_FFT_INLINE void storev(double *p, V v) {
    std::memcpy(p, &v, sizeof v);
}
template <class To, class From>
SX_FFT_INLINE To bitcast(const From &v) {
    static_assert(sizeof(To) == sizeof(From), "same size");
    To r;
    std::memcpy(&r, &v, sizeof r);
    return r;
}

// Twiddle entries t, t + step, ... for F consecutive butterflies (two
// lanes each, straight from the caller's two-lane table).
template <int F>
SX_FFT_INLINE typename Frames<F>::D twiddle(const double *table, int64_t t, int64_t step);
template <>
SX_FFT_INLINE v2d twiddle<1>(const double *table, int64_t t, int64_t) {
    return load2(table + 2 * t);
}
// Built in registers: two 16-byte stores read back as one 32-byte load
// would stall on store forwarding.
template <>
SX_FFT_INLINE v4d twiddle<2>(const double *table, int64_t t, int64_t step) {
    return __builtin_shufflevector(load2(table + 2 * t), load2(table + 2 * (t + step)), 0, 1, 2, 3);
}

template <class V>
SX_FFT_INLINE void bflyV(V &ar, V &ai, V &br, V &bi, V c, V sn) {
    const V dr = ar - br, di = ai - bi;
    ar = ar + br;
    ai = ai + bi;
    br = c * dr + sn * di;
    bi = c * di - sn * dr;
}

// One stage of half-span h over M frames; twiddle of butterfly j at
// table entry j * step.
template <int F>
SX_FFT_INLINE void stagePass(double *re, double *im, int m, int h, int64_t step, const double *cs, const double *sn) {
    typedef typename Frames<F>::D V;
    const int64_t span = 2 * static_cast<int64_t>(h);
    for (int64_t base = 0; base < 2 * static_cast<int64_t>(m); base += 2 * span) {
        for (int j = 0; j < h; j += F) {
            const int64_t a = base + 2 * j, b = a + span;
            V ar = loadv<V>(re + a), ai = loadv<V>(im + a), br = loadv<V>(re + b), bi = loadv<V>(im + b);
            const int64_t t = j * step;
            bflyV(ar, ai, br, bi, twiddle<F>(cs, t, step), twiddle<F>(sn, t, step));
            storev(re + a, ar);
            storev(im + a, ai);
            storev(re + b, br);
            storev(im + b, bi);
        }
    }
}

// Stages of half-span h and h / 2 in one pass over the data (h / 2 >= F).
template <int F>
SX_FFT_INLINE void pairPass(double *re, double *im, int m, int h, int64_t step, const double *cs, const double *sn) {
    typedef typename Frames<F>::D V;
    const int q = h / 2;
    const int64_t span = 2 * static_cast<int64_t>(h), qspan = 2 * static_cast<int64_t>(q);
    for (int64_t base = 0; base < 2 * static_cast<int64_t>(m); base += 2 * span) {
        for (int j = 0; j < q; j += F) {
            const int64_t i0 = base + 2 * j, i1 = i0 + qspan, i2 = i0 + span, i3 = i2 + qspan;
            V r0 = loadv<V>(re + i0), m0 = loadv<V>(im + i0);
            V r1 = loadv<V>(re + i1), m1 = loadv<V>(im + i1);
            V r2 = loadv<V>(re + i2), m2 = loadv<V>(im + i2);
            V r3 = loadv<V>(re + i3), m3 = loadv<V>(im + i3);
            const int64_t t0 = j * step, t1 = (j + q) * step, t2 = 2 * j * step;
            bflyV(r0, m0, r2, m2, twiddle<F>(cs, t0, step), twiddle<F>(sn, t0, step));
            bflyV(r1, m1, r3, m3, twiddle<F>(cs, t1, step), twiddle<F>(sn, t1, step));
            const V c2 = twiddle<F>(cs, t2, 2 * step), s2 = twiddle<F>(sn, t2, 2 * step);
            bflyV(r0, m0, r1, m1, c2, s2);
            bflyV(r2, m2, r3, m3, c2, s2);
            storev(re + i0, r0);
            storev(im + i0, m0);
            storev(re + i1, r1);
            storev(im + i1, m1);
            storev(re + i2, r2);
            storev(im + i2, m2);
            storev(re + i3, r3);
            storev(im + i3, m3);
        }
    }
}

// Natural logarithm of x * 2^e2 for positive normal finite lanes of x
// (the classic reduction to [sqrt(1/2), sqrt(2)) and the odd series in
// s = f / (2 + f), good to about one unit in the last place). Other lanes
// give garbage; the caller redoes them.
template <class V, class U>
SX_FFT_INLINE V logScaled(V x, int64_t e2) {
    const U bits = bitcast<U>(x);
    U e = (bits >> 52) - static_cast<uint64_t>(1023 - e2);
    const U mbits = (bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull;
    V m = bitcast<V>(mbits);
    const U big = bitcast<U>(m > 1.4142135623730951);
    m = bitcast<V>((bitcast<U>(m * 0.5) & big) | (bitcast<U>(m) & ~big));
    e = e - big;  // big is all ones: one more
    // e as a double: 1.5 * 2^52 + e has e in its low mantissa bits.
    const U eBits = e + 0x4338000000000000ull;
    const V dk = bitcast<V>(eBits) - 6755399441055744.0;
    const V f = m - 1.0;
    const V s = f / (f + 2.0);
    const V z = s * s, w = z * z;
    const V t1 = w * (3.999999999940941908e-01 + w * (2.222219843214978396e-01 + w * 1.531383769920937332e-01));
    const V t2 = z * (6.666666666666735130e-01 +
                      w * (2.857142874366239149e-01 + w * (1.818357216161805012e-01 + w * 1.479819860511658591e-01)));
    const V r = t2 + t1;
    const V hfsq = 0.5 * f * f;
    return dk * 6.93147180369123816490e-01 - ((hfsq - (s * (hfsq + r) + dk * 1.90821492927058770002e-10)) - f);
}

// 10 / ln 10: decibels of a power from its natural logarithm.
constexpr double kDbPerNeperPower = 4.342944819032518;

// Decibels of F bins' powers p (two lanes each) into left/right from bin k.
template <int F>
SX_FFT_INLINE void storeDb(typename Frames<F>::D p, int64_t e2, double *left, double *right, int k) {
    typedef typename Frames<F>::D V;
    typedef typename Frames<F>::U U;
    V db = kDbPerNeperPower * logScaled<V, U>(p, e2);
    for (int i = 0; i < 2 * F; ++i) {
        // Silence (0), subnormals, infinities and NaN take the library
        // logarithm; a silent bin reads minus infinity.
        if (!(p[i] >= 2.2250738585072014e-308 && p[i] <= 1.7976931348623157e308))
            db[i] = kDbPerNeperPower * (std::log(p[i]) + static_cast<double>(e2) * 0.6931471805599453);
    }
    for (int f = 0; f < F; ++f) {
        left[k + f] = db[2 * f];
        right[k + f] = db[2 * f + 1];
    }
}

// Power |2 X[k]|^2 of bin k (0..M), both lanes.
SX_FFT_INLINE v2d binPower(const double *re, const double *im, const uint64_t *order, const double *cs,
                           const double *sn, int m, int k) {
    const uint64_t pa = order[2 * (k & (m - 1))], pb = order[2 * ((m - k) & (m - 1))];
    const v2d ar = load2(re + 2 * pa), ai = load2(im + 2 * pa);
    const v2d br = load2(re + 2 * pb), bi = load2(im + 2 * pb);  // B = (br, -bi)
    const v2d sr = ar + br, si = ai - bi, dr = ar - br, di = ai + bi;
    const v2d c = load2(cs + 2 * k), s = load2(sn + 2 * k);
    const v2d xr = sr + c * di - s * dr;
    const v2d xi = si - c * dr - s * di;
    return xr * xr + xi * xi;
}

struct SpectrumArgs {
    int n, bits;
    const double *cs, *sn;
    const uint64_t *order;
    const double *window, *input;
    double *re, *im, *left, *right;
};

template <int F>
SX_FFT_INLINE void spectrum(const SpectrumArgs &a) {
    const int m = a.n / 2;
    double *__restrict re = a.re;
    double *__restrict im = a.im;
    for (int k = 0; k < m; ++k) {
        store2(re + 2 * k, load2(a.input + 4 * k) * load2(a.window + 4 * k));
        store2(im + 2 * k, load2(a.input + 4 * k + 2) * load2(a.window + 4 * k + 2));
    }
    // Stage of half-span h: twiddle of butterfly j is entry j * N / (2h).
    int h = m / 2;
    while (h >= 2 * F) {
        pairPass<F>(re, im, m, h, a.n / (2 * h), a.cs, a.sn);
        h >>= 2;
    }
    for (; h >= 1; h >>= 1) {
        if (h >= F)
            stagePass<F>(re, im, m, h, a.n / (2 * h), a.cs, a.sn);
        else
            stagePass<1>(re, im, m, h, a.n / (2 * h), a.cs, a.sn);
    }
    // |X|^2 (4 / N)^2 = |2X|^2 2^(2 - 2 log2 N).
    const int64_t e2 = 2 - 2 * static_cast<int64_t>(a.bits);
    int k = 0;
    if constexpr (F == 2) {
        for (; k + 1 <= m; k += 2) {
            const v2d p0 = binPower(re, im, a.order, a.cs, a.sn, m, k);
            const v2d p1 = binPower(re, im, a.order, a.cs, a.sn, m, k + 1);
            storeDb<F>(__builtin_shufflevector(p0, p1, 0, 1, 2, 3), e2, a.left, a.right, k);
        }
    }
    for (; k <= m; ++k) storeDb<1>(binPower(re, im, a.order, a.cs, a.sn, m, k), e2, a.left, a.right, k);
    for (k = m + 1; k < a.n; ++k) {
        a.left[k] = a.left[a.n - k];
        a.right[k] = a.right[a.n - k];
    }
}

void spectrumSse2(const SpectrumArgs &a) { spectrum<1>(a); }

__attribute__((target("avx2"))) void spectrumAvx2(const SpectrumArgs &a) { spectrum<2>(a); }

std::atomic<bool> sAllowWide{true};

bool wideVectorsUsable() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
    return has && sAllowWide.load(std::memory_order_relaxed);
}

}  // namespace

bool fftAllowWideVectors(bool allow) { return sAllowWide.exchange(allow); }

void classFFT::butterflies(int stages, double *re, double *im, bool inverse) const {
    if (inverse)
        runStages<true>(mSize, stages, mCosine, mSine, re, im);
    else
        runStages<false>(mSize, stages, mCosine, mSine, re, im);
}

int classFFT::doFft(int, int stages, double *realOut, double *imagOut, double *input) {
    if (!mBuf[3] || !bitrevUsable()) return kFftBadTable;
    const int n = mSize;
    double *work = mBuf[3];
    std::memset(work, 0, static_cast<size_t>(n) * 2 * sizeof(double));
    butterflies(stages, input, work, false);
    for (int k = 0; k < n; ++k) {
        const uint64_t r = mBitrev[k];
        store2(realOut + 2 * k, load2(input + 2 * r));
        store2(imagOut + 2 * k, load2(work + 2 * r));
    }
    return kFftOk;
}

int classFFT::doIfft(int, int stages, double *output, double *realIn, double *imagIn) {
    if (!bitrevUsable()) return kFftBadTable;
    const int n = mSize;
    butterflies(stages, realIn, imagIn, true);
    const double inv = static_cast<double>(n);
    for (int k = 0; k < n; ++k) {
        const v2d v = load2(realIn + 2 * mBitrev[k]);
        store2(output + 2 * k, v / inv);
    }
    return kFftOk;
}

int classFFT::analyzeFFT(int, int stages, double *left, double *right, const double *input) {
    const int n = mSize;
    if (!mBuf[0] || !mBuf[3] || !bitrevUsable()) return kFftTransformFailed;
    double *re = mBuf[0], *im = mBuf[3];
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    // A full transform of at least four frames takes the half-size path;
    // a partial one (fewer stages) keeps the plain butterflies, whose
    // intermediate result it is.
    if (n >= 4 && stages >= bits) {
        const SpectrumArgs a{n, bits, mCosine, mSine, mBitrev, mWindow, input, re, im, left, right};
        if (wideVectorsUsable())
            spectrumAvx2(a);
        else
            spectrumSse2(a);
        return kFftOk;
    }
    for (int k = 0; k < n; ++k) store2(re + 2 * k, load2(input + 2 * k) * load2(mWindow + 2 * k));
    std::memset(im, 0, static_cast<size_t>(n) * 2 * sizeof(double));
    butterflies(stages, re, im, false);
    // The amplitudes read the bins through the bit-reversal table instead
    // of reordering them first: the same values as doFft into the second
    // and third buffers, without one pass over both.
    amplitudes(left, right, re, im, mBitrev);
    return kFftOk;
}

int classFFT::calc_freqAmplitude(int, double *left, double *right, const double *realIn, const double *imagIn) {
    amplitudes(left, right, realIn, imagIn, nullptr);
    return kFftOk;
}

void classFFT::amplitudes(double *left, double *right, const double *re, const double *im,
                          const uint64_t *order) const {
    const int n = mSize;
    // 4 / N: 2 / N for a one-sided amplitude, and 2 again for the Hann
    // window's coherent gain of 0.5.
    double scale = 4.0;
    for (int m = n; m > 1; m >>= 1) scale *= 0.5;
    for (int k = 0; k < n; ++k) {
        const uint64_t i = order ? order[k] : static_cast<uint64_t>(k);
        const v2d r = load2(re + 2 * i), q = load2(im + 2 * i);
        const v2d p = r * r + q * q;
        left[k] = kDbPerNeper * std::log(scale * std::sqrt(p[0]));
        right[k] = kDbPerNeper * std::log(scale * std::sqrt(p[1]));
    }
}

int classFFT::convF64fromS32(int n, double *output, const int32_t *left, const int32_t *right) {
    if (!mWindow || n < 0 || n > mSize) return kFftBadSize;
    for (int k = 0; k < n; ++k) {
        output[2 * k] = static_cast<double>(left[k]) * mWindow[2 * k];
        output[2 * k + 1] = static_cast<double>(right[k]) * mWindow[2 * k + 1];
    }
    return kFftOk;
}

int classFFT::applyWindowFunction(int n, double *output, const double *input) {
    if (!mWindow || n < 0 || n > mSize) return kFftBadSize;
    for (int k = 0; k < n; ++k) store2(output + 2 * k, load2(input + 2 * k) * load2(mWindow + 2 * k));
    return kFftOk;
}

int classFFT::decimationDsd(int n, int32_t *leftOut, int32_t *rightOut, const uint8_t *leftBits,
                            const uint8_t *rightBits) {
    // Written straight into the outputs: no temporary arrays, so nothing
    // can fail for want of memory.
    for (int k = 0; k < n; ++k) {
        const int shift = 7 - (k & 7);
        leftOut[k] = mBitLevel[(leftBits[k >> 3] >> shift) & 1];
        rightOut[k] = mBitLevel[(rightBits[k >> 3] >> shift) & 1];
    }
    return kFftOk;
}
