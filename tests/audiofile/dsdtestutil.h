// Helpers shared by the DSF and WSD handler tests: DSF files in the block
// layout, ID3v2 tags built byte by byte, and field readers.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/dsffile.h"
#include "bytefields.h"
#include "hdrparam.h"
#include "testutil.h"

namespace dsdtest {

using sxtest::append;
using sxtest::be32;
using sxtest::Bytes;
using sxtest::File;
using sxtest::le32;
using sxtest::le64;
using sxtest::putBE32;
using sxtest::putLE64;
using sxtest::str;

inline tBwfHdrParam param(uint16_t channels, uint32_t rate) { return sxtest::hdrParam(channels, 1, rate); }

// Per-channel audio bytes of a recognisable pattern.
inline Bytes channelBytes(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 9));
    return b;
}

// The DSF block layout of per-channel streams: whole 4096-byte blocks per
// channel, the last one of each channel filled up with 0x96; with
// padMono false a mono stream stays a plain run (what the layout code
// writes).
inline Bytes dsfLayout(const std::vector<Bytes> &ch, bool padMono = true) {
    const size_t c = ch.size();
    const size_t per = ch[0].size();
    if (c == 1 && !padMono) return ch[0];
    const size_t groups = (per + 4095) / 4096;
    Bytes out(groups * c * 4096, 0x96);
    for (size_t g = 0; g < groups; ++g)
        for (size_t i = 0; i < c; ++i)
            for (size_t k = 0; k < 4096 && g * 4096 + k < per; ++k) out[(g * c + i) * 4096 + k] = ch[i][g * 4096 + k];
    return out;
}

// Writes a DSF file the way the recorder does: header, audio, sizes.
inline void writeDsf(const std::string &path, uint32_t rate, const std::vector<Bytes> &ch, bool padMono = true) {
    gClass_DsfFile dsf;
    File f(path, "wb+");
    ASSERT_NE(f.fp, nullptr);
    tBwfHdrParam p = param(static_cast<uint16_t>(ch.size()), rate);
    ASSERT_EQ(dsf.createHeader(f.fp, &p, 0), 0);
    Bytes audio = dsfLayout(ch, padMono);
    ASSERT_EQ(std::fseek(f.fp, 0, SEEK_END), 0);
    ASSERT_EQ(std::fwrite(audio.data(), 1, audio.size(), f.fp), audio.size());
    const uint64_t samples = ch[0].size() * 8;
    ASSERT_EQ(dsf.updateDataSize(f.fp, audio.size(), samples), 0);
}

// Version 2.3 frame (plain size) or 2.4 frame (syncsafe size).
inline Bytes frame(const std::string &id, const Bytes &data, int version = 3) {
    Bytes f;
    append(f, id);
    uint32_t n = static_cast<uint32_t>(data.size());
    if (version == 4) n = ((n & 0x0FE00000) << 3) | ((n & 0x001FC000) << 2) | ((n & 0x00003F80) << 1) | (n & 0x7F);
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(n >> (24 - 8 * i)));
    f.push_back(0);
    f.push_back(0);
    append(f, data);
    return f;
}

inline Bytes latin1Text(const std::string &s) {
    Bytes d{0};
    append(d, s);
    d.push_back(0);
    return d;
}

// Tag header with a syncsafe size of size.
inline Bytes tagHeader(uint8_t version, uint32_t size, uint8_t flags = 0) {
    return Bytes{'I',
                 'D',
                 '3',
                 version,
                 0,
                 flags,
                 static_cast<uint8_t>((size >> 21) & 0x7F),
                 static_cast<uint8_t>((size >> 14) & 0x7F),
                 static_cast<uint8_t>((size >> 7) & 0x7F),
                 static_cast<uint8_t>(size & 0x7F)};
}

inline Bytes tag(uint8_t version, const Bytes &frames, uint8_t flags = 0) {
    Bytes t = tagHeader(version, static_cast<uint32_t>(frames.size()), flags);
    append(t, frames);
    return t;
}

// A mark frame of the given entries (each a text with its terminator and
// a 4-byte stamp, as stored).
inline Bytes markFrame(const std::vector<Bytes> &entries) {
    Bytes d{0, 'e', 'n', 'g', 2, 4, 0};
    append(d, std::string("KAVELO DSF MARK"));
    d.push_back(0);
    append(d, Bytes{0, 0, 1, 0x0C});
    for (const Bytes &e : entries) append(d, e);
    return frame("SYLT", d);
}

// A stored mark entry: the text, its terminator and the 4-byte stamp (40
// bytes for the 35-character texts this system writes).
inline Bytes markEntry(const std::string &text, uint32_t ms) {
    Bytes e;
    append(e, text);
    e.push_back(0);
    for (int i = 0; i < 4; ++i) e.push_back(static_cast<uint8_t>(ms >> (24 - 8 * i)));
    return e;
}

// Replaces the tag of a DSF file written by writeDsf with t (at the
// metadata pointer) and fixes the total size.
inline void replaceTag(const std::string &path, const Bytes &t) {
    Bytes b = sxtest::readAll(path);
    const uint64_t at = le64(b, 20);
    ASSERT_GT(at, 0u);
    b.resize(at);
    append(b, t);
    putLE64(b, 12, b.size());
    ASSERT_TRUE(sxtest::writeAll(path, b));
}

}  // namespace dsdtest
