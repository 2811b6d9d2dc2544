// The mix-down (bounce): ClassBounce mixes the blocks that every track's
// audio thread converts in bounce-feed mode into one temporary file, which
// the export dialog then converts like a single source. PCM rates give a
// 32-bit float WAV file, DSD rates a 1-bit DSDIFF file modulated by the
// engine's DSD output step.
//
// The main window owns the bounceThread and queues the job; the export
// dialog fills tBounceParam and polls its progress word; the main window
// reacts to bounceFinished (a negative result is a failure; 0 makes the
// file the export's source, also after a cancel).
//
// Threads: the setters, bounceStop and clearContFlags run on the GUI thread;
// the job runs on the mix-down thread and reads the tracks' rings through
// the engine's bounce hand-off (engine/playbackproducer.h) while each audio
// thread produces. The cancel byte, the progress word and the status record
// cross without a lock (whole words).
#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "base/transactionthread.h"
#include "engine/jobrecords.h"
#include "engine/mixing.h"  // kBounceNotReady

class AccessAudioFile;

// Results of ClassBounce::apply (and bounceFinished).
enum : int {
    kBounceOk = 0,
    kBounceErrTrackBack = -1,  // track 0's mixed position went backwards (status -19)
    kBounceErrWrite = -2,      // a write failed (status -21)
    kBounceErrMemory = -3,     // a buffer could not be had (no status)
    kBounceErrSize = -3,       // the final size update failed (status -23)
    kBounceErrMix = -5,        // the mixing step failed (status: its result)
    kBounceErrFeed = -6,       // a track's conversion failed (status -25)
    kBounceErrFile = -7,       // the file could not be opened or its header written (no status)
    kBounceErrCancelled = -8,  // cancelled before the first block arrived: no file was made
    kBounceErrParam = -17,     // a rate, channel count or word length the mix-down cannot write
};

// The status record's result words besides the mixing step's own.
enum : int32_t {
    kBounceStatusDone = 127,
    kBounceStatusTrackBack = -19,
    kBounceStatusWrite = -21,
    kBounceStatusSize = -23,
    kBounceStatusFeed = -25,
};

enum : int {
    kBounceChunkFrames = 20480,     // frames per write
    kBounceWavWriteBytes = 327680,  // write buffer of a WAV mix-down
    kBounceDsdWriteBytes = 40960,   // write buffer of a DSDIFF mix-down
    kBounceDsdBytes = 20480,        // each of the two DSD byte buffers
    kBounceFirstBlockChecks = 10,
    kBounceFirstBlockWaitMs = 500,
    kBouncePollMs = 10,
};

// Written by the job, read by the caller (whole words).
struct tBounceStatusStruct {
    uint8_t ready = 0;      // 1 while a block is mixed
    int32_t result = 0;     // the last mixing result; at the end kBounceStatusDone or a kBounceStatus* code
    int32_t blockSize = 0;  // frames per mixed block
    FILE *file = nullptr;   // the open output (for inspection)
    uint8_t *writeBuffer = nullptr;
};

// The mix-down's control bytes. Writers: the GUI (cancel, clearing), the
// job (done). Readers: the job (cancel, once per pass), the GUI.
struct tBounceContFlags {
    std::atomic<bool> flag0{false};  // not used
    std::atomic<bool> cancel{false};
    std::atomic<bool> flag2{false};  // not used
    std::atomic<bool> done{false};   // set at the end of a successful (or cancelled) mix-down

    void clear() {
        flag0.store(false, std::memory_order_relaxed);
        cancel.store(false, std::memory_order_relaxed);
        flag2.store(false, std::memory_order_relaxed);
        done.store(false, std::memory_order_relaxed);
    }
};

// The engine's offline mixing step as the mix-down calls it (bounceMixing,
// engine/mixing.h): mixes `frames` frames of block `block` (0..63) at
// `offset` of every track into masters[0] (and the effect return into
// masters[1]), advancing each track's position and its bounced count. 0,
// kBounceNotReady, or another negative code.
typedef int (*tBounceMixFunc)(int block, uint64_t *positions, double **masters, int frames, int offset);
// The engine's DSD output step as the mix-down calls it (fadeAudio,
// engine/dsdoutput.h, with the mute pattern as the source stream):
// modulates `bits` frames of the mix into the left and right byte streams
// (bits / 8 bytes each).
typedef void (*tBounceDsdFunc)(uint8_t *left, uint8_t *right, const double *frames, int bits, int channels);

class bounceTransaction {
public:
    bounceTransaction() = default;
    virtual ~bounceTransaction() = default;
    bounceTransaction(const bounceTransaction &) = delete;
    bounceTransaction &operator=(const bounceTransaction &) = delete;

    virtual int apply(tBounceParam *param, tBounceContFlags *flags, int32_t *progress, tBounceStatusStruct *status) = 0;

    tBounceParam mParam;               // the thread's copy when queued
    int32_t *mProgressWord = nullptr;  // the caller's progress word (mParam.status: its status record)
};

class ClassBounce : public bounceTransaction {
public:
    // The engine's mixing and DSD output steps (null: the engine's own); a
    // test may pass stand-ins.
    explicit ClassBounce(tBounceMixFunc mix = nullptr, tBounceDsdFunc dsd = nullptr);
    ~ClassBounce() override;

    // Waits for the feeds, mixes until the planned length is written or the
    // mix-down is cancelled, and fixes the file's sizes to what was written.
    // progress and status may be null.
    int apply(tBounceParam *param, tBounceContFlags *flags, int32_t *progress, tBounceStatusStruct *status) override;

    // Opens the output and writes its header: 0, -1 (open), 1 (header).
    int createFileToRec(tBounceParam *param);

    // Samples to write: the source length at the output rate.
    static int64_t outputSamples(int64_t length, int32_t outRate, int32_t srcRate);
    // 0 when count <= 0 or every track 0..count-1 has converted its first
    // block, else -1.
    static int checkFirstConverted(int count);

private:
    void closeFile();

    tBounceMixFunc mMix;
    tBounceDsdFunc mDsd;
    AccessAudioFile *mHandler = nullptr;
    FILE *mFile = nullptr;
};

class bounceThread : public tTransactionThread<bounceTransaction> {
    Q_OBJECT
public:
    explicit bounceThread(QObject *parent = nullptr);
    ~bounceThread() override;

    // Copies the record and keeps the addresses of its progress word and of
    // the status record it points to (both must outlive the job).
    void setParameters(tBounceParam *param);
    // Clears the abort flag and queues the job (owned from here) at normal
    // priority.
    void addTransaction(bounceTransaction *job);
    // Cancels the running mix-down at its next pass.
    void bounceStop() { mCont.cancel.store(true, std::memory_order_relaxed); }
    void clearContFlags() { mCont.clear(); }
    void stop();

    bool isDone() const { return mCont.done.load(std::memory_order_relaxed); }
    bool isRunningFlag() const { return mFlags.running.load(std::memory_order_relaxed); }
    bool isEnded() const { return mFlags.ended.load(std::memory_order_relaxed); }

signals:
    void bounceFinished(int result);

protected:
    void snapshotParameters(bounceTransaction *job) override;
    int runTransaction(bounceTransaction *job) override;
    void runStarting() override;

private:
    tBounceParam mParam;           // guarded by mMutex
    int32_t *mProgress = nullptr;  // the caller's; guarded by mMutex
    tBounceContFlags mCont;
    tWorkThreadFlags mFlags;
};
