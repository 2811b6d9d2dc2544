// The engine's shared state: the words and buffers through which the GUI
// thread, the tracks' audio threads (the producers), the mix-down thread and
// the device's real-time thread (the consumer) talk to each other.
//
// Nobody takes a lock for these. Every word that crosses threads is a
// std::atomic; each comment names its writers and its readers. Order:
//   - a producer publishes a block by storing the block pointers and frame
//     counts first (relaxed) and the produced count last, with release; a
//     reader loads the produced count with acquire before it looks at the
//     pointers and counts;
//   - the producer switches sEngineStatus to playing (or bounce feed) with
//     release after it has written the job's automation items and command
//     block pointer; the real-time path loads the status with acquire;
//   - everything else is a flag or a counter whose order does not matter
//     (relaxed).
// Plain buffers below (the ring tables, the work buffers) are handed over at
// set-up, before the device thread starts, or are touched by one thread only.
//
// Track slots are 0..kMaxTracks-1 (engine/mixrecords.h); every function that
// takes a track slot from outside checks it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "audiofile/dsdlayout.h"  // kDsdIdleByte
#include "dsp/dsm5th.h"
#include "dsp/dspvolume.h"
#include "dsp/lpf.h"
#include "dsp/peqrecord.h"
#include "engine/mixrecords.h"
#include "morphex/morphexrecords.h"

class audioThread;
class ClassDynamics;
class reverb;

enum : int {
    kRingBlocks = 64,               // blocks in a track's ring (sNumBufBlk's value)
    kAudioThreadSlots = 34,         // entries of the audio-thread registry
    kJobVolItems = 35,              // automation items a job carries
    kRtVolItems = 10,               // of them, the ones the real-time path reads (sVolItems)
    kDsdIdleRow = 2 * kRingBlocks,  // DSD ring tables: left at 2 x block, right at 2 x block + 1
    kDsdIdleInitialBytes = 8192,    // idle bytes at set-up (in a buffer twice that size)
    kCaptureBlocks = 64,            // blocks per capture-ring row
    kCaptureBlockFramesDefault = 4096,
    kRecBufferFramesDefault = 4096,
    kMaxOutputsDefault = 4,
    kStopTimeoutMs = 3000,         // device time a stop may take before it is forced
    kStopTimeoutSetUpMs = 2000,    // the value the engine starts with
    kMixWorkBytes = 1 << 20,       // each of the two mixing work buffers at set-up
    kDsdDecimHistoryBytes = 5184,  // per-track decimation source history
    kMixDecimHistoryBytes = 336,   // mix decimation source history
    kChAnalyzeTempFrames = 16384,  // channel-analysis scratch, stereo frames
    kChAnalyzeTempBytes = 262160,
    kMutePatInitialBits = 524288,  // gMutePatBuffer as the main window allocates it: 65,536 bytes a half
};

// The DSD idle byte (silence) is the file layer's kDsdIdleByte
// (audiofile/dsdlayout.h); the modulator's mute-pattern byte:
constexpr uint8_t kDsdMuteByte = 0x2D;

// sEngineStatus.
enum : int32_t {
    kEngineStopped = 0,
    kEnginePlaying = 1,
    kEngineBounceFeed = 5,
};

// sStartMode: what the first block of the next job switches the engine to.
enum : int32_t {
    kStartNone = 0,
    kStartPlay = 1,
    kStartBounce = 2,
};

// gConvertPath: where a track's producer is.
enum : int32_t {
    kConvPathEnded = -1,
    kConvPathReturned = 0,
    kConvPathWaitPlay = 2,    // waiting for ring space while playing
    kConvPathWaitBounce = 4,  // waiting for ring space while feeding a mix-down
    kConvPathInCallback = 5,
};

// Bits of sFadeReq and sFadeAck (one word per channel).
enum : uint32_t {
    kFadeInBit = 1,
    kFadeOutBit = 2,
};

// Where the meters and the analysis take the signal.
enum eMeteringPoint : int {
    kMeteringPreFader = 0,   // before the master volume and the fade
    kMeteringPostFader = 1,  // after them
};

// ---- Engine state --------------------------------------------------------

// 0 stopped, 1 playing, 5 feeding a mix-down. Writers: the producer (first
// block of a job: 1 or 5, release; the job's end: 0), the real-time path (a
// carried-out stop, the end of the material: 0), the GUI
// (audioThread::setForceStatus). Readers: everyone.
extern std::atomic<int32_t> sEngineStatus;
// kStart*. Writers: ClassMorphex::apply (1 play, 2 bounce feed), the
// producer's first block (back to 0). Reader: the producer.
extern std::atomic<int32_t> sStartMode;
// 1 while playback is requested. Writers: the producer (first block, job
// end), the real-time path (stop, end of material), reqDspPlay (GUI).
// Reader: the real-time path.
extern std::atomic<int32_t> sPlayRequest;
// Open once enough of the longest track waits. Writers: the real-time path
// (opens, closes on a stop), the producer's job end and
// initAudioIoParameters (close). Reader: the real-time path.
extern std::atomic<bool> sPlayGate;
// A stop of playback was asked for. Writer: audioThread::stop (GUI, sets).
// Readers and clearers: the real-time path (carries it out), the producer
// (a stop seen while it waits).
extern std::atomic<bool> sStopRequest;
// Device time left for a stop, ms. Writers: audioThread::stop (GUI) and the
// real-time path (counts it down). Reader: the real-time path.
extern std::atomic<int32_t> sStopTimeoutMs;
// A job that writes a file is to be cancelled. Writers: audioThread::stop
// (GUI), the real-time path (a carried-out stop). Reader and clearer: the
// producer's block callback; ClassMorphex::apply clears it at a job's end.
extern std::atomic<bool> sConvAbort;
// A conversion job failed. Writer: ClassMorphex::apply; clearBounceParam.
// Reader: the mix-down (getBounceConvertStatus).
extern std::atomic<bool> sConvFailed;
// A stop was forced by its time-out. Writer: the real-time path. Reader and
// clearer: the GUI timer.
extern std::atomic<bool> sPlayTimeoutFlag;
// The first block of a play job arrived. Writer: the producer. Reader and
// clearer: the GUI timer.
extern std::atomic<bool> sPlayStarted;
// The mix-down has all it needs. Writers: setFinishBounceFlag (mix-down
// thread), clearBounceParam (GUI). Reader: checkPlayStatus (producer).
extern std::atomic<bool> sBounceFinished;
// Fade requests and acknowledgements, left and right (kFade*Bit).
// sFadeReq writers: ClassMorphex::apply (fade in), the real-time path (fade
// out), the DSD set-up (clear). sFadeAck writers: the real-time path's
// output writers, ClassMorphex::apply (clear). Readers: the real-time path.
extern std::atomic<uint32_t> sFadeReq[2];
extern std::atomic<uint32_t> sFadeAck[2];
// Output-rate sample of the play position. Writers: ClassMorphex::apply
// (job start), the real-time path (every buffer). Readers: the real-time
// path, the GUI timer.
extern std::atomic<int64_t> sPlayingSample;
// The command block of the running job. Writers: ClassMorphex::apply (the
// job's), audioThread::run (the thread's parameter set after a job),
// engine set-up (an idle block). Reader: the real-time path, which clears
// bit 1 of its word 0 at a stop.
extern std::atomic<tMorphexCom *> spRunningCom;
// The running job's first automation items. Writer: ClassMorphex::apply
// before the engine starts playing (published by sEngineStatus's release).
// Reader: the real-time path while playing.
extern tDspVolItem sVolItems[kRtVolItems];

// Ring geometry of the running conversion. Writers: the producer (every
// block), clearBufBlkSizeFs and initAudioIoParameters (GUI). Readers: the
// real-time path, the mix-down, the GUI's diagnostics.
extern std::atomic<int32_t> sRingBlockFrames;  // frames (DSD: bits) per ring block
extern std::atomic<int32_t> sNumBufBlk;        // blocks per ring, 64
// The library's conversion filter length and the delays (in DSD bits) that
// line the source bits and the mute pattern up with the re-modulated stream.
// Writer: the producer. Readers: the real-time path.
extern std::atomic<int32_t> sConvFirLen;
extern std::atomic<int32_t> sDelayConvFir;
extern std::atomic<int32_t> sDelayConvFirMute;

// Device rate in Hz. Writers: ClassMorphex::apply, engine set-up. Readers:
// the real-time path, the metering set-up.
extern std::atomic<int32_t> gAudioThread_playFs;
// Pure DSD output: sDsdPure is the last word of the GUI setter or of a job
// (ClassMorphex::apply clears it when the job may not pass its bits), for
// the GUI to read; the engine reads the GUI's allowance from its parameter
// snapshot (engine/engineparams.h) and the job's from sDsdPureJob (writer:
// ClassMorphex::apply and initDsdParameters). sDsdPureFade: the automation
// level is exactly 1.0 over the current buffer (writer: the real-time path).
// Readers: the DSD output.
extern std::atomic<bool> sDsdPure;
extern std::atomic<bool> sDsdPureJob;
extern std::atomic<bool> sDsdPureFade;
// Decimation step of the metering filters (1 for rates below 176.4 kHz).
// Writer: the per-rate DSD set-up (and ClassMorphex::apply, which keeps it
// at least 1). Readers: the real-time path, the analysis feeds.
extern std::atomic<int32_t> sMeterFirInterval;
// eMeteringPoint. Writer: audioThread::setMeteringPoint (GUI). Reader: the
// real-time path.
extern std::atomic<int32_t> sMeteringPoint;
// The next peak measurement replaces the held value. Writers: the GUI
// (reading a peak), the real-time path (clears). Reader: the real-time path.
extern std::atomic<bool> clearPeakHoldF;
// Set once the mixing work buffers were regrown (by a reserve).
extern std::atomic<bool> s2mixBufAlloc_F;

// ---- Per-track ring state ------------------------------------------------

// Samples the producer has published since its job began. Writer: the
// producer (release, after the pointers and counts below); ClassMorphex::apply
// and the real-time path's stop clear it. Readers: the real-time path, the
// mix-down, the time-stretch worker (acquire).
extern std::atomic<int64_t> sProducedCount[kMaxTracks];
// Samples the real-time path has consumed. Writer: the real-time path
// (ClassMorphex::apply clears it at a job's start and end). Reader: the
// producer, which waits on it.
extern std::atomic<int64_t> sConsumedCount[kMaxTracks];
// Samples the mix-down has consumed. Writer: the mix-down's mixing step
// (clearBounceParam clears it). Reader: the producer in bounce feed.
extern std::atomic<int64_t> sBouncedCount[kMaxTracks];
// The library's ring of the track: kRingBlocks stereo-double blocks, and the
// DSD bytes (left at 2 x block, right at 2 x block + 1). Idle: tables that
// point at silence. Writer: the producer (before the produced count); the
// resets below. Readers: the real-time path and the mix-down, after
// acquiring the produced count.
extern std::atomic<double **> spTrackPcmBlocks[kMaxTracks];
extern std::atomic<unsigned char **> spTrackDsdBlocks[kMaxTracks];
// Frames per full block as the library reports it (1 while idle). Writer and
// readers as for the block pointers.
extern std::atomic<int32_t> sTrackBlockFrames[kMaxTracks];
// Producer diagnostics. Writer: the producer. Readers: the GUI's traces and
// the mix-down (gFirstConverted).
extern std::atomic<int32_t> gFirstConverted[kMaxTracks];  // 1 once the first block arrived
extern std::atomic<int64_t> gTestCount[kMaxTracks];       // blocks handed over (and bounce waits)
extern std::atomic<int32_t> gConvertPath[kMaxTracks];     // kConvPath*
extern std::atomic<int64_t> gDiff1[kMaxTracks];           // lead over the mix-down; -1 after a job
extern std::atomic<int64_t> gDiff2[kMaxTracks];           // the lead limit; -1 after a job
// The track's running job reached its end (checkPlayStatus), and in bounce
// feed the mix-down was told so. Writers: the producer (sets it at the end,
// ClassMorphex::apply clears it at the job's start); clearBounceParam (GUI).
// Readers: the mix-down, the real-time path (a starved track's position).
extern std::atomic<bool> sJobEnded[kMaxTracks];
extern std::atomic<bool> sBounceEnded[kMaxTracks];
// The mixer is reading the track's block. Writer: the mixing step (real-time
// or mix-down thread). Reader: morphexErrCallback, which keeps a failed job
// from freeing its ring under the mixer.
extern std::atomic<bool> sMixBusy[kMaxTracks];
// The track's failed job is taking its ring away: the library frees the
// blocks once morphexErrCallback returns. The callback points the tables at
// the idle ones, sets this and waits while sMixBusy is set; a reader sets
// sMixBusy, then finds this set and leaves the blocks alone (both sides
// sequentially consistent, so one of them sees the other). Writers:
// morphexErrCallback (set), ClassMorphex::apply (clears when the job has
// returned). Readers: the mixing step and the DSD source reads.
extern std::atomic<bool> sRingWithdrawn[kMaxTracks];

// Idle ring tables. sDummyPlayBuffer is one stereo frame of silence;
// spDummyPlayBuffer points kRingBlocks times at it. The DSD idle buffer holds
// sDsdIdleBytes bytes of 0x96 (in a block twice that size) and every entry of
// sDsdIdleTable points at it. Written by the GUI's set-up functions while no
// job runs; read through the per-track pointers above.
extern double sDummyPlayBuffer[2];
extern double *spDummyPlayBuffer[kRingBlocks];
extern uint8_t *sDsdIdleBuffer;
extern int32_t sDsdIdleBytes;
extern unsigned char *sDsdIdleTable[kMaxTracks][kDsdIdleRow];

// ---- Thread registry and track mapping ------------------------------------

// The audio threads by registry index, and the next index. Writers: the
// audioThread constructor and destructor, initAudioIoParameters (GUI).
// Readers: the real-time path (a track's source rate, length and offset).
extern std::atomic<audioThread *> pAudioThreads[kAudioThreadSlots];
extern std::atomic<int32_t> sAudioThreadCount;
// Registry index feeding each track (-1 none), and the track whose material
// is the longest. Writers: the GUI. Reader: the real-time path.
extern std::atomic<int32_t> sAudioIoThreadId[kMaxTracks];
extern std::atomic<int32_t> sTrkWithMaxWaveLength;
// The main window's mixer record reaches the engine whole, through
// gAudioThread_setMixParam and engineMixParam (engine/engineparams.h).

// ---- Device-buffer bookkeeping -----------------------------------------------
// Writer: the real-time path (the set-up gives the start values). Readers:
// the GUI timer.
extern std::atomic<int64_t> sOutputFrameCount;
extern std::atomic<int32_t> sPrevBufferSize;  // -1: no buffer yet
extern std::atomic<bool> sBufferSizeChanged_F;
extern std::atomic<int32_t> sLastBufferFrames;
extern std::atomic<int32_t> sRecBufferFrames;
extern std::atomic<int32_t> sInputChannels;
extern std::atomic<int32_t> sMaxOutputs;  // output columns the patch wraps at
extern std::atomic<int32_t> sFirstOutputChannel;

// ---- Capture ring and input monitor -------------------------------------------
// Positions, written by the real-time path (and cleared by the resets
// below), read by the recorder's thread and the GUI.
extern std::atomic<bool> sInputMonitorEnable;
extern std::atomic<int32_t> sInputMonitorChannel;
extern std::atomic<int32_t> sCaptureBlockFrames;
extern std::atomic<int32_t> sCaptureWriteBlock[kMaxTracks];
extern std::atomic<int32_t> sCaptureWriteOffset[kMaxTracks];
extern std::atomic<int32_t> sMonitorReadBlock[kMaxTracks];
extern std::atomic<int32_t> sMonitorReadOffset[kMaxTracks];
extern std::atomic<int32_t> sRecordableBlocks[kMaxTracks];
extern std::atomic<int32_t> sCaptureBlocksWritten;
extern std::atomic<int32_t> sMonitorBlocksPlayed;
extern std::atomic<int32_t> sSamplesPerCaptureBlock[kCaptureBlocks];
// The capture blocks the main window registers before the device runs: per
// row its work buffers (spMonitorBuffer[row] is sCaptureRingTable[row]) and
// its left and right DSD buffers.
extern double *sCaptureRingTable[kMaxTracks][kCaptureBlocks];
extern double **spMonitorBuffer[kMaxTracks];
extern unsigned char *spDsdRecBuffer0[kMaxTracks][kCaptureBlocks];
extern unsigned char *spDsdRecBuffer1[kMaxTracks][kCaptureBlocks];
// Monitor peaks (stereo pairs). Writer: the real-time path. Reader: the GUI,
// which sets sClearMoniPeakFlag after reading.
extern std::atomic<double> sMonPeakPosi[2];
extern std::atomic<double> sMonPeakNega[2];
extern std::atomic<bool> sClearMoniPeakFlag;

// ---- Work buffers ----------------------------------------------------------------
// Allocated by the GUI's memory functions before the device runs; grown by
// bufferSwitchReserve (the stream's set-up, or the GUI timer after a device
// buffer outgrew them; the mix-down thread grows the mixing buffers for its
// own chunks), never on the device thread; freed at shut-down after the
// device stopped.
extern double *gpMasterBuf[2];    // the master mix and the effect return
extern int32_t sMasterBufFrames;  // their capacity, stereo frames
extern double *gpMixTrackBuf;     // the track work buffer of the mixer
extern double *gpMixFxBuf;        // the effect bus
extern int32_t sMixBufFrames;     // their capacity, stereo frames
extern double *spDsdDecimFirSrcBufCh[kMaxTracks];
extern double *spMixDecimFirSrcBuf;
extern double *spMixDecimFirSrcBufCh[kMaxTracks];
extern double *pChAnalyzeBufTemp;
extern int32_t ChAnalyzeBufTempSize;  // stereo frames

// Buffers the main window allocates and bufferSwitchReserve regrows: the DSD
// mute pattern (left and right halves) and the test-signal buffers.
extern uint8_t *gMutePatBuffer[2];
extern double *gSineWaveBuffer[2];
extern int32_t gSineWaveBufSize;  // stereo frames of each
// Bits each gMutePatBuffer half holds (the main window's 65,536-byte halves
// to begin with). Written by bufferSwitchReserve when it grows the buffer.
extern int32_t sMutePatBits;
// The blocks bufferSwitchReserve allocated (_aligned_malloc) when a device
// buffer outgrew the main window's mute and test-signal buffers; null while
// it has not. It frees these, and only these, when it grows them again, and
// freeAudhioThreadMemories frees them at shut-down. The main window frees
// the blocks it allocated itself from its own pointers.
extern uint8_t *sMutePatGrown;
extern double *sSineWaveGrown[2];

// ---- Processing objects -------------------------------------------------------------
// The device's modulator and fade smoother; the monitor volume and the
// volume actually applied (stereo pairs; the GUI's setter writes sMasterVol,
// which reaches the engine in its parameter snapshot; the real-time path
// writes sTotalVol); the lock around the per-track analysis rings.
// The modulator and the fade smoother are the device thread's alone; other
// threads ask for changes through the request words below, which the device
// thread carries out at the start of its next buffer (or writer call)
// (engineApplyOutputRequests, engine/dsdoutput.h).
extern classDsm5thApp CDsm5th;
extern lpf CFadeVolLpf;
// Requests. sFadeCoefRequest: the smoother's coefficient (negative: none);
// sMutePatCoefRequest: the mute pattern's glide coefficient (negative:
// none); sSpliceLenRequest: the splice length (0: none). Writers:
// ClassMorphex::apply (a job's rate), the audio thread's set-up,
// initDsdParameters. sFadeTargetRequest: kFadeTarget* (the input monitor);
// sFadeResetRequest: back to the state a stop leaves (initDsdParameters).
extern std::atomic<double> sFadeCoefRequest;
extern std::atomic<double> sMutePatCoefRequest;
extern std::atomic<int32_t> sSpliceLenRequest;
extern std::atomic<int32_t> sFadeTargetRequest;
extern std::atomic<bool> sFadeResetRequest;
enum : int32_t { kFadeTargetNone = -1, kFadeTargetZero = 0, kFadeTargetOne = 1 };
// The fade level (the smoother's output pair) as the device thread left it
// after its last buffer. Writer: the device thread. Reader: the GUI's meters.
extern std::atomic<double> sFadeLevel[2];
// Equaliser history clears asked for by the GUI (kEqClear* bits), carried
// out by the mixing step before its next chunk.
extern std::atomic<uint32_t> sEqClearRequest;
enum : uint32_t { kEqClearMaster = 1, kEqClearTracks = 2 };
extern std::atomic<double> sMasterVol[2];
extern std::atomic<double> sTotalVol[2];
extern std::mutex gChFFTBufMutex;

// ---- Engine parameters (the GUI's setters, engine/engineparams.h) ------------------
// The GUI's side of them. The equalisers' records, the polarity, the
// processor word (and the mixer record, the monitor volume, the output
// patch) reach the engine only in its parameter snapshot; the words here are
// what the GUI last set, for the GUI and for building the next snapshot.

// The equalisers: the main window's table of the 32 track records (kept by
// address, so a track's record may be replaced or taken out by setting its
// entry) and the master record. Reader: the snapshot's publisher (GUI).
extern std::atomic<tPEQ **> spTrackPEQ;
extern std::atomic<tPEQ *> spMasterPEQ;
// The master compressor (registered, never run) and the effect-return
// reverb. Writers: the GUI setters. Reader: the mixing step.
extern std::atomic<ClassDynamics *> spDynamics;
extern std::atomic<reverb *> spReverb;
// The reverb's input ring (kReverbRingFrames stereo frames, null until
// allocateReverbBuffer) and its write point. Written by the GUI while the
// effect is off or the device stopped; the mixing step writes the ring and
// moves the point.
extern double *gpReverbBuffer;
extern int32_t gReverbBufPointer;
// The monitor volume in dB (-300 for silence) beside the linear sMasterVol.
// Writer: setMasterVolDsp (GUI). Readers: the GUI.
extern std::atomic<double> sMasterVoldB;
// Output polarity inverted. Writer: seteNcPhase (GUI).
extern std::atomic<bool> sPolarityInvert;
// Processor feature word; bit kCpuidSsse3 selects the modulator's SSSE3
// variants (the same results). Writer: setCpuid (GUI).
extern std::atomic<uint32_t> sCpuid;
enum : uint32_t { kCpuidSsse3 = 0x8 };
// Device watchdog: every device buffer stores sWdtReload into sWdtCounter;
// the GUI's 45 ms timer counts sWdtCounter down (downCountWDT). Writers:
// setWDT and downCountWDT (GUI), the buffer switch (reload). Readers: both.
extern std::atomic<int32_t> sWdtReload;
extern std::atomic<int32_t> sWdtCounter;
// Per-track start delays, filled by the main window through getDelayTable;
// the engine itself does not read them.
extern int64_t sDelayTable[kMaxTracks];

enum : int {
    kReverbRingFrames = 5644800,  // the reverb's input ring, stereo frames
};

// ---- Resets and memory (GUI thread) --------------------------------------------------

// Result codes of the memory functions.
enum : int {
    kEngineMemOk = 0,
    kEngineErrMemory = -3,  // an allocation failed; what was allocated is freed
};

// Per-track ring state back to idle: produced and consumed counts 0, block
// tables to the idle tables, frames per block 1, and the capture and monitor
// positions and counters 0. The real-time path calls it too (a stop).
void clearBufferParameters();
// The ring block size to 0.
void clearBufBlkSizeFs();
// Play request and gate off, ring block size 0, every registry entry empty
// (the next registration continues after the last index handed out), and the
// per-track ring state as clearBufferParameters.
void initAudioIoParameters();
// The master buffers (one frame each, grown by bufferSwitchReserve) and
// the channel-analysis scratch.
[[nodiscard]] int allocateAudioThreadMemories();
// Frees them, the DSD idle buffer and the buffers bufferSwitchReserve grew
// (gMutePatBuffer and gSineWaveBuffer are then null where they pointed at
// those). Call only after the device stopped.
void freeAudhioThreadMemories();
// The per-track and mix decimation histories (zeroed) and the two mixing
// work buffers.
[[nodiscard]] int initAudioThreadMemoryWhole();
void finishAudioThreadMemoryWhole();
// The DSD idle buffer: at least as many bytes of 0x96 as the last device
// buffer had frames; every track's DSD table back to the idle table. Called
// only while the engine is stopped (the real-time path reads the tables
// while playing).
[[nodiscard]] int audioThread_resetDSDBuffers();
// A new DSD idle buffer of 2 x bytes with the first `bytes` (and the rest)
// 0x96, and every idle-table entry pointing at it. Used by the set-up and by
// audioThread_resetDSDBuffers.
[[nodiscard]] int allocateDsdIdleBuffer(int32_t bytes);

// Index of a track slot or -1 when out of range (for callers that take a
// slot from a record or the library).
inline int engineTrackSlot(int64_t track) { return track >= 0 && track < kMaxTracks ? static_cast<int>(track) : -1; }

// Word 0 of a command block as both sides see it: the library ORs in the end
// bit while the engine clears bit 1, so the engine reads and changes it with
// atomic operations on the plain word.
inline uint32_t comWord(const tMorphexCom *com) { return __atomic_load_n(&com->command, __ATOMIC_RELAXED); }
inline void comWordClear(tMorphexCom *com, uint32_t bits) {
    __atomic_fetch_and(&com->command, ~bits, __ATOMIC_RELAXED);
}
inline void comWordStore(tMorphexCom *com, uint32_t v) { __atomic_store_n(&com->command, v, __ATOMIC_RELAXED); }
// A job that writes its destination file (the end bit masked off).
inline bool comWritesFile(uint32_t word) { return (word & ~kMorphexComEndBit) == kMorphexComWriteFile; }
