// One band of the parametric equalisers: a stereo biquad (peak, low or high
// shelf, or second-order Butterworth low-pass) whose gain glides at 0.01 dB
// per four frames so that moving a gain control does not click.
//
// Threads: one thread owns a band. The equaliser window sets up the GUI's
// bands; the engine runs bands of its own that follow the window's settings
// through its parameter snapshot (engine/engineparams.h), so procEq never
// meets a coefficient set half written.
#pragma once

#include <cstdint>

// Band type. Any value other than these passes the signal unchanged.
enum tEqType : int32_t {
    kEqPeak = 0,
    kEqShelf = 1,    // low or high side by peakEq::mShelvLo
    kEqLowPass = 2,  // the band's Q is not used
};

// Which deliverable runs the band. The conversion library runs the bands of
// the record the program hands it with an export job and differs in a few
// rules (see procEq, setupParam and reCalcCoef); the program's rules are the
// default.
enum tEqBuild : int {
    kEqBuildProgram = 0,
    kEqBuildLibrary = 1,
};

class peakEq {
public:
    // Layout of the coefficient and history block: ten stereo pairs (left,
    // right) of doubles, 16-byte aligned.
    enum : int {
        kPairC1 = 0,  // -a1/a0
        kPairC2 = 1,  // -a2/a0
        kPairB0 = 2,
        kPairB1 = 3,
        kPairB2 = 4,
        kPairX1 = 5,      // x[n-1] per channel
        kPairX2 = 6,      // x[n-2]
        kPairY1 = 7,      // y[n-1]
        kPairY2 = 8,      // y[n-2]
        kCoefPairs = 10,  // pair 9 is spare
    };

    // Fields in this order; the equaliser window writes mQ and mBandOn
    // directly before calling setupParam.
    bool mBandOn = false;  // read by the equaliser steps that run the band
    double mGain = 0.0;    // target gain, dB
    double mFreq = 100.0;  // centre or corner frequency, Hz
    double mQ = 0.7;
    double mGainCur = 0.0;     // gain in use, dB; glides toward mGain
    double mFreqPrev = 100.0;  // frequency before the latest setupParam
    double mQPrev = 0.7;       // Q before the latest setupParam
    double mFs = 44100.0;      // sampling rate, Hz
    tEqType mType = kEqPeak;
    bool mShelvLo = true;            // type 1: true low shelf, false high shelf
    double *mCoef = nullptr;         // kCoefPairs pairs, owned; null if allocation failed
    bool mGainChanging = false;      // the gain-change status is advancing
    double mGainChangeStatus = 1.0;  // 0..1

    // No coefficients are computed: a band filters to silence until
    // setupParam or reCalcCoef has run.
    peakEq();
    ~peakEq();
    peakEq(const peakEq &) = delete;
    peakEq &operator=(const peakEq &) = delete;

    // Clears the filter history.
    void initParam();

    // New target gain (dB), frequency (Hz), Q, rate (Hz) and type. Frequency,
    // Q, rate and type take effect at once; the gain glides from the previous
    // target to g in procEq, starting with the call after the next one.
    template <tEqBuild B = kEqBuildProgram>
    void setupParam(double g, double f, double q, double fs, tEqType t);

    // Computes the coefficients for gain G and stores them with the type.
    void setupParam_do(double G, double f, double Q, double fs, tEqType t);

    // Filters n stereo frames (interleaved left, right) from in to out; in
    // and out may be the same buffer. The program's build also filters the
    // n mod 4 frames after the last group of four; the library's filters
    // whole groups only.
    template <tEqBuild B = kEqBuildProgram>
    void procEq(double *out, const double *in, int32_t n);

    // Re-rates the band; a running glide ends at once.
    template <tEqBuild B = kEqBuildProgram>
    void reCalcCoef(double fs);

    // Shelf side for type 1; takes effect at the next coefficient computation.
    void setShelvLo(bool lo) { mShelvLo = lo; }

    // The band's gain in dB at frequency f for its current coefficients;
    // 0 at or above half the rate.
    double calcDBatFreq(double fs, double f) const;

    // Returns the gain-change status and advances it by 0.04 while a change
    // is running (25 calls from 0 back to 1).
    double getEqGainChangingStatus();

private:
    void startGainChange() {
        mGainChanging = true;
        mGainChangeStatus = 0.0;
    }
};
