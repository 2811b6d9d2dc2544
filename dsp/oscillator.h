// Test-signal generator: sine, a fixed 32-bit sample pattern, sawtooth,
// triangle, white and pink noise, written as interleaved stereo doubles with
// the same value on both channels. The engine plays it in place of the
// programme while it is on.
//
// Threads: the audio device's thread calls generateSineWave while the GUI
// thread calls the setters and writes mWaveType and mPattern, without a
// lock; new coefficients take effect from the next buffer or part-way
// through one.
#pragma once

#include <cstdint>

// Wave form. Any other value produces nothing.
enum tOscWaveType : int32_t {
    kOscSine = 0,
    kOscFixedPattern = 1,
    kOscSawtooth = 2,
    kOscTriangle = 3,
    kOscWhiteNoise = 4,
    kOscPinkNoise = 5,
};

class oscillatorMain {
public:
    enum : int { kPinkSections = 4 };

    oscillatorMain();

    // Each setter stores its value and recomputes every coefficient.
    void setOscFS(double rateHz);
    void setOscFreq(double hz);
    void setOscLevel(double dB);  // stored as 10^(dB/20)

    // On: the next sine sample gets its start kick; the sine state is kept.
    void sOscOn();
    // Off: also clears the sine state.
    void sOscOff();
    bool getOscStatus() const { return mOn; }

    // Fills frames stereo frames with the selected wave; nothing for
    // frames <= 0 or an unknown wave type.
    void generateSineWave(double *out, int frames);

    // Advances the shift register one step and returns the new state.
    uint32_t calcMseqence();

    // The main window writes these two directly, as one pair or the type
    // alone, so they stay adjacent and in this order.
    int32_t mWaveType = kOscSine;  // a tOscWaveType
    int32_t mPattern = 0;          // fixed 32-bit sample for kOscFixedPattern

    double getOscFS() const { return mRate; }
    double getOscFreq() const { return mFreq; }
    double getOscLevel() const { return mLevel; }  // linear

    static constexpr double kDefaultLevel = 0.15848931924611134;  // -16 dB

private:
    void calcCoefs();
    double nextWhite();

    double mSin2Cos[2] = {};  // 2 cos w per lane
    double mSinW[2] = {};     // sin w per lane (the start kick)
    double mSinS1[2] = {};    // last sine output
    double mSinS2[2] = {};    // the one before
    double mRate = 44100.0;
    double mFreq = 1000.0;
    double mLevel = kDefaultLevel;
    bool mKick = false;
    bool mOn = false;
    int64_t mCounter = 0;  // sawtooth and triangle; runs on across on/off and type changes
    uint32_t mShift = 0x55555555u;
    // Pink filter bank: per section gain, feedback, output and previous input.
    double mPinkG[kPinkSections][2] = {};
    double mPinkC[kPinkSections][2] = {};
    double mPinkY[kPinkSections][2] = {};
    double mPinkXPrev[kPinkSections][2] = {};
};

// The program's one generator.
extern oscillatorMain COscClass;
