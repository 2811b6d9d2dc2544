// The volume-graph window's arithmetic without a window: where each row's
// region goes on the common time axis, where the cursor line goes, and how
// long a track file is in samples. Stateless; any thread may call them.
//
// Positions and lengths are 64-bit sample counts throughout: a long DSD
// file or a large delay passes 2^31 samples, and a 32-bit sum would wrap
// and place the rows wrongly.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// What the main window passes for one mixer track it opens in the window.
struct tChEditerParameters {
    int *lockFlag = nullptr;  // the main window's; non-zero: the row ignores mouse editing
    QString path;             // the track's file
    int64_t length = 0;       // the track's length, samples
    int64_t delay = 0;        // the track's start delay, samples
};

// A row's draw area: start and end as fractions 0..1 of the common axis.
struct tVolGraphArea {
    float start = 0.0f;
    float end = 0.0f;
};

// One row's placement on the common axis.
struct tVolGraphRow {
    int64_t length = 0;  // samples
    int64_t delay = 0;   // samples
};

// The common axis: the largest length + delay over the rows; 0 without rows.
int64_t volGraphMaxSample(const std::vector<tVolGraphRow> &rows);

// (start / maximum, (start + length) / maximum), in single precision. A
// maximum of 0 or less (no row has a length yet) gives (0, 0) rather than a
// division by zero.
tVolGraphArea volGraphDrawArea(int64_t start, int64_t length, int64_t maximum);

// Every row's draw area against the common axis, in row order.
std::vector<tVolGraphArea> volGraphLayout(const std::vector<tVolGraphRow> &rows);

// The cursor line's x in a window `width` pixels wide whose rows' wave areas
// leave `left` and `right` pixels: trunc((width - left - right) * f) + left.
int volGraphCursorX(int width, int left, int right, double f);

// A file's length in samples from the library's data size (high and low
// 32-bit words, bytes): size * 8 / (bitsPerSample * channels), computed in
// 64 bits. -1 when the word length or the channel count is 0.
int64_t volGraphRegionLength(uint32_t dataBytesHigh, uint32_t dataBytesLow, uint32_t bitsPerSample, uint32_t channels);
