// The DSDIFF handler: the header it writes, the sound properties and sizes
// it reads back, chunk removal, joining, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "audiofile/dsdifffile.h"
#include "audiofile/marklist.h"
#include "dsdifftestutil.h"
#include "testutil.h"

using namespace dfftest;

namespace {

class DsdiffFileTest : public ::testing::Test {
protected:
    sxtest::TempDir dir;
    gClass_DsdiffFile dff;
};

// Header written by createHeader, byte for byte, for stereo and mono.
TEST_F(DsdiffFileTest, HeaderLayout) {
    struct Case {
        uint16_t channels;
        uint64_t propSize, junkAt, junkSize;
        std::vector<std::string> ids;
    };
    const Case cases[] = {
        {2, 74, 118, 32626, {"SLFT", "SRGT"}},
        {1, 70, 114, 32630, {"C000"}},
        {3, 78, 122, 32622, {"C000", "C001", "C002"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.channels);
        const std::string path = dir.file("h.dff");
        {
            File f(path, "wb+");
            tBwfHdrParam p = param(c.channels);
            ASSERT_EQ(dff.createHeader(f.fp, &p, 1), 0);
        }
        Bytes b = sxtest::readAll(path);
        ASSERT_EQ(b.size(), 32768u);
        EXPECT_EQ(id(b, 0), "FRM8");
        EXPECT_EQ(be64(b, 4), 32756u);
        EXPECT_EQ(id(b, 12), "DSD ");
        EXPECT_EQ(id(b, 16), "FVER");
        EXPECT_EQ(be64(b, 20), 4u);
        EXPECT_EQ(be32(b, 28), 0x01040000u);
        EXPECT_EQ(id(b, 32), "PROP");
        EXPECT_EQ(be64(b, 36), c.propSize);
        EXPECT_EQ(id(b, 44), "SND ");
        EXPECT_EQ(id(b, 48), "FS  ");
        EXPECT_EQ(be64(b, 52), 4u);
        EXPECT_EQ(be32(b, 60), 2822400u);
        EXPECT_EQ(id(b, 64), "CHNL");
        EXPECT_EQ(be64(b, 68), 2u + 4u * c.channels);
        EXPECT_EQ(be16(b, 76), c.channels);
        for (size_t i = 0; i < c.ids.size(); ++i) EXPECT_EQ(id(b, 78 + 4 * i), c.ids[i]);
        const size_t cmpr = 78 + 4 * c.channels;
        EXPECT_EQ(id(b, cmpr), "CMPR");
        EXPECT_EQ(be64(b, cmpr + 4), 20u);
        EXPECT_EQ(id(b, cmpr + 12), "DSD ");
        EXPECT_EQ(b[cmpr + 16], 14);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[cmpr + 17]), 14), "not compressed");
        EXPECT_EQ(b[cmpr + 31], 0);
        ASSERT_EQ(cmpr + 32, c.junkAt);
        EXPECT_EQ(id(b, c.junkAt), "JUNK");
        EXPECT_EQ(be64(b, c.junkAt + 4), c.junkSize);
        for (size_t i = c.junkAt + 12; i < 32756; ++i) ASSERT_EQ(b[i], 0) << i;
        EXPECT_EQ(id(b, 32756), "DSD ");
        EXPECT_EQ(be64(b, 32760), 0u);

        // And the handler reads back what it wrote.
        File f(path, "rb");
        tRiffStatus st = kRiffStatusUnknown;
        EXPECT_EQ(dff.checkHeader(f.fp, &st), 0);
        EXPECT_EQ(st, kRiffStatusRIFF);
        uint32_t rate = 0, bits = 0, ch = 0;
        uint16_t tag = 9;
        EXPECT_EQ(dff.searchFmtChunk(f.fp, &rate, &bits, &ch, &tag), 0);
        EXPECT_EQ(rate, 2822400u);
        EXPECT_EQ(bits, 1u);
        EXPECT_EQ(ch, c.channels);
        EXPECT_EQ(tag, 0);
        uint64_t off = 0, bytes = 1, audio = 1;
        EXPECT_EQ(dff.searchData(f.fp, &off, &bytes, &audio), 0);
        EXPECT_EQ(off, 32768u);
        EXPECT_EQ(bytes, 0u);
        EXPECT_EQ(audio, 0u);
    }
}

TEST_F(DsdiffFileTest, ChannelIds) {
    const struct {
        uint32_t index, channels;
        const char *id;
    } cases[] = {{0, 2, "SLFT"},   {1, 2, "SRGT"},     {0, 1, "C000"},      {15, 16, "C00F"},
                 {16, 17, "C010"}, {255, 256, "C0FF"}, {4095, 4096, "CFFF"}};
    for (const auto &c : cases) {
        char out[4];
        gClass_DsdiffFile::channelId(out, c.index, c.channels);
        EXPECT_EQ(std::string(out, 4), c.id) << c.index;
    }
}

TEST_F(DsdiffFileTest, CreateHeaderRefusesWhatTheHeaderCannotHold) {
    const std::string path = dir.file("bad.dff");
    File f(path, "wb+");
    const tBwfHdrParam bad[] = {param(0), param(2, 0), param(4097)};
    for (const tBwfHdrParam &p : bad) EXPECT_EQ(dff.createHeader(f.fp, &p, 0), kAudioFileErrFormat);
    EXPECT_EQ(dff.createHeader(f.fp, nullptr, 0), kAudioFileErrFormat);
    f.close();
    EXPECT_EQ(sxtest::readAll(path).size(), 0u);

    // The largest channel list still fits before the sound chunk.
    File g(dir.file("wide.dff"), "wb+");
    tBwfHdrParam p = param(4096);
    ASSERT_EQ(dff.createHeader(g.fp, &p, 0), 0);
    uint32_t rate = 0, bits = 0, ch = 0;
    uint16_t tag = 0;
    EXPECT_EQ(dff.searchFmtChunk(g.fp, &rate, &bits, &ch, &tag), 0);
    EXPECT_EQ(ch, 4096u);
    uint64_t off = 0, bytes = 0, audio = 0;
    EXPECT_EQ(dff.searchData(g.fp, &off, &bytes, &audio), 0);
    EXPECT_EQ(off, 32768u);
}

TEST_F(DsdiffFileTest, UpdateDataSizeAndFormSize) {
    const std::string path = dir.file("a.dff");
    const Bytes audio = pattern(1000, 3);
    writeDff(path, param(2), audio);
    Bytes b = sxtest::readAll(path);
    ASSERT_EQ(b.size(), 33768u);
    EXPECT_EQ(be64(b, 32760), 1000u);
    EXPECT_EQ(be64(b, 4), 33756u);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), b.begin() + 32768));

    File f(path, "rb+");
    uint64_t off = 0, bytes = 0, a = 0;
    ASSERT_EQ(dff.searchData(f.fp, &off, &bytes, &a), 0);
    EXPECT_EQ(off, 32768u);
    EXPECT_EQ(bytes, 1000u);
    EXPECT_EQ(std::ftell(f.fp), 32768);

    // The form size arithmetic.
    EXPECT_EQ(dff.updateWavFileSize(f.fp, 10, kDsdiffSizeAdd), 0);
    EXPECT_EQ(be64(sxtest::readAll(path), 4), 33766u);
    EXPECT_EQ(dff.updateWavFileSize(f.fp, 66, kDsdiffSizeSubtract), 0);
    EXPECT_EQ(be64(sxtest::readAll(path), 4), 33700u);
    EXPECT_EQ(dff.updateWavFileSize(f.fp, 40000, kDsdiffSizeSubtract), kAudioFileErrIO);
    EXPECT_EQ(dff.updateWavFileSize(f.fp, 7, 5), 0);
    EXPECT_EQ(be64(sxtest::readAll(path), 4), 7u);
    EXPECT_EQ(dff.updateRiffSize(f.fp), 0);
    EXPECT_EQ(be64(sxtest::readAll(path), 4), 33756u);
}

// A chunk claiming more than the file holds: a recording that stopped
// before its sizes were fixed reads as far as it got.
TEST_F(DsdiffFileTest, SoundChunkClampedToTheFile) {
    const std::string path = dir.file("cut.dff");
    writeDff(path, param(2), pattern(4000, 1));
    Bytes b = sxtest::readAll(path);
    putBE64(b, 32760, 0xFFFFFFFFFFFFFFF0ull);
    sxtest::writeAll(path, b);
    File f(path, "rb");
    uint64_t off = 0, bytes = 0, a = 0;
    ASSERT_EQ(dff.searchData(f.fp, &off, &bytes, &a), 0);
    EXPECT_EQ(off, 32768u);
    EXPECT_EQ(bytes, 4000u);
    EXPECT_EQ(a, 4000u);
}

// A file assembled from chunks: a foreign PROP before the sound
// properties, an odd-sized chunk with its pad byte, an unknown property.
Bytes assemble(const std::vector<Bytes> &parts) {
    Bytes b = {'F', 'R', 'M', '8', 0, 0, 0, 0, 0, 0, 0, 0, 'D', 'S', 'D', ' '};
    for (const Bytes &p : parts) b.insert(b.end(), p.begin(), p.end());
    putBE64(b, 4, b.size() - 12);
    return b;
}

Bytes chunk(const char *name, const Bytes &data, bool pad = true) {
    Bytes b(12);
    std::memcpy(b.data(), name, 4);
    putBE64(b, 4, data.size());
    b.insert(b.end(), data.begin(), data.end());
    if (pad && (data.size() & 1)) b.push_back(0);
    return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes &p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

Bytes str(const char *s) { return Bytes(s, s + std::strlen(s)); }

Bytes u32be(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

Bytes sndProp(const char *compression, uint16_t channels = 2) {
    Bytes chnl = {uint8_t(channels >> 8), uint8_t(channels)};
    for (uint16_t i = 0; i < channels; ++i) chnl.insert(chnl.end(), {'C', '0', '0', uint8_t('0' + i)});
    return chunk("PROP", cat({str("SND "), chunk("FS  ", u32be(5644800)), chunk("ABSS", Bytes(3, 1)),
                              chunk("CHNL", chnl), chunk("CMPR", cat({str(compression), Bytes{3}, str("abc")}))}));
}

TEST_F(DsdiffFileTest, ReadsForeignLayouts) {
    const std::string path = dir.file("foreign.dff");
    const Bytes audio = pattern(77, 9);
    sxtest::writeAll(path, assemble({chunk("FVER", u32be(0x01050000)), chunk("COMT", Bytes(5, 'x')),
                                     chunk("PROP", cat({str("XYZ "), Bytes(10, 0)})), sndProp("DSD ", 3),
                                     chunk("DSD ", audio), chunk("DIIN", Bytes(8, 0))}));
    File f(path, "rb");
    tRiffStatus st = kRiffStatusUnknown;
    EXPECT_EQ(dff.checkHeader(f.fp, &st), 0);
    uint32_t rate = 0, bits = 0, ch = 0;
    uint16_t tag = 0;
    ASSERT_EQ(dff.searchFmtChunk(f.fp, &rate, &bits, &ch, &tag), 0);
    EXPECT_EQ(rate, 5644800u);
    EXPECT_EQ(ch, 3u);
    uint64_t off = 0, bytes = 0, a = 0;
    ASSERT_EQ(dff.searchData(f.fp, &off, &bytes, &a), 0);
    EXPECT_EQ(bytes, 77u);
    Bytes b = sxtest::readAll(path);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), b.begin() + static_cast<long>(off)));
    // The chunk behind odd-sized audio is found across the pad byte.
    uint64_t diin = 0;
    ASSERT_EQ(dff.searchChunk(f.fp, "DIIN", &diin), 0);
    EXPECT_EQ(diin, off + 78);
    EXPECT_EQ(dff.searchChunk(f.fp, "NONE", &diin), kAudioFileErrIO);
    EXPECT_EQ(dff.searchSpecifiedChunk(f.fp, "DIIN", &diin), kAudioFileErrIO);
    int64_t prop = 0;
    EXPECT_EQ(dff.searchPropChunk(f.fp, "SND ", &prop), 0);
    EXPECT_EQ(dff.searchPropChunk(f.fp, "ABCD", &prop), -1);
}

TEST_F(DsdiffFileTest, CompressedFileIsRefused) {
    const std::string path = dir.file("dst.dff");
    sxtest::writeAll(path, assemble({chunk("FVER", u32be(0x01050000)), sndProp("DST "), chunk("DST ", Bytes(64, 0))}));
    File f(path, "rb");
    uint32_t rate = 0, bits = 0, ch = 0;
    uint16_t tag = 0;
    EXPECT_EQ(dff.searchFmtChunk(f.fp, &rate, &bits, &ch, &tag), kAudioFileErrIO);
    uint64_t off = 0, bytes = 0, a = 0;
    EXPECT_EQ(dff.searchData(f.fp, &off, &bytes, &a), kAudioFileErrIO);
}

TEST_F(DsdiffFileTest, DivideIsNotOffered) {
    const std::string path = dir.file("d.dff");
    writeDff(path, param(2), pattern(800, 2));
    const Bytes before = sxtest::readAll(path);
    File f(path, "rb+"), g(dir.file("g.dff"), "wb+"), w(dir.file("w.bin"), "wb+");
    EXPECT_EQ(dff.divide(f.fp, g.fp, w.fp, 400), kAudioFileErrFormat);
    f.close();
    EXPECT_EQ(sxtest::readAll(path), before);
    EXPECT_EQ(dff.getReserveSize(), 5172u);
}

TEST_F(DsdiffFileTest, DeleteChunkMovesTheRestDown) {
    const std::string path = dir.file("del.dff");
    const Bytes audio = pattern(5001, 4);
    sxtest::writeAll(path, assemble({chunk("FVER", u32be(0x01050000)), chunk("COMT", Bytes(3, 'c')), sndProp("DSD "),
                                     chunk("DSD ", audio)}));
    File f(path, "rb+");
    ASSERT_EQ(dff.deleteChunk(f.fp, "COMT"), 0);
    EXPECT_EQ(dff.deleteChunk(f.fp, "COMT"), kAudioFileErrIO);
    ASSERT_EQ(dff.updateRiffSize(f.fp), 0);
    f.close();
    Bytes b = sxtest::readAll(path);
    EXPECT_EQ(b, assemble({chunk("FVER", u32be(0x01050000)), sndProp("DSD "), chunk("DSD ", audio)}));
}

TEST_F(DsdiffFileTest, CombineAppendsAudioAndStoresStart) {
    const std::string first = dir.file("1.dff"), second = dir.file("2.dff");
    const Bytes a1 = pattern(3000, 1), a2 = pattern(1001, 2);
    writeDff(first, param(2), a1);
    writeDff(second, param(2), a2);
    {
        // Something behind the first file's audio that the joined audio
        // overwrites only in part.
        File f(first, "rb+");
        ASSERT_EQ(dff.setStartSample(f.fp, 1234), kAudioFileBextAppended);
    }
    File f(first, "rb+"), s(second, "rb"), w(dir.file("w.bin"), "wb+");
    tBwfHdrParam p = param(2);
    p.timeReference = 5555;
    ASSERT_EQ(dff.combine(f.fp, s.fp, w.fp, &p, 0), 0);
    f.close();
    Bytes b = sxtest::readAll(first);
    EXPECT_EQ(be64(b, 32760), 4001u);
    EXPECT_TRUE(std::equal(a1.begin(), a1.end(), b.begin() + 32768));
    EXPECT_TRUE(std::equal(a2.begin(), a2.end(), b.begin() + 32768 + 3000));
    // The joined audio ends at an odd offset: pad byte, then a fresh bext.
    const auto cs = chunks(b);
    ASSERT_EQ(cs.size(), 5u);
    EXPECT_EQ(cs[3].id, "DSD ");
    EXPECT_EQ(cs[4].id, "bext");
    EXPECT_EQ(cs[4].offset, 32768u + 4002u);
    EXPECT_EQ(b.size(), cs[4].offset + 870);
    EXPECT_EQ(be64(b, 4), b.size() - 12);
    EXPECT_EQ(le64(b, cs[4].offset + 12 + 338), 5555u);
}

TEST_F(DsdiffFileTest, CombineRefusesAnotherFormat) {
    const std::string first = dir.file("1.dff"), mono = dir.file("m.dff"), fast = dir.file("f.dff");
    writeDff(first, param(2), pattern(100, 1));
    writeDff(mono, param(1), pattern(100, 2));
    writeDff(fast, param(2, 5644800), pattern(100, 3));
    const Bytes before = sxtest::readAll(first);
    for (const std::string &other : {mono, fast}) {
        File f(first, "rb+"), s(other, "rb"), w(dir.file("w.bin"), "wb+");
        tBwfHdrParam p = param(2);
        EXPECT_EQ(dff.combine(f.fp, s.fp, w.fp, &p, 0), kAudioFileErrFormat);
    }
    EXPECT_EQ(sxtest::readAll(first), before);
    // A zero channel count in the description divides nothing.
    const std::string same = dir.file("s.dff");
    writeDff(same, param(2), pattern(10, 4));
    File f(first, "rb+"), s(same, "rb"), w(dir.file("w.bin"), "wb+");
    tBwfHdrParam p = param(0);
    EXPECT_EQ(dff.combine(f.fp, s.fp, w.fp, &p, 0), 0);
}

TEST_F(DsdiffFileTest, CheckHeaderRejectsOtherFiles) {
    const std::string good = dir.file("good.dff");
    writeDff(good, param(2), pattern(64, 1));
    const Bytes g = sxtest::readAll(good);
    struct Case {
        const char *what;
        Bytes bytes;
    };
    Bytes wrongForm = g;
    std::memcpy(wrongForm.data(), "FORM", 4);
    Bytes wrongType = g;
    std::memcpy(wrongType.data() + 12, "DSF ", 4);
    Bytes noProp = g;
    std::memcpy(noProp.data() + 32, "XXXX", 4);
    const Case cases[] = {
        {"empty", {}},
        {"short", Bytes(g.begin(), g.begin() + 15)},
        {"form only", Bytes(g.begin(), g.begin() + 16)},
        {"wrong form", wrongForm},
        {"wrong type", wrongType},
        {"no PROP", noProp},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file("x.dff");
        sxtest::writeAll(path, c.bytes);
        File f(path, "rb");
        tRiffStatus st = kRiffStatusUnknown;
        EXPECT_EQ(dff.checkHeader(f.fp, &st), kAudioFileErrFormat);
        EXPECT_EQ(st, kRiffStatusRIFF);
    }
}

// Damaged files start from a good one; every row cuts or patches it. Each
// must fail cleanly (or read only what the file holds) without touching
// memory outside the buffers, which the sanitizers watch.
TEST_F(DsdiffFileTest, HostileFiles) {
    const std::string good = dir.file("good.dff");
    writeDff(good, param(2), pattern(256, 1));
    const Bytes g = sxtest::readAll(good);
    struct Case {
        const char *what;
        size_t cut;                                      // 0: keep all
        std::vector<std::pair<size_t, uint64_t>> sizes;  // be64 patches
        bool fmtOk, dataOk;
        int startStored;  // setStartSample: -41 appended, -1 refused
    };
    const Case cases[] = {
        {"cut inside FVER", 24, {}, false, false, -1},
        {"cut inside PROP", 70, {}, false, false, -1},
        {"cut inside JUNK", 4000, {}, true, false, -1},
        {"cut inside DSD header", 32760, {}, true, false, -1},
        {"huge FVER size", 0, {{20, 0xFFFFFFFFFFFFFFFFull}}, false, false, -1},
        {"FVER size past the end", 0, {{20, 40000}}, false, false, -1},
        {"huge PROP size", 0, {{36, 0x8000000000000000ull}}, false, false, -1},
        {"huge FS size", 0, {{52, 0xFFFFFFFFFFFFFFF0ull}}, false, true, -1},
        {"huge CHNL size", 0, {{68, 0x7FFFFFFFFFFFFFFFull}}, false, true, -1},
        {"CHNL beyond PROP", 0, {{68, 200}}, false, true, -1},
        {"huge CMPR size", 0, {{90, 0x20000000ull}}, false, true, -1},
        {"PROP too small for its parts", 0, {{36, 20}}, true, true, -41},
        {"huge JUNK size", 0, {{122, 0xFFFFFFFFFFFFFFFFull}}, true, false, -1},
        {"huge DSD size", 0, {{32760, 0xFFFFFFFFFFFFFFFFull}}, true, true, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = c.cut ? Bytes(g.begin(), g.begin() + static_cast<long>(c.cut)) : g;
        for (auto [at, v] : c.sizes) putBE64(b, at, v);
        const std::string path = dir.file("bad.dff");
        sxtest::writeAll(path, b);
        File f(path, "rb+");
        tRiffStatus st;
        (void)dff.checkHeader(f.fp, &st);
        uint32_t rate = 0, bits = 0, ch = 0;
        uint16_t tag = 0;
        EXPECT_EQ(dff.searchFmtChunk(f.fp, &rate, &bits, &ch, &tag) == 0, c.fmtOk);
        uint64_t off = 0, bytes = 0, a = 0;
        const int rc = dff.searchData(f.fp, &off, &bytes, &a);
        EXPECT_EQ(rc == 0, c.dataOk);
        if (rc == 0) {
            EXPECT_LE(off + bytes, b.size());
        }
        uint64_t start = 0;
        EXPECT_NE(dff.getStartSample(f.fp, &start), 0);
        (void)dff.searchBextChunk(f.fp, &start);
        // The mark loader reads what it can; deleting a chunk that is not
        // there changes nothing.
        EXPECT_EQ(dff.loadCueData(f.fp, 1024, 0), 0);
        int32_t marks = -1;
        EXPECT_EQ(gMarkList.getMarkCnt(0, &marks), 0);
        EXPECT_EQ(marks, 0);
        EXPECT_EQ(dff.deleteChunk(f.fp, "XXXX"), -1);
        f.close();
        EXPECT_EQ(sxtest::readAll(path), b);
        // A start time is stored where it can be read back, or not at all.
        File g(path, "rb+");
        const int stored = dff.setStartSample(g.fp, 1000);
        EXPECT_EQ(stored, c.startStored);
        if (stored == 0 || stored == kAudioFileBextAppended) {
            EXPECT_EQ(dff.getStartSample(g.fp, &start), 0);
            EXPECT_EQ(start, 1000u);
        }
    }
}

TEST(DsdiffHexHelpers, KnownAnswers) {
    const struct {
        int value;
        int digit;
    } toDigit[] = {{0, '0'}, {9, '9'}, {10, 'A'}, {15, 'F'}, {16, 0xFF}};
    for (const auto &r : toDigit) EXPECT_EQ(btoa(r.value), r.digit) << r.value;
    const struct {
        char digit;
        int value;
    } toValue[] = {{'0', 0}, {'?', 15}, {'A', 10}, {'F', 15}, {'a', 10}, {'f', 15}, {'/', -1}, {'G', -1}, {'g', -1}};
    for (const auto &r : toValue) EXPECT_EQ(atob(r.digit), r.value) << r.digit;
    char out[4];
    b16toa32(out, 0x1A2F);
    EXPECT_EQ(std::string(out, 4), "1A2F");
    EXPECT_EQ(a16tob32(0x1234), 0xFEFEFEFFu);

    Bytes buf(12 + 5);
    EXPECT_EQ(gClass_DsdiffFile::createDsdSoundChunk(buf.data(), 5), 17u);
    EXPECT_EQ(id(buf, 0), "DSD ");
    EXPECT_EQ(be64(buf, 4), 5u);
    EXPECT_EQ(buf[16], 0x96);
}

}  // namespace
