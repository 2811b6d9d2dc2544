// The records of one conversion, playback or mix-down job and of the file
// it reads. The main window and the export window fill them; the engine's
// audio and mix-down threads copy them when a job starts.
#pragma once

#include <cstdint>
#include <string>

#include "morphex/morphexrecords.h"  // tMorphexCom

enum : int {
    kPanVolEntries = 16,  // tMorphexParam::panVol; the first four are the 2x2 matrix
};

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
