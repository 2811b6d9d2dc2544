// The FLAC worker: a thread that runs FLAC jobs (ClassFlac2Wav,
// ClassWav2Flac) one after another and reports each one's result. The main
// window owns one for imports, the export window one for exports.
//
// Use from the GUI thread: stop() and poll isStopped() with short sleeps and
// a bounded count, then setParameters(), then addTransaction(new job). A job
// takes the parameters that are current when it starts, not those of the
// moment it was queued. flacConvCompleted is emitted on the worker's thread
// once per job, with the worker's lock held: connect it queued (the default
// across threads) and do not call back into the worker from a direct
// connection.
#pragma once

#include <QString>

#include <atomic>

#include "audiofile/jobs/flacjob.h"
#include "base/transactionthread.h"

class flac2wavThread : public tTransactionThread<flacTransaction> {
    Q_OBJECT

public:
    explicit flac2wavThread(QObject *parent = nullptr);
    // Raises the abort flag, waits for the running job to return and deletes
    // the jobs still queued.
    ~flac2wavThread() override;

    // The next job's arguments: for an import the FLAC source and the WAV to
    // write, for an export the FLAC file to write and the WAV to read.
    // progress (percent) and tag belong to the caller and must outlive the
    // job; mode is handed back in the message.
    void setParameters(const QString &firstPath, const QString &secondPath, tFileOpenMode mode, int *progress,
                       tID3tagInfo *tag);
    // Takes ownership of job (null is ignored), clears the abort and stopped
    // flags, queues the job and starts the worker at normal priority when it
    // is not running.
    void addTransaction(flacTransaction *job);
    // Asks the running job to stop (it returns -1 before its next block) and
    // returns at once. The stopped flag is set here when no job is running,
    // otherwise when the worker has run out of jobs.
    void stop();
    // True once the worker is idle after a stop, or has drained its queue.
    bool isStopped() const { return mStopped.load(std::memory_order_acquire); }
    // The stream description of the last import.
    void getFlacFileInfo(tFlacFileInfo *out);

signals:
    // After every job, with the worker's own message record (rewritten by
    // the next job).
    void flacConvCompleted(tFlac2WavMessages *message);

protected:
    void snapshotParameters(flacTransaction *job) override;
    int runTransaction(flacTransaction *job) override;
    void runStarting() override;
    void runLeaving() override;

private:
    struct Params {
        QString firstPath;
        QString secondPath;
        tFileOpenMode mode = kFileOpenReplace;
        int *progress = nullptr;
        tID3tagInfo *tag = nullptr;
    };

    // Guarded by the base's mMutex.
    Params mNext;  // what the next job starts with
    tFlac2WavMessages mMessage;
    tFlacFileInfo mInfo{};

    // Written by the GUI thread (addTransaction, stop) and the worker (run);
    // the abort flag is read by the running job, the stopped flag by the
    // owner's polling.
    std::atomic<bool> mStopRequest{false};
    std::atomic<bool> mAbort{false};
    std::atomic<bool> mStopped{false};
};
