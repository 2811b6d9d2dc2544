#include "dsp/qmf.h"

#include <cmath>
#include <cstring>

#include "base/alignedalloc.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kHistFrames = kQmfMaxTaps - 1;

// Longest delay band s can need: the deepest cascade and the longest filter.
int maxDelayFrames(int band) { return kHistFrames * ((1 << (kQmfMaxStages - band - 1)) - 1); }

// Bytes of band s's delay line (at least one frame, as allocFrames gives).
size_t delayLineBytes(int band) {
    const int frames = maxDelayFrames(band);
    return static_cast<size_t>(frames < 1 ? 1 : frames) * 16u;
}

double *allocFrames(int64_t frames) {
    if (frames < 1) frames = 1;
    void *p = _aligned_malloc(static_cast<uint64_t>(frames) * 16u, 16);
    if (p != nullptr) std::memset(p, 0, static_cast<size_t>(frames) * 16u);
    return static_cast<double *>(p);
}

// out[j] = sum_i taps[i] * work[hist + step * j - i] for outFrames outputs,
// where work holds hist frames of history followed by the signal. step 2
// keeps every second output (decimation), step 1 all of them. With add, the
// result is added to out; scale multiplies the sum.
void firStereo(double *__restrict out, const double *__restrict work, const double *__restrict taps, int length,
               int hist, int step, int outFrames, double scale, bool add) {
    for (int j = 0; j < outFrames; ++j) {
        const double *x = work + 2 * (hist + step * j);
        double l = 0.0, r = 0.0;
        for (int i = 0; i < length; ++i) {
            l += taps[2 * i] * x[-2 * i];
            r += taps[2 * i + 1] * x[-2 * i + 1];
        }
        if (add) {
            out[2 * j] += scale * l;
            out[2 * j + 1] += scale * r;
        } else {
            out[2 * j] = scale * l;
            out[2 * j + 1] = scale * r;
        }
    }
}

}  // namespace

ClassQMF::ClassQMF()
    : mFs(44100.0),
      mFc(22050.0),
      mTaps(31),
      mLength(31),
      mSplits(0),
      mWork(nullptr),
      mPingPong{nullptr, nullptr},
      mReady(true) {
    for (bool &s : mSwitch) s = true;
    for (int s = 0; s < kQmfMaxStages; ++s) {
        mAnaHist[s] = allocFrames(kHistFrames);
        mSynLowHist[s] = allocFrames(kHistFrames);
        mSynHighHist[s] = allocFrames(kHistFrames);
        mDelayLine[s] = allocFrames(maxDelayFrames(s));
        if (!mAnaHist[s] || !mSynLowHist[s] || !mSynHighHist[s] || !mDelayLine[s]) mReady = false;
    }
    mWork = allocFrames(static_cast<int64_t>(kHistFrames) + kQmfMaxFrames);
    mPingPong[0] = allocFrames(kQmfMaxFrames / 2);
    mPingPong[1] = allocFrames(kQmfMaxFrames / 2);
    if (!mWork || !mPingPong[0] || !mPingPong[1]) mReady = false;
    (void)setDecimFirParam(0, 31, nullptr, nullptr, 1.0, 44100.0, 22050.0, 1.0);
}

ClassQMF::~ClassQMF() {
    for (int s = 0; s < kQmfMaxStages; ++s) {
        _aligned_free(mAnaHist[s]);
        _aligned_free(mSynLowHist[s]);
        _aligned_free(mSynHighHist[s]);
        _aligned_free(mDelayLine[s]);
    }
    _aligned_free(mWork);
    _aligned_free(mPingPong[0]);
    _aligned_free(mPingPong[1]);
}

int ClassQMF::setDecimFirParam(int, int taps, double *lowPassOut, double *highPassOut, double gain1, double fs,
                               double fc, double gain2) {
    if (taps < 1 || taps > kQmfMaxTaps || !(fs > 0.0)) return kQmfErrRange;
    const int half = taps / 2;
    const int length = 2 * half + 1;
    if (length > kQmfMaxTaps) return kQmfErrRange;

    const double g = gain1 * gain2;
    for (int k = -half; k <= half; ++k) {
        double h;
        if (k == 0) {
            h = 2.0 * g * fc / fs;
        } else {
            const double w = 0.35875 + 0.48829 * std::cos(2.0 * kPi * k / taps) +
                             0.14128 * std::cos(4.0 * kPi * k / taps) + 0.01168 * std::cos(6.0 * kPi * k / taps);
            h = g * std::sin(2.0 * kPi * fc * k / fs) / (kPi * k) * w;
        }
        const int i = k + half;
        // Negating every second tap mirrors the response about a quarter of
        // the rate: the high half of the pair.
        const double hp = (i & 1) ? -h : h;
        mLowPass[2 * i] = mLowPass[2 * i + 1] = h;
        mHighPass[2 * i] = mHighPass[2 * i + 1] = hp;
    }
    if (lowPassOut != nullptr) std::memcpy(lowPassOut, mLowPass, sizeof(double) * 2 * length);
    if (highPassOut != nullptr) std::memcpy(highPassOut, mHighPass, sizeof(double) * 2 * length);
    mTaps = taps;
    mLength = length;
    mFs = fs;
    mFc = fc;
    computeDelays();
    return kQmfOk;
}

int ClassQMF::setBranches(int n) {
    if (n < 0 || n > kQmfMaxStages) return kQmfErrRange;
    mSplits = n;
    computeDelays();
    return kQmfOk;
}

void ClassQMF::computeDelays() {
    // Band s passes the filters of stages 0..s twice (analysis and synthesis),
    // each (length - 1) / 2 samples at that stage's rate: (length - 1) *
    // (2^(s+1) - 1) input samples. The deepest two bands take
    // (length - 1) * (2^n - 1); the difference, counted at band s's own rate,
    // is its delay.
    const int lag = mLength - 1;
    for (int s = 0; s <= kQmfMaxStages; ++s) {
        if (s + 1 < mSplits)
            mDelay[s] = lag * ((1 << (mSplits - s - 1)) - 1);
        else
            mDelay[s] = 0;
    }
    // A changed delay makes the old line contents meaningless.
    for (int s = 0; s < kQmfMaxStages; ++s)
        if (mDelayLine[s] != nullptr) std::memset(mDelayLine[s], 0, delayLineBytes(s));
}

int ClassQMF::getBandDelay(int band) const { return (band >= 0 && band <= kQmfMaxStages) ? mDelay[band] : 0; }

void ClassQMF::switchBank(int band, bool on) {
    if (band >= 0 && band < kQmfSwitches) mSwitch[band] = on;
}

void ClassQMF::clearBuffers() {
    for (int s = 0; s < kQmfMaxStages; ++s) {
        if (mAnaHist[s]) std::memset(mAnaHist[s], 0, kHistFrames * 16u);
        if (mSynLowHist[s]) std::memset(mSynLowHist[s], 0, kHistFrames * 16u);
        if (mSynHighHist[s]) std::memset(mSynHighHist[s], 0, kHistFrames * 16u);
        if (mDelayLine[s]) std::memset(mDelayLine[s], 0, delayLineBytes(s));
    }
}

// Delays frames band samples, in place, by the band's delay; the delay line
// holds exactly that many frames, oldest first. mWork serves as scratch.
void ClassQMF::delayBand(int band, double *samples, int frames) {
    const int d = mDelay[band];
    if (d <= 0 || frames <= 0) return;
    double *line = mDelayLine[band];
    double *tmp = mWork;
    if (frames >= d) {
        std::memcpy(tmp, samples + 2 * (frames - d), 16u * d);
        std::memmove(samples + 2 * d, samples, 16u * (frames - d));
        std::memcpy(samples, line, 16u * d);
        std::memcpy(line, tmp, 16u * d);
    } else {
        std::memcpy(tmp, samples, 16u * frames);
        std::memcpy(samples, line, 16u * frames);
        std::memmove(line, line + 2 * frames, 16u * (d - frames));
        std::memcpy(line + 2 * (d - frames), tmp, 16u * frames);
    }
}

int ClassQMF::analyze(double *const *bands, const double *input, int frames, int n) {
    if (!mReady) return kQmfErrMemory;
    if (n < 0 || n > kQmfMaxStages || frames < 0 || frames > kQmfMaxFrames || (frames & ((1 << n) - 1)) != 0 ||
        bands == nullptr || input == nullptr)
        return kQmfErrRange;
    for (int b = 0; b <= n; ++b)
        if (bands[b] == nullptr) return kQmfErrRange;
    if (frames == 0) return kQmfOk;
    if (n == 0) {
        std::memmove(bands[0], input, 16u * frames);
        return kQmfOk;
    }

    const int hist = mLength - 1;
    const double *src = input;
    for (int s = 0; s < n; ++s) {
        const int inFrames = frames >> s;
        const int outFrames = inFrames / 2;
        // The history ends where this call's input starts.
        std::memcpy(mWork, mAnaHist[s] + 2 * (kHistFrames - hist), 16u * hist);
        std::memcpy(mWork + 2 * hist, src, 16u * inFrames);
        double *low = (s == n - 1) ? bands[n] : mPingPong[s & 1];
        firStereo(bands[s], mWork, mHighPass, mLength, hist, 2, outFrames, 1.0, false);
        firStereo(low, mWork, mLowPass, mLength, hist, 2, outFrames, 1.0, false);
        std::memcpy(mAnaHist[s] + 2 * (kHistFrames - hist), mWork + 2 * inFrames, 16u * hist);
        delayBand(s, bands[s], outFrames);
        src = low;
    }
    return kQmfOk;
}

int ClassQMF::synthesize(double *output, const double *const *bands, int frames, int n) {
    if (!mReady) return kQmfErrMemory;
    if (n < 0 || n > kQmfMaxStages || frames < 0 || frames > kQmfMaxFrames || (frames & ((1 << n) - 1)) != 0 ||
        bands == nullptr || output == nullptr)
        return kQmfErrRange;
    for (int b = 0; b <= n; ++b)
        if (bands[b] == nullptr) return kQmfErrRange;
    if (frames == 0) return kQmfOk;
    if (!mSwitch[kQmfMasterSwitch]) {
        std::memset(output, 0, 16u * frames);
        return kQmfOk;
    }
    if (n == 0) {
        if (mSwitch[0])
            std::memmove(output, bands[0], 16u * frames);
        else
            std::memset(output, 0, 16u * frames);
        return kQmfOk;
    }

    const int hist = mLength - 1;
    const double *low = bands[n];
    bool lowOn = mSwitch[n];
    for (int s = n - 1; s >= 0; --s) {
        const int inFrames = frames >> (s + 1);
        const int outFrames = 2 * inFrames;
        double *dst = (s == 0) ? output : mPingPong[s & 1];

        // Zeros between the samples bring the half-rate signal back to the
        // stage's rate; the filter then removes the image. The factor 2
        // restores the level the zeros halved.
        std::memcpy(mWork, mSynLowHist[s] + 2 * (kHistFrames - hist), 16u * hist);
        double *up = mWork + 2 * hist;
        std::memset(up, 0, 16u * outFrames);
        if (lowOn)
            for (int m = 0; m < inFrames; ++m) {
                up[4 * m] = low[2 * m];
                up[4 * m + 1] = low[2 * m + 1];
            }
        firStereo(dst, mWork, mLowPass, mLength, hist, 1, outFrames, 2.0, false);
        std::memcpy(mSynLowHist[s] + 2 * (kHistFrames - hist), mWork + 2 * outFrames, 16u * hist);

        std::memcpy(mWork, mSynHighHist[s] + 2 * (kHistFrames - hist), 16u * hist);
        std::memset(up, 0, 16u * outFrames);
        if (mSwitch[s]) {
            const double *high = bands[s];
            for (int m = 0; m < inFrames; ++m) {
                up[4 * m] = high[2 * m];
                up[4 * m + 1] = high[2 * m + 1];
            }
        }
        firStereo(dst, mWork, mHighPass, mLength, hist, 1, outFrames, 2.0, true);
        std::memcpy(mSynHighHist[s] + 2 * (kHistFrames - hist), mWork + 2 * outFrames, 16u * hist);

        low = dst;
        lowOn = true;
    }
    return kQmfOk;
}
