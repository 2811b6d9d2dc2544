// The variable-speed (time-stretch) worker: ClassVsaThread reads a track's
// playback ring, splits it into octave bands (ClassQMF), time-stretches each
// band (ClassVsa) and synthesises the result into two output slots that
// alternate; a consumer takes a slot that is marked ready and clears its
// flag. The main window keeps a vsaThread and stops it, but gives it no job
// in this program.
//
// Threads: setParam, addTransaction and stop run on the GUI thread; the job
// on the worker. The caller's tVsaParam is read by the job while the GUI may
// change the speed, the enable byte and the band switches (whole words,
// read with atomic loads). The slots' ready flags are set by the job and
// cleared by the consumer.
#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/transactionthread.h"
#include "dsp/qmf.h"
#include "dsp/vsa.h"

enum : int {
    kVsaBands = 6,
    kVsaBandSwitches = 16,
    kVsaSlotBytes = 2 << 20,              // each output slot
    kVsaSlotFrames = kVsaSlotBytes / 16,  // stereo double frames per slot
    kVsaFilterTaps = 51,
    kVsaTrack = 0,  // the track whose ring is read
};

// Result codes of ClassVsaThread::apply.
enum : int {
    kVsaThreadOk = 0,
    kVsaThreadErrMemory = -12,  // the job's buffers could not be had
    kVsaThreadErrParam = -17,   // no parameters, or a rate the filter bank refuses
};

// The variable-speed settings, owned by the caller.
struct tVsaParam {
    int32_t rate = 44100;  // Hz
    float speed = 1.0f;    // factor; 1.0 is normal speed
    int32_t a = 0;         // output hop, frames (set by selectVsaParameters)
    int32_t b = 0;         // overlap, frames
    int32_t n = 0;         // octave splits (n + 1 bands)
    int32_t reserved = 0;
    bool enabled = false;
    uint8_t bandSwitch[kVsaBandSwitches] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
};

// One row of the speed table.
struct tVsaSpeedRow {
    float below;  // first row whose value is above the speed
    int32_t a, b, n;
};

// The two output slots as the engine takes them. A ready flag is read and
// written with atomic operations on the plain byte: the worker sets it with
// release once the slot's frames and speed are stored, the consumer clears
// it with release when it has taken the slot.
struct tVsaOutputSlots {
    double *slot[2] = {nullptr, nullptr};        // stereo double frames
    bool *ready[2] = {nullptr, nullptr};         // set by the worker (release), cleared by the consumer
    int32_t frames[2] = {0, 0};                  // valid frames of a ready slot
    const float *speed[2] = {nullptr, nullptr};  // the speed a slot was made at
};

class vsaTransaction {
public:
    vsaTransaction() = default;
    virtual ~vsaTransaction() = default;
    vsaTransaction(const vsaTransaction &) = delete;
    vsaTransaction &operator=(const vsaTransaction &) = delete;

    // Runs until *abort is set.
    virtual int apply(const std::atomic<bool> *abort, tVsaParam *param) = 0;
};

class ClassVsaThread : public vsaTransaction {
public:
    ClassVsaThread();
    ~ClassVsaThread() override;

    int apply(const std::atomic<bool> *abort, tVsaParam *param) override;

    // The row of the speed table for speed and the parameters it sets: a, b
    // and n in the record, every band's rate and speed (min(speed, 2.0)),
    // the band decimation and the filter bank's splits. A speed of 999 or
    // more keeps the record's a, b and n.
    void selectVsaParameters(tVsaParam *param);
    // The table row for a speed (null from 999 on).
    static const tVsaSpeedRow *speedRow(float speed);

    // Hands the slots, their ready flags, sizes and speeds to the engine
    // (repVsaParamArray) and returns them.
    tVsaOutputSlots configVsaParamToAudioThread();
    // Every band's carry-over and tail, the pending counts and the filter
    // bank's histories cleared.
    void flushBufferingVsaSampleBank(tVsaParam *param);

    // For tests and diagnostics.
    const ClassVsa &band(int i) const { return mBand[i]; }
    const ClassQMF &filterBank() const { return mQmf; }
    int decimation(int band) const { return mDecim[band]; }
    int64_t readPosition() const { return mReadPos; }
    int currentSlot() const { return mCurSlot; }

private:
    bool buffersReady() const;
    // Frames taken from the track's ring at the read position into mInput.
    void readRing(double *const *blocks, int blockFrames, int frames);
    // One unit from the ring through the bands into the band outputs.
    int processUnit(double *const *blocks, int blockFrames, int unit, int a, int b, int n);
    // Synthesises the bands' common length into the current slot when it
    // fills the slot; true when a slot was completed.
    bool completeSlot(int n, float speed);

    ClassVsa mBand[kVsaBands];
    ClassQMF mQmf;
    std::unique_ptr<double[]> mSlot[2];
    double *mSlotPtr[2] = {nullptr, nullptr};  // the engine's view of mSlot
    bool mSlotReady[2] = {false, false};       // atomic builtins: the consumer holds the plain addresses
    int32_t mSlotFrames[2] = {0, 0};
    float mSlotSpeed[2] = {0.0f, 0.0f};
    int mDecim[kVsaBands] = {1, 2, 4, 8, 16, 16};
    double mDecimInv[kVsaBands] = {1.0, 0.5, 0.25, 0.125, 0.0625, 0.0625};
    int mUnitFrames = 1;
    int64_t mReadPos = 0;
    int mCurSlot = 0;
    int mProduced[kVsaBands] = {};  // stretched band frames waiting for synthesis
    int mPending[kVsaBands] = {};   // band input frames handed to the stretch, not yet turned into output
    float mSpeed = 1.0f;
    uint8_t mSwitch[kVsaBandSwitches] = {};

    // Work: one unit of input, the bands of one unit, and each band's
    // stretched output until it is synthesised.
    std::unique_ptr<double[]> mInput;
    std::unique_ptr<double[]> mBandIn[kVsaBands];
    std::unique_ptr<double[]> mBandOut[kVsaBands];
};

class vsaThread : public tTransactionThread<vsaTransaction> {
    Q_OBJECT
public:
    explicit vsaThread(QObject *parent = nullptr);
    ~vsaThread() override;

    // Clears the abort flag and queues the job at normal priority.
    void addTransaction(vsaTransaction *job);
    // The caller's parameters (kept by address; must outlive the jobs).
    void setParam(tVsaParam *param);
    // The job ends at its next poll; an idle thread counts as ended.
    void stop();

    bool isRunningFlag() const { return mFlags.running.load(std::memory_order_relaxed); }
    bool isEnded() const { return mFlags.ended.load(std::memory_order_relaxed); }

protected:
    void snapshotParameters(vsaTransaction *) override {}
    int runTransaction(vsaTransaction *job) override;
    void runStarting() override;
    void queueDrained() override;

private:
    tWorkThreadFlags mFlags;
    std::atomic<tVsaParam *> mParam{nullptr};
};
