// Rate conversion of one block for the conversion engine. The down stage
// treats its input as if it had been raised to the common rate L (the least
// common multiple of the two rates) by inserting zeros, filters at L and
// keeps every down-th sample, down = L / output rate; it computes only the
// samples it keeps (a polyphase filter). On the way it applies the job's
// gain envelope, its 2x2 pan and volume matrix, the DSD fade smoother and,
// when asked, the equaliser. The up stage serves DSD sources: it turns their
// bits into numbers at the source rate (+-2 per bit) or, with the hold flag,
// repeats each sample up to L. A DSD source can also skip the up stage:
// the down stage then reads its bits directly through byte tables of the
// filter (8 taps per look-up, no multiplication).
//
// Frames are "two-lane": two doubles per frame (left, right).
//
// Threads: one object per job, used on the job's thread. The fade smoother
// belongs to the shared fade record (convpcmdsd.h), which the PCM-to-DSD
// step drives as well.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/alignedalloc.h"
#include "dsp/dsm5th.h"
#include "dsp/dspvolume.h"       // tDspVolItem
#include "morphex/convpcmdsd.h"  // tConvFadeShared

struct tPEQ;  // dsp/peqrecord.h
class classFFT;

// Results.
enum : int {
    kUpDownOk = 0,
    kUpDownNoMemory = -1,    // a work buffer or filter table could not be allocated
    kUpDownBadParams = -17,  // a null buffer, a rate of 0, or a plan the block cannot hold
};

enum : int {
    kUpDownWorkFrames = 73728,  // work buffer at construction
    kUpDownSmoothTaps = 45,     // the DSD smoothing filter of mixed tracks
    kUpDownHistoryFrames = 48,
};

// Running state of a gain envelope.
struct tDspVolParam {
    double level = 0.0;    // current gain
    int64_t position = 0;  // output frames stepped so far
    int32_t index = 0;     // current segment of the envelope
};

// Arguments of the down stage.
struct tDownConvertParams {
    double *output = nullptr;               // count two-lane frames; branch C adds into it (see overwrite)
    const double *input = nullptr;          // frames at the source rate
    int count = 0;                          // output frames n
    uint32_t inRate = 0;                    // Hz
    uint32_t outRate = 0;                   // Hz
    uint32_t commonRate = 0;                // L, a multiple of both rates
    uint8_t hold = 0;                       // 1: output i is input frame i down / up, unfiltered
    int phaseOffset = 0;                    // added to the filter phase (the engine passes 0)
    const double *coefficients = nullptr;   // two-lane rate-conversion filter (decimfir.h)
    int taps = 0;                           // its length T
    FILE *file = nullptr;                   // ignored; passed through for the call's shape
    int track = 0;                          // row of the pan and volume table
    tDspVolParam *envelopeState = nullptr;  // null: unity gain
    const tDspVolItem *envelope = nullptr;  // null: the level stays as it is
    uint8_t eqOn = 0;                       // apply the equaliser (when its on switch is set too)
    tPEQ *eq = nullptr;
    double scale = 1.0;                          // the filter design's gain, applied again at equal rates and by hold
    const classDsm5th *modulator = nullptr;      // the job's modulator; its splice words are read
    int writing = 0;                             // 1 when the job writes a file
    uint8_t fadeLpf = 0;                         // the job's fade-smoother switch
    uint8_t smoothDsd = 0;                       // run DSD through the 45-tap smoothing filter
    const double *smoothCoefficients = nullptr;  // the 45-tap filter, two-lane
    // Optional: the two DSD work streams of a DSD source (first sample in
    // the most significant bit) and the position of the block's first
    // sample in the first byte (0..7). When set, the polyphase branch reads
    // the bits through the object's byte tables instead of `input`; the
    // streams must be readable up to the byte after the last bit the
    // outputs reach. The other branches still need `input`.
    const uint8_t *const *dsd = nullptr;
    uint32_t dsdBitOffset = 0;
    // 1: the polyphase branch stores its outputs instead of adding them into
    // `output`, so the caller need not clear the block first (and the block
    // is not read back from memory). The hold branch always adds.
    uint8_t overwrite = 0;
};

class CUpDownConv {
public:
    // Allocates the work buffer (kUpDownWorkFrames frames) and the zeroed
    // history; capacity() is 0 when that failed.
    explicit CUpDownConv(tConvFadeShared *shared = &gConvFadeShared);
    ~CUpDownConv();
    CUpDownConv(const CUpDownConv &) = delete;
    CUpDownConv &operator=(const CUpDownConv &) = delete;

    // Prepares the polyphase form of a filter of `taps` two-lane
    // coefficients for interpolation factor `up` (and, with dsdTables, the
    // byte tables of a DSD source; else, given the decimation factor
    // `down`, the tiles of the wide sums). The down stage prepares on first
    // use by itself; calling this at job set-up keeps the allocation out of
    // the block loop. The coefficients must not change while they are in
    // use. kUpDownOk, kUpDownNoMemory or kUpDownBadParams.
    [[nodiscard]] int prepareFilter(const double *coefficients, int taps, uint32_t up, bool dsdTables,
                                    uint32_t down = 0);

    // Up stage. out: two-lane frames; the first `offset` frames are zeroed
    // and the samples follow them. src: with isDsd two byte streams (left,
    // right), else two arrays of doubles (left, right). n source samples;
    // without hold n frames, sample bitOffset + k of each stream (DSD: +2.0
    // for a set bit, -2.0 for a clear one); with hold each sample (from the
    // first bit) fills commonRate / inRate frames. `file` is ignored (kept
    // for the converters' common argument list).
    // kUpDownOk, or kUpDownBadParams for null buffers or rates.
    [[nodiscard]] int gAudio_upconvert(double *out, const void *const src[2], uint32_t n, uint32_t inRate,
                                       uint32_t commonRate, uint8_t hold, uint8_t isDsd, uint32_t offset,
                                       uint32_t bitOffset, FILE *file);

    // Down stage of one block. kUpDownOk; kUpDownNoMemory when the 45-tap
    // path or the filter tables cannot be allocated (the output is then
    // unchanged); kUpDownBadParams for null buffers, rates of 0 or a common
    // rate that is not a multiple of both rates.
    [[nodiscard]] int gAudio_downconvert(const tDownConvertParams *p);

    // Frequency-domain up stage (filter mode 3): PCM frame k (two-lane `pcm`)
    // or DSD sample bitOffset + k goes to frame offset + f k and the f - 1
    // frames after it are zero (with hold the sample fills all f frames),
    // f = commonRate / inRate. kUpDownOk or kUpDownBadParams.
    [[nodiscard]] int gAudio_upconvertFreqAxis(double *out, const double *pcm, const uint8_t *const dsd[2], uint32_t n,
                                               uint32_t inRate, uint32_t commonRate, uint8_t hold, uint8_t isDsd,
                                               uint32_t offset, uint32_t bitOffset, FILE *file);

    // Frequency-domain down stage: transforms N two-lane frames of `in`
    // (not modified), multiplies by the filter spectrum (filterRe, filterIm:
    // N two-lane bins), transforms back and stores, for i < n, the gains
    // applied to frame start + i down (overlap-save). N must be the size
    // of `fft` and of the tables it holds. With eqOn the equaliser runs
    // over the block as in gAudio_downconvert. The hold flag, the unnamed
    // word and the file are ignored (kept for the converters' common
    // argument list).
    // Its work arrays are allocated on the first call and kept.
    // kUpDownOk; kUpDownNoMemory; kUpDownBadParams when the block would
    // read past N frames or N is not the transform's size; a failed
    // transform gives kUpDownNoMemory's -1 as well.
    [[nodiscard]] int gAudio_downconvertFreqAxis(double *out, const double *in, uint32_t n, uint32_t inRate,
                                                 uint32_t outRate, uint32_t commonRate, uint8_t hold, uint32_t unused,
                                                 const double *filterRe, const double *filterIm, uint32_t start,
                                                 FILE *file, int track, classFFT *fft, int N, int stages,
                                                 tDspVolParam *envelopeState, const tDspVolItem *envelope, bool eqOn,
                                                 tPEQ *eq);

    int capacity() const { return mCapacity; }
    const double *history() const { return mHistory.get(); }
    const double *work() const { return mWork.get(); }

private:
    struct Filter;
    bool growWork(int frames);
    int prepareTiles(uint32_t down);
    template <class Source>
    void polyphase(const tDownConvertParams *p, const Source &src, bool fadeActive);

    tAlignedBuffer<double> mWork;     // two-lane frames, 16-byte aligned
    tAlignedBuffer<double> mHistory;  // kUpDownHistoryFrames two-lane frames, 16-byte aligned
    int mCapacity;                    // frames of mWork
    tConvFadeShared *mShared;
    std::unique_ptr<Filter> mFilter;  // prepared polyphase form and byte tables
    tAlignedBuffer<double> mFreq;     // frequency-domain work: three arrays of mFreqFrames two-lane frames
    int64_t mFreqFrames;
};

// The down stage reads the job's pan and volume table through getPanVol
// (morphex/libutil.h); with none set it uses the identity matrix.

// For tests and benchmarks: caps the instruction set of the polyphase sums
// at `level` (0 plain, 1 256-bit, 2 512-bit; never above what the processor
// has). Every level gives the same doubles; only the speed differs. Affects
// every converter of the process.
void upDownConvLimitIsa(int level);
