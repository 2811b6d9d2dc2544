// ID3v2 tags of DSF files: layout constants and the helpers that the DSF
// handler's tag code and the conversion library's DSF tag writer share.
//
// Tags are written as version 2.3 (ID3v2.3.0 informal standard): a 10-byte
// header "ID3", version 3, revision 0, flags, then the size of everything
// after the header as a 28-bit syncsafe number (section 3.1); frames of a
// 10-byte header (4-character id, u32 big-endian size of the data, two flag
// bytes) and their data. Versions 2.2 (3-character ids, 24-bit sizes) and
// 2.4 (frame sizes syncsafe, ID3v2.4.0 structure section 4) are read.
//
// The tag sits directly behind the DSF audio: the "data" chunk's size (which
// counts its header) steps from the data chunk to the tag header, and the
// metadata pointer of the "DSD " chunk names the same offset.
//
// Marks are one "SYLT" frame (8-bit text, language "eng", milliseconds,
// content type 4, empty content descriptor) whose descriptor is
// "KAVELO DSF MARK". Each entry is a 36-byte text and a u32 big-endian time
// stamp in milliseconds: the mark's name (six characters), six spaces,
// "@fs=", the sample position as 16 upper-case hexadecimal digits, three
// spaces and a terminating zero. Readers take the position from the
// hexadecimal digits and fall back to the milliseconds.
//
// Every size read from a tag is checked against the tag and the file before
// it is used; nothing is read into a fixed buffer that it does not fit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "audiofile/chunkutil.h"

enum : uint32_t {
    kId3HeaderBytes = 10,
    kId3FrameHeaderBytes = 10,    // versions 2.3 and 2.4
    kId3v22FrameHeaderBytes = 6,  // 3-character id, 24-bit size
    kId3SyncsafeMax = 0x0FFFFFFF,
    kId3FlagExtendedHeader = 0x40,
    kId3ExtHeaderMax = 16384,  // larger extended headers are refused

    kDsfTagFrameBufBytes = 4096,  // the tag being assembled: header and new frames
    kDsfTagReadBufBytes = 16384,  // frames are read through this
    kDsfTagCopyBufBytes = 32768,  // kept frames are copied through this
    kDsfTagTextUnits = 512,       // title, artist and software texts of the scan

    kDsfMarkMaxEntries = 100,
    kDsfMarkTextBytes = 36,
    kDsfMarkEntryBytes = 40,  // text and time stamp
    kDsfMarkNameChars = 6,
    kDsfMarkFrameFixedBytes = 27,  // frame data in front of the entries
    kDsfMarkDescriptorOffset = 7,  // in the frame data
    kDsfMarkHexOffset = 16,        // "@fs=" digits inside an entry's text
};

// Frames-present bits: the frames the writer does not add again.
enum : uint32_t {
    kDsfTagHasTYER = 1,
    kDsfTagHasTDAT = 2,
    kDsfTagHasTIME = 4,
    kDsfTagHasTSSE = 8,
};

// The mark frame's descriptor text.
extern const char kDsfMarkDescriptor[];  // "KAVELO DSF MARK"
// Name of the tag work files; each rebuild's file adds a unique suffix.
extern const char kDsfTagWorkFileName[];  // "_id3v2tagTemp.bin"

// The software text of the "TSSE" frame: "KAVELO Sonvex Editor    v01.10 b0096".
enum : int {
    kDsfSoftwareVersionMajor = 1,
    kDsfSoftwareVersionMinor = 10,
    kDsfSoftwareBuild = 96,
};
std::string dsfTag_softwareText();

// Syncsafe fields (big-endian ones: chunk_getBE32/chunk_putBE32).
uint32_t id3_getSyncsafe(const uint8_t *p);        // bytes' low seven bits
void id3_putSyncsafe(uint8_t *p, uint32_t value);  // value <= kId3SyncsafeMax

// Where the tag of a DSF file is: the offset behind the "data" chunk when
// the bytes there are "ID3" and version 3, 2 or 4 (looked for in that
// order) and the 10-byte header lies inside the file. 0 with *offset,
// *version (2, 3 or 4) and header (10 bytes) filled, or -1.
[[nodiscard]] int dsfTag_locate(FILE *fp, const ClassChunkUtility &chunk, uint64_t *offset, uint8_t *version,
                                uint8_t *header);

// The frame area of a version 2.3 or 2.4 tag whose header is at tagOffset:
// *start is the first frame header, *length the bytes of frames, both
// inside the tag and the file. An extended header (flag 0x40) is stepped
// over: in 2.3 its size excludes the size field and its padding size (at
// tag offset 16) is left out of the area; in 2.4 its size is syncsafe and
// includes itself. One larger than 16384 bytes prints
// "\n expHeadSize size over!" and gives -1, as does a damaged one. buf
// holds at least kDsfTagReadBufBytes and receives the extended header.
[[nodiscard]] int id3_frameArea(FILE *fp, uint64_t tagOffset, const uint8_t *header, uint8_t *buf, uint64_t *start,
                                uint64_t *length);

// One frame header of a version 2.3 or 2.4 tag, with its data size decoded
// (plain big-endian in 2.3, syncsafe in 2.4).
struct tId3Frame {
    char id[5];                            // NUL-terminated
    uint32_t size;                         // data bytes
    uint64_t dataOffset;                   // file offset of the data
    uint8_t header[kId3FrameHeaderBytes];  // as stored
};

// Reads the frame header at *pos inside an area that ends at end. 1 with
// *frame filled and *pos moved behind the frame's data; 0 at the end of the
// frames (too little room for a header, or padding: an id starting with a
// zero byte); -1 for a failed read or a frame running past the area.
[[nodiscard]] int id3_nextFrame(FILE *fp, uint8_t version, uint64_t *pos, uint64_t end, tId3Frame *frame);

// A mark entry for name (its first six characters, padded with spaces) at
// position, with the milliseconds at rate (single precision, truncated; 0
// for a rate of 0).
void dsfTag_makeMarkEntry(uint8_t *entry, const char *name, uint64_t position, uint32_t rate);
// The position an entry names: the 16 hexadecimal digits after "@fs=" in
// its text, else rate x (time stamp / 1000) in single precision.
uint64_t dsfTag_markEntryPosition(const uint8_t *entry, uint32_t rate);
// Frame header (size 27 + 40 x count) and the 27 bytes of fixed data of a
// mark frame with count entries; out holds 37 bytes. Returns 37.
uint32_t dsfTag_makeMarkFrameHead(uint8_t *out, uint32_t count);
// Parses the data of a "SYLT" frame (data bytes of it, possibly only its
// first part). When its descriptor is "KAVELO DSF MARK", replaces the
// entries: each a zero-terminated text of at most 35 characters (longer
// ones are skipped), kept zero-filled to 36 bytes, and the 4 bytes behind
// its terminator; at most kDsfMarkMaxEntries. Returns the new count, or -1
// when the frame is not a mark frame (entries untouched).
int dsfTag_parseMarkFrame(const uint8_t *data, uint32_t bytes, uint8_t (*entries)[kDsfMarkEntryBytes]);

// Creates a fresh, empty tag work file in the folder of target's file (the
// current folder when it cannot be told), named kDsfTagWorkFileName plus a
// unique suffix, so that two rebuilds never share one. 0 with *work open
// for reading and writing and *path set, or -1.
[[nodiscard]] int dsfTag_createWorkFile(FILE *target, std::string *path, FILE **work);
