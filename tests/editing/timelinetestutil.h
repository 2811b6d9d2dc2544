// Helpers of the timeline tests: the windows bound to the built library,
// and small WAV files with an optional mark list.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "editingtestutil.h"
#include "engine/audiothread.h"

namespace tltest {

// How long a test waits for an overview to be computed. The wait ends as
// soon as it is; the bound only matters on a machine busy with other work,
// where a pass over a few seconds of audio under the sanitizers can take
// tens of seconds.
constexpr int kOverviewWaitMs = 120000;

// Every strip and timeline manager made after this binds the built library.
inline void useBuiltLibrary() { audioThread::setLibraryPath(edtest::builtLibrary()); }

inline void le(std::vector<uint8_t> &v, uint64_t x, int n) {
    for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

// A 16-bit stereo WAV of `frames` frames at `rate`: a 440 Hz sine on the
// left, a slower one at half level on the right; with `cuePoints` marks in
// a "cue " chunk after the audio (one every 100 frames).
inline void writeWav(const std::string &path, uint32_t frames, uint32_t rate = 44100, uint32_t cuePoints = 0) {
    std::vector<uint8_t> v;
    const uint32_t bytes = frames * 4;
    const uint32_t cueBytes = cuePoints ? 8 + 4 + 24 * cuePoints : 0;
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    le(v, 36 + bytes + cueBytes, 4);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    le(v, 16, 4);
    le(v, 1, 2);
    le(v, 2, 2);
    le(v, rate, 4);
    le(v, rate * 4, 4);
    le(v, 4, 2);
    le(v, 16, 2);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    le(v, bytes, 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        le(v, static_cast<uint16_t>(static_cast<int16_t>(std::lround(30000 * std::sin(2 * M_PI * 440 * t)))), 2);
        le(v, static_cast<uint16_t>(static_cast<int16_t>(std::lround(15000 * std::sin(2 * M_PI * 3 * t)))), 2);
    }
    if (cuePoints) {
        v.insert(v.end(), {'c', 'u', 'e', ' '});
        le(v, cueBytes - 8, 4);
        le(v, cuePoints, 4);
        for (uint32_t i = 0; i < cuePoints; ++i) {
            le(v, i + 1, 4);    // id
            le(v, i * 100, 4);  // position
            v.insert(v.end(), {'d', 'a', 't', 'a'});
            le(v, 0, 4);
            le(v, 0, 4);
            le(v, i * 100, 4);  // sample offset: the mark's place
        }
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(v.data()), static_cast<std::streamsize>(v.size()));
}

}  // namespace tltest
