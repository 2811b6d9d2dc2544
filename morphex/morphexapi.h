// The exported C interface of the conversion library libmorphex.
//
// The program never links against these symbols: it loads
// "libmorphex.so.1" from its own folder at run time and resolves each entry
// point by its plain name (the names below, unmangled). Everything else in
// the library is hidden; tests check the exported list with nm -D.
//
// Every call runs to completion on the caller's thread and calls its
// callbacks on that thread before it returns. Results are 32-bit signed:
// 0 (or a count) on success, negative codes on failure; nothing throws.
//
// Records that cross the boundary (tMorphexSendParams, tMorphexCom,
// tAudioFileInfoAFile) are in morphex/morphexrecords.h, tBwfHdrParam in
// audiofile/audiofileif.h, tID3tagInfo in audiofile/tagrecord.h, the gain
// envelope tDspVolItem in dsp/dspvolume.h. Nothing this header includes
// carries the program's window texts.
#pragma once

#include <cstdint>

#include "audiofile/audiofileif.h"
#include "audiofile/tagrecord.h"
#include "morphex/morphexexport.h"
#include "morphex/morphexrecords.h"

struct tDspVolItem;  // dsp/dspvolume.h

// Result of morphexert for a source count other than 1.
enum : int { kMorphexErrSourceCount = -2 };

// id3tagInformation operations.
enum tContId3tag : int {
    kId3tagLoad = 0,      // read the file's tag into the record
    kId3tagRegister = 1,  // keep the record for the next file written
};

extern "C" {

// --- Callbacks of morphexert (all on the caller's thread) -----------------

// Once per converted block. produced: output frames so far, this block
// included; blockFrames: frames in this block; framesPerBlock: of a full
// block; slot: ring slot holding it; blockBytes: bytes of a full block
// (frames / 8 rounded up for 1-bit output, frames x 16 otherwise);
// pcmBlocks: the list of the ring's stereo-double buffers; dsdBlocks: the
// ring's DSD buffers, left at 2 x slot, right at 2 x slot + 1; filterDelay:
// conversion filter length for a converted DSD source, else 0; track: the
// job's track slot; outRate: hertz; com: the job's tMorphexCom. 0 or more
// continues, negative cancels the job.
typedef int (*tMorphexBlockCallback)(uint64_t produced, int blockFrames, int framesPerBlock, int slot, int blockBytes,
                                     void *pcmBlocks, unsigned char **dsdBlocks, int filterDelay, int track,
                                     int outRate, unsigned int *com);
// At a good end (called until it returns non-zero) and once on a cancel.
typedef int (*tMorphexStatusCallback)(int track);
// Once on a failure after the job's buffers were allocated, before they are
// freed.
typedef int (*tMorphexErrorCallback)(int track);
// Before every source read with {0, 0, bytes}, before DSF unpacking with
// {0, 1, samples}; the result is ignored.
typedef int (*tMorphexWorkingCallback)(long long *record);

// --- Entry points -----------------------------------------------------------

// Runs one conversion or feed job. sourceCount must point at 1
// (kMorphexErrSourceCount otherwise, before anything is opened). The job
// itself: morphex/morphexjob.h; its results are tMorphexResult.
MORPHEX_EXPORT int morphexert(const wchar16 *destination, const wchar16 *const *sources, void *ignored,
                              const tMorphexSendParams *send, double *panVol, const int *sourceCount, tMorphexCom *com,
                              tMorphexBlockCallback blockCallback, tMorphexStatusCallback statusCallback,
                              const tDspVolItem *envelope, tMorphexErrorCallback errorCallback,
                              tMorphexWorkingCallback workingCallback);

// File format, sizes, marks and start time into the caller's record
// (morphex/fileinfo.h). 0, -3, -7, -8 or -9.
MORPHEX_EXPORT int getAudioFileInformation(const wchar16 *path, tAudioFileInfoAFile *info);

// Loads a file's tag (operation kId3tagLoad) or registers one for the next
// file written (kId3tagRegister); type 127 decides by the extension
// (morphex/fileinfo.h). 0, -3, -7 or -37.
MORPHEX_EXPORT int id3tagInformation(int operation, int type, const wchar16 *path, tID3tagInfo *tag);

// Joins second into first through the work file (morphex/combine.h).
MORPHEX_EXPORT int combineFiles(int type, const wchar16 *first, const wchar16 *second, const wchar16 *work,
                                const tBwfHdrParam *param, int *progress);

// Waveform overview for levelCount zoom levels (morphex/waveform.h).
MORPHEX_EXPORT int getAudioWaveForm(const wchar16 *path, int64_t start, int64_t end, const int64_t *pointCounts,
                                    double **maxima, double **minima, const uint8_t *abort, int64_t *progress,
                                    int levelCount);

// Amplitude spectra in dB of `points` stereo frames (`log2Points` stages)
// on the library's one analysis instance; every bin of both halves is
// written. 0, or -68 when the transform fails. One caller at a time.
MORPHEX_EXPORT int analyzeFFTspectrum(int points, int log2Points, double *left, double *right, const double *input);
MORPHEX_EXPORT int analyzeFFTspectrum2(int points, int log2Points, double *left, double *right, const double *input);
// Fills the analysis tables and window for the instance's size (16384
// points); neither argument changes the size. 0.
MORPHEX_EXPORT int initAnalyzingFFTparams(int points, int rate);
// Expands n 1-bit samples per channel (bytes at leftBits, rightBits) into
// +-2147483647 values. `ignored` is unused (the exported signature keeps
// it). 0.
MORPHEX_EXPORT int decimationDsdData(int n, int ignored, int *leftOut, int *rightOut, int *leftBits, int *rightBits);

// Windowed-sinc low-pass of `taps` taps into the caller's two-lane array
// (the design's zero tail for 32767 taps included, see morphex/decimfir.h).
// 0.
MORPHEX_EXPORT int setDecimationFirParam(int taps, double *coef, double rate, double cutoff, double gain);
// 1-bit byte tables of a low-pass (morphex/decimfir.h). 0.
MORPHEX_EXPORT int setMeterFirParam(double rate, double cutoff, int taps, double *tables);
// One output point of the stereo FIR, gAudioDecimationFir, is exported as
// well: its C++ declaration is in morphex/decimfir.h, and the library's
// entry module binds the export to that name.

MORPHEX_EXPORT int fnWin32Project1();              // 42
MORPHEX_EXPORT int GetData(int x, uint32_t *out);  // *out = x^3 (32-bit); 1

}  // extern "C"

// Exported data (plain names, not bound by the program): gAudioFile, gWAV,
// gDSF, gDSDIFF, gWSD (morphex/audiofiledispatch.h), gFsTable,
// DeviceVersion, nWin32Project1 (morphex/libutil.h), gMarkList
// (audiofile/marklist.h), gQueueCtrl (audiofile/queuectrl.h), pProgress
// (audiofile/vfile.h). The list the library exports is
// morphex/libmorphex.map.
