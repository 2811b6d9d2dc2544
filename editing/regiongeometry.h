// The region strip's arithmetic: overview levels, the edit record taken from
// a view's handles, and where region views go in the wave area. Pure
// functions, callable without a strip.
#pragma once

#include <cstdint>

#include "dsp/dspvolume.h"
#include "editing/timelinerecords.h"

enum : int {
    kRegionLevels = 7,
    kRegionPointsPerFactor = 800,  // level k has factor_k x 800 points
};
// 4, 8, 16, 32, 128, 1024, 2048.
extern const int kRegionLevelFactor[kRegionLevels];

// Points of level k (0..6).
int64_t regionLevelPoints(int level);

// The level the strip draws at a level zoom: the one with the smallest
// factor not below the zoom (6 above 1024, 5 above 128, 4 above 32, 3 above
// 16, 2 above 8, 1 above 4, else 0).
int regionLevelForZoom(float zoom);

// The stretch of a level a view shows: first = trunc(start x P), columns =
// trunc((end - start) x P), start and end fractions of the region.
struct tRegionDrawSpan {
    int64_t first = 0;
    int64_t columns = 0;
};
tRegionDrawSpan regionDrawSpan(double drawStart, double drawEnd, int64_t points);

// New points a loading cycle hands over: progress - drawn while the
// worker's progress lies within the shown stretch, else none.
int64_t regionNewPoints(int64_t progress, int64_t drawn, const tRegionDrawSpan &span);

// A view's handles as a region edit: in a, out b, fade-in end c and
// fade-out start d as fractions of a region of `length` samples, gain g.
// Each sample count is truncated toward zero.
tWaveEditParam regionEditParams(double a, double b, double c, double d, double g, double length);

// Where a region view goes for its placement record, in a wave area W pixels
// wide: x, width, the left edge the strip keeps, and the stretch of the
// region it draws. A view cut on the right keeps the full width of the
// region at the range's scale and is clipped by the wave area; only a view
// wider than kRegionViewMaxWidth is cut at the wave area's right edge
// instead, drawing the same picture with a shorter stretch, because no GL
// framebuffer holds it whole.
enum : int { kRegionViewMaxWidth = 8192 };
struct tRegionViewPlace {
    bool placed = false;  // false: the record is not visible; only the stretch (0, 0) applies
    int x = 0;
    int width = 0;
    int leftEdge = 0;
    double drawStart = 0.0;
    double drawEnd = 0.0;
};
tRegionViewPlace regionViewPlace(const tTlWavedrawInfo &info, int waveWidth);

// One-region mode: region 0's view for the draw area (a, b) in a wave area W
// pixels wide, m = 20 / W: x = trunc(a / (1 + m) x W), width =
// trunc(((m + b) / (1 + m) - a / (1 + m)) x W). False when W is not
// positive or the area is not a number; a negative width becomes 0.
bool regionOnePlace(float a, float b, int waveWidth, int *x, int *width);
