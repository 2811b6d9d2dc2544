// Helpers shared by the DSDIFF handler tests: writing a file through the
// handler, reading big-endian fields back from its bytes and walking its
// chunks independently of the handler.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audiofile/dsdifffile.h"
#include "bytefields.h"
#include "hdrparam.h"
#include "testutil.h"

namespace dfftest {

using sxtest::be16;
using sxtest::be32;
using sxtest::be64;
using sxtest::Bytes;
using sxtest::File;
using sxtest::id;
using sxtest::le64;
using sxtest::putBE64;

// n bytes of a recognisable pattern that differs per seed.
inline Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 8));
    return b;
}

inline tBwfHdrParam param(uint16_t channels, uint32_t rate = 2822400) { return sxtest::hdrParam(channels, 1, rate); }

// Writes a file the way the recorder and the mix-down do: header, audio
// behind it, sizes finalised.
inline void writeDff(const std::string &path, const tBwfHdrParam &p, const Bytes &audio) {
    gClass_DsdiffFile dff;
    File f(path, "wb+");
    ASSERT_NE(f.fp, nullptr);
    ASSERT_EQ(dff.createHeader(f.fp, &p, 0), 0);
    ASSERT_EQ(std::fseek(f.fp, 0, SEEK_END), 0);
    if (!audio.empty()) {
        ASSERT_EQ(std::fwrite(audio.data(), 1, audio.size(), f.fp), audio.size());
    }
    ASSERT_EQ(dff.updateDataSize(f.fp, audio.size(), audio.size() * 8 / p.channels), 0);
}

// One chunk of the form as an independent walk sees it.
struct Chunk {
    std::string id;
    uint64_t offset;  // header
    uint64_t size;    // data size as stored
};

// The chunks from byte 16 to the end of the file; stops at a chunk that
// runs past the end.
inline std::vector<Chunk> chunks(const Bytes &b) {
    std::vector<Chunk> out;
    uint64_t pos = 16;
    while (pos + 12 <= b.size()) {
        Chunk c{id(b, pos), pos, be64(b, pos + 4)};
        out.push_back(c);
        if (c.size > b.size() - pos - 12) break;
        pos += 12 + c.size + (c.size & 1);
    }
    return out;
}

inline const Chunk *find(const std::vector<Chunk> &cs, const std::string &name) {
    for (const Chunk &c : cs)
        if (c.id == name) return &c;
    return nullptr;
}

}  // namespace dfftest
