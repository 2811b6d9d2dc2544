#include "morphex/updownconv.h"

#include "morphex/libutil.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include <immintrin.h>

#include "base/alignedalloc.h"
#include "dsp/peqrecord.h"
#include "morphex/classfft.h"
#include "morphex/decimfir.h"
#include "morphex/twolane.h"

using namespace morphex_lanes;

namespace {

// Identity matrix while no job has set its pan and volume table.
const double kIdentityPanVol[4] = {1.0, 0.0, 0.0, 1.0};

const double *convPanVol(int track) {
    const double *t = getPanVol(track);
    return t ? t : kIdentityPanVol;
}

// One step of the gain envelope: move to the next segment once its start is
// reached, then ramp (direction +-1) or take the segment's level.
inline double stepEnvelope(tDspVolParam &st, const tDspVolItem *env) {
    if (env) {
        if (env[st.index].start != kDspVolEnd && env[st.index + 1].start <= st.position) ++st.index;
        const tDspVolItem &seg = env[st.index];
        st.level = (seg.direction == 1 || seg.direction == -1) ? st.level + seg.slope : seg.level;
    }
    ++st.position;
    return st.level;
}

// One output frame's step of the envelope and, while the fade smoother runs
// (fade non-null), of the smoother fed the new level; the smoother moves
// only when `advance` (the modulator is not splicing). Returns the level.
inline double stepGain(tDspVolParam &st, const tDspVolItem *env, lpf *fade, bool advance) {
    const double level = stepEnvelope(st, env);
    if (fade) {
        const double x[2] = {level, level};
        fade->setXdiret(x);
        if (advance) fade->proc_1stIir();
    }
    return level;
}

// Mixes one two-lane frame x through the pan matrix g with the gain pair
// (gl, gr).
struct Mix {
    double l, r;
};
inline Mix panMix(const double *g, double gl, double gr, double xl, double xr) {
    return {g[0] * gl * xl + g[2] * gr * xr, g[1] * gl * xl + g[3] * gr * xr};
}

void applyEq(tPEQ *eq, double *out, int n) {
    if (!eq || !eq->allOn || !*eq->allOn) return;
    for (int b = kEqBands - 1; b >= 0; --b) {
        if (eq->band[b].mBandOn) eq->band[b].procEq<kEqBuildLibrary>(out, out, n);
    }
    const double g = eq->totalGainLin;
    for (int64_t k = 0; k < 2 * static_cast<int64_t>(n); ++k) out[k] *= g;
}

inline bool modulatorIdle(const classDsm5th *m) {
    return !m || (m->mSpliceReq[0] == 0 && m->mSpliceReq[1] == 0 && m->mSpliceCur[0] == 0 && m->mSpliceCur[1] == 0);
}

template <class T>
tAlignedBuffer<T> allocAligned(int64_t count) {
    return alignedBuffer<T>(static_cast<uint64_t>(count), 16);
}

}  // namespace

namespace {

// Instruction-set level of the sums, chosen once from the processor; tests
// lower it to compare the forms (upDownConvLimitIsa).
enum : int { kIsaPlain = 0, kIsaAvx = 1, kIsaAvx512 = 2 };

int detectIsa() {
    if (__builtin_cpu_supports("avx512f")) return kIsaAvx512;
    return __builtin_cpu_supports("avx") ? kIsaAvx : kIsaPlain;
}

const int kIsaDetected = detectIsa();
std::atomic<int> sIsaLimit{kIsaAvx512};

int isaLevel() { return std::min(kIsaDetected, sIsaLimit.load(std::memory_order_relaxed)); }

enum : int {
    kTileOutputs = 8,  // outputs of a tile: two 512-bit registers of two-lane frames
    kTileTail = 4,     // taps past the shortest output's last whole group of four: at most its remainder and one more
};
}  // namespace

// One tile: where its coefficients start (in two-lane entries, 64-byte
// aligned), its outputs' whole groups of four taps that all of them have
// (nmin4 taps) and its longest output's taps (nmax). Tap nmin4 + t adds into
// the accumulator of its group position on the lanes of `full[t]` and into
// the first accumulator on the lanes of `rem[t]` (the remainder of the
// outputs that have that tap but not its whole group); bit 2j and 2j + 1
// are output j's two lanes.
struct tTile {
    int64_t coef;
    int32_t nmin4, nmax;
    uint16_t full[kTileTail], rem[kTileTail];
    // The polyphase position after the tile (see PhaseStep): q grows by
    // stepQ, and r and m become nextR and nextM.
    uint32_t stepQ, nextR, nextM;
};

// The filter in polyphase form: phase p holds taps p, p + up, p + 2 up, ...
// back to back (two-lane), so each output is one contiguous dot product.
// For a DSD source every phase also has byte tables: entry b of group g is
// the sum of that phase's taps 8g .. 8g + 7 times +2 or -2 by the bits of
// b, most significant bit first.
struct CUpDownConv::Filter {
    const double *coef = nullptr;
    int taps = 0;
    uint32_t up = 0;
    tAlignedBuffer<double> poly;            // two-lane, all phases, each from a 64-byte boundary
    std::unique_ptr<int64_t[]> polyStart;   // per phase, in two-lane entries
    std::unique_ptr<int32_t[]> count;       // taps per phase
    tAlignedBuffer<double> tables;          // 256 doubles per group
    tAlignedBuffer<double> halves;          // per group: the 16 sums of its first four taps, then of its last four
    std::unique_ptr<int64_t[]> tableStart;  // per phase, in groups
    // Tiles: runs of kTileOutputs consecutive outputs that read the same
    // input frames (a PCM source raised by a large factor). A tile's sums
    // run with its outputs across the vector lanes, each lane forming its
    // output's sum in the order of dot2. Built for one decimation factor
    // (tileDown, 0 = none) on processors with 512-bit registers.
    uint32_t tileDown = 0;
    std::unique_ptr<tTile[]> tiles;
    std::unique_ptr<int32_t[]> tileAt;  // per position in the period of up outputs: the tile starting there, or -1
    tAlignedBuffer<double> tileCoef;    // per tile and tap: the taps of its outputs side by side, two-lane

    void releaseTiles() {
        tiles.reset();
        tileAt.reset();
        tileCoef.reset();
        tileDown = 0;
    }
    void release() {
        poly.reset();
        tables.reset();
        halves.reset();
        polyStart.reset();
        count.reset();
        tableStart.reset();
        releaseTiles();
        coef = nullptr;
        taps = 0;
        up = 0;
    }
    bool matches(const double *c, int t, uint32_t u, bool dsd) const {
        return coef == c && taps == t && up == u && poly && (!dsd || (tables && halves));
    }
};

CUpDownConv::CUpDownConv(tConvFadeShared *shared)
    : mWork(allocAligned<double>(2 * static_cast<int64_t>(kUpDownWorkFrames))),
      mHistory(allocAligned<double>(2 * kUpDownHistoryFrames)),
      mCapacity(mWork ? kUpDownWorkFrames : 0),
      mShared(shared),
      mFilter(new (std::nothrow) Filter),
      mFreqFrames(0) {
    if (mHistory) std::memset(mHistory.get(), 0, 2 * kUpDownHistoryFrames * sizeof(double));
}

CUpDownConv::~CUpDownConv() = default;

bool CUpDownConv::growWork(int frames) {
    if (mCapacity >= frames && mWork) return true;
    tAlignedBuffer<double> w = allocAligned<double>(2 * static_cast<int64_t>(frames));
    if (!w) return false;
    mWork = std::move(w);
    mCapacity = frames;
    return true;
}

int CUpDownConv::prepareFilter(const double *coefficients, int taps, uint32_t up, bool dsdTables, uint32_t down) {
    if (!coefficients || taps <= 0 || up == 0) return kUpDownBadParams;
    if (!mFilter) return kUpDownNoMemory;
    Filter &f = *mFilter;
    if (f.matches(coefficients, taps, up, dsdTables)) return down && !dsdTables ? prepareTiles(down) : kUpDownOk;
    f.release();
    // Every phase starts on a 64-byte boundary (a multiple of four two-lane
    // entries), so that the wide sums load its coefficients without
    // splitting cache lines; the padding is never read.
    f.poly = alignedBuffer<double>(2 * (static_cast<uint64_t>(taps) + 3 * static_cast<uint64_t>(up)), 64);
    f.polyStart.reset(new (std::nothrow) int64_t[up]);
    f.count.reset(new (std::nothrow) int32_t[up]);
    if (dsdTables) f.tableStart.reset(new (std::nothrow) int64_t[up]);
    if (!f.poly || !f.polyStart || !f.count || (dsdTables && !f.tableStart)) {
        f.release();
        return kUpDownNoMemory;
    }
    int64_t at = 0, groups = 0;
    for (uint32_t p = 0; p < up; ++p) {
        const int32_t n =
            p < static_cast<uint32_t>(taps) ? static_cast<int32_t>((static_cast<uint32_t>(taps) - 1 - p) / up + 1) : 0;
        f.polyStart[p] = at;
        f.count[p] = n;
        for (int32_t k = 0; k < n; ++k) {
            const int64_t src = 2 * (p + static_cast<int64_t>(k) * up);
            f.poly[2 * (at + k)] = coefficients[src];
            f.poly[2 * (at + k) + 1] = coefficients[src + 1];
        }
        at += (n + 3) / 4 * 4;
        if (dsdTables) {
            f.tableStart[p] = groups;
            groups += (n + 7) / 8;
        }
    }
    if (dsdTables) {
        f.tables = allocAligned<double>(std::max<int64_t>(groups, 1) * 256);
        f.halves = alignedBuffer<double>(static_cast<uint64_t>(std::max<int64_t>(groups, 1)) * 32, 64);
        if (!f.tables || !f.halves) {
            f.release();
            return kUpDownNoMemory;
        }
        for (uint32_t p = 0; p < up; ++p) {
            const double *h = f.poly.get() + 2 * f.polyStart[p];
            const int32_t n = f.count[p];
            for (int32_t g = 0; 8 * g < n; ++g) {
                double c[8];
                for (int j = 0; j < 8; ++j) c[j] = 8 * g + j < n ? 2.0 * h[2 * (8 * g + j)] : 0.0;
                // A byte's entry is the sum over its high nibble (the first
                // four samples) plus the sum over its low nibble, each added
                // in sample order from 0.0: the wide sums look the two
                // halves up in registers and add them the same way.
                double *half = f.halves.get() + 32 * (f.tableStart[p] + g);
                for (int x = 0; x < 16; ++x) {
                    double hi = 0.0, lo = 0.0;
                    for (int j = 0; j < 4; ++j) {
                        hi += (x & (8 >> j)) ? c[j] : -c[j];
                        lo += (x & (8 >> j)) ? c[4 + j] : -c[4 + j];
                    }
                    half[x] = hi;
                    half[16 + x] = lo;
                }
                double *t = f.tables.get() + 256 * (f.tableStart[p] + g);
                for (int b = 0; b < 256; ++b) t[b] = half[b >> 4] + half[16 + (b & 15)];
            }
        }
    }
    f.coef = coefficients;
    f.taps = taps;
    f.up = up;
    return down && !dsdTables ? prepareTiles(down) : kUpDownOk;
}

int CUpDownConv::prepareTiles(uint32_t down) {
    Filter &f = *mFilter;
    if (f.tileDown == down) return kUpDownOk;
    f.releaseTiles();
    f.tileDown = down;
    // Only the 512-bit sums use tiles, and only a large rise in rate makes
    // runs of kTileOutputs outputs that read the same input frames.
    const uint32_t up = f.up;
    if (kIsaDetected < kIsaAvx512 || up < static_cast<uint32_t>(kTileOutputs) * down) return kUpDownOk;
    // Position i of the period: its phase and first input frame (first
    // grows by down every up outputs, so one period and one tile beyond it
    // show every run).
    const uint32_t span = 2 * up + kTileOutputs;
    std::unique_ptr<uint32_t[]> phase(new (std::nothrow) uint32_t[span]);
    std::unique_ptr<uint64_t[]> first(new (std::nothrow) uint64_t[span]);
    f.tileAt.reset(new (std::nothrow) int32_t[up]);
    if (!phase || !first || !f.tileAt) {
        f.releaseTiles();
        return kUpDownNoMemory;
    }
    for (uint32_t i = 0; i < span; ++i) {
        const uint64_t P = static_cast<uint64_t>(down) * i;
        phase[i] = static_cast<uint32_t>((up - P % up) % up);
        first[i] = (P + phase[i]) / up;
    }
    // Tiles are laid from the first start of a run on, over one period, so
    // that none overlaps another across the period's end.
    uint32_t s0 = 1;
    while (first[s0] == first[s0 - 1]) ++s0;
    for (uint32_t m = 0; m < up; ++m) f.tileAt[m] = -1;
    int32_t count = 0;
    int64_t entries = 0;
    for (uint32_t i = s0; i + kTileOutputs <= s0 + up;) {
        if (first[i] != first[i + kTileOutputs - 1]) {
            ++i;
            continue;
        }
        int32_t nmin = INT32_MAX, nmax = 0;
        for (int j = 0; j < kTileOutputs; ++j) {
            nmin = std::min(nmin, f.count[phase[i + j]]);
            nmax = std::max(nmax, f.count[phase[i + j]]);
        }
        if (nmax - nmin / 4 * 4 > kTileTail) {  // never for a polyphase split, whose counts differ by one at most
            ++i;
            continue;
        }
        f.tileAt[i % up] = count++;
        entries += 8 * static_cast<int64_t>(nmax);
        i += kTileOutputs;
    }
    if (count == 0) {
        f.tileAt.reset();
        return kUpDownOk;
    }
    f.tiles.reset(new (std::nothrow) tTile[count]);
    f.tileCoef = alignedBuffer<double>(2 * static_cast<uint64_t>(entries), 64);
    if (!f.tiles || !f.tileCoef) {
        f.releaseTiles();
        f.tileDown = down;
        return kUpDownNoMemory;
    }
    int64_t at = 0;
    for (uint32_t i = s0; i + kTileOutputs <= s0 + up; ++i) {
        const int32_t t = f.tileAt[i % up];
        if (t < 0) continue;
        tTile &tile = f.tiles[t];
        int32_t n[kTileOutputs];
        int32_t nmin = INT32_MAX, nmax = 0;
        for (int j = 0; j < kTileOutputs; ++j) {
            n[j] = f.count[phase[i + j]];
            nmin = std::min(nmin, n[j]);
            nmax = std::max(nmax, n[j]);
        }
        tile.coef = at;
        tile.nmin4 = nmin / 4 * 4;
        tile.nmax = nmax;
        const uint64_t P0 = static_cast<uint64_t>(down) * (i % up),
                       P1 = P0 + static_cast<uint64_t>(down) * kTileOutputs;
        tile.stepQ = static_cast<uint32_t>(P1 / up - P0 / up);
        tile.nextR = static_cast<uint32_t>(P1 % up);
        tile.nextM = (i + kTileOutputs) % up;
        double *c = f.tileCoef.get() + 2 * at;
        for (int32_t k = 0; k < nmax; ++k)
            for (int j = 0; j < kTileOutputs; ++j) {
                const double *h = f.poly.get() + 2 * (f.polyStart[phase[i + j]] + k);
                c[16 * k + 2 * j] = k < n[j] ? h[0] : 0.0;
                c[16 * k + 2 * j + 1] = k < n[j] ? h[1] : 0.0;
            }
        for (int32_t k = tile.nmin4; k < nmax; ++k) {
            uint16_t full = 0, rem = 0;
            for (int j = 0; j < kTileOutputs; ++j) {
                if (k < n[j] / 4 * 4)
                    full = static_cast<uint16_t>(full | (3u << (2 * j)));
                else if (k < n[j])
                    rem = static_cast<uint16_t>(rem | (3u << (2 * j)));
            }
            tile.full[k - tile.nmin4] = full;
            tile.rem[k - tile.nmin4] = rem;
        }
        at += 8 * static_cast<int64_t>(nmax);
    }
    return kUpDownOk;
}

int CUpDownConv::gAudio_upconvert(double *out, const void *const src[2], uint32_t n, uint32_t inRate,
                                  uint32_t commonRate, uint8_t hold, uint8_t isDsd, uint32_t offset, uint32_t bitOffset,
                                  FILE *) {
    if (!out || !src || !src[0] || !src[1] || inRate == 0 || commonRate < inRate) return kUpDownBadParams;
    const uint64_t f = commonRate / inRate;
    std::memset(out, 0, static_cast<size_t>(offset) * 2 * sizeof(double));
    double *o = out + 2 * static_cast<uint64_t>(offset);
    if (isDsd) {
        const uint8_t *l = static_cast<const uint8_t *>(src[0]);
        const uint8_t *r = static_cast<const uint8_t *>(src[1]);
        // With hold the samples count from the first bit of the first byte.
        const uint64_t first = hold ? 0 : bitOffset;
        for (uint64_t k = 0; k < n; ++k) {
            const uint64_t bit = first + k;
            const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit & 7));
            const double xl = (l[bit >> 3] & mask) ? 2.0 : -2.0;
            const double xr = (r[bit >> 3] & mask) ? 2.0 : -2.0;
            if (!hold) {
                o[2 * k] = xl;
                o[2 * k + 1] = xr;
            } else {
                for (uint64_t j = 0; j < f; ++j) {
                    o[2 * (f * k + j)] = xl;
                    o[2 * (f * k + j) + 1] = xr;
                }
            }
        }
    } else {
        const double *l = static_cast<const double *>(src[0]);
        const double *r = static_cast<const double *>(src[1]);
        const uint64_t reps = hold ? f : 1;
        for (uint64_t k = 0; k < n; ++k)
            for (uint64_t j = 0; j < reps; ++j) {
                o[2 * (reps * k + j)] = l[k];
                o[2 * (reps * k + j) + 1] = r[k];
            }
    }
    return kUpDownOk;
}

namespace {

enum : int {
    kSumChunk = 1024,  // outputs whose sums are formed together (more tiles pair up in a longer chunk)
    kGroupRun = 8,     // DSD table groups per partial sum (8 x 2 KiB of tables)
};

// Position of output i in the polyphase filter: P = down i = q up + r.
// phase() is the first tap's phase and first() the first input frame.
struct PhaseStep {
    uint64_t q;
    uint32_t r;
    uint32_t up;
    uint64_t dq;     // down / up
    uint32_t dr;     // down % up
    uint32_t m = 0;  // i mod up: where output i lies in the period of its phases
    uint32_t phase() const { return r ? up - r : 0; }
    uint64_t first() const { return q + (r ? 1 : 0); }
    void next() {
        q += dq;
        r += dr;
        if (r >= up) {
            r -= up;
            ++q;
        }
        if (++m == up) m = 0;
    }
};

// The same sums as dot2 with 256-bit registers: one register carries the
// accumulators s0 and s1, another s2 and s3, each lane receives exactly the
// products it receives in dot2 and the partial sums are combined in the same
// order, without fused multiply-adds. The doubles are therefore identical;
// only the throughput differs. Chosen at run time where the processor has AVX.
typedef double v4d __attribute__((vector_size(32), aligned(8), may_alias));

// A direct unaligned load: through memcpy the compiler assembles the
// register from two halves on the stack, which stalls every iteration.
__attribute__((target("avx"))) inline v4d load4(const double *p) { return *reinterpret_cast<const v4d *>(p); }

__attribute__((target("avx"))) inline v2d dot2Avx(const double *__restrict a, const double *__restrict b, int64_t n) {
    v4d s01 = {0.0, 0.0, 0.0, 0.0}, s23 = s01;
    int64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        s01 += load4(a + 2 * k) * load4(b + 2 * k);
        s23 += load4(a + 2 * k + 4) * load4(b + 2 * k + 4);
    }
    v2d s0 = {s01[0], s01[1]}, s1 = {s01[2], s01[3]}, s2 = {s23[0], s23[1]}, s3 = {s23[2], s23[3]};
    for (; k < n; ++k) s0 += load2(a + 2 * k) * load2(b + 2 * k);
    return (s0 + s1) + (s2 + s3);
}

// With 512-bit registers one register carries all four accumulators.
typedef double v8d __attribute__((vector_size(64), aligned(8), may_alias));
typedef uint64_t v8u __attribute__((vector_size(64), aligned(8), may_alias));

__attribute__((target("avx512f"))) inline v2d dot2Avx512(const double *__restrict a, const double *__restrict b,
                                                         int64_t n) {
    v8d s = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    int64_t k = 0;
    for (; k + 4 <= n; k += 4)
        s += *reinterpret_cast<const v8d *>(a + 2 * k) * *reinterpret_cast<const v8d *>(b + 2 * k);
    v2d s0 = {s[0], s[1]}, s1 = {s[2], s[3]}, s2 = {s[4], s[5]}, s3 = {s[6], s[7]};
    for (; k < n; ++k) s0 += load2(a + 2 * k) * load2(b + 2 * k);
    return (s0 + s1) + (s2 + s3);
}

// The eight bytes of a run as one little-endian word: the first byte in
// the low bits.
static_assert(kGroupRun == 8, "a run's bytes are one 64-bit word");
inline uint64_t loadRun(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// PCM input of the polyphase branch: a two-lane dot product per output.
struct PcmSource {
    const double *input;
    const double *poly;
    const int64_t *polyStart;
    const int32_t *count;
    const tTile *tiles;     // null: the filter has no tiles
    const int32_t *tileAt;  // per position in the period (PhaseStep::m)
    const double *tileCoef;
    __attribute__((target("avx"))) void sumsAvx(PhaseStep &s, int c, double *sl, double *sr) const {
        for (int i = 0; i < c; ++i) {
            const v2d v = dot2Avx(poly + 2 * polyStart[s.phase()], input + 2 * s.first(), count[s.phase()]);
            sl[i] = v[0];
            sr[i] = v[1];
            s.next();
        }
    }
    // Tiles where the filter has them, single outputs between them.
    __attribute__((target("avx512f"))) void sumsAvx512(PhaseStep &s, int c, double *sl, double *sr) const {
        if (!tileAt) {
            pairSums(s, c, sl, sr);
            return;
        }
        // A tile one period (up outputs) later has the same taps and starts
        // down frames later: the two are summed together where both lie in
        // the chunk, so that the taps are loaded once for both.
        const int64_t up = s.up, down = static_cast<int64_t>(s.dq) * up + s.dr;
        bool done[kSumChunk] = {};
        for (int i = 0; i < c;) {
            const int32_t t = tileAt[s.m];
            if (t >= 0 && i + kTileOutputs <= c) {
                const tTile &tile = tiles[t];
                const double *x = input + 2 * s.first();
                if (done[i]) {
                    // summed with the tile a period before
                } else if (i + up + kTileOutputs <= c) {
                    if (down == 1)
                        tileSums<2, true>(tile, x, 2, sl + i, sr + i, up);
                    else
                        tileSums<2, false>(tile, x, 2 * down, sl + i, sr + i, up);
                    done[i + up] = true;
                } else {
                    tileSums<1, false>(tile, x, 0, sl + i, sr + i, 0);
                }
                s.q += tile.stepQ;
                s.r = tile.nextR;
                s.m = tile.nextM;
                i += kTileOutputs;
                continue;
            }
            const v2d v = dot2Avx512(poly + 2 * polyStart[s.phase()], input + 2 * s.first(), count[s.phase()]);
            sl[i] = v[0];
            sr[i] = v[1];
            s.next();
            ++i;
        }
    }

    // Two outputs at a time where their tap counts agree: their two
    // accumulator chains are independent, so one waits less on the other's
    // additions; each output's sum is formed exactly as by dot2Avx512.
    __attribute__((target("avx512f"))) void pairSums(PhaseStep &s, int c, double *sl, double *sr) const {
        int i = 0;
        for (; i + 2 <= c; i += 2) {
            const uint32_t pa = s.phase();
            const double *ia = input + 2 * s.first();
            s.next();
            const uint32_t pb = s.phase();
            const double *ib = input + 2 * s.first();
            s.next();
            const int64_t n = count[pa];
            const double *ca = poly + 2 * polyStart[pa], *cb = poly + 2 * polyStart[pb];
            if (count[pb] != n) {
                const v2d va = dot2Avx512(ca, ia, n), vb = dot2Avx512(cb, ib, count[pb]);
                sl[i] = va[0], sr[i] = va[1], sl[i + 1] = vb[0], sr[i + 1] = vb[1];
                continue;
            }
            v8d sa = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0}, sb = sa;
            int64_t k = 0;
            for (; k + 4 <= n; k += 4) {
                sa += *reinterpret_cast<const v8d *>(ca + 2 * k) * *reinterpret_cast<const v8d *>(ia + 2 * k);
                sb += *reinterpret_cast<const v8d *>(cb + 2 * k) * *reinterpret_cast<const v8d *>(ib + 2 * k);
            }
            v2d a0 = {sa[0], sa[1]}, a1 = {sa[2], sa[3]}, a2 = {sa[4], sa[5]}, a3 = {sa[6], sa[7]};
            v2d b0 = {sb[0], sb[1]}, b1 = {sb[2], sb[3]}, b2 = {sb[4], sb[5]}, b3 = {sb[6], sb[7]};
            for (; k < n; ++k) {
                a0 += load2(ca + 2 * k) * load2(ia + 2 * k);
                b0 += load2(cb + 2 * k) * load2(ib + 2 * k);
            }
            const v2d va = (a0 + a1) + (a2 + a3), vb = (b0 + b1) + (b2 + b3);
            sl[i] = va[0], sr[i] = va[1], sl[i + 1] = vb[0], sr[i + 1] = vb[1];
        }
        for (; i < c; ++i) {
            const v2d v = dot2Avx512(poly + 2 * polyStart[s.phase()], input + 2 * s.first(), count[s.phase()]);
            sl[i] = v[0];
            sr[i] = v[1];
            s.next();
        }
    }
    // Four two-lane output frames to their left and right sums.
    __attribute__((target("avx512f"))) static void storeFour(v8d frames, double *sl, double *sr) {
        const v4d l = __builtin_shufflevector(frames, frames, 0, 2, 4, 6);
        const v4d r = __builtin_shufflevector(frames, frames, 1, 3, 5, 7);
        std::memcpy(sl, &l, sizeof l);
        std::memcpy(sr, &r, sizeof r);
    }

    // A two-lane frame in all four places of a 512-bit register.
    __attribute__((target("avx512f"))) static v8d broadcastFrame(const double *p) {
        return _mm512_castps_pd(_mm512_maskz_broadcast_f32x4(0xFFFF, _mm_castpd_ps(_mm_loadu_pd(p))));
    }

    // Frame k of each of the N tiles, broadcast (see tileSums).
    template <int N, bool Adjacent>
    __attribute__((target("avx512f"), always_inline)) static inline void tileFrames(const double *x, int64_t dx,
                                                                                    int64_t k, v8d &next, v8d *bx) {
        if (Adjacent) {
            bx[0] = next;
            next = broadcastFrame(x + 2 * (k + 1));
            bx[N - 1] = next;
        } else {
            for (int n = 0; n < N; ++n) bx[n] = broadcastFrame(x + n * dx + 2 * k);
        }
    }

    // One tile: kTileOutputs outputs that all start at input frame x, or
    // (N = 2) that tile and the one a period later, whose outputs lie
    // `later` outputs on and start dx doubles further in the input. Tap k of
    // every output is multiplied by its frame k; accumulator k mod 4 of each
    // output takes it, as in dot2, except in the tail (see tTile). With
    // Adjacent (dx one frame) the later tile's frame k is the earlier one's
    // frame k + 1, broadcast once for both.
    template <int N, bool Adjacent>
    __attribute__((target("avx512f"))) void tileSums(const tTile &t, const double *x, int64_t dx, double *sl,
                                                     double *sr, int64_t later) const {
        const double *cf = tileCoef + 2 * t.coef;
        v8d lo[N][4], hi[N][4];
        for (int n = 0; n < N; ++n)
            for (int r = 0; r < 4; ++r) lo[n][r] = hi[n][r] = v8d{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
        v8d next = broadcastFrame(x);
        int64_t k = 0;
        for (; k < t.nmin4; k += 4) {
#pragma GCC unroll 4
            for (int r = 0; r < 4; ++r) {
                v8d bx[N];
                tileFrames<N, Adjacent>(x, dx, k + r, next, bx);
                const v8d cl = *reinterpret_cast<const v8d *>(cf + 16 * (k + r));
                const v8d ch = *reinterpret_cast<const v8d *>(cf + 16 * (k + r) + 8);
                for (int n = 0; n < N; ++n) {
                    lo[n][r] += cl * bx[n];
                    hi[n][r] += ch * bx[n];
                }
            }
        }
        // The tail: at most four taps (an output's count is the longest's or
        // one less), tap nmin4 + r belonging to accumulator r.
#pragma GCC unroll 4
        for (int r = 0; r < kTileTail; ++r) {
            if (k + r >= t.nmax) break;
            v8d bx[N];
            tileFrames<N, Adjacent>(x, dx, k + r, next, bx);
            const v8d cl = *reinterpret_cast<const v8d *>(cf + 16 * (k + r));
            const v8d ch = *reinterpret_cast<const v8d *>(cf + 16 * (k + r) + 8);
            const __mmask8 fl = static_cast<__mmask8>(t.full[r]), fh = static_cast<__mmask8>(t.full[r] >> 8);
            const __mmask8 rl = static_cast<__mmask8>(t.rem[r]), rh = static_cast<__mmask8>(t.rem[r] >> 8);
            for (int n = 0; n < N; ++n) {
                const v8d pl = cl * bx[n], ph = ch * bx[n];
                lo[n][r] = _mm512_mask_add_pd(lo[n][r], fl, lo[n][r], pl);
                hi[n][r] = _mm512_mask_add_pd(hi[n][r], fh, hi[n][r], ph);
                lo[n][0] = _mm512_mask_add_pd(lo[n][0], rl, lo[n][0], pl);
                hi[n][0] = _mm512_mask_add_pd(hi[n][0], rh, hi[n][0], ph);
            }
        }
        for (int n = 0; n < N; ++n) {
            storeFour((lo[n][0] + lo[n][1]) + (lo[n][2] + lo[n][3]), sl + n * later, sr + n * later);
            storeFour((hi[n][0] + hi[n][1]) + (hi[n][2] + hi[n][3]), sl + n * later + 4, sr + n * later + 4);
        }
    }
    int isa;  // instruction-set level of the sums (kIsa...)
    void sums(PhaseStep &s, int c, double *sl, double *sr) const {
        if (isa >= kIsaAvx512) {
            sumsAvx512(s, c, sl, sr);
            return;
        }
        if (isa >= kIsaAvx) {
            sumsAvx(s, c, sl, sr);
            return;
        }
        for (int i = 0; i < c; ++i) {
            const v2d v = dot2(poly + 2 * polyStart[s.phase()], input + 2 * s.first(), count[s.phase()]);
            sl[i] = v[0];
            sr[i] = v[1];
            s.next();
        }
    }
};

// DSD input: the bits of the two streams, eight taps per table look-up.
//
// Every form below adds an output's look-ups in one fixed order, so that
// the doubles do not depend on the rate pair's form or on the processor:
// the groups are taken in runs of kGroupRun; the look-ups of a run are
// added in ascending order into a partial sum starting at 0.0, and the
// partial sums of the runs are added in ascending order into the output's
// sum, which starts at 0.0. The result differs from the plain sequential
// sum only by rounding (well inside 1e-12 of the block's peak).
struct DsdSource {
    const uint8_t *l;
    const uint8_t *r;
    uint64_t bitOffset;
    const double *tables;
    const double *halves;
    const int64_t *tableStart;
    const int32_t *count;
    int isa;  // instruction-set level of the sums (kIsa...)
    void sums(PhaseStep &s, int c, double *sl, double *sr) const {
        if (s.up == 1) {
            sumsOnePhase(s, c, sl, sr);
            return;
        }
        // Two outputs at a time: their four partial sums are independent
        // chains, so one waits less on the other's additions.
        int i = 0;
        for (; i + 2 <= c; i += 2) {
            const Cursor a = cursor(s.first(), s.phase());
            s.next();
            const Cursor b = cursor(s.first(), s.phase());
            s.next();
            const int64_t runs = std::min(a.groups, b.groups) / kGroupRun;
            double al = 0.0, ar = 0.0, bl = 0.0, br = 0.0;
            for (int64_t g0 = 0; g0 < runs * kGroupRun; g0 += kGroupRun) {
                // The run's eight bytes of each stream in one word, first
                // byte on top, shifted out in place.
                uint64_t wal = a.word(a.l, g0), war = a.word(a.r, g0);
                uint64_t wbl = b.word(b.l, g0), wbr = b.word(b.r, g0);
                const double *ta = a.t + 256 * g0, *tb = b.t + 256 * g0;
                double pal = 0.0, par = 0.0, pbl = 0.0, pbr = 0.0;
#pragma GCC unroll 8
                for (int k = 0; k < kGroupRun; ++k) {
                    pal += ta[256 * k + (wal >> 56)];
                    par += ta[256 * k + (war >> 56)];
                    pbl += tb[256 * k + (wbl >> 56)];
                    pbr += tb[256 * k + (wbr >> 56)];
                    wal <<= 8, war <<= 8, wbl <<= 8, wbr <<= 8;
                    asm("" : "+r"(wal), "+r"(war), "+r"(wbl), "+r"(wbr));
                }
                al += pal;
                ar += par;
                bl += pbl;
                br += pbr;
            }
            finish(a, runs * kGroupRun, al, ar, sl + i, sr + i);
            finish(b, runs * kGroupRun, bl, br, sl + i + 1, sr + i + 1);
        }
        for (; i < c; ++i) {
            finish(cursor(s.first(), s.phase()), 0, 0.0, 0.0, sl + i, sr + i);
            s.next();
        }
    }

    // Where one output's look-ups start: its tables, its first bytes and
    // the bit at which they start.
    struct Cursor {
        const double *t;
        const uint8_t *l, *r;
        unsigned sh;
        int64_t groups;
        // The kGroupRun (eight) bytes starting sh bits into s[g], the first
        // on top. Reads s[g + 8], which the streams' contract allows: it is
        // at most the byte after the last bit the output reaches.
        uint64_t word(const uint8_t *s, int64_t g) const {
            uint64_t w;
            std::memcpy(&w, s + g, sizeof w);
            w = __builtin_bswap64(w);
            return (w << sh) | (static_cast<uint64_t>(s[g + 8]) >> (8 - sh));
        }
    };
    Cursor cursor(uint64_t first, uint32_t phase) const {
        const uint64_t pos = bitOffset + first;
        return {tables + 256 * tableStart[phase], l + (pos >> 3), r + (pos >> 3), static_cast<unsigned>(pos & 7),
                (count[phase] + 7) / 8};
    }

    // The runs of output u from group `from` (a run boundary) on, added to
    // the sums al, ar of the runs before it.
    static void finish(const Cursor &u, int64_t from, double al, double ar, double *sl, double *sr) {
        for (int64_t g0 = from; g0 < u.groups; g0 += kGroupRun) {
            const int64_t g1 = std::min<int64_t>(u.groups, g0 + kGroupRun);
            double pl = 0.0, pr = 0.0;
            for (int64_t g = g0; g < g1; ++g) {
                pl += u.t[256 * g + byteAt(u.l, g, u.sh)];
                pr += u.t[256 * g + byteAt(u.r, g, u.sh)];
            }
            al += pl;
            ar += pr;
        }
        *sl = al;
        *sr = ar;
    }

    // Without interpolation every output uses the same tables: walk the
    // groups in the outer loop so that one run's tables serve the whole
    // chunk from the first-level cache.
    void sumsOnePhase(PhaseStep &s, int c, double *sl, double *sr) const {
        const int64_t groups = (count[0] + 7) / 8;
        const uint64_t pos0 = bitOffset + s.first();
        const uint64_t down = s.dq;
        if (pos0 % 8 == 0 && down % 8 == 0) {
            if (isa >= kIsaAvx512 && groups >= kGroupRun)
                sumsAlignedAvx512(l + pos0 / 8, r + pos0 / 8, down / 8, groups, c, sl, sr);
            else
                sumsAligned(l + pos0 / 8, r + pos0 / 8, down / 8, groups, c, sl, sr);
            for (int i = 0; i < c; ++i) s.next();
            return;
        }
        const uint8_t *pa[kSumChunk], *pb[kSumChunk];
        unsigned sh[kSumChunk];
        for (int i = 0; i < c; ++i) {
            const uint64_t pos = bitOffset + s.first();
            pa[i] = l + (pos >> 3);
            pb[i] = r + (pos >> 3);
            sh[i] = static_cast<unsigned>(pos & 7);
            sl[i] = sr[i] = 0.0;
            s.next();
        }
        const double *t0 = tables + 256 * tableStart[0];
        for (int64_t g0 = 0; g0 < groups; g0 += kGroupRun) {
            const int64_t g1 = std::min<int64_t>(groups, g0 + kGroupRun);
            for (int i = 0; i < c; ++i) {
                const unsigned k = sh[i];
                double pl = 0.0, pr = 0.0;
                for (int64_t g = g0; g < g1; ++g) {
                    pl += t0[256 * g + byteAt(pa[i], g, k)];
                    pr += t0[256 * g + byteAt(pb[i], g, k)];
                }
                sl[i] += pl;
                sr[i] += pr;
            }
        }
    }

    // sumsAligned with eight outputs of a channel across the lanes of a
    // 512-bit register: a lane holds its output's eight bytes of the run,
    // and each byte's entry is formed from the group's two nibble tables,
    // held in registers and picked by a two-register permute, as the high
    // half's sum plus the low half's (the table entry itself, see
    // prepareFilter). The additions are those of sumsAligned.
    __attribute__((target("avx512f"))) void sumsAlignedAvx512(const uint8_t *a, const uint8_t *b, uint64_t stride,
                                                              int64_t groups, int c, double *sl, double *sr) const {
        for (int i = 0; i < c; ++i) sl[i] = sr[i] = 0.0;
        const double *h0 = halves + 32 * tableStart[0];
        const double *t0 = tables + 256 * tableStart[0];
        const int whole = c / 8 * 8;
        const int64_t st = static_cast<int64_t>(stride);
        const __m512i lanes = _mm512_setr_epi64(0, st, 2 * st, 3 * st, 4 * st, 5 * st, 6 * st, 7 * st);
        for (int64_t g0 = 0; g0 < groups; g0 += kGroupRun) {
            const int run = static_cast<int>(std::min<int64_t>(kGroupRun, groups - g0));
            // The run's bytes are read as eight bytes that end with its last
            // one (the outputs reach no further), then moved down.
            const int64_t from = g0 + run - kGroupRun;
            const int drop = 8 * (kGroupRun - run);
            for (int i = 0; i < whole; i += 8) {
                const uint8_t *pa = a + static_cast<uint64_t>(i) * stride + from;
                const uint8_t *pb = b + static_cast<uint64_t>(i) * stride + from;
                v8u wa, wb;
                if (stride == 8) {
                    std::memcpy(&wa, pa, sizeof wa);
                    std::memcpy(&wb, pb, sizeof wb);
                } else {
                    const __m512i none = _mm512_setzero_si512();
                    wa = reinterpret_cast<v8u>(_mm512_mask_i64gather_epi64(none, 0xFF, lanes, pa, 1));
                    wb = reinterpret_cast<v8u>(_mm512_mask_i64gather_epi64(none, 0xFF, lanes, pb, 1));
                }
                wa >>= drop;
                wb >>= drop;
                v8d pa8 = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0}, pb8 = pa8;
#pragma GCC unroll 8
                for (int k = 0; k < kGroupRun; ++k) {
                    if (k >= run) break;
                    const double *h = h0 + 32 * (g0 + k);
                    const __m512d hiLo = _mm512_load_pd(h), hiHi = _mm512_load_pd(h + 8);
                    const __m512d loLo = _mm512_load_pd(h + 16), loHi = _mm512_load_pd(h + 24);
                    // The permute reads the low four bits of each lane.
                    const __m512i ah = reinterpret_cast<__m512i>(wa >> (8 * k + 4));
                    const __m512i al = reinterpret_cast<__m512i>(wa >> (8 * k));
                    const __m512i bh = reinterpret_cast<__m512i>(wb >> (8 * k + 4));
                    const __m512i bl = reinterpret_cast<__m512i>(wb >> (8 * k));
                    pa8 += _mm512_permutex2var_pd(hiLo, ah, hiHi) + _mm512_permutex2var_pd(loLo, al, loHi);
                    pb8 += _mm512_permutex2var_pd(hiLo, bh, hiHi) + _mm512_permutex2var_pd(loLo, bl, loHi);
                }
                _mm512_storeu_pd(sl + i, _mm512_loadu_pd(sl + i) + pa8);
                _mm512_storeu_pd(sr + i, _mm512_loadu_pd(sr + i) + pb8);
            }
            for (int i = whole; i < c; ++i) {
                const uint8_t *pa = a + static_cast<uint64_t>(i) * stride, *pb = b + static_cast<uint64_t>(i) * stride;
                double l0 = 0, r0 = 0;
                for (int64_t g = g0; g < g0 + run; ++g) {
                    l0 += t0[256 * g + pa[g]];
                    r0 += t0[256 * g + pb[g]];
                }
                sl[i] += l0;
                sr[i] += r0;
            }
        }
    }

    // The byte that starts sh bits into s[g] (sh 0..7; s[g + 1] is read
    // only when sh is not 0).
    static unsigned byteAt(const uint8_t *s, int64_t g, unsigned sh) {
        if (sh == 0) return s[g];
        return ((static_cast<unsigned>(s[g]) << sh) | (s[g + 1] >> (8 - sh))) & 0xFFu;
    }

    // Every output starts on a byte boundary, `stride` bytes after the
    // previous one. Four outputs at a time keep their partial sums in
    // registers over a run, whose tables (16 KiB) stay in the first-level
    // cache while the whole chunk passes them.
    void sumsAligned(const uint8_t *a, const uint8_t *b, uint64_t stride, int64_t groups, int c, double *sl,
                     double *sr) const {
        for (int i = 0; i < c; ++i) sl[i] = sr[i] = 0.0;
        const double *t0 = tables + 256 * tableStart[0];
        for (int64_t g0 = 0; g0 < groups; g0 += kGroupRun) {
            const int64_t g1 = std::min<int64_t>(groups, g0 + kGroupRun);
            int i = 0;
            for (; i + 4 <= c; i += 4) {
                const uint8_t *pa = a + i * stride, *pb = b + i * stride;
                double l0 = 0, l1 = 0, l2 = 0, l3 = 0, r0 = 0, r1 = 0, r2 = 0, r3 = 0;
                if (g1 - g0 == kGroupRun) {
                    // A full run. The first stream's eight bytes come in one
                    // load and are shifted out in place (one shift, one byte
                    // move per look-up); the second stream's are loaded one
                    // by one. The mix balances the processor's loads against
                    // its integer operations; the additions are the same
                    // either way.
                    uint64_t wa0 = loadRun(pa + g0), wa1 = loadRun(pa + stride + g0);
                    uint64_t wa2 = loadRun(pa + 2 * stride + g0), wa3 = loadRun(pa + 3 * stride + g0);
                    const uint8_t *qb = pb + g0;
                    const double *t = t0 + 256 * g0;
#pragma GCC unroll 8
                    for (int k = 0; k < kGroupRun; ++k) {
                        l0 += t[256 * k + (wa0 & 0xFF)];
                        l1 += t[256 * k + (wa1 & 0xFF)];
                        l2 += t[256 * k + (wa2 & 0xFF)];
                        l3 += t[256 * k + (wa3 & 0xFF)];
                        r0 += t[256 * k + qb[k]];
                        r1 += t[256 * k + qb[stride + k]];
                        r2 += t[256 * k + qb[2 * stride + k]];
                        r3 += t[256 * k + qb[3 * stride + k]];
                        wa0 >>= 8, wa1 >>= 8, wa2 >>= 8, wa3 >>= 8;
                        // Keeps the compiler from turning the running
                        // shifts back into copies shifted from the start.
                        asm("" : "+r"(wa0), "+r"(wa1), "+r"(wa2), "+r"(wa3));
                    }
                } else {
                    for (int64_t g = g0; g < g1; ++g) {
                        const double *t = t0 + 256 * g;
                        l0 += t[pa[g]];
                        l1 += t[pa[stride + g]];
                        l2 += t[pa[2 * stride + g]];
                        l3 += t[pa[3 * stride + g]];
                        r0 += t[pb[g]];
                        r1 += t[pb[stride + g]];
                        r2 += t[pb[2 * stride + g]];
                        r3 += t[pb[3 * stride + g]];
                    }
                }
                sl[i] += l0;
                sl[i + 1] += l1;
                sl[i + 2] += l2;
                sl[i + 3] += l3;
                sr[i] += r0;
                sr[i + 1] += r1;
                sr[i + 2] += r2;
                sr[i + 3] += r3;
            }
            for (; i < c; ++i) {
                const uint8_t *pa = a + i * stride, *pb = b + i * stride;
                double l0 = 0, r0 = 0;
                for (int64_t g = g0; g < g1; ++g) {
                    l0 += t0[256 * g + pa[g]];
                    r0 += t0[256 * g + pb[g]];
                }
                sl[i] += l0;
                sr[i] += r0;
            }
        }
    }
};

}  // namespace

namespace {

// The outputs of a chunk with constant gains k (the pan matrix times the
// level): frame i = (k0 sl + k2 sr, k1 sl + k3 sr), stored or added. Every
// form gives the same doubles.
__attribute__((target("avx512f"))) void mixFlatAvx512(const double k[4], const double *sl, const double *sr, int c,
                                                      double *o, bool overwrite) {
    const v8d k0 = {k[0], k[0], k[0], k[0], k[0], k[0], k[0], k[0]},
              k1 = {k[1], k[1], k[1], k[1], k[1], k[1], k[1], k[1]};
    const v8d k2 = {k[2], k[2], k[2], k[2], k[2], k[2], k[2], k[2]},
              k3 = {k[3], k[3], k[3], k[3], k[3], k[3], k[3], k[3]};
    int i = 0;
    for (; i + 8 <= c; i += 8) {
        const v8d l = *reinterpret_cast<const v8d *>(sl + i), r = *reinterpret_cast<const v8d *>(sr + i);
        const v8d ol = k0 * l + k2 * r, orr = k1 * l + k3 * r;
        v8d f0 = __builtin_shufflevector(ol, orr, 0, 8, 1, 9, 2, 10, 3, 11);
        v8d f1 = __builtin_shufflevector(ol, orr, 4, 12, 5, 13, 6, 14, 7, 15);
        if (!overwrite) {
            f0 = *reinterpret_cast<const v8d *>(o + 2 * i) + f0;
            f1 = *reinterpret_cast<const v8d *>(o + 2 * i + 8) + f1;
        }
        std::memcpy(o + 2 * i, &f0, sizeof f0);
        std::memcpy(o + 2 * i + 8, &f1, sizeof f1);
    }
    const v2d kl = {k[0], k[1]}, kr = {k[2], k[3]};
    for (; i < c; ++i)
        store2(o + 2 * i, overwrite ? kl * sl[i] + kr * sr[i] : load2(o + 2 * i) + (kl * sl[i] + kr * sr[i]));
}

void mixFlat(const double k[4], const double *sl, const double *sr, int c, double *o, bool overwrite, int isa) {
    if (isa >= kIsaAvx512) {
        mixFlatAvx512(k, sl, sr, c, o, overwrite);
        return;
    }
    // Both lanes at once.
    const v2d kl = {k[0], k[1]}, kr = {k[2], k[3]};
    if (overwrite) {
        for (int i = 0; i < c; ++i) store2(o + 2 * i, kl * sl[i] + kr * sr[i]);
    } else {
        for (int i = 0; i < c; ++i) store2(o + 2 * i, load2(o + 2 * i) + (kl * sl[i] + kr * sr[i]));
    }
}

}  // namespace

template <class Source>
void CUpDownConv::polyphase(const tDownConvertParams *p, const Source &src, bool fadeActive) {
    const uint32_t up = p->commonRate / p->inRate;
    const uint32_t down = p->commonRate / p->outRate;
    const double *g = convPanVol(p->track);
    tDspVolParam unity{1.0, 0, 0};
    tDspVolParam &st = p->envelopeState ? *p->envelopeState : unity;
    const tDspVolItem *env = p->envelopeState ? p->envelope : nullptr;
    lpf *fade = fadeActive ? &mShared->fadeLpf : nullptr;
    double *out = p->output;

    // P = down i = q up + r, kept without a division per output. The sums
    // of a chunk of outputs are formed first, then the gains are applied
    // frame by frame.
    PhaseStep step{0, 0, up, down / up, down % up};
    double sl[kSumChunk], sr[kSumChunk];
    for (int i0 = 0; i0 < p->count; i0 += kSumChunk) {
        const int c = std::min<int>(kSumChunk, p->count - i0);
        src.sums(step, c, sl, sr);
        // Without the fade smoother, a chunk over which the envelope holds
        // one level (no segment starts inside it and the segment does not
        // ramp) has the same gains on every output: the envelope is stepped
        // once for the chunk and the gain products g x level formed once,
        // as the frame-by-frame form forms them first.
        const int64_t last = st.position + c - 1;
        if (!fade && (!env || ((env[st.index].start == kDspVolEnd || env[st.index + 1].start > last) &&
                               env[st.index].direction != 1 && env[st.index].direction != -1))) {
            const double level = env ? env[st.index].level : st.level;
            st.level = level;
            st.position += c;
            const double k[4] = {g[0] * level, g[1] * level, g[2] * level, g[3] * level};
            mixFlat(k, sl, sr, c, out + 2 * static_cast<int64_t>(i0), p->overwrite != 0, isaLevel());
            continue;
        }
        for (int i = 0; i < c; ++i) {
            const double level = stepGain(st, env, fade, true);
            const Mix m = panMix(g, level, level, sl[i], sr[i]);
            if (p->overwrite) {
                out[2 * (i0 + i)] = m.l;
                out[2 * (i0 + i) + 1] = m.r;
            } else {
                out[2 * (i0 + i)] += m.l;
                out[2 * (i0 + i) + 1] += m.r;
            }
        }
    }
}

// Frames [from, n) of the equal-rate branch with constant gains (gl, gr):
// output = scale x the pan mix, formed exactly as frame by frame. DSD bits
// take one of four precomputed frames, as each is the same sum of the same
// products.
static void equalRateRun(const tDownConvertParams *p, const double *g, double gl, double gr, int from, int n) {
    double *out = p->output;
    if (!p->input) {
        double table[4][2];
        for (int k = 0; k < 4; ++k) {
            const Mix m = panMix(g, gl, gr, (k & 2) ? 2.0 : -2.0, (k & 1) ? 2.0 : -2.0);
            table[k][0] = p->scale * m.l;
            table[k][1] = p->scale * m.r;
        }
        const uint8_t *l = p->dsd[0], *r = p->dsd[1];
        for (int i = from; i < n; ++i) {
            const uint64_t bit = p->dsdBitOffset + static_cast<uint64_t>(i);
            const int sh = 7 - static_cast<int>(bit & 7);
            const int k = (((l[bit >> 3] >> sh) & 1) << 1) | ((r[bit >> 3] >> sh) & 1);
            out[2 * i] = table[k][0];
            out[2 * i + 1] = table[k][1];
        }
        return;
    }
    const double *in = p->input;
    for (int i = from; i < n; ++i) {
        const Mix m = panMix(g, gl, gr, in[2 * i], in[2 * i + 1]);
        out[2 * i] = p->scale * m.l;
        out[2 * i + 1] = p->scale * m.r;
    }
}

int CUpDownConv::gAudio_downconvert(const tDownConvertParams *p) {
    if (!p || !p->output || p->count < 0 || p->inRate == 0 || p->outRate == 0 || p->commonRate == 0 ||
        p->commonRate % p->inRate != 0 || p->commonRate % p->outRate != 0)
        return kUpDownBadParams;
    const uint32_t up = p->commonRate / p->inRate;
    const uint32_t down = p->commonRate / p->outRate;
    const bool polyBranch = !p->hold && up != down;
    const bool smoothing = p->smoothDsd && p->outRate >= 2822400 && p->smoothCoefficients;
    // DSD bits may stand in for the input frames of the polyphase branch and
    // of the equal-rate branch without smoothing.
    const bool bitsOk = p->dsd && !p->hold && (polyBranch || !smoothing);
    if (!p->input && !bitsOk) return kUpDownBadParams;
    if (p->count == 0) return kUpDownOk;
    const int n = p->count;

    const bool fadeActive =
        (p->inRate >= 2822400 && down == 1 && up == 1 && p->writing == 1) || (p->outRate >= 2822400 && p->fadeLpf);
    const double *g = convPanVol(p->track);
    tDspVolParam unity{1.0, 0, 0};
    tDspVolParam &st = p->envelopeState ? *p->envelopeState : unity;
    const tDspVolItem *env = p->envelopeState ? p->envelope : nullptr;
    if (st.index < 0) st.index = 0;
    lpf &smoother = mShared->fadeLpf;
    lpf *fade = fadeActive ? &smoother : nullptr;

    if (p->hold) {
        // Output i lies at source frame i x down / up: it takes the frame at
        // or before that time. The input is at the source rate, so a block
        // reads no further than the source frames it spans. Scaled like the
        // equal-rate branch, so that a DSD output is modulated at its level.
        const bool idle = modulatorIdle(p->modulator);
        for (int i = 0; i < n; ++i) {
            const double level = stepGain(st, env, fade, idle);
            const double gl = fade ? smoother.getCoefY_1_ch(0) : level;
            const double gr = fade ? smoother.getCoefY_1_ch(1) : level;
            const double *x = p->input + 2 * (static_cast<uint64_t>(i) * down / up);
            const Mix m = panMix(g, gl, gr, x[0], x[1]);
            p->output[2 * i] += p->scale * m.l;
            p->output[2 * i + 1] += p->scale * m.r;
        }
        return kUpDownOk;
    }

    if (up == down) {
        if (smoothing && !growWork(n + 3)) return kUpDownNoMemory;
        if (smoothing && !mHistory) return kUpDownNoMemory;
        const bool idle = modulatorIdle(p->modulator);
        const int T = kUpDownSmoothTaps;
        // A block over which the envelope holds one level (no segment starts
        // inside it and the segment does not ramp) and whose fade smoother
        // stands still after its first step has the same gains on every
        // frame: from the second frame on the gains, the envelope and the
        // smoother are not stepped one by one but the outcome is the same.
        const int64_t p0 = st.position;
        const bool flat =
            !smoothing && (!env || ((env[st.index].start == kDspVolEnd || env[st.index + 1].start > p0 + n - 1) &&
                                    env[st.index].direction != 1 && env[st.index].direction != -1));
        const bool fromBits = !p->input;
        for (int i = 0; i < n; ++i) {
            const double yBefore[2] = {smoother.getCoefY_1_ch(0), smoother.getCoefY_1_ch(1)};
            const double level = stepGain(st, env, fade, idle);
            const double gl = fade ? smoother.getCoefY_1_ch(0) : level;
            const double gr = fade ? smoother.getCoefY_1_ch(1) : level;
            double bitFrame[2];
            const double *x;
            if (fromBits) {
                const uint64_t bit = p->dsdBitOffset + static_cast<uint64_t>(i);
                const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit & 7));
                bitFrame[0] = (p->dsd[0][bit >> 3] & mask) ? 2.0 : -2.0;
                bitFrame[1] = (p->dsd[1][bit >> 3] & mask) ? 2.0 : -2.0;
                x = bitFrame;
            } else {
                x = p->input + 2 * static_cast<int64_t>(i);
            }
            if (smoothing) {
                // The 45 frames before input[i]: the history's tail, then
                // the block's own frames.
                const int h = std::max(0, T - i);
                gAudioDecimationFir(mWork.get() + 2 * static_cast<int64_t>(i),
                                    p->input + 2 * static_cast<int64_t>(std::max(0, i - T)), p->smoothCoefficients, T,
                                    h > 0 ? mHistory.get() + 2 * i : nullptr, h);
                x = mWork.get() + 2 * static_cast<int64_t>(i);
            }
            const Mix m = panMix(g, gl, gr, x[0], x[1]);
            p->output[2 * i] = p->scale * m.l;
            p->output[2 * i + 1] = p->scale * m.r;
            if (i == 0 && flat && n > 1 &&
                (!fadeActive || (smoother.getCoefY_1_ch(0) == yBefore[0] && smoother.getCoefY_1_ch(1) == yBefore[1]))) {
                equalRateRun(p, g, gl, gr, 1, n);
                st.position = p0 + n;
                break;
            }
        }
        if (smoothing) {
            if (n >= T) {
                std::memcpy(mHistory.get(), p->input + 2 * static_cast<int64_t>(n - T), 2 * T * sizeof(double));
            } else {
                std::memmove(mHistory.get(), mHistory.get() + 2 * n, 2 * (T - n) * sizeof(double));
                std::memcpy(mHistory.get() + 2 * (T - n), p->input, 2 * n * sizeof(double));
            }
        }
        if (p->eqOn) applyEq(p->eq, p->output, n);
        return kUpDownOk;
    }

    // Polyphase branch.
    if (p->taps > 0 && !p->coefficients) return kUpDownBadParams;
    // Outputs that the forms below add into start from zero when the caller
    // asked for them to be stored.
    if (p->overwrite && (p->taps <= 0 || (static_cast<int64_t>(p->phaseOffset) % up + up) % up != 0))
        std::memset(p->output, 0, static_cast<size_t>(n) * 2 * sizeof(double));
    if (p->taps <= 0) {
        // No taps: every output sum is empty and adds nothing; the envelope
        // still advances.
        for (int i = 0; i < n; ++i) (void)stepGain(st, env, fade, true);
    } else if ((static_cast<int64_t>(p->phaseOffset) % up + up) % up != 0) {
        // An offset that is not a multiple of up moves the taps against the
        // samples; this rare form runs as written.
        for (int i = 0; i < n; ++i) {
            const double level = stepGain(st, env, fade, true);
            const int64_t P = static_cast<int64_t>(down) * i;
            const int64_t U = up;
            const int64_t phase = (U - ((p->phaseOffset + P) % U + U) % U) % U;
            const int64_t first = (phase + P) / U;
            const int64_t K = (p->taps + P - 1) / U - first;
            double sl = 0.0, sr = 0.0;
            for (int64_t k = 0; k <= K; ++k) {
                const double c = p->coefficients[2 * (phase + k * U)];
                if (p->dsd) {
                    const uint64_t bit = p->dsdBitOffset + static_cast<uint64_t>(first + k);
                    const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit & 7));
                    sl += c * ((p->dsd[0][bit >> 3] & mask) ? 2.0 : -2.0);
                    sr += c * ((p->dsd[1][bit >> 3] & mask) ? 2.0 : -2.0);
                } else {
                    sl += c * p->input[2 * (first + k)];
                    sr += p->coefficients[2 * (phase + k * U) + 1] * p->input[2 * (first + k) + 1];
                }
            }
            const Mix m = panMix(g, level, level, sl, sr);
            p->output[2 * i] += m.l;
            p->output[2 * i + 1] += m.r;
        }
    } else {
        const int rc = prepareFilter(p->coefficients, p->taps, up, p->dsd != nullptr, p->dsd ? 0 : down);
        if (rc != kUpDownOk) return rc;
        const Filter &f = *mFilter;
        if (p->dsd) {
            const DsdSource src{p->dsd[0],      p->dsd[1],          p->dsdBitOffset, f.tables.get(),
                                f.halves.get(), f.tableStart.get(), f.count.get(),   isaLevel()};
            polyphase(p, src, fadeActive);
        } else {
            const bool tiled = f.tileDown == down && f.tiles;
            const PcmSource src{p->input,
                                f.poly.get(),
                                f.polyStart.get(),
                                f.count.get(),
                                tiled ? f.tiles.get() : nullptr,
                                tiled ? f.tileAt.get() : nullptr,
                                tiled ? f.tileCoef.get() : nullptr,
                                isaLevel()};
            polyphase(p, src, fadeActive);
        }
    }
    if (p->eqOn) applyEq(p->eq, p->output, n);
    return kUpDownOk;
}

int CUpDownConv::gAudio_upconvertFreqAxis(double *out, const double *pcm, const uint8_t *const dsd[2], uint32_t n,
                                          uint32_t inRate, uint32_t commonRate, uint8_t hold, uint8_t isDsd,
                                          uint32_t offset, uint32_t bitOffset, FILE *) {
    if (!out || inRate == 0 || commonRate < inRate || (isDsd ? (!dsd || !dsd[0] || !dsd[1]) : !pcm))
        return kUpDownBadParams;
    const uint64_t f = commonRate / inRate;
    double *o = out + 2 * static_cast<uint64_t>(offset);
    for (uint64_t k = 0; k < n; ++k) {
        double xl, xr;
        if (isDsd) {
            const uint64_t bit = bitOffset + k;
            const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit & 7));
            xl = (dsd[0][bit >> 3] & mask) ? 2.0 : -2.0;
            xr = (dsd[1][bit >> 3] & mask) ? 2.0 : -2.0;
        } else {
            xl = pcm[2 * k];
            xr = pcm[2 * k + 1];
        }
        double *frame = o + 2 * f * k;
        frame[0] = xl;
        frame[1] = xr;
        for (uint64_t j = 1; j < f; ++j) {
            frame[2 * j] = hold ? xl : 0.0;
            frame[2 * j + 1] = hold ? xr : 0.0;
        }
    }
    return kUpDownOk;
}

int CUpDownConv::gAudio_downconvertFreqAxis(double *out, const double *in, uint32_t n, uint32_t, uint32_t outRate,
                                            uint32_t commonRate, uint8_t, uint32_t, const double *filterRe,
                                            const double *filterIm, uint32_t start, FILE *, int track, classFFT *fft,
                                            int N, int stages, tDspVolParam *envelopeState, const tDspVolItem *envelope,
                                            bool eqOn, tPEQ *eq) {
    if (!out || !in || !filterRe || !filterIm || !fft || outRate == 0 || commonRate % outRate != 0 || N <= 0 ||
        N != fft->size())
        return kUpDownBadParams;
    const uint64_t down = commonRate / outRate;
    if (n > 0 && start + (static_cast<uint64_t>(n) - 1) * down >= static_cast<uint64_t>(N)) return kUpDownBadParams;
    // The transform's three work arrays (time, real and imaginary spectrum,
    // N + 1 two-lane frames each) are allocated on the first block and kept
    // for the job's later blocks, which all have the same N.
    const int64_t frames = static_cast<int64_t>(N) + 1;
    if (mFreqFrames < frames) {
        mFreq.reset();
        mFreq = allocAligned<double>(3 * 2 * frames);
        mFreqFrames = mFreq ? frames : 0;
    }
    double *time = mFreq.get();
    double *re = mFreq ? mFreq.get() + 2 * frames : nullptr;
    double *im = mFreq ? mFreq.get() + 4 * frames : nullptr;
    int rc = kUpDownOk;
    if (!mFreq) {
        rc = kUpDownNoMemory;
    } else {
        std::memcpy(time, in, static_cast<size_t>(N) * 2 * sizeof(double));
        if (fft->doFft(0, stages, re, im, time) != kFftOk) {
            rc = kUpDownNoMemory;
        } else {
            for (int64_t k = 0; k < 2 * static_cast<int64_t>(N); ++k) {
                const double a = re[k], b = im[k];
                re[k] = a * filterRe[k] - b * filterIm[k];
                im[k] = b * filterRe[k] + a * filterIm[k];
            }
            if (fft->doIfft(0, stages, time, re, im) != kFftOk) rc = kUpDownNoMemory;
        }
    }
    if (rc == kUpDownOk) {
        const double *g = convPanVol(track);
        tDspVolParam unity{1.0, 0, 0};
        tDspVolParam &st = envelopeState ? *envelopeState : unity;
        const tDspVolItem *env = envelopeState ? envelope : nullptr;
        if (st.index < 0) st.index = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const double level = stepEnvelope(st, env);
            const double *x = time + 2 * (start + static_cast<uint64_t>(i) * down);
            const Mix m = panMix(g, level, level, x[0], x[1]);
            out[2 * i] = m.l;
            out[2 * i + 1] = m.r;
        }
        // The master equaliser as in the time-domain stage: a job that asks
        // for it gets it whichever domain filters.
        if (eqOn) applyEq(eq, out, static_cast<int>(n));
    }
    return rc;
}

void upDownConvLimitIsa(int level) { sIsaLimit.store(level, std::memory_order_relaxed); }
