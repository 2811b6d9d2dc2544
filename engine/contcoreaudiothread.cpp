#include "engine/contcoreaudiothread.h"

#include <chrono>
#include <thread>

namespace {
constexpr auto kStartSettle = std::chrono::milliseconds(10);
constexpr auto kWaitStep = std::chrono::milliseconds(4);
}  // namespace

void ClassStartAudioQueue::apply(CCoreAudioIOThread *io, int playDevice, unsigned, int recDevice, unsigned) {
    std::this_thread::sleep_for(kStartSettle);
    io->setup(playDevice);
    if (recDevice > 0) io->setupRec(recDevice);
}

void ClassStopAudioQueue::apply(CCoreAudioIOThread *io, int playDevice, unsigned, int, unsigned) {
    io->Term(playDevice);
}

void ClassSetSampleRateCoreAudio::apply(CCoreAudioIOThread *io, int playDevice, unsigned playRate, int recDevice,
                                        unsigned recRate) {
    (void)io->setSamplingFreq(playDevice, playRate);
    (void)io->setSamplingFreqRec(recDevice, recRate);
}

CContCoreAudioThread::CContCoreAudioThread(QObject *parent)
    : tTransactionThread<CCATransaction>(parent), mIoThread(new CCoreAudioIOThread()) {}

CContCoreAudioThread::~CContCoreAudioThread() {
    finishTransactions();
    delete mIoThread;
}

void CContCoreAudioThread::addTransaction(CCATransaction *job) {
    if (!job) return;
    {
        QMutexLocker lock(&mMutex);
        mBusy.store(true, std::memory_order_release);
    }
    queueTransaction(job);
    // Device calls must not wait behind the GUI or the audio threads.
    if (isRunning()) setPriority(QThread::TimeCriticalPriority);
}

void CContCoreAudioThread::setSamplingFreq(int device, unsigned rate) {
    mPlayDevice.store(device, std::memory_order_relaxed);
    mPlayRate.store(rate, std::memory_order_relaxed);
}

void CContCoreAudioThread::setSamplingFreqRec(int device, int rate) {
    mRecDevice.store(device, std::memory_order_relaxed);
    mRecRate.store(unsigned(rate), std::memory_order_relaxed);
}

void CContCoreAudioThread::waitThread(const std::atomic<bool> *flag) {
    while (flag && flag->load(std::memory_order_acquire)) std::this_thread::sleep_for(kWaitStep);
}

void CContCoreAudioThread::runStarting() { mEnded.store(false, std::memory_order_release); }

int CContCoreAudioThread::runTransaction(CCATransaction *job) {
    job->apply(mIoThread, mPlayDevice.load(std::memory_order_relaxed), mPlayRate.load(std::memory_order_relaxed),
               mRecDevice.load(std::memory_order_relaxed), mRecRate.load(std::memory_order_relaxed));
    return 0;
}

void CContCoreAudioThread::transactionsDone(int) {
    {
        // A job queued since the queue ran empty keeps the thread busy.
        QMutexLocker lock(&mMutex);
        if (!mQueue.isEmpty()) return;
        mBusy.store(false, std::memory_order_release);
    }
    emit allTransactionsDone();
}

void CContCoreAudioThread::queueDrained() { mEnded.store(true, std::memory_order_release); }
