#include "platform/audiohost/sampleconv.h"

#include <cstring>

namespace {

constexpr double kTwo31 = 2147483648.0;
constexpr double kInvTwo31 = 1.0 / 2147483648.0;

// Adding and subtracting 1.5 * 2^52 rounds a double of magnitude below 2^51
// to an integer, ties to even, without a library call. Needs the build's
// -ffp-contract=off and no fast-math.
constexpr double kRoundMagic = 6755399441055744.0;

inline double roundEven(double d) { return (d + kRoundMagic) - kRoundMagic; }

// A value on the grid of `bits` signed bits, rounded and saturated. v is on
// the 2^31 scale; NaN was handled by the caller.
template <int Bits>
inline int32_t quantise(double v) {
    constexpr double kScale = 1.0 / double(int64_t(1) << (32 - Bits));
    constexpr double kMax = double((int64_t(1) << (Bits - 1)) - 1);
    constexpr double kMin = -double(int64_t(1) << (Bits - 1));
    double r = roundEven(v * kScale);
    if (r > kMax) r = kMax;
    if (r < kMin) r = kMin;
    return static_cast<int32_t>(r);
}

// The container value on the 2^31 scale.
template <int Container>
inline double scaled(const void *src, uint32_t i) {
    if constexpr (Container == kAudioHostContainerFloat32) {
        float x;
        std::memcpy(&x, static_cast<const uint8_t *>(src) + 4 * size_t(i), 4);
        const double d = double(x) * kTwo31;
        return d != d ? 0.0 : d;  // a NaN must not reach the integer conversion
    } else {
        int32_t w;
        std::memcpy(&w, static_cast<const uint8_t *>(src) + 4 * size_t(i), 4);
        return double(w);
    }
}

// The container as a 32-bit word (DSD and DoP content, PCM at 32 bits).
template <int Container>
inline int32_t word(const void *src, uint32_t i) {
    if constexpr (Container == kAudioHostContainerFloat32) {
        return quantise<32>(scaled<Container>(src, i));
    } else {
        int32_t w;
        std::memcpy(&w, static_cast<const uint8_t *>(src) + 4 * size_t(i), 4);
        return w;
    }
}

template <int Container>
inline void putWord(void *dst, uint32_t i, int32_t w) {
    uint8_t *p = static_cast<uint8_t *>(dst) + 4 * size_t(i);
    if constexpr (Container == kAudioHostContainerFloat32) {
        const float x = static_cast<float>(double(w) * kInvTwo31);
        std::memcpy(p, &x, 4);
    } else {
        std::memcpy(p, &w, 4);
    }
}

inline void putLE16(uint8_t *p, int32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void putLE24(uint8_t *p, int32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}
inline void putLE32(uint8_t *p, int32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(uint32_t(v) >> 24);
}
inline int32_t getLE32(const uint8_t *p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// ---- container -> device -------------------------------------------------

template <int Fmt, int Container>
void pcmOut(void *__restrict dst, const void *__restrict src, uint32_t frames, int channels) {
    const uint32_t n = frames * uint32_t(channels);
    uint8_t *d = static_cast<uint8_t *>(dst);
    for (uint32_t i = 0; i < n; ++i) {
        if constexpr (Fmt == kDevFmtS16LE) {
            putLE16(d + 2 * size_t(i), quantise<16>(scaled<Container>(src, i)));
        } else if constexpr (Fmt == kDevFmtS24_3LE) {
            putLE24(d + 3 * size_t(i), quantise<24>(scaled<Container>(src, i)));
        } else if constexpr (Fmt == kDevFmtS24LE) {
            putLE32(d + 4 * size_t(i), quantise<24>(scaled<Container>(src, i)));
        } else if constexpr (Fmt == kDevFmtS32LE) {
            putLE32(d + 4 * size_t(i), word<Container>(src, i));
        } else {  // FLOAT_LE: a float container passes unchanged
            float x;
            if constexpr (Container == kAudioHostContainerFloat32) {
                std::memcpy(&x, static_cast<const uint8_t *>(src) + 4 * size_t(i), 4);
            } else {
                x = static_cast<float>(scaled<Container>(src, i) * kInvTwo31);
            }
            std::memcpy(d + 4 * size_t(i), &x, 4);
        }
    }
}

// Native DSD: each container word gives two bytes, hi (earlier) and lo.
template <int Fmt, int Container>
void dsdOut(void *__restrict dst, const void *__restrict src, uint32_t frames, int channels) {
    uint8_t *d = static_cast<uint8_t *>(dst);
    const size_t ch = size_t(channels);
    for (uint32_t k = 0; k < frames; ++k) {
        for (size_t c = 0; c < ch; ++c) {
            const uint32_t w = uint32_t(word<Container>(src, uint32_t(k * ch + c)));
            const uint8_t hi = uint8_t(w >> 24), lo = uint8_t(w >> 16);
            if constexpr (Fmt == kDevFmtDsdU8) {
                d[(2 * size_t(k)) * ch + c] = hi;
                d[(2 * size_t(k) + 1) * ch + c] = lo;
            } else if constexpr (Fmt == kDevFmtDsdU16BE) {
                d[(k * ch + c) * 2] = hi;
                d[(k * ch + c) * 2 + 1] = lo;
            } else if constexpr (Fmt == kDevFmtDsdU16LE) {
                d[(k * ch + c) * 2] = lo;
                d[(k * ch + c) * 2 + 1] = hi;
            } else if constexpr (Fmt == kDevFmtDsdU32BE) {
                // Even container frames fill the word's high half.
                uint8_t *p = d + ((k / 2) * ch + c) * 4 + (k % 2) * 2;
                p[0] = hi;
                p[1] = lo;
            } else {  // DSD_U32_LE: the same word, stored lowest byte first
                uint8_t *p = d + ((k / 2) * ch + c) * 4 + (1 - k % 2) * 2;
                p[0] = lo;
                p[1] = hi;
            }
        }
    }
}

// ---- device -> container -------------------------------------------------

template <int Fmt, int Container>
void pcmIn(void *__restrict dst, const void *__restrict src, uint32_t frames, int channels) {
    const uint32_t n = frames * uint32_t(channels);
    const uint8_t *s = static_cast<const uint8_t *>(src);
    for (uint32_t i = 0; i < n; ++i) {
        if constexpr (Fmt == kDevFmtFloatLE) {
            float x;
            std::memcpy(&x, s + 4 * size_t(i), 4);
            if constexpr (Container == kAudioHostContainerFloat32) {
                std::memcpy(static_cast<uint8_t *>(dst) + 4 * size_t(i), &x, 4);
            } else {
                const double v = double(x) * kTwo31;
                putWord<Container>(dst, i, quantise<32>(v != v ? 0.0 : v));
            }
        } else {
            int32_t w;
            if constexpr (Fmt == kDevFmtS16LE) {
                const uint8_t *p = s + 2 * size_t(i);
                w = int32_t(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 24);
            } else if constexpr (Fmt == kDevFmtS24_3LE) {
                const uint8_t *p = s + 3 * size_t(i);
                w = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24);
            } else if constexpr (Fmt == kDevFmtS24LE) {
                // The top byte of the word is padding, whatever the device put there.
                w = int32_t(uint32_t(getLE32(s + 4 * size_t(i))) << 8);
            } else {
                w = getLE32(s + 4 * size_t(i));
            }
            putWord<Container>(dst, i, w);
        }
    }
}

template <int Fmt, int Container>
void dsdIn(void *__restrict dst, const void *__restrict src, uint32_t frames, int channels) {
    const uint8_t *s = static_cast<const uint8_t *>(src);
    const size_t ch = size_t(channels);
    for (uint32_t k = 0; k < frames; ++k) {
        for (size_t c = 0; c < ch; ++c) {
            uint8_t hi, lo;
            if constexpr (Fmt == kDevFmtDsdU8) {
                hi = s[(2 * size_t(k)) * ch + c];
                lo = s[(2 * size_t(k) + 1) * ch + c];
            } else if constexpr (Fmt == kDevFmtDsdU16BE) {
                hi = s[(k * ch + c) * 2];
                lo = s[(k * ch + c) * 2 + 1];
            } else if constexpr (Fmt == kDevFmtDsdU16LE) {
                lo = s[(k * ch + c) * 2];
                hi = s[(k * ch + c) * 2 + 1];
            } else if constexpr (Fmt == kDevFmtDsdU32BE) {
                const uint8_t *p = s + ((k / 2) * ch + c) * 4 + (k % 2) * 2;
                hi = p[0];
                lo = p[1];
            } else {
                const uint8_t *p = s + ((k / 2) * ch + c) * 4 + (1 - k % 2) * 2;
                lo = p[0];
                hi = p[1];
            }
            putWord<Container>(dst, uint32_t(k * ch + c), int32_t(uint32_t(hi) << 24 | uint32_t(lo) << 16));
        }
    }
}

template <int Fmt, int Container>
constexpr tDevConvFunc outFunc() {
    if constexpr (Fmt >= kDevFmtDsdU8)
        return &dsdOut<Fmt, Container>;
    else
        return &pcmOut<Fmt, Container>;
}
template <int Fmt, int Container>
constexpr tDevConvFunc inFunc() {
    if constexpr (Fmt >= kDevFmtDsdU8)
        return &dsdIn<Fmt, Container>;
    else
        return &pcmIn<Fmt, Container>;
}

#define SX_CONV_ROW(f, kind) \
    { kind##Func<f, kAudioHostContainerFloat32>(), kind##Func<f, kAudioHostContainerInt32>() }
#define SX_CONV_TABLE(kind)                                                                                          \
    {                                                                                                                \
        {nullptr, nullptr}, SX_CONV_ROW(kDevFmtS16LE, kind), SX_CONV_ROW(kDevFmtS24_3LE, kind),                      \
            SX_CONV_ROW(kDevFmtS24LE, kind), SX_CONV_ROW(kDevFmtS32LE, kind), SX_CONV_ROW(kDevFmtFloatLE, kind),     \
            SX_CONV_ROW(kDevFmtDsdU8, kind), SX_CONV_ROW(kDevFmtDsdU16BE, kind), SX_CONV_ROW(kDevFmtDsdU16LE, kind), \
            SX_CONV_ROW(kDevFmtDsdU32BE, kind), SX_CONV_ROW(kDevFmtDsdU32LE, kind)                                   \
    }

// Indexed [format][container].
const tDevConvFunc sOutFuncs[kDevFmtCount][2] = SX_CONV_TABLE(out);
const tDevConvFunc sInFuncs[kDevFmtCount][2] = SX_CONV_TABLE(in);

#undef SX_CONV_TABLE
#undef SX_CONV_ROW

struct tFmtInfo {
    int bytes;
    int bits;
    const char *name;
};
const tFmtInfo sFmtInfo[kDevFmtCount] = {
    {0, 0, "?"},           {2, 16, "S16_LE"},     {3, 24, "S24_3LE"},    {4, 24, "S24_LE"},
    {4, 32, "S32_LE"},     {4, 32, "FLOAT_LE"},   {1, 8, "DSD_U8"},      {2, 16, "DSD_U16_BE"},
    {2, 16, "DSD_U16_LE"}, {4, 32, "DSD_U32_BE"}, {4, 32, "DSD_U32_LE"},
};

inline bool known(int fmt) { return fmt > kDevFmtNone && fmt < kDevFmtCount; }
inline bool knownContainer(int c) { return c == kAudioHostContainerFloat32 || c == kAudioHostContainerInt32; }

}  // namespace

bool devfmt_isDsd(int fmt) { return fmt >= kDevFmtDsdU8 && fmt < kDevFmtCount; }
bool devfmt_isInteger(int fmt) { return fmt >= kDevFmtS16LE && fmt <= kDevFmtS32LE; }
int devfmt_bytesPerSample(int fmt) { return known(fmt) ? sFmtInfo[fmt].bytes : 0; }
int devfmt_bitsPerSample(int fmt) { return known(fmt) ? sFmtInfo[fmt].bits : 0; }
const char *devfmt_name(int fmt) { return known(fmt) ? sFmtInfo[fmt].name : sFmtInfo[0].name; }

uint32_t devfmt_deviceFrames(int fmt, uint32_t containerFrames) {
    if (fmt == kDevFmtDsdU8) return containerFrames * 2;
    if (fmt == kDevFmtDsdU32BE || fmt == kDevFmtDsdU32LE) return containerFrames / 2;
    return containerFrames;
}

uint32_t devfmt_deviceRate(int fmt, uint32_t containerRate) { return devfmt_deviceFrames(fmt, containerRate); }

tDevConvFunc devconv_outputFunc(int fmt, int container) {
    return known(fmt) && knownContainer(container) ? sOutFuncs[fmt][container] : nullptr;
}

tDevConvFunc devconv_inputFunc(int fmt, int container) {
    return known(fmt) && knownContainer(container) ? sInFuncs[fmt][container] : nullptr;
}
