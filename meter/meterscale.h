// The scale of the stereo level meter and the arithmetic of one update,
// free of widgets: segment positions along the bar, the threshold of every
// segment in both meter modes and their colours (the ballistics, shared with
// the strips' meters, are dsp/meterballistics.h). meterGraphic runs the
// update with these; tests call them directly.
#pragma once

#include <cstdint>

#include "dsp/meterballistics.h"  // tMeterMode and the timing laws

enum : int {
    kMeterScalePoints = 26,  // segment k spans point k to point k + 1
    kMeterQuads = 25,        // segments 0..24; 0, 23 and 24 have no length
    kMeterLevels = 24,       // thresholds 0..22 light segments, 23 is the over threshold
    kMeterOverLevel = 23,
    kMeterTopSegment = 22,  // the last visible segment (+3 dB)
};

// Full scale in dB of each mode: 20·log10(2^31) and 20·log10(0.5).
constexpr double kMeterFullScalePcmDb = 186.63859731166835;
constexpr double kMeterFullScaleDsdDb = -6.020599913279624;

// Segment edges as fractions of the bar length, 0 at the bar's start.
extern const float gMainMeterPosiTableOrigin[kMeterScalePoints];

// Thresholds in dB on each mode's own scale: level k lights segment k
// (k = 0..22), level 23 is the over threshold. The bar runs from −54 dB to
// +3 dB relative to full scale.
extern const double gMeterLevelPcm[kMeterLevels];
extern const double gMeterLevelDsd[kMeterLevels];

// Colour (red, green, blue, 0..1) of segment k and of a peak line in it.
extern const float gMeterColour[kMeterLevels][3];

// The over lamp's red.
extern const float gMeterOverColour[3];

// The thresholds of a mode: DSD for any nonzero mode, else PCM.
const double *meterThresholds(int mode);

// The held peak in dB as the peak line and the over lamp judge it: the level
// narrowed to single precision and 20·log10 taken in single precision.
float meterPeakDb(double peak);

// Lights the segments of one channel for a level uDb (dB on the mode's scale):
// on[k] = thresholds[k] <= uDb for k = 0..23. Returns the fill fraction of
// the first unlit segment after a lit one, 0 when there is none.
double meterLightSegments(double uDb, const double *thresholds, bool on[kMeterLevels]);

// The peak line of one channel for a held peak of peakDb (dB, the widened
// single-precision value): its position on the scale scalePos (the 26 segment
// edges in pixels) and the index of its colour. Returns 0 and position 0
// (no line) below threshold 0 and at +3 dB or more.
int meterPeakLine(double peakDb, const double *thresholds, const float *scalePos, double *position);
