// The arithmetic of the transport, of the end of a playback job and of the
// 45 ms timer: what a result code means, the start position handed with a
// job, the length of the material, the zero-play debounce and the length of the display delay rings.
//
// Pure functions; the main window calls them on the GUI thread.
#pragma once

#include <QVector>

#include <cstdint>

#include "engine/jobrecords.h"
#include "engine/mixrecords.h"

// Transport commands as the main window records the last one
// (MainWindow::mTransportCommand).
enum tTransportCommand : int {
    kTransportNone = 36,   // before the first play start
    kTransportStop = 7,    // after a stop or the end of playback
    kTransportPlay = 8,    // after a play start
    kTransportBounce = 84  // after a mix-down (the library's kMorphexCmdBounceFeed)
};

// The timer's period; the device watchdog's reload in ms.
constexpr int kTransportTickMs = 45;
constexpr int kTransportWatchdogMs = 20000;
// Presses of zero play closer together than this are ignored.
constexpr int kTransportZeroPlayDebounceMs = 300;

// A job's result that ends playback normally: 0 and above, and the
// engine's three stop codes -30, -254 and -255.
bool transport_isNormalEnd(int code);
// The failure text of any other code (untranslated source text).
const char *transport_failureText(int code);

// The start position of a job: minutes (one byte), seconds and hundredths
// of `cursor` samples at `rate` Hz, in integer arithmetic. A rate of 0
// gives zeroes.
tTimeInfo transport_timeInfo(int64_t cursor, int rate);

// The end of track t's material in first-track samples: its length plus its
// start delay, in double precision, truncated.
uint64_t transport_trackEnd(const tAudioFileInfo &info, double delayMs);
// The greatest end over the first `tracks` tracks and the first track that
// reaches it (only a strictly greater end replaces an earlier one). 0 and
// track 0 without tracks.
struct tTransportMaterial {
    uint64_t length = 0;
    int longestTrack = 0;
};
tTransportMaterial transport_material(const tAudioFileInfo *info, const tMixParam &mix, int tracks);

// True when a zero play at tick `tick` comes too soon after the one accepted
// at `lastTick` (the span counted as unsigned 32-bit, so a wrapped counter
// still compares).
bool transport_zeroPlayTooSoon(uint32_t tick, uint32_t lastTick);

// Ticks by which the counter and the meters follow the engine: the ticks one
// device buffer of `bufferFrames` lasts at `playFs`, plus one, at most 66,
// at least 1.
int transport_ringLength(int bufferFrames, int playFs);
