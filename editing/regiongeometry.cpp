#include "editing/regiongeometry.h"

#include <algorithm>
#include <cmath>

const int kRegionLevelFactor[kRegionLevels] = {4, 8, 16, 32, 128, 1024, 2048};

int64_t regionLevelPoints(int level) {
    if (level < 0 || level >= kRegionLevels) return 0;
    return static_cast<int64_t>(kRegionLevelFactor[level]) * kRegionPointsPerFactor;
}

int regionLevelForZoom(float zoom) {
    if (zoom > 1024.0f) return 6;
    if (zoom > 128.0f) return 5;
    if (zoom > 32.0f) return 4;
    if (zoom > 16.0f) return 3;
    if (zoom > 8.0f) return 2;
    if (zoom > 4.0f) return 1;
    return 0;
}

tRegionDrawSpan regionDrawSpan(double drawStart, double drawEnd, int64_t points) {
    tRegionDrawSpan s;
    const double p = static_cast<double>(points);
    s.first = static_cast<int64_t>(std::trunc(drawStart * p));
    s.columns = static_cast<int64_t>(std::trunc((drawEnd - drawStart) * p));
    return s;
}

int64_t regionNewPoints(int64_t progress, int64_t drawn, const tRegionDrawSpan &span) {
    if (progress > span.first + span.columns) return 0;
    return std::max<int64_t>(0, progress - drawn);
}

tWaveEditParam regionEditParams(double a, double b, double c, double d, double g, double length) {
    tWaveEditParam e;
    e.inPoint = static_cast<int64_t>(std::trunc(a * length));
    e.fadeInLength = static_cast<int64_t>(std::trunc((c - a) * length));
    e.gain = g;
    e.fadeOutLength = static_cast<int64_t>(std::trunc((b - d) * length));
    e.outPoint = static_cast<int64_t>(std::trunc(b * length));
    return e;
}

tRegionViewPlace regionViewPlace(const tTlWavedrawInfo &info, int waveWidth) {
    tRegionViewPlace p;
    if (!info.visible) return p;
    p.placed = true;
    p.drawStart = info.hiddenStart;
    p.drawEnd = 1.0;
    const float W = static_cast<float>(std::max(0, waveWidth));
    float w = info.right - info.left;
    if (info.shownEnd < 1.0f) {
        // A region cut on the right is as wide as the whole of it at the
        // range's scale. With all four fractions 0 (wholly outside the
        // range) there is nothing to divide by: the view is empty.
        const float shown = info.shownEnd - info.hiddenStart;
        w = shown > 0.0f ? w / shown : 0.0f;
    }
    if (!std::isfinite(w) || w < 0.0f) w = 0.0f;
    p.x = static_cast<int>(std::trunc(W * info.left));
    p.leftEdge = p.x;
    const double width = std::trunc(static_cast<double>(w * W));
    if (width <= kRegionViewMaxWidth) {
        p.width = static_cast<int>(width);
        return p;
    }
    // Too wide for a framebuffer: end the view at the wave area's right edge
    // (or keep one pixel when it starts beyond it) and draw the stretch of
    // the region that falls there, at the same scale.
    const int kept = std::clamp(static_cast<int>(W) - p.x, 1, static_cast<int>(kRegionViewMaxWidth));
    p.width = kept;
    p.drawEnd = p.drawStart + (1.0 - p.drawStart) * (static_cast<double>(kept) / width);
    return p;
}

bool regionOnePlace(float a, float b, int waveWidth, int *x, int *width) {
    if (waveWidth <= 0) return false;
    const float W = static_cast<float>(waveWidth);
    const float m = 2.0f * 10.0f / W;
    const float fx = std::trunc(a / (1.0f + m) * W);
    const float fw = std::trunc(((m + b) / (1.0f + m) - a / (1.0f + m)) * W);
    // A draw area the owner could not compute (NaN) or far outside the wave
    // area places nothing.
    if (!(std::fabs(fx) <= 1e6f) || !(std::fabs(fw) <= 1e6f)) return false;
    *x = static_cast<int>(fx);
    *width = std::max(0, static_cast<int>(fw));
    return true;
}
