// The tests' own writer of small DSF and DSDIFF files (WAV through
// support/wavwriter.h), laid out byte by byte so that the library's readers
// are checked against an independent layout. DSD audio is given as work bytes (one vector per channel, earliest
// sample in the most significant bit).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "../support/testutil.h"
#include "../support/wavwriter.h"
#include "audiofile/vfile.h"
#include "morphex/audiofiledispatch.h"

namespace sxgen {

inline void le(std::vector<uint8_t> &v, uint64_t x, int n) {
    for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
inline void be(std::vector<uint8_t> &v, uint64_t x, int n) {
    for (int i = n - 1; i >= 0; --i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
inline void id(std::vector<uint8_t> &v, const char *s) { v.insert(v.end(), s, s + 4); }

// Interleaved integer samples of 16, 24 or 32 bits as a whole WAV file.
inline std::vector<uint8_t> wav(uint32_t rate, int bits, int channels, const std::vector<int32_t> &samples) {
    return sxtest::wavFile(rate, bits, channels, sxtest::packInts(samples, bits));
}

inline uint8_t reverseBits(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r |= ((b >> i) & 1) << (7 - i);
    return r;
}

// DSF: 4096-byte blocks per channel, earliest sample in the least
// significant bit, the last block group filled with 0x96.
// DSF header for samples per channel; the data chunk's payload (whole block
// groups) follows it.
inline std::vector<uint8_t> dsfHeader(uint32_t rate, size_t ch, uint64_t samples) {
    const uint64_t groups = (samples / 8 + 4095) / 4096;
    const uint64_t payload = groups * 4096 * ch;
    const uint64_t total = 28 + 52 + 12 + payload;
    std::vector<uint8_t> v;
    id(v, "DSD ");
    le(v, 28, 8);
    le(v, total, 8);
    le(v, 0, 8);
    id(v, "fmt ");
    le(v, 52, 8);
    le(v, 1, 4);
    le(v, 0, 4);
    le(v, ch == 1 ? 1 : 2, 4);
    le(v, ch, 4);
    le(v, rate, 4);
    le(v, 1, 4);
    le(v, samples, 8);
    le(v, 4096, 4);
    le(v, 0, 4);
    id(v, "data");
    le(v, 12 + payload, 8);
    return v;
}

inline std::vector<uint8_t> dsf(uint32_t rate, const std::vector<std::vector<uint8_t>> &chans) {
    const size_t ch = chans.size();
    const size_t n = chans[0].size();
    const size_t groups = (n + 4095) / 4096;
    std::vector<uint8_t> v = dsfHeader(rate, ch, static_cast<uint64_t>(n) * 8);
    for (size_t g = 0; g < groups; ++g)
        for (size_t c = 0; c < ch; ++c)
            for (size_t k = 0; k < 4096; ++k) {
                const size_t at = g * 4096 + k;
                v.push_back(at < n ? reverseBits(chans[c][at]) : 0x96);
            }
    return v;
}

// DSDIFF: bytes interleaved by channel, earliest sample in the most
// significant bit.
inline std::vector<uint8_t> dsdiff(uint32_t rate, const std::vector<std::vector<uint8_t>> &chans) {
    const size_t ch = chans.size();
    const size_t n = chans[0].size();
    std::vector<uint8_t> prop;
    id(prop, "SND ");
    id(prop, "FS  ");
    be(prop, 4, 8);
    be(prop, rate, 4);
    id(prop, "CHNL");
    be(prop, 2 + 4 * ch, 8);
    be(prop, ch, 2);
    id(prop, ch == 1 ? "C   " : "SLFT");
    if (ch == 2) id(prop, "SRGT");
    id(prop, "CMPR");
    be(prop, 4 + 1 + 14, 8);
    id(prop, "DSD ");
    prop.push_back(14);
    const char *text = "not compressed";
    prop.insert(prop.end(), text, text + 14);
    prop.push_back(0);  // pad to even

    std::vector<uint8_t> body;
    id(body, "DSD ");
    id(body, "FVER");
    be(body, 4, 8);
    be(body, 0x01050000, 4);
    id(body, "PROP");
    be(body, prop.size(), 8);
    body.insert(body.end(), prop.begin(), prop.end());
    id(body, "DSD ");
    be(body, n * ch, 8);
    for (size_t k = 0; k < n; ++k)
        for (size_t c = 0; c < ch; ++c) body.push_back(chans[c][k]);
    if ((n * ch) & 1) body.push_back(0);

    std::vector<uint8_t> v;
    id(v, "FRM8");
    be(v, body.size(), 8);
    v.insert(v.end(), body.begin(), body.end());
    return v;
}

// Pseudo-random DSD-like bytes (a fixed generator, so runs repeat).
inline std::vector<uint8_t> noiseBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed ? seed : 1;
    for (auto &b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 24);
    }
    return v;
}

}  // namespace sxgen

namespace sxgen {

// Readers for the checks: the audio payload of a file as its container
// holds it (WAV "data", DSDIFF "DSD " sound chunk), and DSF audio as work
// bytes per channel (sample count from the header).
inline std::vector<uint8_t> wavData(const std::vector<uint8_t> &b) {
    size_t pos = 12;
    while (pos + 8 <= b.size()) {
        const uint32_t size = b[pos + 4] | (b[pos + 5] << 8) | (b[pos + 6] << 16) | (uint32_t(b[pos + 7]) << 24);
        if (std::equal(b.begin() + pos, b.begin() + pos + 4, "data"))
            return std::vector<uint8_t>(b.begin() + pos + 8, b.begin() + std::min(b.size(), pos + 8 + size));
        pos += 8 + size + (size & 1);
    }
    return {};
}

inline uint64_t getBe(const std::vector<uint8_t> &b, size_t at, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | b[at + i];
    return v;
}
inline uint64_t getLe(const std::vector<uint8_t> &b, size_t at, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
}

inline std::vector<uint8_t> dsdiffData(const std::vector<uint8_t> &b) {
    size_t pos = 16;
    while (pos + 12 <= b.size()) {
        const uint64_t size = getBe(b, pos + 4, 8);
        if (std::equal(b.begin() + pos, b.begin() + pos + 4, "DSD ")) {
            const size_t end = static_cast<size_t>(std::min<uint64_t>(b.size(), pos + 12 + size));
            return std::vector<uint8_t>(b.begin() + pos + 12, b.begin() + end);
        }
        pos += 12 + size + (size & 1);
    }
    return {};
}

// Offset of the first byte behind the DSDIFF sound data.
inline size_t dsdiffDataEnd(const std::vector<uint8_t> &b) {
    size_t pos = 16;
    while (pos + 12 <= b.size()) {
        const uint64_t size = getBe(b, pos + 4, 8);
        if (std::equal(b.begin() + pos, b.begin() + pos + 4, "DSD "))
            return static_cast<size_t>(std::min<uint64_t>(b.size(), pos + 12 + size));
        pos += 12 + size + (size & 1);
    }
    return b.size();
}

// DSF audio per channel as work bytes, sample count / 8 of them.
inline std::vector<std::vector<uint8_t>> dsfChannels(const std::vector<uint8_t> &b) {
    const size_t fmt = static_cast<size_t>(getLe(b, 4, 8));  // "DSD " chunk size
    const uint32_t ch = static_cast<uint32_t>(getLe(b, fmt + 24, 4));
    const uint64_t samples = getLe(b, fmt + 36, 8);
    const size_t data = fmt + static_cast<size_t>(getLe(b, fmt + 4, 8)) + 12;
    std::vector<std::vector<uint8_t>> out(ch);
    const size_t n = static_cast<size_t>(samples / 8);
    for (uint32_t c = 0; c < ch; ++c)
        for (size_t k = 0; k < n; ++k) {
            const size_t at = data + (k / 4096) * 4096 * ch + c * 4096 + k % 4096;
            out[c].push_back(at < b.size() ? reverseBits(b[at]) : 0);
        }
    return out;
}

}  // namespace sxgen
