// The record of the recording being made: the recording window fills it,
// the recorder copies it when the capture starts.
#pragma once

#include <cstdint>
#include <string>

// The recording being made.
struct tRecParameters {
    std::u16string path;
    int32_t rate = 0;  // Hz
    int32_t bits = 0;  // its low 16 bits go into the header
    int32_t channels = 0;
    int32_t blockFrames = 0;  // samples per capture block
    int32_t format = 0;       // 0 WAV, 1 DSDIFF, 2 DSF (the recorder's numbering)
};
