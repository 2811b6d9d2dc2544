// Rate plan of a conversion job: before its first block a job works out the
// common rate of source and output, the interpolation and decimation factors,
// the low-pass cut-off and length of the conversion filter, how many frames a
// block holds on each side, how many bytes one read takes, where reading
// starts and ends and how many output frames the job produces. The rate
// converter (updownconv.h) and the filter design (decimfir.h) take these
// values as they are.
//
// Stateless; any thread may call these functions.
#pragma once

#include <cstdint>

#include "audiofile/audiofileif.h"  // tAudioFileType

// Results of ratePlanMake. A refused plan allocates nothing; the job ends
// with the code before any buffer of its block loop exists.
enum : int {
    kRatePlanOk = 0,
    kRatePlanZeroRate = -753,  // source or output rate 0
    // The common rate of the two rates, scaled for the filter-length rule
    // (L x 2 or L x 8), does not fit 32 bits. Only rates outside the rate
    // table get there (the largest pair of the table, 44.1 kHz and 768 kHz,
    // scales to 903,168,000); such a pair would need a filter far longer
    // than the longest one and blocks of a few frames.
    kRatePlanRateOutOfRange = -754,
    kRatePlanEmptyBlock = -755,  // a block would hold 0 frames on one side
    kRatePlanBadFormat = -756,   // 0 channels or 0 bits, or a read beyond 2 GiB
};

// Rate-conversion methods (tMorphexSendParams::mode).
enum : uint32_t {
    kRatePlanModeLongFir = 2,  // time-domain FIR of 32767 taps
    kRatePlanModeFft = 3,      // frequency-domain filtering, 18496 taps
};

enum : int32_t {
    kRatePlanFftTaps = 18496,
    kRatePlanMaxTaps = 32767,
    kRatePlanFftSize = 65536,
    kRatePlanBlockBase = 1505280,     // 8 x 188160: the decimation steps of one block
    kRatePlanDsdDelay = 17,           // extra delay of a DSD-to-DSD job (the splice lag)
    kRatePlanDsfBlockFrames = 32768,  // frames of one 4096-byte DSF block per channel
};

// Gain of the conversion filter for a DSD output: half the modulator's full
// scale of 2^55, so a full-scale +-2 DSD input comes out at full scale.
constexpr double kRatePlanDsdGain = 18014398509481984.0;  // 2^54
// Above this many bytes of output the header is written as RF64
// (4 GiB minus 64 KiB).
constexpr uint64_t kRatePlanLargeFileBytes = 4294901760ull;

// What the plan is made from.
struct tRatePlanJob {
    uint32_t inRate = 0;   // source rate, Hz
    uint32_t outRate = 0;  // output rate, Hz
    uint32_t mode = 0;     // kRatePlanModeFft, kRatePlanModeLongFir, else computed length
    tAudioFileType srcType = kAudioFileWAV;
    tAudioFileType outType = kAudioFileWAV;
    bool writing = false;     // the job writes a file (else it only feeds blocks)
    bool multiTrack = false;  // several tracks are mixed
    bool feedLimit = false;   // blocks limited to 1/80 s at the output rate
    uint32_t srcBits = 0;     // source word length (1 for DSD)
    uint32_t srcChannels = 0;
    uint32_t outBits = 0;  // output word length (1 for DSD)
    uint32_t outChannels = 0;
    int64_t start = 0;        // first source frame
    int64_t end = 0;          // source frame at which the job ends
    int64_t totalFrames = 0;  // source frames in the file
};

struct tRatePlan {
    uint32_t commonRate = 0;  // L, the least common multiple of the two rates
    uint32_t up = 0;          // L / source rate
    uint32_t down = 0;        // L / output rate
    double cutoff = 0.0;      // Hz
    int32_t taps = 0;         // filter length; 0 for equal rates without mixing
    double gain = 1.0;        // 1 for PCM output, kRatePlanDsdGain for DSD output
    bool equalRates = false;
    int64_t delay = 0;  // frames
    uint32_t outBlockFrames = 0;
    uint32_t inBlockFrames = 0;
    uint32_t readBytes = 0;    // bytes of one full read
    uint32_t fftSize = 0;      // 65536 in FFT mode, else 0
    int64_t countBase = 0;     // frame from which the input frames are counted
    int64_t totalFrames = 0;   // source frames, less start - countBase for a DSF source
    int64_t sourceFrames = 0;  // source frames converted
    int64_t readEnd = 0;       // frame at which reading ends
    int64_t plannedOutFrames = 0;
    bool largeFile = false;   // the output header needs 64-bit sizes
    int64_t preRoll = 0;      // PCM source: frames read before the start frame
    int32_t filterDelay = 0;  // the block callback's filter-delay argument
    int64_t inputFrames = 0;  // readEnd - countBase; nothing to read when <= 0
};

// Least common multiple of a and b; 0 when either is 0 or negative, or when
// the result does not fit an int.
[[nodiscard]] int getLcm(int a, int b);
// Greatest common divisor of a and b; 0 when either is 0 or negative.
[[nodiscard]] int getGcd(int a, int b);

// The cut-off of the conversion filter in Hz for source rate `in`, output
// rate `out`, and whether the job writes a file.
[[nodiscard]] double ratePlanCutoff(uint32_t in, uint32_t out, bool writing);

// Filter length for unequal rates: mode 3 gives 18496, mode 2 32767, any
// other mode a power of two minus one from 31 to 32767 covering
// max(k x up, L x 2^s / fc), with k = 5, s = 1 when source and output are
// both DSD types and k = 20, s = 3 otherwise. fc is the cut-off truncated to
// an integer (0 is taken as 1). The fourth and last arguments are
// ignored (the engine's call passes them).
[[nodiscard]] int selectFirOrder(uint32_t mode, uint32_t fc, uint32_t commonRate, uint32_t unused, uint32_t up,
                                 uint32_t srcType, uint32_t outType, int unused2);

// (b - a) rounded down to a multiple of c x d.
[[nodiscard]] uint32_t selectSampleUnit(uint32_t a, uint32_t b, uint32_t c, uint32_t d);

// Works out the plan of `job` into `plan`; prints nothing. kRatePlanOk or
// one of the codes above (then `plan` is left as it was). A plan with
// nothing to read (plan->inputFrames <= 0) is not refused here: the job
// decides.
[[nodiscard]] int ratePlanMake(const tRatePlanJob &job, tRatePlan *plan);
