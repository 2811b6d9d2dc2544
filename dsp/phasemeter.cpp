#include "dsp/phasemeter.h"

#include <cmath>

double CPhase::calcPhaseValue(const double *ref, const double *meas, int frames,
                              int channel) const
{
    if (ref == nullptr || meas == nullptr || frames <= 0) return 0.0;
    const int lane = channel & 1;

    double yMax = 0.0, xAtMax = 0.0;
    double yMin = 0.0, xAtMin = 0.0;
    double yFall = 0.0, yRise = 0.0;
    double prevX = 0.0, prevY = 0.0;
    bool seenRise = false;
    double sum = 0.0;
    int count = 0;

    for (int i = 0; i < frames; ++i) {
        const double x = ref[2 * i];
        const double y = meas[2 * i + lane];
        if (y > yMax) { yMax = y; xAtMax = x; }
        if (y < yMin) { yMin = y; xAtMin = x; }

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
