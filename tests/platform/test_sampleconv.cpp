#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/audiohost/sampleconv.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Four container words: two stereo frames.
struct Container {
    int kind;
    uint32_t words[4];
};

Container floats(float a, float b, float c, float d) {
    Container k{kAudioHostContainerFloat32, {}};
    const float v[4] = {a, b, c, d};
    std::memcpy(k.words, v, sizeof v);
    return k;
}

Container ints(int32_t a, int32_t b, int32_t c, int32_t d) {
    return {kAudioHostContainerInt32, {uint32_t(a), uint32_t(b), uint32_t(c), uint32_t(d)}};
}

// The container form of a 32-bit word: as it is, or times 2^-31 as a float,
// which the engine's writers produce for DoP words and DSD bytes.
Container words(int kind, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    if (kind == kAudioHostContainerInt32) return ints(int32_t(a), int32_t(b), int32_t(c), int32_t(d));
    auto f = [](uint32_t w) { return float(double(int32_t(w)) / 2147483648.0); };
    return floats(f(a), f(b), f(c), f(d));
}

Bytes convertOut(int fmt, const Container &in) {
    tDevConvFunc f = devconv_outputFunc(fmt, in.kind);
    EXPECT_NE(f, nullptr);
    Bytes out(size_t(devfmt_deviceFrames(fmt, 2)) * 2 * size_t(devfmt_bytesPerSample(fmt)), 0xEE);
    if (f) f(out.data(), in.words, 2, 2);
    return out;
}

struct OutCase {
    const char *what;
    int fmt;
    Container in;
    Bytes expected;
};

TEST(SampleConv, ContainerToDeviceKnownAnswers) {
    const OutCase cases[] = {
        // Float PCM: times 2^31, rounded, clipped; 1.5 and -1.0 hit both ends.
        {"float S16",
         kDevFmtS16LE,
         floats(0.5f, -1.0f, 1.5f, -0.25f),
         {0x00, 0x40, 0x00, 0x80, 0xFF, 0x7F, 0x00, 0xE0}},
        {"float S24_3",
         kDevFmtS24_3LE,
         floats(0.5f, -1.0f, 1.5f, -0.25f),
         {0x00, 0x00, 0x40, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0xE0}},
        {"float S24",
         kDevFmtS24LE,
         floats(0.5f, -1.0f, 1.5f, -0.25f),
         {0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0xE0, 0xFF}},
        {"float S32",
         kDevFmtS32LE,
         floats(0.5f, -1.0f, 1.0f, -0.25f),
         {0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0xE0}},
        {"float FLOAT passes unchanged",
         kDevFmtFloatLE,
         floats(0.5f, -1.0f, 1.5f, -0.25f),
         {0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0xBF, 0x00, 0x00, 0xC0, 0x3F, 0x00, 0x00, 0x80, 0xBE}},
        // Half a 16-bit step rounds to even, both signs.
        {"float S16 ties to even",
         kDevFmtS16LE,
         floats(float(std::ldexp(1.0, -16)), float(std::ldexp(3.0, -16)), float(-std::ldexp(1.0, -16)),
                float(-std::ldexp(3.0, -16))),
         {0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0xFE, 0xFF}},
        {"float NaN is silence", kDevFmtS32LE, floats(std::nanf(""), 0.0f, 0.0f, 0.0f), Bytes(16, 0x00)},
        // Integer PCM: rounded to the format's width, saturated.
        {"int S32",
         kDevFmtS32LE,
         ints(0x12345678, INT32_MIN, INT32_MAX, -128),
         {0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0x80, 0xFF, 0xFF, 0xFF}},
        {"int S24_3",
         kDevFmtS24_3LE,
         ints(0x12345678, INT32_MIN, INT32_MAX, -128),
         {0x56, 0x34, 0x12, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00}},
        {"int S16",
         kDevFmtS16LE,
         ints(0x12345678, INT32_MIN, INT32_MAX, -128),
         {0x34, 0x12, 0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00}},
        {"int FLOAT",
         kDevFmtFloatLE,
         ints(0x40000000, INT32_MIN, 0x7FFFFF80, -256),
         {0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0xBF, 0xFF, 0xFF, 0x7F, 0x3F, 0x00, 0x00, 0x00, 0xB4}},
    };
    for (const OutCase &c : cases) EXPECT_EQ(convertOut(c.fmt, c.in), c.expected) << c.what;
}

// DoP: marker, then the two DSD bytes, in the top 24 bits; the markers
// alternate 0x05 and 0xFA. Every integer format of 24 bits and more must
// deliver marker and bytes unchanged, from either container.
TEST(SampleConv, DopWordsPassUnchanged) {
    for (int kind : {kAudioHostContainerFloat32, kAudioHostContainerInt32}) {
        const Container in = words(kind, 0x05ABCD00, 0x05123400, 0xFAEF0100, 0xFA96FF00);
        EXPECT_EQ(convertOut(kDevFmtS32LE, in), (Bytes{0x00, 0xCD, 0xAB, 0x05, 0x00, 0x34, 0x12, 0x05, 0x00, 0x01, 0xEF,
                                                       0xFA, 0x00, 0xFF, 0x96, 0xFA}))
            << kind;
        EXPECT_EQ(convertOut(kDevFmtS24_3LE, in),
                  (Bytes{0xCD, 0xAB, 0x05, 0x34, 0x12, 0x05, 0x01, 0xEF, 0xFA, 0xFF, 0x96, 0xFA}))
            << kind;
        EXPECT_EQ(convertOut(kDevFmtS24LE, in), (Bytes{0xCD, 0xAB, 0x05, 0x00, 0x34, 0x12, 0x05, 0x00, 0x01, 0xEF, 0xFA,
                                                       0xFF, 0xFF, 0x96, 0xFA, 0xFF}))
            << kind;
    }

    // Every byte pair under both markers, through float containers.
    std::vector<float> in;
    std::vector<uint32_t> want;
    for (uint32_t marker : {0x05u, 0xFAu})
        for (uint32_t pair = 0; pair < 65536; ++pair) {
            const uint32_t w = marker << 24 | pair << 8;
            want.push_back(w);
            in.push_back(float(double(int32_t(w)) / 2147483648.0));
        }
    const uint32_t frames = uint32_t(in.size() / 2);
    std::vector<uint8_t> s32(in.size() * 4), s24(in.size() * 3);
    devconv_outputFunc(kDevFmtS32LE, kAudioHostContainerFloat32)(s32.data(), in.data(), frames, 2);
    devconv_outputFunc(kDevFmtS24_3LE, kAudioHostContainerFloat32)(s24.data(), in.data(), frames, 2);
    size_t bad = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        uint32_t got32, got24 = 0;
        std::memcpy(&got32, &s32[4 * i], 4);
        for (int b = 0; b < 3; ++b) got24 |= uint32_t(s24[3 * i + b]) << (8 * b + 8);
        bad += got32 != want[i] || got24 != want[i];
    }
    EXPECT_EQ(bad, 0u);
}

// Native DSD: each container word carries two DSD bytes (earlier byte high);
// frames 0 and 1 below carry L 96 69 / A5 5A and R FF 00 / 80 01.
TEST(SampleConv, NativeDsdLayouts) {
    struct Case {
        int fmt;
        Bytes expected;
    };
    const Case cases[] = {
        {kDevFmtDsdU8, {0x96, 0xFF, 0x69, 0x00, 0xA5, 0x80, 0x5A, 0x01}},
        {kDevFmtDsdU16BE, {0x96, 0x69, 0xFF, 0x00, 0xA5, 0x5A, 0x80, 0x01}},
        {kDevFmtDsdU16LE, {0x69, 0x96, 0x00, 0xFF, 0x5A, 0xA5, 0x01, 0x80}},
        {kDevFmtDsdU32BE, {0x96, 0x69, 0xA5, 0x5A, 0xFF, 0x00, 0x80, 0x01}},
        {kDevFmtDsdU32LE, {0x5A, 0xA5, 0x69, 0x96, 0x01, 0x80, 0x00, 0xFF}},
    };
    for (int kind : {kAudioHostContainerFloat32, kAudioHostContainerInt32}) {
        const Container in = words(kind, 0x96690000, 0xFF000000, 0xA55A0000, 0x80010000);
        for (const Case &c : cases) {
            EXPECT_EQ(convertOut(c.fmt, in), c.expected) << devfmt_name(c.fmt) << " container " << kind;
            // And back: the device bytes give the same containers.
            std::vector<uint32_t> back(4, 0xDEADBEEF);
            devconv_inputFunc(c.fmt, kind)(back.data(), c.expected.data(), 2, 2);
            EXPECT_EQ(std::memcmp(back.data(), in.words, 16), 0) << devfmt_name(c.fmt) << " back, container " << kind;
        }
    }
    // Device frame counts and rates follow the bits per device frame.
    EXPECT_EQ(devfmt_deviceRate(kDevFmtDsdU32BE, 11289600 / 16), 352800u);
    EXPECT_EQ(devfmt_deviceRate(kDevFmtDsdU16LE, 11289600 / 16), 705600u);
    EXPECT_EQ(devfmt_deviceRate(kDevFmtDsdU8, 11289600 / 16), 1411200u);
    EXPECT_EQ(devfmt_deviceFrames(kDevFmtS24_3LE, 7680), 7680u);
}

TEST(SampleConv, DeviceToContainerKnownAnswers) {
    struct Case {
        const char *what;
        int fmt;
        Bytes in;  // two stereo frames
        float want[4];
    };
    const Case cases[] = {
        {"S16",
         kDevFmtS16LE,
         {0x00, 0x80, 0x00, 0x40, 0xFF, 0x7F, 0x00, 0x00},
         {-1.0f, 0.5f, 32767.0f / 32768.0f, 0.0f}},
        {"S24_3",
         kDevFmtS24_3LE,
         {0x00, 0x00, 0x80, 0x00, 0x00, 0x40, 0x00, 0x00, 0xE0, 0x01, 0x00, 0x00},
         {-1.0f, 0.5f, -0.25f, float(std::ldexp(1.0, -23))}},
        // The padding byte of S24_LE carries nothing, whatever is in it.
        {"S24 padding ignored",
         kDevFmtS24LE,
         {0x00, 0x00, 0x40, 0x7F, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0xC0, 0xFF, 0x00, 0x00, 0x00, 0x12},
         {0.5f, -1.0f, -0.5f, 0.0f}},
        {"S32",
         kDevFmtS32LE,
         {0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x40, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0xE0},
         {-1.0f, 0.5f, 0.0f, -0.25f}},
        {"FLOAT",
         kDevFmtFloatLE,
         {0x00, 0x00, 0xC0, 0x3F, 0x00, 0x00, 0x80, 0xBF, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x3F},
         {1.5f, -1.0f, 0.0f, 0.5f}},
    };
    for (const Case &c : cases) {
        float got[4] = {9, 9, 9, 9};
        devconv_inputFunc(c.fmt, kAudioHostContainerFloat32)(got, c.in.data(), 2, 2);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i], c.want[i]) << c.what << " sample " << i;
        // The integer container gets the same value on the 2^31 scale,
        // float input clipped.
        int32_t gotInt[4];
        devconv_inputFunc(c.fmt, kAudioHostContainerInt32)(gotInt, c.in.data(), 2, 2);
        for (int i = 0; i < 4; ++i) {
            const double expect = std::fmin(double(c.want[i]) * 2147483648.0, 2147483647.0);
            EXPECT_EQ(double(gotInt[i]), expect) << c.what << " int sample " << i;
        }
    }
}

TEST(SampleConv, UnknownFormatOrContainerHasNoLoop) {
    EXPECT_EQ(devconv_outputFunc(kDevFmtNone, kAudioHostContainerFloat32), nullptr);
    EXPECT_EQ(devconv_outputFunc(kDevFmtCount, kAudioHostContainerInt32), nullptr);
    EXPECT_EQ(devconv_inputFunc(kDevFmtS16LE, 2), nullptr);
    EXPECT_EQ(devfmt_bytesPerSample(-1), 0);
    EXPECT_STREQ(devfmt_name(99), "?");
}

}  // namespace
