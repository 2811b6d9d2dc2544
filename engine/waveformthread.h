// The waveform worker: computes the min/max overview of one track's (or one
// timeline region's) file in the background through the conversion
// library's getAudioWaveForm, so that the track view can draw it.
//
// The owner gives the worker the library's entry point and the view it
// serves, sets the next job's parameters and queues a ClassGetWaveForm. The
// library writes the caller's per-level buffers and the worker's progress
// word while it runs; the owner must not reuse the buffers until
// waveFormPrepared has arrived for that job.
//
// Threads: setters, addTransaction, stop, stopAndWait and the getters run
// on the GUI thread; the job runs on the worker. The abort byte and the progress word
// are shared with the library's loop on the worker without a lock.
// waveFormPrepared is emitted on the worker: connect it queued.
#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/transactionthread.h"
#include "engine/morphexbinding.h"  // tGetAudioWaveFormFunc

class trackGraphic;  // the view; the worker keeps its address and never calls it

enum : int {
    kWaveFormErrNoEntry = -1,  // no getAudioWaveForm to call
    kWaveFormErrParams = -17,  // no levels, or a level without its arrays: nothing is computed
};

// What one overview job is given (a copy of the worker's parameters taken
// when the job is queued).
struct tWaveFormParams {
    std::u16string path;               // the file
    std::vector<int64_t> pointCounts;  // points per level, coarsest first
    int32_t kept = 0;                  // passed by the owner (1); the library has no use for it
    double **maxima = nullptr;         // caller's per-level arrays of stereo pairs
    double **minima = nullptr;
    trackGraphic *view = nullptr;
    int32_t levels = 0;
    int32_t track = 0;  // reported back in waveFormPrepared
};

// A waveform job. The worker fills mParams when the job is queued and
// deletes the job after apply.
class WFTransaction {
public:
    WFTransaction() = default;
    virtual ~WFTransaction() = default;
    WFTransaction(const WFTransaction &) = delete;
    WFTransaction &operator=(const WFTransaction &) = delete;

    // path: NUL-terminated UTF-16; start and end are ignored (the library
    // computes the whole file); abort: polled by the library; progress: written by
    // it. Returns the library's result (finest points made, or a negative
    // code), kWaveFormErrNoEntry without an entry point.
    virtual int apply(const char16_t *path, int64_t start, int64_t end, const int64_t *pointCounts, double **maxima,
                      double **minima, const uint8_t *abort, int64_t *progress, tGetAudioWaveFormFunc entry,
                      int levels) = 0;

    tWaveFormParams mParams;
};

class ClassGetWaveForm : public WFTransaction {
public:
    int apply(const char16_t *path, int64_t start, int64_t end, const int64_t *pointCounts, double **maxima,
              double **minima, const uint8_t *abort, int64_t *progress, tGetAudioWaveFormFunc entry,
              int levels) override;
};

class waveFormThread : public tTransactionThread<WFTransaction> {
    Q_OBJECT
public:
    explicit waveFormThread(QObject *parent = nullptr);
    ~waveFormThread() override;

    // The library's entry point (null: every job returns kWaveFormErrNoEntry)
    // and the view the worker serves. Set by the owner before it queues.
    void setWaveFormFunc(tGetAudioWaveFormFunc entry) { mEntry.store(entry, std::memory_order_relaxed); }
    void setTrackGraphic(trackGraphic *view) { mView = view; }
    trackGraphic *getTrackGraphic() const { return mView; }

    // The next job's parameters: the file (NUL-terminated UTF-16), levels
    // point counts (copied), a word that is kept for the owner (1), the per-level
    // maximum and minimum arrays (the caller's, levels of each), the view,
    // the level count and the track index reported back.
    void setParameters(const char16_t *path, const int64_t *pointCounts, int kept, double **maxima, double **minima,
                       trackGraphic *view, int levels, int track);
    // Clears the abort flag and queues the job (the worker owns it from
    // here) at normal priority.
    void addTransaction(WFTransaction *job);
    // Asks the running job to end (the library polls the abort byte before
    // every read); an idle worker counts as ended at once.
    void stop();
    // stop(), then waits at most boundMs for run() to return. True once it
    // has: the library writes the caller's arrays no more, and what it
    // wrote is seen by the caller (the worker's end is published with
    // release and read here with acquire), so the owner may clear or hand
    // them on. The bound is for a read that hangs, not for a job that ends.
    bool stopAndWait(int boundMs);

    bool isRunningFlag() const { return mFlags.running.load(std::memory_order_relaxed); }
    bool isEnded() const { return mFlags.ended.load(std::memory_order_relaxed); }
    bool isAborted() const { return mFlags.abort.load(std::memory_order_relaxed); }
    // The last job's result, the live progress word (first-level points
    // done; the library stores it with release after the points it counts,
    // so the points below it may be read) and its copy taken when the last
    // job returned.
    int64_t getResult() const { return mResult.load(std::memory_order_relaxed); }
    int64_t getProgress() const { return __atomic_load_n(&mProgress, __ATOMIC_ACQUIRE); }
    int64_t getFinalProgress() const { return mFinalProgress.load(std::memory_order_relaxed); }

signals:
    // After every job: the job's track index and whether the worker was
    // asked to stop.
    void waveFormPrepared(int track, bool aborted);

protected:
    void snapshotParameters(WFTransaction *job) override;
    int runTransaction(WFTransaction *job) override;
    void runStarting() override;
    void queueDrained() override;

private:
    tWaveFormParams mNext;  // guarded by mMutex
    std::atomic<tGetAudioWaveFormFunc> mEntry{nullptr};
    trackGraphic *mView = nullptr;
    tWorkThreadFlags mFlags;
    int64_t mProgress = 0;  // written by the library on the worker (release); read with acquire
    std::atomic<int64_t> mResult{0};
    std::atomic<int64_t> mFinalProgress{0};
};
