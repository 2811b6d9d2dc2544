#include "engine/mixerthread.h"

#include <QString>
#include <QTimer>

#include <QDeadlineTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>

#include "engine/analysisrings.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "trace/debugclient.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kFftLog2 = 14;  // log2 of kFftOrder
constexpr size_t kWindowDoubles = 2 * static_cast<size_t>(kFftOrder);

std::unique_ptr<double[]> allocDoubles(size_t n, double fill) {
    std::unique_ptr<double[]> p(new (std::nothrow) double[n]);
    if (p) std::fill(p.get(), p.get() + n, fill);
    return p;
}

}  // namespace

int ClassMixer::apply(tMixerTransactParams *params) {
    while (params && __atomic_load_n(&params->status, __ATOMIC_RELAXED) >= 0) QThread::msleep(kMixerCycleMs);
    return 0;
}

mixerThread::mixerThread(QObject *parent) : tTransactionThread<mixerTransaction>(parent) {
    mInput = allocDoubles(kWindowDoubles, 0.0);
    for (auto &s : mSpectrum) s = allocDoubles(kSpectrumBins, kMixerSpectrumStart);
    for (auto &s : mScratch) s = allocDoubles(kWindowDoubles, 0.0);

    const tMorphexBinding &library = morphexBinding();
    mAnalyze = library.analyzeFFTspectrum;
    mInitAnalysis = library.initAnalyzingFFTparams;
    if (mInitAnalysis) mInitAnalysis(kFftOrder, mLibRate.load(kRelaxed));
}

mixerThread::~mixerThread() {
    mFlags.stop();
    finishTransactions();
}

void mixerThread::setParams(const tMixerTransactParams *params) {
    if (!params) return;
    QMutexLocker lock(&mMutex);
    // A running loop follows the new record from its next cycle on.
    mParams = *params;
}

void mixerThread::addTransaction(mixerTransaction *job) {
    if (!job) return;
    mFlags.abort.store(false, kRelaxed);
    queueTransaction(job);
    setPriority(QThread::LowestPriority);
}

void mixerThread::stop() {
    {
        // Under the wake mutex, so that the loop cannot test the flag, miss
        // the store and then sleep through the notification.
        std::lock_guard<std::mutex> lock(mWakeMutex);
        mFlags.stop();
    }
    mWake.notify_all();
}

bool mixerThread::stopAndWait(int boundMs) {
    stop();
    if (!wait(QDeadlineTimer(boundMs))) return false;
    // Set by queueDrained as run()'s last word, or by stop() on a thread
    // that never ran.
    return mFlags.ended.load(std::memory_order_acquire);
}

bool mixerThread::sleepCycle() {
    std::unique_lock<std::mutex> lock(mWakeMutex);
    return mWake.wait_for(lock, std::chrono::milliseconds(kMixerCycleMs),
                          [this] { return mFlags.abort.load(kRelaxed); });
}

void mixerThread::snapshotParameters(mixerTransaction *job) { job->mParams = mParams; }

void mixerThread::runStarting() {
    // The abort flag is not cleared here: addTransaction cleared it before
    // the thread started, and a stop() that came in between must hold.
    mFlags.ended.store(false, kRelaxed);
    mFlags.running.store(true, kRelaxed);
}

void mixerThread::queueDrained() {
    mFlags.running.store(false, kRelaxed);
    mFlags.ended.store(true, std::memory_order_release);
}

int mixerThread::runTransaction(mixerTransaction *) {
    // The job only starts the loop; its apply is not called.
    while (!sleepCycle()) cyclicEvent();
    return 0;
}

const double *mixerThread::analysisWindow(const double *ring, int ringFrames, int writePoint, double *scratch) {
    if (writePoint < 0 || writePoint > ringFrames) writePoint = 0;
    if (writePoint >= kFftOrder) return ring + 2 * static_cast<size_t>(writePoint - kFftOrder);
    // The window wraps: the ring's last frames, then its first writePoint.
    const int tail = kFftOrder - writePoint;
    std::memcpy(scratch, ring + 2 * static_cast<size_t>(ringFrames - tail), static_cast<size_t>(tail) * 16);
    std::memcpy(scratch + 2 * static_cast<size_t>(tail), ring, static_cast<size_t>(writePoint) * 16);
    return scratch;
}

void mixerThread::analyseTrack(int track, int rate, tAnalyzeFFTspectrumFunc analyze, tMixerStripAccess *mixer) {
    {
        std::lock_guard<std::mutex> lock(engine().chFftBufMutex);
        const double *ring = gpChAnalyzeBuf[track];
        if (!ring) return;
        std::memcpy(mInput.get(), ring, kWindowDoubles * sizeof(double));
    }
    const int r = analyze(kFftOrder, kFftLog2, mSpectrum[0].get(), mSpectrum[1].get(), mInput.get());
    if (r < 0 && DebugClient::sDebugLevel > 9)
        DebugClient::SendTrace(QStringLiteral("AnalyzeFFT Error!"), "MAIN", 10, __FILE__, __LINE__, "cyclicEvent");

    int peak = 0;
    {
        std::lock_guard<std::mutex> lock(engine().chFftBufMutex);
        double *left = gpChFFTAmplitude[2 * track];
        double *right = gpChFFTAmplitude[2 * track + 1];
        if (left && right) {
            std::memcpy(left, mSpectrum[0].get(), kSpectrumBins * sizeof(double));
            std::memcpy(right, mSpectrum[1].get(), kSpectrumBins * sizeof(double));
            // The first of equal maxima wins.
            const double *s = mSpectrum[1].get();
            double best = kMixerPeakFloor;
            for (int k = 0; k < kMixerPeakSearchBins; ++k) {
                if (s[k] > best) {
                    best = s[k];
                    peak = k;
                }
            }
        }
    }
    // The centre of bin k of the analysis, in double so that no product of
    // rate and bin overflows.
    const float hz = static_cast<float>((2.0 * peak + 1.0) * rate / (2.0 * kFftOrder));
    mPeakFreq[track].store(hz, kRelaxed);
    if (mixer) mixer->setStripFFTPeakFreq(track, hz);
}

void mixerThread::cyclicEvent() {
    mCycles.fetch_add(1, kRelaxed);
    if (!mAnalysisOn.load(kRelaxed)) return;

    tMixerTransactParams params;
    {
        QMutexLocker lock(&mMutex);
        params = mParams;
    }
    const int rate = params.sampleRate ? __atomic_load_n(params.sampleRate, __ATOMIC_RELAXED) : mLibRate.load(kRelaxed);

    // The peak holds of the tracks the main window counts.
    const int peakRows = std::clamp(params.trackCount, 0, static_cast<int>(kMaxTracks));
    for (int t = 0; t < peakRows; ++t) (void)getPeakHoldAudio(t);

    const int analysed = std::clamp(mAnalysedTracks.load(kRelaxed), 0, static_cast<int>(kMaxTracks));
    const bool testing = mTestStep.load(kRelaxed) >= 0;
    const int turn = mRoundRobin.load(kRelaxed);
    const tAnalyzeFFTspectrumFunc analyze = mAnalyze;
    if (mInput && mSpectrum[0] && mSpectrum[1]) {
        for (int j = 0; j < analysed; ++j) {
            if (!mEqOpen[j].load(kRelaxed) && j != turn && !testing) continue;
            if (!analyze) return;  // no library: no spectra this cycle
            analyseTrack(j, rate, analyze, params.mixer);
        }
    }
    const int next = mRoundRobin.load(kRelaxed) + 1;
    mRoundRobin.store(next >= analysed ? 0 : next, kRelaxed);

    if (!mMasterAnalysis.load(kRelaxed) || !analyze || !mScratch[0] || !mScratch[1]) return;
    const double *master =
        analysisWindow(sAnalyzeBuffer, kMasterRingFrames, curFftSample.load(kRelaxed), mScratch[0].get());
    (void)analyze(kFftOrder, kFftLog2, sFftAmplitude[0], sFftAmplitude[1], master);
    const double *low = analysisWindow(sAnalyzeBufferLowFreq, kLowFreqRingFrames, curFftSampleLowFreq.load(kRelaxed),
                                       mScratch[1].get());
    (void)analyze(kFftOrder, kFftLog2, sFftAmplitudeLowFreq[0], sFftAmplitudeLowFreq[1], low);
}

float mixerThread::getFFTPeak(int track) const {
    return engineTrackSlot(track) >= 0 ? mPeakFreq[track].load(kRelaxed) : 0.0f;
}

bool mixerThread::isEqWindowOpen(int track) const {
    return engineTrackSlot(track) >= 0 && mEqOpen[track].load(kRelaxed);
}

void mixerThread::getMasterPeak(double out[2]) const {
    out[0] = mMasterPeak[0].load(kRelaxed);
    out[1] = mMasterPeak[1].load(kRelaxed);
}

void mixerThread::startTLTest() {
    tTestSequenceSource *dialog;
    {
        QMutexLocker lock(&mMutex);
        dialog = mParams.testDialog;
    }
    mTestLastStep.store(dialog ? dialog->getMaxSeq() : 0, kRelaxed);
    mTestStep.store(0, kRelaxed);
}

void mixerThread::execTimer() {
    QTimer timer;
    timer.setInterval(57);
    QObject::connect(&timer, &QTimer::timeout, [this] { cyclicEvent(); });
    timer.start();
    exec();
}

void mixerThread::waitMsec(int ms) {
    if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}

void mixerThread::changeSampleRateEvent(int rate) {
    mLibRate.store(rate, kRelaxed);
    if (mInitAnalysis) mInitAnalysis(kFftOrder, rate);
}

void mixerThread::adddelTrackEvent(int add) {
    const int n = mAnalysedTracks.load(kRelaxed) + (add > 0 ? 1 : -1);
    mAnalysedTracks.store(std::clamp(n, 0, static_cast<int>(kMaxTracks)), kRelaxed);
}

void mixerThread::peakHoldMasterUpdateEvent(const double *pair) {
    if (!pair) return;
    mMasterPeak[0].store(pair[0], kRelaxed);
    mMasterPeak[1].store(pair[1], kRelaxed);
}

void mixerThread::mixerEqButtonClickEvent(int track) {
    if (engineTrackSlot(track) >= 0) mEqOpen[track].store(true, kRelaxed);
}

void mixerThread::eqWindowClosed(int id) {
    if (id == kMixerMasterEqId)
        mMasterAnalysis.store(false, kRelaxed);
    else if (engineTrackSlot(id) >= 0)
        mEqOpen[id].store(false, kRelaxed);
}

void mixerThread::finishThread() {
    exit(0);
    quit();
}

void mixerThread::setInputChEvent(int channel) {
    tMixerStripAccess *mixer;
    {
        QMutexLocker lock(&mMutex);
        mixer = mParams.mixer;
    }
    if (mixer) mixer->setStripInputCh(channel);
}
