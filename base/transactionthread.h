// The work-thread pattern every background job of the program follows: the
// GUI thread creates a job object, hands it to its thread's addTransaction,
// which snapshots the thread's parameters into it under the thread's mutex
// and queues it; the thread runs the queued jobs one after the other, in
// the order they came, deletes each after its apply, reports when the queue
// has run empty, and returns from run(). The next job starts it again.
//
// tTransactionThread<Job> is that pattern once; a concrete thread derives
// from it, gives its parameter snapshot and its way of running one job, and
// adds its own signals and flags. Job is an abstract job base with a
// virtual destructor; the thread owns a job from queueTransaction on.
//
// Leaving and restarting are decided under the mutex: run clears mLooping
// in the same critical section in which it finds the queue empty, and
// queueTransaction starts the thread again whenever mLooping is clear,
// first waiting for a run that has already decided to leave. A job queued
// at any moment therefore runs; none waits for a later job to restart the
// thread.
//
// The header is the program's alone: it needs Qt's threads, so nothing
// built into the conversion library includes it.
//
// Stopping never joins a running job: a thread's stop() only sets flags
// that the job polls, and the owner polls the thread's state with short
// sleeps. The destructor of a concrete thread must call finishTransactions()
// before its own members go, after its owner has stopped it.
#pragma once

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>

template <class Job>
class tTransactionThread : public QThread {
public:
    explicit tTransactionThread(QObject *parent = nullptr) : QThread(parent) {}
    ~tTransactionThread() override { finishTransactions(); }

    tTransactionThread(const tTransactionThread &) = delete;
    tTransactionThread &operator=(const tTransactionThread &) = delete;

    // Jobs waiting, the running one not counted (for diagnostics and tests).
    int queuedTransactions() {
        QMutexLocker lock(&mMutex);
        return static_cast<int>(mQueue.size());
    }

protected:
    // addTransaction's body. Takes the job (null is ignored): under the
    // mutex snapshots the parameters into it, appends it, (re)starts the
    // thread with the inherited priority when it is not looping, and wakes
    // it.
    void queueTransaction(Job *job) {
        if (!job) return;
        QMutexLocker lock(&mMutex);
        snapshotParameters(job);
        mQueue.append(job);
        if (!mLooping) {
            // A run that has decided to leave holds no lock any more and only
            // has to return; wait for it so that start() is not a no-op.
            if (isRunning() && QThread::currentThread() != this) QThread::wait();
            mLooping = true;
            start(QThread::InheritPriority);
        }
        mCond.wakeAll();
    }

    // Copies the thread's parameter set into a job being queued; called with
    // the mutex held.
    virtual void snapshotParameters(Job *job) = 0;
    // Runs one job: its started signal, apply (without the lock) and the
    // copy of its results back into the thread (under the lock, with
    // mMutex). Returns the job's result. The job is deleted after.
    virtual int runTransaction(Job *job) = 0;
    // First thing of every run(): the thread's flags.
    virtual void runStarting() {}
    // The queue ran empty after a job with this result; called without the
    // lock, before run() decides to leave (a job queued from here runs in
    // the same run()).
    virtual void transactionsDone(int result) { (void)result; }
    // run() has found the queue empty and decides to leave: called with
    // mMutex held, so no job can be queued between this and the decision. For
    // a flag that must never claim an idle thread while a job waits.
    virtual void runLeaving() {}
    // run() has decided to leave: the thread's flags. Called without the
    // lock; must neither take mMutex nor queue jobs.
    virtual void queueDrained() {}

    // Waits for run() to return and deletes the jobs still queued. For the
    // destructors of the concrete threads (and the base's own).
    void finishTransactions() {
        QThread::wait();
        // Pairs with the last word of every run(): whatever a run wrote,
        // up to its very end, is seen before the thread object goes.
        (void)mRunsEnded.load(std::memory_order_acquire);
        QMutexLocker lock(&mMutex);
        for (Job *job : mQueue) delete job;
        mQueue.clear();
        mLooping = false;
    }

    void run() override {
        runStarting();
        QMutexLocker lock(&mMutex);
        mLooping = true;
        for (;;) {
            if (mQueue.isEmpty()) {
                mCond.wait(&mMutex);
                if (mQueue.isEmpty()) break;
            }
            Job *job = mQueue.takeFirst();
            lock.unlock();
            const int result = runTransaction(job);
            delete job;
            lock.relock();
            if (mQueue.isEmpty()) {
                lock.unlock();
                transactionsDone(result);
                lock.relock();
                if (mQueue.isEmpty()) break;
            }
        }
        runLeaving();
        mLooping = false;
        lock.unlock();
        queueDrained();
        // The run's last touch of the object. A read-modify-write, so that
        // the runs' ends form one release sequence: an acquire of the newest
        // count sees every earlier run's writes too.
        mRunsEnded.fetch_add(1, std::memory_order_release);
    }

    QMutex mMutex;  // guards mQueue, mLooping and the thread's parameter set
    QWaitCondition mCond;
    QList<Job *> mQueue;    // first in, first out
    bool mLooping = false;  // a run() is taking jobs; cleared when it decides to leave
    std::atomic<uint64_t> mRunsEnded{0};  // runs that have returned
};

// The four flags most work threads keep: running, stop request, abort
// (polled by the running job) and ended (polled by the owner). Written by
// the owner (stop) and the thread (run), read by the job and the owner.
struct tWorkThreadFlags {
    std::atomic<bool> running{false};
    std::atomic<bool> stopRequest{false};
    std::atomic<bool> abort{false};
    std::atomic<bool> ended{false};

    // run() starting: the abort of an earlier stop no longer applies.
    void runStarting() {
        abort.store(false, std::memory_order_relaxed);
        running.store(true, std::memory_order_relaxed);
    }
    // The owner's stop: the job ends at its next poll; a thread that is not
    // running counts as ended at once.
    void stop() {
        stopRequest.store(true, std::memory_order_relaxed);
        abort.store(true, std::memory_order_relaxed);
        if (!running.load(std::memory_order_relaxed)) ended.store(true, std::memory_order_relaxed);
    }
    // The abort flag as the byte a library loop polls (0 or 1).
    const uint8_t *abortByte() const { return reinterpret_cast<const uint8_t *>(&abort); }
};
static_assert(sizeof(std::atomic<bool>) == 1 && std::atomic<bool>::is_always_lock_free,
              "tWorkThreadFlags::abortByte hands the flag's own byte to plain readers");
