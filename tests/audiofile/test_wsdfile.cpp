// WSD handler in both builds, and the library's tag entries of the WAV and
// WSD handlers.
#include <gtest/gtest.h>

#include <cstring>

#include "audiofile/vfile.h"
#include "audiofile/wavfile.h"
#include "audiofile/wsdfile.h"
#include "dsdtestutil.h"
#include "tagrecord.h"

namespace {
// The conversion library's switches without its tag code.
constexpr tAudioFileBuild kLibrarySwitches{true};
}  // namespace

using namespace dsdtest;

namespace {

// A WSD file of total bytes with the given file size field.
Bytes wsdFile(size_t total, uint64_t sizeField, uint32_t rate = 2822400, uint8_t channels = 2) {
    Bytes b(total, 0);
    std::memcpy(b.data(), "1bit", 4);
    b[8] = 0x11;
    putBE32(b, 12, static_cast<uint32_t>(sizeField));
    putBE32(b, 16, static_cast<uint32_t>(sizeField >> 32));
    putBE32(b, 36, rate);
    b[44] = channels;
    return b;
}

// A tag record with texts a loader must overwrite, dates at 0 (so that a
// loader's "not set" shows) and track numbers a loader must leave alone.
struct TagRecord : sxtest::TagRecord {
    TagRecord() : sxtest::TagRecord(0x55) {
        info.trackNo = 7;
        info.totalTracks = 9;
    }
};

void putText(Bytes &b, size_t at, const std::string &s) { std::memcpy(b.data() + at, s.data(), s.size()); }

}  // namespace

TEST(WsdFile, ReadsTheHeaderFields) {
    sxtest::TempDir dir;
    Bytes b = wsdFile(4096, 4096);
    EXPECT_EQ(Bytes(b.begin() + 12, b.begin() + 20), (Bytes{0, 0, 0x10, 0, 0, 0, 0, 0}));
    putBE32(b, 72, 0x89ABCDEF);
    putBE32(b, 76, 0x00000012);
    const std::string path = dir.file("r.wsd");
    ASSERT_TRUE(sxtest::writeAll(path, b));

    for (bool library : {false, true}) {
        gClass_WsdFile wsd(tAudioFileBuild{library});
        File f(path, "rb");
        tRiffStatus st = kRiffStatusUnknown;
        EXPECT_EQ(wsd.checkHeader(f.fp, &st), 0);
        EXPECT_EQ(st, kRiffStatusRIFF);
        uint64_t off = 0, data = 0, audio = 0, start = 0;
        ASSERT_EQ(wsd.searchData(f.fp, &off, &data, &audio), 0);
        EXPECT_EQ(off, 2048u);
        EXPECT_EQ(data, 2048u);
        EXPECT_EQ(audio, 2048u);
        uint32_t rate = 0, bits = 0, channels = 0;
        uint16_t tag = 5;
        ASSERT_EQ(wsd.searchFmtChunk(f.fp, &rate, &bits, &channels, &tag), 0);
        EXPECT_EQ(rate, 2822400u);
        EXPECT_EQ(bits, 1u);
        EXPECT_EQ(channels, 2u);
        EXPECT_EQ(tag, 0);
        ASSERT_EQ(wsd.searchBextChunk(f.fp, &start), 0);
        EXPECT_EQ(start, 0x1289ABCDEFull);
        EXPECT_EQ(wsd.searchChunk(f.fp, "any ", &off), 0);
        EXPECT_EQ(off, 2048u);
        EXPECT_EQ(wsd.searchSpecifiedChunk(f.fp, "data", &off), -1);
        EXPECT_EQ(wsd.deleteChunk(f.fp, "data"), -1);
        EXPECT_EQ(wsd.divide(f.fp, f.fp, f.fp, 0), -1);
        EXPECT_EQ(wsd.combine(f.fp, f.fp, f.fp, nullptr, 0), -1);
        EXPECT_EQ(wsd.saveCueData(f.fp, 0, 0, 0), -1);
        EXPECT_EQ(wsd.saveCueDataNew(f.fp, 0, 0, 0), -1);
        EXPECT_EQ(wsd.loadCueData(f.fp, 0, 0), 0);
        EXPECT_EQ(wsd.getReserveSize(), 0u);
    }
}

TEST(WsdFile, SizeFieldIsUnsignedAndBoundByTheFile) {
    sxtest::TempDir dir;
    const uint64_t big = (1ull << 32) + (1ull << 31);  // 80 00 00 00 00 00 00 01
    Bytes b = wsdFile(4096, big);
    EXPECT_EQ(Bytes(b.begin() + 12, b.begin() + 20), (Bytes{0x80, 0, 0, 0, 0, 0, 0, 1}));
    const std::string path = dir.file("big.wsd");
    ASSERT_TRUE(sxtest::writeAll(path, b));
    gClass_WsdFile wsd;
    uint64_t off = 0, data = 0, audio = 0;
    {
        File f(path, "rb");
        ASSERT_EQ(wsd.searchData(f.fp, &off, &data, &audio), 0);
        EXPECT_EQ(audio, 2048u) << "cut to the file's length";
    }
    // A sparse file as long as the field says.
    {
        File f(path, "rb+");
        ASSERT_EQ(v_ftruncate(f.fp, static_cast<int64_t>(big)), 0);
        ASSERT_EQ(wsd.searchData(f.fp, &off, &data, &audio), 0);
        EXPECT_EQ(audio, big - 2048);
    }
}

TEST(WsdFile, RefusesOtherAndTruncatedFiles) {
    sxtest::TempDir dir;
    struct Case {
        const char *name;
        Bytes bytes;
        int check;
        int search;
    } cases[] = {
        {"upper-case 1BIT",
         [] {
             Bytes b = wsdFile(4096, 4096);
             std::memcpy(b.data(), "1BIT", 4);
             return b;
         }(),
         -17, 0},
        {"shorter than the header", wsdFile(1000, 1000), -17, -1},
        {"shorter than the fields read", wsdFile(60, 4096), -17, -1},
        {"size field below the header", wsdFile(4096, 1000), -17, -1},
        {"size field 0", wsdFile(4096, 0), -17, -1},
        {"empty", Bytes{}, -17, -1},
    };
    for (const Case &c : cases) {
        const std::string path = dir.file("x.wsd");
        ASSERT_TRUE(sxtest::writeAll(path, c.bytes));
        gClass_WsdFile wsd;
        File f(path, "rb");
        tRiffStatus st = kRiffStatusUnknown;
        EXPECT_EQ(wsd.checkHeader(f.fp, &st), c.check) << c.name;
        uint64_t off = 9, data = 9, audio = 9;
        EXPECT_EQ(wsd.searchData(f.fp, &off, &data, &audio), c.search) << c.name;
        if (c.search != 0) {
            EXPECT_EQ(audio, 0u) << c.name;
        }
    }
}

TEST(WsdFile, ProgramBuildKeepsItsHeaderInMemory) {
    sxtest::TempDir dir;
    const std::string path = dir.file("p.wsd");
    gClass_WsdFile wsd(kAudioFileProgramBuild);
    File f(path, "wb+");
    tBwfHdrParam p = param(1, 5644800);
    ASSERT_EQ(wsd.createHeader(f.fp, &p, 0), 0);
    ASSERT_EQ(wsd.updateDataSize(f.fp, 4096, 32768), 0);
    uint64_t start = 1;
    EXPECT_EQ(wsd.getStartSample(f.fp, &start), 0);
    EXPECT_EQ(start, 0u) << "nothing stored yet";
    ASSERT_EQ(wsd.setStartSample(f.fp, 123456789012ull), 0);
    ASSERT_EQ(wsd.getStartSample(f.fp, &start), 0);
    EXPECT_EQ(start, 123456789012ull);
    f.close();
    EXPECT_TRUE(sxtest::readAll(path).empty()) << "the program's build writes nothing";

    const uint8_t *h = wsd.memHeader();
    EXPECT_EQ(std::memcmp(h, "1bit\0\0\0\0", 8), 0);
    EXPECT_EQ(h[8], 0x11);
    EXPECT_EQ(h[23], 0x80);
    EXPECT_EQ(h[26], 8);
    uint32_t rate = 0;
    std::memcpy(&rate, h + 32, 4);
    EXPECT_EQ(rate, 5644800u);
    EXPECT_EQ(h[44], 1);
    EXPECT_EQ(h[48], 0x40);
}

TEST(WsdFile, LibraryBuildWritesHeaderSizeAndPlayTime) {
    sxtest::TempDir dir;
    const std::string path = dir.file("l.wsd");
    gClass_WsdFile wsd(kLibrarySwitches);
    File f(path, "wb+");
    tBwfHdrParam p = param(2, 2822400);
    ASSERT_EQ(wsd.createHeader(f.fp, &p, 1), 0);
    Bytes h = sxtest::readAll(path);
    ASSERT_EQ(h.size(), 2048u);
    Bytes want(2048, 0);
    std::memcpy(want.data(), "1bit", 4);
    want[8] = 0x11;
    want[23] = 0x80;
    want[26] = 8;
    putBE32(want, 36, 2822400);
    want[44] = 2;
    want[48] = 0x44;
    std::fill(want.begin() + 128, want.end(), 0x20);
    EXPECT_EQ(h, want);

    // 1 h 2 min 5 s of audio; the audio itself is not written here.
    const uint64_t samples = 2822400ull * 3725;
    const uint64_t bytes = samples / 8 * 2;
    ASSERT_EQ(wsd.updateDataSize(f.fp, bytes, samples), 0);
    f.close();
    h = sxtest::readAll(path);
    EXPECT_EQ(Bytes(h.begin() + 32, h.begin() + 36), (Bytes{0, 0x05, 0x02, 0x01}));
    const uint64_t size = bytes + 2048;  // 2,628,237,048: below 4 GiB
    EXPECT_EQ(be32(h, 12), static_cast<uint32_t>(size));
    EXPECT_EQ(be32(h, 16), 0u);
    EXPECT_EQ(be32(h, 36), 2822400u) << "the rest of the header stays";

    // A size past 4 GiB fills the high word; the library reads its start
    // from bytes 80..87 of the file.
    File g(path, "rb+");
    gClass_WsdFile lib(kLibrarySwitches);
    uint32_t rate = 0, bits = 0, ch = 0;
    uint16_t tag = 0;
    ASSERT_EQ(lib.searchFmtChunk(g.fp, &rate, &bits, &ch, &tag), 0);
    ASSERT_EQ(lib.updateDataSize(g.fp, 5ull << 30, 8ull * (5ull << 30) / 2), 0);
    uint64_t start = 42;
    ASSERT_EQ(lib.setStartSample(g.fp, 777), 0);
    ASSERT_EQ(lib.getStartSample(g.fp, &start), 0);
    EXPECT_EQ(start, 0u) << "the library's start is kept in memory, the file's bytes 80..87 are zero";
    g.close();
    h = sxtest::readAll(path);
    EXPECT_EQ(be32(h, 12), static_cast<uint32_t>((5ull << 30) + 2048));
    EXPECT_EQ(be32(h, 16), 1u);
    EXPECT_EQ(Bytes(h.begin() + 32, h.begin() + 36), (Bytes{0, 0x48, 0x06, 0x02}));  // 7608 s = 2 h 6 min 48 s
}

TEST(WsdFile, LibraryTagEntryReadsTheTextArea) {
    sxtest::TempDir dir;
    Bytes b = wsdFile(4096, 4096);
    Bytes area(1760, 0);
    putText(area, 0, std::string(128, 'T') + "tail");  // no zero inside the title's field
    putText(area, 384, "The Artist");
    putText(area, 512, "The Album");
    putText(area, 640, "Jazz");
    putText(area, 672, "20240305123456");
    putText(area, 736, "A comment");
    struct Case {
        const char *name;
        uint32_t word;
        size_t at;
    } cases[] = {
        {"word 0: at 128", 0, 128},
        {"word all ones: at 128", 0xFFFFFFFF, 128},
        {"word names the area", 2200, 2200},
    };
    for (const Case &c : cases) {
        Bytes f = b;
        f.resize(4096);
        putBE32(f, 20, c.word);
        std::copy(area.begin(), area.end(), f.begin() + c.at);
        const std::string path = dir.file("t.wsd");
        ASSERT_TRUE(sxtest::writeAll(path, f));
        TagRecord rec;
        File fp(path, "rb");
        ASSERT_EQ(wsd_loadTagData(fp.fp, &rec.info), 0) << c.name;
        EXPECT_EQ(sxtest::s16(rec.info.title), std::u16string(124, u'T')) << "cut to 124 units";
        EXPECT_EQ(sxtest::s16(rec.info.artist), u"The Artist");
        EXPECT_EQ(sxtest::s16(rec.info.album), u"The Album");
        EXPECT_EQ(sxtest::s16(rec.info.genre), u"Jazz");
        EXPECT_EQ(sxtest::s16(rec.info.comment), u"A comment");
        EXPECT_EQ(rec.info.year, 2024);
        EXPECT_EQ(rec.info.month, 3);
        EXPECT_EQ(rec.info.day, 5);
        EXPECT_EQ(rec.info.hour, 12);
        EXPECT_EQ(rec.info.minute, 34);
        EXPECT_EQ(rec.info.second, 56);
        EXPECT_EQ(rec.info.trackNo, 7) << "not touched";
        EXPECT_EQ(rec.info.totalTracks, 9);
    }

    // The library writes a blank (space-filled) text area: texts of spaces,
    // and a date that is no date.
    {
        const std::string path = dir.file("blank.wsd");
        {
            gClass_WsdFile wsd(kLibrarySwitches);
            File f(path, "wb+");
            tBwfHdrParam p = param(2, 2822400);
            ASSERT_EQ(wsd.createHeader(f.fp, &p, 0), 0);
        }
        TagRecord rec;
        File f(path, "rb");
        ASSERT_EQ(wsd_loadTagData(f.fp, &rec.info), 0);
        EXPECT_EQ(rec.info.year, -1);
        EXPECT_EQ(rec.info.month, 0);
        EXPECT_EQ(rec.info.hour, -1);
    }
    // A file too short for its text area.
    {
        const std::string path = dir.file("short.wsd");
        ASSERT_TRUE(sxtest::writeAll(path, wsdFile(1000, 1000)));
        TagRecord rec;
        File f(path, "rb");
        EXPECT_EQ(wsd_loadTagData(f.fp, &rec.info), -1);
    }
}

TEST(LibraryTagEntries, WavAndWsdRegisterNothing) {
    TagRecord rec;
    EXPECT_EQ(wsd_registerTagData(&rec.info), -17);
    EXPECT_EQ(wav_registerTagData(&rec.info), -17);
    sxtest::TempDir dir;
    ASSERT_TRUE(sxtest::writeAll(dir.file("a.wav"), Bytes(100, 0)));
    File f(dir.file("a.wav"), "rb");
    EXPECT_EQ(wav_loadTagData(f.fp, &rec.info), -17);
    // The entries have the slot signatures of the library's tables.
    int (*load)(FILE *, tID3tagInfo *) = &wsd_loadTagData;
    int (*reg)(const tID3tagInfo *) = &wav_registerTagData;
    EXPECT_NE(load, nullptr);
    EXPECT_NE(reg, nullptr);
}
