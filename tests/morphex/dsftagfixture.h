// Test helpers for DSF files with ID3v2 tags: a finished DSF file as the
// size update leaves it, a tag builder and a parser for the tags the
// library writes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "testutil.h"

namespace dsffix {

inline void putLE(std::vector<uint8_t> &b, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint64_t getLE(const std::vector<uint8_t> &b, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
}
inline uint32_t getBE32(const uint8_t *p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline void appendBE32(std::vector<uint8_t> &b, uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void appendSyncsafe(std::vector<uint8_t> &b, uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>((v >> (7 * i)) & 0x7F));
}
inline uint32_t syncsafe(const uint8_t *p) {
    return (uint32_t{p[0]} << 21) | (uint32_t{p[1]} << 14) | (uint32_t{p[2]} << 7) | p[3];
}

// A DSF file with `groups` block groups of audio (bytes 0x69) whose sizes
// are final: metadata pointer and data end at the end of the audio.
inline std::vector<uint8_t> dsfFile(uint32_t channels = 2, uint32_t rate = 2822400, uint32_t groups = 1) {
    const uint64_t audio = uint64_t{4096} * channels * groups;
    std::vector<uint8_t> b(92, 0);
    std::memcpy(&b[0], "DSD ", 4);
    putLE(b, 4, 28, 8);
    putLE(b, 12, 92 + audio, 8);
    putLE(b, 20, 92 + audio, 8);
    std::memcpy(&b[28], "fmt ", 4);
    putLE(b, 32, 52, 8);
    putLE(b, 40, 1, 4);
    putLE(b, 44, 0, 4);
    putLE(b, 48, channels, 4);
    putLE(b, 52, channels, 4);
    putLE(b, 56, rate, 4);
    putLE(b, 60, 1, 4);
    putLE(b, 64, uint64_t{32768} * groups, 8);
    putLE(b, 72, 4096, 4);
    std::memcpy(&b[80], "data", 4);
    putLE(b, 84, 12 + audio, 8);
    b.resize(92 + audio, 0x69);
    return b;
}

// A tag of the given version with these frames (each already carrying its
// own 10-byte header, or 6 for version 2.2).
inline std::vector<uint8_t> tag(int version, const std::vector<std::vector<uint8_t>> &frames) {
    std::vector<uint8_t> body;
    for (const auto &f : frames) body.insert(body.end(), f.begin(), f.end());
    std::vector<uint8_t> t = {'I', 'D', '3', static_cast<uint8_t>(version), 0, 0};
    appendSyncsafe(t, static_cast<uint32_t>(body.size()));
    t.insert(t.end(), body.begin(), body.end());
    return t;
}

// A version 2.3 (plain size) or 2.4 (syncsafe size) frame.
inline std::vector<uint8_t> frame(const char *id, const std::vector<uint8_t> &data, int version = 3) {
    std::vector<uint8_t> f(id, id + 4);
    if (version == 4)
        appendSyncsafe(f, static_cast<uint32_t>(data.size()));
    else
        appendBE32(f, static_cast<uint32_t>(data.size()));
    f.push_back(0);
    f.push_back(0);
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

// Encoding 0 text frame data.
inline std::vector<uint8_t> latin(const std::string &s) {
    std::vector<uint8_t> d = {0};
    d.insert(d.end(), s.begin(), s.end());
    return d;
}
// Encoding 1 text: byte-order mark and UTF-16LE (ASCII input).
inline std::vector<uint8_t> utf16(const std::string &s, bool encodingByte = true) {
    std::vector<uint8_t> d;
    if (encodingByte) d.push_back(1);
    d.push_back(0xFF);
    d.push_back(0xFE);
    for (char c : s) {
        d.push_back(static_cast<uint8_t>(c));
        d.push_back(0);
    }
    return d;
}

// A DSF file with the tag appended behind the audio.
inline std::vector<uint8_t> withTag(std::vector<uint8_t> file, const std::vector<uint8_t> &t) {
    file.insert(file.end(), t.begin(), t.end());
    putLE(file, 12, file.size(), 8);
    return file;
}

struct Frame {
    std::string id;
    std::vector<uint8_t> data;
};

// The frames of the version 2.3 tag at the metadata pointer; ok is false
// when the tag's size does not match its frames and the file's end.
struct Parsed {
    bool ok = false;
    uint64_t offset = 0;
    uint32_t size = 0;
    std::vector<Frame> frames;
    const Frame *find(const std::string &id) const {
        for (const auto &f : frames)
            if (f.id == id) return &f;
        return nullptr;
    }
    size_t count(const std::string &id) const {
        size_t n = 0;
        for (const auto &f : frames) n += f.id == id;
        return n;
    }
};

inline Parsed parse(const std::vector<uint8_t> &file) {
    Parsed p;
    if (file.size() < 92) return p;
    p.offset = getLE(file, 20, 8);
    if (p.offset + 10 > file.size() || std::memcmp(&file[p.offset], "ID3\x03\x00\x00", 6) != 0) return p;
    p.size = syncsafe(&file[p.offset + 6]);
    size_t pos = p.offset + 10;
    const size_t end = pos + p.size;
    if (end != file.size() || getLE(file, 12, 8) != file.size()) return p;
    while (pos + 10 <= end) {
        Frame f;
        f.id.assign(reinterpret_cast<const char *>(&file[pos]), 4);
        uint32_t n = getBE32(&file[pos + 4]);
        if (pos + 10 + n > end) return p;
        f.data.assign(file.begin() + pos + 10, file.begin() + pos + 10 + n);
        p.frames.push_back(f);
        pos += 10 + n;
    }
    p.ok = pos == end;
    return p;
}

inline std::vector<uint8_t> bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A small valid PNG (2 x 2 pixels).
inline std::vector<uint8_t> tinyPng() {
    return {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44,
            0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xFD,
            0xD4, 0x9A, 0x73, 0x00, 0x00, 0x00, 0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8,
            0xCF, 0xC0, 0x00, 0x44, 0x60, 0xE2, 0x3F, 0x03, 0x00, 0x1D, 0xF0, 0x03, 0xFD, 0xA0, 0x33,
            0x09, 0x89, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
}

}  // namespace dsffix
