// Title and artist of DSDIFF files written by the conversion library: a
// "DIIN" (edited master information) chunk with "DITI" (title) and "DIAR"
// (artist) sub-chunks, DSDIFF 1.5 section 3.12. Big-endian, 12-byte chunk
// headers like every DSDIFF chunk (audiofile/dsdifffile.h).
//
//   "DIIN" u64 size            sum of the sub-chunks below (header included)
//   "DITI" u64 4 + n + n%2     u32 count n, n bytes of text, a zero byte when n is odd
//   "DIAR" u64 4 + n + n%2     the same for the artist
//
// A sub-chunk is present only when its text is not empty; with both empty
// no chunk is written. Texts are written as ISO 8859-1, one byte per
// character; a text holding a character beyond U+00FF is left out (the
// format cannot hold it), and a leading byte-order mark is dropped.
//
// A tag is registered first (by a tag query or by a job's completion) and
// written by the next DSDIFF mark write of the library's handler, behind the
// marks, before the form size is fixed. The registration is shared by every
// caller on purpose and guarded by a lock (morphex/registeredtag.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "audiofile/dsdifffile.h"
#include "audiofile/tagrecord.h"
#include "morphex/registeredtag.h"

enum : uint32_t {
    kDiinSubChunkFixed = 16,             // sub-chunk header and count
    kDiinReadMax = 1u << 20,             // DIIN bytes the loader reads at most
    kDiinTextUnits = kTagTextUnits - 1,  // units the loader stores per text
};

// The DSDIFF module's registered tag.
cRegisteredTag &dsdiffTag_registered();

// Keeps a copy of tag's fields for the next DSDIFF file written. 0.
[[nodiscard]] int dsdiffTag_register(const tID3tagInfo *tag);

// The DIIN chunk (header included) for title and artist (null counts as
// empty); empty when both are empty. The texts are at most kTagTextUnits
// units with their terminator (a registered copy).
std::vector<uint8_t> dsdiffTag_buildDiin(const wchar16 *title, const wchar16 *artist);

// Appends the waiting registration as a DIIN chunk at the end of the file
// (behind a zero pad byte when the file ends at an odd offset) and drops
// the registration once written; a registration of two empty texts is
// dropped without writing. A failed write keeps it waiting. 0 (also when
// nothing waits) or -1.
[[nodiscard]] int dsdiffTag_append(FILE *fp);

// Reads the title and artist of the file's DIIN chunk into the record's
// title and artist buffers (kTagTextUnits each; at most kDiinTextUnits
// units and a terminator are stored, bytes widened as ISO 8859-1). Texts of
// sub-chunks that are absent stay as they were. Drops the registration in
// every case. 0, or -1 when there is no DIIN chunk or it cannot be read.
[[nodiscard]] int dsdiffTag_load(FILE *fp, tID3tagInfo *tag);
