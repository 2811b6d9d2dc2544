// The device control thread: the stream is stopped, re-rated and started
// here, as jobs run one after the other at time-critical priority, so that
// the GUI thread never waits inside a device call. It owns the one device
// layer object (coreaudioio.h).
//
// A rate change, as the main window drives it: AudioStopReq() on the
// device layer (GUI thread), then the jobs ClassStopAudioQueue,
// setSamplingFreq/setSamplingFreqRec here, ClassSetSampleRateCoreAudio and
// ClassStartAudioQueue, then poll isBusy() every 10 ms (at most 500 times).
// The three jobs take about 0.87 s of settle waits.
//
// Threads: the setters and addTransaction run on the GUI thread; the jobs
// on this thread. The stored devices and rates are written before the jobs
// that need them are queued and read when each job starts.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/transactionthread.h"
#include "engine/coreaudioio.h"

// A device job. apply gets the device layer, the output device id and
// engine rate, and the input device id (0: none) and rate.
class CCATransaction {
public:
    CCATransaction() = default;
    virtual ~CCATransaction() = default;
    CCATransaction(const CCATransaction &) = delete;
    CCATransaction &operator=(const CCATransaction &) = delete;
    virtual void apply(CCoreAudioIOThread *io, int playDevice, unsigned playRate, int recDevice, unsigned recRate) = 0;
};

// 10 ms, then the output stream, then the input stream when an input
// device is chosen.
class ClassStartAudioQueue : public CCATransaction {
public:
    void apply(CCoreAudioIOThread *io, int playDevice, unsigned playRate, int recDevice, unsigned recRate) override;
};

// Stops and closes the streams.
class ClassStopAudioQueue : public CCATransaction {
public:
    void apply(CCoreAudioIOThread *io, int playDevice, unsigned playRate, int recDevice, unsigned recRate) override;
};

// The output rate and formats, then the input's.
class ClassSetSampleRateCoreAudio : public CCATransaction {
public:
    void apply(CCoreAudioIOThread *io, int playDevice, unsigned playRate, int recDevice, unsigned recRate) override;
};

class CContCoreAudioThread : public tTransactionThread<CCATransaction> {
    Q_OBJECT
public:
    explicit CContCoreAudioThread(QObject *parent = nullptr);
    // Waits for the running job, drops the queued ones and deletes the
    // device layer object.
    ~CContCoreAudioThread() override;

    CCoreAudioIOThread *ioThread() { return mIoThread; }

    // Takes the job (null is ignored): busy from now until the queue
    // drains; starts the thread when idle and raises it to time-critical
    // priority.
    void addTransaction(CCATransaction *job);
    // The devices and rates handed to every job from now on.
    void setSamplingFreq(int device, unsigned rate);
    void setSamplingFreqRec(int device, int rate);
    // Sleeps in 4 ms steps while *flag is set.
    static void waitThread(const std::atomic<bool> *flag);

    void stop() { mStopRequest.store(true, std::memory_order_relaxed); }
    int Init() {
        mStopRequest.store(false, std::memory_order_relaxed);
        return 0;
    }
    // Hand-over points of a request model this system does not use.
    void requestStart() {}
    void requestStop() {}
    void getDevSystemInfo(int) {}
    void getDevNames() {}
    void selectDevice(int) {}

    // Set from the first queued job until the queue has drained. Written
    // under the mutex by addTransaction and the thread; read by the GUI.
    bool isBusy() const { return mBusy.load(std::memory_order_acquire); }
    // The thread has left its loop (polled by the owner at shut-down).
    bool isEnded() const { return mEnded.load(std::memory_order_acquire); }
    int playDevice() const { return mPlayDevice.load(std::memory_order_relaxed); }
    unsigned playRate() const { return mPlayRate.load(std::memory_order_relaxed); }
    int recDevice() const { return mRecDevice.load(std::memory_order_relaxed); }
    unsigned recRate() const { return mRecRate.load(std::memory_order_relaxed); }

signals:
    void allTransactionsDone();

protected:
    void snapshotParameters(CCATransaction *) override {}
    int runTransaction(CCATransaction *job) override;
    void runStarting() override;
    void transactionsDone(int result) override;
    void queueDrained() override;

private:
    std::atomic<bool> mEnded{false};
    CCoreAudioIOThread *mIoThread = nullptr;
    std::atomic<bool> mBusy{false};
    std::atomic<int> mPlayDevice{0};
    std::atomic<unsigned> mPlayRate{96000};
    std::atomic<int> mRecDevice{0};
    std::atomic<unsigned> mRecRate{0};
    std::atomic<bool> mStopRequest{false};
};
