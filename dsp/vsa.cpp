#include "dsp/vsa.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/alignedalloc.h"

tVsaTraceFunc ClassVsa::sTraceFunc = nullptr;

namespace {

constexpr double kFadeTime = 0.01;  // seconds for the ramps to cover 20 dB

void trace(const char *message, unsigned line) {
    if (ClassVsa::sTraceFunc != nullptr)
        ClassVsa::sTraceFunc(message, "MAIN", 10, "dsp/vsa.cpp", line, "ClassVsa::process");
}

}  // namespace

ClassVsa::ClassVsa()
    : mSpeed(1.0f),
      mOutput(nullptr),
      mSecond(nullptr),
      mOutFrames(0),
      mRate(44100),
      mCarry(0),
      mTail(0),
      mCarryBuf(static_cast<double *>(_aligned_malloc(kVsaWorkFrames * 16u, 16))),
      mTailBuf(static_cast<double *>(_aligned_malloc(kVsaWorkFrames * 16u, 16))) {
    const double one[2] = {1.0, 1.0};
    const double zero[2] = {0.0, 0.0};
    mRiseLpf.setXdiret(one);
    mLevelLpf.setXdiret(one);
    mLevelLpf.setY_1direct(one);
    mFadeLpf.setXdiret(zero);
    setSampleRate(mRate);
}

ClassVsa::~ClassVsa() {
    _aligned_free(mCarryBuf);
    _aligned_free(mTailBuf);
}

void ClassVsa::setSpeed(float percent) {
    mSpeed = std::min(percent / 100.0f, 2.0f);
    mCarry = 0;
}

void ClassVsa::setSampleRate(int rate) {
    if (rate <= 0) return;
    mRate = rate;
    mRiseLpf.set_coefA_byFs(kFadeTime, rate);
    mLevelLpf.set_coefA_byFs(kFadeTime, rate);
    mFadeLpf.set_coefA_byFs(kFadeTime, rate);
}

void ClassVsa::setKey() { mCarry = 0; }

void ClassVsa::invalidateCache() {
    mCarry = 0;
    mTail = 0;
}

void ClassVsa::setVsaBuffer(double *output, double *second, int frames) {
    mOutput = output;
    mSecond = second;
    mOutFrames = frames > 0 ? frames : 0;
}

int ClassVsa::process(const double *input, int slot, int frames, int *produced, int a, int b) {
    double *out = slot == 0 ? mOutput : mSecond;
    if (out == nullptr || produced == nullptr || frames < 0 || (frames > 0 && input == nullptr)) return kVsaErrRange;
    if (mCarryBuf == nullptr || mTailBuf == nullptr) return kVsaErrMemory;

    if (!(mSpeed > 0.0f)) {
        if (frames > mOutFrames) return kVsaErrRange;
        if (frames > 0) std::memmove(out, input, 16u * frames);
        *produced = frames;
        return kVsaOk;
    }

    if (a < 1 || b < 0) return kVsaErrRange;
    const int64_t d = (mSpeed == 1.0f) ? 2 * int64_t(a) : int64_t(a) + b;
    if (d > kVsaWorkFrames) return kVsaErrRange;
    const int tailLen = static_cast<int>(d - a);
    // Below one frame per segment the input would never move on.
    const int64_t hop = std::max<int64_t>(1, static_cast<int64_t>(std::floor(double(a) * mSpeed)));

    // A negative carry-over is input that the last hop already stepped past.
    if (mCarry < 0 && -int64_t(mCarry) >= frames) {
        mCarry += frames;
        *produced = 0;
        return kVsaOk;
    }
    const int64_t skip = mCarry < 0 ? -int64_t(mCarry) : 0;
    const int64_t carry = mCarry > 0 ? mCarry : 0;
    const double *in = input + 2 * skip;
    const int64_t inFrames = frames - skip;
    const int64_t total = carry + inFrames;

    int64_t segments = total >= d ? (total - d) / hop + 1 : 0;
    segments = std::min<int64_t>(segments, mOutFrames / a);
    const int64_t used = segments * hop;
    const int64_t left = total - used;
    if (left > kVsaWorkFrames) return kVsaErrRange;

    if (segments == 0 && total < d) trace("skipBlock miman!!", __LINE__);

    // Frame j of the stream formed by the carry-over and this call's input.
    auto frameAt = [&](int64_t j) -> const double * { return j < carry ? mCarryBuf + 2 * j : in + 2 * (j - carry); };

    const double zero[2] = {0.0, 0.0};
    const double one[2] = {1.0, 1.0};
    for (int64_t k = 0; k < segments; ++k) {
        const int64_t src = k * hop;
        double *dst = out + 2 * k * a;
        mRiseLpf.setY_1direct(zero);
        for (int j = 0; j < a; ++j) {
            const double *s = frameAt(src + j);
            const double g = mRiseLpf.getCoefY_1_ch(0);
            double l = g * s[0], r = g * s[1];
            if (j < mTail) {
                l += mTailBuf[2 * j];
                r += mTailBuf[2 * j + 1];
            }
            dst[2 * j] = l * mLevelLpf.getCoefY_1_ch(0);
            dst[2 * j + 1] = r * mLevelLpf.getCoefY_1_ch(1);
            mRiseLpf.proc_1stIir();
        }
        // The falling ramp starts where the next segment's rising one does,
        // so the two sum to one across the overlap.
        mFadeLpf.setY_1direct(one);
        for (int j = 0; j < tailLen; ++j) {
            const double *s = frameAt(src + a + j);
            const double g = mFadeLpf.getCoefY_1_ch(0);
            mTailBuf[2 * j] = g * s[0];
            mTailBuf[2 * j + 1] = g * s[1];
            mFadeLpf.proc_1stIir();
        }
        mTail = tailLen;
    }

    // Keep what the segments did not step past; a hop beyond the end leaves
    // a deficit to skip from the next call's input.
    if (used > total) {
        mCarry = static_cast<int>(total - used);
        trace("Minus!!", __LINE__);
    } else {
        // Moving within one buffer: the kept part may overlap its old place.
        if (used < carry) {
            std::memmove(mCarryBuf, mCarryBuf + 2 * used, 16u * (carry - used));
            std::memcpy(mCarryBuf + 2 * (carry - used), in, 16u * inFrames);
        } else {
            std::memcpy(mCarryBuf, in + 2 * (used - carry), 16u * (total - used));
        }
        mCarry = static_cast<int>(left);
    }
    *produced = static_cast<int>(segments * a);
    return kVsaOk;
}
