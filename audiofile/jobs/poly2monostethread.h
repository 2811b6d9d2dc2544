// The split and join worker: a thread that runs ClassPoly2Monoste jobs one
// after another and reports each one's result. The main window owns one for
// splitting multichannel files on opening, the combine window one for
// joining two mono files.
//
// Use from the GUI thread: stop() and poll isEnded() with short sleeps and a
// bounded count, then setParams(), then addTransaction(new
// ClassPoly2Monoste). poly2monosteConverted is emitted on the worker's
// thread once per job, with the worker's lock held: connect it queued (the
// default across threads) and do not call back into the worker from a
// direct connection.
#pragma once

#include <QString>

#include <atomic>

#include "audiofile/jobs/poly2monoste.h"
#include "base/transactionthread.h"

class poly2monosteThread : public tTransactionThread<poly2monosteTransaction> {
    Q_OBJECT

public:
    explicit poly2monosteThread(QObject *parent = nullptr);
    // Raises the abort flag, waits for the running job to return and deletes
    // the jobs still queued without running them.
    ~poly2monosteThread() override;

    // The next job's arguments, copied: the output path, the source (the
    // left one of a join), the right source of a join (empty for a split),
    // the caller's progress word (percent; must outlive the job) and the
    // request (null leaves the default request).
    void setParams(const QString &out, const QString &src, const QString &src2, int *progress,
                   const tPoly2MonosteParam *param);
    // Takes ownership of job (null is ignored), clears the abort and ended
    // flags, queues the job and starts the worker at normal priority when it
    // is not running.
    void addTransaction(poly2monosteTransaction *job);
    // Asks the running job to stop (it returns -1 after its current step)
    // and returns at once. The ended flag is set here when no job is
    // running, otherwise when the worker has run out of jobs.
    void stop();
    // True once the worker is idle after a stop, or has drained its queue.
    bool isEnded() const { return mEnded.load(std::memory_order_acquire); }

signals:
    // After every job, with the worker's own message record (rewritten by
    // the next job).
    void poly2monosteConverted(tPoly2MonosteMessages *message);

protected:
    void snapshotParameters(poly2monosteTransaction *job) override;
    int runTransaction(poly2monosteTransaction *job) override;
    void runStarting() override;
    void runLeaving() override;

private:
    struct Params {
        QString out;
        QString src;
        QString src2;
        int *progress = nullptr;
        tPoly2MonosteParam param;
    };

    // Guarded by the base's mMutex.
    Params mNext;
    tPoly2MonosteMessages mMessage;

    // Written by the GUI thread (addTransaction, stop) and the worker (run);
    // the abort flag is read by the running job, the ended flag by the
    // owner's polling.
    std::atomic<bool> mStopRequest{false};
    std::atomic<bool> mAbort{false};
    std::atomic<bool> mEnded{false};
};
