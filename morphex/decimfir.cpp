#include "morphex/decimfir.h"

#include <cmath>
#include <cstring>

#include "morphex/twolane.h"

using namespace morphex_lanes;

int64_t firZeroTailEntries(uint32_t reserve) { return 4 * static_cast<int64_t>(reserve) + 16; }

int64_t firDesignEntries(int taps, uint32_t reserve) {
    const int64_t tail = firZeroTailEntries(reserve);
    if (taps < -1) return tail;
    return 2 * static_cast<int64_t>(taps / 2) + 1 + tail;
}

void gAudio_setDecimFirParam(uint32_t, double rate, double cutoff, int taps, double *coef, uint32_t multiplier,
                             double gain, uint32_t, uint32_t reserve) {
    const int64_t tail = firZeroTailEntries(reserve);
    if (taps < -1) {
        std::memset(coef, 0, static_cast<size_t>(tail) * 2 * sizeof(double));
        return;
    }
    const int m = taps / 2;
    const double g = static_cast<double>(multiplier) * gain;
    const double period = static_cast<double>(taps);
    for (int x = -m; x <= m; ++x) {
        double v;
        if (x == 0) {
            v = 2.0 * g * cutoff / rate;
        } else {
            const double xd = static_cast<double>(x);
            // Blackman-Harris, written about the centre tap; its period is
            // the requested length even when an even request adds a tap.
            const double w = 0.35875 + 0.48829 * std::cos(2.0 * kPi * xd / period) +
                             0.14128 * std::cos(4.0 * kPi * xd / period) + 0.01168 * std::cos(6.0 * kPi * xd / period);
            v = std::sin(2.0 * kPi * cutoff * xd / rate) * g / (kPi * xd) * w;
        }
        coef[2 * (x + m)] = v;
        coef[2 * (x + m) + 1] = v;
    }
    std::memset(coef + 2 * (2 * static_cast<int64_t>(m) + 1), 0, static_cast<size_t>(tail) * 2 * sizeof(double));
}

int meterFirTableCount(int taps) { return taps < -7 ? 0 : taps / 8 + 1; }

void gAudio_setMeterFirParam(double rate, double cutoff, int taps, double *tables) {
    const int groups = meterFirTableCount(taps);
    if (groups == 0) return;
    const int n = taps | 1;  // odd length about the centre
    const int half = taps / 2;
    // Coefficient m, computed where needed so that the design allocates
    // nothing; past the designed length it is zero.
    auto coefAt = [&](int m) -> double {
        if (m >= n) return 0.0;
        const int x = m - half;
        if (x == 0) return 2.0 * cutoff / rate;
        const double xd = static_cast<double>(x);
        const double nd = static_cast<double>(n);
        const double w = 0.42 + 0.5 * std::cos(2.0 * kPi * xd / nd) + 0.08 * std::cos(4.0 * kPi * xd / nd);
        return std::sin(2.0 * kPi * cutoff * xd / rate) * w / (kPi * xd);
    };
    for (int g = 0; g < groups; ++g) {
        double c[8];
        for (int j = 0; j < 8; ++j) c[j] = coefAt(8 * g + j);
        double *table = tables + 256 * static_cast<int64_t>(g);
        for (int b = 0; b < 256; ++b) {
            double sum = 0.0;
            for (int j = 0; j < 8; ++j) sum += (b & (0x80 >> j)) ? c[j] : -c[j];
            table[b] = sum;
        }
    }
}

int gAudioDecimationFir(double *out, const double *newData, const double *coef, int taps, const double *history,
                        int historyCount) {
    v2d sum = {0.0, 0.0};
    if (historyCount > 0) sum = dot2(history, coef, historyCount);
    if (taps > historyCount) {
        const int64_t h = historyCount > 0 ? historyCount : 0;
        sum += dot2(newData, coef + 2 * h, static_cast<int64_t>(taps) - h);
    }
    std::memcpy(out, &sum, sizeof sum);
    return 0;
}
