// The back-end of a driver model with one buffer per channel and many
// sample types (16-, 24- and 32-bit integers, 32-bit words carrying 16 to 24
// bits, 32- and 64-bit floats, each big- or little-endian, and DSD bytes).
// It also measures inputs: peaks, the phase between a pair's channels, the
// pair's analysis ring and a test Lissajous ring.
//
// The engine's set-up creates it, but no device path of this system drives
// it: its measurement state stays at its start values, which the metering
// accessors below read (zeros, an empty ring).
//
// Threads: the buffer operations would run on a device thread; the accessors
// run on the GUI thread without locks.
#pragma once

#include <cstdint>

#include "dsp/phasemeter.h"
#include "engine/audiothreadfunc.h"

class gCAudioThreadAsioFunc : public CAudioThreadFunc {
public:
    enum : int {
        kPairs = 32,                    // input pairs measured
        kTestLissajousFrames = 276480,  // stereo frames of the test Lissajous ring
    };

    gCAudioThreadAsioFunc();
    ~gCAudioThreadAsioFunc() override;

    // 0, 16 -> 16; 1, 17 -> 24; 32, 33 -> 1; 40 -> 8; every other type -> 32.
    int getBitLength(int type) override;
    // Silence into both channel buffers: zeros of the sample type's width for
    // PCM, frames / 8 bytes of 0x96 for DSD (33, 40), zero bytes for type 32.
    void copy0DataToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *out2,
                                      int channels) override;
    // The oscillator's signal into the master analysis ring and, in the
    // driver's sample type, into both channel buffers (DSD through the
    // modulator at half its full scale).
    void sineWaveToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *out2,
                                     tBufferSwitchParams *rec) override;
    // The programme writer for separate channel buffers (outputs[0] left,
    // outputs[1] right): the fade requests, the mixing step, then for PCM
    // the master feed, per frame the fade level x monitor volume, the
    // master peak and the sample in the driver's type (clipped at full
    // scale); for DSD (32, 33, 40) the volume per 500 frames, the DSD output
    // step from track 0's source bytes (mono sources on both channels, type
    // 32 bit-reversed) and the decimated master feed. 0, or -1 when the
    // master buffer is smaller than the chunk or a work buffer cannot be had.
    int convertDataToAudioDriverBuffer(int type, int frames, const int *offsets, double **const *blocks,
                                       const int *blockIndices, unsigned char **outputs, unsigned char **dsdBlocks,
                                       tBufferSwitchParams *rec) override;
    // The input pair into work frames (at the capture offset); for PCM also
    // the monitor peaks monPeakPosi / monPeakNega (cleared first when the
    // GUI asked for it with clearMoniPeakFlag).
    void convertAudioDriverToWorkBuffer(int type, int frames, double *work, const unsigned char *in,
                                        const unsigned char *in2, tBufferSwitchParams *rec) override;
    void SineWaveToWorkBuffer(int type, int frames, double *work, unsigned char *dsdLeft, unsigned char *dsdRight,
                              tBufferSwitchParams *rec) override;
    // Both channel pointers (entries 0 and 1) move by frames x bits / 8 bytes.
    void incPlayBufferAddress(unsigned char **outputs, int frames, int bits, int channels, int mark) override;
    int getDopMarkSize() override { return 0; }
    int getFFTorder() override { return mFftOrder; }
    int getCurrentBufferSize(int frames) override { return frames; }
    // Every input pair of the record: peaks, phase, analysis ring, test Lissajous ring.
    void measureInputSignals(int type, int frames, unsigned char **inputs, tBufferSwitchParams *rec) override;

    // frames frames of one channel buffer pair (left, right) of the given
    // sample type into stereo work frames from the capture offset on, at
    // full scale 1.0 (DSD: +-2^55 per bit). Types 32 and 40 write nothing.
    void driverBufToWorkBuf(double *work, const unsigned char *left, const unsigned char *right, int type, int frames);
    // Raises pair's current peak by the magnitudes of frames stereo frames.
    void measurePeakMetering(const double *frames, int count, int pair);
    // Current peaks become the held peaks and start again from 0; the first
    // two held pairs are published as the measured peak.
    void trgPeak();

    double *getLissajousBuf(int pair);
    int getLissajousWrBufCount(int pair) const;
    double *getInutMeasurePeak() { return &mMeasuredPeak[0][0]; }
    double getPhase() const { return mPhase; }
    int captureOffset() const { return mCaptureOffset; }

    // Converts one sample-type buffer pair into stereo frames at dst (the
    // body of driverBufToWorkBuf, without the capture offset).
    static void convertPair(double *dst, const unsigned char *left, const unsigned char *right, int type, int frames);
    // One double (full scale 1.0) as the driver's sample of this type, at
    // out; returns the bytes written (0 for DSD and unknown types).
    static int packSample(unsigned char *out, double v, int type);

private:
    bool growInputWork(int frames);
    bool growOutputWork(int frames);

    CPhase mPhaseMeter;
    double mPhase = 0.0;
    int mFftOrder = 16384;
    bool mTestIsDsd = false;
    int mCaptureOffset = 0;
    double *mInputWork[kPairs] = {};
    int mInputWorkFrames = 0;
    double mInputPeak[kPairs][2] = {};
    double mHeldPeak[kPairs][2] = {};
    double mMeasuredPeak[2][2] = {};
    double *mTestLissajous = nullptr;  // kTestLissajousFrames stereo frames
    double *mOutputWork = nullptr;     // the DSD master scaled for metering
    int mOutputWorkFrames = 0;
    int mTestLissajousCount[kPairs] = {};
};

// Metering accessors of the GUI over this back-end's measurement state.
double *gAutioThread_getInputMeasurePeakP();
double *gAudioThread_getTestLissajousBuf(int pair);
int gAudioThread_getTestLissajousWrBufCount(int pair);
double gAudioThread_getPhase();
// Re-arms the input measurement (trgPeak); the argument is not used.
void trgPeakHoldAudio(int unused);
