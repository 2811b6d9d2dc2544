// The tag record: title, artist and the other texts and numbers of a file's
// tag as the handlers read and write them, and as it crosses into the
// conversion library. Stateless; any thread may call gInitTagInfo on its own
// record.
#pragma once

#include <cstdint>

#include "base/wstring.h"

// Capacities (in 16-bit units, terminator included) of the text buffers that
// the creators of a tag record allocate.
enum : int {
    kTagTextUnits = 256,     // title, artist, album, genre, picture path
    kTagCommentUnits = 512,  // comment
};

// The tag record. It does not own its texts: whoever creates a record also
// creates its six buffers (see the capacities above) and keeps them for the
// record's life; writers copy at most capacity - 1 units and terminate.
struct tID3tagInfo {
    int32_t trackNo;      // 0 when not set
    int32_t totalTracks;  // left alone by gInitTagInfo
    wchar16 *title;
    wchar16 *artist;
    wchar16 *album;
    int32_t year;    // -1 when not set
    int32_t month;   // 1..12, 0 when not set
    int32_t day;     // 1..31, 0 when not set
    int32_t hour;    // -1 when not set
    int32_t minute;  // -1 when not set
    wchar16 *comment;
    wchar16 *genre;
    wchar16 *picturePath;  // file holding the album art as a whole PNG/JPEG
    uint8_t hasPicture;    // 1 when the picture file holds the album art
    int32_t second;        // -1 when not set
    int32_t frame;         // frame of the start timecode, -1 when not set
    uint64_t startSample;  // start timecode as a sample position
};

// Resets a tag record to "nothing set"; total tracks, the picture path and
// the start sample stay, and the text buffers are kept (emptied).
void gInitTagInfo(tID3tagInfo *tag);
