#include "dsp/oscillator.h"

#include <cmath>
#include <cstring>

#include "base/noisereg.h"

oscillatorMain COscClass;

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kFullScale = 2147483647.0;
constexpr double kDsdRate = 2822400.0;

struct PinkSection {
    double cornerHz;
    double weight;
};
// Four one-pole sections whose weighted sum falls about 3 dB per octave;
// the top section moves up above 48 kHz and is dropped at DSD rates.
constexpr PinkSection kPink[3] = {{15.0, 0.6675}, {200.0, 0.22}, {3000.0, 0.0325}};
constexpr PinkSection kPinkTopLow = {10000.0, 0.044};
constexpr PinkSection kPinkTopHigh = {20000.0, 0.04};

double frac(double v) { return v - std::floor(v); }

}  // namespace

oscillatorMain::oscillatorMain() { calcCoefs(); }

void oscillatorMain::calcCoefs() {
    const double w = kTwoPi * mFreq / mRate;
    mSin2Cos[0] = mSin2Cos[1] = 2.0 * std::cos(w);
    mSinW[0] = mSinW[1] = std::sin(w);

    for (int k = 0; k < kPinkSections; ++k) {
        PinkSection s;
        if (k < 3)
            s = kPink[k];
        else if (mRate >= kDsdRate)
            s = {0.0, 0.0};
        else
            s = (mRate <= 48000.0) ? kPinkTopLow : kPinkTopHigh;
        double g = 0.0, c = 0.0;
        if (s.weight != 0.0) {
            const double d = std::tan(kTwoPi * s.cornerHz / mRate);
            g = s.weight * d / (1.0 + d);
            c = (1.0 - d) / (1.0 + d);
        }
        mPinkG[k][0] = mPinkG[k][1] = g;
        mPinkC[k][0] = mPinkC[k][1] = c;
    }
}

void oscillatorMain::setOscFS(double rateHz) {
    mRate = rateHz;
    calcCoefs();
}

void oscillatorMain::setOscFreq(double hz) {
    mFreq = hz;
    calcCoefs();
}

void oscillatorMain::setOscLevel(double dB) {
    mLevel = std::pow(10.0, dB / 20.0);
    calcCoefs();
}

void oscillatorMain::sOscOn() {
    mKick = true;
    mOn = true;
}

void oscillatorMain::sOscOff() {
    mOn = false;
    std::memset(mSinS1, 0, sizeof mSinS1);
    std::memset(mSinS2, 0, sizeof mSinS2);
}

uint32_t oscillatorMain::calcMseqence() {
    mShift = lfsr32Step(mShift);
    return mShift;
}

// Runs from 0 to 2L: the register is read unsigned, so the noise carries an
// offset of L.
double oscillatorMain::nextWhite() { return static_cast<double>(calcMseqence()) / kFullScale * mLevel; }

void oscillatorMain::generateSineWave(double *out, int frames) {
    if (!out || frames <= 0) return;
    const double L = mLevel;
    switch (mWaveType) {
    case kOscSine:
        for (int i = 0; i < frames; ++i) {
            for (int ch = 0; ch < 2; ++ch) {
                const double k = mKick ? mSinW[ch] : 0.0;
                const double s = mSin2Cos[ch] * mSinS1[ch] - mSinS2[ch] + k;
                mSinS2[ch] = mSinS1[ch];
                mSinS1[ch] = s;
                out[2 * i + ch] = L * s;
            }
            mKick = false;
        }
        break;
    case kOscFixedPattern: {
        const double v = static_cast<double>(mPattern) / kFullScale;
        for (int i = 0; i < 2 * frames; ++i) out[i] = v;
        break;
    }
    case kOscSawtooth: {
        const double step = mFreq / mRate;
        for (int i = 0; i < frames; ++i) {
            const double v = frac(step * static_cast<double>(mCounter)) * 2.0 * L - L;
            ++mCounter;
            out[2 * i] = out[2 * i + 1] = v;
        }
        break;
    }
    case kOscTriangle: {
        const double step = mFreq / mRate;
        for (int i = 0; i < frames; ++i) {
            const double v = std::fabs(frac(step * static_cast<double>(mCounter)) * 4.0 * L - 2.0 * L) - L;
            ++mCounter;
            out[2 * i] = out[2 * i + 1] = v;
        }
        break;
    }
    case kOscWhiteNoise:
        for (int i = 0; i < frames; ++i) {
            const double v = nextWhite();
            out[2 * i] = out[2 * i + 1] = v;
        }
        break;
    case kOscPinkNoise: {
        const double post = (mRate < kDsdRate) ? 1.0 : 8.0;
        for (int i = 0; i < frames; ++i) {
            const double x = nextWhite();
            for (int ch = 0; ch < 2; ++ch) {
                double sum = 0.0;
                for (int k = 0; k < kPinkSections; ++k) {
                    mPinkY[k][ch] = mPinkC[k][ch] * mPinkY[k][ch] + mPinkG[k][ch] * (x + mPinkXPrev[k][ch]);
                    mPinkXPrev[k][ch] = x;
                    sum += mPinkY[k][ch];
                }
                out[2 * i + ch] = sum * post;
            }
        }
        break;
    }
    default: break;
    }
}
