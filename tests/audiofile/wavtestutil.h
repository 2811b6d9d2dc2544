// Helpers shared by the WAV handler tests: writing a file through the
// handler and reading fields back from its bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audiofile/wavfile.h"
#include "bytefields.h"
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

// Writes a file the way the recorder and the converters do: header, audio
// behind it, sizes finalised.
inline void writeWav(const std::string &path, const tBwfHdrParam &p, uint32_t withBext, const Bytes &audio,
                     const tAudioFileBuild &build = kAudioFileProgramBuild) {
    gClass_WavFile wav(build);
    File f(path, "wb+");
    ASSERT_NE(f.fp, nullptr);
    ASSERT_EQ(wav.createHeader(f.fp, &p, withBext), 0);
    ASSERT_EQ(std::fseek(f.fp, 0, SEEK_END), 0);
    if (!audio.empty()) {
        ASSERT_EQ(std::fwrite(audio.data(), 1, audio.size(), f.fp), audio.size());
    }
    ASSERT_EQ(wav.updateDataSize(f.fp, audio.size(), audio.size() / (p.channels * ((p.bits + 7) / 8))), 0);
}

}  // namespace wavtest
