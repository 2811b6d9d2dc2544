// The tests' one writer of RIFF/WAVE files. It lays a file out byte by byte,
// apart from the file layer, so that the readers are checked against a layout
// of their own; each test gives only its samples.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bytefields.h"

namespace sxtest {

// Format tags of the fmt chunk.
enum : uint16_t {
    kWavTagPcm = 1,
    kWavTagFloat = 3,
    kWavTagExtensible = 0xFFFE,
};

// The header up to and including the data chunk's header, for dataBytes of
// audio: a 16-byte fmt chunk, or 40 bytes with the extensible tag (integer
// PCM sub-format, the channel mask of mono or of stereo). The RIFF size
// counts the pad byte that follows odd audio and `trailing` bytes of chunks
// written after the audio.
inline Bytes wavHeader(uint32_t rate, int bits, int channels, uint32_t dataBytes, uint16_t tag = kWavTagPcm,
                       uint32_t trailing = 0) {
    const uint32_t fmtSize = tag == kWavTagExtensible ? 40 : 16;
    const uint32_t align = static_cast<uint32_t>(channels * (bits / 8));
    Bytes v;
    appendId(v, "RIFF");
    appendLE32(v, 4 + 8 + fmtSize + 8 + dataBytes + (dataBytes & 1) + trailing);
    appendId(v, "WAVE");
    appendId(v, "fmt ");
    appendLE32(v, fmtSize);
    appendLE16(v, tag);
    appendLE16(v, static_cast<uint64_t>(channels));
    appendLE32(v, rate);
    appendLE32(v, static_cast<uint64_t>(rate) * align);
    appendLE16(v, align);
    appendLE16(v, static_cast<uint64_t>(bits));
    if (fmtSize == 40) {
        appendLE16(v, 22);
        appendLE16(v, static_cast<uint64_t>(bits));
        appendLE32(v, channels == 1 ? 4 : 3);
        appendLE16(v, 1);  // sub-format: integer PCM
        static const uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        v.insert(v.end(), guidTail, guidTail + 14);
    }
    appendId(v, "data");
    appendLE32(v, dataBytes);
    return v;
}

// A whole file: the header, the audio and the pad byte after odd audio.
inline Bytes wavFile(uint32_t rate, int bits, int channels, const Bytes &audio, uint16_t tag = kWavTagPcm) {
    Bytes v = wavHeader(rate, bits, channels, static_cast<uint32_t>(audio.size()), tag);
    append(v, audio);
    if (audio.size() & 1) v.push_back(0);
    return v;
}

// Interleaved integer samples, little-endian in bits / 8 bytes each.
inline Bytes packInts(const std::vector<int32_t> &samples, int bits) {
    Bytes b;
    b.reserve(samples.size() * static_cast<size_t>(bits / 8));
    for (int32_t s : samples) appendLE(b, static_cast<uint32_t>(s), bits / 8);
    return b;
}

// One IEEE 754 single, little-endian.
inline void appendFloat(Bytes &b, float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    appendLE32(b, u);
}

// A 24-bit stereo WAV at 44.1 kHz for the bit-exact playback checks: a sine
// on the left, another with a ramp on the right, every sample's low bits in
// use.
struct Wav24 {
    std::vector<int32_t> samples;  // interleaved, 24-bit values
    Bytes bytes;                   // the whole file
    explicit Wav24(uint32_t frames) {
        Bytes data;
        for (uint32_t f = 0; f < frames; ++f) {
            const double l = 0.7 * std::sin(2.0 * M_PI * 997.0 * f / 44100);
            const double r = 0.4 * std::sin(2.0 * M_PI * 2203.0 * f / 44100) + 1e-3 * double(f % 89) / 89.0;
            for (double v : {l, r}) {
                const int32_t s = int32_t(std::lrint(v * 8388607.0));
                samples.push_back(s);
                appendLE(data, static_cast<uint32_t>(s), 3);
            }
        }
        bytes = wavFile(44100, 24, 2, data);
    }
};

}  // namespace sxtest
