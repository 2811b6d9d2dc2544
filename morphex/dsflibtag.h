// The conversion library's DSF tag code: the ID3v2.3 writer that puts the
// registered tag record, the marks of a mark list and the album art after a
// DSF file's audio, the reader that fills a tag record (and the album-art
// file) from a version 2.3 or 2.4 tag, and the mark loader. These are the
// tag slots of the library's DSF table; the handler's own, smaller writer
// (audiofile/) is not used inside the library.
//
// Tag layout: "ID3", version 3, revision 0, flags 0, a 28-bit syncsafe size,
// then frames of a 10-byte header (id, u32 big-endian size, two flag bytes)
// and their data. The marks travel in one "SYLT" frame whose descriptor
// entry is "KAVELO DSF MARK"; each mark is a 36-byte text (name, "@fs=" and
// the sample position as 16 hexadecimal digits) and its time in
// milliseconds.
//
// Threads: the registered tag (morphex/tabledsf.h) is shared by every
// caller of the library on purpose: it is registered on one call and written
// by the next job that writes a DSF file; it is guarded by its own lock.
// Everything else an operation needs is its own, so operations on different
// files may run at once. The tag work file is unique to each write.
#pragma once

#include <cstdint>
#include <cstdio>

#include "audiofile/dsffile.h"
#include "audiofile/dsftag.h"  // layout constants and helpers shared with the handler
#include "audiofile/tagrecord.h"

// The library's name for the tag record.
typedef tID3tagInfo tID3tagInfoAFile;

// Results.
enum : int {
    kDsfLibOk = 0,
    kDsfLibErrIO = -1,       // no "fmt " chunk, a failed read, no memory
    kDsfLibErrFormat = -17,  // file length unreadable, not a DSF file, tag too large
};

enum : uint32_t {
    kDsfLibPictureMax = 16u << 20,  // album art larger than this is not written
};

// Keeps a copy of the record (numbers and texts, not the start sample) for
// the next DSF file written; replaces any earlier registration. 0.
[[nodiscard]] int dsflib_registerTagData(const tID3tagInfoAFile *tag);

// Reads the file's tag into tag (see dsflib_readID3v2Tag) and drops a
// waiting registration. 0, or -17 when the file is not a DSF file.
[[nodiscard]] int dsflib_loadTagData(FILE *fp, tID3tagInfoAFile *tag);

// Writes the tag of a DSF file whose audio and sizes are final: the frames
// of an existing tag are kept (except its mark frame), then the registered
// texts (when a registration waits), the software frame when the tag has
// none, the mark frame of mark list listNo and the registered album art.
// Nothing happens while the list has no unsaved changes. existing and
// totalSamples are ignored (the handler slot's signature). 0 once the file is touched (later failures
// leave a partly written tag), -1 or -17 before.
[[nodiscard]] int dsflib_saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples);

// Replaces mark list listNo by the marks of the file's mark frame and
// renumbers it; the list's modify flag ends clear. totalSamples is not
// read. 0 (a file without marks gives an empty list), -17 for a bad list.
[[nodiscard]] int dsflib_loadCueData(FILE *fp, uint64_t totalSamples, int listNo);

// Fills tag (may be null: nothing but the scan) from a version 2.3 or 2.4
// tag: title, artist, album, genre and comment texts (encoding 1 keeps the
// byte-order mark as the text's first unit), year, day, month, hour and
// minute (clamped to their ranges) and the album art, written into the file
// named by tag->picturePath, which is emptied first. A version 2.2 tag
// leaves the record alone. Fields the tag does not have keep their values.
void dsflib_readID3v2Tag(FILE *fp, tID3tagInfoAFile *tag);

// Sets the "DSD " chunk's total file size to the file length. 0, -1 for a
// failed read or write, -17 when the length cannot be read.
[[nodiscard]] int dsflib_updateFileSizeDsf(FILE *fp);
