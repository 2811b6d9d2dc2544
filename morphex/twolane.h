// Vector helpers shared by the library's filters and transforms for
// "two-lane" data: two doubles per entry (left, right, or one coefficient
// twice), so one multiplication serves both channels.
//
// Private to morphex/: nothing here is exported.
#pragma once

#include <cstdint>
#include <cstring>

namespace morphex_lanes {

constexpr double kPi = 3.141592653589793;

// Two doubles in one 128-bit register; the 8-byte alignment lets the
// kernels load entries of arrays that are only double-aligned.
typedef double v2d __attribute__((vector_size(16), aligned(8)));

inline v2d load2(const double *p) {
    v2d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store2(double *p, v2d v) { std::memcpy(p, &v, sizeof v); }

// Sum of n two-lane products a[k] * b[k]: four products at a time into
// independent accumulators, then the remainder into the first, combined as
// (s0 + s1) + (s2 + s3). The wider forms of the rate converter reproduce
// exactly this order, so every form gives the same doubles.
inline v2d dot2(const double *__restrict a, const double *__restrict b, int64_t n) {
    v2d s0 = {0.0, 0.0}, s1 = s0, s2 = s0, s3 = s0;
    int64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        s0 += load2(a + 2 * k) * load2(b + 2 * k);
        s1 += load2(a + 2 * k + 2) * load2(b + 2 * k + 2);
        s2 += load2(a + 2 * k + 4) * load2(b + 2 * k + 4);
        s3 += load2(a + 2 * k + 6) * load2(b + 2 * k + 6);
    }
    for (; k < n; ++k) s0 += load2(a + 2 * k) * load2(b + 2 * k);
    return (s0 + s1) + (s2 + s3);
}

}  // namespace morphex_lanes
