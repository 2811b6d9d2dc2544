#include "morphex/waveform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "audiofile/dsdlayout.h"
#include "audiofile/pcmpack.h"
#include "audiofile/vfile.h"
#include "base/alignedalloc.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/decimfir.h"

namespace {

enum : int { kTypeWav = 0, kTypeDsf = 2, kTypeDsdiff = 3, kTypeWsd = 4 };

constexpr uint32_t kScratchBytes = 2048;
constexpr uint32_t kReadBytes = 1024000;   // one PCM read
constexpr int64_t kPcmReadBits = 8192000;  // frames per read = this / (bits x channels)
constexpr int64_t kDsdReadBits = 2048000;  // a quarter of the PCM read for DSD
constexpr int kDsdTaps = 255;
constexpr int kDsdTables = 32;          // 255 / 8 + 1
constexpr int kDsdSumTables = 31;       // the last table holds taps past the window
constexpr uint32_t kDsdLookAhead = 32;  // bytes per channel behind a piece (the 31-byte window)
constexpr double kPcmScale = 0.8;
constexpr double kDsdScale = 1.6;
constexpr int kSeekTries = 5;
constexpr uint32_t kReadSlack = 8;  // word loads may reach past the last sample

// DSF pieces start inside a block and grow to whole block groups: a piece of
// n bytes per channel starting at byte o of its block spans
// ceil((o + n) / 4096) groups.
constexpr uint32_t kDsfMaxGroups =
    (kDsfBlockBytes - 1 + kDsdReadBits / 8 + kDsdLookAhead + kDsfBlockBytes - 1) / kDsfBlockBytes;
constexpr uint32_t kReadBufBytes = std::max<uint32_t>(kReadBytes, kDsfMaxGroups * 2 * kDsfBlockBytes);
static_assert(kDsdReadBits / 8 + kDsdLookAhead * 2 <= kReadBytes, "a DSD piece fits the read buffer");

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "word loads take the first byte from the low end");

uint64_t roundUp8(uint64_t v) { return (v + 7) & ~uint64_t(7); }

struct Buffers {
    tAlignedBuffer<uint8_t> scratch;
    tAlignedBuffer<uint8_t> read;
    tAlignedBuffer<double> pcm;
    tAlignedBuffer<uint8_t> left;
    tAlignedBuffer<uint8_t> right;
    tAlignedBuffer<double> rows;
    tFileHandle file;
};

// Seek with the retries a busy network volume may need.
bool seekTo(FILE *fp, uint64_t pos) {
    for (int t = 0; t < kSeekTries; ++t)
        if (v_lseek(fp, static_cast<int64_t>(pos), 0) == 0) return true;
    return false;
}

// The file's audio as the pieces of the points ask for it. The points
// walk the file forwards, each wanting a few bytes to a few kilobytes at a
// time; read one by one, every piece costs a seek and a refill of the
// stream's buffer, which for the finest of several levels (a million
// points and more) takes far longer than the arithmetic. The reader keeps
// a large window of the file and hands out pieces in place, refilling the
// window from the piece's start when a piece leaves it. Pieces that reach
// past the audio are copied into the caller's buffer and padded there.
class tPieceReader {
public:
    static constexpr uint32_t kWindowBytes = 8u << 20;

    tPieceReader(FILE *fp, uint64_t dataEnd, uint8_t *padBuffer)
        : mFile(fp), mDataEnd(dataEnd), mPad(padBuffer), mWindow(alignedBuffer<uint8_t>(kWindowBytes + kReadSlack, 16)) {
        if (mWindow) std::memset(mWindow.get(), 0, kWindowBytes + kReadSlack);
    }
    bool usable() const { return static_cast<bool>(mWindow); }

    // The len bytes at pos (never past the end of the audio; the rest is
    // fill) in *data; *got receives the bytes that came from the file.
    int piece(uint64_t pos, uint32_t len, uint8_t fill, const uint8_t **data, uint32_t *got) {
        *got = 0;
        uint32_t want = 0;
        if (pos < mDataEnd) want = static_cast<uint32_t>(std::min<uint64_t>(len, mDataEnd - pos));
        if (want > 0) {
            if (pos < mStart || pos + want > mStart + mLength) {
                if (!seekTo(mFile, pos)) return kWaveFormErrSeek;
                const uint32_t ask = static_cast<uint32_t>(std::min<uint64_t>(kWindowBytes, mDataEnd - pos));
                mStart = pos;
                mLength = v_read(mFile, mWindow.get(), std::max(ask, want));
                if (mLength < want && std::ferror(mFile)) return kWaveFormErrRead;
            }
            *got = static_cast<uint32_t>(std::min<uint64_t>(want, mStart + mLength - pos));
        }
        if (*got == len) {
            *data = mWindow.get() + (pos - mStart);
            return 0;
        }
        if (*got > 0) std::memcpy(mPad, mWindow.get() + (pos - mStart), *got);
        std::memset(mPad + *got, fill, len - *got);
        *data = mPad;
        return 0;
    }

private:
    FILE *mFile;
    uint64_t mDataEnd;
    uint8_t *mPad;
    tAlignedBuffer<uint8_t> mWindow;
    uint64_t mStart = 0;
    uint32_t mLength = 0;
};

// Extremes of integer PCM, kept as integers: scaling is monotonic, so the
// extreme of the scaled samples is the scaled extreme. A 24-bit sample is
// taken as the 32-bit word at its first byte shifted up by 8 (the sample
// times 256, sign in place); that reads one byte past the last sample, which
// the read buffer's slack covers.
template <int Bytes>
inline int32_t sampleAt(const uint8_t *p) {
    if constexpr (Bytes == 2) {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else {
        uint32_t v;
        std::memcpy(&v, p, 4);
        if constexpr (Bytes == 3) v <<= 8;
        return static_cast<int32_t>(v);
    }
}

template <int Bytes, int Ch>
void intExtremes(const uint8_t *__restrict p, uint64_t frames, int32_t mx[2], int32_t mn[2]) {
    int32_t mx0 = mx[0], mn0 = mn[0], mx1 = mx[1], mn1 = mn[1];
    for (uint64_t i = 0; i < frames; ++i) {
        const int32_t a = sampleAt<Bytes>(p);
        mx0 = std::max(mx0, a);
        mn0 = std::min(mn0, a);
        if constexpr (Ch == 2) {
            const int32_t b = sampleAt<Bytes>(p + Bytes);
            mx1 = std::max(mx1, b);
            mn1 = std::min(mn1, b);
        }
        p += Bytes * Ch;
    }
    mx[0] = mx0, mn[0] = mn0, mx[1] = mx1, mn[1] = mn1;
}

typedef void (*tIntExtremes)(const uint8_t *, uint64_t, int32_t *, int32_t *);

tIntExtremes pickIntExtremes(uint32_t bits, uint32_t channels) {
    if (channels == 1) {
        if (bits == 16) return intExtremes<2, 1>;
        if (bits == 24) return intExtremes<3, 1>;
        if (bits == 32) return intExtremes<4, 1>;
    } else {
        if (bits == 16) return intExtremes<2, 2>;
        if (bits == 24) return intExtremes<3, 2>;
        if (bits == 32) return intExtremes<4, 2>;
    }
    return nullptr;
}

// Filtered DSD values at every second byte j < n of one channel: the sum of
// table k at byte j + k for k = 0..30, in that order. This is the plain form
// of the filter; the kernels below give the same doubles.
void dsdExtremesPlain(const double *__restrict tables, const uint8_t *__restrict b, uint32_t n, double *mx,
                      double *mn) {
    double hi = *mx, lo = *mn;
    for (uint32_t j = 0; j < n; j += 2) {
        const uint8_t *p = b + j;
        double a = tables[p[0]];
        for (int k = 1; k < kDsdSumTables; ++k) a += tables[256 * k + p[k]];
        hi = std::max(hi, a);
        lo = std::min(lo, a);
    }
    *mx = hi;
    *mn = lo;
}

// The filter turned around. Value o (the one at byte 2o) takes table 2q at
// byte 2(o + q) and table 2q + 1 at byte 2(o + q) + 1, q = 0..15 (table 31
// is not used). So the byte pair p feeds the 16 values p - 15 .. p, and
// what it adds to them is one row per byte: 16 terms side by side. A row
// load and one vector addition replace 16 scattered look-ups. Each value
// still receives its terms one after the other in the order k = 0..30,
// starting from -0.0 (-0.0 + x == x for every x), so the sums are the plain
// form's doubles, bit for bit.
//
// The running values sit in NV = 16 / W + 1 vectors of W lanes; lane i of
// vector v in group g holds value W g - 16 + W v + i. Group g takes the
// pairs W g - 1 .. W g + W - 2; pair W g - 1 + t needs its terms shifted by
// t lanes, which a load starting t entries before the row gives. The
// entries around a row are -0.0 and leave the lanes they reach unchanged.
// After the group, vector 0 is complete; the vectors move down one.
constexpr int kRowTerms = 16;
constexpr int kRowPad = 3;                       // widest vector (4) less one
constexpr int kRowStride = kRowTerms + kRowPad;  // rows share the padding between them
constexpr int kRowBlock = kRowPad + 256 * kRowStride;
constexpr int kDsdRowDoubles = 2 * kRowBlock;  // even-byte rows, then odd-byte rows
// The kernels run whole groups, so they read up to byte n + 2W + 28 (those
// bytes feed only values past the last, which are dropped).
constexpr uint32_t kDsdKernelTail = kWaveFormDsdTail;

// Row x of byte b holds the term of q = 15 - x: reversed, so that a value's
// lane rises with its index while q falls.
void buildDsdRows(const double *tables, double *rows) {
    std::fill(rows, rows + kDsdRowDoubles, -0.0);
    for (int b = 0; b < 256; ++b) {
        double *even = rows + kRowPad + b * kRowStride;
        double *odd = even + kRowBlock;
        for (int x = 0; x < kRowTerms; ++x) {
            const int q = kRowTerms - 1 - x;
            even[x] = tables[256 * (2 * q) + b];
            if (2 * q + 1 < kDsdSumTables) odd[x] = tables[256 * (2 * q + 1) + b];
        }
    }
}

// The 32-byte vector helpers are always inlined into the AVX2 function; no
// 32-byte vector crosses a call without AVX, so GCC's ABI note does not
// apply. (Templates are instantiated at the end of the file, so the note
// stays off to the end.)
#pragma GCC diagnostic ignored "-Wpsabi"

#define SX_WF_INLINE inline __attribute__((always_inline))

typedef double v2d __attribute__((vector_size(16), aligned(8)));
typedef double v4d __attribute__((vector_size(32), aligned(8)));

template <class V>
SX_WF_INLINE V loadv(const double *p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
SX_WF_INLINE V splat(double x) {
    V v = {};
    for (size_t i = 0; i < sizeof(V) / sizeof(double); ++i) v[i] = x;
    return v;
}

// Extremes of the filtered values at every second byte j < n of Ch channels
// (src[c], each readable to n + kDsdKernelTail), merged into mx[c], mn[c].
template <class V, int Ch>
SX_WF_INLINE void dsdExtremesRows(const double *__restrict rows, const uint8_t *const *src, uint32_t n, double *mx,
                                  double *mn) {
    constexpr int W = sizeof(V) / sizeof(double);
    constexpr int NV = kRowTerms / W + 1;
    static_assert(W - 1 <= kRowPad && 2 * W + 29 <= static_cast<int>(kDsdKernelTail), "row padding and tail");
    const double *even = rows + kRowPad;
    const double *odd = even + kRowBlock;
    const int64_t values = (static_cast<int64_t>(n) + 1) / 2;
    const int64_t groups = (values + kRowTerms - 1) / W + 1;

    V acc[Ch][NV], hi[Ch], lo[Ch];
    double shi[Ch], slo[Ch];
    for (int c = 0; c < Ch; ++c) {
        for (int v = 0; v < NV; ++v) acc[c][v] = splat<V>(-0.0);
        hi[c] = lo[c] = splat<V>(0.0);
        shi[c] = mx[c];
        slo[c] = mn[c];
    }
    for (int64_t g = 0; g < groups; ++g) {
#pragma GCC unroll 4
        for (int t = 0; t < W; ++t) {
            const int64_t p = W * g - 1 + t;
            if (p < 0) continue;  // the first group's first pair lies before the buffer
            // The pair's first step (t = 0) reaches no value of the last vector.
            const int nv = t == 0 ? NV - 1 : NV;
#pragma GCC unroll 2
            for (int c = 0; c < Ch; ++c) {
                const uint8_t *s = src[c] + 2 * p;
                const double *e = even + s[0] * kRowStride - t;
                const double *o = odd + s[1] * kRowStride - t;
#pragma GCC unroll 9
                for (int v = 0; v < nv; ++v) acc[c][v] += loadv<V>(e + W * v);
#pragma GCC unroll 9
                for (int v = 0; v < nv; ++v) acc[c][v] += loadv<V>(o + W * v);
            }
        }
        const int64_t first = W * g - kRowTerms;  // the values vector 0 completes
        if (first >= 0) {
            if (first + W <= values) {
                for (int c = 0; c < Ch; ++c) {
                    hi[c] = hi[c] < acc[c][0] ? acc[c][0] : hi[c];
                    lo[c] = acc[c][0] < lo[c] ? acc[c][0] : lo[c];
                }
            } else {
                for (int c = 0; c < Ch; ++c) {
                    double done[W];
                    std::memcpy(done, &acc[c][0], sizeof done);
                    for (int64_t i = 0; i < values - first; ++i) {
                        shi[c] = std::max(shi[c], done[i]);
                        slo[c] = std::min(slo[c], done[i]);
                    }
                }
            }
        }
        for (int c = 0; c < Ch; ++c) {
            for (int v = 0; v + 1 < NV; ++v) acc[c][v] = acc[c][v + 1];
            acc[c][NV - 1] = splat<V>(-0.0);
        }
    }
    for (int c = 0; c < Ch; ++c) {
        for (int i = 0; i < W; ++i) {
            shi[c] = std::max(shi[c], hi[c][i]);
            slo[c] = std::min(slo[c], lo[c][i]);
        }
        mx[c] = shi[c];
        mn[c] = slo[c];
    }
}

typedef void (*tDsdKernel)(const double *rows, const uint8_t *const *src, int channels, uint32_t n, double *mx,
                           double *mn);

void dsdKernelSse2(const double *rows, const uint8_t *const *src, int channels, uint32_t n, double *mx, double *mn) {
    // Two channels side by side would need 18 accumulators in 16 registers.
    for (int c = 0; c < channels; ++c) dsdExtremesRows<v2d, 1>(rows, src + c, n, mx + c, mn + c);
}

#if defined(__x86_64__) || defined(__i386__)
// Both channels in one pass: two independent chains of additions keep the
// adders busy while each value waits for its previous term.
__attribute__((target("avx2"))) void dsdKernelAvx2(const double *rows, const uint8_t *const *src, int channels,
                                                   uint32_t n, double *mx, double *mn) {
    if (channels == 2)
        dsdExtremesRows<v4d, 2>(rows, src, n, mx, mn);
    else
        dsdExtremesRows<v4d, 1>(rows, src, n, mx, mn);
}

bool avx2Usable() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
    return has;
}
#else
bool avx2Usable() { return false; }
#endif

tDsdKernel pickDsdKernel(int kernel) {
    switch (kernel) {
    case kWaveFormDsdSse2: return dsdKernelSse2;
#if defined(__x86_64__) || defined(__i386__)
    case kWaveFormDsdAvx2: return avx2Usable() ? dsdKernelAvx2 : nullptr;
    case kWaveFormDsdBest: return avx2Usable() ? dsdKernelAvx2 : dsdKernelSse2;
#else
    case kWaveFormDsdBest: return dsdKernelSse2;
#endif
    default: return nullptr;
    }
}

struct Level {
    int64_t count = 0;
    int64_t group = 0;  // finest points per point of this level; 0: level gets nothing
    int64_t counter = 0;
    int64_t index = 0;
    double mx[2] = {0, 0};
    double mn[2] = {0, 0};
};

}  // namespace

int audioWaveForm(const wchar16 *path, int64_t start, int64_t end, const int64_t *counts, double **maxima,
                  double **minima, const uint8_t *abort, int64_t *progress, int levels) {
    if (!path || !counts || !maxima || !minima || levels < 1 || levels > kWaveFormMaxLevels) return kWaveFormErrPcm;
    const int64_t last = counts[levels - 1];
    if (last < 1) return 0;
    if (last > std::numeric_limits<int>::max()) return kWaveFormErrPcm;
    for (int j = 0; j < levels; ++j)
        if (counts[j] > 0 && (!maxima[j] || !minima[j])) return kWaveFormErrPcm;

    Buffers buf;
    buf.scratch = alignedBuffer<uint8_t>(roundUp8(kScratchBytes), 16);
    buf.read = alignedBuffer<uint8_t>(roundUp8(kReadBufBytes) + kReadSlack, 16);
    if (!buf.scratch || !buf.read) return kWaveFormErrMemory;

    FILE *fp = nullptr;
    if (v_open(&fp, path, "rb") != 0 || !fp) {
        std::printf("Read File Open Error!\n");
        return kWaveFormErrOpen;
    }
    buf.file.reset(fp);

    int type = kTypeWav;
    if (checkFileExtention(path, ".dsf"))
        type = kTypeDsf;
    else if (checkFileExtention(path, ".dff"))
        type = kTypeDsdiff;
    else if (checkFileExtention(path, ".wsd"))
        type = kTypeWsd;
    const bool dsd = type != kTypeWav;

    tRiffStatus status = kRiffStatusUnknown;
    if (audiofile_checkHeader(type, fp, &status) != 0) {
        std::printf("Check Header Error!\n");
        return kWaveFormErrHeader;
    }
    uint32_t rate = 0, bits = 0, channels = 0;
    uint16_t formatTag = 0;
    if (audiofile_searchFmtChunk(type, fp, &rate, &bits, &channels, &formatTag) != 0) {
        std::printf("Search FMT Chunk Error!\n");
        return kWaveFormErrFmt;
    }
    uint64_t dataOffset = 0, dataBytes = 0, audioBytes = 0;
    if (audiofile_searchData(type, fp, &dataOffset, &dataBytes, &audioBytes) != 0) {
        std::printf("Search DATA Chunk Error!\n");
        return kWaveFormErrData;
    }

    // Only layouts the unpackers take; anything else would also make the
    // frame arithmetic below meaningless (a word length or channel count of
    // 0 read from the file).
    if (dsd) {
        if (bits != 1 || channels < 1 || channels > 2) {
            if (type == kTypeDsf) return kWaveFormErrDsf;
            std::printf("DSDIFF to DSD Error!\n");
            return kWaveFormErrDsdiff;
        }
    } else if ((bits != 16 && bits != 24 && bits != 32 && bits != 64) || channels < 1 || channels > 2) {
        return kWaveFormErrPcm;
    }

    // The DSD filter tables live in this frame: 32 x 256 doubles.
    double tables[kDsdTables * 256];
    if (dsd) gAudio_setMeterFirParam(rate, rate * 0.015625, kDsdTaps, tables);

    int64_t frames = static_cast<int64_t>(std::min<uint64_t>(audioBytes * 8 / (static_cast<uint64_t>(bits) * channels),
                                                             std::numeric_limits<int64_t>::max()));
    if (dsd) frames = std::max<int64_t>(0, frames - kDsdTaps);
    start = std::clamp<int64_t>(start, 0, frames);
    end = std::clamp<int64_t>(end, start, frames);
    const int64_t span = end - start;

    // Where reads must stop: the audio itself (DSF: its whole block groups),
    // never the chunks that follow it.
    uint64_t dataEnd = dataOffset + audioBytes;
    if (type == kTypeDsf && channels == 2) {
        const uint64_t groups = (audioBytes / channels + kDsfBlockBytes - 1) / kDsfBlockBytes;
        dataEnd = dataOffset + groups * kDsfBlockBytes * channels;
    }

    int64_t perPoint = (span + last - 1) / last;
    if (dsd)
        perPoint = static_cast<int64_t>(roundUp8(static_cast<uint64_t>(perPoint)));
    else
        perPoint = std::max<int64_t>(perPoint, 1);
    const int64_t perRead = (dsd ? kDsdReadBits : kPcmReadBits) / (static_cast<int64_t>(bits) * channels);

    const bool floatPcm = !dsd && (bits == 64 || (bits == 32 && formatTag == kWaveFormatIeeeFloat));
    const tIntExtremes intKernel = (dsd || floatPcm) ? nullptr : pickIntExtremes(bits, channels);
    // The kernel's tail lies behind what a piece fills; it holds idle bytes
    // or an earlier piece's, which only feed values that are dropped.
    const uint32_t dsdChanBytes = static_cast<uint32_t>(perRead / 8) + kDsdLookAhead + kDsdKernelTail;
    if (floatPcm) {
        buf.pcm = alignedBuffer<double>(2 * static_cast<uint64_t>(perRead), 16);
        if (!buf.pcm) return kWaveFormErrWork;
    } else if (dsd) {
        buf.left = alignedBuffer<uint8_t>(roundUp8(dsdChanBytes), 16);
        buf.right = alignedBuffer<uint8_t>(roundUp8(dsdChanBytes), 16);
        buf.rows = alignedBuffer<double>(kDsdRowDoubles, 64);
        if (!buf.left || !buf.right || !buf.rows) return kWaveFormErrWork;
        std::memset(buf.left.get(), kDsdIdleByte, roundUp8(dsdChanBytes));
        std::memset(buf.right.get(), kDsdIdleByte, roundUp8(dsdChanBytes));
        buildDsdRows(tables, buf.rows.get());
    }

    const tDsdKernel dsdKernel = pickDsdKernel(kWaveFormDsdBest);
    const uint8_t *const chans[2] = {buf.left.get(), buf.right.get()};

    Level lv[kWaveFormMaxLevels];
    for (int j = 0; j < levels - 1; ++j) {
        lv[j].count = counts[j];
        lv[j].group = (counts[j] >= 1 && counts[j] <= last) ? last / counts[j] : 0;
        lv[j].counter = lv[j].group;
    }
    const int64_t bytesPerFrame = static_cast<int64_t>(bits / 8) * channels;
    tPieceReader reader(fp, dataEnd, buf.read.get());
    if (!reader.usable()) return kWaveFormErrMemory;

    for (int64_t i = 0; i < last; ++i) {
        int64_t first = start + static_cast<int64_t>(static_cast<__int128>(i) * span / last);
        if (dsd) first = static_cast<int64_t>(roundUp8(static_cast<uint64_t>(first)));
        double pmx[2] = {0, 0}, pmn[2] = {0, 0};
        int32_t imx[2] = {0, 0}, imn[2] = {0, 0};

        for (int64_t done = 0; done < perPoint;) {
            // The caller sets the byte from another thread while this runs.
            if (abort && __atomic_load_n(abort, __ATOMIC_RELAXED)) return kWaveFormAborted;
            const int64_t n = std::min(perPoint - done, perRead);
            const int64_t f = first + done;
            uint32_t got = 0;
            const uint8_t *src = nullptr;
            int r = 0;
            if (!dsd) {
                const uint64_t pos = dataOffset + static_cast<uint64_t>(f) * bytesPerFrame;
                const uint32_t len = static_cast<uint32_t>(n * bytesPerFrame);
                if (pos >= dataEnd) break;
                r = reader.piece(pos, len, 0, &src, &got);
                if (r != 0) return r;
                const uint64_t have = got / bytesPerFrame;
                if (have == 0) break;
                if (intKernel) {
                    intKernel(src, have, imx, imn);
                } else {
                    if (wav2pcm(buf.pcm.get(), src, static_cast<uint32_t>(have),
                                static_cast<uint8_t>(channels), static_cast<uint8_t>(bits), nullptr, formatTag) != 0)
                        return kWaveFormErrPcm;
                    const double *s = buf.pcm.get();
                    for (uint64_t k = 0; k < have; ++k, s += 2) {
                        for (int c = 0; c < 2; ++c) {
                            pmx[c] = std::max(pmx[c], s[c] * kPcmScale);
                            pmn[c] = std::min(pmn[c], s[c] * kPcmScale);
                        }
                    }
                }
            } else {
                const uint32_t pieceBytes = static_cast<uint32_t>(n / 8);
                const uint32_t need = pieceBytes + kDsdLookAhead;
                const uint64_t byteInChan = static_cast<uint64_t>(f) / 8;
                if (type == kTypeDsf && channels == 2) {
                    const uint64_t group = byteInChan / kDsfBlockBytes;
                    const uint32_t o = static_cast<uint32_t>(byteInChan % kDsfBlockBytes);
                    const uint64_t pos = dataOffset + group * 2 * kDsfBlockBytes + o;
                    if (pos >= dataEnd) break;
                    const uint32_t groups = (o + need + kDsfBlockBytes - 1) / kDsfBlockBytes;
                    const uint32_t len = groups * 2 * kDsfBlockBytes - o;
                    r = reader.piece(pos, len, kDsdIdleByte, &src, &got);
                    if (r != 0) return r;
                    if (got == 0) break;
                    if (dsf2dsd(buf.left.get(), buf.right.get(), src, need * 8, 2, o) != 0)
                        return kWaveFormErrDsf;
                } else {
                    const uint64_t pos = dataOffset + byteInChan * channels;
                    if (pos >= dataEnd) break;
                    r = reader.piece(pos, need * channels, kDsdIdleByte, &src, &got);
                    if (r != 0) return r;
                    if (got == 0) break;
                    if (type == kTypeDsf) {
                        if (dsf2dsd(buf.left.get(), buf.right.get(), src, need * 8, 1, 0) != 0)
                            return kWaveFormErrDsf;
                    } else if (dsdiff2dsd(buf.left.get(), buf.right.get(), src, need * 8,
                                          static_cast<uint8_t>(channels)) != 0) {
                        std::printf("DSDIFF to DSD Error!\n");
                        return kWaveFormErrDsdiff;
                    }
                }
                dsdKernel(buf.rows.get(), chans, static_cast<int>(channels), pieceBytes, pmx, pmn);
            }
            done += n;
        }

        if (intKernel) {
            // 24-bit extremes are kept times 256 (see sampleAt).
            const double unit = 1.0 / static_cast<double>(1u << (bits == 24 ? 31 : bits - 1));
            for (int c = 0; c < 2; ++c) {
                pmx[c] = static_cast<double>(imx[c]) * unit * kPcmScale;
                pmn[c] = static_cast<double>(imn[c]) * unit * kPcmScale;
            }
        } else if (dsd) {
            for (int c = 0; c < 2; ++c) {
                pmx[c] *= kDsdScale;
                pmn[c] *= kDsdScale;
            }
        }

        double *lastMax = maxima[levels - 1] + 2 * i;
        double *lastMin = minima[levels - 1] + 2 * i;
        lastMax[0] = pmx[0], lastMax[1] = pmx[1];
        lastMin[0] = pmn[0], lastMin[1] = pmn[1];
        for (int j = 0; j < levels - 1; ++j) {
            Level &L = lv[j];
            if (L.group == 0) continue;
            for (int c = 0; c < 2; ++c) {
                L.mx[c] = std::max(L.mx[c], pmx[c]);
                L.mn[c] = std::min(L.mn[c], pmn[c]);
            }
            if (--L.counter == 0) {
                // A count that does not divide the last one would give this
                // level more points than its array holds: stop at the count.
                if (L.index < L.count) {
                    maxima[j][2 * L.index] = L.mx[0], maxima[j][2 * L.index + 1] = L.mx[1];
                    minima[j][2 * L.index] = L.mn[0], minima[j][2 * L.index + 1] = L.mn[1];
                    ++L.index;
                }
                L.mx[0] = L.mx[1] = L.mn[0] = L.mn[1] = 0;
                L.counter = L.group;
            }
        }
        // Published after the points it counts: a reader that loads it with
        // acquire may draw every point below it.
        if (progress) __atomic_store_n(progress, (levels == 1) ? i + 1 : lv[0].index, __ATOMIC_RELEASE);
    }
    return static_cast<int>(last);
}

int waveFormDsdExtremes(int kernel, const double *tables, const uint8_t *left, const uint8_t *right, int channels,
                        uint32_t bytes, double mx[2], double mn[2]) {
    if (!tables || !left || (channels == 2 && !right) || channels < 1 || channels > 2 || !mx || !mn)
        return kWaveFormErrPcm;
    const uint8_t *const src[2] = {left, right};
    if (kernel == kWaveFormDsdPlain) {
        for (int c = 0; c < channels; ++c) dsdExtremesPlain(tables, src[c], bytes, mx + c, mn + c);
        return 0;
    }
    const tDsdKernel run = pickDsdKernel(kernel);
    tAlignedBuffer<double> rows = alignedBuffer<double>(kDsdRowDoubles, 64);
    if (!run || !rows) return run ? kWaveFormErrWork : kWaveFormErrPcm;
    buildDsdRows(tables, rows.get());
    run(rows.get(), src, channels, bytes, mx, mn);
    return 0;
}
