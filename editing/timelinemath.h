// The timeline window's arithmetic: the span of the timeline, the visible
// range under zoom and scrolling, the cursor, where regions start and how
// they are placed in the visible range. Pure functions, callable without a
// window.
//
// Units: times are samples at the timeline's fixed rate (44,100 Hz);
// fractions are of the span S, the whole timeline width in seconds at zoom 1.
#pragma once

#include <cstdint>

#include "editing/timelinerecords.h"

enum : int {
    kTimelineRate = 44100,
    kTimelineWaveLeft = 66,          // the wave areas' left edge in the window's pixels
    kTimelineScrollSeconds = 86400,  // the scroll bar covers 24 hours
};
constexpr double kTimelineZoomMax = 64.0;
constexpr double kTimelineZoomMin = 1.0 / 64.0;

// S = trunc(W x 300 / 800) seconds for a wave area W pixels wide (300 s for
// 800 pixels); at least 1, because fractions are divided by it.
int64_t timelineSpanSeconds(int waveWidth);

// A file's length in samples from its data size in bytes (high and low
// 32-bit words): bytes x 8 / (bits x channels); 0 when either is 0, the
// largest value when the length does not fit 64 bits.
uint64_t timelineFileLength(uint32_t bytesHigh, uint32_t bytesLow, uint32_t bits, uint32_t channels);

// Where a region dropped (or dragged) to x of a strip `stripWidth` pixels
// wide starts: trunc(f x (ve - vs)) + vs with f = x / width, the product in
// single precision. A strip without width starts it at vs.
int64_t timelineStartSample(int x, int stripWidth, int64_t visibleStart, int64_t visibleEnd);

// The placement record of a region starting at s and n samples long in the
// visible range vs..ve (divisions in single precision). Regions wholly
// before or after the range get all fractions 0; `visible` is always set.
tTlWavedrawInfo timelinePlaceRegion(int64_t s, uint64_t n, int64_t visibleStart, int64_t visibleEnd);

// The cursor fraction of the span for x pixels into a wave area W wide:
// startF + (endF - startF) x x / W (W below 1 counts as 1).
double timelineCursorFraction(double startF, double endF, double x, int waveWidth);
// The cursor's time: trunc(S x cursor x 44100).
int64_t timelineCursorSamples(int64_t span, double cursor);
// The cursor line's x in the window for a fraction f of the visible range:
// trunc(W x f + 66).
int timelineCursorX(int waveWidth, double f);

// A visible range as fractions of the span and as samples.
struct tTimelineRange {
    double startF = 0.0;
    double endF = 1.0;
    int64_t visibleStart = 0;
    int64_t visibleEnd = 0;
};

// The range 1 / zoom wide centred on the cursor, its start held at 0:
// start = max(0, cursor - 1 / (2 zoom)), end = start + 1 / zoom; samples
// trunc(start x S x 44100) and trunc(S x end x 44100).
tTimelineRange timelineZoomRange(double cursor, double zoom, int64_t span);

// The range the scroll bar's position gives: sec = pos x 86400 / max
// (integer division, max below 1 counts as 1) within 0..86400; end sec =
// trunc(S / zoom + 0.5) + sec; fractions sec / S and end sec / S.
tTimelineRange timelineScrollRange(int position, int maximum, int64_t span, double zoom);

// Zoom steps: doubled up to 64, halved down to 1/64.
double timelineZoomIn(double zoom);
double timelineZoomOut(double zoom);
