#include "morphex/classfft.h"

#include <cmath>
#include <cstring>

#include "audiofile/audiohelpers.h"

namespace {

constexpr double kPi = 3.141592653589793;
// 20 / ln 10: decibels from a natural logarithm, which costs about half of
// log10 and keeps the spectrum of a 16384-point block well inside its 40 ms.
constexpr double kDbPerNeper = 8.685889638065035;

typedef double v2d __attribute__((vector_size(16), aligned(8)));

inline v2d load2(const double *p) {
    v2d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store2(double *p, v2d v) { std::memcpy(p, &v, sizeof v); }

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

classFFT::classFFT()
    : mSize(1), mCosine(nullptr), mSine(nullptr), mWindow(), mBitrev(nullptr),
      mBitLevel{-2147483647, 2147483647}, mBuf{nullptr, nullptr, nullptr, nullptr} {
    (void)changeFFTorder(kFftMaxSize);
}

classFFT::~classFFT() { releaseFFTbuffers(); }

void classFFT::releaseFFTbuffers() {
    for (double *&b : mBuf) {
        _aligned_free(b);
        b = nullptr;
    }
}

int classFFT::changeFFTorder(int n) {
    if (n == mSize)
        return kFftSameSize;
    // The window has room for kFftMaxSize entries and the butterflies are
    // radix 2: anything else would write past the window or give a wrong
    // transform.
    if (n > kFftMaxSize || !isPowerOfTwo(n))
        return kFftBadSize;
    releaseFFTbuffers();
    mSize = n;
    const uint64_t bytes = static_cast<uint64_t>(n) * 16 + 16;
    static const int codes[4] = {kFftAlloc1Failed, kFftAlloc2Failed, kFftAlloc3Failed,
                                 kFftAllocFailed};
    for (int i = 0; i < 4; ++i) {
        mBuf[i] = static_cast<double *>(_aligned_malloc(bytes, 16));
        if (!mBuf[i])
            return codes[i];
    }
    return kFftOk;
}

void classFFT::calcFftCoef(int, double *cosine, double *sine, uint64_t *bitrev) {
    mCosine = cosine;
    mSine = sine;
    mBitrev = bitrev;
    const int n = mSize;
    int bits = 0;
    while ((1 << bits) < n)
        ++bits;
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
    const int n = mSize;
    for (int k = 0; k < n; ++k) {
        const double w =
            0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(k) / static_cast<double>(n));
        mWindow[2 * k] = w;
        mWindow[2 * k + 1] = w;
    }
    return 0;
}

bool classFFT::bitrevUsable() const {
    if (!mBitrev || !mCosine || !mSine)
        return false;
    // The reorder reads buffer entries at these indices: each must be a
    // frame of the N-frame buffers.
    for (int k = 0; k < mSize; ++k)
        if (mBitrev[k] >= static_cast<uint64_t>(mSize))
            return false;
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
inline void butterfly(double *__restrict re, double *__restrict im, int64_t a, int64_t span,
                      v2d c, v2d sn) {
    v2d ar = load2(re + a), ai = load2(im + a), br = load2(re + a + span),
        bi = load2(im + a + span);
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
void runStages(int n, int stages, const double *__restrict cosine, const double *__restrict sine,
               double *__restrict re, double *__restrict im) {
    auto tw = [&](const double *table, int64_t t) { return load2(table + 2 * t); };
    int s = 0;
    while (s < stages && s < 30) {
        const int h = n >> (s + 1);
        if (h == 0)
            break;
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
                    store2(re + i0, r0); store2(im + i0, m0);
                    store2(re + i1, r1); store2(im + i1, m1);
                    store2(re + i2, r2); store2(im + i2, m2);
                    store2(re + i3, r3); store2(im + i3, m3);
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

void classFFT::butterflies(int stages, double *re, double *im, bool inverse) const {
    if (inverse)
        runStages<true>(mSize, stages, mCosine, mSine, re, im);
    else
        runStages<false>(mSize, stages, mCosine, mSine, re, im);
}

int classFFT::doFft(int, int stages, double *realOut, double *imagOut, double *input) {
    if (!mBuf[3] || !bitrevUsable())
        return kFftBadTable;
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
    if (!bitrevUsable())
        return kFftBadTable;
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
    if (!mBuf[0] || !mBuf[3] || !bitrevUsable())
        return kFftTransformFailed;
    double *re = mBuf[0], *im = mBuf[3];
    for (int k = 0; k < n; ++k)
        store2(re + 2 * k, load2(input + 2 * k) * load2(mWindow + 2 * k));
    std::memset(im, 0, static_cast<size_t>(n) * 2 * sizeof(double));
    butterflies(stages, re, im, false);
    // The amplitudes read the bins through the bit-reversal table instead
    // of reordering them first: the same values as doFft into the second
    // and third buffers, without one pass over both.
    amplitudes(left, right, re, im, mBitrev);
    return kFftOk;
}

int classFFT::calc_freqAmplitude(int, double *left, double *right, const double *realIn,
                                 const double *imagIn) {
    amplitudes(left, right, realIn, imagIn, nullptr);
    return kFftOk;
}

void classFFT::amplitudes(double *left, double *right, const double *re, const double *im,
                          const uint64_t *order) const {
    const int n = mSize;
    // 4 / N: 2 / N for a one-sided amplitude, and 2 again for the Hann
    // window's coherent gain of 0.5.
    double scale = 4.0;
    for (int m = n; m > 1; m >>= 1)
        scale *= 0.5;
    for (int k = 0; k < n; ++k) {
        const uint64_t i = order ? order[k] : static_cast<uint64_t>(k);
        const v2d r = load2(re + 2 * i), q = load2(im + 2 * i);
        const v2d p = r * r + q * q;
        left[k] = kDbPerNeper * std::log(scale * std::sqrt(p[0]));
        right[k] = kDbPerNeper * std::log(scale * std::sqrt(p[1]));
    }
}

int classFFT::convF64fromS32(int n, double *output, const int32_t *left, const int32_t *right) {
    if (n < 0 || n > mSize)
        return kFftBadSize;
    for (int k = 0; k < n; ++k) {
        output[2 * k] = static_cast<double>(left[k]) * mWindow[2 * k];
        output[2 * k + 1] = static_cast<double>(right[k]) * mWindow[2 * k + 1];
    }
    return kFftOk;
}

int classFFT::applyWindowFunction(int n, double *output, const double *input) {
    if (n < 0 || n > mSize)
        return kFftBadSize;
    for (int k = 0; k < n; ++k)
        store2(output + 2 * k, load2(input + 2 * k) * load2(mWindow + 2 * k));
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
