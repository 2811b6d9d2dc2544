#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "audiofile/wavfile.h"
#include "testutil.h"
#include "wavtestutil.h"

using namespace wavtest;

namespace {

const uint64_t k4G = 0x100000000ull;

struct Fixture {
    sxtest::TempDir dir;
    std::string path(const char *name) const { return dir.file(name); }
};

// Text against a shape in which 'd' stands for any decimal digit.
bool matches(const std::string &text, const std::string &shape) {
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (shape[i] == 'd' ? !(text[i] >= '0' && text[i] <= '9') : text[i] != shape[i]) return false;
    }
    return true;
}

// The "data" chunk's size and the RIFF size of a file's bytes.
uint32_t dataSizeField(const Bytes &b) { return le32(b, 32764); }

}  // namespace

TEST(WavCreateHeader, FourLayouts) {
    struct Row {
        bool rf64, bext;
        size_t fmt, junk;
        uint32_t junkSize;
    } rows[] = {
        {false, false, 12, 36, 32716},
        {false, true, 12, 902, 31850},
        {true, false, 48, 72, 32680},
        {true, true, 48, 938, 31814},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "rf64 " << r.rf64 << " bext " << r.bext);
        Fixture fx;
        gClass_WavFile wav;
        tBwfHdrParam p = param(2, 24, 96000, r.rf64);
        {
            File f(fx.path("a.wav"), "wb+");
            ASSERT_EQ(wav.createHeader(f.fp, &p, r.bext ? 1 : 0), 0);
        }
        Bytes b = sxtest::readAll(fx.path("a.wav"));
        ASSERT_EQ(b.size(), 32768u);
        EXPECT_EQ(id(b, 0), r.rf64 ? "RF64" : "RIFF");
        EXPECT_EQ(le32(b, 4), 32760u);
        EXPECT_EQ(id(b, 8), "WAVE");
        if (r.rf64) {
            EXPECT_EQ(id(b, 12), "ds64");
            EXPECT_EQ(le32(b, 16), 28u);
            for (size_t i = 20; i < 48; ++i) EXPECT_EQ(b[i], 0) << i;
        }
        EXPECT_EQ(id(b, r.fmt), "fmt ");
        EXPECT_EQ(le32(b, r.fmt + 4), 16u);
        EXPECT_EQ(le16(b, r.fmt + 8), 1);  // integer PCM
        EXPECT_EQ(le16(b, r.fmt + 10), 2);
        EXPECT_EQ(le32(b, r.fmt + 12), 96000u);
        EXPECT_EQ(le32(b, r.fmt + 16), 576000u);
        EXPECT_EQ(le16(b, r.fmt + 20), 6);
        EXPECT_EQ(le16(b, r.fmt + 22), 24);
        if (r.bext) {
            EXPECT_EQ(id(b, r.fmt + 24), "bext");
            EXPECT_EQ(le32(b, r.fmt + 28), 858u);
        }
        EXPECT_EQ(id(b, r.junk), "JUNK");
        EXPECT_EQ(le32(b, r.junk + 4), r.junkSize);
        EXPECT_EQ(r.junk + 8 + r.junkSize, 32760u);
        EXPECT_EQ(id(b, 32760), "data");
        EXPECT_EQ(dataSizeField(b), 0u);

        // The handler finds what it wrote.
        File f(fx.path("a.wav"), "rb+");
        tRiffStatus st = kRiffStatusUnknown;
        EXPECT_EQ(wav.checkHeader(f.fp, &st), 0);
        EXPECT_EQ(st, r.rf64 ? kRiffStatusRF64 : kRiffStatusRIFF);
        uint64_t off = 1, bytes = 1, audio = 1;
        EXPECT_EQ(wav.searchData(f.fp, &off, &bytes, &audio), 0);
        EXPECT_EQ(off, 32768u);
        EXPECT_EQ(bytes, 0u);
        EXPECT_EQ(audio, 0u);
    }
}

TEST(WavCreateHeader, FormatTagAndRejectedParameters) {
    struct Row {
        uint16_t ch, bits;
        uint32_t rate, integer32;
        int rc;
        uint16_t tag, blockAlign;
    } rows[] = {
        {2, 32, 48000, 0, 0, 3, 8},       {2, 32, 48000, 1, 0, 1, 8},
        {2, 24, 48000, 0, 0, 1, 6},       {1, 16, 44100, 0, 0, 1, 2},
        {2, 64, 48000, 0, 0, 3, 16},      {0, 16, 44100, 0, -17, 0, 0},
        {2, 0, 44100, 0, -17, 0, 0},      {2, 16, 0, 0, -17, 0, 0},
        {65535, 64, 48000, 0, -17, 0, 0},  // block align beyond 16 bits
    };
    for (const Row &r : rows) {
        Fixture fx;
        gClass_WavFile wav;
        tBwfHdrParam p = param(r.ch, r.bits, r.rate, false, r.integer32);
        File f(fx.path("a.wav"), "wb+");
        EXPECT_EQ(wav.createHeader(f.fp, &p, 0), r.rc) << r.ch << "/" << r.bits << "/" << r.rate;
        f.close();
        if (r.rc != 0) {
            EXPECT_EQ(std::filesystem::file_size(fx.path("a.wav")), 0u);
            continue;
        }
        Bytes b = sxtest::readAll(fx.path("a.wav"));
        EXPECT_EQ(le16(b, 20), r.tag) << r.bits << " int " << r.integer32;
        EXPECT_EQ(le16(b, 32), r.blockAlign);
        EXPECT_EQ(le32(b, 28), r.blockAlign * r.rate);
    }
}

TEST(WavBext, ContentAndCodingHistory) {
    struct Row {
        uint16_t ch, bits;
        uint32_t rate;
        uint16_t stereo;
        const char *history;
    } rows[] = {
        {2, 24, 96000, 1, "A=PCM,F=96000,W=24,M=stereo\r\n"},
        {2, 24, 96000, 0, "A=PCM,F=96000,W=24,M=2-channel\r\n"},
        {1, 16, 44100, 0, "A=PCM,F=44100,W=16,M=mono\r\n"},
        {6, 32, 192000, 1, "A=PCM,F=192000,W=32,M=6-channel\r\n"},
    };
    for (const Row &r : rows) {
        Fixture fx;
        gClass_WavFile wav;
        tBwfHdrParam p = param(r.ch, r.bits, r.rate);
        p.stereo = r.stereo;
        p.timeReference = 0x0123456789ull;
        {
            File f(fx.path("a.wav"), "wb+");
            ASSERT_EQ(wav.createHeader(f.fp, &p, 1), 0);
        }
        Bytes b = sxtest::readAll(fx.path("a.wav"));
        const size_t c = 36;  // bext chunk start
        ASSERT_EQ(id(b, c), "bext");
        for (size_t i = c + 8; i < c + 264; ++i) ASSERT_EQ(b[i], 0);  // description
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[c + 264])), "KAVELO Sonvex Editor");
        std::string date(reinterpret_cast<const char *>(&b[c + 328]), 10);
        std::string time(reinterpret_cast<const char *>(&b[c + 338]), 8);
        EXPECT_TRUE(matches(date, "dddd-dd-dd")) << date;
        EXPECT_TRUE(matches(time, "dd:dd:dd")) << time;
        EXPECT_EQ(le32(b, c + 346), 0x23456789u);  // low half first
        EXPECT_EQ(le32(b, c + 350), 0x01u);
        for (size_t i = c + 354; i < c + 610; ++i) ASSERT_EQ(b[i], 0);
        std::string history(reinterpret_cast<const char *>(&b[c + 610]));
        EXPECT_EQ(history, r.history);
        for (size_t i = c + 610 + history.size(); i < c + 866; ++i) ASSERT_EQ(b[i], 0);

        File f(fx.path("a.wav"), "rb");
        uint64_t start = 0;
        EXPECT_EQ(wav.searchBextChunk(f.fp, &start), 0);
        EXPECT_EQ(start, 0x0123456789ull);
        start = 0;
        EXPECT_EQ(wav.getStartSample(f.fp, &start), 0);
        EXPECT_EQ(start, 0x0123456789ull);
    }
}

TEST(WavUpdateDataSize, RiffSizes) {
    Fixture fx;
    Bytes audio = pattern(100000, 3);
    writeWav(fx.path("a.wav"), param(2, 16, 44100), 0, audio);
    Bytes b = sxtest::readAll(fx.path("a.wav"));
    EXPECT_EQ(dataSizeField(b), 100000u);
    EXPECT_EQ(le32(b, 4), 132760u);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), b.begin() + 32768));
}

TEST(WavUpdateDataSize, FourGiBOnARiffHeaderFails) {
    Fixture fx;
    gClass_WavFile wav;
    tBwfHdrParam p = param(2, 16, 44100);
    File f(fx.path("a.wav"), "wb+");
    ASSERT_EQ(wav.createHeader(f.fp, &p, 0), 0);
    EXPECT_EQ(wav.updateDataSize(f.fp, k4G, k4G / 4), -1);
    f.close();
    Bytes b = sxtest::readAll(fx.path("a.wav"));
    EXPECT_EQ(dataSizeField(b), 0xFFFFFFFFu);
}

TEST(WavUpdateDataSize, Rf64RecordsSizesInDs64AtAnySize) {
    // A small RF64 file (a job that ended early) is still finalised.
    Fixture fx;
    Bytes audio = pattern(6000, 9);
    writeWav(fx.path("a.wav"), param(2, 24, 48000, true), 1, audio);
    Bytes b = sxtest::readAll(fx.path("a.wav"));
    EXPECT_EQ(le64(b, 20), 32768u + 6000 - 8);  // ds64 RIFF size
    EXPECT_EQ(le64(b, 28), 6000u);              // ds64 data size
    EXPECT_EQ(le32(b, 4), 32768u + 6000 - 8);
    EXPECT_EQ(dataSizeField(b), 6000u);
}

TEST(WavUpdateDataSize, MissingDataChunkPrintsItsMessage) {
    Fixture fx;
    Bytes b = {'R', 'I', 'F', 'F', 28, 0, 0,    0,    'W', 'A', 'V',  'E',  'f', 'm', 't', ' ', 16, 0,
               0,   0,   1,   0,   1,  0, 0x44, 0xAC, 0,   0,   0x88, 0x58, 1,   0,   2,   0,   16, 0};
    sxtest::writeAll(fx.path("a.wav"), b);
    gClass_WavFile wav;
    File f(fx.path("a.wav"), "rb+");
    testing::internal::CaptureStdout();
    EXPECT_EQ(wav.updateDataSize(f.fp, 10, 5), -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("searchSpecifiedChunk Error "), std::string::npos);
}

TEST(WavUpdateWavFileSize, KindMustMatchAndHowApplies) {
    Fixture fx;
    writeWav(fx.path("a.wav"), param(1, 16, 44100), 0, pattern(1000, 1));
    gClass_WavFile prog(kAudioFileProgramBuild), lib(kLibrarySwitches);
    File f(fx.path("a.wav"), "rb+");
    auto riff = [&] {
        std::fflush(f.fp);
        return le32(sxtest::readAll(fx.path("a.wav")), 4);
    };
    ASSERT_EQ(riff(), 33760u);
    EXPECT_EQ(prog.updateWavFileSize(f.fp, 100, kWavSizeAdd), 0);
    EXPECT_EQ(riff(), 33860u);
    EXPECT_EQ(prog.updateWavFileSize(f.fp, 60, kWavSizeSubtract), 0);
    EXPECT_EQ(riff(), 33800u);
    EXPECT_EQ(lib.updateWavFileSize(f.fp, 500, kWavSizeAdd), 0);  // the library's build always sets
    EXPECT_EQ(riff(), 500u);
    EXPECT_EQ(prog.updateWavFileSize(f.fp, k4G, kWavSizeSet), -1);  // RIFF cannot hold it
    EXPECT_EQ(riff(), 500u);
}

TEST(WavStartSample, DayWrapAndStorage) {
    struct Row {
        uint32_t rate;
        uint64_t start, stored;
    } rows[] = {
        {48000, 5000000000ull, 852800000ull},
        {96000, 9000000000ull, 705600000ull},
        {48000, 4147199999ull, 4147199999ull},  // one sample short of a day
        {44100, 0, 0},
    };
    for (const Row &r : rows) {
        Fixture fx;
        writeWav(fx.path("a.wav"), param(2, 16, r.rate), 1, pattern(4000, 2));
        const uint64_t before = std::filesystem::file_size(fx.path("a.wav"));
        gClass_WavFile wav;
        File f(fx.path("a.wav"), "rb+");
        EXPECT_EQ(wav.setStartSample(f.fp, r.start), 0) << r.start;
        uint64_t got = 0;
        EXPECT_EQ(wav.getStartSample(f.fp, &got), 0);
        EXPECT_EQ(got, r.stored) << r.start;
        f.close();
        EXPECT_EQ(std::filesystem::file_size(fx.path("a.wav")), before);  // stored in place
    }
}

TEST(WavStartSample, AppendsBextWithPadAfterOddAudio) {
    struct Row {
        uint16_t ch, bits;
        size_t audio;
        size_t pad;
    } rows[] = {{2, 16, 4000, 0}, {1, 8, 4001, 1}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.audio);
        Fixture fx;
        writeWav(fx.path("a.wav"), param(r.ch, r.bits, 48000), 0, pattern(r.audio, 5));
        gClass_WavFile wav;
        File f(fx.path("a.wav"), "rb+");
        EXPECT_EQ(wav.setStartSample(f.fp, 5000000000ull), -41);
        f.close();
        Bytes b = sxtest::readAll(fx.path("a.wav"));
        const size_t end = 32768 + r.audio;
        ASSERT_EQ(b.size(), end + r.pad + 866);
        if (r.pad) {
            EXPECT_EQ(b[end], 0);
        }
        EXPECT_EQ(id(b, end + r.pad), "bext");
        EXPECT_EQ(le32(b, 4), b.size() - 8);
        EXPECT_EQ(dataSizeField(b), r.audio);  // the data size itself stays odd
        std::string history(reinterpret_cast<const char *>(&b[end + r.pad + 610]));
        EXPECT_EQ(history, r.ch == 1 ? "A=PCM,F=48000,W=8,M=mono\r\n" : "A=PCM,F=48000,W=16,M=2-channel\r\n");

        File g(fx.path("a.wav"), "rb+");
        uint64_t got = 0;
        EXPECT_EQ(wav.getStartSample(g.fp, &got), 0);
        EXPECT_EQ(got, 852800000ull);
        // Now there is a bext chunk: the next start is stored in place.
        EXPECT_EQ(wav.setStartSample(g.fp, 12345), 0);
        EXPECT_EQ(wav.searchBextChunk(g.fp, &got), 0);
        EXPECT_EQ(got, 12345u);
        g.close();
        EXPECT_EQ(sxtest::readAll(fx.path("a.wav")).size(), b.size());
    }
}

TEST(WavDivide, SplitsInPlaceAndAtTheEnds) {
    struct Row {
        uint64_t pos;
        int rc;
    } rows[] = {{400, 0}, {0, 0}, {1000, 0}, {1002, -17}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.pos);
        Fixture fx;
        Bytes audio = pattern(1000, 7);
        writeWav(fx.path("a.wav"), param(2, 16, 44100), 1, audio);
        Bytes original = sxtest::readAll(fx.path("a.wav"));
        gClass_WavFile wav;
        {
            File a(fx.path("a.wav"), "rb+"), b(fx.path("b.wav"), "wb+"), w(fx.path("w.bin"), "wb+");
            EXPECT_EQ(wav.divide(a.fp, b.fp, w.fp, r.pos), r.rc);
        }
        Bytes first = sxtest::readAll(fx.path("a.wav"));
        if (r.rc != 0) {
            EXPECT_EQ(first, original);
            continue;
        }
        Bytes second = sxtest::readAll(fx.path("b.wav"));
        // The first file keeps all its bytes; its header covers the first part.
        ASSERT_EQ(first.size(), original.size());
        EXPECT_EQ(dataSizeField(first), r.pos);
        EXPECT_EQ(le32(first, 4), 32768 + r.pos - 8);
        ASSERT_EQ(second.size(), 32768 + 1000 - r.pos);
        EXPECT_EQ(dataSizeField(second), 1000 - r.pos);
        EXPECT_EQ(le32(second, 4), second.size() - 8);
        EXPECT_TRUE(std::equal(second.begin() + 8, second.begin() + 32760, original.begin() + 8));  // header copied
        EXPECT_TRUE(std::equal(audio.begin() + r.pos, audio.end(), second.begin() + 32768));
    }
}

TEST(WavDivide, Rf64PartsThatNoLongerNeedItAreRebuiltAsRiff) {
    Fixture fx;
    Bytes audio = pattern(3000, 11);
    writeWav(fx.path("a.wav"), param(2, 24, 48000, true), 1, audio);
    gClass_WavFile wav;
    {
        File a(fx.path("a.wav"), "rb+"), b(fx.path("b.wav"), "wb+"), w(fx.path("w.bin"), "wb+");
        // Both parts go through the same work file one after the other.
        EXPECT_EQ(wav.divide(a.fp, b.fp, w.fp, 1200), 0);
    }
    struct Part {
        const char *name;
        size_t from, bytes;
    } parts[] = {{"a.wav", 0, 1200}, {"b.wav", 1200, 1800}};
    for (const Part &p : parts) {
        SCOPED_TRACE(p.name);
        Bytes b = sxtest::readAll(fx.path(p.name));
        ASSERT_EQ(b.size(), 32768 + p.bytes);
        EXPECT_EQ(id(b, 0), "RIFF");
        EXPECT_EQ(id(b, 12), "fmt ");
        EXPECT_EQ(id(b, 36), "JUNK");  // the program's rebuild writes no bext
        EXPECT_EQ(le32(b, 4), b.size() - 8);
        EXPECT_EQ(dataSizeField(b), p.bytes);
        EXPECT_EQ(le16(b, 22), 2);
        EXPECT_EQ(le16(b, 34), 24);
        EXPECT_TRUE(std::equal(audio.begin() + p.from, audio.begin() + p.from + p.bytes, b.begin() + 32768));
    }
}

TEST(WavCombine, JoinsAudioAndStoresTheStartTime) {
    struct Row {
        uint16_t ch, bits;
        uint32_t bext;
        size_t s1, s2;
        bool appendedBextBefore;  // the first file already carries a bext behind its audio
    } rows[] = {
        {2, 16, 1, 1000, 600, false},
        {2, 16, 0, 1000, 600, false},
        {1, 8, 0, 1001, 600, false},  // odd joined audio: the appended bext needs a pad
        {2, 16, 0, 1000, 8, true},    // second part shorter than what followed the first audio
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.bits << " bit, bext " << r.bext << ", " << r.s1 << "+" << r.s2);
        Fixture fx;
        Bytes a1 = pattern(r.s1, 1), a2 = pattern(r.s2, 2);
        writeWav(fx.path("a.wav"), param(r.ch, r.bits, 48000), r.bext, a1);
        writeWav(fx.path("b.wav"), param(r.ch, r.bits, 48000), 0, a2);
        gClass_WavFile wav;
        if (r.appendedBextBefore) {
            File a(fx.path("a.wav"), "rb+");
            ASSERT_EQ(wav.setStartSample(a.fp, 77), -41);
        }
        tBwfHdrParam p = param(r.ch, r.bits, 48000);
        p.timeReference = 4800000;
        {
            File a(fx.path("a.wav"), "rb+"), b(fx.path("b.wav"), "rb"), w(fx.path("w.bin"), "wb+");
            EXPECT_EQ(wav.combine(a.fp, b.fp, w.fp, &p, 0), 0);
        }
        Bytes b = sxtest::readAll(fx.path("a.wav"));
        const size_t total = r.s1 + r.s2;
        EXPECT_EQ(dataSizeField(b), total);
        EXPECT_EQ(le32(b, 4), b.size() - 8);
        EXPECT_TRUE(std::equal(a1.begin(), a1.end(), b.begin() + 32768));
        EXPECT_TRUE(std::equal(a2.begin(), a2.end(), b.begin() + 32768 + r.s1));
        const size_t tail = r.bext ? 0 : (total & 1) + 866;
        EXPECT_EQ(b.size(), 32768 + total + tail);

        File f(fx.path("a.wav"), "rb");
        uint64_t start = 0;
        EXPECT_EQ(wav.getStartSample(f.fp, &start), 0);
        EXPECT_EQ(start, 4800000u);
    }
}

TEST(WavCombine, DifferentFormatsAreRefused) {
    Fixture fx;
    writeWav(fx.path("a.wav"), param(2, 16, 48000), 0, pattern(1000, 1));
    writeWav(fx.path("b.wav"), param(2, 24, 48000), 0, pattern(600, 2));
    Bytes before = sxtest::readAll(fx.path("a.wav"));
    gClass_WavFile wav;
    tBwfHdrParam p = param(2, 16, 48000);
    {
        File a(fx.path("a.wav"), "rb+"), b(fx.path("b.wav"), "rb"), w(fx.path("w.bin"), "wb+");
        EXPECT_EQ(wav.combine(a.fp, b.fp, w.fp, &p, 0), -17);
    }
    EXPECT_EQ(sxtest::readAll(fx.path("a.wav")), before);
}

TEST(WavRemake, InPlaceWhenKindFitsElseRebuilt) {
    Fixture fx;
    Bytes audio = pattern(2000, 4);
    writeWav(fx.path("a.wav"), param(2, 16, 44100), 1, audio);
    gClass_WavFile wav;
    {  // the kind fits: only the two sizes change, the bext stays
        File a(fx.path("a.wav"), "rb+"), w(fx.path("w.bin"), "wb+");
        EXPECT_EQ(wav.writeHeaderSize(a.fp, w.fp, 32768 + 1000 - 8, 1000), 0);
    }
    Bytes b = sxtest::readAll(fx.path("a.wav"));
    EXPECT_EQ(b.size(), 32768u + 2000);
    EXPECT_EQ(dataSizeField(b), 1000u);
    EXPECT_EQ(id(b, 36), "bext");

    // An RF64 header for a small file: rebuilt as RIFF, keeping format and
    // audio. The program's rebuild drops the bext; the library's writes a
    // fresh one.
    for (bool library : {false, true}) {
        SCOPED_TRACE(library);
        const tAudioFileBuild build{library};
        writeWav(fx.path("r.wav"), param(2, 32, 96000, true, 0), 1, audio);
        gClass_WavFile h(build);
        {
            File a(fx.path("r.wav"), "rb+"), w(fx.path("w.bin"), "wb+");
            EXPECT_EQ(h.remakeRiffStructure(a.fp, w.fp, 32768 + 1500 - 8, 1500), 0);
        }
        Bytes r = sxtest::readAll(fx.path("r.wav"));
        ASSERT_EQ(r.size(), 32768u + 1500);
        EXPECT_EQ(id(r, 0), "RIFF");
        EXPECT_EQ(le32(r, 4), r.size() - 8);
        EXPECT_EQ(le16(r, 20), 3);  // float stays float
        EXPECT_EQ(le32(r, 24), 96000u);
        EXPECT_EQ(id(r, 36), library ? "bext" : "JUNK");
        EXPECT_EQ(dataSizeField(r), 1500u);
        EXPECT_TRUE(std::equal(audio.begin(), audio.begin() + 1500, r.begin() + 32768));
    }
}

TEST(WavLibraryBuild, AlwaysWritesBextAndHasNoTags) {
    Fixture fx;
    writeWav(fx.path("a.wav"), param(1, 16, 44100), 0, pattern(100, 1), kLibrarySwitches);
    Bytes b = sxtest::readAll(fx.path("a.wav"));
    EXPECT_EQ(id(b, 36), "bext");
    EXPECT_EQ(id(b, 902), "JUNK");
    gClass_WavFile lib(kLibrarySwitches);
    EXPECT_EQ(wav_loadTagData(nullptr, nullptr), -17);
    EXPECT_EQ(wav_registerTagData(nullptr), -17);
    EXPECT_EQ(lib.getReserveSize(), 5172u);
}

TEST(WavChunks, DeleteAndRename) {
    Fixture fx;
    Bytes audio = pattern(1000, 8);
    writeWav(fx.path("a.wav"), param(2, 16, 44100), 1, audio);
    gClass_WavFile wav;
    {
        File f(fx.path("a.wav"), "rb+");
        EXPECT_EQ(wav.deleteChunk(f.fp, "bext"), 0);
        EXPECT_EQ(wav.deleteChunk(f.fp, "bext"), -1);  // gone
        uint64_t off = 0, bytes = 0, a = 0;
        EXPECT_EQ(wav.searchData(f.fp, &off, &bytes, &a), 0);
        EXPECT_EQ(off, 32768u - 866);
        EXPECT_EQ(bytes, 1000u);
        EXPECT_EQ(wav.renameChunkAll(f.fp, "JUNK", "DMYD"), 0);
        EXPECT_EQ(wav.renameChunk(f.fp, "JUNK", "DMYD"), 0);  // none left: still 0
    }
    Bytes b = sxtest::readAll(fx.path("a.wav"));
    ASSERT_EQ(b.size(), 32768u - 866 + 1000);
    EXPECT_EQ(id(b, 36), "DMYD");
    EXPECT_EQ(le32(b, 4), 32768u + 1000 - 8);  // the RIFF size is left alone
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), b.begin() + 32768 - 866));
}

TEST(WavCheckHeader, ShortOrForeignFilesAreNotWav) {
    struct Row {
        const char *what;
        Bytes bytes;
    } rows[] = {
        {"empty", {}},
        {"magic only", {'R', 'I', 'F', 'F'}},
        {"no fmt", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}},
        {"RIFX", {'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 0, 0, 0, 0}},
        {"AVI", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' ', 'f', 'm', 't', ' ', 0, 0, 0, 0}},
    };
    for (const Row &r : rows) {
        Fixture fx;
        sxtest::writeAll(fx.path("x"), r.bytes);
        gClass_WavFile wav;
        File f(fx.path("x"), "rb");
        tRiffStatus st = kRiffStatusRF64;
        EXPECT_EQ(wav.checkHeader(f.fp, &st), -17) << r.what;
        EXPECT_EQ(st, kRiffStatusUnknown) << r.what;
    }
}

// Damaged files start from a good one; each row cuts or patches it. Every
// operation must return a code and never touch memory it does not own (the
// tests run under the sanitizers).
TEST(WavDamaged, CutAndPatchedHeadersAreRefused) {
    Fixture fx;
    Bytes audio = pattern(1000, 6);
    writeWav(fx.path("good.wav"), param(2, 16, 44100), 1, audio);
    const Bytes good = sxtest::readAll(fx.path("good.wav"));

    struct Row {
        std::string what;
        Bytes bytes;
        int check;      // checkHeader
        int fmt;        // searchFmtChunk
        int data;       // searchData
        uint64_t size;  // data bytes when found
        int bext;       // getStartSample
    };
    std::vector<Row> rows;
    // Cut at every chunk boundary and inside the headers.
    for (size_t cut : {0, 4, 8, 11, 12, 16, 20, 35, 36, 40, 44, 901, 902, 906, 910, 32760, 32764, 32767}) {
        Bytes b(good.begin(), good.begin() + cut);
        int check = cut >= 36 ? 0 : -17;
        rows.push_back({"cut at " + std::to_string(cut), b, check, check == 0 ? 0 : -1, -1, 0, cut >= 902 ? 0 : -1});
    }
    {
        Bytes b(good.begin(), good.begin() + 32768 + 300);  // audio cut short
        rows.push_back({"audio cut", b, 0, 0, 0, 300, 0});
    }
    auto patched = [&](const char *what, size_t at, uint32_t v, int check, int fmt, int data, uint64_t size, int bext) {
        Bytes b = good;
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
        rows.push_back({what, b, check, fmt, data, size, bext});
    };
    patched("fmt size huge", 16, 0xFFFFFFF0u, -17, -1, -1, 0, -1);
    patched("fmt size 8", 16, 8, 0, -1, -1, 0, -1);  // the walk then lands inside the fmt payload
    patched("bext size huge", 40, 0x7FFFFFFFu, 0, 0, -1, 0, -1);
    patched("bext size 100", 40, 100, 0, 0, -1, 0, -1);
    patched("JUNK size huge", 906, 0x10000000u, 0, 0, -1, 0, 0);
    patched("JUNK size 0", 906, 0, 0, 0, -1, 0, 0);
    patched("data size huge", 32764, 0x7FFFFFFFu, 0, 0, 0, 1000, 0);
    patched("data marker, no ds64", 32764, 0xFFFFFFFFu, 0, 0, -1, 0, 0);

    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        sxtest::writeAll(fx.path("bad.wav"), r.bytes);
        gClass_WavFile wav;
        File f(fx.path("bad.wav"), "rb+");
        ASSERT_NE(f.fp, nullptr);
        // The walker's diagnostics would hide the failure messages: capture
        // them while the handler runs and compare afterwards.
        testing::internal::CaptureStdout();
        tRiffStatus st;
        int check = wav.checkHeader(f.fp, &st);
        uint32_t rate = 0, bits = 0, ch = 0;
        uint16_t tag = 0;
        int fmt = wav.searchFmtChunk(f.fp, &rate, &bits, &ch, &tag);
        uint64_t off = 0, bytes = 99, a = 0;
        int data = wav.searchData(f.fp, &off, &bytes, &a);
        uint64_t start = 0;
        int bext = wav.getStartSample(f.fp, &start);
        (void)wav.searchBextChunk(f.fp, &start);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(check, r.check);
        EXPECT_EQ(fmt, r.fmt);
        EXPECT_EQ(data, r.data);
        EXPECT_EQ(bytes, r.size);
        EXPECT_EQ(bext, r.bext);
    }

    // Writers on the damaged files, each on a fresh copy: they fail, or do
    // their bounded work and leave a file that says what they did. The audio
    // found before is never touched (deleting a chunk in front of it moves
    // it down whole).
    const std::string bad = fx.path("bad.wav");
    // The walker's diagnostics are kept out of the log.
    auto quiet = [](const std::function<int()> &f) {
        testing::internal::CaptureStdout();
        const int rc = f();
        testing::internal::GetCapturedStdout();
        return rc;
    };
    auto audioOf = [&](FILE *fp, uint64_t *n) {
        gClass_WavFile w;
        uint64_t off = 0, a = 0;
        *n = 0;
        const int rc = quiet([&] { return w.searchData(fp, &off, n, &a); });
        if (rc != 0) return Bytes();
        std::fflush(fp);
        Bytes all = sxtest::readAll(bad);
        return Bytes(all.begin() + long(off), all.begin() + long(std::min<uint64_t>(off + *n, all.size())));
    };
    struct Writers {
        int start, size, divide, remove;  // setStartSample, updateDataSize, divide, deleteChunk("JUNK")
    };
    const Writers want[] = {
        // A cut or damaged header: no start time unless a whole bext chunk
        // is there or one can follow whole chunks; the audio's size only
        // where the data chunk is found.
        {-1, -1, -1, -1},   // cut at 0
        {-1, -1, -1, -1},   // cut at 4
        {-1, -1, -1, -1},   // cut at 8
        {-1, -1, -1, -1},   // cut at 11
        {-1, -1, -1, -1},   // cut at 12
        {-1, -1, -1, -1},   // cut at 16
        {-1, -1, -1, -1},   // cut at 20
        {-1, -1, -1, -1},   // cut at 35
        {-41, -1, -1, -1},  // cut at 36: the chunks end whole, a bext chunk can follow
        {-1, -1, -1, -1},   // cut at 40
        {-1, -1, -1, -1},   // cut at 44
        {-1, -1, -1, -1},   // cut at 901
        {0, -1, -1, -1},    // cut at 902
        {0, -1, -1, -1},    // cut at 906
        {0, -1, -1, -1},    // cut at 910
        {0, -1, -1, 0},     // cut at 32760
        {0, -1, -1, 0},     // cut at 32764
        {0, -1, -1, 0},     // cut at 32767
        {0, 0, -17, 0},     // audio cut
        {-1, -1, -1, -1},   // fmt size huge
        {-1, -1, -1, -1},   // fmt size 8
        {-1, -1, -1, -1},   // bext size huge
        {-1, -1, -1, -1},   // bext size 100
        {0, -1, -1, -1},    // JUNK size huge
        {0, -1, -1, 0},     // JUNK size 0
        {0, 0, 0, 0},       // data size huge
        {0, 0, -1, 0},      // data marker, no ds64
    };
    ASSERT_EQ(sizeof want / sizeof want[0], rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row &r = rows[i];
        SCOPED_TRACE(r.what);
        gClass_WavFile wav;
        sxtest::writeAll(bad, r.bytes);
        {
            File f(bad, "rb+");
            uint64_t n = 0;
            const Bytes before = audioOf(f.fp, &n);
            const int rc = quiet([&] { return wav.setStartSample(f.fp, 1000); });
            EXPECT_EQ(rc, want[i].start);
            if (rc == 0 || rc == kAudioFileBextAppended) {
                uint64_t start = 0;
                EXPECT_EQ(quiet([&] { return wav.getStartSample(f.fp, &start); }), 0);
                EXPECT_EQ(start, 1000u);
            }
            EXPECT_EQ(audioOf(f.fp, &n), before);
        }
        sxtest::writeAll(bad, r.bytes);
        {
            File f(bad, "rb+");
            uint64_t n = 0;
            const Bytes before = audioOf(f.fp, &n);
            const int rc = quiet([&] { return wav.updateDataSize(f.fp, 1000, 250); });
            EXPECT_EQ(rc, want[i].size);
            if (rc == 0) {
                std::fflush(f.fp);
                const Bytes b = sxtest::readAll(bad);
                EXPECT_EQ(le32(b, 4), b.size() - 8);
                EXPECT_EQ(dataSizeField(b), 1000u);
                // The audio is still what it was, as far as the file holds
                // it (where it could be found before).
                const Bytes after = audioOf(f.fp, &n);
                if (!before.empty()) {
                    ASSERT_LE(after.size(), before.size());
                    EXPECT_TRUE(Bytes(before.begin(), before.begin() + long(after.size())) == after);
                }
            } else {
                EXPECT_EQ(audioOf(f.fp, &n), before);
            }
        }
        sxtest::writeAll(bad, r.bytes);
        {
            File f(bad, "rb+"), s(fx.path("s.wav"), "wb+"), w(fx.path("w.bin"), "wb+");
            uint64_t n = 0;
            const Bytes before = audioOf(f.fp, &n);
            const int rc = quiet([&] { return wav.divide(f.fp, s.fp, w.fp, 500); });
            EXPECT_EQ(rc, want[i].divide);
            if (rc == 0) {
                // The two parts hold the audio between them.
                std::fflush(s.fp);
                const Bytes second = sxtest::readAll(fx.path("s.wav"));
                Bytes joined = audioOf(f.fp, &n);
                ASSERT_EQ(joined.size(), 500u);
                const Bytes tail(second.begin() + 32768, second.end());
                joined.insert(joined.end(), tail.begin(), tail.end());
                EXPECT_EQ(joined, before);
            }
        }
        sxtest::writeAll(bad, r.bytes);
        {
            File f(bad, "rb+");
            uint64_t n = 0;
            const Bytes before = audioOf(f.fp, &n);
            const int rc = quiet([&] { return wav.deleteChunk(f.fp, "JUNK"); });
            EXPECT_EQ(rc, want[i].remove);
            if (rc == 0) {
                std::fflush(f.fp);
                EXPECT_LT(sxtest::readAll(bad).size(), r.bytes.size());
            }
            EXPECT_EQ(audioOf(f.fp, &n), before);
        }
    }
}

// The mended walk: a chunk behind more than 4 GiB of RF64 audio is found.
TEST(WavRf64, BextBehindMoreThanFourGiBOfAudioIsFound) {
    Fixture fx;
    gClass_WavFile wav;
    tBwfHdrParam p = param(2, 16, 48000, true);
    const uint64_t bytes = k4G + 4000;  // a sparse file: no disk space needed
    {
        File f(fx.path("big.wav"), "wb+");
        ASSERT_EQ(wav.createHeader(f.fp, &p, 0), 0);
        ASSERT_EQ(std::fflush(f.fp), 0);
        std::filesystem::resize_file(fx.path("big.wav"), 32768 + bytes);
        ASSERT_EQ(wav.updateDataSize(f.fp, bytes, bytes / 4), 0);
        EXPECT_EQ(wav.setStartSample(f.fp, 4800), -41);
        uint64_t start = 0;
        EXPECT_EQ(wav.getStartSample(f.fp, &start), 0);
        EXPECT_EQ(start, 4800u);
        EXPECT_EQ(wav.setStartSample(f.fp, 9600), 0);  // found: stored in place
        uint64_t off = 0, size = 0, a = 0;
        EXPECT_EQ(wav.searchData(f.fp, &off, &size, &a), 0);
        EXPECT_EQ(off, 32768u);
        EXPECT_EQ(size, bytes);
    }
    const uint64_t fileSize = std::filesystem::file_size(fx.path("big.wav"));
    EXPECT_EQ(fileSize, 32768 + bytes + 866);
    FILE *f = std::fopen(fx.path("big.wav").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    Bytes head(48);
    ASSERT_EQ(std::fread(head.data(), 1, head.size(), f), head.size());
    std::fclose(f);
    EXPECT_EQ(le32(head, 4), 0xFFFFFFFFu);
    EXPECT_EQ(le64(head, 20), fileSize - 8);  // ds64 RIFF size
    EXPECT_EQ(le64(head, 28), bytes);         // ds64 data size
}
