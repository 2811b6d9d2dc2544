// The 32-bit noise register that the dither, the noise source and the
// test-signal generator share.
#pragma once

#include <cstdint>

// One step: a right shift whose new top bit is bits 0, 1, 21 and 31
// exclusive-or'd (taps 32, 22, 2, 1, a maximal-length register: period
// 2^32 - 1 for a nonzero state).
inline uint32_t lfsr32Step(uint32_t s) {
    const uint32_t fb = (s ^ (s >> 1) ^ (s >> 21) ^ (s >> 31)) & 1u;
    return (s >> 1) | (fb << 31);
}
