// Arithmetic of the waveform track view (widgets/trackgraphic.h): projection
// bounds, the placing of overview columns, zero lines, marks and the cursor,
// the shaded envelope of a column, the pointer position along the material,
// the handle drag rules and the picture set for a device pixel ratio.
//
// View units: x runs from 0 to 1 across the wave area, y from 0 (bottom of
// the lowest lane) to 1 (top of the highest lane); the projection adds
// margins around that square. Nothing here touches a widget or OpenGL.
#pragma once

#include <QString>
#include <cstdint>

enum : int {
    kTrackMaxTracks = 32,    // lanes of one view
    kTrackMaxMarks = 100,    // records of the main window's mark table
    kTrackPictureSets = 11,  // 1x and ten further pixel ratios
};

// Drag states of the pointer (the view's `mDragState`).
enum : int32_t {
    kTrackDragNone = 0,
    kTrackDragIn = 1,      // the in-point handle is held
    kTrackDragOut = 4,     // the out-point handle is held
    kTrackDragCursor = 6,  // the pointer was pressed on the wave area
};

// Projection bounds. mx and my are the margins in view units; the projection
// spans left..right by bottom..top.
struct tTrackBounds {
    double mx = 0.0;
    double my = 0.0;
    double left = 0.0;
    double right = 1.0;
    double bottom = 0.0;
    double top = 1.0;
};

// Before the first effective resize: margins of r·10 logical pixels with 5 %
// slack. w, h: the widget's logical size (at least 1).
tTrackBounds trackGeo_initialBounds(float ratio, int w, int h);

// After a resize to w × h: the wave area is inset 10.5 pixels left and right,
// 11 below and 11 + 10 above, H being the widget's own logical height (the
// extra 10 pixels hold the mark triangles). w, h, H at least 1.
tTrackBounds trackGeo_bounds(int w, int h, int widgetH);

// Picture set for a device pixel ratio: 0 = 1x, then 1.25x, 1.5x, 1.75x, 2x,
// 2.25x, 2.5x, 2.75x, 3x, 3.5x, 4x (the largest set not above the ratio).
int trackGeo_pictureSet(float ratio);
// Resource paths of the handle pictures (idle or grabbed) and the cursor
// picture of a set (0..kTrackPictureSets - 1).
QString trackGeo_handlePicture(bool grabbed, int set);
QString trackGeo_cursorPicture(int set);

// Where one track's overview columns fall in the view.
//   S     first visible column of the level
//   T     total length in frames of the longest track (at least 1)
//   N     this track's length in frames (at least 1)
//   L     the level's column count
//   C     visible column count
//   O     the track's start offset in frames
//   drawOffset, drawEnd  the columns to draw (incremental redraws), in
//         visible columns
struct tTrackColumnMap {
    double a = 0.0;      // S scaled to this track's level: trunc(S·T/N)
    double shift = 0.0;  // X_j: a track that begins inside the view starts here (view units)
    int64_t first = 0;   // i0: the first peak entry in view
    int64_t lo = 0;      // columns lo .. hi - 1 are drawn
    int64_t hi = 0;
    double span = 0.0;  // D: columns across the whole view at this track's scale
};
tTrackColumnMap trackGeo_mapColumns(int64_t S, uint64_t T, int64_t N, double L, double C, double O, int64_t drawOffset,
                                    int64_t drawEnd);

// The end (exclusive) of the columns whose trace can be drawn. A column's
// segment joins entry first + x to the next entry, so both must lie inside
// the level's L entries and among the `ready` entries the overview job has
// written so far; columns past that wait for a later redraw.
int64_t trackGeo_traceEnd(const tTrackColumnMap &map, double L, int64_t ready);

// x of a column edge: column index (may be fractional) over D, taken through
// the allowed range and the track's horizontal factor, plus the shift.
double trackGeo_columnX(double column, const tTrackColumnMap &map, float rangeMin, float rangeMax, float factor);

// The zero line of a track, from x0 to x1 in view units; false when there is
// nothing to draw. K: the track's ready column count; drawStart: B of the
// redraw (0 for a full one).
bool trackGeo_zeroLine(const tTrackColumnMap &map, double L, int64_t K, uint64_t T, int64_t N, int64_t drawEnd,
                       int64_t drawStart, float rangeMin, float rangeMax, double *x0, double *x1);

// x in view units of a point at `fraction` of the level (in, out and fade
// points): (fraction·L − S)/C.
double trackGeo_levelX(double fraction, double L, int64_t S, double C);

// x of a mark at `position` frames of a material of `length` frames, taken
// through the allowed range. NaN when the length is 0.
double trackGeo_markX(int64_t position, int64_t length, double L, int64_t S, double C, float rangeMin, float rangeMax);

// The cursor snapped to the widget's logical pixel grid: trunc(x·W + 0.5)/W.
double trackGeo_cursorX(double x, int widgetW);

// One point of a shaded envelope polygon; f runs from 0 at the centre line
// to 1 at the clip level and picks the gradient colour.
struct tTrackShadePoint {
    double x;
    double y;
    double f;
};
// The area between the centre line and the segment (x0, y0)–(x1, y1), cut
// at the clip level on each side (clipTop above the centre, clipBottom
// below). A segment that crosses the centre gives two polygons. Each polygon
// is convex with 3 to 5 points, in order. Returns the number of polygons.
int trackGeo_envelope(double x0, double y0, double x1, double y1, double centre, double clipTop, double clipBottom,
                      tTrackShadePoint polygons[2][5], int counts[2]);

// The gradient fraction of a height: 0 at the centre, 1 at the clip level on
// its side (larger beyond it).
double trackGeo_shade(double y, double centre, double clipTop, double clipBottom);

// The value of one overview entry in sample-line mode: the upper value when
// it is larger than minus the lower one, else the lower value.
inline double trackGeo_lineValue(double upper, double lower) { return upper > -lower ? upper : lower; }

// The pointer in view units; px, py in logical pixels from the widget's
// top-left corner, rounded to whole pixels (halves away from zero). yn grows
// towards the widget's bottom edge.
struct tTrackPointer {
    double xn;
    double yn;
};
tTrackPointer trackGeo_pointer(const tTrackBounds &b, double px, double py, int widgetW, int widgetH);

// The pointer's place along the material as a fraction of the level:
// (C·xn + S)/L; 0 when that is not a number (an empty level).
double trackGeo_materialFraction(double xn, double C, int64_t S, double L);

// The handle a press at (xn, yn) grabs: kTrackDragIn, kTrackDragOut or
// kTrackDragNone. The in handle is tested first, so where the two overlap
// the in point is taken.
int32_t trackGeo_grabHandle(const tTrackBounds &b, double xn, double yn, double inPoint, double outPoint, double L,
                            int64_t S, double C);

// One pointer move while a handle is held; t is the pointer's material
// fraction. Dragging a handle past the other point swaps them: the dragged
// handle takes the other's place and the drag goes on with the other
// handle, which follows the pointer. Points never leave min..max.
struct tTrackHandleDrag {
    int32_t state;  // kTrackDragIn or kTrackDragOut
    double inPoint;
    double outPoint;
    bool crossed;  // set once the drag has passed the other point
};
void trackGeo_dragHandle(tTrackHandleDrag *drag, double t, float rangeMin, float rangeMax);

// A fade point moved from the old allowed range to the new one in
// proportion, in single precision; unchanged when the old range is empty.
double trackGeo_rescale(double f, float oldMin, float oldMax, float newMin, float newMax);
