// The library's exported entry points.
#include <cstdint>

#include "morphex/classfft.h"
#include "morphex/combine.h"
#include "morphex/decimfir.h"
#include "morphex/fileinfo.h"
#include "morphex/morphexapi.h"
#include "morphex/morphexjob.h"
#include "morphex/waveform.h"

namespace {

// The analysis instance of the spectrum exports and its tables. Built when
// the library is loaded and destroyed when it is unloaded. The mixer
// analysis thread is its one caller; the audio threads only refill the
// tables with the same values (initAnalyzingFFTparams).
classFFT sFFT;
double sFftCoefRe[2 * kFftMaxSize];
double sFftCoefIm[2 * kFftMaxSize];
uint64_t sBitReserseTable[kFftMaxSize];

}  // namespace

extern "C" {

int morphexert(const wchar16 *destination, const wchar16 *const *sources, void *ignored, const tMorphexSendParams *send,
               double *panVol, const int *sourceCount, tMorphexCom *com, tMorphexBlockCallback blockCallback,
               tMorphexStatusCallback statusCallback, const tDspVolItem *envelope, tMorphexErrorCallback errorCallback,
               tMorphexWorkingCallback workingCallback) {
    return morphex(destination, sources, ignored, send, panVol, sourceCount, com, blockCallback, statusCallback,
                   envelope, errorCallback, workingCallback);
}

int getAudioFileInformation(const wchar16 *path, tAudioFileInfoAFile *info) { return getAudioFileInfo(path, info); }

int id3tagInformation(int operation, int type, const wchar16 *path, tID3tagInfo *tag) {
    return id3tagInfo(operation, type, path, tag);
}

int combineFiles(int type, const wchar16 *first, const wchar16 *second, const wchar16 *work, const tBwfHdrParam *param,
                 int *progress) {
    return audioCombine(type, first, second, work, param, progress);
}

int getAudioWaveForm(const wchar16 *path, int64_t start, int64_t end, const int64_t *pointCounts, double **maxima,
                     double **minima, const uint8_t *abort, int64_t *progress, int levelCount) {
    return audioWaveForm(path, start, end, pointCounts, maxima, minima, abort, progress, levelCount);
}

int analyzeFFTspectrum(int points, int log2Points, double *left, double *right, const double *input) {
    return sFFT.analyzeFFT(points, log2Points, left, right, input);
}

int analyzeFFTspectrum2(int points, int log2Points, double *left, double *right, const double *input) {
    return sFFT.analyzeFFT(points, log2Points, left, right, input);
}

int initAnalyzingFFTparams(int points, int rate) {
    return sFFT.initAnalyzingFFT(points, rate, sFftCoefRe, sFftCoefIm, sBitReserseTable);
}

int decimationDsdData(int n, int ignored, int *leftOut, int *rightOut, int *leftBits, int *rightBits) {
    (void)ignored;
    return sFFT.decimationDsd(n, leftOut, rightOut, reinterpret_cast<const uint8_t *>(leftBits),
                              reinterpret_cast<const uint8_t *>(rightBits));
}

int setDecimationFirParam(int taps, double *coef, double rate, double cutoff, double gain) {
    gAudio_setDecimFirParam(0, rate, cutoff, taps, coef, 1, gain, 0, kFirReserveMax);
    return 0;
}

int setMeterFirParam(double rate, double cutoff, int taps, double *tables) {
    gAudio_setMeterFirParam(rate, cutoff, taps, tables);
    return 0;
}

// The C++ kernel already owns the name gAudioDecimationFir (with C++
// linkage); the export takes the plain name through an assembler label.
MORPHEX_EXPORT int morphexExport_gAudioDecimationFir(double *out, const double *newData, const double *coef, int taps,
                                                     const double *history,
                                                     int historyCount) __asm__("gAudioDecimationFir");

int morphexExport_gAudioDecimationFir(double *out, const double *newData, const double *coef, int taps,
                                      const double *history, int historyCount) {
    return gAudioDecimationFir(out, newData, coef, taps, history, historyCount);
}

}  // extern "C"
