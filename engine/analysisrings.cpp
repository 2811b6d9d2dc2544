#include "engine/analysisrings.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/enginestate.h"

double sFftAmplitude[2][kSpectrumBins];
double sFftAmplitudeLowFreq[2][kSpectrumBins];
double sAnalyzeBuffer[2 * kMasterRingAlloc];
double sAnalyzeBufferLowFreq[2 * kLowFreqRingFrames];
std::atomic<int32_t> curFftSample;
std::atomic<int32_t> curFftSampleLowFreq;
std::atomic<int32_t> prevCurFFTSample;
std::atomic<int32_t> curLissaSrcPoint;
std::atomic<int32_t> lissaDsdCount;
std::atomic<int32_t> curFFTSide;
std::atomic<int32_t> curFftSampleCh[kMaxTracks];
double gLissajousBuf[2 * kLissajousFrames];
std::atomic<int32_t> gLissajousBufWrPoint;
double *gpChAnalyzeBuf[kMaxTracks];
double *gpChFFTAmplitude[2 * kMaxTracks];
std::atomic<double> gPeakHoldVal[2];
std::atomic<double> sTrackPeakHold[kMaxTracks][2];
std::atomic<int32_t> sBackEndFftOrder{kFftOrder};

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

void resetAnalysisRings() {
    for (auto &spectrum : sFftAmplitude) std::fill(std::begin(spectrum), std::end(spectrum), kSpectrumSetUpLevel);
    std::memset(sAnalyzeBuffer, 0, sizeof sAnalyzeBuffer);
    std::memset(gLissajousBuf, 0, sizeof gLissajousBuf);
    curFftSample.store(0, kRelaxed);
    curFftSampleLowFreq.store(0, kRelaxed);
    prevCurFFTSample.store(0, kRelaxed);
    curLissaSrcPoint.store(0, kRelaxed);
    lissaDsdCount.store(0, kRelaxed);
    curFFTSide.store(0, kRelaxed);
    for (auto &c : curFftSampleCh) c.store(0, kRelaxed);
    gLissajousBufWrPoint.store(0, kRelaxed);
}

void processFFT(tEngine &e, bool decimate, int track, const double *frames, int n) {
    if (engineTrackSlot(track) < 0 || !frames || n < 1) return;
    const int step = decimate ? std::max(1, e.meterFirInterval.load(kRelaxed)) : 1;
    int count = n / step;
    if (count < 1) return;
    // Only the newest frames fit when a call brings more than the ring holds.
    const int skip = count > kTrackRingFrames ? count - kTrackRingFrames : 0;
    count -= skip;
    // The ring may be freed by the GUI under the lock at any time, so it is
    // only touched under it. Both feeds run on the device thread (the
    // decimated one with a DSD test tone), which never waits: a busy lock
    // drops this call's frames.
    std::unique_lock<std::mutex> lock(e.chFftBufMutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    double *ring = gpChAnalyzeBuf[track];
    if (!ring) return;
    std::memmove(ring, ring + 2 * count, static_cast<size_t>(kTrackRingFrames - count) * 16);
    double *dst = ring + 2 * (kTrackRingFrames - count);
    for (int i = 0; i < count; ++i) {
        const int64_t src = static_cast<int64_t>(skip + i) * step;
        dst[2 * i] = frames[2 * src];
        dst[2 * i + 1] = frames[2 * src + 1];
    }
    int32_t window = curFftSampleCh[track].load(kRelaxed) + count;
    if (decimate) {
        if (window > kTrackRingFrames) window = 0;
    } else {
        const int64_t interval = std::max(1, e.meterFirInterval.load(kRelaxed));
        const int64_t limit = static_cast<int64_t>(e.playFs.load(kRelaxed)) * 55 / (interval * 1000);
        if (window > limit) window = 0;
    }
    curFftSampleCh[track].store(window, kRelaxed);
}

void copytoFFTbuffer(const double *frames, int n, int stride, double scale) {
    if (!frames || n < 1) return;
    if (stride < 1) stride = 1;
    int32_t pos = curFftSample.load(kRelaxed);
    if (pos < 0 || pos >= kMasterRingFrames) pos = 0;
    for (int i = 0; i < n; ++i) {
        sAnalyzeBuffer[2 * pos] = frames[2 * i * stride] * scale;
        sAnalyzeBuffer[2 * pos + 1] = frames[2 * i * stride + 1] * scale;
        if (++pos >= kMasterRingFrames) pos = 0;
    }
    curFftSample.store(pos, kRelaxed);
}

// On the current engine.
void processFFT(bool decimate, int track, const double *frames, int n) {
    processFFT(engine(), decimate, track, frames, n);
}
