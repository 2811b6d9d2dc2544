// Octave filter bank: a cascade of two-band quadrature-mirror filters that
// splits a stereo signal into bands and puts them back together, for the
// variable-speed job.
//
// Stage s halves the rate: band s (s < splits) is the high half of stage s at
// 1/2^(s+1) of the input rate, and band `splits` is what remains below the
// last stage, at the same rate as band splits - 1. The shallower bands are
// delayed so that every band leaves the synthesis lined up with the deepest.
#pragma once

#include <cstdint>

enum : int {
    kQmfMaxStages = 8,
    kQmfSwitches = 16,  // band switches; the last one silences everything
    kQmfMasterSwitch = 15,
    kQmfMaxTaps = 127,        // taps per filter
    kQmfMaxFrames = 0x80000,  // input frames per analyze (output frames per synthesize)
};

// Result codes.
enum : int {
    kQmfOk = 0,
    kQmfErrRange = -17,   // argument out of range
    kQmfErrMemory = -12,  // the bank's buffers could not be allocated
};

class ClassQMF {
public:
    // 31 taps designed for 44100 Hz with the cut-off 22050 Hz, no splits,
    // every band on, histories clear. Buffers are allocated here, sized to
    // the longest filter, the deepest cascade and kQmfMaxFrames.
    ClassQMF();
    ~ClassQMF();
    ClassQMF(const ClassQMF &) = delete;
    ClassQMF &operator=(const ClassQMF &) = delete;

    // Designs the low-pass and high-pass pair: 2 * (taps / 2) + 1 windowed-
    // sinc taps (four-term Blackman-Harris), gain gain1 * gain2, cut-off fc
    // at rate fs (Hz). The taps are also written, as stereo pairs (each tap
    // twice), to lowPassOut and highPassOut when those are not null; each then
    // needs room for 2 * (2 * (taps / 2) + 1) doubles. The band delays are
    // worked out again for the new length. kQmfErrRange (and nothing changes)
    // unless 1 <= taps and the tap count <= kQmfMaxTaps and fs > 0.
    [[nodiscard]] int setDecimFirParam(int ignored, int taps, double *lowPassOut, double *highPassOut, double gain1,
                                       double fs, double fc, double gain2);
    // Number of splits n, 0..kQmfMaxStages (else kQmfErrRange), and the delay
    // of every band that lines it up with the deepest.
    [[nodiscard]] int setBranches(int n);

    // bands[0..n] receive the band signals of frames input frames: band s
    // (s < n) frames >> (s + 1) frames, band n frames >> n frames (all stereo
    // pairs). frames must be a multiple of 2^n, at most kQmfMaxFrames;
    // n at most kQmfMaxStages. Histories carry over between calls. The delays
    // are those of the last setBranches (or setDecimFirParam).
    [[nodiscard]] int analyze(double *const *bands, const double *input, int frames, int n);
    // The inverse: frames output frames from bands[0..n] laid out as
    // analyze leaves them. Bands switched off contribute nothing; with the
    // master switch off the output is silence.
    [[nodiscard]] int synthesize(double *output, const double *const *bands, int frames, int n);

    // band 0..kQmfSwitches - 1; others are ignored.
    void switchBank(int band, bool on);
    // Zeroes every history and delay line.
    void clearBuffers();

    int getTapCount() const { return mTaps; }        // as given to setDecimFirParam
    int getFilterLength() const { return mLength; }  // taps per filter
    int getBranches() const { return mSplits; }
    double getSampleRate() const { return mFs; }
    double getCutOff() const { return mFc; }
    int getBandDelay(int band) const;                        // band samples
    const double *getLowPass() const { return mLowPass; }    // stereo pairs
    const double *getHighPass() const { return mHighPass; }  // stereo pairs

private:
    void computeDelays();
    void delayBand(int band, double *samples, int frames);

    double mLowPass[2 * kQmfMaxTaps];
    double mHighPass[2 * kQmfMaxTaps];
    double mFs;
    double mFc;
    int mTaps;
    int mLength;
    int mSplits;
    bool mSwitch[kQmfSwitches];
    int mDelay[kQmfMaxStages + 1];

    // Per stage: the analysis input history and the two synthesis histories
    // (kQmfMaxTaps - 1 frames each), and the band's delay line.
    double *mAnaHist[kQmfMaxStages];
    double *mSynLowHist[kQmfMaxStages];
    double *mSynHighHist[kQmfMaxStages];
    double *mDelayLine[kQmfMaxStages];
    // Work: a history followed by one stage's input, and the ping-pong
    // buffers that carry the low half from stage to stage.
    double *mWork;
    double *mPingPong[2];
    bool mReady;
};
