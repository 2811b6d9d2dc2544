// Stereo peak compressor for the master bus: an envelope follower with
// attack and release smoothers and a hold time, a gain computer that
// approximates the compression curve by a Halley step rather than a power
// function, per-channel enable, and meters that are read and reset.
//
// Threads: the engine's thread runs process; the GUI thread sets parameters
// and reads the meters without a lock (each is a pair of doubles; a read may
// miss or repeat one buffer's peak).
#pragma once

#include "dsp/lpf.h"

// A value per channel.
struct tDynamicsPair {
    double left;
    double right;
};

// Result codes.
enum : int {
    kDynamicsOk = 0,
    kDynamicsErrRange = -17,  // a parameter out of range; nothing was changed
};

class ClassDynamics {
public:
    // Attack 3 ms, release 150 ms, hold 50 ms, threshold -12 dB, ratio 32,
    // makeup 0 dB, 48000 Hz, both channels off.
    ClassDynamics();
    ClassDynamics(const ClassDynamics &) = delete;
    ClassDynamics &operator=(const ClassDynamics &) = delete;

    // Times in ms (at least 1), threshold in dB, ratio (at least 1), makeup
    // in dB, for both channels; the curve constants, the smoothers and the
    // hold length follow. The makeup is kept for the dialog; the gain
    // computer does not apply it.
    [[nodiscard]] int setupParams(int attackMs, int releaseMs, double thresholdDb, double ratio, double makeupDb);
    // Hz, above 0; the smoothers and the hold length follow.
    [[nodiscard]] int setSampleRate(int rate);
    // on[0] left, on[1] right. A channel that is off passes its input
    // unchanged; its meters still run.
    void setEnable(const bool *on);

    // Largest input and output magnitudes since the last read; reading
    // resets them to 0.
    tDynamicsPair getInputMeterData();
    tDynamicsPair getOutputMeterData();
    // 1.41253755 (+3 dB) minus the largest reduction since the last read
    // (input magnitude minus output magnitude); reading resets it.
    tDynamicsPair getReductionData();

    // out and in are stereo frames; they may be the same buffer.
    void process(double *out, const double *in, int frames);

    // The gain for an envelope value on channel ch (0 or 1): 1 below the
    // threshold, else about (envelope / threshold)^(1/ratio - 1).
    double calcGain(int ch, double envelope) const;

    // Set-up, as stored (for the dialog and for tests).
    double getAttack(int ch) const { return mAttack[ch & 1]; }       // seconds
    double getRelease(int ch) const { return mRelease[ch & 1]; }     // seconds
    double getHold(int ch) const { return mHold[ch & 1]; }           // seconds
    int getHoldLength(int ch) const { return mHoldLength[ch & 1]; }  // samples
    double getThresholdDb(int ch) const { return mThresholdDb[ch & 1]; }
    double getThreshold(int ch) const { return mThreshold[ch & 1]; }  // linear
    double getRatio() const { return mRatioValue; }
    double getMakeup(int ch) const { return mMakeup[ch & 1]; }  // linear
    double getEnable(int ch) const { return mEnable[ch & 1]; }  // 1.0 or 0.0
    int getSampleRate() const { return mRate; }
    double getEnvelope(int ch) const { return mEnvelope[ch & 1]; }

    static constexpr double kReductionRef = 1.41253755;  // +3 dB as a factor

private:
    void calcHalleyParams();
    void calcTimeParams();

    double mAttack[2];
    double mRelease[2];
    double mHold[2];
    int mHoldLength[2];
    double mThresholdDb[2];
    double mThreshold[2];
    double mRatio[2];
    double mRatioValue;
    double mMakeup[2];
    double mEnable[2];
    int mRate;

    // Halley step constants per channel.
    double mT[2];  // ratio + 1
    double mU[2];  // ratio - 1
    double mK[2];  // 1 / (2 x threshold)
    double mC[2];  // 2^(1/ratio - 1)

    double mEnvelope[2];
    int mHoldCount[2];
    lpf mAttackLpf;
    lpf mReleaseLpf;
    double mInPeak[2];
    double mOutPeak[2];
    double mReduction[2];
};
