#include "audiofile/pcmpack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<uint8_t> packMono(double x, uint8_t bits, int dither = 0) {
    const double frame[2] = {x, 0.0};
    std::vector<uint8_t> out(bits / 8, 0xEE);
    EXPECT_EQ(0, pcm2wavFunc(out.data(), frame, 1, 1, bits, dither));
    return out;
}

// Writes one frame per call, so the requantisation state carries between
// calls as it does between the blocks of a job.
int16_t pack16(double left, double right, int dither, int16_t *rightOut = nullptr) {
    const double frame[2] = {left, right};
    uint8_t out[4];
    EXPECT_EQ(0, pcm2wavFunc(out, frame, 1, 2, 16, dither));
    if (rightOut) *rightOut = static_cast<int16_t>(out[2] | (out[3] << 8));
    return static_cast<int16_t>(out[0] | (out[1] << 8));
}

struct PackCase {
    double x;
    std::vector<uint8_t> b16;
    std::vector<uint8_t> b24;
};

TEST(PcmPack, IntegerPackingKnownAnswers) {
    const PackCase cases[] = {
        {+1.0, {0xFF, 0x7F}, {0xFF, 0xFF, 0x7F}},
        {-1.0, {0x00, 0x80}, {0x00, 0x00, 0x80}},
        {+2.0, {0xFF, 0x7F}, {0xFF, 0xFF, 0x7F}},  // clamped
        {-7.5, {0x00, 0x80}, {0x00, 0x00, 0x80}},
        {+0.5, {0x00, 0x40}, {0x00, 0x00, 0x40}},
        {-0.5, {0x00, 0xC0}, {0x00, 0x00, 0xC0}},
        // Rounded to the 32-bit grid first (-2), then cut: the top half of
        // -2 is -1, so a tiny negative value is one step below zero.
        {-1e-9, {0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}},
        {+1e-9, {0x00, 0x00}, {0x00, 0x00, 0x00}},
        {0.0, {0x00, 0x00}, {0x00, 0x00, 0x00}},
        {0.25, {0x00, 0x20}, {0x00, 0x00, 0x20}},
        // 2^-15 of full scale lands just below the step: 65535.99997 rounds to 65536.
        {1.0 / 32768.0, {0x01, 0x00}, {0x00, 0x01, 0x00}},
        // A NaN is silence, not full-scale negative.
        {kNaN, {0x00, 0x00}, {0x00, 0x00, 0x00}},
    };
    for (const PackCase &c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(c.b16, packMono(c.x, 16));
        EXPECT_EQ(c.b24, packMono(c.x, 24));
    }
}

TEST(PcmPack, Every16BitSampleRoundTripsWithTheDocumentedLoss) {
    // Unpacking divides by 2^15, packing multiplies by 2^31 - 1 and keeps
    // the top half: positive samples above +16384 come back one step lower,
    // everything from -32768 to +16384 unchanged.
    std::vector<uint8_t> in(65536 * 2);
    for (int v = -32768; v <= 32767; ++v) {
        const uint16_t u = static_cast<uint16_t>(v);
        in[2 * (v + 32768)] = static_cast<uint8_t>(u);
        in[2 * (v + 32768) + 1] = static_cast<uint8_t>(u >> 8);
    }
    std::vector<double> frames(65536 * 2);
    ASSERT_EQ(0, wav2pcmFunc(frames.data(), in.data(), 32768, 2, 16, 1));
    std::vector<uint8_t> out(in.size());
    ASSERT_EQ(0, pcm2wavFunc(out.data(), frames.data(), 32768, 2, 16, 0));
    for (int v = -32768; v <= 32767; ++v) {
        const int i = v + 32768;
        const int16_t got = static_cast<int16_t>(out[2 * i] | (out[2 * i + 1] << 8));
        ASSERT_EQ(v > 16384 ? v - 1 : v, got) << "sample " << v;
    }
}

TEST(PcmPack, Every24BitSampleRoundTripsWithTheDocumentedLoss) {
    constexpr int kCount = 1 << 24;
    std::vector<uint8_t> in(3 * static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        const uint32_t u = static_cast<uint32_t>(i - (1 << 23));
        in[3 * i] = static_cast<uint8_t>(u);
        in[3 * i + 1] = static_cast<uint8_t>(u >> 8);
        in[3 * i + 2] = static_cast<uint8_t>(u >> 16);
    }
    std::vector<double> frames(kCount);  // stereo: kCount / 2 frames
    ASSERT_EQ(0, wav2pcmFunc(frames.data(), in.data(), kCount / 2, 2, 24, 1));
    std::vector<uint8_t> out(in.size());
    ASSERT_EQ(0, pcm2wavFunc(out.data(), frames.data(), kCount / 2, 2, 24, 0));
    int bad = 0;
    for (int i = 0; i < kCount && bad < 5; ++i) {
        const int v = i - (1 << 23);
        int32_t got = out[3 * i] | (out[3 * i + 1] << 8) | (out[3 * i + 2] << 16);
        if (got & 0x800000) got -= 1 << 24;
        // As at 16 bits, positives above 2^22 lose a step, except 2^22 + 1:
        // there x * (2^31 - 1) is a tie on the double grid, rounds up to
        // exactly .5, and that ties to the even integer above.
        const int want = v > (1 << 22) + 1 ? v - 1 : v;
        if (got != want) {
            ADD_FAILURE() << "sample " << v << " came back as " << got;
            ++bad;
        }
    }
}

struct UnpackCase {
    std::vector<uint8_t> bytes;
    uint8_t bits;
    uint16_t tag;
    double want;
};

TEST(PcmPack, UnpackingKnownAnswers) {
    const UnpackCase cases[] = {
        {{0x00, 0x80}, 16, 1, -1.0},
        {{0xFF, 0x7F}, 16, 1, 32767.0 / 32768.0},
        {{0xFF, 0xFF}, 16, 3, -1.0 / 32768.0},  // the tag does not matter at 16 bits
        {{0x00, 0x00, 0x80}, 24, 1, -1.0},
        {{0xFF, 0xFF, 0x7F}, 24, 1, 8388607.0 / 8388608.0},
        {{0x01, 0x00, 0x00}, 24, 1, 1.0 / 8388608.0},
        {{0x00, 0x00, 0x00, 0x80}, 32, 1, -1.0},
        {{0x00, 0x00, 0x00, 0x40}, 32, 0xFFFE, 0.5},
        {{0x00, 0x00, 0x80, 0x3E}, 32, 3, 0.25},                         // float 0.25
        {{0x00, 0x00, 0x80, 0x3E}, 32, 1, 1048576000.0 / 2147483648.0},  // same bytes as integer
        {{0x00, 0x00, 0xC0, 0x40}, 32, 3, 6.0},                          // float is not clamped
        {{0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0xD5, 0x3F}, 64, 1, 1.0 / 3.0},
    };
    for (const UnpackCase &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.bits) << " bits, tag " << c.tag);
        // Mono: lane 1 is cleared, whatever was there.
        double mono[2] = {99.0, 99.0};
        ASSERT_EQ(0, wav2pcmFunc(mono, c.bytes.data(), 1, 1, c.bits, c.tag));
        EXPECT_EQ(c.want, mono[0]);
        EXPECT_EQ(0.0, mono[1]);
        // Stereo, the same sample in both channels, read through the library's unpacker.
        std::vector<uint8_t> st = c.bytes;
        st.insert(st.end(), c.bytes.begin(), c.bytes.end());
        double frame[2] = {99.0, 99.0};
        ASSERT_EQ(0, wav2pcm(frame, st.data(), 1, 2, c.bits, nullptr, c.tag));
        EXPECT_EQ(c.want, frame[0]);
        EXPECT_EQ(c.want, frame[1]);
    }
}

TEST(PcmPack, StereoChannelOrderAndOddLengths) {
    // 509 frames reach any tail of the loops; channel 1 is written first.
    constexpr uint32_t kFrames = 509;
    std::vector<double> in(2 * kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) {
        in[2 * i] = (static_cast<double>(i) - 254.0) / 256.0;
        in[2 * i + 1] = -in[2 * i] * 0.5;
    }
    for (uint8_t bits : {16, 24, 32, 64}) {
        SCOPED_TRACE(int(bits));
        const size_t bytes = kFrames * 2 * (bits / 8);
        std::vector<uint8_t> packed(bytes + 8, 0xEE);
        ASSERT_EQ(0, pcm2wavFunc(packed.data(), in.data(), kFrames, 2, bits, 0));
        for (size_t k = bytes; k < packed.size(); ++k) ASSERT_EQ(0xEE, packed[k]) << "overrun";
        std::vector<double> back(2 * kFrames + 2, 7.0);
        ASSERT_EQ(0, wav2pcmFunc(back.data(), packed.data(), kFrames, 2, bits, 3));
        // Every value is a multiple of 2^-9, so only the integer forms' one
        // step toward minus infinity separates them from the input.
        const double tol = bits == 16 ? 1.0 / 32768 : bits == 24 ? 1.0 / 8388608 : 0.0;
        for (uint32_t i = 0; i < 2 * kFrames; ++i) ASSERT_NEAR(in[i], back[i], tol) << i;
        EXPECT_EQ(7.0, back[2 * kFrames]);
    }
}

TEST(PcmPack, FloatAndDoubleOutputPassThrough) {
    const double frame[2] = {0.1, -3.5};
    uint8_t f32[8];
    ASSERT_EQ(0, pcm2wavFunc(f32, frame, 1, 2, 32, 0));
    float a, b;
    std::memcpy(&a, f32, 4);
    std::memcpy(&b, f32 + 4, 4);
    EXPECT_EQ(0.1f, a);   // nearest float
    EXPECT_EQ(-3.5f, b);  // neither scaled nor clamped
    const uint8_t want01[4] = {0xCD, 0xCC, 0xCC, 0x3D};
    EXPECT_EQ(0, std::memcmp(want01, f32, 4));

    const double exotic[2] = {1e300, -std::numeric_limits<double>::denorm_min()};
    uint8_t f64[16];
    ASSERT_EQ(0, pcm2wavFunc(f64, exotic, 1, 2, 64, 0));
    EXPECT_EQ(0, std::memcmp(f64, exotic, 16));

    // The library's packer has no 64-bit output.
    EXPECT_EQ(kPcmPackBadFormat, pcm2wav(f64, exotic, 1, 2, 64, 0));
    ASSERT_EQ(0, pcm2wav(f32, frame, 1, 2, 32, 0));
    std::memcpy(&a, f32, 4);
    EXPECT_EQ(0.1f, a);
}

TEST(PcmPack, LibraryChannelByteSelectsTheRightLane) {
    const double frames[4] = {0.5, -0.5, 0.25, -1.0};
    uint8_t out[8];
    ASSERT_EQ(0, pcm2wav(out, frames, 2, 0x01, 16, 0));
    EXPECT_EQ(std::vector<uint8_t>({0x00, 0x40, 0x00, 0x20}), std::vector<uint8_t>(out, out + 4));
    ASSERT_EQ(0, pcm2wav(out, frames, 2, 0x81, 16, 0));
    EXPECT_EQ(std::vector<uint8_t>({0x00, 0xC0, 0x00, 0x80}), std::vector<uint8_t>(out, out + 4));
    ASSERT_EQ(0, pcm2wav(out, frames, 2, 0x81, 24, 0));
    EXPECT_EQ(std::vector<uint8_t>({0x00, 0x00, 0xC0, 0x00, 0x00, 0x80}), std::vector<uint8_t>(out, out + 6));
    // Bit 7 means nothing for stereo.
    ASSERT_EQ(0, pcm2wav(out, frames, 1, 0x82, 16, 0));
    EXPECT_EQ(std::vector<uint8_t>({0x00, 0x40, 0x00, 0xC0}), std::vector<uint8_t>(out, out + 4));
    // The program's packer takes the channel count as it is.
    EXPECT_EQ(kPcmPackBadFormat, pcm2wavFunc(out, frames, 1, 0x81, 16, 0));
}

TEST(PcmPack, BadWordLengthsAndChannelCounts) {
    struct Bad {
        uint8_t bits;
        uint8_t channels;
        const char *unpackLine;  // printed by the unpacker
    };
    const Bad cases[] = {
        {40, 2, ""},
        {48, 1, ""},
        {56, 2, ""},
        {8, 1, ""},
        {0, 2, ""},
        {16, 3, "ch is not 1 or 2  3\n"},
        {16, 0, "ch is not 1 or 2  0\n"},
        {24, 3, ""},
        {32, 6, ""},
        {64, 0, ""},
    };
    uint8_t bytes[64] = {};
    double frames[8] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8};
    for (const Bad &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.bits) << " bits, " << int(c.channels) << " ch");
        double out[4] = {5.0, 5.0, 5.0, 5.0};
        testing::internal::CaptureStdout();
        EXPECT_EQ(kPcmPackBadFormat, wav2pcmFunc(out, bytes, 1, c.channels, c.bits, 1));
        EXPECT_EQ(c.unpackLine, testing::internal::GetCapturedStdout());
        testing::internal::CaptureStdout();
        EXPECT_EQ(kPcmPackBadFormat, wav2pcm(out, bytes, 1, c.channels, c.bits, nullptr, 1));
        EXPECT_EQ(c.unpackLine, testing::internal::GetCapturedStdout());
        EXPECT_EQ(5.0, out[0]);

        uint8_t packed[16];
        std::memset(packed, 0xEE, sizeof packed);
        testing::internal::CaptureStdout();
        EXPECT_EQ(kPcmPackBadFormat, pcm2wavFunc(packed, frames, 1, c.channels, c.bits, 0));
        EXPECT_EQ(kPcmPackBadFormat, pcm2wav(packed, frames, 1, c.channels, c.bits, 0));
        EXPECT_EQ("", testing::internal::GetCapturedStdout());
        EXPECT_EQ(0xEE, packed[0]);
    }
}

TEST(PcmPack, EmptyAndNegativeCountsWriteNothing) {
    uint8_t bytes[8] = {0x00, 0x80, 0x00, 0x80};
    double out[4] = {5.0, 5.0, 5.0, 5.0};
    for (uint32_t count : {0u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(0, wav2pcmFunc(out, bytes, count, 2, 16, 1));
        EXPECT_EQ(0, wav2pcm(out, bytes, count, 2, 24, nullptr, 1));
        EXPECT_EQ(0, pcm2wavFunc(bytes, out, count, 2, 16, 0));
        EXPECT_EQ(0, pcm2wav(bytes, out, count, 2, 16, 2));
    }
    EXPECT_EQ(5.0, out[0]);
    EXPECT_EQ(0x80, bytes[1]);
}

TEST(PcmPack, NoiseShapingCarriesTheRoundingResiduePerLane) {
    // 65535.4 on the 32-bit grid rounds to 65535 (top half 0) and leaves 0.4;
    // the next 65535.2 plus that 0.4 rounds up to 65536 (top half 1).
    const double a = 65535.4 / 2147483647.0;
    const double b = 65535.2 / 2147483647.0;

    gRandom_seedInitValueFunc();
    int16_t r = 0;
    EXPECT_EQ(0, pack16(a, 0.0, kPcmDitherNoiseShape, &r));
    EXPECT_EQ(0, r);
    EXPECT_EQ(1, pack16(b, b, kPcmDitherNoiseShape, &r));  // lane 0 carried 0.4
    EXPECT_EQ(0, r);                                       // lane 1 carried nothing
    // Mode 0 neither uses nor disturbs the residue.
    gRandom_seedInitValueFunc();
    EXPECT_EQ(0, pack16(a, a, kPcmDitherNoiseShape));
    EXPECT_EQ(0, pack16(b, b, kPcmDitherNone));
    EXPECT_EQ(1, pack16(b, b, kPcmDitherNoiseShape));
    // Seeding clears it.
    EXPECT_EQ(0, pack16(a, a, kPcmDitherNoiseShape));
    gRandom_seedInitValueFunc();
    EXPECT_EQ(0, pack16(b, b, kPcmDitherNoiseShape));
    // 24 bits ignore the dither mode.
    gRandom_seedInitValueFunc();
    EXPECT_EQ(packMono(-1e-9, 24), packMono(-1e-9, 24, kPcmDitherNoiseShape));
}

TEST(PcmPack, GeneratorKnownAnswersAfterSeeding) {
    // Each lane shifts right with the new top bit = bits 0, 1, 21 and 31
    // exclusive-or'd; lanes 0+1 make the left value, 2+3 the right one.
    const double one[2] = {1.0, 1.0};
    const double want[3][2] = {
        {-0x1.a603ee2p-3, 0x1.8158c6p-3},
        {0x1.853d524p-5, 0x1.58bc5e8p-4},
        {0x1.49961bcp-6, 0x1.e79b8ebp-3},
    };
    gRandom_seedInitValue();
    for (const auto &w : want) {
        double v[2];
        gRandom_calcRamdomValue(v, one);
        EXPECT_EQ(w[0], v[0]);
        EXPECT_EQ(w[1], v[1]);
    }
    // The amplitude scales per lane.
    gRandom_seedInitValueFunc();
    const double amp[2] = {2.0, -0.5};
    double v[2];
    gRandom_calcRamdomValue(v, amp);
    EXPECT_EQ(2.0 * want[0][0], v[0]);
    EXPECT_EQ(-0.5 * want[0][1], v[1]);
}

TEST(PcmPack, DitherStepsTheGeneratorOncePerFrameAndOnlyInModeOne) {
    const double one[2] = {1.0, 1.0};
    double expectSecond[2], expectFirst[2], got[2];
    gRandom_seedInitValue();
    gRandom_calcRamdomValue(expectFirst, one);
    gRandom_calcRamdomValue(expectSecond, one);

    const double frames[6] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
    uint8_t out[18];
    gRandom_seedInitValue();
    ASSERT_EQ(0, pcm2wavFunc(out, frames, 3, 2, 16, kPcmDitherNone));
    ASSERT_EQ(0, pcm2wavFunc(out, frames, 3, 2, 16, kPcmDitherNoiseShape));
    ASSERT_EQ(0, pcm2wavFunc(out, frames, 3, 2, 24, kPcmDitherTpdf));  // ignored at 24 bits
    gRandom_calcRamdomValue(got, one);
    EXPECT_EQ(expectFirst[0], got[0]);

    gRandom_seedInitValue();
    ASSERT_EQ(0, pcm2wav(out, frames, 1, 0x81, 16, kPcmDitherTpdf));  // one mono frame
    gRandom_calcRamdomValue(got, one);
    EXPECT_EQ(expectSecond[0], got[0]);
    EXPECT_EQ(expectSecond[1], got[1]);

    // The same frames give the same bytes after every seeding.
    uint8_t again[12];
    gRandom_seedInitValueFunc();
    ASSERT_EQ(0, pcm2wavFunc(out, frames, 3, 2, 16, kPcmDitherTpdf));
    gRandom_seedInitValueFunc();
    ASSERT_EQ(0, pcm2wavFunc(again, frames, 3, 2, 16, kPcmDitherTpdf));
    EXPECT_EQ(0, std::memcmp(out, again, 12));
}

TEST(PcmPack, TriangularDitherLinearisesTheSixteenBitStep) {
    // With +-1 step of triangular dither ahead of the cut toward minus
    // infinity, the mean output is the input minus half a step, however far
    // below one step the input lies; without dither it would stick at 0.
    constexpr uint32_t kFrames = 200000;
    std::vector<double> in(2 * kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) {
        in[2 * i] = 0.25 * 65536.0 / 2147483647.0;  // a quarter step
        in[2 * i + 1] = 0.75 * 65536.0 / 2147483647.0;
    }
    std::vector<uint8_t> out(4 * kFrames);
    gRandom_seedInitValueFunc();
    ASSERT_EQ(0, pcm2wavFunc(out.data(), in.data(), kFrames, 2, 16, kPcmDitherTpdf));
    double sum[2] = {0, 0};
    int lo = 0, hi = 0;
    for (uint32_t i = 0; i < kFrames; ++i)
        for (int c = 0; c < 2; ++c) {
            const int16_t v = static_cast<int16_t>(out[4 * i + 2 * c] | (out[4 * i + 2 * c + 1] << 8));
            sum[c] += v;
            lo = std::min<int>(lo, v);
            hi = std::max<int>(hi, v);
        }
    EXPECT_NEAR(-0.25, sum[0] / kFrames, 0.01);
    EXPECT_NEAR(0.25, sum[1] / kFrames, 0.01);
    EXPECT_EQ(-1, lo);
    EXPECT_EQ(1, hi);
}

}  // namespace
