// Fifth-order delta-sigma modulator: stereo PCM at a DSD rate in, two planar
// 1-bit streams out (eight samples to a byte, first sample in the most
// significant bit, 1 = positive), with overload detection and hold, the mute
// pattern mixed into the input, fades that bring the integrators to clean
// values, and a bit-exact splice between the modulated stream and another
// DSD stream (the source bits or the mute pattern).
//
// The program and the conversion library build the same code with a few
// different constants; the policy records below hold every difference, and
// classDsm5thApp / classDsm5th name the two builds.
//
// Threading: one object is driven by one thread at a time (the device I/O
// thread for the program's instance, the job's thread for a library object).
// The only field written from another thread is mMutePatVolCoef (the playback
// producer sets its own time constant); the modulator reads it once per byte.
// Nothing here allocates, locks or reports; all per-sample work is inline.
#pragma once

#include <cstdint>
#include <type_traits>

// Program build: a four-level quantiser that steps up at about 3.75 x full
// scale in the body of a call, the finer cutting steps, and a splice search
// that starts every call with a stricter run length.
struct tDsm5thProgramPolicy {
    static constexpr int32_t kFourLevelThreshold = 31457280;  // 15 * 2^21, high half of I5
    static constexpr int kCutStepShift = 0;                   // cutting steps 2^39, 2^35, ...
    static constexpr uint8_t kMuteByte = 0x2D;                // history fill, stand-in first byte
    static constexpr bool kStartAllowance = true;             // +4 on the first 1251 window bytes
    static constexpr bool kCompareLenSettable = true;         // setCompareLen exists
};

// Library build: the quantiser threshold of the last byte everywhere, steps
// twice as coarse, the idle byte in the history, no start allowance and a
// fixed compare length of 8.
struct tDsm5thLibraryPolicy {
    static constexpr int32_t kFourLevelThreshold = 25165824;  // 3 * 2^23
    static constexpr int kCutStepShift = 1;                   // cutting steps 2^40, 2^36, ...
    static constexpr uint8_t kMuteByte = 0x96;
    static constexpr bool kStartAllowance = false;
    static constexpr bool kCompareLenSettable = false;
};

// Constants shared by both builds (units: the modulator's full scale is
// 2^55, as large as one output bit).
enum : int64_t {
    kDsmFullScale = int64_t(1) << 55,
};
enum : int32_t {
    kDsmLastByteThreshold = 25165824,  // 3 * 2^23: exactly 3 x full scale in I5's high half
    kDsmOverloadEntry = 134217728,     // 2^27 on I1's high half, about 16 x full scale
    kDsmOverloadHoldLevel = 2097152,   // 2^21 on I1's high half, about full scale / 4
    kDsmOverloadHoldBytes = 5000,      // output bytes held on the first-order stream
    kDsmFirstOrderDelay = 15,          // bits the first-order stream is delayed by
    kDsmOverloadOn = 0xFFFF,
    kDsmCompareTotalLimit = 1411201,  // bits searched before the compare length falls to 2
    kDsmStartAllowanceBits = 10001,   // the +4 applies while 8 * window byte < this
};

// Bits of mCutFlags.
enum : uint32_t {
    kDsmCutI1 = 0x01,
    kDsmCutI2 = 0x02,
    kDsmCutI3 = 0x04,
    kDsmCutI4 = 0x08,
    kDsmCutI5 = 0x10,
    kDsmCutAllIntegrators = 0x1F,
    kDsmMuteConsistent = 0x60,     // 0x20 and 0x40, always set together
    kDsmMuteConsistentLow = 0x20,  // the one of the pair that the tests below read
    kDsmCutActive = 0x80,          // set by the owner of the fade
};

// Tests of a channel's cut flags: (flags & mask) == value.
enum : uint32_t {
    // Ready for the mute consistency: active, every integrator cut, not yet
    // consistent.
    kDsmConsistReadyMask = kDsmCutActive | kDsmMuteConsistentLow | kDsmCutAllIntegrators,  // 0xBF
    kDsmConsistReady = kDsmCutActive | kDsmCutAllIntegrators,                              // 0x9F
    // A splice waits while the cutting runs (I5 is the last integrator cut)
    // or, with the pattern fully on, until the channel is consistent.
    kDsmSpliceWaitCutting = kDsmCutActive | kDsmCutI5,                 // 0x90
    kDsmSpliceWaitConsistent = kDsmCutActive | kDsmMuteConsistentLow,  // 0xA0
    kDsmSpliceWaiting = kDsmCutActive,
};

template <class Policy>
class classDsm5thT {
public:
    classDsm5thT();

    // Starts a new stream at `rate` samples per second: normal state, empty
    // integrators, registers filled with the idle byte 0x96, cutting ended,
    // and a mute-pattern glide that falls to one tenth in 0.01 s of bytes.
    // Volumes, pattern, overload history and splice state are kept.
    void initDsm5thIntegrators(int32_t rate);
    void initDsm5thPeakLevel() { mPeakLevel = 0.0; }

    // Modulates one block. out[0], out[1]: channel byte buffers receiving
    // ceil(n / 8) bytes each. in: interleaved stereo doubles, sample i of
    // channel c at in[2 * i + c]; bit position j of byte k reads sample
    // 8k + j, and samples before the phase in the first byte are not read.
    // n: bit positions covered, from the most significant bit of byte 0
    // (0 writes nothing). phase: bit position (mod 8) where new bits start
    // in byte 0; the bits before it are those already in the registers, so
    // byte 0 is rewritten whole. vol: the target mute-pattern volume pair,
    // 0 = no pattern, 1 = full pattern. Inputs are in units of full scale
    // 2^55; anything beyond +-2^63 (and NaN) is saturated before use.
    void dsm5th(uint8_t *const out[2], const double *in, uint32_t n, int32_t phase, const double *vol);
    // Same computation; kept for callers that select by processor features.
    void dsm5thSSSE3(uint8_t *const out[2], const double *in, uint32_t n, int32_t phase, const double *vol) {
        dsm5th(out, in, n, phase, vol);
    }

    // As dsm5th, and while the mute-pattern volume is settled, advances the
    // integrator cutting after every sample and clears the middle
    // integrators once they are clean with the pattern fully on; the last
    // byte of a normal call uses a two-level quantiser.
    void dsm5thFade(uint8_t *const out[2], const double *in, uint32_t n, int32_t phase, const double *vol);
    void dsm5thFadeSSSE3(uint8_t *const out[2], const double *in, uint32_t n, int32_t phase, const double *vol) {
        dsm5thFade(out, in, n, phase, vol);
    }

    // Sets volume and target of both channels to v.
    void setMutePatVolume(double v);
    // Snaps each channel's volume to its target when within 5e-5; true when
    // both channels were that close.
    [[nodiscard]] bool checkConsistent();
    // One cutting step on each channel whose kDsmCutActive bit is set. The
    // argument is not used.
    void CuttingFractionCircuit(bool unused);
    // With on and x == 0: on each channel that is active, fully cut and not
    // yet mute-consistent and has I1 = I2 = 0, clears I3 and I4 and marks it
    // mute-consistent.
    void consistMute(bool on, uint8_t x);

    // Selects the stream that both channels output, with no splice pending:
    // stream 1 the other (source) stream, 0 the modulated one. The owner of
    // the fade calls it when a job starts.
    void selectSpliceStream(uint32_t stream) {
        for (int ch = 0; ch < 2; ++ch) {
            mSpliceReq[ch] = stream;
            mSpliceCur[ch] = stream;
        }
    }

    // Splices channel ch. out: this call's modulated bytes (both channels;
    // only out[ch] is changed). src: the other stream's bytes. n: bits in
    // both buffers, a multiple of 8 and at least 24. b: lag in bits of the
    // modulated stream behind the other one (17..23 lines the copy up with
    // the search window). flag: src's first byte is real data, else the
    // mute byte stands in for it. Calls with n < 24, b < 0 or ch outside 0..1
    // change nothing.
    void compareDsm(uint8_t *const out[2], const uint8_t *const src[2], int32_t n, int32_t ch, int32_t b, bool flag);
    // The search alone, with compare length c and the carried run *run:
    // the splice bit offset in the window, or -1 when none was found.
    [[nodiscard]] int32_t compareDsmSub(const uint8_t *data, const uint8_t *buf, int32_t n, int32_t *run, int32_t b,
                                        int32_t c) const;
    // The configured compare length (program build only).
    template <class P = Policy, class = std::enable_if_t<P::kCompareLenSettable>>
    void setCompareLen(int32_t length) {
        mCompareLenSet = length;
    }

    // State. Per-channel items are pairs indexed [channel] (0 left, 1 right);
    // integer arithmetic on the 64-bit state wraps modulo 2^64.
    int64_t mInteg[5][2];    // I1 (input side) .. I5 (quantiser side)
    int64_t mFirstOrder[2];  // parallel first-order modulator
    uint64_t mShiftReg[2];   // main output bits, newest in bit 0
    uint64_t mFirstOrderShiftReg[2];
    double mMutePat[8][2];      // pattern x volume x 2^55 per bit position
    int64_t mBitConv[2];        // turns four-level feedback into one bit per sample
    double mMutePatVolCoef[2];  // glide coefficient, per output byte
    double mMutePatVol[2];
    double mMutePatVolTarget[2];
    uint32_t mCutFlags[2];      // kDsmCut* bits
    uint32_t mSpliceReq[2];     // 1 = the other stream, 0 = the modulated one (owner writes)
    uint32_t mSpliceCur[2];     // stream being output (compareDsm writes)
    int32_t mSpliceRun[2];      // matching run carried between bytes and calls
    uint8_t mSpliceHist[2][4];  // H0..H2: other stream's last three bytes; H3: its first
    uint32_t mOverload;         // 0 normal, kDsmOverloadOn overloaded, 1 held (shared)
    uint32_t mOverloadPrev;
    uint32_t mOverloadSevere;
    double mPeakLevel;
    bool mMuteFull;         // channel 0's target was exactly 1.0 at the last call
    int32_t mOverloadHold;  // output bytes left in the hold
    int32_t mCompareLen;
    int32_t mCompareLenSet;
    int64_t mCompareTotal;  // bits searched since the last splice

private:
    template <bool Fade>
    void modulate(uint8_t *const out[2], const double *in, uint32_t n, int32_t phase, const double *vol);
};

using classDsm5thApp = classDsm5thT<tDsm5thProgramPolicy>;
using classDsm5th = classDsm5thT<tDsm5thLibraryPolicy>;

extern template class classDsm5thT<tDsm5thProgramPolicy>;
extern template class classDsm5thT<tDsm5thLibraryPolicy>;

// Instruction sets of the modulator's byte loop, chosen once from the
// processor. Every level gives the same bits; only the speed differs.
enum : int {
    kDsmIsaSse2 = 0,
    kDsmIsaAvx2 = 1,
    kDsmIsaAvx512 = 2,  // F, VL and DQ (with AVX2)
};
// For tests and benchmarks: caps the level at `level` (never above what the
// processor has). Affects every modulator of the process.
void dsm5thLimitIsa(int level);

// The input conversion: rounds toward zero to a signed 64-bit integer,
// saturating beyond the range and mapping NaN to 0.
[[nodiscard]] inline int64_t dsm5thInputToInt(double x) {
    if (x >= 9223372036854775808.0) return INT64_MAX;
    if (x >= -9223372036854775808.0) return static_cast<int64_t>(x);
    return x == x ? INT64_MIN : 0;
}
