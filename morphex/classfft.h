// Radix-2 transform for stereo data and the amplitude spectrum built on it.
//
// Frames are "two-lane": two doubles per frame (left, right). Both channels
// travel as the lanes of one vector through every butterfly, so one
// transform serves both. The twiddle and bit-reversal tables belong to the
// caller (one set may serve several objects of the same size); the work
// buffers belong to the object and are reused for every block.
//
// An object is used by one thread at a time, except that rewriting the
// tables with identical values while another thread transforms is harmless.
#pragma once

#include <cstdint>

// Results.
enum : int {
    kFftOk = 0,
    kFftSameSize = -1,         // changeFFTorder: the size did not change
    kFftBadTable = -1,         // doFft: bit-reversal table missing or out of range
    kFftAllocFailed = -1,      // changeFFTorder: the fourth buffer; decimationDsd
    kFftBadSize = -17,         // a size or count outside what the object holds
    kFftAlloc1Failed = -65,    // changeFFTorder: first (windowed input) buffer
    kFftAlloc2Failed = -66,    // second (real spectrum) buffer
    kFftAlloc3Failed = -67,    // third (imaginary spectrum) buffer
    kFftTransformFailed = -68  // analyzeFFT: the transform failed
};

// Largest transform of an object built without a size: the spectrum
// display's 16384 points. An object built for more (the frequency-domain
// rate converter's 65536) takes the size as its constructor argument.
enum : int { kFftMaxSize = 16384 };

// The spectrum takes AVX2 vectors where the processor has them; false
// keeps it on the SSE2 path that every x86-64 runs (the same doubles, for
// tests and benchmarks of that path). Returns the previous setting.
bool fftAllowWideVectors(bool allow);

class classFFT {
public:
    // maxSize: the largest size changeFFTorder accepts (a power of two);
    // the window is allocated for it. The object starts at
    // min(maxSize, kFftMaxSize). If the window cannot be allocated the
    // object holds no size at all: changeFFTorder refuses every size and
    // the transforms fail with their codes.
    explicit classFFT(int maxSize = kFftMaxSize);
    ~classFFT();
    classFFT(const classFFT &) = delete;
    classFFT &operator=(const classFFT &) = delete;

    // Reallocates the four work buffers for size n (a power of two,
    // 1..maxSize()). kFftSameSize when n is the current size (nothing
    // changes); kFftBadSize outside the range (nothing changes); the
    // allocation codes above, buffers allocated before the failure kept.
    [[nodiscard]] int changeFFTorder(int n);
    void releaseFFTbuffers();

    // Stores the caller's tables and fills them for the object's size:
    // cosine[k] = cos(2 pi k / N), sine[k] = sin(2 pi k / N) in both lanes
    // (N two-lane entries each), bitrev[k] = k with its low log2 N bits
    // reversed (N entries).
    void calcFftCoef(int ignored, double *cosine, double *sine, uint64_t *bitrev);
    // As calcFftCoef, then fills the Hann window. The rate does not change
    // the spectrum. Returns 0.
    int initAnalyzingFFT(int ignored, int rate, double *cosine, double *sine, uint64_t *bitrev);
    int prepare_WindowFunction();  // Hann window 0.5 - 0.5 cos(2 pi k / N); 0

    // Forward transform of N two-lane real frames with `stages` butterfly
    // stages (log2 N for a full transform). The input is overwritten.
    // kFftBadTable when the tables are missing or a bit-reversal entry is
    // not below N.
    [[nodiscard]] int doFft(int ignored, int stages, double *realOut, double *imagOut, double *input);
    // Inverse transform to N two-lane real frames (divided by N; the
    // imaginary result is dropped). Both inputs are overwritten. 0, or
    // kFftBadTable as doFft.
    [[nodiscard]] int doIfft(int ignored, int stages, double *output, double *realIn, double *imagIn);

    // Hann-windowed spectrum of N two-lane frames in dB: left[k] and
    // right[k] = 20 log10(4 / N * |X[k]|) for every bin k = 0..N-1 (the
    // mirrored upper half included). A full-scale sine centred on a bin reads
    // 0 dB there; a silent bin reads minus infinity, which callers floor.
    // The input is not modified. 0, or kFftTransformFailed.
    [[nodiscard]] int analyzeFFT(int ignored, int stages, double *left, double *right, const double *input);
    // The scaling and decibels of analyzeFFT on spectra the caller gives
    // (N bins). 0.
    int calc_freqAmplitude(int ignored, double *left, double *right, const double *realIn, const double *imagIn);

    // output[k] = (left[k], right[k]) * window[k] for k < n (n <= N), 0;
    // kFftBadSize when n is outside 0..N.
    [[nodiscard]] int convF64fromS32(int n, double *output, const int32_t *left, const int32_t *right);
    // output[k] = input[k] * window[k] for k < n (n <= N); 0 or kFftBadSize.
    [[nodiscard]] int applyWindowFunction(int n, double *output, const double *input);

    // Expands 1-bit data: each input byte gives eight int32 values, most
    // significant bit first, +2147483647 for a set bit and -2147483647 for a
    // clear one; n values per channel from (n + 7) / 8 bytes. Despite the
    // name nothing is decimated. Returns 0.
    int decimationDsd(int n, int32_t *leftOut, int32_t *rightOut, const uint8_t *leftBits, const uint8_t *rightBits);

    int size() const { return mSize; }
    int maxSize() const { return mMaxSize; }
    const double *window() const { return mWindow; }

private:
    // Butterflies shared by both directions; `inverse` selects the
    // conjugate twiddle.
    void butterflies(int stages, double *re, double *im, bool inverse) const;
    bool bitrevUsable() const;
    // dB amplitudes of N bins, bin k read at order[k] (k when order is null).
    void amplitudes(double *left, double *right, const double *re, const double *im, const uint64_t *order) const;

    int mSize;
    double *mCosine;       // caller's, N two-lane entries
    double *mSine;         // caller's, N two-lane entries
    int mMaxSize;          // largest size; the window has room for it
    double *mWindow;       // mMaxSize two-lane entries, 16-byte aligned
    uint64_t *mBitrev;     // caller's, N entries
    int32_t mBitLevel[2];  // value of a clear and of a set bit
    double *mBuf[4];       // N + 1 two-lane entries each, 16-byte aligned
};
