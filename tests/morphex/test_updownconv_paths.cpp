// The rate converter's faster forms give the very doubles of its plain
// forms: the wide-register polyphase sums (at every instruction-set level
// the processor offers), the DSD byte-table sums of every rate form, the
// stored instead of accumulated outputs, DSD bits read straight by the
// equal-rate branch, and its constant-gain run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "audiofile/audiohelpers.h"
#include "morphex/decimfir.h"
#include "morphex/libutil.h"
#include "morphex/updownconv.h"

namespace {

// The polyphase sum of output i exactly as the two-lane form associates it:
// four accumulators over groups of four taps, the remainder into the first,
// then (s0 + s1) + (s2 + s3).
void plainSum(const std::vector<double> &coef, int taps, uint32_t up, uint32_t down, const double *in, int i,
              double out[2]) {
    const uint64_t P = uint64_t(down) * uint64_t(i);
    const uint64_t phase = (up - P % up) % up;
    const uint64_t first = (phase + P) / up;
    const int64_t n = (int64_t(taps) - 1 - int64_t(phase)) / up + 1;
    for (int lane = 0; lane < 2; ++lane) {
        double s[4] = {0, 0, 0, 0};
        int64_t k = 0;
        for (; k + 4 <= n; k += 4)
            for (int a = 0; a < 4; ++a)
                s[a] += coef[2 * (phase + (k + a) * up) + lane] * in[2 * (first + k + a) + lane];
        for (; k < n; ++k) s[0] += coef[2 * (phase + k * up) + lane] * in[2 * (first + k) + lane];
        out[lane] = (s[0] + s[1]) + (s[2] + s[3]);
    }
}

// The DSD byte-table sum of output i in the converter's fixed order: each
// phase's taps (lane 0) times +-2 summed per group of eight taps as the sum
// over its first four plus the sum over its last four (each in tap order
// from 0.0), the look-ups of a run of eight groups added in ascending order
// from 0.0, the runs' partial sums added in ascending order from 0.0.
double dsdRunSum(const std::vector<double> &coef, int taps, uint32_t up, uint32_t down, const uint8_t *bits,
                 uint32_t bitOffset, int i) {
    const uint64_t P = uint64_t(down) * uint64_t(i);
    const uint64_t phase = (up - P % up) % up;
    const uint64_t first = (phase + P) / up;
    const int64_t n = (int64_t(taps) - 1 - int64_t(phase)) / up + 1;
    auto bit = [&](int64_t k) {  // tap k's input bit
        const uint64_t b = bitOffset + first + uint64_t(k);
        return (bits[b >> 3] >> (7 - (b & 7))) & 1;
    };
    const int64_t groups = (n + 7) / 8;
    double acc = 0.0;
    for (int64_t g0 = 0; g0 < groups; g0 += 8) {
        double part = 0.0;
        for (int64_t g = g0; g < std::min<int64_t>(groups, g0 + 8); ++g) {
            double half[2] = {0.0, 0.0};
            for (int64_t j = 0; j < 8; ++j) {
                const double c = 8 * g + j < n ? 2.0 * coef[2 * (phase + (8 * g + j) * up)] : 0.0;
                half[j / 4] += (8 * g + j < n && bit(8 * g + j)) ? c : -c;
            }
            part += half[0] + half[1];
        }
        acc += part;
    }
    return acc;
}

// Caps the instruction set of the sums for one scope.
struct IsaLimit {
    explicit IsaLimit(int level) { upDownConvLimitIsa(level); }
    ~IsaLimit() { upDownConvLimitIsa(2); }
};

}  // namespace

TEST(UpDownConvPaths, DsdByteTableSumsFollowOneOrderInEveryForm) {
    // Byte-aligned outputs 8 and 2 bytes apart, a bit offset, several
    // phases (two outputs at a time and a last single one; 8201 taps in 5
    // phases give neighbours of 206 and 205 groups), and tap counts whose
    // last run is short.
    struct Row {
        uint32_t in, out, L;
        int taps;
        uint32_t bitOffset;
        int n;
    } rows[] = {
        {2822400, 44100, 2822400, 2047, 0, 300},   {2822400, 44100, 2822400, 2047, 5, 300},
        {2822400, 176400, 2822400, 511, 0, 301},   {2822400, 48000, 14112000, 8201, 0, 301},
        {2822400, 192000, 28224000, 4095, 3, 257}, {2822400, 44100, 2822400, 999, 0, 515},
    };
    std::mt19937 rng(11);
    for (const Row &r : rows) {
        const uint32_t up = r.L / r.in, down = r.L / r.out;
        std::vector<double> coef(size_t(firDesignEntries(r.taps, kFirReserveMax)) * 2);
        gAudio_setDecimFirParam(0, r.L, 19845.0, r.taps, coef.data(), up, 1.0, 0, kFirReserveMax);
        const size_t bytes = (size_t(down) * r.n / up + size_t(r.taps) / up + r.bitOffset) / 8 + 3;
        std::vector<uint8_t> l(bytes), rt(bytes);
        for (auto &b : l) b = uint8_t(rng());
        for (auto &b : rt) b = uint8_t(rng());
        const uint8_t *dsd[2] = {l.data(), rt.data()};
        for (int isa = 0; isa <= 2; ++isa) {
            IsaLimit limit(isa);
            CUpDownConv conv;
            std::vector<double> out(2 * size_t(r.n));
            tDownConvertParams p;
            p.output = out.data();
            p.count = r.n;
            p.inRate = r.in;
            p.outRate = r.out;
            p.commonRate = r.L;
            p.coefficients = coef.data();
            p.taps = r.taps;
            p.dsd = dsd;
            p.dsdBitOffset = r.bitOffset;
            p.overwrite = 1;
            ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
            for (int i = 0; i < r.n; ++i) {
                ASSERT_EQ(out[2 * i], dsdRunSum(coef, r.taps, up, down, l.data(), r.bitOffset, i))
                    << r.out << " offset " << r.bitOffset << " isa " << isa << " frame " << i;
                ASSERT_EQ(out[2 * i + 1], dsdRunSum(coef, r.taps, up, down, rt.data(), r.bitOffset, i))
                    << r.out << " offset " << r.bitOffset << " isa " << isa << " frame " << i;
            }
        }
    }
}

TEST(UpDownConvPaths, PolyphaseSumsAreThoseOfThePlainFormStoredOrAdded) {
    struct Row {
        uint32_t in, out, L;
        int taps;
        double fc;
    } rows[] = {
        {44100, 48000, 7056000, 4095, 19845.0},
        {44100, 2822400, 2822400, 2047, 19845.0},
        {96000, 44100, 14112000, 8191, 19845.0},
        {44100, 88200, 88200, 127, 19845.0},  // a phase count below four taps
        // Large rises, whose outputs come in runs that read the same input
        // frames (the tiles of the wide sums), with tap counts that differ
        // inside a run and runs that are not a whole number of tiles.
        {44100, 5644800, 5644800, 4095, 19845.0},
        {48000, 2822400, 14112000, 8191, 19845.0},
        {96000, 2822400, 14112000, 4095, 19845.0},  // tiles a period apart, five frames later
        {96000, 11289600, 56448000, 16383, 19845.0},
    };
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (const Row &r : rows) {
        const uint32_t up = r.L / r.in, down = r.L / r.out;
        std::vector<double> coef(size_t(firDesignEntries(r.taps, kFirReserveMax)) * 2);
        gAudio_setDecimFirParam(0, r.L, r.fc, r.taps, coef.data(), up, 1.0, 0, kFirReserveMax);
        const int n = 777;
        const size_t inFrames = size_t(uint64_t(n) * down / up) + size_t(r.taps / up) + 8;
        std::vector<double> in(2 * inFrames);
        for (double &x : in) x = u(rng);
        for (int isa = 0; isa <= 2; ++isa) {
            IsaLimit limit(isa);
            std::vector<double> stored(2 * n, 12345.0), added(2 * n, 0.0);
            for (int pass = 0; pass < 2; ++pass) {
                CUpDownConv conv;
                tDownConvertParams p;
                p.output = pass ? added.data() : stored.data();
                p.input = in.data();
                p.count = n;
                p.inRate = r.in;
                p.outRate = r.out;
                p.commonRate = r.L;
                p.coefficients = coef.data();
                p.taps = r.taps;
                p.overwrite = pass ? 0 : 1;
                ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
            }
            for (int i = 0; i < n; ++i) {
                double want[2];
                plainSum(coef, r.taps, up, down, in.data(), i, want);
                ASSERT_EQ(stored[2 * i], want[0]) << r.in << " -> " << r.out << " isa " << isa << " frame " << i;
                ASSERT_EQ(stored[2 * i + 1], want[1]) << r.in << " -> " << r.out << " isa " << isa << " frame " << i;
                ASSERT_EQ(added[2 * i], want[0]);
                ASSERT_EQ(added[2 * i + 1], want[1]);
            }
        }
    }
}

TEST(UpDownConvPaths, EqualRatesFromBitsMatchTheUpStageThroughRampsAndFades) {
    const int n = 4096 + 5;
    std::mt19937 rng(9);
    std::vector<uint8_t> l(n / 8 + 2), r(n / 8 + 2);
    for (auto &b : l) b = uint8_t(rng());
    for (auto &b : r) b = uint8_t(rng());
    const uint8_t *bits[2] = {l.data(), r.data()};
    double pan[4] = {0.9, 0.1, 0.2, 0.7};
    pPanVol = pan;  // the running job's table, as the engine sets it
    // Flat, then a ramp starting inside the second block, then flat again.
    tDspVolItem env[4];
    env[0] = {0, 0.5, 0.0, 0};
    env[1] = {6000, 0.5, 0.0001, 1};
    env[2] = {7000, 0.6, 0.0, 0};
    env[3] = {kDspVolEnd, 0.6, 0.0, 0};
    for (uint32_t bitOffset : {0u, 3u}) {
        for (int writing : {0, 1}) {  // writing at DSD rates steps the fade smoother
            std::vector<double> viaUp, viaBits;
            for (int pass = 0; pass < 2; ++pass) {
                tConvFadeShared fade;
                fade.fadeLpf.set_coefA_byFs(0.01, 2822400);
                const double settled[2] = {0.5, 0.5};  // so that the first block may run at constant gain
                fade.fadeLpf.setXdiret(settled);
                fade.fadeLpf.setY_1direct(settled);
                CUpDownConv conv(&fade);
                classDsm5th dsm;
                tDspVolParam st{0.5, 0, 0};
                std::vector<double> up(2 * size_t(n) + 2), out(4 * size_t(n));
                for (int blk = 0; blk < 2; ++blk) {
                    tDownConvertParams p;
                    p.output = out.data() + 2 * size_t(blk) * n;
                    p.count = n - 5;
                    p.inRate = p.outRate = p.commonRate = 2822400;
                    p.envelopeState = &st;
                    p.envelope = env;
                    p.scale = 18014398509481984.0;
                    p.modulator = &dsm;
                    p.writing = writing;
                    p.overwrite = 1;
                    if (pass == 0) {
                        const void *src[2] = {l.data(), r.data()};
                        ASSERT_EQ(
                            conv.gAudio_upconvert(up.data(), src, n - 5, 2822400, 2822400, 0, 1, 0, bitOffset, nullptr),
                            kUpDownOk);
                        p.input = up.data();
                    } else {
                        p.dsd = bits;
                        p.dsdBitOffset = bitOffset;
                    }
                    ASSERT_EQ(conv.gAudio_downconvert(&p), kUpDownOk);
                }
                (pass ? viaBits : viaUp) = out;
            }
            ASSERT_EQ(viaBits, viaUp) << "offset " << bitOffset << " writing " << writing;
        }
    }
    pPanVol = nullptr;
}
