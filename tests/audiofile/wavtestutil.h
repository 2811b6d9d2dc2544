// Helpers shared by the WAV handler tests: writing a file through the
// handler and reading fields back from its bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audiofile/wavfile.h"
#include "bytefields.h"
#include "handlerwav.h"
#include "hdrparam.h"
#include "testutil.h"

namespace wavtest {

using sxtest::Bytes;
using sxtest::File;
using sxtest::id;
using sxtest::le16;
using sxtest::le32;
using sxtest::le64;

// n bytes of a recognisable pattern that differs per seed.
inline Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return b;
}

inline tBwfHdrParam param(uint16_t channels, uint16_t bits, uint32_t rate, bool rf64 = false, uint32_t integer32 = 0) {
    return sxtest::hdrParam(channels, bits, rate, rf64 ? 1 : 0, integer32);
}

// The conversion library's switches without its tag code, which the file
// layer's tests do not link.
inline constexpr tAudioFileBuild kLibrarySwitches{true};

// Writes a file the way the recorder and the converters do
// (support/handlerwav.h).
inline void writeWav(const std::string &path, const tBwfHdrParam &p, uint32_t withBext, const Bytes &audio,
                     const tAudioFileBuild &build = kAudioFileProgramBuild) {
    sxtest::writeHandlerWav(path, p, withBext, audio, build);
}

}  // namespace wavtest
