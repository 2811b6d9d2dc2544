#include "dsp/lpf.h"

#include <cmath>

#include "base/alignedalloc.h"

namespace {

double *newPair(double l, double r) {
    double *p = static_cast<double *>(_aligned_malloc(2 * sizeof(double), 16));
    if (p) {
        p[0] = l;
        p[1] = r;
    }
    return p;
}

}  // namespace

double lpf::coefFor(double t, double stepsPerSecond) {
    const double n = 2.0 * t * stepsPerSecond / kLn10;
    return 1.0 - 2.0 / (n + 1.0);
}

lpf::lpf() {
    mOneMinusY = newPair(1.0, 1.0);
    mCoefA = newPair(0.0, 0.0);
    mY = newPair(0.0, 0.0);
    mX = newPair(0.0, 0.0);
    mSignMask = newPair(-0.0, -0.0);
    if (!mOneMinusY || !mCoefA || !mY || !mX || !mSignMask) {
        // One test (mY) guards every operation, so drop all five together.
        double **pairs[5] = {&mOneMinusY, &mCoefA, &mY, &mX, &mSignMask};
        for (double **p : pairs) {
            _aligned_free(*p);
            *p = nullptr;
        }
    }
}

lpf::~lpf() {
    _aligned_free(mOneMinusY);
    _aligned_free(mCoefA);
    _aligned_free(mY);
    _aligned_free(mX);
    _aligned_free(mSignMask);
}

void lpf::set_coefA_byFs(double t, double fs) {
    if (!mY) return;
    mCoefA[0] = mCoefA[1] = coefFor(t, fs);
}

void lpf::set_coefA_byFsStereo(const double t[2], double fs) {
    if (!mY) return;
    mCoefA[0] = coefFor(t[0], fs);
    mCoefA[1] = coefFor(t[1], fs);
}

void lpf::set_coefA_byteTime(double t, double v) {
    if (!mY) return;
    mCoefA[0] = mCoefA[1] = coefFor(t, v / 1000.0);
}

void lpf::refreshOneMinusY() {
    mOneMinusY[0] = 1.0 - mY[0];
    mOneMinusY[1] = 1.0 - mY[1];
}

void lpf::proc_1stIir() {
    if (!mY) return;
    for (int ch = 0; ch < 2; ++ch) mY[ch] = (mY[ch] - mX[ch]) * mCoefA[ch] + mX[ch];
    refreshOneMinusY();
}

void lpf::snap(bool within[2]) {
    for (int ch = 0; ch < 2; ++ch) {
        within[ch] = std::fabs(mY[ch] - mX[ch]) < kSnap;
        if (within[ch]) mY[ch] = mX[ch];
    }
    refreshOneMinusY();
}

bool lpf::checkConsistent() {
    if (!mY) return false;
    bool within[2];
    snap(within);
    return within[0] && within[1];
}

void lpf::takeSeveralHundredMili() {
    if (!mY) return;
    bool within[2];
    snap(within);
    proc_1stIir();
}

double lpf::getCoefY_1_ch(int ch) const { return mY ? mY[ch & 1] : 0.0; }

double lpf::getCoefX_ch(int ch) const { return mX ? mX[ch & 1] : 0.0; }

void lpf::setXdiret(const double x[2]) {
    if (!mY) return;
    mX[0] = x[0];
    mX[1] = x[1];
}

void lpf::setY_1direct(const double y[2]) {
    if (!mY) return;
    mY[0] = y[0];
    mY[1] = y[1];
}

const double *lpf::getY_1() const {
    static const double kZero[2] = {0.0, 0.0};
    return mY ? mY : kZero;
}
