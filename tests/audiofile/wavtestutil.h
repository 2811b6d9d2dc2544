// Helpers shared by the WAV handler tests: writing a file through the
// handler and reading fields back from its bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audiofile/wavfile.h"
#include "testutil.h"

namespace wavtest {

using Bytes = std::vector<uint8_t>;

inline uint16_t le16(const Bytes &b, size_t off) { return static_cast<uint16_t>(b.at(off) | (b.at(off + 1) << 8)); }
inline uint32_t le32(const Bytes &b, size_t off) {
    return static_cast<uint32_t>(le16(b, off)) | (static_cast<uint32_t>(le16(b, off + 2)) << 16);
}
inline uint64_t le64(const Bytes &b, size_t off) {
    return static_cast<uint64_t>(le32(b, off)) | (static_cast<uint64_t>(le32(b, off + 4)) << 32);
}
inline std::string id(const Bytes &b, size_t off) {
    return std::string(reinterpret_cast<const char *>(b.data() + off), 4);
}

// n bytes of a recognisable pattern that differs per seed.
inline Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return b;
}

inline tBwfHdrParam param(uint16_t channels, uint16_t bits, uint32_t rate, bool rf64 = false,
                          uint32_t integer32 = 0) {
    tBwfHdrParam p{};
    p.channels = channels;
    p.bits = bits;
    p.rate = rate;
    p.stereo = channels != 1 ? 1 : 0;
    p.rf64 = rf64 ? 1 : 0;
    p.integer32 = integer32;
    return p;
}

// An open file that closes itself.
struct File {
    File(const std::string &path, const char *mode) : fp(std::fopen(path.c_str(), mode)) {}
    ~File() { close(); }
    void close() {
        if (fp) std::fclose(fp);
        fp = nullptr;
    }
    FILE *fp;
};

// Writes a file the way the recorder and the converters do: header, audio
// behind it, sizes finalised.
inline void writeWav(const std::string &path, const tBwfHdrParam &p, uint32_t withBext, const Bytes &audio,
                     tWavBuild build = kWavBuildProgram) {
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
