// The conversion engine: one call converts one source file (WAV, DSF,
// DSDIFF or WSD) block by block into the output rate, word length, channel
// count and file type of its send record, hands every block to the caller's
// block callback and, when word 0 of its command block is
// kMorphexComWriteFile, writes the result as a new file with the source's
// marks (moved with the range), the registered tag and a start time.
//
// The same call serves playback and mix-down feeds (nothing written, the
// blocks are the product) and exports (a file is written). A job runs wholly
// on its caller's thread and calls back on it; everything a job changes
// while it runs (pan table, fade requests and smoother, the pure-DSD flag,
// the carried-over marks, the DSF packer and the dither state) is its own,
// so feed jobs of several tracks may run beside an export without touching
// its output. The shared mark list 0, through which marks reach the format
// handlers, is taken under gMorphexMarkListMutex for the few calls that use
// it.
#pragma once

#include <cstdint>
#include <mutex>

#include "base/wstring.h"
#include "dsp/dspvolume.h"
#include "morphex/morphexapi.h"  // callback types, kMorphexErrSourceCount
#include "morphex/morphexrecords.h"

// Results of a job. 0 success; every failure is negative, with the English
// line that the job prints on the standard output where there is one.
enum tMorphexResult : int {
    kMorphexOk = 0,
    kMorphexErrReadOpen = -1,  // "Read File Open Error!"
    // -2 (kMorphexErrSourceCount, morphexapi.h): the source count is not 1.
    kMorphexErrWriteOpen = -3,      // "Write File Open Error!"
    kMorphexErrSmallBuffer = -4,    // coefficient or scratch buffer
    kMorphexErrWorkBuffer = -5,     // "malloc Error11!"
    kMorphexErrCheckHeader = -7,    // "Check Header Error!": not the type its extension names
    kMorphexErrFmtChunk = -8,       // "Search FMT Chunk Error!"
    kMorphexErrDataChunk = -9,      // "Search DATA Chunk Error!" / "load cue data Error!"
    kMorphexErrCreateHeader = -10,  // "Create Header Error!"
    kMorphexErrReadBuffer = -11,
    kMorphexErrOutBuffer = -12,
    kMorphexErrSeek = -13,  // "Seek Error!"
    kMorphexErrRead = -14,  // "Read Data Error!"
    kMorphexErrPcmInBuffer = -15,
    kMorphexErrDsfUnpack = -16,     // "DSF to DSD Error!"
    kMorphexErrWavUnpack = -17,     // "Wav to PCM Error!"
    kMorphexErrBadParams = -17,     // output settings the job cannot serve (silent)
    kMorphexErrDsdiffUnpack = -18,  // "DSDIFF to DSD Error!"
    kMorphexErrUpBuffer = -19,
    kMorphexErrUpConvert = -20,    // "Up-Convert Error! "
    kMorphexErrDownConvert = -21,  // "Down-Convert Error! "
    kMorphexErrDsdOutBuffer = -22,
    kMorphexErrModulation = -23,     // "DeltaSigmaModulation Error! "
    kMorphexErrDsfPack = -24,        // "Convert DSD to DSF file Error! "
    kMorphexErrDsdiffPack = -25,     // "Convert DSD to DSDIFF file Error! "
    kMorphexErrOutType = -26,        // "expFile Type not supported! "
    kMorphexErrPcmPack = -27,        // "PCM to WAV Error! "
    kMorphexErrWrite = -28,          // "Write Data to File Error! "
    kMorphexErrUpdateSize = -29,     // the header's sizes could not be stored
    kMorphexErrNothingToRead = -30,  // nothing between start and end
    // The source has audio, but the job wrote no frame of it (a source too
    // short to give one output frame at the output rate); the output is
    // removed.
    kMorphexErrEmptyOutput = -31,  // "No Audio Written Error!"
    kMorphexErrFilterTransform = -32,
    kMorphexErrFmtKind = -35,  // "Search FMT Chunk Error!": 32+ bits neither integer nor float
    kMorphexErrDsdInBuffer = -36,
    kMorphexErrShortWrite = -38,  // "Write Data to File Error! ": the disk takes no more
    // The destination names the source file itself: refused before anything
    // is opened for writing, since opening it would truncate the source.
    kMorphexErrSameFile = -40,  // "Write File Is Read File Error!"
    kMorphexErrFftBuffer1 = -65,
    kMorphexErrFftBuffer2 = -66,
    kMorphexErrFftBuffer3 = -67,
    kMorphexErrRingBuffer = -122,
    kMorphexCancelDsd = -254,    // the block callback cancelled a DSD-output job
    kMorphexCancelPcm = -255,    // the block callback cancelled a PCM-output job
    kMorphexErrZeroRate = -753,  // source rate 0
};

enum : int {
    kMorphexMaxRing = 64,     // ring blocks a job allocates at most
    kMorphexMaxMarks = 100,   // carried-over marks
    kMorphexShortWrites = 5,  // writes in a row that may make no progress
};

// The callback types are those of morphexert (morphex/morphexapi.h).

// The engine. Arguments as morphexert's: destination path (UTF-16, read only
// when writing); list of source paths (only the first is read); ignored;
// output settings; pan and volume table (four doubles per track: LL, LR, RL,
// RR); source count (must be 1); command block; the four callbacks and the
// gain envelope (a list ending with a point whose start is kDspVolEnd; null
// means no envelope: the start gain is 0 and the output silent). Returns 0
// or a tMorphexResult code.
[[nodiscard]] int morphexSub(const wchar16 *dst, const wchar16 *const *srcList, void *ignored,
                             const tMorphexSendParams *send, double *panVol, const int *srcCount, tMorphexCom *com,
                             tMorphexBlockCallback blockCb, tMorphexStatusCallback statusCb,
                             const tDspVolItem *envelope, tMorphexErrorCallback errorCb,
                             tMorphexWorkingCallback workingCb);

// Forwards unchanged to morphexSub.
[[nodiscard]] int morphex(const wchar16 *dst, const wchar16 *const *srcList, void *ignored,
                          const tMorphexSendParams *send, double *panVol, const int *srcCount, tMorphexCom *com,
                          tMorphexBlockCallback blockCb, tMorphexStatusCallback statusCb, const tDspVolItem *envelope,
                          tMorphexErrorCallback errorCb, tMorphexWorkingCallback workingCb);

// Guards mark list 0 of the file layer, which the format handlers read when
// they load or write marks. Whoever loads marks into list 0 or writes a file
// from it inside the library holds this lock for the duration.
extern std::mutex gMorphexMarkListMutex;
