#include "dsp/phasemeter.h"

#include <cmath>

namespace {

// One pass over the frames; index(i) gives the frame number of the i-th
// frame, so that a straight buffer and a ring share the loop.
template <class Index>
double phaseOverFrames(const double *ref, const double *meas, int frames, int lane, Index index) {
    double yMax = 0.0, xAtMax = 0.0;
    double yMin = 0.0, xAtMin = 0.0;
    double yFall = 0.0, yRise = 0.0;
    double prevX = 0.0, prevY = 0.0;
    bool seenRise = false;
    double sum = 0.0;
    int count = 0;

    for (int i = 0; i < frames; ++i) {
        const int f = index(i);
        const double x = ref[2 * f];
        const double y = meas[2 * f + lane];
        if (y > yMax) {
            yMax = y;
            xAtMax = x;
        }
        if (y < yMin) {
            yMin = y;
            xAtMin = x;
        }

        if (prevX < 0.0 && x >= 0.0) {
            // The first rising crossing only sets y rise: no falling crossing
            // has been seen yet to pair it with.
            if (seenRise) {
                double angle = 0.0;
                const double swing = yMax - yMin;
                if (swing != 0.0) {
                    angle = std::asin(std::fabs(yFall - yRise) / swing) * 180.0 / 3.14159265358;
                    if (!std::isfinite(angle)) angle = 0.0;
                }
                // asin covers 0..90 degrees only; peaks on the far side of the
                // reference's zero tell the obtuse angle apart.
                if (xAtMin > 0.0 && xAtMax < 0.0) angle = 180.0 - angle;
                if (yFall < yRise) angle = -angle;
                sum += angle;
                ++count;
            }
            seenRise = true;
            yRise = (x == 0.0) ? y : (y + prevY) / 2.0;
        } else if (prevX > 0.0 && x <= 0.0) {
            yFall = (x == 0.0) ? y : (y + prevY) / 2.0;
        }
        prevX = x;
        prevY = y;
    }
    return count > 0 ? sum / count : 0.0;
}

}  // namespace

double CPhase::calcPhaseValue(const double *ref, const double *meas, int frames, int channel) const {
    if (ref == nullptr || meas == nullptr || frames <= 0) return 0.0;
    return phaseOverFrames(ref, meas, frames, channel & 1, [](int i) { return i; });
}

double CPhase::calcPhaseValue(const double *ref, const double *meas, int frames, int channel, int start,
                              int ringFrames) const {
    if (ref == nullptr || meas == nullptr || frames <= 0 || ringFrames <= 0) return 0.0;
    int first = start % ringFrames;
    if (first < 0) first += ringFrames;
    // Frame numbers stay below ringFrames without ever forming start + i,
    // which could overflow.
    return phaseOverFrames(ref, meas, frames, channel & 1, [first, ringFrames](int i) {
        const long long f = static_cast<long long>(first) + i % ringFrames;
        return static_cast<int>(f >= ringFrames ? f - ringFrames : f);
    });
}
