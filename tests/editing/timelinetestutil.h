// Helpers of the timeline tests: the windows bound to the built library,
// and small WAV files with an optional mark list.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "editingtestutil.h"
#include "engine/audiothread.h"
#include "support/testutil.h"
#include "support/wavwriter.h"

namespace tltest {

// How long a test waits for an overview to be computed. The wait ends as
// soon as it is; the bound only matters on a machine busy with other work,
// where a pass over a few seconds of audio under the sanitizers can take
// tens of seconds.
constexpr int kOverviewWaitMs = 120000;

// Every strip and timeline manager made after this binds the built library.
inline void useBuiltLibrary() { audioThread::setLibraryPath(edtest::builtLibrary()); }

// A 16-bit stereo WAV of `frames` frames at `rate`: a 440 Hz sine on the
// left, a slower one at half level on the right; with `cuePoints` marks in
// a "cue " chunk after the audio (one every 100 frames).
inline void writeWav(const std::string &path, uint32_t frames, uint32_t rate = 44100, uint32_t cuePoints = 0) {
    using sxtest::appendId;
    using sxtest::appendLE;
    const uint32_t bytes = frames * 4;
    const uint32_t cueBytes = cuePoints ? 8 + 4 + 24 * cuePoints : 0;
    sxtest::Bytes v = sxtest::wavHeader(rate, 16, 2, bytes, sxtest::kWavTagPcm, cueBytes);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        appendLE(v, static_cast<uint16_t>(static_cast<int16_t>(std::lround(30000 * std::sin(2 * M_PI * 440 * t)))), 2);
        appendLE(v, static_cast<uint16_t>(static_cast<int16_t>(std::lround(15000 * std::sin(2 * M_PI * 3 * t)))), 2);
    }
    if (cuePoints) {
        appendId(v, "cue ");
        appendLE(v, cueBytes - 8, 4);
        appendLE(v, cuePoints, 4);
        for (uint32_t i = 0; i < cuePoints; ++i) {
            appendLE(v, i + 1, 4);    // id
            appendLE(v, i * 100, 4);  // position
            appendId(v, "data");
            appendLE(v, 0, 4);
            appendLE(v, 0, 4);
            appendLE(v, i * 100, 4);  // sample offset: the mark's place
        }
    }
    sxtest::writeAll(path, v);
}

}  // namespace tltest
