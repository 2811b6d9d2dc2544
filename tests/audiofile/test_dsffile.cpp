// DSF handler: header, size updates, block padding, combine and divide,
// and damaged headers.
#include <gtest/gtest.h>

#include "audiofile/vfile.h"
#include "dsdtestutil.h"

using namespace dsdtest;

namespace {

// Per-channel streams of the audio of a DSF file (offset 92, whole groups).
std::vector<Bytes> streamsOf(const Bytes &file, size_t channels, size_t perChannel) {
    std::vector<Bytes> out(channels);
    for (size_t i = 0; i < channels; ++i)
        for (size_t k = 0; k < perChannel; ++k) {
            size_t g = k / 4096;
            out[i].push_back(file.at(92 + (g * channels + i) * 4096 + k % 4096));
        }
    return out;
}

std::vector<Bytes> makeStreams(size_t channels, size_t perChannel, uint8_t seed) {
    std::vector<Bytes> ch;
    for (size_t i = 0; i < channels; ++i) ch.push_back(channelBytes(perChannel, static_cast<uint8_t>(seed + 40 * i)));
    return ch;
}

// Checks the size fields and the tag position of a finalised file.
void expectFinalised(const Bytes &b, uint64_t paddedAudio, uint64_t samples) {
    EXPECT_EQ(le64(b, 12), b.size()) << "total file size";
    EXPECT_EQ(le64(b, 20), 92 + paddedAudio) << "metadata pointer";
    EXPECT_EQ(le64(b, 84), paddedAudio + 12) << "data size";
    EXPECT_EQ(le64(b, 64), samples) << "sample count";
    ASSERT_GE(b.size(), 92 + paddedAudio + 10);
    EXPECT_EQ(str(b, 92 + paddedAudio, 4), std::string("ID3\x03", 4)) << "tag at the pointer";
    uint32_t tagSize = (b[92 + paddedAudio + 6] << 21) | (b[92 + paddedAudio + 7] << 14) |
                       (b[92 + paddedAudio + 8] << 7) | b[92 + paddedAudio + 9];
    EXPECT_EQ(92 + paddedAudio + 10 + tagSize, b.size()) << "the tag ends the file";
}

}  // namespace

TEST(DsfFile, HeaderOfStereoFileAt5644800) {
    sxtest::TempDir dir;
    const std::string path = dir.file("h.dsf");
    {
        gClass_DsfFile dsf;
        File f(path, "wb+");
        tBwfHdrParam p = param(2, 5644800);
        ASSERT_EQ(dsf.createHeader(f.fp, &p, 1), 0);
    }
    Bytes b = sxtest::readAll(path);
    ASSERT_EQ(b.size(), 92u);
    EXPECT_EQ(str(b, 0, 4), "DSD ");
    EXPECT_EQ(le64(b, 4), 28u);
    EXPECT_EQ(le64(b, 12), 92u);
    EXPECT_EQ(le64(b, 20), 0u);
    EXPECT_EQ(str(b, 28, 4), "fmt ");
    EXPECT_EQ(le64(b, 32), 52u);
    EXPECT_EQ(le32(b, 40), 1u);
    EXPECT_EQ(le32(b, 44), 0u);
    EXPECT_EQ(le32(b, 48), 2u);
    EXPECT_EQ(le32(b, 52), 2u);
    EXPECT_EQ(le32(b, 56), 5644800u);
    EXPECT_EQ(le32(b, 60), 1u);
    EXPECT_EQ(le64(b, 64), 0u);
    EXPECT_EQ(le32(b, 72), 4096u);
    EXPECT_EQ(le32(b, 76), 0u);
    EXPECT_EQ(str(b, 80, 4), "data");
    EXPECT_EQ(le64(b, 84), 0u);
}

TEST(DsfFile, CreateHeaderRefusesWhatTheFormatCannotHold) {
    sxtest::TempDir dir;
    struct Case {
        uint16_t channels;
        uint32_t rate;
    } cases[] = {{0, 2822400}, {7, 2822400}, {2, 0}};
    for (const Case &c : cases) {
        gClass_DsfFile dsf;
        File f(dir.file("bad.dsf"), "wb+");
        tBwfHdrParam p = param(c.channels, c.rate);
        EXPECT_EQ(dsf.createHeader(f.fp, &p, 0), -17) << c.channels << " ch, " << c.rate << " Hz";
    }
}

TEST(DsfFile, UpdateDataSizeSetsPointerSizesAndAppendsTheTag) {
    sxtest::TempDir dir;
    const std::string path = dir.file("u.dsf");
    writeDsf(path, 5644800, makeStreams(2, 4096, 1));  // 8192 bytes, 32768 samples per channel
    Bytes b = sxtest::readAll(path);
    EXPECT_EQ(le64(b, 20), 8284u);
    EXPECT_EQ(le64(b, 84), 8204u);
    EXPECT_EQ(le64(b, 64), 32768u);
    EXPECT_EQ(b.size(), 8284u + 10 + 96);
    expectFinalised(b, 8192, 32768);

    // A second update replaces the tag instead of appending another one.
    {
        gClass_DsfFile dsf;
        File f(path, "rb+");
        ASSERT_EQ(dsf.updateDataSize(f.fp, 8192, 32768), 0);
    }
    Bytes again = sxtest::readAll(path);
    EXPECT_EQ(again.size(), b.size());
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 8284, again.begin()));
}

TEST(DsfFile, MonoLastBlockIsFilledUpWithIdleBytes) {
    sxtest::TempDir dir;
    const std::string path = dir.file("m.dsf");
    Bytes audio = channelBytes(5000, 7);
    writeDsf(path, 2822400, {audio}, /*padMono=*/false);
    Bytes b = sxtest::readAll(path);
    expectFinalised(b, 8192, 40000);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), b.begin() + 92));
    for (size_t i = 92 + 5000; i < 92 + 8192; ++i) ASSERT_EQ(b[i], 0x96) << "at " << i;

    gClass_DsfFile dsf;
    File f(path, "rb");
    uint64_t off = 0, data = 0, bytes = 0;
    ASSERT_EQ(dsf.searchData(f.fp, &off, &data, &bytes), 0);
    EXPECT_EQ(off, 92u);
    EXPECT_EQ(data, 8204u);
    EXPECT_EQ(bytes, 5000u);
}

TEST(DsfFile, StereoUpdateWithUnpaddedCountKeepsTheSecondChannel) {
    // A caller may count only the audio (not the padding) of a stereo file;
    // the second channel's last block lies behind that count and must stay.
    sxtest::TempDir dir;
    const std::string path = dir.file("s.dsf");
    auto ch = makeStreams(2, 5000, 3);
    writeDsf(path, 2822400, ch);
    {
        gClass_DsfFile dsf;
        File f(path, "rb+");
        ASSERT_EQ(dsf.updateDataSize(f.fp, 10000, 40000), 0);
    }
    Bytes b = sxtest::readAll(path);
    expectFinalised(b, 16384, 40000);
    EXPECT_EQ(streamsOf(b, 2, 5000), ch);
}

TEST(DsfFile, UpdateDataSizeRefusesAudioTheFileLacks) {
    sxtest::TempDir dir;
    const std::string path = dir.file("short.dsf");
    {
        gClass_DsfFile dsf;
        File f(path, "wb+");
        tBwfHdrParam p = param(2, 2822400);
        ASSERT_EQ(dsf.createHeader(f.fp, &p, 0), 0);
        EXPECT_EQ(dsf.updateDataSize(f.fp, 8192, 32768), -17);
        EXPECT_EQ(dsf.updateDataSize(f.fp, UINT64_MAX - 5, 1), -17);
    }
    EXPECT_EQ(sxtest::readAll(path).size(), 92u);
}

TEST(DsfFile, ReadsFormatAndRefusesOtherFiles) {
    sxtest::TempDir dir;
    const std::string path = dir.file("r.dsf");
    writeDsf(path, 11289600, makeStreams(2, 6000, 5));
    gClass_DsfFile dsf;
    {
        File f(path, "rb");
        uint32_t rate = 0, bits = 0, channels = 0;
        uint16_t tag = 9;
        ASSERT_EQ(dsf.searchFmtChunk(f.fp, &rate, &bits, &channels, &tag), 0);
        EXPECT_EQ(rate, 11289600u);
        EXPECT_EQ(bits, 1u);
        EXPECT_EQ(channels, 2u);
        EXPECT_EQ(tag, 0);
        tRiffStatus st = kRiffStatusRF64;
        EXPECT_EQ(dsf.checkHeader(f.fp, &st), 0);
        EXPECT_EQ(st, kRiffStatusRF64) << "status is left alone";
        uint64_t start = 5, off = 1;
        EXPECT_EQ(dsf.searchBextChunk(f.fp, &start), -1);
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(dsf.searchChunk(f.fp, "fmt ", &off), -1);
        EXPECT_EQ(dsf.setStartSample(f.fp, 1), -1);
        EXPECT_EQ(dsf.getStartSample(f.fp, &start), -1);
        EXPECT_EQ(dsf.deleteChunk(f.fp, "fmt "), -1);
        EXPECT_EQ(dsf.searchSpecifiedChunk(f.fp, "data", &off), 0);
        EXPECT_EQ(off, 80u);
        EXPECT_EQ(dsf.getReserveSize(), 171u);
    }
    struct Case {
        const char *name;
        Bytes bytes;
        int expected;
    } cases[] = {
        {"DSDIFF", Bytes{'F', 'R', 'M', '8', 0, 0, 0, 0, 0, 0, 0, 40, 'D', 'S', 'D', ' '}, -17},
        {"short", Bytes{'D', 'S', 'D', ' ', 28, 0}, -17},
        {"empty", Bytes{}, -17},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(sxtest::writeAll(dir.file("x"), c.bytes));
        File f(dir.file("x"), "rb");
        tRiffStatus st = kRiffStatusUnknown;
        EXPECT_EQ(dsf.checkHeader(f.fp, &st), c.expected) << c.name;
    }
}

// Damaged files start from a good one; each row cuts or patches it. No
// operation may crash or read past what the file holds.
TEST(DsfFile, DamagedHeadersFailCleanly) {
    sxtest::TempDir dir;
    const std::string good = dir.file("good.dsf");
    writeDsf(good, 2822400, makeStreams(2, 5000, 9));
    const Bytes base = sxtest::readAll(good);
    // update: updateDataSize for the 10000 audio bytes the file holds; a
    // refusal leaves the file as it was.
    struct Case {
        const char *name;
        size_t cut;
        size_t at;
        uint64_t value;
        int check;
        int search;
        int update;
    } cases[] = {
        {"cut inside DSD", 20, 0, 0, -17, -17, -1},
        {"cut inside fmt", 60, 0, 0, -1, -1, -1},
        {"cut inside data header", 86, 0, 0, 0, -1, -1},
        {"fmt size too small", 0, 32, 40, -1, -1, -1},
        {"fmt size past the end", 0, 32, 1ull << 40, -1, -1, -1},
        {"fmt size zero", 0, 32, 0, -1, -1, -1},
        {"data size past the end", 0, 84, 1ull << 50, 0, 0, 0},
        {"sample count huge", 0, 64, ~0ull, 0, 0, 0},
    };
    for (const Case &c : cases) {
        Bytes b = base;
        if (c.cut) b.resize(c.cut);
        if (c.at) putLE64(b, c.at, c.value);
        const std::string path = dir.file("bad.dsf");
        ASSERT_TRUE(sxtest::writeAll(path, b));
        gClass_DsfFile dsf;
        File f(path, "rb+");
        tRiffStatus st = kRiffStatusUnknown;
        EXPECT_EQ(dsf.checkHeader(f.fp, &st), c.check) << c.name;
        uint64_t off = 0, data = 0, audio = 0;
        EXPECT_EQ(dsf.searchData(f.fp, &off, &data, &audio), c.search) << c.name;
        uint64_t size = 0;
        ASSERT_EQ(v_getFileSize(f.fp, &size), 0);
        if (c.search == 0) {
            EXPECT_LE(off + data - 12, size) << c.name;
            EXPECT_LE(off + audio, size) << c.name;
        }
        EXPECT_EQ(dsf.loadCueData(f.fp, 0, 0), 0) << c.name;
        const int rc = dsf.updateDataSize(f.fp, 10000, 40000);
        EXPECT_EQ(rc, c.update) << c.name;
        f.close();
        const Bytes after = sxtest::readAll(path);
        if (rc == 0) {
            // Sizes that describe the file: the total, the data chunk of
            // whole block groups ending at the tag, and the samples.
            EXPECT_EQ(le64(after, 12), after.size()) << c.name;
            EXPECT_EQ(le64(after, 84), 12u + 2 * 8192) << c.name;
            EXPECT_EQ(le64(after, 20), 92u + 2 * 8192) << c.name;
            EXPECT_EQ(str(after, 92 + 2 * 8192, 3), "ID3") << c.name;
            EXPECT_EQ(le64(after, 64), 40000u) << c.name;
        } else {
            EXPECT_EQ(after, b) << c.name;
        }
    }
}

// Combining continues the first file's partly filled last block of each
// channel; every row checks both channels' streams byte for byte, the
// padding, the sizes and that the tag follows the joined audio.
TEST(DsfFile, CombineJoinsTheChannelStreams) {
    struct Case {
        size_t channels, first, second;
    } cases[] = {
        {2, 5000, 1250},   // one pass, no spill-over
        {2, 5000, 5000},   // spill into a new block group
        {2, 4096, 4096},   // first ends on a block boundary
        {2, 5000, 12000},  // several passes
        {2, 0, 3000},     {2, 5000, 0}, {1, 3000, 7000}, {1, 1000, 900},
    };
    for (const Case &c : cases) {
        sxtest::TempDir dir;
        auto a = makeStreams(c.channels, c.first, 11);
        auto b = makeStreams(c.channels, c.second, 101);
        const std::string first = dir.file("a.dsf"), second = dir.file("b.dsf");
        if (c.first)
            writeDsf(first, 2822400, a);
        else {
            // An empty first file: header and sizes only.
            gClass_DsfFile dsf;
            File f(first, "wb+");
            tBwfHdrParam p = param(static_cast<uint16_t>(c.channels), 2822400);
            ASSERT_EQ(dsf.createHeader(f.fp, &p, 0), 0);
            ASSERT_EQ(dsf.updateDataSize(f.fp, 0, 0), 0);
        }
        if (c.second)
            writeDsf(second, 2822400, b);
        else {
            gClass_DsfFile dsf;
            File f(second, "wb+");
            tBwfHdrParam p = param(static_cast<uint16_t>(c.channels), 2822400);
            ASSERT_EQ(dsf.createHeader(f.fp, &p, 0), 0);
            ASSERT_EQ(dsf.updateDataSize(f.fp, 0, 0), 0);
        }
        {
            gClass_DsfFile dsf;
            File f1(first, "rb+"), f2(second, "rb");
            tBwfHdrParam p = param(static_cast<uint16_t>(c.channels), 2822400);
            ASSERT_EQ(dsf.combine(f1.fp, f2.fp, nullptr, &p, 0), 0) << c.first << "+" << c.second;
        }
        Bytes out = sxtest::readAll(first);
        const size_t per = c.first + c.second;
        const size_t padded = (per + 4095) / 4096 * 4096 * c.channels;
        SCOPED_TRACE(std::to_string(c.channels) + " ch " + std::to_string(c.first) + "+" + std::to_string(c.second));
        expectFinalised(out, padded, per * 8);
        auto streams = streamsOf(out, c.channels, padded / c.channels);
        for (size_t i = 0; i < c.channels; ++i) {
            Bytes want = a[i];
            append(want, b[i]);
            want.resize(padded / c.channels, 0x96);
            EXPECT_EQ(streams[i], want) << "channel " << i;
        }
    }
}

// First holds 10000 bytes per channel, so its last block (block 1) has 904
// audio bytes; second's 2500 bytes per channel fit behind them in that same
// block, which then ends with 1942 bytes of silence.
TEST(DsfFile, CombineContinuesAPartlyFilledLastBlock) {
    sxtest::TempDir dir;
    auto a = makeStreams(2, 5000, 1);  // 40000 samples per channel: A = 10000, f = 904
    auto b = makeStreams(2, 1250, 2);  // 10000 samples per channel: B = 2500
    writeDsf(dir.file("a.dsf"), 2822400, a);
    writeDsf(dir.file("b.dsf"), 2822400, b);
    {
        gClass_DsfFile dsf;
        File f1(dir.file("a.dsf"), "rb+"), f2(dir.file("b.dsf"), "rb");
        tBwfHdrParam p = param(2, 2822400);
        ASSERT_EQ(dsf.combine(f1.fp, f2.fp, nullptr, &p, 0), 0);
    }
    Bytes out = sxtest::readAll(dir.file("a.dsf"));
    for (size_t i = 0; i < 2; ++i) {
        const size_t block = 92 + (2 * 1 + i) * 4096;  // block 1 of channel i
        EXPECT_TRUE(std::equal(a[i].begin() + 4096, a[i].end(), out.begin() + block));
        EXPECT_TRUE(std::equal(b[i].begin(), b[i].end(), out.begin() + block + 904));
        for (size_t k = 904 + 1250; k < 4096; ++k) ASSERT_EQ(out[block + k], 0x96);
        EXPECT_EQ(4096u - 904 - 1250, 1942u);
    }
    // The sample count of both files; sizes and pointer from the padded audio.
    EXPECT_EQ(le64(out, 64), 50000u);
    EXPECT_EQ(le64(out, 84), 16384u + 12);
    EXPECT_EQ(le64(out, 20), 92u + 16384);
    EXPECT_EQ(str(out, 92 + 16384, 3), "ID3");
    EXPECT_EQ(le64(out, 12), out.size());
}

TEST(DsfFile, CombineRefusesFilesThatDoNotMatch) {
    sxtest::TempDir dir;
    writeDsf(dir.file("a.dsf"), 2822400, makeStreams(2, 5000, 1));
    writeDsf(dir.file("mono.dsf"), 2822400, makeStreams(1, 5000, 2));
    writeDsf(dir.file("fast.dsf"), 5644800, makeStreams(2, 5000, 3));
    writeDsf(dir.file("cut.dsf"), 2822400, makeStreams(2, 9000, 4));
    {
        // A second file that claims more audio than it holds.
        Bytes b = sxtest::readAll(dir.file("cut.dsf"));
        b.resize(92 + 8192 + 100);
        ASSERT_TRUE(sxtest::writeAll(dir.file("cut.dsf"), b));
    }
    const Bytes before = sxtest::readAll(dir.file("a.dsf"));
    struct Case {
        const char *file;
        uint16_t channels;
    } cases[] = {{"mono.dsf", 2}, {"fast.dsf", 2}, {"a.dsf", 1}, {"cut.dsf", 2}};
    for (const Case &c : cases) {
        gClass_DsfFile dsf;
        File f1(dir.file("a.dsf"), "rb+"), f2(dir.file(c.file), "rb");
        tBwfHdrParam p = param(c.channels, 2822400);
        EXPECT_EQ(dsf.combine(f1.fp, f2.fp, nullptr, &p, 0), -17) << c.file;
    }
    EXPECT_EQ(sxtest::readAll(dir.file("a.dsf")), before);
}

TEST(DsfFile, DivideSplitsAtABlockGroup) {
    sxtest::TempDir dir;
    auto ch = makeStreams(2, 10000, 21);
    writeDsf(dir.file("s.dsf"), 2822400, ch);
    {
        gClass_DsfFile dsf;
        File src(dir.file("s.dsf"), "rb+"), second(dir.file("t.dsf"), "wb+");
        EXPECT_EQ(dsf.divide(src.fp, second.fp, nullptr, 8192 + 10), -17) << "inside a block group";
        EXPECT_EQ(dsf.divide(src.fp, second.fp, nullptr, 5 * 8192), -17) << "beyond the audio";
        ASSERT_EQ(dsf.divide(src.fp, second.fp, nullptr, 8192), 0);
    }
    Bytes first = sxtest::readAll(dir.file("s.dsf"));
    Bytes second = sxtest::readAll(dir.file("t.dsf"));
    expectFinalised(first, 8192, 4096 * 8);
    expectFinalised(second, 16384, (10000 - 4096) * 8);
    auto s1 = streamsOf(first, 2, 4096);
    auto s2 = streamsOf(second, 2, 8192);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(std::equal(s1[i].begin(), s1[i].end(), ch[i].begin()));
        EXPECT_TRUE(std::equal(ch[i].begin() + 4096, ch[i].end(), s2[i].begin()));
    }
}

TEST(DsfFile, SizeFieldHelpers) {
    sxtest::TempDir dir;
    const std::string path = dir.file("z.dsf");
    writeDsf(path, 2822400, makeStreams(1, 4096, 1));
    gClass_DsfFile dsf;
    File f(path, "rb+");
    const uint64_t total = le64(sxtest::readAll(path), 12);
    EXPECT_EQ(dsf.updateDsdFileSize(f.fp, 100, kDsfSizeAdd), 0);
    EXPECT_EQ(dsf.updateDsdFileSize(f.fp, 40, kDsfSizeSubtract), 0);
    std::fflush(f.fp);
    EXPECT_EQ(le64(sxtest::readAll(path), 12), total + 60);
    EXPECT_EQ(dsf.updateDsdFileSize(f.fp, ~0ull, kDsfSizeAdd), -1) << "would wrap";
    EXPECT_EQ(dsf.updateFileSizeDsf(f.fp), 0);
    std::fflush(f.fp);
    EXPECT_EQ(le64(sxtest::readAll(path), 12), total);
}
