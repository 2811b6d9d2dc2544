// Second-order low-pass (Butterworth, bilinear transform) whose cut-off
// follows a 0..100 damping value, for the reverb's tail.
#pragma once

class dampingFilter {
public:
    // Rate 48000 Hz, histories clear; until calcDumpParams runs the filter
    // passes its input unchanged (b0 = 1, everything else 0).
    dampingFilter();

    // Damping 0..100 (values above 100 count as 100): the cut-off is
    // 10^((100 - damping) / 25 + 1) Hz, so 100 gives 10 Hz and 50 gives
    // 1 kHz, limited to 0.45 x the rate. The coefficients follow. With a rate
    // of 0 or less nothing changes.
    void calcDumpParams(int damping);
    // in and out are stereo double frames; they may be the same buffer.
    // Histories carry over between calls.
    void procDamp(const double *in, double *out, long frames);
    // Hz. Takes effect at the next calcDumpParams.
    void setSampleRate(int rate) { mRate = rate; }

    double getCutOff() const { return mCutOff; }  // Hz, 0 before the first set-up
    int getSampleRate() const { return mRate; }

private:
    int mRate;
    double mCutOff;
    double mB0, mB1, mB2, mA1, mA2;
    double mX1[2], mX2[2];  // last two inputs per lane
    double mY1[2], mY2[2];  // last two outputs per lane
};
