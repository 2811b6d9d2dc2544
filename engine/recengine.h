// Recording: recEngineThread and its job ClassRecEngine write what the input
// monitor captures into a new WAV, DSDIFF or DSF file.
//
// The real-time path fills the 64-block capture ring (row 0) while input
// monitoring is on and counts the blocks ready for the recorder; the job
// polls that count every 50 ms and writes the ready blocks once more than
// 32 are waiting. At stop it writes the rest and fixes the file's sizes;
// stopped before recording started, it leaves no file.
//
// The main window owns the thread: the record button sets the parameters,
// queues a ClassRecEngine and calls recStart; the stop button calls
// recStop; recStopped arrives when the job has returned.
//
// Threads: the control flags are written by the GUI and polled by the job
// (atomics); the recordable count is raised by the real-time path and
// lowered here; the job reads a block while the real-time path writes newer
// ones (a recorder 64 blocks behind loses the oldest).
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/transactionthread.h"
#include "engine/recordingrecords.h"

class AccessAudioFile;

// Results of ClassRecEngine::apply.
enum : int {
    kRecOk = 0,
    kRecErrFile = -2,  // the file could not be opened, its header or a block not written
    kRecErrSize = -3,  // the final size update failed (the file is closed)
};

// The recorder's output formats (tRecParameters::format).
enum : int32_t {
    kRecFormatWav = 0,
    kRecFormatDsdiff = 1,
    kRecFormatDsf = 2,
};

enum : int {
    kRecPollMs = 50,
    kRecBatchBlocks = 32,         // blocks are written once more than this many wait
    kRecWriteBufSamples = 12800,  // write buffer capacity, samples (8 bytes per sample and channel)
    kRecWriteBufBytesPerChannel = 102400,
};

// Shared by the GUI thread and the job.
struct tRecControlFlags {
    std::atomic<bool> recording{false};    // set by recStart, cleared by recStop
    std::atomic<bool> stop{false};         // set by recStop
    std::atomic<bool> fileCreated{false};  // set by the job once the file has its header
    std::atomic<bool> done{false};         // set by the job at its end

    void clear() {
        recording.store(false, std::memory_order_relaxed);
        stop.store(false, std::memory_order_relaxed);
        fileCreated.store(false, std::memory_order_relaxed);
        done.store(false, std::memory_order_relaxed);
    }
};

class recEngineTransaction {
public:
    recEngineTransaction() = default;
    virtual ~recEngineTransaction() = default;
    recEngineTransaction(const recEngineTransaction &) = delete;
    recEngineTransaction &operator=(const recEngineTransaction &) = delete;

    virtual int apply(tRecParameters *param, tRecControlFlags *flags) = 0;

    tRecParameters mParam;  // the thread's copy when queued
};

class ClassRecEngine : public recEngineTransaction {
public:
    ClassRecEngine();
    ~ClassRecEngine() override;

    // Records until the stop flag: kRecOk, kRecErrFile or kRecErrSize.
    int apply(tRecParameters *param, tRecControlFlags *flags) override;
    // Opens the file and writes its header: 0, -1 (open), 1 (header).
    int createFileToRec(tRecParameters *param);

    int64_t getTotalSamples() const { return mTotal; }

private:
    // Writes n blocks from the current one on: 0, or kRecErrFile.
    int writeBlocks(int n);
    void closeFile();

    AccessAudioFile *mWav = nullptr;
    AccessAudioFile *mDsdiff = nullptr;
    AccessAudioFile *mDsf = nullptr;
    AccessAudioFile *mHandler = nullptr;

    std::u16string mPath;
    int32_t mRate = 0;
    int32_t mBits = 0;
    int32_t mChannels = 0;
    int32_t mFormat = kRecFormatWav;

    // Row 0 of the capture ring, taken at the start.
    double **mWorkBlocks = nullptr;
    unsigned char **mDsdLeft = nullptr;
    unsigned char **mDsdRight = nullptr;
    const std::atomic<int32_t> *mBlockSamples = nullptr;
    int mCurrentBlock = 0;

    std::unique_ptr<uint8_t[]> mWriteBuf;
    int64_t mWriteCapacity = 0;  // samples
    int64_t mTotal = 0;          // samples per channel written
    uint64_t mDsfBytes = 0;      // audio bytes of the DSF writes
    FILE *mFile = nullptr;
    bool mFileOpen = false;
    uint32_t mDsfWritten = 0;  // the DSF packer's last counts
    uint32_t mDsfValid = 0;
};

class recEngineThread : public tTransactionThread<recEngineTransaction> {
    Q_OBJECT
public:
    explicit recEngineThread(QObject *parent = nullptr);
    ~recEngineThread() override;

    // Clears the abort flag and the control flags and queues the job (owned
    // from here) at normal priority.
    void addTransaction(recEngineTransaction *job);
    void setRecParameters(const tRecParameters *param);
    void changeRecFileName(const QString &name);
    void recStart() { mCont.recording.store(true, std::memory_order_relaxed); }
    void recStop() {
        mCont.recording.store(false, std::memory_order_relaxed);
        mCont.stop.store(true, std::memory_order_relaxed);
    }
    void clearContFlags() { mCont.clear(); }
    void stop();

    bool isFileCreated() const { return mCont.fileCreated.load(std::memory_order_relaxed); }
    bool isDone() const { return mCont.done.load(std::memory_order_relaxed); }
    bool isRunningFlag() const { return mFlags.running.load(std::memory_order_relaxed); }
    bool isEnded() const { return mFlags.ended.load(std::memory_order_relaxed); }
    int lastResult() const { return mLastResult.load(std::memory_order_relaxed); }

signals:
    // After every job, whatever its result.
    void recStopped();

protected:
    void snapshotParameters(recEngineTransaction *job) override;
    int runTransaction(recEngineTransaction *job) override;
    void runStarting() override;

private:
    tRecParameters mParam;  // guarded by mMutex
    tRecControlFlags mCont;
    tWorkThreadFlags mFlags;
    std::atomic<int> mLastResult{0};
};
