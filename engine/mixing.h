// The mixing step: the tracks' current blocks become one stereo master for
// a chunk of a device buffer (or of a mix-down block). Per track: its
// equaliser and total gain, the mixer's 2 x 2 gain matrix into the master
// and the send matrix into the effect bus, its peak and analysis feed. Then
// the effect return, the master equaliser (with the Lissajous feed), the
// master gain and the output polarity.
//
// Gains come from the mixer record (tMixParam) as the mixer window writes
// them: mute and solo are already folded into a track's matrix. Left out =
// LL*L + RL*R, right out = LR*L + RR*R; the send matrix likewise.
//
// Threads: runs on the device's real-time thread, or through bounceMixing
// on the mix-down thread; the two never run at once (engineStatus keeps
// playback and mix-down feed apart). The mixer record and the equalisers'
// settings come from the engine's parameter snapshot (engine/engineparams.h),
// never from the GUI's records; the equalisers' filters (history, glides)
// are the mixing step's own copies, brought to the snapshot's settings
// before each chunk. audioThreadMixing never allocates (a chunk beyond the
// reserved work buffers mixes to silence and is reported); bounceMixing, on
// the mix-down thread, grows them for its chunks. Nothing waits: the
// decimated analysis feed only tries chFftBufMutex.
#pragma once

struct tEngine;

#include <cstdint>

// One call of the mixing step, built by the caller.
struct tAudioMixingParams {
    int32_t frames = 0;                 // frames of this chunk
    const int *offsets = nullptr;       // per track: frames into its current block
    double **const *blocks = nullptr;   // per track: its ring table of stereo-double blocks
    const int *blockIndices = nullptr;  // per track: its current block in the table
    double **masters = nullptr;         // {master, effect return}, each at least frames stereo frames
    bool decimatedAnalysis = false;     // DSD output or mix-down: filtered, decimated analysis feeds
};

enum : int {
    kMixFramesInitial = 65536,  // frames of the work buffers at set-up
    kBounceNotReady = -2,       // bounceMixing: a track has not produced enough yet
};

// Mixes one chunk into masters[0] (and the effect return into masters[1]).
// Preconditions (the buffer switch's chunking): for a track with a job,
// offset + frames stays inside its current block. A track whose table is
// the idle one (or whose failed job is withdrawing its ring) contributes
// nothing and its equaliser does not run. 0, or kEngineErrMemory when the
// work buffers cannot be grown: the master and the return are then silence.
[[nodiscard]] int audioThreadMixing(tAudioMixingParams *p);
[[nodiscard]] int audioThreadMixing(tEngine &e, tAudioMixingParams *p);
// Grows the mixing work buffers for chunks of up to `frames` frames now, on
// the caller's thread, instead of on the device thread's first such chunk.
// Only while no buffer switch runs. False when they cannot be had.
bool reserveMixingBuffers(int frames);
// Whether the mixing work buffers hold a chunk of `frames` frames; the
// device thread mixes only then and never grows them.
bool workBuffersFit(int frames);
bool workBuffersFit(tEngine &e, int frames);

// The track's equaliser in place: its bands that are on from index 3 down
// to 0, then its linear total gain; nothing without a record or while the
// record's on switch is off.
void processEQ(int track, double *frames, int n);
void processEQ(tEngine &e, int track, double *frames, int n);
// The master equaliser from src into dst (the same buffer is fine): band
// index 3 (or a copy while it is off), then 2, 1, 0 in place, each while on,
// then the linear total gain, dipped during a band's gain change when the
// analysis is decimated; a copy without a master record or while it is
// off. Then the Lissajous feed.
void processMasterEQ(double *dst, const double *src, int n, bool decimatedAnalysis);
void processMasterEQ(tEngine &e, double *dst, const double *src, int n, bool decimatedAnalysis);
// The registered compressor from src into dst (a copy without one). Nothing
// in this system calls it.
void processMasterDynamics(const double *src, double *dst, int frames);
void processMasterDynamics(tEngine &e, const double *src, double *dst, int frames);
// Frames each track has ready for the mixer (kMaxTracks entries): produced
// minus consumed, or minus bounced in mix-down feed; 0 when not positive.
void calcLengthToMix(int32_t *available);
void calcLengthToMix(tEngine &e, int32_t *available);

// The mix-down's mixing step: every track at block `blockIndex`, offset
// `offset`, with decimated analysis, into masters. The first track (in
// track order) that has fewer than `frames` ready decides: if its job has
// ended the mix goes on (it contributes what it has), otherwise
// kBounceNotReady and nothing is mixed. After mixing, positions[t] (the
// caller's kMaxTracks entries, may be null) and each track's bounced count
// advance by frames. 0, kBounceNotReady, -17 without a master buffer or
// frames, or a code of audioThreadMixing.
[[nodiscard]] int bounceMixing(int blockIndex, uint64_t *positions, double **masters, int frames, int offset);
[[nodiscard]] int bounceMixing(tEngine &e, int blockIndex, uint64_t *positions, double **masters, int frames,
                               int offset);
