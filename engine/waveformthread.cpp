#include "engine/waveformthread.h"

#include <QDeadlineTimer>

#include <limits>

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

int ClassGetWaveForm::apply(const char16_t *path, int64_t, int64_t, const int64_t *pointCounts, double **maxima,
                            double **minima, const uint8_t *abort, int64_t *progress, tGetAudioWaveFormFunc entry,
                            int levels) {
    if (!entry) return kWaveFormErrNoEntry;
    // Always the whole file: the library cuts the end to the file's frames.
    return entry(reinterpret_cast<const int16_t *>(path), 0, std::numeric_limits<int64_t>::max(), pointCounts, maxima,
                 minima, abort, progress, levels);
}

waveFormThread::waveFormThread(QObject *parent) : tTransactionThread<WFTransaction>(parent) {}

waveFormThread::~waveFormThread() {
    // A job still computing ends at the library's next poll; the caller's
    // buffers are not written after this returns.
    mFlags.stop();
    finishTransactions();
}

void waveFormThread::setParameters(const char16_t *path, const int64_t *pointCounts, int kept, double **maxima,
                                   double **minima, trackGraphic *view, int levels, int track) {
    QMutexLocker lock(&mMutex);
    mNext.path = path ? std::u16string(path) : std::u16string();
    if (pointCounts && levels > 0)
        mNext.pointCounts.assign(pointCounts, pointCounts + levels);
    else
        mNext.pointCounts.clear();
    mNext.kept = kept;
    mNext.maxima = maxima;
    mNext.minima = minima;
    mNext.view = view;
    mNext.levels = levels;
    mNext.track = track;
}

void waveFormThread::addTransaction(WFTransaction *job) {
    if (!job) return;
    mFlags.abort.store(false, kRelaxed);
    queueTransaction(job);
    setPriority(QThread::NormalPriority);
}

void waveFormThread::stop() { mFlags.stop(); }

void waveFormThread::snapshotParameters(WFTransaction *job) { job->mParams = mNext; }

bool waveFormThread::stopAndWait(int boundMs) {
    stop();
    if (!wait(QDeadlineTimer(boundMs))) return false;
    // Set by queueDrained as run()'s last word, or by stop() on a worker
    // that was idle.
    return mFlags.ended.load(std::memory_order_acquire);
}

void waveFormThread::runStarting() {
    // The abort flag is not cleared here: addTransaction cleared it before
    // the thread started, and a stop() that came in between must hold.
    mFlags.ended.store(false, kRelaxed);
    mFlags.running.store(true, kRelaxed);
}

int waveFormThread::runTransaction(WFTransaction *job) {
    tWaveFormParams &p = job->mParams;
    // A level count without its arrays would make the library write through
    // null pointers: such a job computes nothing.
    const bool usable = p.levels > 0 && p.maxima && p.minima && p.pointCounts.size() == static_cast<size_t>(p.levels);
    const int result = usable ? job->apply(p.path.c_str(), 0, 0, p.pointCounts.data(), p.maxima, p.minima,
                                           mFlags.abortByte(), &mProgress, mEntry.load(kRelaxed), p.levels)
                              : kWaveFormErrParams;
    mResult.store(result, kRelaxed);
    mFinalProgress.store(getProgress(), kRelaxed);
    emit waveFormPrepared(p.track, mFlags.abort.load(kRelaxed));
    return result;
}

void waveFormThread::queueDrained() {
    mFlags.running.store(false, kRelaxed);
    mFlags.ended.store(true, std::memory_order_release);
}
