// The engine-facing half of the main window: the device control thread and
// the device layer's answers, the work threads, the binding of the
// conversion library, the compressor lent to the engine, the capture ring
// the device stream writes, the mixer-analysis record and the engine's test
// blocks. None of it is a widget's business; the main window owns one core
// and shows what it reports. GUI thread only.
//
// Everything here is owned by a member: a work thread is asked to stop and
// deleted once its run has returned (bounded wait) when its owner goes, and
// aligned blocks go back through _aligned_free. Construction makes nothing:
// the window makes each part at its place in its own construction, so a
// window that stops at its memory check leaves the rest unmade.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/deviceaccess.h"
#include "app/startupbridges.h"
#include "app/startupthreads.h"
#include "engine/mixrecords.h"
#include "engine/morphexbinding.h"

class bounceThread;
class recEngineThread;
class vsaThread;
class flac2wavThread;
class poly2monosteThread;
class mixerThread;
class ClassDynamics;
class CContCoreAudioThread;
struct tPEQ;

enum : int {
    kCoreCaptureRows = 3,
    kCoreCaptureBlocks = 64,
    kCoreCaptureByteRows = 32,
    kCoreCaptureBlockFrames = 4096,
    kCoreEqSlots = 33,  // 32 tracks and the master
};

// An owning pointer that also reads as the plain pointer, so that the
// object can be handed to connect() and to calls that take T*.
template <typename T, typename Deleter = std::default_delete<T>>
class tOwned : public std::unique_ptr<T, Deleter> {
public:
    using std::unique_ptr<T, Deleter>::unique_ptr;
    operator T *() const { return this->get(); }
};

// A work thread's deleter: the thread is asked to stop and deleted once
// its run has returned, polling every 100 ms at most ten times; a thread
// still running then is left alone, since deleting a running QThread
// aborts the process.
struct tStopThreadDeleter {
    template <typename T>
    void operator()(T *thread) const {
        thread->stop();
        startup_deleteWhenStopped(thread, 10);
    }
};
template <typename T>
using tOwnedThread = tOwned<T, tStopThreadDeleter>;

// The control thread's deleter: the shut-down has stopped it (stopDevice);
// it is deleted once its run has returned, at most ten polls of 100 ms.
struct tControlThreadDeleter {
    void operator()(CContCoreAudioThread *thread) const;
};

// The mixer-analysis thread's deleter: wakes it with its stop and waits for
// its run to return (a bound only a hang reaches), then deletes it.
struct tAnalysisThreadDeleter {
    void operator()(mixerThread *thread) const;
};

struct tCoreAlignedFree {
    void operator()(void *block) const;
};

// The DSD mute pattern and the test-signal blocks the window made. The
// engine may replace them with larger blocks of its own (and free those
// itself), so the engine's globals are cleared only while they still point
// at these.
struct tMutePatternFree {
    void operator()(uint8_t *block) const;
};
struct tSineBlockFree {
    int channel = 0;
    void operator()(double *block) const;
};

class SonvexCore {
public:
    SonvexCore();
    ~SonvexCore();
    SonvexCore(const SonvexCore &) = delete;
    SonvexCore &operator=(const SonvexCore &) = delete;

    // --- Devices ---
    // The device layer's answers, bound to the control thread.
    tMainDeviceAccess mDevices;
    // The first row of the capture ring (every block, both byte arrays),
    // from `allocate`; false when a block could not be had.
    bool allocateCaptureRow(void *(*allocate)(uint64_t size, uint64_t alignment));
    // Stops the device stream and the control thread with their bounded
    // waits; returns the line the shut-down prints (finish OK or timeout).
    const char *stopDevice();

    // --- The equaliser records the engine reads ---
    // The tracks' records, then the master's (setPEQClassToDSP hands the
    // engine this table; the window refreshes it from its track records).
    tPEQ *mEqTable[kCoreEqSlots] = {};

    // --- The capture ring the device stream writes ---
    double *mCaptureStereo[kCoreCaptureRows][kCoreCaptureBlocks] = {};
    uint8_t *mCaptureBytes[2][kCoreCaptureByteRows][kCoreCaptureBlocks] = {};
    int mCaptureBlockFrames = 0;
    // Capture blocks replaced while the stream may still read them; freed
    // when the stream next stops (or with the core).
    std::vector<std::unique_ptr<void, void (*)(void *)>> mRetiredCaptureBlocks;
    void freeRetiredCaptureBlocks() { mRetiredCaptureBlocks.clear(); }

    // --- The mixer-analysis thread's record ---
    tMixerTransactParams mMixerTransactParams{};
    // What the mixer-analysis thread asks of the factory test window.
    tMainTestSequence mTestSequence;
    // Asks the analysis loop to end through its parameters (status -1).
    void endAnalysis();

    // --- Engine test blocks ---
    tOwned<uint8_t, tMutePatternFree> mMutePatBlock;
    tOwned<double, tSineBlockFree> mSineWaveBlock[2];
    // Makes both and hands them to the engine.
    void makeTestBlocks();

    // --- Work threads, in the order the shut-down deletes them ---
    // (declared in the reverse order, so that the members' own destruction
    // keeps it too). finishWorkers deletes them in that order now.
    tOwned<mixerThread, tAnalysisThreadDeleter> mMixerThread;
    tOwnedThread<poly2monosteThread> mPoly2MonosteThread;
    tOwnedThread<vsaThread> mVsaThread;
    tOwnedThread<recEngineThread> mRecEngineThread;
    tOwnedThread<flac2wavThread> mFlac2WavThread;
    tOwnedThread<bounceThread> mBounceThread;
    // Stopped by stopDevice; deleted without a further stop request.
    tOwned<CContCoreAudioThread, tControlThreadDeleter> mContCoreAudioThread;
    void finishWorkers();

    // --- The conversion library and the compressor lent to the engine ---
    const tMorphexBinding *mLibrary = nullptr;  // the program's one binding, shared
    tOwned<ClassDynamics> mDynamics;

private:
    void freeCaptureRing();
};
