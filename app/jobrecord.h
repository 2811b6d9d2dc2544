// The arithmetic of a playback or mix-down feed job: how the library's
// description of a file becomes the program's tAudioFileInfo, which output
// format a feed asks for at a play rate, how a track's start delay becomes
// source samples, and the record a feed hands to its audio thread.
//
// Pure functions on the records of engine/jobrecords.h; the main window
// (MainWindow::getAudioParam) calls them on the GUI thread.
#pragma once

#include <cstdint>

#include "dsp/peqrecord.h"
#include "engine/jobrecords.h"
#include "morphex/morphexrecords.h"

// getAudioParam's own failure: the library's getAudioFileInformation is not
// bound. The library's codes (-3, -7, -8, -9) pass through unchanged.
enum : int {
    kJobRecordNoLibrary = -1,
};

// From this play rate on a feed is converted to DSD (1 bit, DSDIFF).
constexpr int32_t kJobRecordDsdPlayRate = 2822400;
// A first track shorter than this many seconds is drawn as short material.
constexpr uint64_t kJobRecordShortSeconds = 901;

// The program's description of a file from the library's: the sizes joined,
// totalSamples = dataBytes × 8 / (bits × channels) and seconds =
// totalSamples / rate. Returns 0, or the library's "no usable format" code
// (-8) when bits × channels or the rate is 0, in which case info is left as
// it was.
int jobRecord_fileInfo(const tAudioFileInfoAFile &lib, tAudioFileInfo *info);

// Output rate, file type, word length and the (never opened) destination
// name of a feed at play rate playFs: DSDIFF, 1 bit, "converted.dff" from
// kJobRecordDsdPlayRate on, else WAV, 24 bits, "converted.wav". Also sets
// outChannels 2 and option and mode 0.
void jobRecord_setFeedFormat(tMorphexParam *param, int32_t playFs, uint32_t playFsIndex);

// A track's start delay in source samples: rate × ms / 1000, truncated
// toward zero.
int64_t jobRecord_startOffset(uint32_t sampleRate, double delayMs);

// The first track is drawn as short material (below 901 s).
bool jobRecord_isShortFile(uint64_t seconds);

// What a feed job needs besides its format.
struct tJobRecordFeed {
    int32_t track = 0;
    int64_t cursorSample = 0;  // the play cursor, in first-track samples
    double delayMs = 0.0;      // the track's start delay
    tPEQ *peq = nullptr;       // the track's equaliser
    uint32_t dither = 0;       // the export window's dither mode
};

// Fills the job part of a feed record for a described file: the gain
// matrix (unity), one source file, no progress, a cleared command block with
// the feed command, the track, the start offset and the section from the
// delayed cursor to the file's end. The format fields set by
// jobRecord_setFeedFormat and srcChannels are kept.
void jobRecord_fillFeed(tMorphexParam *param, const tAudioFileInfo &info, const tJobRecordFeed &feed);
