#include "dsp/dynamics.h"

#include <algorithm>
#include <cmath>

ClassDynamics::ClassDynamics()
    : mAttack{0.003, 0.003},
      mRelease{0.15, 0.15},
      mHold{0.05, 0.05},
      mHoldLength{0, 0},
      mThresholdDb{-12.0, -12.0},
      mThreshold{0.0, 0.0},
      mRatio{32.0, 32.0},
      mRatioValue(32.0),
      mMakeup{1.0, 1.0},
      mEnable{0.0, 0.0},
      mRate(48000),
      mT{0, 0},
      mU{0, 0},
      mK{0, 0},
      mC{0, 0},
      mEnvelope{0.0, 0.0},
      mHoldCount{5, 5},
      mInPeak{0.0, 0.0},
      mOutPeak{0.0, 0.0},
      mReduction{0.0, 0.0} {
    for (int c = 0; c < 2; ++c) mThreshold[c] = std::pow(10.0, mThresholdDb[c] / 20.0);
    calcHalleyParams();
    calcTimeParams();
}

int ClassDynamics::setupParams(int attackMs, int releaseMs, double thresholdDb, double ratio, double makeupDb) {
    // A zero time would make the smoothers ring (coefficient -1), a ratio
    // below 1 turns the curve upside down and 0 divides by zero.
    if (attackMs < 1 || releaseMs < 1 || !std::isfinite(thresholdDb) || !std::isfinite(ratio) || ratio < 1.0 ||
        !std::isfinite(makeupDb))
        return kDynamicsErrRange;
    for (int c = 0; c < 2; ++c) {
        mAttack[c] = attackMs * 0.001;
        mRelease[c] = releaseMs * 0.001;
        mThresholdDb[c] = thresholdDb;
        mThreshold[c] = std::pow(10.0, thresholdDb / 20.0);
        mRatio[c] = ratio;
        mMakeup[c] = std::pow(10.0, makeupDb / 20.0);
    }
    mRatioValue = ratio;
    calcHalleyParams();
    calcTimeParams();
    return kDynamicsOk;
}

int ClassDynamics::setSampleRate(int rate) {
    if (rate <= 0) return kDynamicsErrRange;
    mRate = rate;
    calcTimeParams();
    return kDynamicsOk;
}

void ClassDynamics::setEnable(const bool *on) {
    if (on == nullptr) return;
    mEnable[0] = on[0] ? 1.0 : 0.0;
    mEnable[1] = on[1] ? 1.0 : 0.0;
}

void ClassDynamics::calcHalleyParams() {
    for (int c = 0; c < 2; ++c) {
        mT[c] = mRatio[c] + 1.0;
        mU[c] = mRatio[c] - 1.0;
        mK[c] = 1.0 / (2.0 * mThreshold[c]);
        mC[c] = std::pow(2.0, 1.0 / mRatio[c] - 1.0);
    }
}

void ClassDynamics::calcTimeParams() {
    mAttackLpf.set_coefA_byFsStereo(mAttack, mRate);
    mReleaseLpf.set_coefA_byFsStereo(mRelease, mRate);
    for (int c = 0; c < 2; ++c) mHoldLength[c] = static_cast<int>(std::lround(mRate * mHold[c]));
}

double ClassDynamics::calcGain(int ch, double envelope) const {
    const int c = ch & 1;
    if (envelope < mThreshold[c]) return 1.0;
    // One Halley step for the ratio-th root, seeded at the threshold: with
    // X = envelope / (2 threshold) the expression equals 1 at the threshold
    // (within 0.1 % for the default ratio) and falls like
    // (envelope / threshold)^(1/ratio - 1) above it.
    const double x = mK[c] * envelope;
    return mC[c] * (mT[c] * x + mU[c]) / ((mU[c] * x + mT[c]) * x);
}

tDynamicsPair ClassDynamics::getInputMeterData() {
    const tDynamicsPair r{mInPeak[0], mInPeak[1]};
    mInPeak[0] = mInPeak[1] = 0.0;
    return r;
}

tDynamicsPair ClassDynamics::getOutputMeterData() {
    const tDynamicsPair r{mOutPeak[0], mOutPeak[1]};
    mOutPeak[0] = mOutPeak[1] = 0.0;
    return r;
}

tDynamicsPair ClassDynamics::getReductionData() {
    const tDynamicsPair r{kReductionRef - mReduction[0], kReductionRef - mReduction[1]};
    mReduction[0] = mReduction[1] = 0.0;
    return r;
}

void ClassDynamics::process(double *out, const double *in, int frames) {
    if (out == nullptr || in == nullptr || frames <= 0) return;
    for (int i = 0; i < frames; ++i) {
        double x[2], a[2], target[2];
        bool falling[2];
        for (int c = 0; c < 2; ++c) {
            x[c] = in[2 * i + c];
            a[c] = std::fabs(x[c]);
            const double e = mEnvelope[c];
            mInPeak[c] = std::max(mInPeak[c], a[c]);
            falling[c] = a[c] < e;
            if (!falling[c]) {
                mHoldCount[c] = mHoldLength[c];
                target[c] = a[c];
            } else {
                // Counting stops at 0 so that a long quiet stretch cannot
                // wrap the counter round to a hold again.
                if (mHoldCount[c] > 0) --mHoldCount[c];
                target[c] = mHoldCount[c] <= 0 ? a[c] : e;
            }
        }
        mAttackLpf.setXdiret(target);
        mReleaseLpf.setXdiret(target);
        mAttackLpf.proc_1stIir();
        mReleaseLpf.proc_1stIir();
        double env[2];
        for (int c = 0; c < 2; ++c) env[c] = falling[c] ? mReleaseLpf.getCoefY_1_ch(c) : mAttackLpf.getCoefY_1_ch(c);
        // The smoother not in use follows the envelope, so that a change of
        // direction starts from where the envelope is.
        mAttackLpf.setY_1direct(env);
        mReleaseLpf.setY_1direct(env);
        for (int c = 0; c < 2; ++c) {
            mEnvelope[c] = env[c];
            const double y = x[c] * calcGain(c, env[c]);
            const double ay = std::fabs(y);
            out[2 * i + c] = mEnable[c] != 0.0 ? y : x[c];
            mOutPeak[c] = std::max(mOutPeak[c], ay);
            mReduction[c] = std::max(mReduction[c], a[c] - ay);
        }
    }
}
