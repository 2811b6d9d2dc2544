// The analysis and display rings that the real-time path fills and the GUI
// timer and the mixer-analysis thread read: the master analysis ring and its
// low-frequency twin, the per-track analysis rings, the spectra computed from
// them and the Lissajous ring; the held peaks; plus the two plain feeds that
// append to the rings (the metering feeds are in engine/metering.h).
//
// Threads: the rings, write points and peaks are written on the device's
// thread and read by the GUI without locks (a reader may see a partly
// updated ring). The per-track rings and spectra are allocated and freed by
// the GUI under chFftBufMutex; whoever else touches them holds the mutex
// (the decimated feed and the mixer-analysis thread wait for it, the
// device thread's plain feeds and clears skip a cycle when it is busy).
#pragma once

struct tEngine;

#include <atomic>
#include <cstdint>

#include "engine/mixrecords.h"

enum : int {
    kFftOrder = 16384,          // points of every spectrum analysis
    kSpectrumBins = 65536,      // doubles per spectrum buffer
    kMasterRingFrames = 32768,  // master analysis ring, write point wraps here
    kMasterRingAlloc = 32770,   // stereo frames allocated for it
    kLowFreqRingFrames = 32768,
    kTrackRingFrames = 16384,  // per-track analysis ring, newest at the end
    kLissajousFrames = 276480,
};

constexpr double kSpectrumSetUpLevel = -10000.0;  // master spectra before the first analysis

// Master spectra (first and second buffer) and the low-frequency spectra.
extern double sFftAmplitude[2][kSpectrumBins];
extern double sFftAmplitudeLowFreq[2][kSpectrumBins];
// Master analysis ring (stereo frames) and the every-4th-frame low-frequency ring.
extern double sAnalyzeBuffer[2 * kMasterRingAlloc];
extern double sAnalyzeBufferLowFreq[2 * kLowFreqRingFrames];
// Write and read points. Writer: the real-time path. Readers: the GUI.
extern std::atomic<int32_t> curFftSample;
extern std::atomic<int32_t> curFftSampleLowFreq;
extern std::atomic<int32_t> prevCurFFTSample;
extern std::atomic<int32_t> curLissaSrcPoint;
extern std::atomic<int32_t> lissaDsdCount;
extern std::atomic<int32_t> curFFTSide;
// Per-track window counters: frames appended since the track's last analysis window.
extern std::atomic<int32_t> curFftSampleCh[kMaxTracks];
// Lissajous ring (stereo frames) and its write point.
extern double gLissajousBuf[2 * kLissajousFrames];
extern std::atomic<int32_t> gLissajousBufWrPoint;
// Per-track analysis rings (kTrackRingFrames stereo frames) and spectra (two
// per track: 2 x track and 2 x track + 1), allocated per track by the GUI.
extern double *gpChAnalyzeBuf[kMaxTracks];
extern double *gpChFFTAmplitude[2 * kMaxTracks];

// Held master peak, left and right: PCM in 32-bit integer units
// (2147483647 = full scale), DSD as a fraction of full scale. Writers: the
// back-ends' output writers (device thread), gAudioThread_clearPeakAudio
// (GUI). Reader: getPeakHoldAudio (GUI).
extern std::atomic<double> gPeakHoldVal[2];
// Held peak of each track (left, right; PCM full scale 1.0, DSD as a
// fraction of full scale). Writers: the mixing step,
// gAudioThread_clearPeakAudioTrack (GUI). Reader: getPeakHoldAudio.
extern std::atomic<double> sTrackPeakHold[kMaxTracks][2];
// Points of the spectrum analysis of the back-end the device runs. Writer:
// the buffer switch (getFFTorder of its back-end). Reader:
// getPlayingFftAnalyzing.
extern std::atomic<int32_t> sBackEndFftOrder;

// Set-up state of the rings: master spectra at kSpectrumSetUpLevel, the
// master ring and the Lissajous ring cleared, every write point and window
// counter 0.
void resetAnalysisRings();

// Appends frames to track's analysis ring (dropping the oldest) and advances
// its window counter: all n frames, or with decimate every
// meterFirInterval-th of them. Nothing for a track without a ring or n < 1.
// Both run on the device thread and skip the call when chFftBufMutex is
// busy (the GUI may be freeing the ring under it): analysis samples are
// dropped, never waited for.
void processFFT(bool decimate, int track, const double *frames, int n);
void processFFT(tEngine &e, bool decimate, int track, const double *frames, int n);

// Appends n frames to the master analysis ring at curFftSample, taking every
// stride-th frame of the source and multiplying by scale (2^-55 brings DSD
// work values to full scale 1).
void copytoFFTbuffer(const double *frames, int n, int stride, double scale);
