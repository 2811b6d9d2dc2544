#include "morphex/waveform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "audiofile/audiohelpers.h"
#include "audiofile/dsdlayout.h"
#include "audiofile/pcmpack.h"
#include "audiofile/vfile.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/decimfir.h"

namespace {

enum : int { kTypeWav = 0, kTypeDsf = 2, kTypeDsdiff = 3, kTypeWsd = 4 };

constexpr uint32_t kScratchBytes = 2048;
constexpr uint32_t kReadBytes = 1024000;        // one PCM read
constexpr int64_t kPcmReadBits = 8192000;       // frames per read = this / (bits x channels)
constexpr int64_t kDsdReadBits = 2048000;       // a quarter of the PCM read for DSD
constexpr int kDsdTaps = 255;
constexpr int kDsdTables = 32;                  // 255 / 8 + 1
constexpr int kDsdSumTables = 31;               // the last table holds taps past the window
constexpr uint32_t kDsdLookAhead = 32;          // bytes per channel behind a piece (word loads included)
constexpr double kPcmScale = 0.8;
constexpr double kDsdScale = 1.6;
constexpr int kSeekTries = 5;
constexpr uint32_t kReadSlack = 8;              // word loads may reach past the last sample

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
    uint8_t *scratch = nullptr;
    uint8_t *read = nullptr;
    double *pcm = nullptr;
    uint8_t *left = nullptr;
    uint8_t *right = nullptr;
    FILE *fp = nullptr;
    ~Buffers() {
        _aligned_free(scratch);
        _aligned_free(read);
        _aligned_free(pcm);
        _aligned_free(left);
        _aligned_free(right);
        v_close(fp);
    }
};

// Seek with the retries a busy network volume may need.
bool seekTo(FILE *fp, uint64_t pos) {
    for (int t = 0; t < kSeekTries; ++t)
        if (v_lseek(fp, static_cast<int64_t>(pos), 0) == 0) return true;
    return false;
}

// Reads len bytes at pos, never past dataEnd; the rest of len is filled with
// fill. *got receives the bytes that came from the file.
int readPiece(FILE *fp, uint64_t pos, uint64_t dataEnd, uint8_t *buf, uint32_t len, uint8_t fill,
              uint32_t *got) {
    *got = 0;
    uint32_t want = 0;
    if (pos < dataEnd) want = static_cast<uint32_t>(std::min<uint64_t>(len, dataEnd - pos));
    if (want > 0) {
        if (!seekTo(fp, pos)) return kWaveFormErrSeek;
        *got = v_read(fp, buf, want);
        if (*got < want && std::ferror(fp)) return kWaveFormErrRead;
    }
    if (*got < len) std::memset(buf + *got, fill, len - *got);
    return 0;
}

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
// table k at byte j + k for k = 0..30, in that order. Four values run side
// by side so the table loads overlap; each keeps its own order of additions.
void dsdExtremes(const double *__restrict tables, const uint8_t *__restrict b, uint32_t n, double *mx,
                 double *mn) {
    double hi = *mx, lo = *mn;
    uint32_t j = 0;
    // Eight values per pass; the bytes each k needs come out of two word
    // loads, so the load ports serve mostly table reads.
    for (; j + 14 < n; j += 16) {
        const uint8_t *p = b + j;
        double a[8];
        uint64_t w0, w1;
        std::memcpy(&w0, p, 8);
        std::memcpy(&w1, p + 8, 8);
        for (int v = 0; v < 4; ++v) {
            a[v] = tables[(w0 >> (16 * v)) & 0xFF];
            a[v + 4] = tables[(w1 >> (16 * v)) & 0xFF];
        }
        for (int k = 1; k < kDsdSumTables; ++k) {
            const double *t = tables + 256 * k;
            std::memcpy(&w0, p + k, 8);
            std::memcpy(&w1, p + k + 8, 8);
            for (int v = 0; v < 4; ++v) {
                a[v] += t[(w0 >> (16 * v)) & 0xFF];
                a[v + 4] += t[(w1 >> (16 * v)) & 0xFF];
            }
        }
        for (int v = 0; v < 8; ++v) {
            hi = std::max(hi, a[v]);
            lo = std::min(lo, a[v]);
        }
    }
    for (; j < n; j += 2) {
        const uint8_t *p = b + j;
        double a = tables[p[0]];
        for (int k = 1; k < kDsdSumTables; ++k) a += tables[256 * k + p[k]];
        hi = std::max(hi, a);
        lo = std::min(lo, a);
    }
    *mx = hi;
    *mn = lo;
}

struct Level {
    int64_t count = 0;
    int64_t group = 0;    // finest points per point of this level; 0: level gets nothing
    int64_t counter = 0;
    int64_t index = 0;
    double mx[2] = {0, 0};
    double mn[2] = {0, 0};
};

}  // namespace

int audioWaveForm(const wchar16 *path, int64_t start, int64_t end, const int64_t *counts,
                  double **maxima, double **minima, const uint8_t *abort, int64_t *progress,
                  int levels) {
    if (!path || !counts || !maxima || !minima || levels < 1 || levels > kWaveFormMaxLevels)
        return kWaveFormErrPcm;
    const int64_t last = counts[levels - 1];
    if (last < 1) return 0;
    if (last > std::numeric_limits<int>::max()) return kWaveFormErrPcm;
    for (int j = 0; j < levels; ++j)
        if (counts[j] > 0 && (!maxima[j] || !minima[j])) return kWaveFormErrPcm;

    Buffers buf;
    buf.scratch = static_cast<uint8_t *>(_aligned_malloc(roundUp8(kScratchBytes), 16));
    buf.read = static_cast<uint8_t *>(_aligned_malloc(roundUp8(kReadBufBytes) + kReadSlack, 16));
    if (!buf.scratch || !buf.read) return kWaveFormErrMemory;

    if (v_open(&buf.fp, path, "rb") != 0 || !buf.fp) {
        std::printf("Read File Open Error!\n");
        return kWaveFormErrOpen;
    }
    FILE *fp = buf.fp;

    int type = kTypeWav;
    if (checkFileExtention(path, ".dsf")) type = kTypeDsf;
    else if (checkFileExtention(path, ".dff")) type = kTypeDsdiff;
    else if (checkFileExtention(path, ".wsd")) type = kTypeWsd;
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

    int64_t frames = static_cast<int64_t>(std::min<uint64_t>(
        audioBytes * 8 / (static_cast<uint64_t>(bits) * channels), std::numeric_limits<int64_t>::max()));
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
    if (dsd) perPoint = static_cast<int64_t>(roundUp8(static_cast<uint64_t>(perPoint)));
    else perPoint = std::max<int64_t>(perPoint, 1);
    const int64_t perRead = (dsd ? kDsdReadBits : kPcmReadBits) / (static_cast<int64_t>(bits) * channels);

    const bool floatPcm = !dsd && (bits == 64 || (bits == 32 && formatTag == kWaveFormatIeeeFloat));
    const tIntExtremes intKernel = (dsd || floatPcm) ? nullptr : pickIntExtremes(bits, channels);
    const uint32_t dsdChanBytes = static_cast<uint32_t>(perRead / 8) + kDsdLookAhead;
    if (floatPcm) {
        buf.pcm = static_cast<double *>(_aligned_malloc(static_cast<uint64_t>(perRead) * 16, 16));
        if (!buf.pcm) return kWaveFormErrWork;
    } else if (dsd) {
        buf.left = static_cast<uint8_t *>(_aligned_malloc(roundUp8(dsdChanBytes), 16));
        buf.right = static_cast<uint8_t *>(_aligned_malloc(roundUp8(dsdChanBytes), 16));
        if (!buf.left || !buf.right) return kWaveFormErrWork;
    }

    Level lv[kWaveFormMaxLevels];
    for (int j = 0; j < levels - 1; ++j) {
        lv[j].count = counts[j];
        lv[j].group = (counts[j] >= 1 && counts[j] <= last) ? last / counts[j] : 0;
        lv[j].counter = lv[j].group;
    }
    const int64_t bytesPerFrame = static_cast<int64_t>(bits / 8) * channels;

    for (int64_t i = 0; i < last; ++i) {
        int64_t first = start + static_cast<int64_t>(static_cast<__int128>(i) * span / last);
        if (dsd) first = static_cast<int64_t>(roundUp8(static_cast<uint64_t>(first)));
        double pmx[2] = {0, 0}, pmn[2] = {0, 0};
        int32_t imx[2] = {0, 0}, imn[2] = {0, 0};

        for (int64_t done = 0; done < perPoint;) {
            if (abort && *abort) return kWaveFormAborted;
            const int64_t n = std::min(perPoint - done, perRead);
            const int64_t f = first + done;
            uint32_t got = 0;
            int r = 0;
            if (!dsd) {
                const uint64_t pos = dataOffset + static_cast<uint64_t>(f) * bytesPerFrame;
                const uint32_t len = static_cast<uint32_t>(n * bytesPerFrame);
                if (pos >= dataEnd) break;
                r = readPiece(fp, pos, dataEnd, buf.read, len, 0, &got);
                if (r != 0) return r;
                const uint64_t have = got / bytesPerFrame;
                if (have == 0) break;
                if (intKernel) {
                    intKernel(buf.read, have, imx, imn);
                } else {
                    if (wav2pcm(buf.pcm, buf.read, static_cast<uint32_t>(have), static_cast<uint8_t>(channels),
                                static_cast<uint8_t>(bits), nullptr, formatTag) != 0)
                        return kWaveFormErrPcm;
                    const double *s = buf.pcm;
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
                    r = readPiece(fp, pos, dataEnd, buf.read, len, kDsdIdleByte, &got);
                    if (r != 0) return r;
                    if (got == 0) break;
                    if (dsf2dsd(buf.left, buf.right, buf.read, need * 8, 2, o) != 0) return kWaveFormErrDsf;
                } else {
                    const uint64_t pos = dataOffset + byteInChan * channels;
                    if (pos >= dataEnd) break;
                    r = readPiece(fp, pos, dataEnd, buf.read, need * channels, kDsdIdleByte, &got);
                    if (r != 0) return r;
                    if (got == 0) break;
                    if (type == kTypeDsf) {
                        if (dsf2dsd(buf.left, buf.right, buf.read, need * 8, 1, 0) != 0) return kWaveFormErrDsf;
                    } else if (dsdiff2dsd(buf.left, buf.right, buf.read, need * 8,
                                          static_cast<uint8_t>(channels)) != 0) {
                        std::printf("DSDIFF to DSD Error!\n");
                        return kWaveFormErrDsdiff;
                    }
                }
                dsdExtremes(tables, buf.left, pieceBytes, &pmx[0], &pmn[0]);
                if (channels == 2) dsdExtremes(tables, buf.right, pieceBytes, &pmx[1], &pmn[1]);
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
        if (progress) *progress = (levels == 1) ? i + 1 : lv[0].index;
    }
    return static_cast<int>(last);
}
