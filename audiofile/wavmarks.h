// Marks of WAV files: one mark list (marklist.h) stored as the standard
// RIFF chunks "cue " (positions), "LIST" of type "adtl" with one "labl" per
// mark (names) and "plst" (section lengths). New chunks go into the JUNK
// space of the fixed 32768-byte header or of an earlier mark area; when
// there is no room they are appended behind the audio followed by a fresh
// 32 KiB JUNK chunk. Chunks that are replaced get placeholder ids rather
// than being removed, so the audio never moves.
//
// The WAV handler calls these with its own 128 KiB work buffer; one thread
// at a time per buffer. The mark lists are shared state without locks.
#pragma once

#include <cstdint>
#include <cstdio>

// Result codes (the file layer's numbers).
enum : int {
    kWavMarkOk = 0,
    kWavMarkIoErr = -1,     // I/O failure, or too little room at the chosen place
    kWavMarkNoFit = -17,    // marks that do not fit, bad list, unreadable file size
    kWavMarkIdMet = -41,    // checkMarkChunk: no mark area with JUNK, but the id exists
    kWavMarkNotMark = -42,  // not a mark chunk / no mark chunk of that id
};

enum : uint32_t {
    kWavMarkWorkBytes = 0x20000,  // the work buffer the callers pass
    kWavMarkCuePointBytes = 24,
    kWavMarkPlstEntryBytes = 12,
    kWavMarkJunkTailBytes = 32768,    // JUNK appended behind moved marks, header included
    kWavMarkFirstJunkLimit = 0x7FFF,  // most mark bytes written into a header's JUNK
    kWavMarkLabelChars = 15,          // name characters written per label
    kWavMarkLabelLoadChars = 10,      // name characters taken back per label
};

// What checkMarkChunk found: a run of consecutive mark chunks and the JUNK
// chunk directly behind it. Offsets are chunk header offsets.
struct tWavMarkArea {
    uint64_t runStart;
    uint64_t runLength;  // JUNK offset - run start - 8
    uint64_t junkOffset;
    uint32_t junkSize;  // payload size, limited to the bytes the file holds
};

// 0 for "cue ", "plst" and "LIST" of list type "adtl"; kWavMarkNotMark else.
// header: 12 bytes (id, size, list type).
[[nodiscard]] int wavMark_checkMarkChunkID(const uint8_t *header);

// Finds the first run of mark chunks followed directly by a JUNK chunk.
// 0 with *area filled; kWavMarkIdMet when none but a chunk with id exists;
// kWavMarkNotMark when neither; kWavMarkIoErr when the file size is unknown.
[[nodiscard]] int wavMark_checkMarkChunk(FILE *fp, const char *id, tWavMarkArea *area);

// Writes the marks of list into fp. firstJunk chooses the mode that fills
// the first JUNK chunk of the file; otherwise existing < 0 selects the
// replace mode (reuse the JUNK behind the old mark area, or move the marks
// to the end) and existing >= 0 the first-JUNK mode. Does not check the
// modify flag and does not touch the RIFF size. work holds at least
// kWavMarkWorkBytes. 0, or kWavMarkNoFit for any failure; what was already
// written stays.
[[nodiscard]] int wavMark_saveMarkData(FILE *fp, int existing, int list, bool firstJunk, uint64_t totalSamples,
                                       uint8_t *work);

// Replaces the contents of list with the marks of fp, as far as the file
// allows; the list's modify flag ends clear. A mark stored at totalSamples
// comes back one sample earlier. 0, or kWavMarkNoFit for a bad list.
int wavMark_loadCueData(FILE *fp, uint64_t totalSamples, int list, uint8_t *work);

// Chunk renaming used by the writer; 0 when done or when there is no such
// chunk, kWavMarkIoErr on an I/O failure.
[[nodiscard]] int wavMark_renameChunk(FILE *fp, const char *id, const char *newId);
[[nodiscard]] int wavMark_renameChunkAll(FILE *fp, const char *id, const char *newId);  // at most 1000
[[nodiscard]] int wavMark_renameLISTChunk(FILE *fp, const char *listType, const char *newId);
