// What the engine measures of what it plays: the master and per-track peak
// holds, the master analysis feed (with its low-frequency ring), the
// Lissajous feed, the per-rate set-up of the metering filters, and the
// accessors the GUI timer, the equaliser windows and the mixer-analysis
// thread read. The rings themselves are in engine/analysisrings.h.
//
// At DSD rates (and for the PCM peak above 352.8 kHz) the signals first
// pass a low-pass FIR that is evaluated only at every meterFirInterval-th
// frame, so the rings hold a signal at about 176.4 kHz whatever the device
// rate. The coefficients are designed by the conversion library once per
// device rate (initDsdParameters); without the library they stay zero and
// the filtered feeds read silence.
//
// Threads: the feeds and the meter run on the device's thread (or the
// mix-down thread), take no lock and allocate nothing; the accessors run on
// the GUI thread; allocateChFFTbuffer and freeChFFTbuffer change the
// per-track buffers under chFftBufMutex.
#pragma once

struct tEngine;

#include <emmintrin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>

#include "engine/analysisrings.h"

enum : int {
    kMeterFirTaps = 511,          // master metering filter at DSD rates
    kPcmPeakFirTaps = 25,         // master PCM peak filter from 352.8 kHz on
    kTrackMeterFirTaps = 81,      // track metering filter (decimated analysis)
    kLowFreqFirTaps = 81,         // low-frequency analysis filter
    kFirZeroTail = 131084,        // zero entries the library's design writes behind the taps
    kLowFreqStep = 4,             // the low-frequency ring takes every 4th master frame
    kChAnalyzeBufBytes = 262160,  // a track's analysis ring as allocated (16385 stereo frames)
    kMeterIntervalRate = 176400,  // rates above this are decimated by rate / 176400
    kPcmPeakFilterRate = 352800,  // from here the PCM peak is filtered
    kDsdRateMin = 2822400,
};

// Two-lane entries of a designed filter of T taps, zero tail included.
constexpr int firCoefEntries(int taps) { return 2 * (taps / 2) + 1 + kFirZeroTail; }

// Outputs of a T-tap two-lane FIR evaluated at frames i0, i0 + step, ...
// (count of them) of x, into out (two-lane, 2 x count doubles). The window
// of frame i ends at i (inclusive) and coefficient 0 meets its oldest
// frame; frames before x come from hist, the T frames that preceded x. Each
// lane of each output is summed in tap order from 0.0, so the values do not
// depend on how many outputs are formed together.
void firWindowEnds(const double *coef, int taps, const double *hist, const double *x, int i0, int step, int count,
                   double *out);
enum : int { kFirBatch = 64 };  // outputs a caller forms per firWindowEnds call

// Coefficients, two-lane (each value twice), written by initDsdParameters.
extern double sMeterDecimBuf[2 * firCoefEntries(kMeterFirTaps)];
extern double sMeterDecimBufPCMPCM[2 * firCoefEntries(kPcmPeakFirTaps)];
extern double sMeterDecimBufTrk[2 * firCoefEntries(kTrackMeterFirTaps)];
extern double sFFTLowFreqDecimBuf[2 * firCoefEntries(kLowFreqFirTaps)];

constexpr double kDsdWorkToFullScale = 1.0 / 36028797018963968.0;  // 2^-55
constexpr double kInt32FullScale = 2147483647.0;
constexpr double kSpectrumAllocLevel = -500.0;  // a track's spectra before the first analysis
constexpr double kSpectrumStoppedLevel = -300.0;
constexpr int kLowFreqAnalysisIndex = 1022;
constexpr int kMasterAnalysisIndex = 1023;

// The per-rate set-up: both modulator channels on the offered stream
// (mSpliceReq = mSpliceCur = 1, no cutting), the fade smoother at 0 with a 0.01 s glide
// at the rate, no fade requested or acknowledged, pure DSD off,
// meterFirInterval for the rate, and (when the library is bound) the four
// metering filters designed for the rate.
void initDsdParameters(int rate);
// The part of it that a playback changes: the fade level back to 0, both
// modulator channels on the offered stream and no integrator cutting, so
// that the next playback fades in and splices as the first one did.
// Device thread (or while no stream runs).
void resetOutputFade();
void resetOutputFade(tEngine &e);

// The held peak pair: row -1 the master (and the next measurement replaces
// it), 0..31 a track that has an audio thread; while input monitoring, rows
// above 0 report the input measurement. At DSD rates the pair is scaled by
// the fade level (0 while that is at or below 0.9). A mono source playing
// alone reads its left value twice. Anything else reads {0, 0}.
__m128d getPeakHoldAudio(int row);
void gAudioThread_clearPeakAudio();
void gAudioThread_clearPeakAudioTrack(int track);

// The spectrum buffer (kSpectrumBins doubles) of index 0..31 (a track; null
// until allocateChFFTbuffer), kLowFreqAnalysisIndex, or kMasterAnalysisIndex
// (and any index above 31); which 1 the second (right) buffer, else the
// first. *size receives the analysis points. Negative indices give null.
double *getPlayingFftAnalyzing(int index, int which, int *size);
int gAudioThread_getCurFFTSamplePoint();
int gAudioThread_getCurFFTSamplePointLowFreq();
double *gAudioThread_getLissajousBuf();
int gAudioThread_getLissajousBufWrCount();

// A track's analysis ring (zeroed) and its two spectra (kSpectrumAllocLevel),
// each only where missing. kEngineMemOk, kEngineErrMemory (what could not be
// had stays null), or -17 for a slot outside 0..31.
[[nodiscard]] int allocateChFFTbuffer(int track);
void freeChFFTbuffer(int track);

// The master analysis feed. decimate false (PCM, the mixed master before
// volume and fade): the frames go into the master ring and every 4th frame
// through the low-frequency filter into the low-frequency ring. decimate
// true (DSD, the processed master at 2^55 full scale): the 511-tap filter at
// every meterFirInterval-th frame, scaled to full scale 1, goes into the
// master ring, and its magnitude is the buffer's master peak, held into
// gPeakHoldVal.
void processFFT_MasterTrack(bool decimate, const double *frames, int n);
void processFFT_MasterTrack(tEngine &e, bool decimate, const double *frames, int n);
// The low-frequency part of the PCM feed alone.
void processFFT_MasterTrackLowFreq(const double *frames, int n);
// Clears (n + 3) / 4 low-frequency points from the write point and moves it
// past them.
void set0dataLowFreqFFT(int n);
// The Lissajous feed at the end of the master equaliser: every master frame
// (decimated false), or with decimated analysis the newest
// frames / meterFirInterval frames of the master ring, doubled.
void feedLissajous(const double *master, int frames, bool decimated);
void feedLissajous(tEngine &e, const double *master, int frames, bool decimated);
// The stopped branch of the buffer switch: the metering filter histories,
// (frames + 3) / 4 low-frequency points and the master ring cleared; each
// allocated track ring cleared and its spectra set to kSpectrumStoppedLevel
// (skipped in this call when the GUI or the analysis thread holds
// chFftBufMutex).
void gAudioThread_clearAnalysisStopped(int frames);
void gAudioThread_clearAnalysisStopped(tEngine &e, int frames);

// True when the track's audio thread plays a mono source (its left channel
// then stands for both: the meters and the DSD output duplicate it).
bool gAudioThread_isMonoSource(int track);

// Folds a buffer's peak pair into gPeakHoldVal: replaces it when a reader
// asked for that (clearPeakHold, cleared here), else keeps the larger.
void holdMasterPeak(const double peak[2]);
void holdMasterPeak(tEngine &e, const double peak[2]);

// The master PCM peak of one output chunk, measured inside the back-end's
// per-frame loop. Per frame the meter value is |clamp(source x m, -full,
// +full)| (m the metering gain of that frame); from kPcmPeakFilterRate on it
// is instead |25-tap filter output x m| at every second frame. finish()
// keeps the filter history, scales a float output's peak to 32-bit integer
// units and holds it.
class tMasterPcmMeter {
public:
    // src: the chunk's stereo frames before volume; full: 1.0 for float
    // output, 2147483647 for integer output. e: the engine whose rate and
    // peak hold it uses.
    tMasterPcmMeter(tEngine &e, const double *src, int frames, double full);
    void frame(int i, const double m[2]) {
        double v[2];
        if (mFiltered) {
            if (i & 1) return;
            firAt(i, v);
            v[0] = std::fabs(v[0] * m[0]);
            v[1] = std::fabs(v[1] * m[1]);
        } else {
            v[0] = std::fabs(std::clamp(mSrc[2 * i] * m[0], -mFull, mFull));
            v[1] = std::fabs(std::clamp(mSrc[2 * i + 1] * m[1], -mFull, mFull));
        }
        mPeak[0] = std::max(mPeak[0], v[0]);
        mPeak[1] = std::max(mPeak[1], v[1]);
    }
    void finish(bool floatOutput);
    const double *peak() const { return mPeak; }

private:
    void firAt(int i, double out[2]) const;

    tEngine &mEngine;
    const double *mSrc;
    int mFrames;
    double mFull;
    bool mFiltered;
    double mPeak[2] = {0.0, 0.0};
};
