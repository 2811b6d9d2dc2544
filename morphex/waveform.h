// Waveform overview: per display point, the largest and smallest sample of
// each channel over the stretch of the file the point covers, for up to
// seven zoom levels at once. PCM is read sample by sample; DSD goes through
// a 255-tap low-pass at 1/64 of its rate, evaluated with byte tables every
// 16 samples, so the overview shows the audio band, not the 1-bit stream.
//
// Runs on the caller's thread; keeps no file-scope state (the byte tables
// live in the call's own frame), so several overviews may run at once.
#pragma once

#include <cstdint>

#include "base/wstring.h"

// Results (negative) of audioWaveForm.
enum : int {
    kWaveFormErrOpen = -3,    // "Read File Open Error!"
    kWaveFormErrMemory = -4,  // scratch or read buffer
    kWaveFormErrHeader = -7,  // "Check Header Error!"
    kWaveFormErrFmt = -8,     // "Search FMT Chunk Error!"
    kWaveFormErrData = -9,    // "Search DATA Chunk Error!"
    kWaveFormErrSeek = -13,   // five seeks failed
    kWaveFormErrRead = -14,
    kWaveFormErrWork = -15,    // work buffers
    kWaveFormErrDsf = -16,     // DSF unpacking (format not 1-bit mono/stereo)
    kWaveFormErrPcm = -17,     // PCM unpacking (word length or channels); also bad arguments
    kWaveFormErrDsdiff = -18,  // "DSDIFF to DSD Error!"
    kWaveFormAborted = -31,
};

enum : int { kWaveFormMaxLevels = 7 };

// path      the file; its extension picks the format (.wav, .dsf, .dff, .wsd;
//           anything else is read as WAV)
// start,end frames; end is cut to the file (for DSD to its frames less 255)
// counts    points per level, coarsest first; the last level has the most
//           points and each other level groups last / counts[j] of them. A
//           level never receives more than its count; a level with a count
//           below 1 or above the last receives nothing.
// maxima, minima  per level the caller's array of counts[j] stereo doubles
//           {left, right}; a mono file leaves right at 0
// abort     polled before every read; non-zero ends the call with -31 (may
//           be null)
// progress  after every finest point, the points stored on level 0 (may be
//           null)
// levels    1..7
// Result: the last level's count (0 when it is below 1), or a code above.
// After a failure the arrays hold the points stored so far.
[[nodiscard]] int audioWaveForm(const wchar16 *path, int64_t start, int64_t end, const int64_t *counts, double **maxima,
                                double **minima, const uint8_t *abort, int64_t *progress, int levels);

// The DSD filter on its own, for tests and measurements. Kernels: the plain
// sum of 31 look-ups per value, the SSE2 and AVX2 kernels (same doubles),
// and the widest the processor runs (what audioWaveForm uses).
enum : int { kWaveFormDsdPlain = 0, kWaveFormDsdSse2 = 1, kWaveFormDsdAvx2 = 2, kWaveFormDsdBest = 3 };

// Bytes each channel must hold behind the last byte of the stretch.
enum : uint32_t { kWaveFormDsdTail = 40 };

// Raw filtered values (before the x1.6 scaling) at every second byte
// j < bytes of one or two channels, each the sum of table k at byte j + k,
// k = 0..30; their largest and smallest are merged into mx[c] and mn[c].
// tables: 32 x 256 doubles as gAudio_setMeterFirParam fills them; left and
// right: bytes + kWaveFormDsdTail bytes each (right unused for one channel).
// Result: 0, kWaveFormErrPcm for a bad argument or a kernel this processor
// does not run, kWaveFormErrWork when memory runs out.
[[nodiscard]] int waveFormDsdExtremes(int kernel, const double *tables, const uint8_t *left, const uint8_t *right,
                                      int channels, uint32_t bytes, double mx[2], double mn[2]);
