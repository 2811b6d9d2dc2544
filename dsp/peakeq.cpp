#include "dsp/peakeq.h"

#include <cmath>
#include <complex>
#include <cstring>

#include "base/alignedalloc.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kGlideStepDb = 0.01;  // per group of four frames
constexpr int kGroup = 4;

// One stereo frame through the direct-form-I difference equation; the
// feedback coefficients are stored negated, so every term is added.
struct BiquadLane {
    double c1, c2, b0, b1, b2;
    double x1, x2, y1, y2;

    inline double step(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 + c1 * y1 + c2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// n interleaved stereo frames through the two lanes.
inline void runFrames(BiquadLane lane[2], double *out, const double *in, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const double l = in[2 * i];
        const double r = in[2 * i + 1];
        out[2 * i] = lane[0].step(l);
        out[2 * i + 1] = lane[1].step(r);
    }
}

}  // namespace

peakEq::peakEq() {
    mCoef = static_cast<double *>(_aligned_malloc(kCoefPairs * 2 * sizeof(double), 16));
    if (mCoef) std::memset(mCoef, 0, kCoefPairs * 2 * sizeof(double));
}

peakEq::~peakEq() { _aligned_free(mCoef); }

void peakEq::initParam() {
    if (!mCoef) return;
    for (int p = kPairX1; p <= kPairY2; ++p) mCoef[2 * p] = mCoef[2 * p + 1] = 0.0;
}

template <tEqBuild B>
void peakEq::setupParam(double g, double f, double q, double fs, tEqType t) {
    const bool gliding = mGainCur != mGain;
    if (B == kEqBuildProgram) {
        if (gliding || t != mType) startGainChange();
    } else {
        if (t != mType || (t == kEqShelf && !mShelvLo && gliding)) startGainChange();
    }
    const double oldGain = mGain;
    mGainCur = oldGain;
    mFreqPrev = mFreq;
    mQPrev = mQ;
    mFreq = f;
    mGain = g;
    mQ = q;
    mFs = fs;
    setupParam_do(oldGain, f, q, fs, t);
}

void peakEq::setupParam_do(double G, double f, double Q, double fs, tEqType t) {
    mType = t;
    if (!mCoef) return;
    const double A = std::pow(10.0, G / 40.0);
    const double S = std::pow(10.0, G / 80.0);
    const double w = kTwoPi * f / fs;
    // The low-pass and the high shelf take the frequency through single
    // precision; the stored curves depend on it.
    const double fSingle = static_cast<double>(static_cast<float>(f));

    double c1 = 0.0, c2 = 0.0, b0 = 1.0, b1 = 0.0, b2 = 0.0;
    switch (t) {
    case kEqPeak: {
        const double tn = std::tan(kPi * f / fs);
        const double K = tn / Q;
        const double t2 = tn * tn;
        const double D = 1.0 + K / A + t2;
        c1 = -2.0 * (t2 - 1.0) / D;
        c2 = -(1.0 - K / A + t2) / D;
        b0 = (1.0 + K * A + t2) / D;
        b1 = 2.0 * (t2 - 1.0) / D;
        b2 = (1.0 - K * A + t2) / D;
        break;
    }
    case kEqLowPass: {
        const double tn = std::tan(kPi * fSingle / fs);
        const double t2 = tn * tn;
        const double D = 1.0 + kSqrt2 * tn + t2;
        c1 = (2.0 - 2.0 * t2) / D;
        c2 = -(1.0 - kSqrt2 * tn + t2) / D;
        b0 = t2 / D;
        b1 = 2.0 * t2 / D;
        b2 = t2 / D;
        break;
    }
    case kEqShelf:
        if (mShelvLo) {
            const double s = std::sin(w);
            const double c = std::cos(w);
            const double beta = 2.0 * S * s / Q;
            const double D = (A + 1.0) + (A - 1.0) * c + beta;
            c1 = 2.0 * ((A - 1.0) + (A + 1.0) * c) / D;
            c2 = -((A + 1.0) + (A - 1.0) * c - beta) / D;
            b0 = A * ((A + 1.0) - (A - 1.0) * c + beta) / D;
            b1 = 2.0 * A * ((A - 1.0) - (A + 1.0) * c) / D;
            b2 = A * ((A + 1.0) - (A - 1.0) * c - beta) / D;
        } else {
            const double tn = std::tan(kPi * fSingle / fs);
            const double k = 2.0 * S / Q;
            const double t2 = tn * tn;
            const double D = 1.0 + k * tn + A * t2;
            c1 = -(2.0 * A * t2 - 2.0) / D;
            c2 = -(1.0 - k * tn + A * t2) / D;
            b0 = A * (A + k * tn + t2) / D;
            b1 = A * (2.0 * t2 - 2.0 * A) / D;
            b2 = A * (A - k * tn + t2) / D;
        }
        break;
    default: break;  // pass-through
    }
    const double v[5] = {c1, c2, b0, b1, b2};
    for (int p = 0; p < 5; ++p) mCoef[2 * p] = mCoef[2 * p + 1] = v[p];
}

template <tEqBuild B>
void peakEq::procEq(double *out, const double *in, int32_t n) {
    if (n <= 0) return;
    if (!mCoef) {  // no block: leave the signal as it is
        const int32_t frames = (B == kEqBuildLibrary) ? n / kGroup * kGroup : n;
        if (out != in) std::memmove(out, in, static_cast<size_t>(frames) * 2 * sizeof(double));
        return;
    }
    // Coefficients are read once: a set computed by a glide step, or stored by
    // setupParam on another thread, serves from the next call on.
    BiquadLane lane[2];
    for (int ch = 0; ch < 2; ++ch) {
        BiquadLane &l = lane[ch];
        l.c1 = mCoef[2 * kPairC1 + ch];
        l.c2 = mCoef[2 * kPairC2 + ch];
        l.b0 = mCoef[2 * kPairB0 + ch];
        l.b1 = mCoef[2 * kPairB1 + ch];
        l.b2 = mCoef[2 * kPairB2 + ch];
        l.x1 = mCoef[2 * kPairX1 + ch];
        l.x2 = mCoef[2 * kPairX2 + ch];
        l.y1 = mCoef[2 * kPairY1 + ch];
        l.y2 = mCoef[2 * kPairY2 + ch];
    }
    const int32_t groups = n / kGroup;
    // The gain steps once per group. The coefficients of a step take effect
    // only with the next call, so only the last step's set matters: it is
    // computed once, after the groups.
    const double target = mGain;
    double gain = mGainCur;
    for (int32_t g = 0; g < groups; ++g) {
        const size_t at = static_cast<size_t>(g) * kGroup * 2;
        runFrames(lane, out + at, in + at, kGroup);
        if (gain != target) {
            if (std::fabs(target - gain) < kGlideStepDb)
                gain = target;
            else if (target > gain)
                gain += kGlideStepDb;
            else
                gain -= kGlideStepDb;
        }
    }
    if (groups > 0 && mGainCur != target) {
        mGainCur = gain;
        setupParam_do(gain, mFreq, mQ, mFs, mType);
    }
    // The library's callers pass whole groups of four; the program's build
    // also filters the frames after the last group.
    const int32_t rest = (B == kEqBuildLibrary) ? 0 : n - groups * kGroup;
    const size_t at = static_cast<size_t>(groups) * kGroup * 2;
    runFrames(lane, out + at, in + at, rest);
    for (int ch = 0; ch < 2; ++ch) {
        mCoef[2 * kPairX1 + ch] = lane[ch].x1;
        mCoef[2 * kPairX2 + ch] = lane[ch].x2;
        mCoef[2 * kPairY1 + ch] = lane[ch].y1;
        mCoef[2 * kPairY2 + ch] = lane[ch].y2;
    }
}

template <tEqBuild B>
void peakEq::reCalcCoef(double fs) {
    const bool gliding = mGainCur != mGain;
    if (B == kEqBuildProgram) {
        if (gliding) startGainChange();
    } else {
        if (mType == kEqShelf && !mShelvLo && gliding) startGainChange();
    }
    mGainCur = mGain;
    mFreqPrev = mFreq;
    mQPrev = mQ;
    mFs = fs;
    setupParam_do(mGain, mFreq, mQ, fs, mType);
}

double peakEq::calcDBatFreq(double fs, double f) const {
    if (f >= 0.5 * fs || !mCoef) return 0.0;
    const double w = kTwoPi * f / fs;
    const std::complex<double> zi = std::polar(1.0, -w);  // z^-1
    const std::complex<double> zi2 = zi * zi;
    const std::complex<double> num = mCoef[2 * kPairB0] + mCoef[2 * kPairB1] * zi + mCoef[2 * kPairB2] * zi2;
    const std::complex<double> den = 1.0 - mCoef[2 * kPairC1] * zi - mCoef[2 * kPairC2] * zi2;
    return 20.0 * std::log10(std::abs(num / den));
}

double peakEq::getEqGainChangingStatus() {
    const double s = mGainChangeStatus;
    if (mGainChanging) {
        mGainChangeStatus = s + 0.04;
        if (mGainChangeStatus >= 1.0) {
            mGainChangeStatus = 1.0;
            mGainChanging = false;
        }
    }
    return s;
}

template void peakEq::setupParam<kEqBuildProgram>(double, double, double, double, tEqType);
template void peakEq::setupParam<kEqBuildLibrary>(double, double, double, double, tEqType);
template void peakEq::procEq<kEqBuildProgram>(double *, const double *, int32_t);
template void peakEq::procEq<kEqBuildLibrary>(double *, const double *, int32_t);
template void peakEq::reCalcCoef<kEqBuildProgram>(double);
template void peakEq::reCalcCoef<kEqBuildLibrary>(double);
