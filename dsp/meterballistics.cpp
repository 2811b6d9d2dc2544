#include "dsp/meterballistics.h"

#include <cmath>

int meterPeakHoldUpdates(int periodMs) { return periodMs > 0 ? 1000 / periodMs : 0; }

double meterReleaseFactor(int periodMs) {
    // −period/50 dB per update.
    return std::pow(10.0, -20.0 * periodMs / 20000.0);
}

int meterOverHoldUpdates(int holdMs, int periodMs) {
    if (holdMs < 0 || periodMs <= 0) return -1;
    if (holdMs <= 1000) return 0;
    return static_cast<int>(static_cast<unsigned>(holdMs - 1000) / static_cast<unsigned>(periodMs));
}

void meterBallistics::setUpdatePeriod(int periodMs) {
    mUpdatePeriod = periodMs;
    mPeakHoldUpdates = meterPeakHoldUpdates(periodMs);
    mDecay = meterReleaseFactor(periodMs);
}

void meterBallistics::setOverHoldTime(int ms) { mOverHoldUpdates = meterOverHoldUpdates(ms, mUpdatePeriod); }

void meterBallistics::setOver(bool on) {
    for (int ch = 0; ch < 2; ++ch) {
        mOver[ch] = on;
        mPeakHoldCount[ch] = mPeakHoldUpdates;
    }
}

void meterBallistics::lightOver(int ch) {
    mOverCount[ch] = 0;
    mOver[ch] = true;
}

void meterBallistics::clearLevel() { mLevel[0] = mLevel[1] = 0.0; }

tMeterStep meterBallistics::update(const double levels[2], int mode) {
    tMeterStep step;
    double in[2];
    for (int ch = 0; ch < 2; ++ch) in[ch] = std::isnan(levels[ch]) ? 0.0 : levels[ch];

    double c[2];
    if (mode == mMode) {
        const double clip = mode == kMeterModeDsd ? kMeterClipDsd : kMeterClipPcm;
        for (int ch = 0; ch < 2; ++ch) {
            c[ch] = std::fmin(in[ch], clip);
            mLevel[ch] = std::fmin(mLevel[ch], clip);
        }
    } else {
        // The scales of the two modes differ by some 190 dB: nothing carries over.
        for (int ch = 0; ch < 2; ++ch) {
            mLevel[ch] = 0.0;
            mPeakHold[ch] = 0.0;
            c[ch] = 0.0;
        }
        step.restarted = true;
    }
    mMode = mode;

    for (int ch = 0; ch < 2; ++ch) {
        mLevel[ch] *= mDecay;
        step.renewed[ch] = !(c[ch] < mPeakHold[ch]);
        mPeakHold[ch] = std::fmax(c[ch], mPeakHold[ch]);
    }

    for (int ch = 0; ch < 2; ++ch) {
        if (!step.renewed[ch]) {
            if (++mPeakHoldCount[ch] > mPeakHoldUpdates) {
                // Expired: start again from what arrives now, so that the
                // line drops to the programme instead of staying at the peak.
                mPeakHoldCount[ch] = 0;
                mPeakHold[ch] = in[ch];
            }
        } else {
            mPeakHoldCount[ch] = 0;
        }
    }

    if (mOverHoldUpdates >= 0) {
        for (int ch = 0; ch < 2; ++ch) {
            if (mOverCount[ch] > mOverHoldUpdates)
                mOver[ch] = false;
            else
                ++mOverCount[ch];
        }
    }

    // The bar rises at once and falls by the release factor per update.
    for (int ch = 0; ch < 2; ++ch) {
        mLevel[ch] = std::fmax(c[ch], mLevel[ch]);
        step.shown[ch] = mLevel[ch];
    }
    return step;
}
