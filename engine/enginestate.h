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
//   - the producer switches engineStatus to playing (or bounce feed) with
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
#include <memory>
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
    kRingBlocks = 64,               // blocks in a track's ring (numBufBlk's value)
    kAudioThreadSlots = 34,         // entries of the audio-thread registry
    kJobVolItems = 35,              // automation items a job carries
    kRtVolItems = 10,               // of them, the ones the real-time path reads (volItems)
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
    kMutePatInitialBits = 524288,  // mutePatBuffer as the main window allocates it: 65,536 bytes a half
};

// The DSD idle byte (silence) is the file layer's kDsdIdleByte
// (audiofile/dsdlayout.h); the modulator's mute-pattern byte:
constexpr uint8_t kDsdMuteByte = 0x2D;

// engineStatus.
enum : int32_t {
    kEngineStopped = 0,
    kEnginePlaying = 1,
    kEngineBounceFeed = 5,
};

// startMode: what the first block of the next job switches the engine to.
enum : int32_t {
    kStartNone = 0,
    kStartPlay = 1,
    kStartBounce = 2,
};

// convertPath: where a track's producer is.
enum : int32_t {
    kConvPathEnded = -1,
    kConvPathReturned = 0,
    kConvPathWaitPlay = 2,    // waiting for ring space while playing
    kConvPathWaitBounce = 4,  // waiting for ring space while feeding a mix-down
    kConvPathInCallback = 5,
};

// Bits of fadeReq and fadeAck (one word per channel).
enum : uint32_t {
    kFadeInBit = 1,
    kFadeOutBit = 2,
};

// Where the meters and the analysis take the signal.
enum eMeteringPoint : int {
    kMeteringPreFader = 0,   // before the master volume and the fade
    kMeteringPostFader = 1,  // after them
};

// tEngine::fadeTargetRequest, eqClearRequest and cpuid (see there).
enum : int32_t { kFadeTargetNone = -1, kFadeTargetZero = 0, kFadeTargetOne = 1 };
enum : uint32_t { kEqClearMaster = 1, kEqClearTracks = 2 };
enum : uint32_t { kCpuidSsse3 = 0x8 };
enum : int {
    kReverbRingFrames = 5644800,  // the reverb's input ring, stereo frames
};

// ---- The engine object ----------------------------------------------------
//
// One tEngine holds every word and buffer that the threads named at the top
// share. engineCreate makes one; the process has its own from the start,
// and tests make a fresh one for each test (engineMakeCurrent). The device
// layer hands the current engine to a stream it starts as the stream's
// client pointer, and the real-time path reaches the engine through that
// pointer, never through engine(). The producers, the mix-down thread and
// the GUI reach the current engine through engine().
struct tEngine {
    tEngine() = default;
    // Frees the buffers the engine allocated (the memory functions' and the
    // reserve's); those the main window allocated stay its own.
    ~tEngine();
    tEngine(const tEngine &) = delete;
    tEngine &operator=(const tEngine &) = delete;

    // ---- Engine state --------------------------------------------------------

    // 0 stopped, 1 playing, 5 feeding a mix-down. Writers: the producer (first
    // block of a job: 1 or 5, release; the job's end: 0), the real-time path (a
    // carried-out stop, the end of the material: 0), the GUI
    // (audioThread::setForceStatus). Readers: everyone.
    std::atomic<int32_t> engineStatus{};
    // kStart*. Writers: ClassMorphex::apply (1 play, 2 bounce feed), the
    // producer's first block (back to 0). Reader: the producer.
    std::atomic<int32_t> startMode{};
    // 1 while playback is requested. Writers: the producer (first block, job
    // end), the real-time path (stop, end of material), reqDspPlay (GUI).
    // Reader: the real-time path.
    std::atomic<int32_t> playRequest{};
    // Open once enough of the longest track waits. Writers: the real-time path
    // (opens, closes on a stop), the producer's job end and
    // initAudioIoParameters (close). Reader: the real-time path.
    std::atomic<bool> playGate{};
    // A stop of playback was asked for. Writer: audioThread::stop (GUI, sets).
    // Readers and clearers: the real-time path (carries it out), the producer
    // (a stop seen while it waits).
    std::atomic<bool> stopRequest{};
    // Device time left for a stop, ms. Writers: audioThread::stop (GUI) and the
    // real-time path (counts it down). Reader: the real-time path.
    std::atomic<int32_t> stopTimeoutMs{kStopTimeoutSetUpMs};
    // A job that writes a file is to be cancelled. Writers: audioThread::stop
    // (GUI), the real-time path (a carried-out stop). Reader and clearer: the
    // producer's block callback; ClassMorphex::apply clears it at a job's end.
    std::atomic<bool> convAbort{};
    // A conversion job failed. Writer: ClassMorphex::apply; clearBounceParam.
    // Reader: the mix-down (getBounceConvertStatus).
    std::atomic<bool> convFailed{};
    // A stop was forced by its time-out. Writer: the real-time path. Reader and
    // clearer: the GUI timer.
    std::atomic<bool> playTimeoutFlag{};
    // The first block of a play job arrived. Writer: the producer. Reader and
    // clearer: the GUI timer.
    std::atomic<bool> playStarted{};
    // The mix-down has all it needs. Writers: setFinishBounceFlag (mix-down
    // thread), clearBounceParam (GUI). Reader: checkPlayStatus (producer).
    std::atomic<bool> bounceFinished{};
    // Fade requests and acknowledgements, left and right (kFade*Bit).
    // fadeReq writers: ClassMorphex::apply (fade in), the real-time path (fade
    // out), the DSD set-up (clear). fadeAck writers: the real-time path's
    // output writers, ClassMorphex::apply (clear). Readers: the real-time path.
    std::atomic<uint32_t> fadeReq[2]{};
    std::atomic<uint32_t> fadeAck[2]{};
    // Output-rate sample of the play position. Writers: ClassMorphex::apply
    // (job start), the real-time path (every buffer). Readers: the real-time
    // path, the GUI timer.
    std::atomic<int64_t> playingSample{};
    // The command block of the running job. Writers: ClassMorphex::apply (the
    // job's), audioThread::run (the thread's parameter set after a job),
    // engine set-up (an idle block). Reader: the real-time path, which clears
    // bit 1 of its word 0 at a stop.
    std::atomic<tMorphexCom *> runningCom{};
    // The command block the real-time path sees while no job has run.
    tMorphexCom idleCom{};
    // The running job's first automation items. Writer: ClassMorphex::apply
    // before the engine starts playing (published by engineStatus's release).
    // Reader: the real-time path while playing.
    tDspVolItem volItems[kRtVolItems]{};

    // Ring geometry of the running conversion. Writers: the producer (every
    // block), clearBufBlkSizeFs and initAudioIoParameters (GUI). Readers: the
    // real-time path, the mix-down, the GUI's diagnostics.
    std::atomic<int32_t> ringBlockFrames{};       // frames (DSD: bits) per ring block
    std::atomic<int32_t> numBufBlk{kRingBlocks};  // blocks per ring, 64
    // The library's conversion filter length and the delays (in DSD bits) that
    // line the source bits and the mute pattern up with the re-modulated stream.
    // Writer: the producer. Readers: the real-time path.
    std::atomic<int32_t> convFirLen{};
    std::atomic<int32_t> delayConvFir{};
    std::atomic<int32_t> delayConvFirMute{};

    // Device rate in Hz. Writers: ClassMorphex::apply, engine set-up. Readers:
    // the real-time path, the metering set-up.
    std::atomic<int32_t> playFs{44100};
    // Pure DSD output: dsdPure is the last word of the GUI setter or of a job
    // (ClassMorphex::apply clears it when the job may not pass its bits), for
    // the GUI to read; the engine reads the GUI's allowance from its parameter
    // snapshot (engine/engineparams.h) and the job's from dsdPureJob (writer:
    // ClassMorphex::apply and initDsdParameters). dsdPureFade: the automation
    // level is exactly 1.0 over the current buffer (writer: the real-time path).
    // Readers: the DSD output.
    std::atomic<bool> dsdPure{};
    std::atomic<bool> dsdPureJob{};
    std::atomic<bool> dsdPureFade{};
    // Decimation step of the metering filters (1 for rates below 176.4 kHz).
    // Writer: the per-rate DSD set-up (and ClassMorphex::apply, which keeps it
    // at least 1). Readers: the real-time path, the analysis feeds.
    std::atomic<int32_t> meterFirInterval{1};
    // eMeteringPoint. Writer: audioThread::setMeteringPoint (GUI). Reader: the
    // real-time path.
    std::atomic<int32_t> meteringPoint{};
    // The next peak measurement replaces the held value. Writers: the GUI
    // (reading a peak), the real-time path (clears). Reader: the real-time path.
    std::atomic<bool> clearPeakHold{};
    // Set once the mixing work buffers were regrown (by a reserve).
    std::atomic<bool> mixBufRegrown{};

    // ---- Per-track ring state ------------------------------------------------

    // Samples the producer has published since its job began. Writer: the
    // producer (release, after the pointers and counts below); ClassMorphex::apply
    // and the real-time path's stop clear it. Readers: the real-time path, the
    // mix-down, the time-stretch worker (acquire).
    std::atomic<int64_t> producedCount[kMaxTracks]{};
    // Samples the real-time path has consumed. Writer: the real-time path
    // (ClassMorphex::apply clears it at a job's start and end). Reader: the
    // producer, which waits on it.
    std::atomic<int64_t> consumedCount[kMaxTracks]{};
    // Samples the mix-down has consumed. Writer: the mix-down's mixing step
    // (clearBounceParam clears it). Reader: the producer in bounce feed.
    std::atomic<int64_t> bouncedCount[kMaxTracks]{};
    // The library's ring of the track: kRingBlocks stereo-double blocks, and the
    // DSD bytes (left at 2 x block, right at 2 x block + 1). Idle: tables that
    // point at silence. Writer: the producer (before the produced count); the
    // resets below. Readers: the real-time path and the mix-down, after
    // acquiring the produced count.
    std::atomic<double **> trackPcmBlocks[kMaxTracks]{};
    std::atomic<unsigned char **> trackDsdBlocks[kMaxTracks]{};
    // Frames per full block as the library reports it (1 while idle). Writer and
    // readers as for the block pointers.
    std::atomic<int32_t> trackBlockFrames[kMaxTracks]{};
    // Producer diagnostics. Writer: the producer. Readers: the GUI's traces and
    // the mix-down (firstConverted).
    std::atomic<int32_t> firstConverted[kMaxTracks]{};  // 1 once the first block arrived
    std::atomic<int64_t> testCount[kMaxTracks]{};       // blocks handed over (and bounce waits)
    std::atomic<int32_t> convertPath[kMaxTracks]{};     // kConvPath*
    std::atomic<int64_t> diff1[kMaxTracks]{};           // lead over the mix-down; -1 after a job
    std::atomic<int64_t> diff2[kMaxTracks]{};           // the lead limit; -1 after a job
    // The track's running job reached its end (checkPlayStatus), and in bounce
    // feed the mix-down was told so. Writers: the producer (sets it at the end,
    // ClassMorphex::apply clears it at the job's start); clearBounceParam (GUI).
    // Readers: the mix-down, the real-time path (a starved track's position).
    std::atomic<bool> jobEnded[kMaxTracks]{};
    std::atomic<bool> bounceEnded[kMaxTracks]{};
    // The mixer is reading the track's block. Writer: the mixing step (real-time
    // or mix-down thread). Reader: morphexErrCallback, which keeps a failed job
    // from freeing its ring under the mixer.
    std::atomic<bool> mixBusy[kMaxTracks]{};
    // The track's failed job is taking its ring away: the library frees the
    // blocks once morphexErrCallback returns. The callback points the tables at
    // the idle ones, sets this and waits while mixBusy is set; a reader sets
    // mixBusy, then finds this set and leaves the blocks alone (both sides
    // sequentially consistent, so one of them sees the other). Writers:
    // morphexErrCallback (set), ClassMorphex::apply (clears when the job has
    // returned). Readers: the mixing step and the DSD source reads.
    std::atomic<bool> ringWithdrawn[kMaxTracks]{};

    // Idle ring tables. dummyPlayFrame is one stereo frame of silence;
    // dummyPlayTable points kRingBlocks times at it. The DSD idle buffer holds
    // dsdIdleBytes bytes of 0x96 (in a block twice that size) and every entry of
    // dsdIdleTable points at it. Written by the GUI's set-up functions while no
    // job runs; read through the per-track pointers above.
    double dummyPlayFrame[2]{};
    double *dummyPlayTable[kRingBlocks]{};
    uint8_t *dsdIdleBuffer{};
    int32_t dsdIdleBytes{};
    unsigned char *dsdIdleTable[kMaxTracks][kDsdIdleRow]{};

    // ---- Thread registry and track mapping ------------------------------------

    // The audio threads by registry index, and the next index. Writers: the
    // audioThread constructor and destructor, initAudioIoParameters (GUI).
    // Readers: the real-time path (a track's source rate, length and offset).
    std::atomic<audioThread *> audioThreads[kAudioThreadSlots]{};
    std::atomic<int32_t> audioThreadCount{};
    // Registry index feeding each track (-1 none), and the track whose material
    // is the longest. Writers: the GUI. Reader: the real-time path.
    std::atomic<int32_t> audioIoThreadId[kMaxTracks]{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    std::atomic<int32_t> longestTrack{};
    // The main window's mixer record reaches the engine whole, through
    // gAudioThread_setMixParam and engineMixParam (engine/engineparams.h).

    // ---- Device-buffer bookkeeping -----------------------------------------------
    // Writer: the real-time path (the set-up gives the start values). Readers:
    // the GUI timer.
    std::atomic<int64_t> outputFrameCount{};
    std::atomic<int32_t> prevBufferSize{-1};  // -1: no buffer yet
    std::atomic<bool> bufferSizeChanged{};
    std::atomic<int32_t> lastBufferFrames{};
    std::atomic<int32_t> recBufferFrames{kRecBufferFramesDefault};
    std::atomic<int32_t> inputChannels{};
    std::atomic<int32_t> maxOutputs{kMaxOutputsDefault};  // output columns the patch wraps at
    std::atomic<int32_t> firstOutputChannel{};

    // ---- Capture ring and input monitor -------------------------------------------
    // Positions, written by the real-time path (and cleared by the resets
    // below), read by the recorder's thread and the GUI.
    std::atomic<bool> inputMonitorEnable{};
    std::atomic<int32_t> inputMonitorChannel{};
    std::atomic<int32_t> captureBlockFrames{kCaptureBlockFramesDefault};
    std::atomic<int32_t> captureWriteBlock[kMaxTracks]{};
    std::atomic<int32_t> captureWriteOffset[kMaxTracks]{};
    std::atomic<int32_t> monitorReadBlock[kMaxTracks]{};
    std::atomic<int32_t> monitorReadOffset[kMaxTracks]{};
    std::atomic<int32_t> recordableBlocks[kMaxTracks]{};
    std::atomic<int32_t> captureBlocksWritten{};
    std::atomic<int32_t> monitorBlocksPlayed{};
    std::atomic<int32_t> samplesPerCaptureBlock[kCaptureBlocks]{};
    // The capture blocks the main window registers before the device runs: per
    // row its work buffers (monitorBuffer[row] is captureRingTable[row]) and
    // its left and right DSD buffers.
    double *captureRingTable[kMaxTracks][kCaptureBlocks]{};
    double **monitorBuffer[kMaxTracks]{};
    unsigned char *dsdRecBuffer0[kMaxTracks][kCaptureBlocks]{};
    unsigned char *dsdRecBuffer1[kMaxTracks][kCaptureBlocks]{};
    // Monitor peaks (stereo pairs). Writer: the real-time path. Reader: the GUI,
    // which sets clearMoniPeakFlag after reading.
    std::atomic<double> monPeakPosi[2]{};
    std::atomic<double> monPeakNega[2]{};
    std::atomic<bool> clearMoniPeakFlag{};

    // ---- Work buffers ----------------------------------------------------------------
    // Allocated by the GUI's memory functions before the device runs; grown by
    // bufferSwitchReserve (the stream's set-up, or the GUI timer after a device
    // buffer outgrew them; the mix-down thread grows the mixing buffers for its
    // own chunks), never on the device thread; freed at shut-down after the
    // device stopped.
    double *masterBuf[2]{};     // the master mix and the effect return
    int32_t masterBufFrames{};  // their capacity, stereo frames
    double *mixTrackBuf{};      // the track work buffer of the mixer
    double *mixFxBuf{};         // the effect bus
    int32_t mixBufFrames{};     // their capacity, stereo frames
    double *dsdDecimFirSrcBufCh[kMaxTracks]{};
    double *mixDecimFirSrcBuf{};
    double *mixDecimFirSrcBufCh[kMaxTracks]{};
    double *chAnalyzeBufTemp{};
    int32_t chAnalyzeBufTempFrames{};  // stereo frames

    // Buffers the main window allocates and bufferSwitchReserve regrows: the DSD
    // mute pattern (left and right halves) and the test-signal buffers.
    uint8_t *mutePatBuffer[2]{};
    double *sineWaveBuffer[2]{};
    int32_t sineWaveBufSize{};  // stereo frames of each
    // Bits each mutePatBuffer half holds (the main window's 65,536-byte halves
    // to begin with). Written by bufferSwitchReserve when it grows the buffer.
    int32_t mutePatBits{kMutePatInitialBits};
    // The blocks bufferSwitchReserve allocated (_aligned_malloc) when a device
    // buffer outgrew the main window's mute and test-signal buffers; null while
    // it has not. It frees these, and only these, when it grows them again, and
    // freeAudhioThreadMemories frees them at shut-down. The main window frees
    // the blocks it allocated itself from its own pointers.
    uint8_t *mutePatGrown{};
    double *sineWaveGrown[2]{};

    // ---- Processing objects -------------------------------------------------------------
    // The device's modulator and fade smoother; the monitor volume and the
    // volume actually applied (stereo pairs; the GUI's setter writes masterVol,
    // which reaches the engine in its parameter snapshot; the real-time path
    // writes totalVol); the lock around the per-track analysis rings.
    // The modulator and the fade smoother are the device thread's alone; other
    // threads ask for changes through the request words below, which the device
    // thread carries out at the start of its next buffer (or writer call)
    // (engineApplyOutputRequests, engine/dsdoutput.h).
    classDsm5thApp dsm5th;
    lpf fadeVolLpf;
    // Requests. fadeCoefRequest: the smoother's coefficient (negative: none);
    // mutePatCoefRequest: the mute pattern's glide coefficient (negative:
    // none); spliceLenRequest: the splice length (0: none). Writers:
    // ClassMorphex::apply (a job's rate), the audio thread's set-up,
    // initDsdParameters. fadeTargetRequest: kFadeTarget* (the input monitor);
    // fadeResetRequest: back to the state a stop leaves (initDsdParameters).
    std::atomic<double> fadeCoefRequest{-1.0};
    std::atomic<double> mutePatCoefRequest{-1.0};
    std::atomic<int32_t> spliceLenRequest{0};
    std::atomic<int32_t> fadeTargetRequest{kFadeTargetNone};
    std::atomic<bool> fadeResetRequest{false};
    // The fade level (the smoother's output pair) as the device thread left it
    // after its last buffer. Writer: the device thread. Reader: the GUI's meters.
    std::atomic<double> fadeLevel[2]{};
    // Equaliser history clears asked for by the GUI (kEqClear* bits), carried
    // out by the mixing step before its next chunk.
    std::atomic<uint32_t> eqClearRequest{0};
    std::atomic<double> masterVol[2]{1.0, 1.0};
    std::atomic<double> totalVol[2]{1.0, 1.0};
    std::mutex chFftBufMutex;

    // ---- Engine parameters (the GUI's setters, engine/engineparams.h) ------------------
    // The GUI's side of them. The equalisers' records, the polarity, the
    // processor word (and the mixer record, the monitor volume, the output
    // patch) reach the engine only in its parameter snapshot; the words here are
    // what the GUI last set, for the GUI and for building the next snapshot.

    // The equalisers: the main window's table of the 32 track records (kept by
    // address, so a track's record may be replaced or taken out by setting its
    // entry) and the master record. Reader: the snapshot's publisher (GUI).
    std::atomic<tPEQ **> trackPEQ{};
    std::atomic<tPEQ *> masterPEQ{};
    // The master compressor (registered, never run) and the effect-return
    // reverb. Writers: the GUI setters. Reader: the mixing step.
    std::atomic<ClassDynamics *> dynamicsFx{};
    std::atomic<reverb *> reverbFx{};
    // The reverb's input ring (kReverbRingFrames stereo frames, null until
    // allocateReverbBuffer) and its write point. Written by the GUI while the
    // effect is off or the device stopped; the mixing step writes the ring and
    // moves the point.
    double *reverbBuffer{};
    int32_t reverbBufPointer{};
    // The monitor volume in dB (-300 for silence) beside the linear masterVol.
    // Writer: setMasterVolDsp (GUI). Readers: the GUI.
    std::atomic<double> masterVoldB{0.0};
    // Output polarity inverted. Writer: seteNcPhase (GUI).
    std::atomic<bool> polarityInvert{};
    // Processor feature word; bit kCpuidSsse3 selects the modulator's SSSE3
    // variants (the same results). Writer: setCpuid (GUI).
    std::atomic<uint32_t> cpuid{};
    // Device watchdog: every device buffer stores wdtReload into wdtCounter;
    // the GUI's 45 ms timer counts wdtCounter down (downCountWDT). Writers:
    // setWDT and downCountWDT (GUI), the buffer switch (reload). Readers: both.
    std::atomic<int32_t> wdtReload{};
    std::atomic<int32_t> wdtCounter{};
    // Per-track start delays, filled by the main window through getDelayTable;
    // the engine itself does not read them.
    int64_t delayTable[kMaxTracks]{};

    // ---- The buffer switch's own (the device thread's alone) -----------------------
    // The modulator's integrators were set up by the first buffer.
    bool dsmInitialised{};
    // The material of a pure DSD stream ended with the last buffer, and the
    // bits the splice's delay still holds go out at the start of the next one.
    bool dsdTailPending{};
};

// Makes an engine in the state a process starts from: the ring tables
// pointing at the idle ones, the start values above, the command block an
// idle engine shows and the mix decimation histories. Null when an
// allocation failed.
[[nodiscard]] std::unique_ptr<tEngine> engineCreate();
// The process's current engine. There is always one: the process's own
// until engineMakeCurrent names another.
tEngine &engine();
// Makes `e` current (null: the process's own again). Only while no device
// stream, producer or mix-down runs on the engine being replaced.
void engineMakeCurrent(tEngine *e);

// ---- Resets and memory (GUI thread) --------------------------------------------------
// Each works on the current engine, or on the engine it is given.

// Result codes of the memory functions.
enum : int {
    kEngineMemOk = 0,
    kEngineErrMemory = -3,  // an allocation failed; what was allocated is freed
};

// Per-track ring state back to idle: produced and consumed counts 0, block
// tables to the idle tables, frames per block 1, and the capture and monitor
// positions and counters 0. The real-time path calls it too (a stop).
void clearBufferParameters();
void clearBufferParameters(tEngine &e);
// The ring block size to 0.
void clearBufBlkSizeFs();
void clearBufBlkSizeFs(tEngine &e);
// Play request and gate off, ring block size 0, every registry entry empty
// (the next registration continues after the last index handed out), and the
// per-track ring state as clearBufferParameters.
void initAudioIoParameters();
void initAudioIoParameters(tEngine &e);
// The master buffers (one frame each, grown by bufferSwitchReserve) and
// the channel-analysis scratch.
[[nodiscard]] int allocateAudioThreadMemories();
[[nodiscard]] int allocateAudioThreadMemories(tEngine &e);
// Frees them, the DSD idle buffer and the buffers bufferSwitchReserve grew
// (mutePatBuffer and sineWaveBuffer are then null where they pointed at
// those). Call only after the device stopped.
void freeAudhioThreadMemories();
void freeAudhioThreadMemories(tEngine &e);
// The per-track and mix decimation histories (zeroed) and the two mixing
// work buffers.
[[nodiscard]] int initAudioThreadMemoryWhole();
[[nodiscard]] int initAudioThreadMemoryWhole(tEngine &e);
void finishAudioThreadMemoryWhole();
void finishAudioThreadMemoryWhole(tEngine &e);
// The DSD idle buffer: at least as many bytes of 0x96 as the last device
// buffer had frames; every track's DSD table back to the idle table. Called
// only while the engine is stopped (the real-time path reads the tables
// while playing).
[[nodiscard]] int audioThread_resetDSDBuffers();
[[nodiscard]] int audioThread_resetDSDBuffers(tEngine &e);
// A new DSD idle buffer of 2 x bytes with the first `bytes` (and the rest)
// 0x96, and every idle-table entry pointing at it. Used by the set-up and by
// audioThread_resetDSDBuffers.
[[nodiscard]] int allocateDsdIdleBuffer(int32_t bytes);
[[nodiscard]] int allocateDsdIdleBuffer(tEngine &e, int32_t bytes);

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
