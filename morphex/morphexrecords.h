// Records that cross the conversion library's boundary: the command and
// status block of a running job, the output settings of a job and the
// library's description of a file. The program and the library are built
// from this one header, so both sides agree on every layout.
#pragma once

#include <cstdint>

#include "audiofile/tagrecord.h"

struct tPEQ;  // dsp/peqrecord.h

// Word 0 (`command`) of tMorphexCom.
enum : uint32_t {
    kMorphexComWriteFile = 1,     // convert and write the destination file
    kMorphexComFeedOnly = 2,      // convert for playback only (any value but 1)
    kMorphexComEndBit = 0x10000,  // ORed in by the library when a job ends well
};

// Command codes the caller hands to the library in tMorphexSendParams.
enum : uint32_t {
    kMorphexCmdPlay = 8,
    kMorphexCmdBounceFeed = 84,
    kMorphexCmdExport = 195,  // also arms the first-block flag of the DSD step
};

// Command and status block of one job. Owned by the caller and shared with
// the running job; both sides read and write it without a lock, so every
// shared value is one aligned word written whole.
struct tMorphexCom {
    uint32_t command = 0;             // kMorphexComWriteFile or feed; end bit set by the library
    int64_t startSample = 0;          // first source frame of the job (negative before a delayed start)
    int64_t endSample = 0;            // source frame at which the job ends
    tPEQ *peq = nullptr;              // equaliser applied inside the conversion, or null
    uint32_t pureDsdFeed = 0;         // non-zero: 1/80 s blocks; a feed-only job may pass DSD through
    int32_t ringBlocks = 0;           // ring buffers the library allocates, 1..64
    uint32_t dither = 0;              // PCM output: 0 none, 1 dither, 2 noise shaping
    uint32_t track = 0;               // caller's track slot, handed back with every callback
    tID3tagInfo *tag = nullptr;       // tag for a written file; its startSample is the start time
    uint32_t *commandCopy = nullptr;  // never read by the library; the audio thread
                                      // keeps the address of its copy of `command` here
    uint8_t envelopeActive = 0;       // 1 while a gain envelope is in effect
    uint32_t modResult1 = 0;          // left modulator cut-flag word, written at a good end
    uint32_t modResult2 = 0;          // the same for the right channel
    uint8_t multiTrack = 0;           // 1 when several tracks are mixed
    uint8_t rightPass = 0;            // 1: a one-channel output takes the right channel
};

// Output settings of one job, built by the caller on its stack; the library
// only reads it, apart from the progress word it points to.
struct tMorphexSendParams {
    int32_t *progress = nullptr;  // caller's progress word, 0..100
    uint32_t rateIndex = 0;       // output rate index (0..9, 16..19)
    uint32_t fileType = 0;        // 0 WAV, 2 DSF, 3 DSDIFF, 4 WSD
    uint32_t option = 0;          // 1: unfiltered sample-and-hold rate change; else filtered
    uint32_t bits = 0;            // output word length, 1 for DSD
    uint32_t srcChannels = 0;     // carried from the job record for the record's layout; the library ignores it
    uint32_t outChannels = 0;     // 1 or 2
    uint32_t mode = 0;            // 3 FFT filter, 2 32767-tap FIR, else FIR of computed length
    uint32_t command = 0;         // kMorphexCmdPlay, kMorphexCmdBounceFeed or kMorphexCmdExport
};

// One mark as getAudioFileInformation reports it.
struct tAudioFileMarkAFile {
    char name[16];      // up to 15 characters and NUL
    uint64_t position;  // sample position
};
static_assert(sizeof(tAudioFileMarkAFile) == 24, "a reported mark is 24 bytes");

// The library's description of a file (getAudioFileInformation). Owned by
// the caller, who also provides the mark array with room for every mark.
struct tAudioFileInfoAFile {
    uint32_t sampleRate = 0;     // Hz
    uint32_t bitsPerSample = 0;  // 1 for DSD
    uint32_t channels = 0;
    uint32_t dataOffset = 0;     // low 32 bits of the audio data's byte offset
    uint32_t dataBytesHigh = 0;  // audio size in bytes, high 32 bits
    uint32_t dataBytesLow = 0;   // audio size in bytes, low 32 bits
    uint32_t fileType = 0;       // 0 WAV, 2 DSF, 3 DSDIFF, 4 WSD
    uint32_t formatTag = 0;      // WAV format tag, or the handler's format word
    uint32_t markCount = 0;      // marks stored into `marks`
    tAudioFileMarkAFile *marks = nullptr;
    uint64_t startSample = 0;  // start time in samples, 0 when the file has none
};
