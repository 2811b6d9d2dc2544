// File combine through the library's entry: WAV, DSF and DSDIFF pairs, and
// the failures around the handler call.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audiofile/vfile.h"
#include "audiogen.h"
#include "hdrparam.h"
#include "morphex/combine.h"
#include "testutil.h"
#include "tools.h"

namespace {

tBwfHdrParam header(uint16_t channels, uint16_t bits, uint32_t rate) { return sxtest::hdrParam(channels, bits, rate); }

double ffprobeDuration(const std::string &path) {
    const std::string d = sxtest::probeStream(path, "stream=duration")["duration"];
    return d.empty() ? -1 : std::atof(d.c_str());
}

std::vector<int32_t> ramp(size_t n, int32_t from, int32_t step) {
    std::vector<int32_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<int32_t>((from + step * static_cast<int64_t>(i)) % 30000);
    return v;
}

int combine(int type, const std::string &a, const std::string &b, const std::string &work, const tBwfHdrParam &param,
            int *progress) {
    return audioCombine(type, sxtest::u16(a).data(), sxtest::u16(b).data(), sxtest::u16(work).data(), &param, progress);
}

}  // namespace

TEST(Combine, TwoWavFilesBackToBack) {
    sxtest::TempDir dir;
    const std::string a = dir.file("a.wav"), b = dir.file("b.wav"), work = dir.file("work.bin");
    const auto sa = ramp(2 * 44100, 1, 3), sb = ramp(2 * 22050, -7, 5);
    ASSERT_TRUE(sxtest::writeAll(a, sxgen::wav(44100, 16, 2, sa)));
    ASSERT_TRUE(sxtest::writeAll(b, sxgen::wav(44100, 16, 2, sb)));
    const auto da = sxgen::wavData(sxtest::readAll(a)), db = sxgen::wavData(sxtest::readAll(b));
    int progress = 0;
    ASSERT_EQ(combine(0, a, b, work, header(2, 16, 44100), &progress), 0);
    EXPECT_FALSE(std::filesystem::exists(work));
    EXPECT_EQ(pProgress, nullptr);

    std::vector<uint8_t> expect = da;
    expect.insert(expect.end(), db.begin(), db.end());
    EXPECT_EQ(sxgen::wavData(sxtest::readAll(a)), expect);
    EXPECT_NEAR(ffprobeDuration(a), 1.5, 1e-4);
}

TEST(Combine, TwoDsdiffFilesBitExact) {
    sxtest::TempDir dir;
    const std::string a = dir.file("a.dff"), b = dir.file("b.dff"), work = dir.file("work.bin");
    const std::vector<std::vector<uint8_t>> ca = {sxgen::noiseBytes(352800, 1), sxgen::noiseBytes(352800, 2)};
    const std::vector<std::vector<uint8_t>> cb = {sxgen::noiseBytes(176400, 3), sxgen::noiseBytes(176400, 4)};
    ASSERT_TRUE(sxtest::writeAll(a, sxgen::dsdiff(2822400, ca)));
    ASSERT_TRUE(sxtest::writeAll(b, sxgen::dsdiff(2822400, cb)));
    const auto da = sxgen::dsdiffData(sxtest::readAll(a)), db = sxgen::dsdiffData(sxtest::readAll(b));
    int progress = 0;
    ASSERT_EQ(combine(3, a, b, work, header(2, 1, 2822400), &progress), 0);
    EXPECT_FALSE(std::filesystem::exists(work));
    std::vector<uint8_t> expect = da;
    expect.insert(expect.end(), db.begin(), db.end());
    const auto joined = sxtest::readAll(a);
    EXPECT_EQ(sxgen::dsdiffData(joined), expect);
    // ffprobe takes a DSDIFF file's duration from the bytes behind the start
    // of the sound data up to the end of the file, so the start-time chunk
    // that follows the audio adds its size to the estimate.
    const double trailing = static_cast<double>(joined.size() - sxgen::dsdiffDataEnd(joined));
    EXPECT_NEAR(ffprobeDuration(a), 1.5 + trailing / (2822400.0 / 8 * 2), 1e-5);
}

TEST(Combine, TwoDsfFilesBitExact) {
    sxtest::TempDir dir;
    const std::string a = dir.file("a.dsf"), b = dir.file("b.dsf"), work = dir.file("work.bin");
    // Neither length is a whole block: the first file's padded last block is
    // where the second file's audio continues.
    const std::vector<std::vector<uint8_t>> ca = {sxgen::noiseBytes(352800 + 1000, 1),
                                                  sxgen::noiseBytes(352800 + 1000, 2)};
    const std::vector<std::vector<uint8_t>> cb = {sxgen::noiseBytes(176400 - 1000, 3),
                                                  sxgen::noiseBytes(176400 - 1000, 4)};
    ASSERT_TRUE(sxtest::writeAll(a, sxgen::dsf(2822400, ca)));
    ASSERT_TRUE(sxtest::writeAll(b, sxgen::dsf(2822400, cb)));
    int progress = 0;
    ASSERT_EQ(combine(2, a, b, work, header(2, 1, 2822400), &progress), 0);
    EXPECT_FALSE(std::filesystem::exists(work));
    const auto bytes = sxtest::readAll(a);
    const auto got = sxgen::dsfChannels(bytes);
    ASSERT_EQ(got.size(), 2u);
    std::vector<std::vector<uint8_t>> joined(2);
    for (int c = 0; c < 2; ++c) {
        joined[c] = ca[c];
        joined[c].insert(joined[c].end(), cb[c].begin(), cb[c].end());
        EXPECT_EQ(got[c], joined[c]) << "channel " << c;
    }
    // The last block group is filled up with the silence byte.
    const size_t dataAt = 28 + 52 + 12, n = joined[0].size(), groups = (n + 4095) / 4096;
    for (int c = 0; c < 2; ++c)
        for (size_t k = n; k < groups * 4096; ++k)
            ASSERT_EQ(bytes[dataAt + (groups - 1) * 8192 + c * 4096 + k % 4096], 0x96) << c << " " << k;
    // ffprobe counts a DSF file's duration in whole blocks and, like for
    // DSDIFF, counts the bytes that follow the audio (here the tag), so the
    // result is compared with a file written directly with the joined audio.
    const std::string direct = dir.file("direct.dsf");
    ASSERT_TRUE(sxtest::writeAll(direct, sxgen::dsf(2822400, joined)));
    const double trailing = static_cast<double>(bytes.size() - (dataAt + groups * 8192));
    EXPECT_NEAR(ffprobeDuration(a), ffprobeDuration(direct) + trailing / (2822400.0 / 8 * 2), 1e-5);
    EXPECT_NEAR(ffprobeDuration(direct), 1.5, 4096 * 8 / 2822400.0);
}

TEST(Combine, FailuresAroundTheHandler) {
    sxtest::TempDir dir;
    const std::string a = dir.file("a.wav"), b = dir.file("b.wav"), work = dir.file("work.bin");
    ASSERT_TRUE(sxtest::writeAll(a, sxgen::wav(44100, 16, 2, ramp(200, 0, 1))));
    ASSERT_TRUE(sxtest::writeAll(b, sxgen::wav(44100, 16, 2, ramp(200, 5, 1))));
    const auto before = sxtest::readAll(a);
    int progress = 0;
    for (int type : {-1, 5, 127}) {
        EXPECT_EQ(combine(type, a, b, work, header(2, 16, 44100), &progress), -17) << type;
        EXPECT_FALSE(std::filesystem::exists(work));
        EXPECT_EQ(sxtest::readAll(a), before);
    }
    EXPECT_EQ(combine(0, a, dir.file("missing.wav"), work, header(2, 16, 44100), &progress), kCombineErrSecond);
    EXPECT_FALSE(std::filesystem::exists(work));
    EXPECT_EQ(sxtest::readAll(a), before);
    EXPECT_EQ(combine(0, dir.file("missing.wav"), b, work, header(2, 16, 44100), &progress), kCombineErrFirst);
    EXPECT_EQ(combine(0, a, b, dir.file("nofolder/work.bin"), header(2, 16, 44100), &progress), kCombineErrFirst);
    EXPECT_EQ(sxtest::readAll(a), before);
}
