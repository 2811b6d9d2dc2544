// The job and parameter records that the windows and the main window fill
// and the engine, the signal processing and the conversion library read.
// Every deliverable and every folder takes them from this one header.
//
// Threads: the GUI thread writes tMixParam, tPEQ and gOutputPatch; the
// engine reads copies of them, handed over whole (engine/engineparams.h).
#pragma once

#include <cstdint>
#include <string>

#include "audiofile/audiohelpers.h"  // tID3tagInfo, and the basics program code takes from here
#include "dsp/peakeq.h"
#include "morphex/morphexrecords.h"  // tMorphexCom, tMorphexSendParams, tAudioFileInfoAFile

enum : int {
    kMaxTracks = 32,  // track slots 0..31
    kEqBands = 4,
    kPanVolEntries = 16,  // tMorphexParam::panVol; the first four are the 2x2 matrix
    kOutputPatchSize = 128,
    kOutputPatchMaster = 256,  // gOutputPatch: the column carries the master mix
};

// ---- Conversion and playback jobs -------------------------------------

// One conversion or playback job. Filled by the main window (playback and
// mix-down feeds) and by the export dialog; the audio thread copies the two
// paths and everything from rateIndex on, so the filler may refill it at
// once. Paths are UTF-16 without a terminator of their own (c_str() gives
// one).
struct tMorphexParam {
    std::u16string dstPath;  // written only when com.command is kMorphexComWriteFile
    std::u16string srcPath;
    uint32_t rateIndex = 0;              // output rate index (0..9, 16..19); also the play rate
    uint32_t fileType = 0;               // 0 WAV, 1 FLAC (written as WAV, encoded later), 2 DSF, 3 DSDIFF
    uint32_t option = 0;                 // rate converter option word; 0 from both fillers
    uint32_t bits = 0;                   // 16, 24, 32 for PCM, 1 for DSD
    uint32_t srcChannels = 0;            // channel count of the source
    double panVol[kPanVolEntries] = {};  // 2x2 gain matrix: LL, LR, RL, RR, then zeros
    int32_t fileCount = 0;               // source count; the library accepts only 1
    int32_t progress = 0;                // percent, written by the library
    tMorphexCom com;
    int64_t startOffset = 0;   // the track's start delay in source samples
    uint32_t outChannels = 0;  // 1 or 2
    uint32_t mode = 0;         // rate-conversion mode; 0 lets the library choose
};

// The program's description of an opened file.
struct tAudioFileInfo {
    uint32_t sampleRate = 0;  // Hz; the source rate of every job
    uint32_t bitsPerSample = 0;
    uint32_t channels = 0;  // 1 = mono: meters and DSD output duplicate the left channel
    uint32_t dataOffset = 0;
    uint64_t dataBytes = 0;
    uint64_t totalSamples = 0;  // samples per channel
    uint64_t seconds = 0;       // totalSamples / sampleRate, truncated
    uint32_t fileType = 0;
    uint32_t formatTag = 0;
    uint64_t startSample = 0;  // start time in samples (bext), 0 when none
};

// Start position handed with every job, for display only: nothing in the
// engine or the library takes a rate from it (the source rate is
// tAudioFileInfo::sampleRate).
struct tTimeInfo {
    uint8_t minutes = 0;
    uint8_t seconds = 0;
    uint8_t hundredths = 0;
};

// The edit of one region, in samples (1-bit samples for DSD) of the region's
// own file from its start.
struct tWaveEditParam {
    int64_t inPoint = 0;  // first sample that sounds
    int64_t fadeInLength = 0;
    double gain = 0.0;  // linear, 1.0 unity
    int64_t fadeOutLength = 0;
    int64_t outPoint = 0;  // the sample at which the region ends
};

struct tBounceStatusStruct;  // defined with the mix-down job

// The mix-down record. The main window fills the input half, the export
// dialog the output half; the mix-down thread copies it and keeps the
// addresses of its progress word and of the status record.
struct tBounceParam {
    int32_t trackCount = 0;                 // tracks to mix
    std::u16string feedName;                // the feed jobs' destination name; not read by the mix-down
    std::u16string bouncePath;              // export folder + "/" + "SonvexBounceTemp" + extension
    int32_t outRate = 0;                    // Hz
    int32_t srcRate = 0;                    // Hz, the first track's file
    int32_t bits = 0;                       // 32 for WAV, 1 for DSDIFF
    int32_t fileType = 0;                   // file type code: 3 DSDIFF, anything else WAV
    int32_t channels = 0;                   // 1 or 2
    int64_t length = 0;                     // samples at srcRate
    int32_t progress = 0;                   // 0..100, written by the mix-down
    std::u16string extension;               // ".wav" or ".dff"; not read by the mix-down
    tBounceStatusStruct *status = nullptr;  // caller-owned, written by the mix-down
};

// How the main window takes a file in. The FLAC worker carries it through a
// decode untouched and hands it back with the result; the export window
// passes kFileOpenReplace.
enum tFileOpenMode : int {
    kFileOpenReplace = 0,  // every track is removed; the file becomes the first track
    kFileOpenAdd = 1,      // a further track (acts as 0 while no file has been opened)
    kFileOpenReserve = 2,  // only the next track slot's objects are made
};

// The recording being made.
struct tRecParameters {
    std::u16string path;
    int32_t rate = 0;  // Hz
    int32_t bits = 0;  // its low 16 bits go into the header
    int32_t channels = 0;
    int32_t blockFrames = 0;  // samples per capture block
    int32_t format = 0;       // 0 WAV, 1 DSDIFF, 2 DSF (the recorder's numbering)
};

// ---- Mixer and equaliser state ----------------------------------------

// One track slot of the mixer. The mixer window keeps the matrices
// consistent with gain * mute, pan and channels; the engine only reads them.
struct tMixChParam {
    double LL = 0.0, LR = 0.0, RL = 0.0, RR = 0.0;          // left out = LL*L + RL*R, right out = LR*L + RR*R
    double gain = 0.0;                                      // fader gain, linear: 10^(faderDb/20)
    double pan = 0.0;                                       // -100 (left) .. +100 (right)
    float mute = 0.0f;                                      // 1.0 sounding, 0.0 silent
    double fxLL = 0.0, fxLR = 0.0, fxRL = 0.0, fxRR = 0.0;  // send matrix, same orientation
    bool fxSendOn = false;
    int32_t channels = 0;  // the track file's channels; 2 selects the stereo law
    float faderDb = 0.0f;
    double delayMs = 0.0;  // start delay; the track starts delayMs * rate / 1000 samples late
};

// The mixer state of every track, the effect return and the master. Owned by
// the main window, which sets the start values.
struct tMixParam {
    int32_t trackCount = 0;  // tracks in use, 1..32
    tMixChParam ch[kMaxTracks];
    double fxReturnGain = 0.0;  // linear
    bool fxOn = false;
    double masterGain = 0.0;   // masterFader * masterMute, applied after the master equaliser
    float masterMute = 0.0f;   // 1.0, or 0.0 while muted
    float masterFader = 0.0f;  // linear
};

// One four-band equaliser (a track's or the master's). The engine runs the
// bands whose mBandOn is set from index 3 down to 0, then totalGainLin, while
// *allOn is true; with allOn null the record is bypassed. The window's EQ1..EQ4
// are bands 3..0.
struct tPEQ {
    peakEq band[kEqBands];
    double totalGainDb = 0.0;
    double totalGainLin = 1.0;  // 10^(totalGainDb/20)
    bool *allOn = nullptr;      // the bound equaliser window's on switch
};

// Output routing, one entry per device output column counted from the first
// output channel: kOutputPatchMaster = the master mix, 0..31 = that track's
// block straight to the column, negative = nothing written. Starts as the
// mixer window sets it: column 0 the master, the rest silent.
extern int32_t gOutputPatch[kOutputPatchSize];
