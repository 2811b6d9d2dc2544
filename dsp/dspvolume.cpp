#include "dsp/dspvolume.h"

#include <algorithm>

namespace {

constexpr uint32_t kDsdRate = 2822400;
constexpr int64_t kDsdPullInMs = 200;

// outRate * v / fileRate, truncated toward zero. The product of a long DSD
// region's position and a DSD rate can pass the int64 range, so it is formed
// in 128 bits and the quotient clamped.
int64_t scalePos(int64_t v, uint32_t outRate, uint32_t fileRate) {
    __extension__ typedef __int128 i128;
    const i128 q = static_cast<i128>(v) * outRate / fileRate;
    if (q > INT64_MAX) return INT64_MAX;
    if (q < INT64_MIN) return INT64_MIN;
    return static_cast<int64_t>(q);
}

}  // namespace

int dspVolume::setDspVolume(int64_t, const tWaveEditParam *edit, uint32_t fileRate, uint32_t outRate, int64_t minFade,
                            tDspVolItem *out, int, const tDspVolumeParam *options) {
    if (!edit || !out || fileRate == 0) return kDspVolBadParam;
    const uint32_t A = fileRate;
    const uint32_t B = outRate;
    const int64_t i = scalePos(edit->inPoint, B, A);
    int64_t o = scalePos(edit->outPoint, B, A);
    int64_t h = scalePos(std::max(minFade, edit->fadeInLength), B, A);
    int64_t l = scalePos(std::max(minFade, edit->fadeOutLength), B, A);

    if (options && options->shortFade) {
        // A DSD file exported at its own rate ends 200 ms early, so that the
        // fade-out is over before the modulator's splice.
        if (B >= kDsdRate && A == B) {
            o -= static_cast<int64_t>(B) * kDsdPullInMs / 1000;
            if (o <= i) o = i + 1;
        }
        if (o - l < i + h) h = l = (o - i) / 2;
    }

    const double G = edit->gain;
    out[0] = {0, 0.0, 0.0, 0};
    out[1] = {i, 0.0, G / static_cast<double>(h != 0 ? h : 1), +1};
    out[2] = {i + h, G, 0.0, 0};
    out[3] = {o - l, G, -G / static_cast<double>(l != 0 ? l : 1), -1};
    out[4] = {o, 0.0, 0.0, 0};
    out[5] = {kDspVolEnd, 0.0, 0.0, 0};
    return kDspVolOk;
}
