// The mixer-analysis thread: a low-priority loop that runs for the whole
// program life and every 40 ms turns the engine's analysis feeds into
// spectra. Each cycle it refreshes the peak holds, analyses the tracks whose
// equaliser window is open plus one further track in turn (every track while
// a factory test runs), tells each analysed mixer strip its spectrum's peak
// frequency, and, while the master equaliser window is open, analyses the
// master and low-frequency rings.
//
// The main window creates it, fills tMixerTransactParams and queues one
// ClassMixer, which starts the loop. The loop sleeps on a wake-up that
// stop() gives, so a stop ends it at once (after a cycle under way);
// stopAndWait joins it.
//
// The engine does not know the mixer window or the factory test window: the
// record carries them as the two small interfaces below, which those
// windows implement.
//
// Threads: the slots, setters and getters run on the GUI thread; the loop on
// this thread. The flags the GUI sets are atomics read once per cycle. The
// per-track analysis rings and spectra are copied under chFftBufMutex and
// analysed outside it; the master rings are read without a lock.
#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "base/transactionthread.h"
#include "engine/audiothread.h"
#include "engine/mixrecords.h"

// What the analysis thread asks of the mixer window. Called on the analysis
// thread; the window passes the value on to the strip's display on its own
// thread. The window keeps its strips while the analysis-on flag is clear
// (the main window clears it while it adds or removes strips).
class tMixerStripAccess {
public:
    // The spectrum peak of track `strip` (below the track count), Hz:
    // chstrip::setFFTPeakFreq of that strip.
    virtual void setStripFFTPeakFreq(int strip, float hz) = 0;
    // The input channel for the strips: chstrip::setInputCh.
    virtual void setStripInputCh(int channel) = 0;

protected:
    ~tMixerStripAccess() = default;
};

// What the analysis thread asks of the factory test window.
class tTestSequenceSource {
public:
    // Steps of the loaded test sequence (DialogTlTest::getMaxSeq).
    virtual int getMaxSeq() const = 0;

protected:
    ~tTestSequenceSource() = default;
};

// Filled by the main window, copied by setParams.
struct tMixerTransactParams {
    int32_t status = 0;                         // -1 asks the analysis to end (read by ClassMixer::apply)
    int32_t trackCount = 0;                     // tracks whose peak holds are refreshed
    const int32_t *sampleRate = nullptr;        // the play rate, Hz, read every cycle
    tMixerStripAccess *mixer = nullptr;         // the mixer window
    tTestSequenceSource *testDialog = nullptr;  // the factory test window
};

class mixerTransaction {
public:
    mixerTransaction() = default;
    virtual ~mixerTransaction() = default;
    mixerTransaction(const mixerTransaction &) = delete;
    mixerTransaction &operator=(const mixerTransaction &) = delete;

    virtual int apply(tMixerTransactParams *params) = 0;

    tMixerTransactParams mParams;  // the thread's record when queued
};

// The one job of the analysis thread. Its queueing starts the loop; the
// thread runs the loop itself and never calls apply.
class ClassMixer : public mixerTransaction {
public:
    // Sleeps in 40 ms steps while the status is 0 or more; 0.
    int apply(tMixerTransactParams *params) override;
};

enum : int {
    kMixerCycleMs = 40,
    kMixerMasterEqId = 1023,  // eqWindowClosed: the master equaliser window
    kMixerPeakSearchBins = 8192,
};
constexpr double kMixerSpectrumStart = -300.0;  // the thread's own spectrum outputs before the first analysis
constexpr double kMixerPeakFloor = -500.0;      // a bin must exceed this to be a peak

class mixerThread : public tTransactionThread<mixerTransaction> {
    Q_OBJECT
public:
    // Allocates the buffers, takes the two analysis entry points from the
    // library's binding (morphexLibraryPath()) and prepares the analysis
    // for 44.1 kHz.
    explicit mixerThread(QObject *parent = nullptr);
    // Ends the loop and waits for it.
    ~mixerThread() override;

    void setParams(const tMixerTransactParams *params);
    // Clears the abort flag and queues the job (owned from here); the loop
    // runs at the lowest priority.
    void addTransaction(mixerTransaction *job);
    // The loop ends after its current cycle: the stop wakes its sleep. An
    // idle thread counts as ended.
    void stop();
    // stop(), then waits at most boundMs for run() to return. True once it
    // has: the thread touches nothing after, and whatever it wrote is seen
    // by the caller (its end is published with release, read with
    // acquire). A bound that only a hung cycle reaches.
    bool stopAndWait(int boundMs);

    // One analysis cycle (the loop calls it every 40 ms).
    void cyclicEvent();

    // The last peak frequency of a track, Hz (0 outside 0..31).
    float getFFTPeak(int track) const;
    // Starts the factory test: every track is analysed in every cycle.
    void startTLTest();
    int getTLTestCurSeq() const { return mTestStep.load(std::memory_order_relaxed); }
    int getTLTestLastSeq() const { return mTestLastStep.load(std::memory_order_relaxed); }
    // A timer flag for a timer-driven loop (execTimer); the transaction
    // loop does not look at it.
    void startTimer() { mTimerOn.store(true, std::memory_order_relaxed); }
    void stopTimer() { mTimerOn.store(false, std::memory_order_relaxed); }
    // Runs cyclicEvent from a 57 ms timer in this thread's event loop until
    // the loop is quit (finishThread): the timer-driven alternative to the
    // transaction loop, for a thread body that wants one.
    void execTimer();
    // Sleeps on the calling thread.
    static void waitMsec(int ms);

    // Set directly by the main window: the master equaliser window is open;
    // analysis is on (cleared while tracks are added or removed).
    void setMasterAnalysis(bool on) { mMasterAnalysis.store(on, std::memory_order_relaxed); }
    bool getMasterAnalysis() const { return mMasterAnalysis.load(std::memory_order_relaxed); }
    void setAnalysisOn(bool on) { mAnalysisOn.store(on, std::memory_order_relaxed); }

    // For diagnostics and tests.
    int getAnalysedTrackCount() const { return mAnalysedTracks.load(std::memory_order_relaxed); }
    int getRoundRobinIndex() const { return mRoundRobin.load(std::memory_order_relaxed); }
    int64_t getCycleCount() const { return mCycles.load(std::memory_order_relaxed); }
    int getLibraryRate() const { return mLibRate.load(std::memory_order_relaxed); }
    bool isEqWindowOpen(int track) const;
    bool isLibraryBound() const { return mAnalyze && mInitAnalysis; }
    bool isRunningFlag() const { return mFlags.running.load(std::memory_order_relaxed); }
    bool isEnded() const { return mFlags.ended.load(std::memory_order_relaxed); }
    const double *getSpectrum(int which) const { return which == 1 ? mSpectrum[1].get() : mSpectrum[0].get(); }
    void getMasterPeak(double out[2]) const;

    // The newest kFftOrder frames of a ring of ringFrames stereo frames
    // whose next write goes to writePoint: a pointer into the ring, or, when
    // they wrap, scratch filled with the ring's end and then its start. A
    // write point outside the ring counts as 0.
    static const double *analysisWindow(const double *ring, int ringFrames, int writePoint, double *scratch);

signals:
    void mixerEqButtonClicked(int track);

public slots:
    void changeSampleRateEvent(int rate);
    // Analysed tracks +1 for a positive argument, -1 otherwise (kept within
    // 0..kMaxTracks).
    void adddelTrackEvent(int add);
    void peakHoldMasterUpdateEvent(const double *pair);
    void mixerEqButtonClickEvent(int track);
    // kMixerMasterEqId clears the master-analysis flag; 0..31 that track's mark.
    void eqWindowClosed(int id);
    void finishThread();
    void openMixerWindowEvent() {}
    void masterEqButtonClickEvent() {}
    void setMixerParams(tMixParam *) {}
    void setMixerParamsOne() {}
    void setInputChEvent(int channel);

protected:
    void snapshotParameters(mixerTransaction *job) override;
    int runTransaction(mixerTransaction *job) override;
    void runStarting() override;
    void queueDrained() override;

private:
    void analyseTrack(int track, int rate, tAnalyzeFFTspectrumFunc analyze, tMixerStripAccess *mixer);
    // Sleeps one cycle or until stop(); true when stopped.
    bool sleepCycle();

    tMixerTransactParams mParams;  // guarded by mMutex; the loop takes a copy every cycle
    tWorkThreadFlags mFlags;
    std::mutex mWakeMutex;  // orders stop() against the loop's sleep
    std::condition_variable mWake;
    std::atomic<bool> mMasterAnalysis{false};
    std::atomic<bool> mAnalysisOn{true};
    std::atomic<bool> mEqOpen[kMaxTracks] = {};
    std::atomic<int32_t> mAnalysedTracks{1};
    std::atomic<int32_t> mRoundRobin{0};
    std::atomic<int32_t> mTestStep{-1};
    std::atomic<int32_t> mTestLastStep{0};
    std::atomic<int64_t> mCycles{0};
    std::atomic<int32_t> mLibRate{44100};
    std::atomic<bool> mTimerOn{false};

    tAnalyzeFFTspectrumFunc mAnalyze = nullptr;
    tInitAnalyzingFFTparamsFunc mInitAnalysis = nullptr;

    std::unique_ptr<double[]> mInput;        // kFftOrder stereo frames
    std::unique_ptr<double[]> mSpectrum[2];  // kSpectrumBins each
    std::unique_ptr<double[]> mScratch[2];   // kFftOrder stereo frames each (master, low band)
    std::atomic<float> mPeakFreq[kMaxTracks] = {};
    std::atomic<double> mMasterPeak[2] = {};
};
