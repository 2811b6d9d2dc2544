// A plain, slow model of the modulator, written straight from its
// description and sharing no code with it: one channel at a time, floor
// division instead of shifts, the quantiser and overload tests written out
// as magnitude comparisons. The tests run it beside the real modulator and
// compare outputs and state bit for bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace dsmref {

constexpr int64_t FS = int64_t(1) << 55;

inline int64_t add(int64_t a, int64_t b) { return (int64_t)((uint64_t)a + (uint64_t)b); }
inline int64_t sub(int64_t a, int64_t b) { return (int64_t)((uint64_t)a - (uint64_t)b); }

// Arithmetic right shift as floor division by 2^s.
inline int64_t floorShift(int64_t v, int s) {
    const int64_t d = int64_t(1) << s;
    if (v >= 0) return v / d;
    return -((-(v + 1)) / d) - 1;
}
inline int64_t high(int64_t v) { return floorShift(v, 32); }
inline int64_t magnitude(int64_t h) { return h < 0 ? -h : h; }
inline int64_t onesComplementMagnitude(int64_t h) { return h >= 0 ? h : -h - 1; }

// Rounds toward zero; out-of-range values saturate and NaN counts as 0.
inline int64_t toInt(double v) {
    if (std::isnan(v)) return 0;
    const double t = std::trunc(v);
    if (t >= 9223372036854775808.0) return INT64_MAX;
    if (t <= -9223372036854775808.0) return INT64_MIN;
    return (int64_t)t;
}

constexpr int kSign[8] = {-1, -1, +1, -1, +1, +1, -1, +1};  // 0x2D, MSB first

struct Model {
    // Build parameters.
    int32_t mainThreshold;  // four-level threshold of the body of a call
    int cutStepShift;       // 0 program, 1 library

    // State, per channel c.
    int64_t I[2][5] = {};
    int64_t firstOrder[2] = {};
    uint64_t shiftReg[2] = {};
    uint64_t firstOrderShiftReg[2] = {};
    double pat[8][2] = {};
    int64_t bitConv[2] = {};
    double coef[2] = {0.9, 0.9};
    double vol[2] = {};
    double target[2] = {};
    uint32_t cut[2] = {};
    uint32_t overload = 0, overloadPrev = 0, overloadSevere = 0;
    bool muteFull = false;
    int32_t hold = 0;

    Model(int32_t t, int shift) : mainThreshold(t), cutStepShift(shift) {}

    void init(int32_t rate) {
        overload = 0;
        for (int c = 0; c < 2; ++c) {
            for (int k = 0; k < 5; ++k) I[c][k] = 0;
            firstOrder[c] = 0;
            bitConv[c] = 0;
            shiftReg[c] = 0x9696969696969696ull;
            firstOrderShiftReg[c] = 0x9696969696969696ull;
            cut[c] = 0;
            coef[c] = 1.0 - 2.0 / ((double)(rate / 8) * 0.019999999552965164 / 2.3025851249694824 + 1.0);
        }
    }

    // threshold < 0: two-level quantiser.
    void step(int c, double x, double p, int32_t threshold) {
        const uint64_t o = bitConv[c] >= 0 ? 1 : 0;
        shiftReg[c] = (shiftReg[c] << 1) | o;
        int i = I[c][4] >= 0 ? 1 : 0;
        if (threshold >= 0 && magnitude(high(I[c][4])) > threshold) i += 2;
        const int64_t v[4] = {-FS, FS, -3 * FS, 3 * FS};
        const int64_t f = v[i];
        const int64_t X = toInt(x + p);
        bitConv[c] = sub(add(bitConv[c], f), o ? FS : -FS);
        const int64_t old[5] = {I[c][0], I[c][1], I[c][2], I[c][3], I[c][4]};
        I[c][4] = sub(add(old[4], floorShift(old[3], 1)), f);
        I[c][3] = sub(add(old[3], floorShift(old[2], 2)), f);
        I[c][2] = sub(add(old[2], floorShift(old[1], 3)), f);
        I[c][1] = sub(add(old[1], floorShift(old[0], 4)), f);
        I[c][0] = sub(add(old[0], X), f);
        const uint64_t u = firstOrder[c] >= 0 ? 1 : 0;
        firstOrderShiftReg[c] = (firstOrderShiftReg[c] << 1) | u;
        firstOrder[c] = sub(add(firstOrder[c], X), u ? FS : -FS);
    }

    void cutting() {
        const int stepLog[5] = {39, 35, 32, 30, 29};
        const int quantumLog[5] = {56, 52, 49, 47, 46};
        for (int c = 0; c < 2; ++c) {
            if (!(cut[c] & 0x80)) continue;
            for (int k = 0; k < 5; ++k) {
                if (cut[c] & (1u << k)) continue;
                const uint64_t q = uint64_t(1) << (stepLog[k] + cutStepShift);
                const uint64_t Q = uint64_t(1) << quantumLog[k];
                I[c][k] = (int64_t)(((uint64_t)I[c][k] & ~(q - 1)) + q);
                if ((uint64_t)I[c][k] % Q == 0) cut[c] |= 1u << k;
                break;
            }
        }
    }

    void consist(int x) {
        if (x != 0) return;
        for (int c = 0; c < 2; ++c) {
            if ((cut[c] & 0xBF) == 0x9F && I[c][0] == 0 && I[c][1] == 0) {
                I[c][2] = 0;
                I[c][3] = 0;
                cut[c] |= 0x60;
            }
        }
    }

    bool checkConsistent() {
        bool both = true;
        for (int c = 0; c < 2; ++c) {
            if (std::fabs(vol[c] - target[c]) < 5e-5)
                vol[c] = target[c];
            else
                both = false;
        }
        return both;
    }

    bool i1Over(int32_t level) const {
        return onesComplementMagnitude(high(I[0][0])) > level || onesComplementMagnitude(high(I[1][0])) > level;
    }

    // fade: the dsm5thFade variant.
    void block(uint8_t *out0, uint8_t *out1, const double *in, uint32_t n, int32_t phase, const double *v, bool fade) {
        bool settled = false;
        if (fade) settled = checkConsistent();
        target[0] = v[0];
        target[1] = v[1];
        muteFull = v[0] == 1.0;
        for (int k = 0; k < 8; ++k)
            for (int c = 0; c < 2; ++c) pat[k][c] = v[c] * kSign[k] * 36028797018963968.0;
        if (n == 0) return;
        const uint64_t L = ((uint64_t)n + 7) / 8;
        int d = phase % 8;
        if (d < 0) d += 8;
        const int r = (int)(n - 8 * (L - 1));
        uint8_t *out[2] = {out0, out1};

        auto afterStep = [&](int j) {
            if (!settled) return;
            cutting();
            if (muteFull) consist(j);
        };
        auto runBits = [&](uint64_t k, int from, int to, bool withPattern, int32_t threshold) {
            for (int j = from; j < to; ++j) {
                for (int c = 0; c < 2; ++c) {
                    const double x = in[2 * (8 * k + j) + c];
                    step(c, x, withPattern ? pat[j][c] : 0.0, threshold);
                }
                afterStep(j);
            }
        };

        for (uint64_t k = 0; k + 1 < L; ++k) {
            for (int c = 0; c < 2; ++c) {
                vol[c] = target[c] + (vol[c] - target[c]) * coef[c];
                for (int j = 0; j < 8; ++j) pat[j][c] = vol[c] * kSign[j] * 36028797018963968.0;
            }
            const int from = k == 0 ? d : 0;
            if (overload != 0) {
                const uint32_t atStart = overload;
                if (overloadPrev == 0 || overloadSevere != 0) {
                    for (int c = 0; c < 2; ++c)
                        for (int i = 0; i < 5; ++i) I[c][i] = 0;
                    hold = 5000;
                } else if (hold > 0) {
                    --hold;
                }
                runBits(k, from, 8, false, mainThreshold);
                overloadPrev = atStart;
                for (int c = 0; c < 2; ++c) out[c][k] = (uint8_t)((firstOrderShiftReg[c] >> 15) & 0xFF);
                overloadSevere = i1Over(134217728) ? 0xFFFF : 0;
                if (hold > 0)
                    overload = 1;
                else
                    overload = i1Over(2097152) ? 0xFFFF : 0;
            } else {
                runBits(k, from, 8, true, mainThreshold);
                overloadPrev = 0;
                for (int c = 0; c < 2; ++c) out[c][k] = (uint8_t)(shiftReg[c] & 0xFF);
                overload = i1Over(134217728) ? 0xFFFF : 0;
            }
        }
        const uint64_t k = L - 1;
        const int from = L == 1 ? d : 0;
        if (overload != 0) {
            for (int c = 0; c < 2; ++c)
                for (int i = 1; i < 5; ++i) I[c][i] = 0;
            runBits(k, from, r, true, mainThreshold);
            for (int c = 0; c < 2; ++c) out[c][k] = (uint8_t)((firstOrderShiftReg[c] >> 15) & 0xFF);
        } else {
            runBits(k, from, r, true, fade ? -1 : 25165824);
            overloadPrev = 0;
            for (int c = 0; c < 2; ++c) out[c][k] = (uint8_t)(shiftReg[c] & 0xFF);
            overload = i1Over(134217728) ? 0xFFFF : 0;
        }
    }
};

}  // namespace dsmref
