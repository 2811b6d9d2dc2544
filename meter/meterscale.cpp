#include "meter/meterscale.h"

#include <cmath>

const float gMainMeterPosiTableOrigin[kMeterScalePoints] = {
    0.0f,   0.0f,   0.033f, 0.059f, 0.112f, 0.163f, 0.214f, 0.28f,  0.316f, 0.361f, 0.407f, 0.452f, 0.497f,
    0.544f, 0.587f, 0.621f, 0.655f, 0.724f, 0.77f,  0.815f, 0.859f, 0.908f, 0.951f, 1.0f,   1.0f,   1.0f,
};

namespace {

constexpr double F = kMeterFullScalePcmDb;
constexpr double D = kMeterFullScaleDsdDb;

}  // namespace

// Two PCM thresholds are not full scale plus a whole number of dB: −16 dB
// sits 0.02 dB lower, and the over threshold 0.000265 dB below full scale,
// so that a sample one step below 2^31 still counts as over.
const double gMeterLevelPcm[kMeterLevels] = {
    F - 54, F - 48,
    F - 44, F - 36,
    F - 30, F - 24,
    F - 22, F - 20,
    F - 18, 170.61859731166834,
    F - 14, F - 12,
    F - 10, F - 9,
    F - 8,  F - 6,
    F - 4,  F - 3,
    F - 2,  F - 1,
    F + 0,  F + 1,
    F + 3,  186.63833223530796,
};

const double gMeterLevelDsd[kMeterLevels] = {
    D - 54, D - 48, D - 44, D - 36, D - 30, D - 24, D - 22, D - 20, D - 18, D - 16, D - 14, D - 12,
    D - 10, D - 9,  D - 8,  D - 6,  D - 4,  D - 3,  D - 2,  D - 1,  D + 0,  D + 1,  D + 3,  D + 0,
};

// Green up to −16 dB, yellow to 0 dB, orange above, red for the over level.
const float gMeterColour[kMeterLevels][3] = {
    {0.0f, 210.0f / 255, 30.0f / 255},         // 0
    {0.0f, 210.0f / 255, 30.0f / 255},         // 1
    {0.0f, 210.0f / 255, 30.0f / 255},         // 2
    {0.0f, 210.0f / 255, 30.0f / 255},         // 3
    {0.0f, 210.0f / 255, 30.0f / 255},         // 4
    {0.0f, 210.0f / 255, 30.0f / 255},         // 5
    {0.0f, 210.0f / 255, 30.0f / 255},         // 6
    {0.0f, 210.0f / 255, 30.0f / 255},         // 7
    {0.0f, 210.0f / 255, 30.0f / 255},         // 8
    {0.0f, 210.0f / 255, 30.0f / 255},         // 9
    {1.0f, 245.0f / 255, 85.0f / 255},         // 10
    {1.0f, 245.0f / 255, 85.0f / 255},         // 11
    {1.0f, 245.0f / 255, 85.0f / 255},         // 12
    {1.0f, 245.0f / 255, 85.0f / 255},         // 13
    {1.0f, 245.0f / 255, 85.0f / 255},         // 14
    {1.0f, 245.0f / 255, 85.0f / 255},         // 15
    {1.0f, 245.0f / 255, 85.0f / 255},         // 16
    {1.0f, 245.0f / 255, 85.0f / 255},         // 17
    {1.0f, 245.0f / 255, 85.0f / 255},         // 18
    {1.0f, 245.0f / 255, 85.0f / 255},         // 19
    {1.0f, 245.0f / 255, 85.0f / 255},         // 20
    {243.0f / 255, 98.0f / 255, 1.0f / 255},   // 21
    {243.0f / 255, 98.0f / 255, 1.0f / 255},   // 22
    {252.0f / 255, 42.0f / 255, 42.0f / 255},  // 23
};

const float gMeterOverColour[3] = {252.0f / 255, 42.0f / 255, 42.0f / 255};

const double *meterThresholds(int mode) { return mode != kMeterModePcm ? gMeterLevelDsd : gMeterLevelPcm; }

float meterPeakDb(double peak) { return 20.0f * std::log10(static_cast<float>(peak)); }

double meterLightSegments(double uDb, const double *thresholds, bool on[kMeterLevels]) {
    double fraction = 0.0;
    for (int k = 0; k < kMeterLevels; ++k) on[k] = thresholds[k] <= uDb;
    for (int k = 1; k < kMeterLevels; ++k) {
        if (!on[k] && on[k - 1]) fraction = (uDb - thresholds[k - 1]) / (thresholds[k] - thresholds[k - 1]);
    }
    return fraction;
}

int meterPeakLine(double peakDb, const double *thresholds, const float *scalePos, double *position) {
    *position = 0.0;
    if (!(peakDb >= thresholds[0])) return 0;
    for (int d = 1; d <= kMeterTopSegment; ++d) {
        if (peakDb < thresholds[d]) {
            const double from = scalePos[d];
            const double to = scalePos[d + 1];
            *position = from + (to - from) * (peakDb - thresholds[d - 1]) / (thresholds[d] - thresholds[d - 1]);
            return d;
        }
    }
    return 0;
}
