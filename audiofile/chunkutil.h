// Chunk walker of the RIFF-style handlers (WAV/RF64 and DSF), and the
// byte-order field helpers every handler builds headers with (little-endian
// for RIFF and DSF, big-endian for DSDIFF, WSD and ID3 tags).
//
// ClassChunkWalk steps from chunk to chunk and reports every header as it
// is; ClassChunkUtility searches with it and refuses damage on the way (see
// below). The WAV mark code walks with ClassChunkWalk directly, since it
// reads marks as far as a damaged file allows.
//
// Two layouts ("walk modes"):
//  - kChunkModeRiff: chunks start at byte 12, behind "RIFF"/"RF64", size,
//    "WAVE". 8-byte headers: 4-character id, u32 payload size. A payload of
//    odd size is followed by one pad byte. An RF64 "data" chunk stores
//    0xFFFFFFFF and keeps its true size in the "ds64" chunk.
//  - kChunkModeDsf: chunks start at byte 0. 12-byte headers: 4-character id,
//    u64 size that counts the header itself.
//
// Every size read from the file is untrusted. The walk keeps 64-bit offsets
// and stops at the end of the file. A "data" chunk that claims more than the
// file holds (a file cut short while it was written) is taken as running to
// the end of the file; any other chunk that runs past the end ends the walk
// with an error, as does a chunk that cannot be stepped over (size 0).
//
// The walker is stateless; any thread may use its own instance.
#pragma once

#include <cstdint>
#include <cstdio>

enum tChunkWalkMode : int {
    kChunkModeRiff = 0,
    kChunkModeDsf = 1,
};

enum : uint32_t {
    kChunkRiffFirst = 12,           // first chunk header in a RIFF/RF64 file
    kChunkRiffHeader = 8,           // id + u32 size
    kChunkDsfHeader = 12,           // id + u64 size
    kChunkDs64MinPayload = 24,      // RIFF size, data size, sample count (u64 each)
    kRf64SizeMarker = 0xFFFFFFFFu,  // 32-bit size field of an RF64 file
};

// Little-endian fields in byte buffers.
inline uint16_t chunk_getLE16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t chunk_getLE32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t chunk_getLE64(const uint8_t *p) {
    return static_cast<uint64_t>(chunk_getLE32(p)) | (static_cast<uint64_t>(chunk_getLE32(p + 4)) << 32);
}
inline void chunk_putLE16(uint8_t *p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void chunk_putLE32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void chunk_putLE64(uint8_t *p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
// Big-endian fields in byte buffers.
inline uint16_t chunk_getBE16(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t chunk_getBE32(const uint8_t *p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint64_t chunk_getBE64(const uint8_t *p) {
    return (static_cast<uint64_t>(chunk_getBE32(p)) << 32) | chunk_getBE32(p + 4);
}
inline void chunk_putBE16(uint8_t *p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void chunk_putBE32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
inline void chunk_putBE64(uint8_t *p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (56 - 8 * i));
}
// True when the 4 bytes at p are the 4 characters of id.
inline bool chunk_idIs(const uint8_t *p, const char *id) {
    return p[0] == static_cast<uint8_t>(id[0]) && p[1] == static_cast<uint8_t>(id[1]) &&
           p[2] == static_cast<uint8_t>(id[2]) && p[3] == static_cast<uint8_t>(id[3]);
}

// One chunk header met by a walk.
struct tChunkHeader {
    uint64_t offset = 0;   // of the header
    uint8_t raw[12] = {};  // id, size field and, where the file has them, the
                           // bytes behind a RIFF header (the type of a LIST)
    uint64_t stored = 0;   // the size field as stored (DSF: counts the header)
    uint64_t payload = 0;  // payload bytes the chunk claims (RF64 "data": from "ds64")
    uint64_t inFile = 0;   // the part of the payload that the file holds
    bool sized = true;     // false for an RF64 "data" chunk with no "ds64" before it:
                           // its payload is unknown and the walk cannot step over it
};

enum : int {
    kChunkWalkHeader = 1,  // next() filled a header
    kChunkWalkEnd = 0,     // no further header
    kChunkWalkSeekError = -1,
    kChunkWalkReadError = -2,  // the stream's error flag is left set for the caller
};

// Steps over the chunks of one file from its first chunk. Every step moves
// on by at least a header (by the payload rounded up to even, and by the
// "ds64" size over an RF64 "data" chunk), so a walk always ends. It ends at
// the end of the file, behind a chunk that reaches it, and at an RF64 "data"
// chunk without "ds64". A "ds64" chunk's data size is read when the walk
// steps over it. The file position is left anywhere.
class ClassChunkWalk {
public:
    ClassChunkWalk(FILE *fp, int mode);
    // False when the file's size could not be read or the mode is unknown.
    bool ok() const { return mOk; }
    uint64_t fileSize() const { return mFileSize; }
    // The next header, or kChunkWalkEnd, kChunkWalkSeekError,
    // kChunkWalkReadError (a short read with the stream's error flag set;
    // a short read without it is the end).
    int next(tChunkHeader *h);
    // Where the last header was looked for, and the step that led there.
    uint64_t position() const { return mNext; }
    uint64_t lastStep() const { return mLastStep; }

private:
    FILE *mFp;
    bool mRiff;
    bool mOk = false;
    bool mDone = false;
    uint64_t mFileSize = 0;
    uint64_t mNext;
    uint64_t mLastStep = 0;
    uint64_t mPendingDs64 = 0;  // header offset of a "ds64" chunk whose size is still to read
    bool mPendingDs64Set = false;
    bool mHaveDs64 = false;
    uint64_t mDs64DataSize = 0;
};

class ClassChunkUtility {
public:
    // An 8-byte RIFF header: when its id is id, returns header and stores the
    // size as stored; otherwise returns null and stores the size rounded up
    // to even (the step to the next header, less the 8 header bytes).
    const uint8_t *mChunk_checkChunkId(const uint8_t *header, const char *id, uint32_t *size) const;

    // Offset of the header of the first chunk with that id and its size as
    // stored (u32 in RIFF mode, the u64 that counts the header in DSF mode).
    // 0, or -1 with offset 0 and size 0 when there is no such chunk or the
    // walk cannot go on.
    [[nodiscard]] int mChunk_searchSpecifiedChunkSize(FILE *fp, const char *id, uint64_t *offset, uint64_t *size,
                                                      int mode) const;
    // The same without the size.
    [[nodiscard]] int mChunk_searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset, int mode) const;

    // Finds "data": dataOffset is the first byte of its payload. RIFF mode:
    // dataSize is the payload size, from "ds64" when the stored size is
    // 0xFFFFFFFF. DSF mode: dataSize is the stored size, header included.
    // In both, a size beyond the end of the file is cut to what the file
    // holds. 0 or -1. An RF64 marker size without a "ds64" chunk gives -1
    // with dataOffset already set behind the header and dataSize 0.
    [[nodiscard]] int mChunk_searchDataTop(FILE *fp, uint64_t *dataOffset, uint64_t *dataSize, int mode) const;

    // True when the walk steps from chunk to chunk onto the end of the file
    // (or one byte past it, behind a last chunk of odd size without its pad
    // byte), refusing the damage the searches refuse: a chunk appended there,
    // behind a pad byte where needed, is found by the next search.
    bool mChunk_reachesEnd(FILE *fp, int mode) const;

    // Rewrites the size field of the first chunk with that id: how 0 adds
    // value, 1 subtracts it, 2 sets it. 0, or -1 (also when the result would
    // wrap).
    [[nodiscard]] int mChunk_updateChunkSize(FILE *fp, const char *id, uint32_t value, uint32_t how, int mode) const;

private:
    int walk(FILE *fp, const char *id, uint64_t *offset, uint64_t *size, int mode) const;
};
