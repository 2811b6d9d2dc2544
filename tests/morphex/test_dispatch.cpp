// Format dispatch: each type code reaches its table, codes outside 0..4 are
// refused without touching the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "audiofile/vfile.h"
#include "hdrparam.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/tabledsf.h"
#include "testutil.h"

namespace {

tBwfHdrParam stereoParam(uint32_t rate, uint16_t bits) { return sxtest::hdrParam(2, bits, rate); }

TEST(Dispatch, TableOfTables) {
    EXPECT_EQ(gAudioFile[0], &gWAV);
    EXPECT_EQ(gAudioFile[1], &gWAV);
    EXPECT_EQ(gAudioFile[2], &gDSF);
    EXPECT_EQ(gAudioFile[3], &gDSDIFF);
    EXPECT_EQ(gAudioFile[4], &gWSD);
    for (int t = 0; t < kAudioFileTypeCount; ++t) EXPECT_EQ(audiofile_handler(t), gAudioFile[t]);
    for (const tAudioFileHandler *h : gAudioFile) {
        const void *const *slot = reinterpret_cast<const void *const *>(h);
        for (int i = 0; i < kAudioFileHandlerSlots; ++i) EXPECT_NE(slot[i], nullptr) << i;
    }
}

// Types 0 and 1 write and read a WAV header through the WAV table.
TEST(Dispatch, WavAndFlacCodesReachTheWavHandler) {
    sxtest::TempDir dir;
    for (int type : {kAudioFileWAV, kAudioFileFLAC}) {
        std::string path = dir.file("t" + std::to_string(type) + ".wav");
        FILE *fp = std::fopen(path.c_str(), "wb+");
        ASSERT_NE(fp, nullptr);
        tBwfHdrParam p = stereoParam(96000, 24);
        ASSERT_EQ(audiofile_createHeader(type, fp, &p, 0), 0);
        tRiffStatus st = kRiffStatusUnknown;
        EXPECT_EQ(audiofile_checkHeader(type, fp, &st), 0);
        EXPECT_EQ(st, kRiffStatusRIFF);
        uint32_t rate = 0, bits = 0, ch = 0;
        uint16_t tag = 0;
        EXPECT_EQ(audiofile_searchFmtChunk(type, fp, &rate, &bits, &ch, &tag), 0);
        EXPECT_EQ(rate, 96000u);
        EXPECT_EQ(bits, 24u);
        EXPECT_EQ(ch, 2u);
        EXPECT_EQ(tag, 1);
        uint64_t off = 0, data = 0, audio = 0;
        EXPECT_EQ(audiofile_searchData(type, fp, &off, &data, &audio), 0);
        EXPECT_EQ(off, 32768u);
        uint64_t bext = 0;
        EXPECT_EQ(audiofile_searchChunk(type, fp, "bext", &bext), 0) << "library header carries bext";
        EXPECT_EQ(audiofile_setStartSample(type, fp, 48000), 0);
        uint64_t start = 0;
        EXPECT_EQ(audiofile_getStartSample(type, fp, &start), 0);
        EXPECT_EQ(start, 48000u);
        EXPECT_EQ(audiofile_searchBextChunk(type, fp, &start), 0);
        EXPECT_EQ(start, 48000u);
        EXPECT_EQ(audiofile_getReserveSize(type), 5172u + static_cast<uint32_t>(vfs_getCurrentClusterSize()));
        tID3tagInfo info{};
        EXPECT_EQ(audioFIle_loadTagData(type, fp, &info), kAudioFileErrFormat);
        EXPECT_EQ(audioFile_registerTagData(type, &info), kAudioFileErrFormat);
        std::fclose(fp);
    }
}

// Type 3 writes a DSDIFF header through the library's DSDIFF table: the
// library build reads the start time back as 0 and walks 64-bit chunks.
TEST(Dispatch, DsdiffCodeReachesTheDsdiffHandler) {
    sxtest::TempDir dir;
    std::string path = dir.file("t.dff");
    FILE *fp = std::fopen(path.c_str(), "wb+");
    ASSERT_NE(fp, nullptr);
    tBwfHdrParam p = stereoParam(2822400, 1);
    ASSERT_EQ(audiofile_createHeader(kAudioFileDSDIFF, fp, &p, 0), 0);
    tRiffStatus st = kRiffStatusUnknown;
    EXPECT_EQ(audiofile_checkHeader(kAudioFileDSDIFF, fp, &st), 0);
    EXPECT_EQ(audiofile_checkHeader(kAudioFileWAV, fp, &st), -17) << "not a WAV file";
    uint32_t rate = 0, bits = 0, ch = 0;
    uint16_t tag = 0;
    EXPECT_EQ(audiofile_searchFmtChunk(kAudioFileDSDIFF, fp, &rate, &bits, &ch, &tag), 0);
    EXPECT_EQ(rate, 2822400u);
    EXPECT_EQ(bits, 1u);
    EXPECT_EQ(ch, 2u);
    uint64_t off = 0;
    EXPECT_EQ(audiofile_searchChunk(kAudioFileDSDIFF, fp, "PROP", &off), 0);
    EXPECT_EQ(off, 32u);  // behind the form header (16) and FVER (16)
    EXPECT_EQ(audiofile_divide(kAudioFileDSDIFF, fp, fp, fp, 0), -17);
    EXPECT_EQ(audiofile_setStartSample(kAudioFileDSDIFF, fp, 1000), kAudioFileBextAppended);
    uint64_t start = 99;
    EXPECT_EQ(audiofile_searchBextChunk(kAudioFileDSDIFF, fp, &start), 0);
    EXPECT_EQ(start, 1000u);
    EXPECT_EQ(audiofile_getStartSample(kAudioFileDSDIFF, fp, &start), 0);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(audiofile_getReserveSize(kAudioFileDSDIFF), 5172u + static_cast<uint32_t>(vfs_getCurrentClusterSize()));
    std::fclose(fp);
    std::vector<uint8_t> bytes = sxtest::readAll(path);
    ASSERT_GE(bytes.size(), 16u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "FRM8");
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "DSD ");
}

// Types 2 and 4 write their own headers; each type's check refuses the
// other formats, so a header written through one table is recognised only
// by its own.
TEST(Dispatch, DsfAndWsdCodesReachTheirHandlers) {
    sxtest::TempDir dir;
    struct Case {
        int type;
        const char *magic;
        uint64_t dataOffset;
        uint32_t reserve;
    };
    const uint32_t cluster = static_cast<uint32_t>(vfs_getCurrentClusterSize());
    for (const Case &c : {Case{kAudioFileDSF, "DSD ", 92, 171 + cluster}, Case{kAudioFileWSD, "1bit", 2048, 0}}) {
        SCOPED_TRACE(c.type);
        std::string path = dir.file("t" + std::to_string(c.type));
        FILE *fp = std::fopen(path.c_str(), "wb+");
        ASSERT_NE(fp, nullptr);
        tBwfHdrParam p = stereoParam(5644800, 1);
        ASSERT_EQ(audiofile_createHeader(c.type, fp, &p, 0), 0);
        std::vector<uint8_t> audio(8192, 0x69);
        ASSERT_EQ(std::fseek(fp, 0, SEEK_END), 0);
        ASSERT_EQ(std::fwrite(audio.data(), 1, audio.size(), fp), audio.size());
        ASSERT_EQ(audiofile_updateDataSize(c.type, fp, audio.size(), audio.size() * 4), 0);
        tRiffStatus st = kRiffStatusUnknown;
        EXPECT_EQ(audiofile_checkHeader(c.type, fp, &st), 0);
        for (int other : {kAudioFileWAV, kAudioFileDSF, kAudioFileDSDIFF, kAudioFileWSD}) {
            if (other != c.type) {
                EXPECT_NE(audiofile_checkHeader(other, fp, &st), 0) << other;
            }
        }
        uint32_t rate = 0, bits = 0, ch = 0;
        uint16_t tag = 0;
        EXPECT_EQ(audiofile_searchFmtChunk(c.type, fp, &rate, &bits, &ch, &tag), 0);
        EXPECT_EQ(rate, 5644800u);
        EXPECT_EQ(bits, 1u);
        EXPECT_EQ(ch, 2u);
        uint64_t off = 0, data = 0, bytes = 0;
        EXPECT_EQ(audiofile_searchData(c.type, fp, &off, &data, &bytes), 0);
        EXPECT_EQ(off, c.dataOffset);
        EXPECT_EQ(bytes, audio.size());
        EXPECT_EQ(audiofile_getReserveSize(c.type), c.reserve);
        EXPECT_EQ(audiofile_deleteChunk(c.type, fp, "fmt "), -1);
        std::fclose(fp);
        std::vector<uint8_t> file = sxtest::readAll(path);
        ASSERT_GE(file.size(), 4u);
        EXPECT_EQ(std::string(file.begin(), file.begin() + 4), c.magic);
    }
}

// The WSD tag slot reads the header's text area; WSD takes no registration.
TEST(Dispatch, WsdTagSlots) {
    sxtest::TempDir dir;
    std::vector<uint8_t> file(2048 + 16, 0);
    std::memcpy(file.data(), "1bit", 4);
    file[15] = static_cast<uint8_t>((2048 + 16) & 0xFF);
    file[14] = static_cast<uint8_t>((2048 + 16) >> 8);
    std::memcpy(file.data() + 128, "Title", 5);
    std::memcpy(file.data() + 128 + 384, "Artist", 6);
    std::string path = dir.file("tag.wsd");
    ASSERT_TRUE(sxtest::writeAll(path, file));
    FILE *fp = std::fopen(path.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    std::vector<wchar16> t(kTagTextUnits, 0), a(kTagTextUnits, 0), al(kTagTextUnits, 0), g(kTagTextUnits, 0),
        c(kTagCommentUnits, 0);
    tID3tagInfo info{};
    info.title = t.data();
    info.artist = a.data();
    info.album = al.data();
    info.genre = g.data();
    info.comment = c.data();
    EXPECT_EQ(audioFIle_loadTagData(kAudioFileWSD, fp, &info), 0);
    EXPECT_EQ(sxtest::s16(info.title), u"Title");
    EXPECT_EQ(sxtest::s16(info.artist), u"Artist");
    EXPECT_EQ(audioFile_registerTagData(kAudioFileWSD, &info), -17);
    std::fclose(fp);
}

// DSF: registration is kept for the DSF tag writer; reading a file's tag
// drops it.
TEST(Dispatch, DsfTagSlots) {
    sxtest::TempDir dir;
    std::string path = dir.file("t.dsf");
    FILE *fp = std::fopen(path.c_str(), "wb+");
    ASSERT_NE(fp, nullptr);
    tBwfHdrParam p = stereoParam(2822400, 1);
    ASSERT_EQ(audiofile_createHeader(kAudioFileDSF, fp, &p, 0), 0);
    std::vector<uint8_t> audio(8192, 0x69);
    ASSERT_EQ(std::fseek(fp, 0, SEEK_END), 0);
    ASSERT_EQ(std::fwrite(audio.data(), 1, audio.size(), fp), audio.size());
    ASSERT_EQ(audiofile_updateDataSize(kAudioFileDSF, fp, audio.size(), audio.size() * 4), 0);

    auto title = sxtest::u16("Kept"), artist = sxtest::u16("Here");
    tID3tagInfo info{};
    info.title = title.data();
    info.artist = artist.data();
    dsfTag_registered().clear();
    EXPECT_EQ(audioFile_registerTagData(kAudioFileDSF, &info), 0);
    cTagCopy copy;
    uint64_t gen = 0;
    ASSERT_TRUE(dsfTag_registered().take(&copy, &gen));
    EXPECT_EQ(sxtest::s16(copy.info().title), u"Kept");
    EXPECT_EQ(sxtest::s16(copy.info().artist), u"Here");

    // The file's tag has no title or artist frame: the record keeps its texts.
    EXPECT_EQ(audioFIle_loadTagData(kAudioFileDSF, fp, &info), 0);
    EXPECT_EQ(sxtest::s16(info.title), u"Kept");
    EXPECT_FALSE(dsfTag_registered().isRegistered());
    std::fclose(fp);
}

// A code outside 0..4 gives -17 (reserve size 0) and leaves the file alone.
TEST(Dispatch, OutOfRangeCodesAreRefused) {
    sxtest::TempDir dir;
    std::string path = dir.file("keep.bin");
    const std::vector<uint8_t> content = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 5};
    sxtest::writeAll(path, content);
    FILE *fp = std::fopen(path.c_str(), "rb+");
    ASSERT_NE(fp, nullptr);
    tBwfHdrParam p = stereoParam(44100, 16);
    tID3tagInfo info{};
    for (int type : {5, 127, -1, 1000}) {
        SCOPED_TRACE(type);
        tRiffStatus st = kRiffStatusUnknown;
        uint64_t a = 0, b = 0, c = 0;
        uint32_t r = 0, bits = 0, ch = 0;
        uint16_t tag = 0;
        EXPECT_EQ(audiofile_checkHeader(type, fp, &st), -17);
        EXPECT_EQ(audiofile_searchData(type, fp, &a, &b, &c), -17);
        EXPECT_EQ(audiofile_searchChunk(type, fp, "fmt ", &a), -17);
        EXPECT_EQ(audiofile_searchFmtChunk(type, fp, &r, &bits, &ch, &tag), -17);
        EXPECT_EQ(audiofile_searchBextChunk(type, fp, &a), -17);
        EXPECT_EQ(audiofile_deleteChunk(type, fp, "RIFF"), -17);
        EXPECT_EQ(audiofile_createHeader(type, fp, &p, 1), -17);
        EXPECT_EQ(audiofile_updateDataSize(type, fp, 100, 25), -17);
        EXPECT_EQ(audiofile_divide(type, fp, fp, fp, 0), -17);
        EXPECT_EQ(audiofile_combine(type, fp, fp, fp, &p, 0), -17);
        EXPECT_EQ(audiofile_saveCueData(type, fp, 0, 0, 100), -17);
        EXPECT_EQ(audiofile_saveCueDataNew(type, fp, 0, 0, 100), -17);
        EXPECT_EQ(audiofile_loadCueData(type, fp, 100, 0), -17);
        EXPECT_EQ(audiofile_setStartSample(type, fp, 5), -17);
        EXPECT_EQ(audiofile_getStartSample(type, fp, &a), -17);
        EXPECT_EQ(audiofile_getReserveSize(type), 0u);
        EXPECT_EQ(audioFIle_loadTagData(type, fp, &info), -17);
        EXPECT_EQ(audioFile_registerTagData(type, &info), -17);
        EXPECT_EQ(st, kRiffStatusUnknown);
    }
    std::fclose(fp);
    EXPECT_EQ(sxtest::readAll(path), content);
}

TEST(Dispatch, FileExtensions) {
    struct Case {
        unsigned type;
        const char *ext;
    };
    for (const Case &c :
         {Case{0, ".wav"}, Case{1, ".flac"}, Case{2, ".dsf"}, Case{3, ".dff"}, Case{4, ".wsd"}, Case{5, ".aif"},
          Case{6, ".mp3"}, Case{7, ".wav"}, Case{127, ".wav"}, Case{0xFFFFFFFFu, ".wav"}}) {
        char out[8];
        std::memset(out, 'x', sizeof out);
        audiofile_getFileExtention(c.type, out);
        EXPECT_STREQ(out, c.ext) << c.type;
    }
}

}  // namespace
