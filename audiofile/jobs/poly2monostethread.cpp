#include "audiofile/jobs/poly2monostethread.h"

#include <QMutexLocker>

poly2monosteThread::poly2monosteThread(QObject *parent) : tTransactionThread<poly2monosteTransaction>(parent) {}

poly2monosteThread::~poly2monosteThread() {
    // The queued jobs are dropped before the wait, so that none of them runs
    // once the running one has given up.
    QList<poly2monosteTransaction *> pending;
    {
        QMutexLocker lock(&mMutex);
        mStopRequest = true;
        mAbort = true;
        pending.swap(mQueue);
    }
    finishTransactions();
    for (poly2monosteTransaction *job : pending) delete job;
}

void poly2monosteThread::setParams(const QString &out, const QString &src, const QString &src2, int *progress,
                                   const tPoly2MonosteParam *param) {
    QMutexLocker lock(&mMutex);
    mNext.out = out;
    mNext.src = src;
    mNext.src2 = src2;
    mNext.progress = progress;
    mNext.param = param ? *param : tPoly2MonosteParam{};
}

void poly2monosteThread::addTransaction(poly2monosteTransaction *job) { queueTransaction(job); }

void poly2monosteThread::snapshotParameters(poly2monosteTransaction *) {
    // Nothing is copied here: a job reads the parameters when it starts.
    // The flags are cleared in the same critical section that queues the
    // job, so that a run leaving at this moment cannot report the worker
    // ended with the job in hand.
    mAbort = false;
    mStopRequest = false;
    mEnded = false;
}

void poly2monosteThread::stop() {
    QMutexLocker lock(&mMutex);
    mStopRequest = true;
    mAbort = true;
    if (!mLooping) mEnded = true;
}

void poly2monosteThread::runStarting() { setPriority(QThread::NormalPriority); }

void poly2monosteThread::runLeaving() { mEnded = true; }

int poly2monosteThread::runTransaction(poly2monosteTransaction *job) {
    QMutexLocker lock(&mMutex);
    const Params p = mNext;
    lock.unlock();

    const int result = job->apply(p.out, p.src, p.src2, &mAbort, p.progress, p.param);

    lock.relock();
    mMessage.result = result;
    mMessage.param = p.param;
    emit poly2monosteConverted(&mMessage);
    return result;
}
