#include "audiofile/jobs/flac2wavthread.h"

#include <QMutexLocker>

flac2wavThread::flac2wavThread(QObject *parent) : QThread(parent) {}

flac2wavThread::~flac2wavThread() {
    QList<flacTransaction *> pending;
    {
        QMutexLocker lock(&mMutex);
        mStopRequest = true;
        mAbort = true;
        pending.swap(mQueue);
    }
    wait();
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

void flac2wavThread::addTransaction(flacTransaction *job) {
    if (!job) return;
    QMutexLocker lock(&mMutex);
    mAbort = false;
    mStopRequest = false;
    mStopped = false;
    mQueue.append(job);
    if (!mLoopActive) {
        mLoopActive = true;
        // run may have decided to return but not have returned yet; start()
        // would then do nothing and the job would wait for the next one.
        if (isRunning()) wait();
        start(QThread::InheritPriority);
        setPriority(QThread::NormalPriority);
    }
}

void flac2wavThread::stop() {
    QMutexLocker lock(&mMutex);
    mStopRequest = true;
    mAbort = true;
    if (!mLoopActive) mStopped = true;
}

void flac2wavThread::getFlacFileInfo(tFlacFileInfo *out) {
    if (!out) return;
    QMutexLocker lock(&mMutex);
    *out = mInfo;
}

void flac2wavThread::run() {
    for (;;) {
        QMutexLocker lock(&mMutex);
        if (mQueue.isEmpty()) {
            mLoopActive = false;
            mStopped = true;
            return;
        }
        flacTransaction *job = mQueue.takeFirst();
        const Params p = mNext;
        tFlacFileInfo info = mInfo;
        lock.unlock();

        const int status = job->apply(p.firstPath, p.secondPath, &mAbort, p.progress, p.tag, &info);
        delete job;

        lock.relock();
        mInfo = info;
        mMessage.status = status;
        mMessage.flacPath = p.firstPath;
        mMessage.wavPath = p.secondPath;
        mMessage.mode = p.mode;
        emit flacConvCompleted(&mMessage);
    }
}
