#include "audiofile/jobs/poly2monostethread.h"

#include <QMutexLocker>

poly2monosteThread::poly2monosteThread(QObject *parent) : QThread(parent) {}

poly2monosteThread::~poly2monosteThread() {
    QList<poly2monosteTransaction *> pending;
    {
        QMutexLocker lock(&mMutex);
        mStopRequest = true;
        mAbort = true;
        pending.swap(mQueue);
    }
    wait();
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

void poly2monosteThread::addTransaction(poly2monosteTransaction *job) {
    if (!job) return;
    QMutexLocker lock(&mMutex);
    mAbort = false;
    mStopRequest = false;
    mEnded = false;
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

void poly2monosteThread::stop() {
    QMutexLocker lock(&mMutex);
    mStopRequest = true;
    mAbort = true;
    if (!mLoopActive) mEnded = true;
}

void poly2monosteThread::run() {
    for (;;) {
        QMutexLocker lock(&mMutex);
        if (mQueue.isEmpty()) {
            mLoopActive = false;
            mEnded = true;
            return;
        }
        poly2monosteTransaction *job = mQueue.takeFirst();
        const Params p = mNext;
        lock.unlock();

        const int result = job->apply(p.out, p.src, p.src2, &mAbort, p.progress, p.param);
        delete job;

        lock.relock();
        mMessage.result = result;
        mMessage.param = p.param;
        emit poly2monosteConverted(&mMessage);
    }
}
