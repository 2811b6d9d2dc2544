// Field readers and writers for the byte images the tests build and check:
// little- and big-endian integers at an offset, four-character ids, and
// appenders for building a file byte by byte. Readers go through at(), so a
// field beyond the image fails the test instead of reading stray memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sxtest {

using Bytes = std::vector<uint8_t>;

inline uint64_t readLE(const Bytes &b, size_t off, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b.at(off + static_cast<size_t>(i));
    return v;
}
inline uint64_t readBE(const Bytes &b, size_t off, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | b.at(off + static_cast<size_t>(i));
    return v;
}
inline uint16_t le16(const Bytes &b, size_t off) { return static_cast<uint16_t>(readLE(b, off, 2)); }
inline uint32_t le32(const Bytes &b, size_t off) { return static_cast<uint32_t>(readLE(b, off, 4)); }
inline uint64_t le64(const Bytes &b, size_t off) { return readLE(b, off, 8); }
inline uint16_t be16(const Bytes &b, size_t off) { return static_cast<uint16_t>(readBE(b, off, 2)); }
inline uint32_t be32(const Bytes &b, size_t off) { return static_cast<uint32_t>(readBE(b, off, 4)); }
inline uint64_t be64(const Bytes &b, size_t off) { return readBE(b, off, 8); }

// n bytes at off as text; id() is a four-character chunk id.
inline std::string str(const Bytes &b, size_t off, size_t n) {
    return std::string(reinterpret_cast<const char *>(b.data() + off), n);
}
inline std::string id(const Bytes &b, size_t off) { return str(b, off, 4); }

// Overwrite n bytes at off.
inline void writeLE(Bytes &b, size_t off, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b.at(off + static_cast<size_t>(i)) = static_cast<uint8_t>(v >> (8 * i));
}
inline void writeBE(Bytes &b, size_t off, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b.at(off + static_cast<size_t>(i)) = static_cast<uint8_t>(v >> (8 * (n - 1 - i)));
}
inline void putLE16(Bytes &b, size_t off, uint64_t v) { writeLE(b, off, v, 2); }
inline void putLE32(Bytes &b, size_t off, uint64_t v) { writeLE(b, off, v, 4); }
inline void putLE64(Bytes &b, size_t off, uint64_t v) { writeLE(b, off, v, 8); }
inline void putBE32(Bytes &b, size_t off, uint64_t v) { writeBE(b, off, v, 4); }
inline void putBE64(Bytes &b, size_t off, uint64_t v) { writeBE(b, off, v, 8); }

// Append at the end.
inline void appendLE(Bytes &b, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void appendLE16(Bytes &b, uint64_t v) { appendLE(b, v, 2); }
inline void appendLE32(Bytes &b, uint64_t v) { appendLE(b, v, 4); }
inline void appendLE64(Bytes &b, uint64_t v) { appendLE(b, v, 8); }
inline void appendId(Bytes &b, const char *fourcc) { b.insert(b.end(), fourcc, fourcc + 4); }
inline void append(Bytes &b, const Bytes &more) { b.insert(b.end(), more.begin(), more.end()); }
inline void append(Bytes &b, const std::string &s) { b.insert(b.end(), s.begin(), s.end()); }

}  // namespace sxtest
