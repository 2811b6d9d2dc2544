// The audio thread: the work thread that runs a track's playback or mix-down
// feed, or an export, as a conversion job of the conversion library. One
// per track (the main window's) plus one of the export dialog.
//
// The first audio thread of the process also sets up the engine-wide state
// of the real-time path (engine/enginestate.h) and creates the driver
// back-ends; every audio thread takes the two entry points of its jobs from
// the library's binding (engine/morphexbinding.h) and enters itself in the thread registry, through which the
// real-time path finds a track's source rate, length and start offset.
//
// Threads: the setters, addTransaction, stop and the getters run on the GUI
// thread; the jobs run on the audio thread; the three source values are
// also read on the device's thread (atomics).
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>

#include "base/transactionthread.h"
#include "dsp/dspvolume.h"
#include "engine/enginestate.h"
#include "engine/jobrecords.h"
#include "engine/morphexbinding.h"
#include "morphex/morphexapi.h"
#include "morphex/morphexrecords.h"

// The two entry points a conversion job calls (null when the library could
// not be bound).
struct tMorphexAPIs {
    tMorphexertFunc morphexert = nullptr;
    tId3tagInformationFunc id3tagInformation = nullptr;
};

// The entry points the engine's analysis and filter set-up take from the
// binding (initAudioIO_parameters), with the binding they came from.
// Written by the GUI thread before the device starts; read by the real-time
// path's set-up, the jobs and the mixer-analysis thread.
extern const tMorphexBinding *sMorphexlib;
extern std::atomic<tSetDecimationFirParamFunc> sDecimFirParamFunc;
extern std::atomic<tSetMeterFirParamFunc> sDecimMeterFirParamFunc;
extern std::atomic<tAudioDecimationFirFunc> sDecimFirFunc;
extern std::atomic<tAnalyzeFFTspectrumFunc> sAnalyzeFFTspectrumFunc;
extern std::atomic<tInitAnalyzingFFTparamsFunc> sInitAnalyzingFFTparamsFunc;

// Everything one job is given: the parameter set of an audio thread, and a
// job's own copy of it.
struct tAudioThreadParam {
    int32_t command = 0;              // kMorphexCmdPlay, kMorphexCmdBounceFeed, kMorphexCmdExport
    tMorphexParam job;                // the caller's record: both paths and everything after
    tAudioFileInfo fileInfo;          // the source; its sampleRate is the source rate
    tTimeInfo timeInfo;               // handed on; nothing reads it
    tDspVolItem items[kJobVolItems];  // automation, ended by an item whose start is kDspVolEnd
    int32_t track = 0;                // the caller's track index (not copied into jobs)
    tID3tagInfo *tag = nullptr;       // the caller's tag record
    int64_t trackOffset = 0;          // the track's start delay in source samples (not copied into jobs)
};

// A job of an audio thread. The thread fills mJob when the job is queued
// and deletes the job after apply.
class Transaction {
public:
    Transaction() = default;
    virtual ~Transaction() = default;
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Runs the job on the audio thread with the job's own copy of the
    // parameters; the result reaches the GUI in allTransactionsDone_.
    virtual int apply(int command, tMorphexParam *record, tMorphexAPIs entries, tAudioFileInfo *fileInfo,
                      tTimeInfo *timeInfo, tDspVolItem *items, tID3tagInfo *tag) = 0;

    tAudioThreadParam mJob;
};

class audioThread : public tTransactionThread<Transaction> {
    Q_OBJECT
public:
    explicit audioThread(QObject *parent = nullptr);
    ~audioThread() override;

    // The parameters of the next job (copied; the caller may refill its
    // records at once). items: the automation up to its end item (at most
    // kJobVolItems are taken; null means none). timeInfo and tag may be null.
    // A null record or file description leaves the parameters unchanged.
    void setAudioThreadParam(int command, const tMorphexParam *record, const tAudioFileInfo *fileInfo,
                             const tTimeInfo *timeInfo, const tDspVolItem *items, int track, tID3tagInfo *tag,
                             int64_t trackOffset);
    // Queues a job (the thread owns it from here) with a copy of the
    // parameters (all but the track index and offset) and starts the thread.
    // The caller sets the priority afterwards.
    void addTransaction(Transaction *job);
    // Asks the running job to end: a job that writes a file is cancelled
    // (convAbort); playback fades out and stops within kStopTimeoutMs of
    // device time (stopRequest). Returns at once.
    void stop();
    // Progress word (percent) of the running job, or of the last one.
    int getConvProgress();
    // engineStatus, also kept in the thread.
    int getStatus();
    void setForceStatus(int status);
    // kMeteringPreFader or kMeteringPostFader; other values are ignored.
    void setMeteringPoint(eMeteringPoint point);

    // Registry index (-1 when the registry was full).
    int getThreadIndex() const { return mThreadIndex; }
    // True when morphexert and id3tagInformation were bound.
    bool isLibraryBound() const { return mEntries.morphexert && mEntries.id3tagInformation; }

    // The source of the next (or running) job, for the real-time path's
    // play gate and end test: rate in Hz, length in source samples, start
    // offset in source samples.
    uint32_t getSourceRate() const { return mSourceRate.load(std::memory_order_relaxed); }
    uint64_t getSourceLength() const { return mSourceLength.load(std::memory_order_relaxed); }
    int64_t getTrackOffset() const { return mTrackOffset.load(std::memory_order_relaxed); }
    // Channels of that source (1 = mono: the meters and the DSD output
    // duplicate the left channel).
    uint32_t getSourceChannels() const { return mSourceChannels.load(std::memory_order_relaxed); }

    // The library file the program binds (morphexLibraryPath): set by
    // tests (and by nothing in the program). Set it before the first audio
    // thread is made.
    static void setLibraryPath(const QString &path);
    static QString libraryPath();

signals:
    void transactionStarted_(int code);
    void allTransactionsDone_(int result);
    void playStarted(int code);

public slots:
    void morphexPlayStarted(int code);

protected:
    void snapshotParameters(Transaction *job) override;
    int runTransaction(Transaction *job) override;
    void transactionsDone(int result) override;

private:
    tAudioThreadParam mParam;             // guarded by mMutex
    tMorphexParam *mJobRecord = nullptr;  // the record in use: mParam.job, or the running job's; mMutex
    tMorphexAPIs mEntries;
    int mThreadIndex = -1;
    int mStatusCopy = 0;
    std::atomic<bool> mStopByte{false};  // set by stop(); nothing reads it
    uint32_t *mCommandWord = nullptr;    // a job's command word, loaded before each job
    std::atomic<uint32_t> mSourceRate{0};
    std::atomic<uint64_t> mSourceLength{0};
    std::atomic<int64_t> mTrackOffset{0};
    std::atomic<uint32_t> mSourceChannels{0};
};

// Binds the library's analysis and filter entry points (sMorphexlib and the
// pointers above), prepares the analysis for kFftOrder points at the play
// rate, maps every track to no thread and allocates the DSD idle buffer.
// Called once by the main window after its first audio thread exists.
// kEngineMemOk, or kEngineErrMemory when the idle buffer cannot be had.
int initAudioIO_parameters();
