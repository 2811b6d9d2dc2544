#include "editing/volgraphrules.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

int64_t volGraphMaxSample(const std::vector<tVolGraphRow> &rows) {
    int64_t maximum = 0;
    for (const tVolGraphRow &r : rows) maximum = std::max(maximum, r.length + r.delay);
    return maximum;
}

tVolGraphArea volGraphDrawArea(int64_t start, int64_t length, int64_t maximum) {
    if (maximum <= 0) return {};
    const double m = static_cast<double>(maximum);
    return {static_cast<float>(static_cast<double>(start) / m),
            static_cast<float>(static_cast<double>(start + length) / m)};
}

std::vector<tVolGraphArea> volGraphLayout(const std::vector<tVolGraphRow> &rows) {
    const int64_t maximum = volGraphMaxSample(rows);
    std::vector<tVolGraphArea> areas;
    areas.reserve(rows.size());
    for (const tVolGraphRow &r : rows) areas.push_back(volGraphDrawArea(r.delay, r.length, maximum));
    return areas;
}

int volGraphCursorX(int width, int left, int right, double f) {
    return static_cast<int>(std::trunc(static_cast<double>(width - left - right) * f)) + left;
}

int64_t volGraphRegionLength(uint32_t dataBytesHigh, uint32_t dataBytesLow, uint32_t bitsPerSample, uint32_t channels) {
    const uint64_t bitsPerFrame = static_cast<uint64_t>(bitsPerSample) * channels;
    if (bitsPerFrame == 0) return -1;
    const uint64_t bytes = (static_cast<uint64_t>(dataBytesHigh) << 32) | dataBytesLow;
    const unsigned __int128 samples = static_cast<unsigned __int128>(bytes) * 8 / bitsPerFrame;
    return samples > static_cast<unsigned __int128>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(samples);
}
