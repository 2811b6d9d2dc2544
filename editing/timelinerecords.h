// Records the region strip and its owner windows (the timeline window and
// the volume-graph window) pass between them.
#pragma once

#include <QString>
#include <cstdint>

#include "dsp/dspvolume.h"

enum : int {
    kStripMaxRegions = 10,    // regions one strip holds; an eleventh file is ignored
    kTimelineMaxTracks = 32,  // strips (tracks) an owner window keeps records for
};

// The main window's and the strip's redraw request kinds. The strip always
// redraws in full; it takes the kind only because its callers pass one.
enum tRedrawMode : int {
    kRedrawModeFull = 0,
    kRedrawModeIncremental = 1,
};

// Sent with regionLoaded once a region has been added; the strip's own
// record, reused for every region.
struct tRegionLoadParams {
    int region = 0;  // index of the new region in its strip, 0..9
    int track = 0;   // the strip's track number
    int dropX = 0;   // x of the drop that added it in wave-area pixels (the last drop's for a file added otherwise)
};

// Sent with regionDraged on every move of a region drag.
struct tRegionDragParams {
    int region = 0;
    int track = 0;
    int deltaX = 0;  // wave-area pixels moved since the previous report
};

// The owner's placement of one region view; fractions of the wave area's
// width unless said.
struct tTlWavedrawInfo {
    float left = 0.0f;         // left edge of the view
    float right = 0.0f;        // right edge of the region's visible part (above 1 when it runs past the range)
    float hiddenStart = 0.0f;  // fraction of the region's length before the visible range
    float shownEnd = 0.0f;     // fraction of the region's length where the range ends (1 when it does not)
    bool visible = false;      // placed: the view takes part in the layout
};

// What an owner window keeps about one region of a track.
struct tRegionInfo {
    QString path;
    int64_t startSample = 0;     // where the region starts on the owner's timeline
    uint32_t sampleRate = 0;     // Hz
    uint32_t bitsPerSample = 0;  // 1 for DSD
    uint32_t channels = 0;
    uint32_t dataBytes = 0;  // low 32 bits of the audio data's size
    uint64_t length = 0;     // samples
    uint32_t fileType = 0;   // the library's file type code
    tWaveEditParam edit;     // the region's edit, reset when the file is read
    int dropX = 0;           // left edge in wave-area pixels: drop x plus every drag
};
