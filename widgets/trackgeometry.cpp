#include "widgets/trackgeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// trunc() into int64 without undefined behaviour: NaN gives 0, values
// beyond the type saturate. Owners can hand the view empty levels (L or C
// 0), which turn the ratios below into NaN or infinity.
int64_t truncI64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9.2e18) return std::numeric_limits<int64_t>::max();
    if (v <= -9.2e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

// kSetThresholds[i] is the least ratio that takes set i + 1. File suffixes
// of the sets; one cursor picture of the bundle lacks the "x" of its suffix.
const float kSetThresholds[kTrackPictureSets - 1] = {1.25f, 1.5f, 1.75f, 2.0f, 2.25f, 2.5f, 2.75f, 3.0f, 3.5f, 4.0f};
const char *const kHandleSuffix[kTrackPictureSets] = {"",      "@1.25x", "@1.5x", "@1.75x", "@2x", "@2.25x",
                                                      "@2.5x", "@2.75x", "@3x",   "@3.5x",  "@4x"};
const char *const kCursorSuffix[kTrackPictureSets] = {"",      "@1.25x", "@1.5x", "@1.75x", "@2x", "@2.25",
                                                      "@2.5x", "@2.75x", "@3x",   "@3.5x",  "@4x"};

int clampSet(int set) { return std::clamp(set, 0, kTrackPictureSets - 1); }

}  // namespace

tTrackBounds trackGeo_initialBounds(float ratio, int w, int h) {
    w = std::max(w, 1);
    h = std::max(h, 1);
    tTrackBounds b;
    b.mx = ratio * 10.0 / w;
    b.my = ratio * 10.0 / h;
    b.left = -1.05 * b.mx;
    b.right = 1.0 + 1.05 * b.mx;
    b.bottom = -1.05 * b.my;
    b.top = 1.0 + 1.05 * b.my + 10.0 / h;
    return b;
}

tTrackBounds trackGeo_bounds(int w, int h, int widgetH) {
    w = std::max(w, 1);
    h = std::max(h, 1);
    widgetH = std::max(widgetH, 1);
    tTrackBounds b;
    b.mx = 10.5 / w;
    b.my = 11.0 / h;
    b.left = -b.mx;
    b.right = 1.0 + b.mx;
    b.bottom = -b.my;
    b.top = 1.0 + b.my + 10.0 / widgetH;
    return b;
}

int trackGeo_pictureSet(float ratio) {
    for (int i = kTrackPictureSets - 2; i >= 0; --i)
        if (ratio >= kSetThresholds[i]) return i + 1;
    return 0;
}

QString trackGeo_handlePicture(bool grabbed, int set) {
    return QStringLiteral(":/resources2/parts/point_BlueFlat_%1%2.png")
        .arg(grabbed ? QStringLiteral("on") : QStringLiteral("off"), QLatin1String(kHandleSuffix[clampSet(set)]));
}

QString trackGeo_cursorPicture(int set) {
    return QStringLiteral(":/resources2/parts/playCursor%1.png").arg(QLatin1String(kCursorSuffix[clampSet(set)]));
}

tTrackColumnMap trackGeo_mapColumns(int64_t S, uint64_t T, int64_t N, double L, double C, double O, int64_t drawOffset,
                                    int64_t drawEnd) {
    tTrackColumnMap m;
    if (!(L > 0.0) || !(C > 0.0)) return m;  // an empty level draws nothing
    const double Td = static_cast<double>(std::max<uint64_t>(T, 1));
    const double Nd = static_cast<double>(std::max<int64_t>(N, 1));

    m.a = std::trunc(static_cast<double>(S) * Td / Nd);
    const double v = std::trunc(m.a * Nd / L);  // the view's start in this track's frames
    if (O > v) {
        m.shift = L * ((O - v) / Td) / C;
        m.first = 0;
    } else {
        m.first = truncI64((v - O) * L / Nd);
    }
    const int64_t remaining = std::max<int64_t>(0, truncI64(L - static_cast<double>(m.first)));
    m.hi = std::min(truncI64(static_cast<double>(drawEnd) * Td / Nd), remaining);
    m.lo = std::max<int64_t>(0, std::min(truncI64(static_cast<double>(drawOffset) * Td / Nd), remaining));
    m.span = std::trunc(Td * C / Nd);
    return m;
}

int64_t trackGeo_traceEnd(const tTrackColumnMap &map, double L, int64_t ready) {
    const int64_t entries = std::min(std::max<int64_t>(0, truncI64(L)), std::max<int64_t>(0, ready));
    return std::max(map.lo, std::min(map.hi, entries - 1 - map.first));
}

double trackGeo_columnX(double column, const tTrackColumnMap &map, float rangeMin, float rangeMax, float factor) {
    return ((column / map.span) * (rangeMax - rangeMin) + rangeMin) * factor + map.shift;
}

bool trackGeo_zeroLine(const tTrackColumnMap &map, double L, int64_t K, uint64_t T, int64_t N, int64_t drawEnd,
                       int64_t drawStart, float rangeMin, float rangeMax, double *x0, double *x1) {
    const double Td = static_cast<double>(std::max<uint64_t>(T, 1));
    const double Nd = static_cast<double>(std::max<int64_t>(N, 1));
    const int64_t R = std::max<int64_t>(0, truncI64(L - map.a));
    const int64_t E = truncI64(static_cast<double>(drawEnd) * Td / Nd);
    if (E <= 0) return false;
    const int64_t V = std::min(R, truncI64(static_cast<double>(K) * Td / Nd));
    const int64_t F = std::min(R, truncI64(static_cast<double>(drawStart) * Td / Nd));
    const double width = rangeMax - rangeMin;
    *x0 = (static_cast<double>(F) / E) * width + rangeMin + map.shift;
    *x1 = std::min(1.0, static_cast<double>(V) / E) * width + rangeMin + map.shift;
    return true;
}

double trackGeo_levelX(double fraction, double L, int64_t S, double C) {
    return (fraction * L - static_cast<double>(S)) / C;
}

double trackGeo_markX(int64_t position, int64_t length, double L, int64_t S, double C, float rangeMin, float rangeMax) {
    if (length == 0) return std::numeric_limits<double>::quiet_NaN();
    const double x = trackGeo_levelX(static_cast<double>(position) / static_cast<double>(length), L, S, C);
    return x * (rangeMax - rangeMin) + rangeMin;
}

double trackGeo_cursorX(double x, int widgetW) {
    const double W = std::max(widgetW, 1);
    return std::trunc(x * W + 0.5) / W;
}

double trackGeo_shade(double y, double centre, double clipTop, double clipBottom) {
    const double reach = y >= centre ? clipTop - centre : centre - clipBottom;
    if (!(reach > 0.0)) return 1.0;
    return std::fabs(y - centre) / reach;
}

namespace {

// One side of the envelope: the segment lies wholly on one side of the
// centre (or on it). Appends a convex polygon cut at the clip level k.
int envelopeSide(double x0, double y0, double x1, double y1, double centre, double k, tTrackShadePoint *out) {
    const bool up = k > centre;
    auto beyond = [&](double y) { return up ? y > k : y < k; };
    auto fOf = [&](double y) { return std::fabs(y - centre) / std::fabs(k - centre); };
    int n = 0;
    out[n++] = {x0, centre, 0.0};
    out[n++] = {x1, centre, 0.0};
    const bool b0 = beyond(y0), b1 = beyond(y1);
    // An end on the centre line is already a corner.
    if (b1)
        out[n++] = {x1, k, 1.0};
    else if (y1 != centre)
        out[n++] = {x1, y1, fOf(y1)};
    if (b0 != b1) {
        // The segment crosses the clip level between the two ends.
        const double xk = x0 + (x1 - x0) * (k - y0) / (y1 - y0);
        out[n++] = {xk, k, 1.0};
    }
    if (b0)
        out[n++] = {x0, k, 1.0};
    else if (y0 != centre)
        out[n++] = {x0, y0, fOf(y0)};
    return n;
}

}  // namespace

int trackGeo_envelope(double x0, double y0, double x1, double y1, double centre, double clipTop, double clipBottom,
                      tTrackShadePoint polygons[2][5], int counts[2]) {
    const double d0 = y0 - centre, d1 = y1 - centre;
    if (d0 == 0.0 && d1 == 0.0) return 0;
    if (d0 * d1 < 0.0) {
        // Crosses the centre: one polygon on each side, meeting there.
        const double xm = x0 + (x1 - x0) * d0 / (d0 - d1);
        counts[0] = envelopeSide(x0, y0, xm, centre, centre, d0 > 0 ? clipTop : clipBottom, polygons[0]);
        counts[1] = envelopeSide(xm, centre, x1, y1, centre, d1 > 0 ? clipTop : clipBottom, polygons[1]);
        return 2;
    }
    const bool up = d0 > 0 || d1 > 0;
    counts[0] = envelopeSide(x0, y0, x1, y1, centre, up ? clipTop : clipBottom, polygons[0]);
    return 1;
}

tTrackPointer trackGeo_pointer(const tTrackBounds &b, double px, double py, int widgetW, int widgetH) {
    const double W = std::max(widgetW, 1), H = std::max(widgetH, 1);
    // std::round takes halves away from zero.
    return {b.left + (b.right - b.left) * std::round(px) / W, b.bottom + (b.top - b.bottom) * std::round(py) / H};
}

double trackGeo_materialFraction(double xn, double C, int64_t S, double L) {
    const double t = (C * xn + static_cast<double>(S)) / L;
    return std::isfinite(t) ? t : 0.0;
}

int32_t trackGeo_grabHandle(const tTrackBounds &b, double xn, double yn, double inPoint, double outPoint, double L,
                            int64_t S, double C) {
    if (yn < 0.5 - 0.5 * b.my || yn > 0.5 + 2.5 * b.my) return kTrackDragNone;
    const float xin = static_cast<float>(trackGeo_levelX(inPoint, L, S, C));
    const float xout = static_cast<float>(trackGeo_levelX(outPoint, L, S, C));
    if (std::fabs(xn - xin) <= b.mx) return kTrackDragIn;
    if (std::fabs(xn - xout) <= b.mx) return kTrackDragOut;
    return kTrackDragNone;
}

void trackGeo_dragHandle(tTrackHandleDrag *d, double t, float rangeMin, float rangeMax) {
    const double lo = rangeMin, hi = rangeMax;
    if (d->state == kTrackDragIn) {
        if (t <= lo) {
            d->inPoint = lo;
        } else if (t >= d->outPoint) {
            d->inPoint = d->outPoint;
            d->outPoint = std::clamp(t, lo, hi);
            d->state = kTrackDragOut;
            d->crossed = true;
        } else if (t >= hi) {
            d->inPoint = hi;
        } else {
            d->inPoint = t;
        }
    } else if (d->state == kTrackDragOut) {
        if (t < d->inPoint) {
            d->outPoint = d->inPoint;
            d->inPoint = std::clamp(t, lo, hi);
            d->state = kTrackDragIn;
            d->crossed = true;
        } else if (t >= hi) {
            d->outPoint = hi;
        } else {
            d->outPoint = t;
        }
    }
}

double trackGeo_rescale(double f, float oldMin, float oldMax, float newMin, float newMax) {
    if (oldMax == oldMin) return f;
    return newMin + (newMax - newMin) * (static_cast<float>(f) - oldMin) / (oldMax - oldMin);
}
