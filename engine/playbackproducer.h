// The playback producer: ClassMorphex, the one job of an audio thread, and
// the callbacks through which the conversion library hands it every block.
//
// apply prepares the real-time engine for the job (device rate, fade and
// modulator smoothing, the splice length, the fade request, the automation
// items) and calls the library's morphexert, which converts the source on
// this thread. For playback and mix-down feeds every block is published in
// the track's ring (engine/enginestate.h) and the producer is held back
// while it is more than kRingBlocks - 1 blocks ahead of its consumer (the
// real-time path, or the mix-down); for an export the library writes the
// file and the block callback only answers whether to go on.
//
// Threads: apply and the callbacks run on the audio thread; they meet the
// real-time path, the mix-down and the GUI only through the atomics of
// engine/enginestate.h.
#pragma once

#include <cstdint>

#include "engine/audiothread.h"

// Results of apply besides the library's own (0 or its negative codes).
enum : int {
    kClassMorphexErrTrack = -17,        // the record's track slot is not 0..kMaxTracks-1
    kClassMorphexErrNoLibrary = -1000,  // morphexert could not be bound; nothing was started
};

// What the rate set-up of a job decided (for the caller's checks).
struct tJobRateSetUp {
    int32_t playFs = 0;        // device rate, Hz
    int32_t analysisRate = 0;  // rate of the spectrum analysis, Hz
    int32_t spliceLength = 0;  // the modulator's splice compare length
    double fadeCoef = 0.0;     // the fade smoother's coefficient
    double mutePatCoef = 0.0;  // the glide coefficient of the modulator's mute pattern
};

class ClassMorphex : public Transaction {
public:
    // kind: 1 export, 2 playback feed, 3 mix-down feed. The command word of
    // the job decides what it does, so the kind is not kept.
    explicit ClassMorphex(int kind) { (void)kind; }

    int apply(int command, tMorphexParam *record, tMorphexAPIs entries, tAudioFileInfo *fileInfo, tTimeInfo *timeInfo,
              tDspVolItem *items, tID3tagInfo *tag) override;

    // Device rate of a rate index (1 for unused and unknown indices).
    static int32_t playFsOfRateIndex(uint32_t rateIndex);
    // The rate part of apply: playFs, the fade smoother's and
    // the modulator's smoothing, dsdPure, the splice length and the
    // analysis rate; at DSD rates the command block's start and end samples
    // go down to multiples of 8.
    static tJobRateSetUp setUpJobRate(uint32_t rateIndex, uint32_t srcRate, tMorphexCom *com);
    // True when the automation items (at most count, up to the end item)
    // change the level anywhere: a level other than 0 and 1, or a step from
    // one item to the next that a moving item leads into.
    static bool hasAutomation(const tDspVolItem *items, int count);
};

class CMorphexCallback {
public:
    // The library's block callback: 0 go on, -1 end the job. produced:
    // output frames so far; trackBlockFrames: frames of a full block;
    // blockBytes: bytes of a full block; pcmBlocks: the ring's list of
    // stereo-double blocks; dsdBlocks: its DSD bytes; filterLen: the
    // conversion filter length; rate: output Hz; com: the job's command
    // block. The block's own frame count and ring slot are not needed: the
    // consumer derives both from the counts.
    static int convert1blockFin(uint64_t produced, int blockFrames, int trackBlockFrames, int slot, int blockBytes,
                                void *pcmBlocks, unsigned char **dsdBlocks, int filterLen, int track, int rate,
                                unsigned int *com);
};

// The library's status callback at a job's end: 0 keeps the job (and its
// ring) alive while the engine plays, or in a mix-down feed until the
// mix-down is done; -1 lets it go. Waits 30 ms per call.
int checkPlayStatus(int track);
// The export window's poll of the engine (every 200 ms, no wait): 0 while
// the engine plays; in a mix-down feed it marks the track's feed as ended
// (bounceEnded) and gives -1 once the mix-down is done, else 0; -1 in any
// other state.
int checkPlayStatusDo(int track);
// The library's error callback: points the track's ring tables at the idle
// ones, marks the ring withdrawn (ringWithdrawn) and waits in 30 ms steps
// while the mixer reads the track, since the library frees the ring right
// after. 0.
int morphexErrCallback(int track);
// The library's read callback. 0; nothing depends on it.
int morphexWorkingCallback(long long *record);

// Mix-down hand-off.
void clearBounceParam();       // bounce flags, engine().convFailed, every bounced count and end byte
void setFinishBounceFlag();    // the mix-down has all it needs: feed jobs may end
int getBounceFlag(int track);  // 1 when the track's feed job reached its end in bounce feed

void reqDspPlay(int request);  // engine().playRequest

// Producer counters for the mix-down, the time-stretch worker and the GUI's
// traces. Track slots outside 0..kMaxTracks-1 read 0 (-1 for
// getFirstConverted and getConvertPath).
int64_t getConvertedCountAndBufBlkSize(int track, int *blockFrames);
int64_t getBouncedSamples(int track);
int getFirstConverted(int track);
int getConvertPath(int track);
int64_t getTestCountMorphex(int track);
int64_t getDiffParam(int track, int selector);  // selector 1: engine().diff1, else engine().diff2
int getBounceConvertStatus();                   // 1 after a failed conversion job

// A track's ring as the time-stretch worker reads it.
struct tAudioThreadRingState {
    int64_t produced = 0;
    int64_t consumed = 0;
    double **pcmBlocks = nullptr;
    int32_t blockFrames = 0;
};
// 0, or kClassMorphexErrTrack (state untouched) for a bad slot or null state.
int getAudioThreadParam(int track, tAudioThreadRingState *state);
