#include "audiofile/pcmpack.h"

#include <cstring>

#include "audiofile/chunkutil.h"
#include "base/noisereg.h"

namespace {

// Four independent 32-bit shift registers. Seeded by gRandom_seedInitValue*.
// Per thread, like the residue: a job packs wholly on its caller's thread.
thread_local uint32_t sRamdomValue[4] = {0xAB58CFC0u, 0x3B540961u, 0x72A5445Cu, 0x7FBC860Au};
// Noise-shaping residue of lane 0 and lane 1.
thread_local double sNSResidue[2] = {0.0, 0.0};

constexpr uint32_t kSeed[4] = {0xAB58CFC0u, 0x3B540961u, 0x72A5445Cu, 0x7FBC860Au};

// Packing scales by 2^31 - 1, not 2^31, so +1.0 lands on the largest
// integer instead of overflowing; unpacking divides by 2^31, which is why a
// positive full-scale sample comes back one step lower. Files written so
// far depend on both constants.
constexpr double kPackScale = 2147483647.0;
constexpr double kUnpack31 = 1.0 / 2147483648.0;
constexpr double kUnpack15 = 1.0 / 32768.0;

// Adding and subtracting 1.5 * 2^52 leaves a double of magnitude below 2^51
// rounded to an integer in the current rounding mode (nearest, ties to even),
// exactly what the processor's own conversion does, without a library call
// and without undefined behaviour. Needs -ffp-contract=off and no fast-math.
constexpr double kRoundMagic = 6755399441055744.0;

// One 16-bit step on the 32-bit grid that 16-bit output is cut from.
constexpr double kDitherAmplitude16 = 65536.0;

// Successive register states share 31 bits, so the raw state is far from
// white; a bijective mix of each state gives values that are.
inline uint32_t mix32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

// Uniform in [-0.5, 0.5).
inline double uniformHalf(uint32_t s) {
    return static_cast<double>(static_cast<int32_t>(mix32(s))) * (1.0 / 4294967296.0);
}

// Steps all four lanes of g once; lanes 0+1 make lane 0's triangular value,
// lanes 2+3 lane 1's, each in (-1, +1).
inline void tpdfStep(uint32_t g[4], double t[2]) {
    for (int k = 0; k < 4; ++k) g[k] = lfsr32Step(g[k]);
    t[0] = uniformHalf(g[0]) + uniformHalf(g[1]);
    t[1] = uniformHalf(g[2]) + uniformHalf(g[3]);
}

inline double clampForPack(double v) {
    if (v != v) return 0.0;  // a NaN must not reach the integer conversion
    if (v > kPackScale) return kPackScale;
    if (v < -kPackScale) return -kPackScale;
    return v;
}

inline int32_t roundToInt32(double clamped) { return static_cast<int32_t>((clamped + kRoundMagic) - kRoundMagic); }

inline int32_t load24(const uint8_t *p) {
    // The sample goes into the top three bytes, so the sign comes for free.
    return static_cast<int32_t>((static_cast<uint32_t>(p[2]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                                (static_cast<uint32_t>(p[0]) << 8));
}

inline double loadSample(const uint8_t *p, int bits, bool isFloat) {
    switch (bits) {
    case 16: return static_cast<double>(static_cast<int16_t>(chunk_getLE16(p))) * kUnpack15;
    case 24: return static_cast<double>(load24(p)) * kUnpack31;
    case 32:
        if (isFloat) {
            float f;
            std::memcpy(&f, p, 4);
            return static_cast<double>(f);
        }
        return static_cast<double>(static_cast<int32_t>(chunk_getLE32(p))) * kUnpack31;
    default: {
        double d;
        std::memcpy(&d, p, 8);
        return d;
    }
    }
}

template <int Bits, int Ch, bool IsFloat>
void unpackLoop(double *__restrict out, const uint8_t *__restrict in, uint32_t count) {
    constexpr int kBytes = Bits / 8;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t *p = in + static_cast<size_t>(i) * (kBytes * Ch);
        out[2 * static_cast<size_t>(i)] = loadSample(p, Bits, IsFloat);
        out[2 * static_cast<size_t>(i) + 1] = (Ch == 2) ? loadSample(p + kBytes, Bits, IsFloat) : 0.0;
    }
}

template <int Bits, bool IsFloat>
void unpackCh(double *out, const uint8_t *in, uint32_t count, int channels) {
    if (channels == 2)
        unpackLoop<Bits, 2, IsFloat>(out, in, count);
    else
        unpackLoop<Bits, 1, IsFloat>(out, in, count);
}

int unpackAny(double *out, const uint8_t *in, uint32_t count, uint8_t channels, uint8_t bits, uint16_t formatTag) {
    if (bits != 16 && bits != 24 && bits != 32 && bits != 64) return kPcmPackBadFormat;
    if (channels != 1 && channels != 2) {
        if (bits == 16) std::printf("ch is not 1 or 2  %d\n", channels);
        return kPcmPackBadFormat;
    }
    if (static_cast<int32_t>(count) <= 0) return kPcmPackOK;
    switch (bits) {
    case 16: unpackCh<16, false>(out, in, count, channels); break;
    case 24: unpackCh<24, false>(out, in, count, channels); break;
    case 32:
        if (formatTag == kWaveFormatIeeeFloat)
            unpackCh<32, true>(out, in, count, channels);
        else
            unpackCh<32, false>(out, in, count, channels);
        break;
    default: unpackCh<64, true>(out, in, count, channels); break;
    }
    return kPcmPackOK;
}

// Integer packing, 16 or 24 bits. Mode is the dither mode (0..2), only
// honoured at 16 bits; lane is the lane a mono output takes.
template <int Bits, int Ch, int Mode>
void packIntLoop(uint8_t *__restrict out, const double *__restrict in, uint32_t count, int lane) {
    constexpr int kBytes = Bits / 8;
    // Local copies: the byte stores below may alias anything, which would
    // otherwise force the state through memory on every sample.
    uint32_t g[4] = {sRamdomValue[0], sRamdomValue[1], sRamdomValue[2], sRamdomValue[3]};
    double res[2] = {sNSResidue[0], sNSResidue[1]};
    for (uint32_t i = 0; i < count; ++i) {
        const double *f = in + 2 * static_cast<size_t>(i);
        uint8_t *o = out + static_cast<size_t>(i) * (kBytes * Ch);
        double t[2] = {0.0, 0.0};
        if (Mode == kPcmDitherTpdf) tpdfStep(g, t);
        for (int c = 0; c < Ch; ++c) {
            const int l = (Ch == 2) ? c : lane;
            double v = f[l] * kPackScale;
            if (Mode == kPcmDitherNoiseShape) v += res[l];
            if (Mode == kPcmDitherTpdf) v += t[l] * kDitherAmplitude16;
            v = clampForPack(v);
            const int32_t q = roundToInt32(v);
            // Residue of the rounding onto the 32-bit grid, not of the cut to
            // 16 bits: the shaping is as weak as stored output has it.
            if (Mode == kPcmDitherNoiseShape) res[l] = v - static_cast<double>(q);
            const uint32_t u = static_cast<uint32_t>(q);
            uint8_t *s = o + c * kBytes;
            if (Bits == 16) {
                s[0] = static_cast<uint8_t>(u >> 16);
                s[1] = static_cast<uint8_t>(u >> 24);
            } else {
                s[0] = static_cast<uint8_t>(u >> 8);
                s[1] = static_cast<uint8_t>(u >> 16);
                s[2] = static_cast<uint8_t>(u >> 24);
            }
        }
    }
    if (Mode == kPcmDitherTpdf)
        for (int k = 0; k < 4; ++k) sRamdomValue[k] = g[k];
    if (Mode == kPcmDitherNoiseShape) {
        sNSResidue[0] = res[0];
        sNSResidue[1] = res[1];
    }
}

template <int Ch>
void packFloatLoop(uint8_t *__restrict out, const double *__restrict in, uint32_t count, int lane) {
    for (uint32_t i = 0; i < count; ++i) {
        const double *f = in + 2 * static_cast<size_t>(i);
        uint8_t *o = out + static_cast<size_t>(i) * (4 * Ch);
        for (int c = 0; c < Ch; ++c) {
            const float v = static_cast<float>(f[(Ch == 2) ? c : lane]);
            std::memcpy(o + 4 * c, &v, 4);
        }
    }
}

template <int Ch>
void packDoubleLoop(uint8_t *__restrict out, const double *__restrict in, uint32_t count, int lane) {
    if (Ch == 2) {
        std::memcpy(out, in, static_cast<size_t>(count) * 16);
        return;
    }
    for (uint32_t i = 0; i < count; ++i)
        std::memcpy(out + 8 * static_cast<size_t>(i), in + 2 * static_cast<size_t>(i) + lane, 8);
}

template <int Bits, int Ch>
void packIntMode(uint8_t *out, const double *in, uint32_t count, int lane, int mode) {
    if (Bits == 16 && mode == kPcmDitherTpdf)
        packIntLoop<Bits, Ch, kPcmDitherTpdf>(out, in, count, lane);
    else if (Bits == 16 && mode == kPcmDitherNoiseShape)
        packIntLoop<Bits, Ch, kPcmDitherNoiseShape>(out, in, count, lane);
    else
        packIntLoop<Bits, Ch, kPcmDitherNone>(out, in, count, lane);
}

template <int Ch>
void packCh(uint8_t *out, const double *in, uint32_t count, uint8_t bits, int lane, int mode) {
    switch (bits) {
    case 16: packIntMode<16, Ch>(out, in, count, lane, mode); break;
    case 24: packIntMode<24, Ch>(out, in, count, lane, mode); break;
    case 32: packFloatLoop<Ch>(out, in, count, lane); break;
    default: packDoubleLoop<Ch>(out, in, count, lane); break;
    }
}

void packAny(uint8_t *out, const double *in, uint32_t count, int channels, uint8_t bits, int lane, int mode) {
    if (channels == 2)
        packCh<2>(out, in, count, bits, 0, mode);
    else
        packCh<1>(out, in, count, bits, lane, mode);
}

void seed() {
    for (int k = 0; k < 4; ++k) sRamdomValue[k] = kSeed[k];
    sNSResidue[0] = 0.0;
    sNSResidue[1] = 0.0;
}

}  // namespace

int wav2pcmFunc(double *out, const uint8_t *in, uint32_t count, uint8_t channels, uint8_t bits, uint16_t formatTag) {
    return unpackAny(out, in, count, channels, bits, formatTag);
}

int pcm2wavFunc(uint8_t *out, const double *in, uint32_t count, uint8_t channels, uint8_t bits, int ditherMode) {
    if (bits != 16 && bits != 24 && bits != 32 && bits != 64) return kPcmPackBadFormat;
    if (channels != 1 && channels != 2) return kPcmPackBadFormat;
    if (static_cast<int32_t>(count) <= 0) return kPcmPackOK;
    packAny(out, in, count, channels, bits, 0, ditherMode);
    return kPcmPackOK;
}

void gRandom_seedInitValueFunc() { seed(); }

int wav2pcm(double *out, const uint8_t *in, uint32_t count, uint8_t channels, uint8_t bits, FILE * /*srcFile*/,
            uint16_t formatTag) {
    return unpackAny(out, in, count, channels, bits, formatTag);
}

int pcm2wav(uint8_t *out, const double *in, uint32_t count, uint8_t channelByte, uint8_t bits, int ditherMode) {
    if (bits != 16 && bits != 24 && bits != 32) return kPcmPackBadFormat;
    const int channels = channelByte & 0x7F;
    if (channels != 1 && channels != 2) return kPcmPackBadFormat;
    if (static_cast<int32_t>(count) <= 0) return kPcmPackOK;
    const int lane = (channelByte & kPcmRightLaneFlag) ? 1 : 0;
    packAny(out, in, count, channels, bits, lane, ditherMode);
    return kPcmPackOK;
}

void gRandom_seedInitValue() { seed(); }

void gRandom_calcRamdomValue(double out[2], const double in[2]) {
    double t[2];
    tpdfStep(sRamdomValue, t);
    out[0] = in[0] * t[0];
    out[1] = in[1] * t[1];
}
