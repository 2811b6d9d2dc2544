#include "editing/timelinemath.h"

#include <algorithm>
#include <cmath>

int64_t timelineSpanSeconds(int waveWidth) { return std::max<int64_t>(1, static_cast<int64_t>(waveWidth) * 300 / 800); }

uint64_t timelineFileLength(uint32_t bytesHigh, uint32_t bytesLow, uint32_t bits, uint32_t channels) {
    const uint64_t perFrame = static_cast<uint64_t>(bits) * channels;
    if (perFrame == 0) return 0;
    const uint64_t bytes = (static_cast<uint64_t>(bytesHigh) << 32) | bytesLow;
    // bytes x 8 needs 67 bits for the largest sizes the two words hold.
    const unsigned __int128 length = static_cast<unsigned __int128>(bytes) * 8 / perFrame;
    return length > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(length);
}

int64_t timelineStartSample(int x, int stripWidth, int64_t visibleStart, int64_t visibleEnd) {
    if (stripWidth <= 0) return visibleStart;
    const float f = static_cast<float>(x) / static_cast<float>(stripWidth);
    const float product = f * static_cast<float>(visibleEnd - visibleStart);
    return static_cast<int64_t>(std::trunc(static_cast<double>(product))) + visibleStart;
}

tTlWavedrawInfo timelinePlaceRegion(int64_t s, uint64_t n, int64_t vs, int64_t ve) {
    tTlWavedrawInfo p;
    p.visible = true;
    const int64_t e = s + static_cast<int64_t>(n);
    const float R = static_cast<float>(ve - vs);
    const float N = static_cast<float>(n);
    // Wholly before or after the range (or no range at all): an empty view.
    if (e < vs || (ve <= s && e > ve) || !(R > 0.0f)) return p;
    if (s < vs) {
        p.left = 0.0f;
        p.right = static_cast<float>(e - vs) / R;
        p.hiddenStart = static_cast<float>(vs - s) / N;
        p.shownEnd = 1.0f;
    } else if (e <= ve) {
        p.left = static_cast<float>(s - vs) / R;
        p.right = static_cast<float>(e - vs) / R;
        p.hiddenStart = 0.0f;
        p.shownEnd = 1.0f;
    } else {
        p.left = static_cast<float>(s - vs) / R;
        p.right = 1.0f;
        p.hiddenStart = 0.0f;
        p.shownEnd = static_cast<float>(ve - s) / N;
    }
    return p;
}

double timelineCursorFraction(double startF, double endF, double x, int waveWidth) {
    const double W = static_cast<double>(std::max(1, waveWidth));
    return startF + (endF - startF) * x / W;
}

int64_t timelineCursorSamples(int64_t span, double cursor) {
    return static_cast<int64_t>(std::trunc(static_cast<double>(span) * cursor * kTimelineRate));
}

int timelineCursorX(int waveWidth, double f) {
    const double x = std::trunc(static_cast<double>(waveWidth) * f + kTimelineWaveLeft);
    // A cursor far outside the range (or not a number) parks at the edges.
    if (!(x > -1e6)) return -1000000;
    return static_cast<int>(std::min(x, 1e6));
}

tTimelineRange timelineZoomRange(double cursor, double zoom, int64_t span) {
    tTimelineRange r;
    const double S = static_cast<double>(span);
    r.startF = std::max(0.0, cursor - 1.0 / (2.0 * zoom));
    r.endF = r.startF + 1.0 / zoom;
    r.visibleStart = static_cast<int64_t>(std::trunc(r.startF * S * kTimelineRate));
    r.visibleEnd = static_cast<int64_t>(std::trunc(S * r.endF * kTimelineRate));
    return r;
}

tTimelineRange timelineScrollRange(int position, int maximum, int64_t span, double zoom) {
    tTimelineRange r;
    const int64_t m = std::max(1, maximum);
    const int64_t sec =
        std::clamp<int64_t>(static_cast<int64_t>(position) * kTimelineScrollSeconds / m, 0, kTimelineScrollSeconds);
    const double S = static_cast<double>(span);
    const int64_t endSec = static_cast<int64_t>(std::trunc(S / zoom + 0.5)) + sec;
    r.visibleStart = static_cast<int64_t>(kTimelineRate) * sec;
    r.visibleEnd = endSec * kTimelineRate;
    r.startF = static_cast<double>(sec) / S;
    r.endF = static_cast<double>(endSec) / S;
    return r;
}

double timelineZoomIn(double zoom) { return zoom < kTimelineZoomMax ? zoom * 2.0 : kTimelineZoomMax; }

double timelineZoomOut(double zoom) { return zoom > kTimelineZoomMin ? zoom * 0.5 : kTimelineZoomMin; }
