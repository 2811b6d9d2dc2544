#include "audiofile/jobs/flac2wavthread.h"

#include <QMutexLocker>

flac2wavThread::flac2wavThread(QObject *parent) : tTransactionThread<flacTransaction>(parent) {}

flac2wavThread::~flac2wavThread() {
    // The queued jobs are dropped before the wait, so that none of them runs
    // once the running one has given up.
    QList<flacTransaction *> pending;
    {
        QMutexLocker lock(&mMutex);
        mStopRequest = true;
        mAbort = true;
        pending.swap(mQueue);
    }
    finishTransactions();
    for (flacTransaction *job : pending) delete job;
}

void flac2wavThread::setParameters(const QString &firstPath, const QString &secondPath, tFileOpenMode mode,
                                   int *progress, tID3tagInfo *tag) {
    QMutexLocker lock(&mMutex);
    mNext.firstPath = firstPath;
    mNext.secondPath = secondPath;
    mNext.mode = mode;
    mNext.progress = progress;
    mNext.tag = tag;
}

void flac2wavThread::addTransaction(flacTransaction *job) { queueTransaction(job); }

void flac2wavThread::snapshotParameters(flacTransaction *) {
    // Nothing is copied here: a job reads the parameters when it starts.
    // The flags are cleared in the same critical section that queues the
    // job, so that a run leaving at this moment cannot report the worker
    // stopped with the job in hand.
    mAbort = false;
    mStopRequest = false;
    mStopped = false;
}

void flac2wavThread::stop() {
    QMutexLocker lock(&mMutex);
    mStopRequest = true;
    mAbort = true;
    if (!mLooping) mStopped = true;
}

void flac2wavThread::getFlacFileInfo(tFlacFileInfo *out) {
    if (!out) return;
    QMutexLocker lock(&mMutex);
    *out = mInfo;
}

void flac2wavThread::runStarting() { setPriority(QThread::NormalPriority); }

void flac2wavThread::runLeaving() { mStopped = true; }

int flac2wavThread::runTransaction(flacTransaction *job) {
    QMutexLocker lock(&mMutex);
    const Params p = mNext;
    tFlacFileInfo info = mInfo;
    lock.unlock();

    const int status = job->apply(p.firstPath, p.secondPath, &mAbort, p.progress, p.tag, &info);

    lock.relock();
    mInfo = info;
    mMessage.status = status;
    mMessage.flacPath = p.firstPath;
    mMessage.wavPath = p.secondPath;
    mMessage.mode = p.mode;
    emit flacConvCompleted(&mMessage);
    return status;
}
