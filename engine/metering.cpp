#include "engine/metering.h"

#include <cstring>
#include <mutex>
#include <new>

#include "audiofile/audiohelpers.h"
#include "engine/asiofunc.h"
#include "engine/audiothread.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"

double sMeterDecimBuf[2 * firCoefEntries(kMeterFirTaps)];
double sMeterDecimBufPCMPCM[2 * firCoefEntries(kPcmPeakFirTaps)];
double sMeterDecimBufTrk[2 * firCoefEntries(kTrackMeterFirTaps)];
double sFFTLowFreqDecimBuf[2 * firCoefEntries(kLowFreqFirTaps)];

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr uint64_t kSpectrumBytes = uint64_t(kSpectrumBins) * 8;
constexpr double kMeterCutoffMax = 50000.0;
constexpr double kMeterCutoffPerRate = 0.0078125;  // rate / 128
constexpr double kPcmPeakCutoff = 40000.0;
constexpr double kFadeGlideSeconds = 0.01;
constexpr double kFadeLevelShown = 0.9;  // at DSD rates the meters show nothing below this fade level

// Filter histories: the last T input frames before the current call.
// Sized as the buffer switch clears them (32,704 bytes for the master's).
double sDsdDecimFirSrcBuf[32704 / 8];
double sPcmPeakFirSrcBuf[2 * kPcmPeakFirTaps];
double sFFTLowFreqDecimFirSrcBuf[2 * kLowFreqFirTaps];

static_assert(sizeof sDsdDecimFirSrcBuf >= 16 * kMeterFirTaps, "master history holds the filter's length");
static_assert(kDsdDecimHistoryBytes >= 16 * kTrackMeterFirTaps, "track history holds the filter's length");

// One output of a T-tap two-lane FIR whose window ends at frame i of x
// (inclusive); the window's frames before x come from hist, the T frames
// that preceded x. Coefficient 0 meets the oldest frame. Both lanes in one
// register: each lane is the same chain of products and sums as on its own.
void firWindowEnd(const double *__restrict coef, int taps, const double *__restrict hist, const double *__restrict x,
                  int i, double out[2]) {
    __m128d acc = _mm_setzero_pd();
    int k = 0;
    const int fromHist = taps - 1 - i;
    if (fromHist > 0) {
        const double *h = hist + 2 * (i + 1);
        for (; k < fromHist; ++k)
            acc = _mm_add_pd(acc, _mm_mul_pd(_mm_loadu_pd(coef + 2 * k), _mm_loadu_pd(h + 2 * k)));
    }
    const double *w = x + 2 * (i + 1 - taps);
    for (; k < taps; ++k) acc = _mm_add_pd(acc, _mm_mul_pd(_mm_loadu_pd(coef + 2 * k), _mm_loadu_pd(w + 2 * k)));
    _mm_storeu_pd(out, acc);
}

// N outputs whose windows lie inside x, ending at frames i, i + step, ...:
// N independent chains, so that the additions of one do not wait on
// another's, each summed in the order firWindowEnd sums it.
template <int N>
inline void firWindowEndsInside(const double *__restrict coef, int taps, const double *__restrict x, int i, int step,
                                double *__restrict out) {
    __m128d acc[N];
    const double *w[N];
    for (int j = 0; j < N; ++j) {
        acc[j] = _mm_setzero_pd();
        w[j] = x + 2 * (int64_t(i) + int64_t(j) * step + 1 - taps);
    }
    for (int k = 0; k < taps; ++k) {
        const __m128d c = _mm_loadu_pd(coef + 2 * k);
#pragma GCC unroll 8
        for (int j = 0; j < N; ++j) acc[j] = _mm_add_pd(acc[j], _mm_mul_pd(c, _mm_loadu_pd(w[j] + 2 * k)));
    }
    for (int j = 0; j < N; ++j) _mm_storeu_pd(out + 2 * j, acc[j]);
}

// hist becomes the last taps frames of (hist, x).
void keepHistory(double *hist, int taps, const double *x, int n) {
    if (n >= taps) {
        std::memcpy(hist, x + 2 * int64_t(n - taps), size_t(taps) * 16);
    } else if (n > 0) {
        std::memmove(hist, hist + 2 * n, size_t(taps - n) * 16);
        std::memcpy(hist + 2 * (taps - n), x, size_t(n) * 16);
    }
}

int meterInterval(tEngine &e) { return std::max(1, e.meterFirInterval.load(kRelaxed)); }

int ringPoint(const std::atomic<int32_t> &p, int size) {
    const int v = p.load(kRelaxed);
    return v >= 0 && v < size ? v : 0;
}

audioThread *trackThread(int track) {
    const int id = engine().audioIoThreadId[track].load(kRelaxed);
    return id >= 0 && id < kAudioThreadSlots ? engine().audioThreads[id].load(std::memory_order_acquire) : nullptr;
}

// One track playing a mono source: its meters show the left channel twice.
bool monoAlone(int trackCount) { return trackCount == 1 && gAudioThread_isMonoSource(0); }

void fillDoubles(double *p, uint64_t count, double v) { std::fill(p, p + count, v); }

}  // namespace

void firWindowEnds(const double *coef, int taps, const double *hist, const double *x, int i0, int step, int count,
                   double *out) {
    int j = 0;
    // Windows that still reach into the history, one at a time.
    for (; j < count && int64_t(i0) + int64_t(j) * step < taps - 1; ++j)
        firWindowEnd(coef, taps, hist, x, i0 + j * step, out + 2 * j);
    for (; j + 8 <= count; j += 8) firWindowEndsInside<8>(coef, taps, x, i0 + j * step, step, out + 2 * j);
    for (; j + 4 <= count; j += 4) firWindowEndsInside<4>(coef, taps, x, i0 + j * step, step, out + 2 * j);
    for (; j < count; ++j) firWindowEnd(coef, taps, hist, x, i0 + j * step, out + 2 * j);
}

// ---- Per-rate set-up ----------------------------------------------------------------

void resetOutputFade(tEngine &e) {
    // No splice is under way on the offered stream, so no integrator
    // cutting is either: a cutting left active would hold the next splice
    // back for good.
    for (int c = 0; c < 2; ++c) {
        e.dsm5th.mSpliceReq[c] = 1;
        e.dsm5th.mSpliceCur[c] = 1;
        e.dsm5th.mCutFlags[c] = 0;
    }
    const double zero[2] = {0.0, 0.0};
    e.fadeVolLpf.setXdiret(zero);
    e.fadeVolLpf.setY_1direct(zero);
}

void initDsdParameters(int rate) {
    // The smoother and the modulator are the device thread's: it resets
    // them at its next buffer, before it reads the cleared requests.
    engine().fadeCoefRequest.store(lpf::coefFor(kFadeGlideSeconds, rate), kRelaxed);
    engine().fadeResetRequest.store(true, std::memory_order_release);
    for (int c = 0; c < 2; ++c) {
        engine().fadeReq[c].store(0, kRelaxed);
        engine().fadeAck[c].store(0, kRelaxed);
    }
    engine().dsdPure.store(false, kRelaxed);
    engine().dsdPureJob.store(false, kRelaxed);
    engine().dsdPureFade.store(false, kRelaxed);
    engine().meterFirInterval.store(rate < kMeterIntervalRate ? 1 : rate / kMeterIntervalRate, kRelaxed);

    const tSetDecimationFirParamFunc design = sDecimFirParamFunc.load(kRelaxed);
    if (!design) return;
    const double fs = rate;
    const double meterCut = std::min(kMeterCutoffMax, fs * kMeterCutoffPerRate);
    design(kMeterFirTaps, sMeterDecimBuf, fs, meterCut, 1.0);
    design(kPcmPeakFirTaps, sMeterDecimBufPCMPCM, fs, kPcmPeakCutoff, 1.0);
    design(kTrackMeterFirTaps, sMeterDecimBufTrk, fs, meterCut, 1.0);
    design(kLowFreqFirTaps, sFFTLowFreqDecimBuf, fs, rate / 4, 1.0);
}

// ---- Peaks --------------------------------------------------------------------------------

__m128d getPeakHoldAudio(int row) {
    double f[2] = {1.0, 1.0};
    if (engine().playFs.load(kRelaxed) >= kDsdRateMin) {
        const double y0 = engine().fadeLevel[0].load(kRelaxed);
        if (y0 > kFadeLevelShown) {
            f[0] = y0;
            f[1] = engine().fadeLevel[1].load(kRelaxed);
        } else {
            f[0] = f[1] = 0.0;
        }
    }
    const tEngineParamsHold params;
    const tMixParam *mix = engineMixParam();
    const int count = mix ? mix->trackCount : 0;
    if (row == -1) {
        double l = gPeakHoldVal[0].load(kRelaxed) * f[0];
        double r = gPeakHoldVal[1].load(kRelaxed) * f[1];
        if (monoAlone(count)) r = l;
        engine().clearPeakHold.store(true, kRelaxed);
        return _mm_set_pd(r, l);
    }
    if (row > 0 && engine().inputMonitorEnable.load(kRelaxed)) {
        // The input measurement publishes two pairs.
        const double *m = gAutioThread_getInputMeasurePeakP();
        if (m && row < 2) return _mm_set_pd(m[2 * row + 1], m[2 * row]);
        return _mm_setzero_pd();
    }
    if (row >= 0 && row < count && row < kMaxTracks && trackThread(row)) {
        double l = sTrackPeakHold[row][0].load(kRelaxed) * f[0];
        double r = sTrackPeakHold[row][1].load(kRelaxed) * f[1];
        if (monoAlone(count)) r = l;
        return _mm_set_pd(r, l);
    }
    return _mm_setzero_pd();
}

bool gAudioThread_isMonoSource(int track) {
    if (engineTrackSlot(track) < 0) return false;
    const audioThread *t = trackThread(track);
    return t && t->getSourceChannels() == 1;
}

void gAudioThread_clearPeakAudio() {
    gPeakHoldVal[0].store(0.0, kRelaxed);
    gPeakHoldVal[1].store(0.0, kRelaxed);
}

void gAudioThread_clearPeakAudioTrack(int track) {
    if (engineTrackSlot(track) < 0) return;
    sTrackPeakHold[track][0].store(0.0, kRelaxed);
    sTrackPeakHold[track][1].store(0.0, kRelaxed);
}

void holdMasterPeak(tEngine &e, const double peak[2]) {
    if (e.clearPeakHold.exchange(false, kRelaxed)) {
        gPeakHoldVal[0].store(peak[0], kRelaxed);
        gPeakHoldVal[1].store(peak[1], kRelaxed);
        return;
    }
    for (int c = 0; c < 2; ++c)
        if (peak[c] > gPeakHoldVal[c].load(kRelaxed)) gPeakHoldVal[c].store(peak[c], kRelaxed);
}

tMasterPcmMeter::tMasterPcmMeter(tEngine &e, const double *src, int frames, double full)
    : mEngine(e),
      mSrc(src),
      mFrames(src && frames > 0 ? frames : 0),
      mFull(full),
      mFiltered(e.playFs.load(kRelaxed) >= kPcmPeakFilterRate) {}

void tMasterPcmMeter::firAt(int i, double out[2]) const {
    firWindowEnd(sMeterDecimBufPCMPCM, kPcmPeakFirTaps, sPcmPeakFirSrcBuf, mSrc, i, out);
}

void tMasterPcmMeter::finish(bool floatOutput) {
    if (mFrames > 0) keepHistory(sPcmPeakFirSrcBuf, kPcmPeakFirTaps, mSrc, mFrames);
    if (floatOutput) {
        mPeak[0] *= kInt32FullScale;
        mPeak[1] *= kInt32FullScale;
    }
    holdMasterPeak(mEngine, mPeak);
}

// ---- Spectra and rings --------------------------------------------------------------------

double *getPlayingFftAnalyzing(int index, int which, int *size) {
    if (size) *size = sBackEndFftOrder.load(kRelaxed);
    const int side = which == 1 ? 1 : 0;
    if (index < 0) return nullptr;
    if (index == kLowFreqAnalysisIndex) return sFftAmplitudeLowFreq[side];
    if (index >= kMaxTracks) return sFftAmplitude[side];
    return gpChFFTAmplitude[2 * index + side];
}

int gAudioThread_getCurFFTSamplePoint() { return curFftSample.load(kRelaxed); }

int gAudioThread_getCurFFTSamplePointLowFreq() { return curFftSampleLowFreq.load(kRelaxed); }

double *gAudioThread_getLissajousBuf() { return gLissajousBuf; }

int gAudioThread_getLissajousBufWrCount() { return gLissajousBufWrPoint.load(kRelaxed); }

int allocateChFFTbuffer(int track) {
    if (engineTrackSlot(track) < 0) return -17;
    int result = kEngineMemOk;
    // The pointers change only under the lock the readers take.
    std::lock_guard<std::mutex> lock(engine().chFftBufMutex);
    if (!gpChAnalyzeBuf[track]) {
        auto *ring = static_cast<double *>(_aligned_malloc(kChAnalyzeBufBytes, 16));
        if (ring)
            std::memset(ring, 0, kChAnalyzeBufBytes);
        else
            result = kEngineErrMemory;
        gpChAnalyzeBuf[track] = ring;
    }
    for (int s = 0; s < 2; ++s) {
        double *&spectrum = gpChFFTAmplitude[2 * track + s];
        if (!spectrum) {
            spectrum = static_cast<double *>(_aligned_malloc(kSpectrumBytes, 16));
            if (!spectrum) result = kEngineErrMemory;
        }
        if (spectrum) fillDoubles(spectrum, kSpectrumBins, kSpectrumAllocLevel);
    }
    return result;
}

void freeChFFTbuffer(int track) {
    if (engineTrackSlot(track) < 0) return;
    std::lock_guard<std::mutex> lock(engine().chFftBufMutex);
    _aligned_free(gpChAnalyzeBuf[track]);
    gpChAnalyzeBuf[track] = nullptr;
    for (int s = 0; s < 2; ++s) {
        _aligned_free(gpChFFTAmplitude[2 * track + s]);
        gpChFFTAmplitude[2 * track + s] = nullptr;
    }
}

// ---- Master feed ------------------------------------------------------------------------------

void processFFT_MasterTrackLowFreq(const double *frames, int n) {
    if (!frames || n < 1) return;
    int pos = ringPoint(curFftSampleLowFreq, kLowFreqRingFrames);
    const int points = (n + kLowFreqStep - 1) / kLowFreqStep;
    double y[2 * kFirBatch];
    for (int p0 = 0; p0 < points; p0 += kFirBatch) {
        const int c = std::min(int(kFirBatch), points - p0);
        firWindowEnds(sFFTLowFreqDecimBuf, kLowFreqFirTaps, sFFTLowFreqDecimFirSrcBuf, frames, p0 * kLowFreqStep,
                      kLowFreqStep, c, y);
        for (int j = 0; j < c; ++j) {
            sAnalyzeBufferLowFreq[2 * pos] = y[2 * j];
            sAnalyzeBufferLowFreq[2 * pos + 1] = y[2 * j + 1];
            if (++pos >= kLowFreqRingFrames) pos = 0;
        }
    }
    curFftSampleLowFreq.store(pos, kRelaxed);
    keepHistory(sFFTLowFreqDecimFirSrcBuf, kLowFreqFirTaps, frames, n);
}

void set0dataLowFreqFFT(int n) {
    if (n < 1) return;
    int pos = ringPoint(curFftSampleLowFreq, kLowFreqRingFrames);
    const int points = std::min((n + 3) / 4, int(kLowFreqRingFrames));
    for (int i = 0; i < points; ++i) {
        sAnalyzeBufferLowFreq[2 * pos] = 0.0;
        sAnalyzeBufferLowFreq[2 * pos + 1] = 0.0;
        if (++pos >= kLowFreqRingFrames) pos = 0;
    }
    curFftSampleLowFreq.store(pos, kRelaxed);
}

void processFFT_MasterTrack(tEngine &e, bool decimate, const double *frames, int n) {
    if (!frames || n < 1) return;
    int pos = ringPoint(curFftSample, kMasterRingFrames);
    if (decimate) {
        const int step = meterInterval(e);
        const int points = int((int64_t(n) + step - 1) / step);
        double peak[2] = {0.0, 0.0};
        double y[2 * kFirBatch];
        for (int p0 = 0; p0 < points; p0 += kFirBatch) {
            const int m = std::min(int(kFirBatch), points - p0);
            firWindowEnds(sMeterDecimBuf, kMeterFirTaps, sDsdDecimFirSrcBuf, frames, p0 * step, step, m, y);
            for (int j = 0; j < m; ++j) {
                for (int c = 0; c < 2; ++c) {
                    const double v = y[2 * j + c] * kDsdWorkToFullScale;
                    sAnalyzeBuffer[2 * pos + c] = v;
                    peak[c] = std::max(peak[c], std::fabs(v));
                }
                if (++pos >= kMasterRingFrames) pos = 0;
            }
        }
        curFftSample.store(pos, kRelaxed);
        keepHistory(sDsdDecimFirSrcBuf, kMeterFirTaps, frames, n);
        holdMasterPeak(e, peak);
        return;
    }
    constexpr int kHalf = kMasterRingFrames / 2;
    if (n >= kHalf) {
        // More than half the ring in one call: the newest half-ring of frames
        // fills the half the analysis window (the kFftOrder frames ending at
        // the write point) will read next.
        const int dst = pos == 0 ? 0 : kHalf;
        std::memcpy(&sAnalyzeBuffer[2 * dst], frames + 2 * int64_t(n - kHalf), size_t(kHalf) * 16);
        pos = pos == 0 ? kHalf : 0;
    } else {
        for (int i = 0; i < n; ++i) {
            sAnalyzeBuffer[2 * pos] = frames[2 * i];
            sAnalyzeBuffer[2 * pos + 1] = frames[2 * i + 1];
            if (++pos >= kMasterRingFrames) pos = 0;
        }
    }
    curFftSample.store(pos, kRelaxed);
    processFFT_MasterTrackLowFreq(frames, n);
}

void feedLissajous(tEngine &e, const double *master, int frames, bool decimated) {
    if (!master || frames < 1) return;
    int wr = ringPoint(gLissajousBufWrPoint, kLissajousFrames);
    if (!decimated) {
        for (int i = 0; i < frames; ++i) {
            gLissajousBuf[2 * wr] = master[2 * i];
            gLissajousBuf[2 * wr + 1] = master[2 * i + 1];
            if (++wr >= kLissajousFrames) wr = 0;
        }
        gLissajousBufWrPoint.store(wr, kRelaxed);
        return;
    }
    const int n = std::min(frames / meterInterval(e), int(kMasterRingFrames));
    const int cur = ringPoint(curFftSample, kMasterRingFrames);
    // When the master ring moved since the last call, follow it from n
    // frames behind its write point; otherwise continue where we stopped.
    // The ring wraps at kMasterRingFrames like its feed.
    int src;
    if (cur != prevCurFFTSample.load(kRelaxed)) {
        src = cur - n;
        if (src < 0) src += kMasterRingFrames;
    } else {
        src = ringPoint(curLissaSrcPoint, kMasterRingFrames);
    }
    for (int i = 0; i < n; ++i) {
        gLissajousBuf[2 * wr] = sAnalyzeBuffer[2 * src] * 2.0;
        gLissajousBuf[2 * wr + 1] = sAnalyzeBuffer[2 * src + 1] * 2.0;
        if (++wr >= kLissajousFrames) wr = 0;
        if (++src >= kMasterRingFrames) src = 0;
    }
    curLissaSrcPoint.store(src, kRelaxed);
    lissaDsdCount.store(0, kRelaxed);
    prevCurFFTSample.store(cur, kRelaxed);
    gLissajousBufWrPoint.store(wr, kRelaxed);
}

void gAudioThread_clearAnalysisStopped(tEngine &e, int frames) {
    std::memset(sDsdDecimFirSrcBuf, 0, sizeof sDsdDecimFirSrcBuf);
    for (double *h : e.dsdDecimFirSrcBufCh)
        if (h) std::memset(h, 0, kDsdDecimHistoryBytes);
    set0dataLowFreqFFT(frames);
    std::memset(sAnalyzeBuffer, 0, size_t(kMasterRingFrames) * 16);
    curFftSample.store(0, kRelaxed);
    // The track buffers may be freed by the GUI under the lock; the device
    // thread must not wait for it, so a busy lock skips this cycle's clear.
    std::unique_lock<std::mutex> lock(e.chFftBufMutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    for (int t = 0; t < kMaxTracks; ++t) {
        if (double *ring = gpChAnalyzeBuf[t]) std::memset(ring, 0, size_t(kTrackRingFrames) * 16);
        for (int s = 0; s < 2; ++s)
            if (double *p = gpChFFTAmplitude[2 * t + s]) fillDoubles(p, kSpectrumBins, kSpectrumStoppedLevel);
    }
}

// On the current engine.
void resetOutputFade() { resetOutputFade(engine()); }
void holdMasterPeak(const double peak[2]) { holdMasterPeak(engine(), peak); }
void processFFT_MasterTrack(bool decimate, const double *frames, int n) {
    processFFT_MasterTrack(engine(), decimate, frames, n);
}
void feedLissajous(const double *master, int frames, bool decimated) {
    feedLissajous(engine(), master, frames, decimated);
}
void gAudioThread_clearAnalysisStopped(int frames) { gAudioThread_clearAnalysisStopped(engine(), frames); }
