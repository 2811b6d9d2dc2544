// WAV files written the way the recorder and the converters write them,
// through the file layer's handler: its 32768-byte header, the audio behind
// it, the sizes finalised. For tests of what reads such files back; a test
// of the readers themselves writes its files with wavwriter.h instead.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "audiofile/wavfile.h"
#include "bytefields.h"
#include "testutil.h"

namespace sxtest {

inline void writeHandlerWav(const std::string &path, const tBwfHdrParam &p, uint32_t withBext, const Bytes &audio,
                            const tAudioFileBuild &build = kAudioFileProgramBuild) {
    gClass_WavFile wav(build);
    File f(path, "wb+");
    ASSERT_NE(f.fp, nullptr);
    ASSERT_EQ(wav.createHeader(f.fp, &p, withBext), 0);
    ASSERT_EQ(std::fseek(f.fp, 0, SEEK_END), 0);
    if (!audio.empty()) {
        ASSERT_EQ(std::fwrite(audio.data(), 1, audio.size(), f.fp), audio.size());
    }
    // The handler takes no sample count: the data size says it all.
    ASSERT_EQ(wav.updateDataSize(f.fp, audio.size(), 0), 0);
}

}  // namespace sxtest
