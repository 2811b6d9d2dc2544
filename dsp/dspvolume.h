// Fade envelope: turns the edit of one region (in point, fade-in, gain,
// fade-out, out point, at the file's rate) into a gain envelope at the
// output rate, a list of points that playback and export interpolate.
#pragma once

#include <cstdint>

// The edit of one region, in samples (1-bit samples for DSD) of the region's
// own file from its start.
struct tWaveEditParam {
    int64_t inPoint = 0;  // first sample that sounds
    int64_t fadeInLength = 0;
    double gain = 0.0;  // linear, 1.0 unity
    int64_t fadeOutLength = 0;
    int64_t outPoint = 0;  // the sample at which the region ends
};

// One point of a gain envelope. A list ends with a point whose start is
// kDspVolEnd.
struct tDspVolItem {
    int64_t start = 0;      // sample at the output rate
    double level = 0.0;     // gain at the start sample
    double slope = 0.0;     // gain change per sample from there on
    int32_t direction = 0;  // +1 rising, 0 flat, -1 falling
};

enum : int {
    kDspVolItems = 6,  // points written by setDspVolume, the end point included
};
constexpr int64_t kDspVolEnd = INT64_MAX;

// Options of setDspVolume.
struct tDspVolumeParam {
    uint8_t shortFade = 0;  // non-zero: DSD pull-in and overlapping fades meet midway
};

// Result codes of setDspVolume.
enum : int {
    kDspVolOk = 0,
    kDspVolBadParam = -17,  // a null record or a file rate of 0; nothing written
};

class dspVolume {
public:
    dspVolume() {}

    // Writes kDspVolItems points into out, from the edit at file rate
    // fileRate (Hz) to output rate outRate (Hz). minFade is the shortest fade
    // in file samples (the export dialog passes 0.1 s with the short-fade
    // option). Positions are truncated integer products; the first and the
    // seventh argument are not used.
    [[nodiscard]] static int setDspVolume(int64_t unused, const tWaveEditParam *edit, uint32_t fileRate,
                                          uint32_t outRate, int64_t minFade, tDspVolItem *out, int unused2,
                                          const tDspVolumeParam *options);
};
