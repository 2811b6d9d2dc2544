// Reading a virtual device's capture back as a DAC would, for the tests that
// play DSD through the device layer: DoP words decoded to DSD bits, native
// DSD bytes taken as they are, and where the source bits turn up in them.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/rtbridge.h"

namespace dsdcap {

// Per-channel DSD bytes (first bit most significant) taken from a capture:
// DoP words carry a marker and two DSD bytes in their top 24 bits, native
// words two DSD bytes in their top 16; both arrive in float containers (the
// word times 2^-31). markers, when given, receives the DoP marker of every
// frame and channel.
inline void decode(const tVirtualCapture &cap, bool dop, std::vector<uint8_t> ch[2],
                   std::vector<uint8_t> *markers = nullptr) {
    const std::vector<float> f = rtbridge::Bridge::floats(cap);
    for (size_t i = 0; i + 1 < f.size(); i += 2)
        for (int c = 0; c < 2; ++c) {
            const uint32_t w = uint32_t(int32_t(std::lrint(double(f[i + size_t(c)]) * 2147483648.0)));
            if (dop) {
                if (markers) markers->push_back(uint8_t(w >> 24));
                ch[c].push_back(uint8_t(w >> 16));
                ch[c].push_back(uint8_t(w >> 8));
            } else {
                ch[c].push_back(uint8_t(w >> 24));
                ch[c].push_back(uint8_t(w >> 16));
            }
        }
}

// Where a DoP stream's markers break: the first frame whose marker is no
// DoP marker, differs between the two channels, or repeats the frame before
// it (a DAC drops out of DSD there); -1 when they alternate throughout.
// markers: as decode leaves them, two channels per frame.
inline int64_t markerBreak(const std::vector<uint8_t> &markers) {
    for (size_t i = 0; i + 1 < markers.size(); i += 2) {
        const uint8_t m = markers[i];
        if ((m != 0x05 && m != 0xFA) || markers[i + 1] != m) return int64_t(i / 2);
        if (i >= 2 && markers[i - 2] == m) return int64_t(i / 2);
    }
    return -1;
}

inline int bitAt(const std::vector<uint8_t> &b, int64_t n) { return (b[size_t(n / 8)] >> (7 - n % 8)) & 1; }

// The lag in bits of `out` behind `src`: where 1024 source bits from near
// the end of the material (past any fade-in) occur in the output; -1 when
// nowhere. The source carries noise, so the stretch occurs once.
inline int64_t findLag(const std::vector<uint8_t> &out, const std::vector<uint8_t> &src) {
    const int64_t probe = int64_t(src.size()) * 8 * 9 / 10, len = 1024;
    const int64_t outBits = int64_t(out.size()) * 8;
    for (int64_t start = 0; start + len <= outBits; ++start) {
        int64_t k = 0;
        while (k < len && bitAt(out, start + k) == bitAt(src, probe + k)) ++k;
        if (k == len) return start - probe;
    }
    return -1;
}

// The run of source bits, around the probe of findLag, that the output
// carries unchanged `lag` bits later: [*from, *until) in source bits.
inline void exactRun(const std::vector<uint8_t> &out, const std::vector<uint8_t> &src, int64_t lag, int64_t *from,
                     int64_t *until) {
    const int64_t outBits = int64_t(out.size()) * 8, srcBits = int64_t(src.size()) * 8;
    int64_t f = srcBits * 9 / 10, u = f;
    while (f > 0 && f + lag > 0 && bitAt(out, f - 1 + lag) == bitAt(src, f - 1)) --f;
    while (u < srcBits && u + lag < outBits && bitAt(out, u + lag) == bitAt(src, u)) ++u;
    *from = f;
    *until = u;
}

// How many whole bytes of the idle pattern (0x96) follow output bit `bit`
// (from the first byte that starts at or after it), up to `limit`.
inline int idleBytesAfter(const std::vector<uint8_t> &out, int64_t bit, int limit) {
    int n = 0;
    for (size_t i = size_t((bit + 7) / 8); i < out.size() && n < limit && out[i] == 0x96; ++i) ++n;
    return n;
}

}  // namespace dsdcap
