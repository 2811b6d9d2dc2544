// Title and artist chunks of DSDIFF files written through the library's
// DSDIFF table: registered, written behind the marks, read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "bytefields.h"
#include "hdrparam.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/dsdifftag.h"
#include "tagrecord.h"
#include "testutil.h"
#include "tools.h"

namespace {

using sxtest::be64;
using sxtest::Bytes;
using sxtest::putBE64;

// A tag record with its own text buffers of the sizes the program allocates.
struct Tag : sxtest::TagRecord {
    Tag() = default;
    Tag(const std::string &t, const std::string &a) {
        set(title, t);
        set(artist, a);
    }
};

const int kList = 0;
const uint64_t kSecond = 2822400;

class DsdiffTag : public ::testing::Test {
protected:
    void SetUp() override { dsdiffTag_registered().clear(); }
    void TearDown() override {
        if (fp_) std::fclose(fp_);
        dsdiffTag_registered().clear();
        (void)gMarkList.create(kList);
    }

    // A DSDIFF file of `channels` channels and `audioBytes` bytes written
    // through the library's table, left open in fp_.
    void writeFile(uint16_t channels, size_t audioBytes) {
        path_ = dir_.file("t" + std::to_string(++count_) + ".dff");
        fp_ = std::fopen(path_.c_str(), "wb+");
        ASSERT_NE(fp_, nullptr);
        tBwfHdrParam p = sxtest::hdrParam(channels, 1, static_cast<uint32_t>(kSecond));
        ASSERT_EQ(audiofile_createHeader(kAudioFileDSDIFF, fp_, &p, 0), 0);
        Bytes audio(audioBytes);
        for (size_t i = 0; i < audioBytes; ++i) audio[i] = static_cast<uint8_t>(0x69 + i * 7);
        ASSERT_EQ(std::fseek(fp_, 0, SEEK_END), 0);
        ASSERT_EQ(std::fwrite(audio.data(), 1, audio.size(), fp_), audio.size());
        ASSERT_EQ(audiofile_updateDataSize(kAudioFileDSDIFF, fp_, audioBytes, audioBytes * 8 / channels), 0);
        samples_ = audioBytes * 8 / channels;
    }
    // One mark at 0 in list 0, modify flag set.
    void oneMark() {
        ASSERT_EQ(gMarkList.create(kList), 0);
        char name[kMarkNameBytes] = "MARK01";
        ASSERT_EQ(gMarkList.addMark(kList, 0, -1, name, 0, 0, kMarkFlagReserved), 0);
        ASSERT_EQ(gMarkList.setModifyFlag(kList), 0);
    }
    int saveMarks() { return audiofile_saveCueData(kAudioFileDSDIFF, fp_, 0, kList, samples_); }
    Bytes closeAndRead() {
        std::fclose(fp_);
        fp_ = nullptr;
        return sxtest::readAll(path_);
    }

    sxtest::TempDir dir_;
    std::string path_;
    FILE *fp_ = nullptr;
    uint64_t samples_ = 0;
    int count_ = 0;
};

const char kDiin[] = "DIIN";

// The expected DIIN chunk, built independently of the module.
Bytes diin(const std::string &title, const std::string &artist) {
    Bytes data;
    auto sub = [&](const char *id, const std::string &text) {
        if (text.empty()) return;
        size_t n = text.size(), pad = n & 1;
        Bytes s(16 + n + pad, 0);
        std::memcpy(s.data(), id, 4);
        putBE64(s, 4, 4 + n + pad);
        s[12] = static_cast<uint8_t>(n >> 24);
        s[13] = static_cast<uint8_t>(n >> 16);
        s[14] = static_cast<uint8_t>(n >> 8);
        s[15] = static_cast<uint8_t>(n);
        std::memcpy(s.data() + 16, text.data(), n);
        data.insert(data.end(), s.begin(), s.end());
    };
    sub("DITI", title);
    sub("DIAR", artist);
    if (data.empty()) return {};
    Bytes out(12, 0);
    std::memcpy(out.data(), "DIIN", 4);
    putBE64(out, 4, data.size());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

TEST_F(DsdiffTag, SongAndBandBehindTheMarks) {
    writeFile(2, 4096);
    oneMark();
    uint64_t before = 0;
    ASSERT_EQ(v_getFileSize(fp_, &before), 0);
    Tag tag("Song", "Band");
    ASSERT_EQ(audioFile_registerTagData(kAudioFileDSDIFF, &tag.info), 0);
    EXPECT_TRUE(dsdiffTag_registered().isRegistered());
    ASSERT_EQ(saveMarks(), 0);
    EXPECT_FALSE(dsdiffTag_registered().isRegistered()) << "written once, then dropped";
    Bytes file = closeAndRead();

    const Bytes expected = diin("Song", "Band");
    ASSERT_EQ(expected.size(), 52u);
    EXPECT_EQ(be64(expected, 4), 40u);
    ASSERT_GE(file.size(), before + 52);
    EXPECT_EQ(file.size(), before + 52) << "marks went into the header's JUNK, the tag behind the audio";
    EXPECT_EQ(Bytes(file.end() - 52, file.end()), expected);
    EXPECT_EQ(be64(file, 4), file.size() - 12) << "form size";
    // The marks are there too, ahead of the tag.
    const char cue[] = "cue ";
    EXPECT_NE(std::search(file.begin(), file.end() - 52, cue, cue + 4), file.end() - 52);

    // Read back through the table into buffers that hold something else.
    FILE *fp = std::fopen(path_.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    Tag back("old title", "old artist");
    EXPECT_EQ(audioFIle_loadTagData(kAudioFileDSDIFF, fp, &back.info), 0);
    EXPECT_EQ(sxtest::s16(back.info.title), u"Song");
    EXPECT_EQ(sxtest::s16(back.info.artist), u"Band");
    std::fclose(fp);
}

TEST_F(DsdiffTag, ChunkLayouts) {
    struct Case {
        const char *title, *artist;
        uint64_t dataSize;
    };
    for (const Case &c :
         {Case{"Abc", "", 20}, Case{"", "Xy", 18}, Case{"Song", "Band", 40}, Case{"A", "Bb", 18 + 18}}) {
        SCOPED_TRACE(std::string(c.title) + "/" + c.artist);
        auto t = sxtest::u16(c.title), a = sxtest::u16(c.artist);
        Bytes chunk = dsdiffTag_buildDiin(t.data(), a.data());
        EXPECT_EQ(chunk, diin(c.title, c.artist));
        ASSERT_EQ(chunk.size(), 12 + c.dataSize);
        EXPECT_EQ(be64(chunk, 4), c.dataSize);
    }
    // "Abc" alone: DITI size 8, count 3, three letters and a zero byte.
    auto t = sxtest::u16("Abc");
    Bytes abc = dsdiffTag_buildDiin(t.data(), nullptr);
    const Bytes tail = {'D', 'I', 'T', 'I', 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 3, 'A', 'b', 'c', 0};
    EXPECT_EQ(Bytes(abc.begin() + 12, abc.end()), tail);
    EXPECT_TRUE(dsdiffTag_buildDiin(nullptr, nullptr).empty());
}

// Empty texts write nothing and drop the registration; a second output
// without a new registration carries no tag.
TEST_F(DsdiffTag, NothingToWrite) {
    writeFile(2, 1024);
    oneMark();
    Tag empty("", "");
    ASSERT_EQ(audioFile_registerTagData(kAudioFileDSDIFF, &empty.info), 0);
    ASSERT_EQ(saveMarks(), 0);
    EXPECT_FALSE(dsdiffTag_registered().isRegistered());
    Bytes file = closeAndRead();
    EXPECT_EQ(std::search(file.begin(), file.end(), kDiin, kDiin + 4), file.end());

    writeFile(2, 1024);
    oneMark();
    Tag tag("Song", "Band");
    ASSERT_EQ(audioFile_registerTagData(kAudioFileDSDIFF, &tag.info), 0);
    ASSERT_EQ(saveMarks(), 0);
    closeAndRead();
    writeFile(2, 1024);
    oneMark();
    ASSERT_EQ(saveMarks(), 0);
    file = closeAndRead();
    EXPECT_EQ(std::search(file.begin(), file.end(), kDiin, kDiin + 4), file.end()) << "second output";
}

// Without unsaved mark changes nothing is written and the tag keeps waiting.
TEST_F(DsdiffTag, CleanMarkListKeepsTheTagWaiting) {
    writeFile(2, 1024);
    ASSERT_EQ(gMarkList.create(kList), 0);
    ASSERT_EQ(gMarkList.clrModifyFlag(kList), 0);
    uint64_t before = 0;
    ASSERT_EQ(v_getFileSize(fp_, &before), 0);
    Tag tag("Song", "Band");
    ASSERT_EQ(audioFile_registerTagData(kAudioFileDSDIFF, &tag.info), 0);
    EXPECT_EQ(saveMarks(), 0);
    EXPECT_TRUE(dsdiffTag_registered().isRegistered());
    EXPECT_EQ(closeAndRead().size(), before);
}

// The registration is a copy: the caller's buffers may change or go.
TEST_F(DsdiffTag, RegistrationCopiesTheTexts) {
    writeFile(2, 1024);
    oneMark();
    {
        Tag tag("First", "Player");
        ASSERT_EQ(audioFile_registerTagData(kAudioFileDSDIFF, &tag.info), 0);
        Tag::set(tag.title, "Changed");
    }
    ASSERT_EQ(saveMarks(), 0);
    Bytes file = closeAndRead();
    Bytes expected = diin("First", "Player");
    ASSERT_GE(file.size(), expected.size());
    EXPECT_EQ(Bytes(file.end() - expected.size(), file.end()), expected);
}

// Texts as long as the record's buffers allow make a chunk larger than 4 KiB
// would never be; an unterminated buffer is read only up to its capacity.
TEST_F(DsdiffTag, LongTexts) {
    writeFile(2, 1024);
    oneMark();
    Tag tag;
    std::fill(tag.title.begin(), tag.title.end(), 'T');  // no terminator at all
    std::fill(tag.artist.begin(), tag.artist.end() - 1, 'A');
    ASSERT_EQ(audioFile_registerTagData(kAudioFileDSDIFF, &tag.info), 0);
    ASSERT_EQ(saveMarks(), 0);
    Bytes file = closeAndRead();
    Bytes expected = diin(std::string(kTagTextUnits - 1, 'T'), std::string(kTagTextUnits - 1, 'A'));
    ASSERT_GE(file.size(), expected.size());
    EXPECT_EQ(Bytes(file.end() - expected.size(), file.end()), expected);
    EXPECT_EQ(be64(file, 4), file.size() - 12);

    FILE *fp = std::fopen(path_.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    Tag back;
    EXPECT_EQ(audioFIle_loadTagData(kAudioFileDSDIFF, fp, &back.info), 0);
    EXPECT_EQ(sxtest::s16(back.info.title), std::u16string(kTagTextUnits - 1, u'T'));
    std::fclose(fp);
}

// A mono file of odd audio length: the chunk starts at an even offset.
TEST_F(DsdiffTag, PadByteBeforeTheChunkOfAnOddFile) {
    writeFile(1, 1001);
    oneMark();
    Tag tag("Abc", "Band");
    ASSERT_EQ(audioFile_registerTagData(kAudioFileDSDIFF, &tag.info), 0);
    ASSERT_EQ(saveMarks(), 0);
    Bytes file = closeAndRead();
    Bytes expected = diin("Abc", "Band");
    ASSERT_GE(file.size(), expected.size() + 1);
    EXPECT_EQ(Bytes(file.end() - expected.size(), file.end()), expected);
    EXPECT_EQ(file[file.size() - expected.size() - 1], 0);
    EXPECT_EQ((file.size() - expected.size()) % 2, 0u);
    EXPECT_EQ(be64(file, 4), file.size() - 12);
}

TEST_F(DsdiffTag, FfprobeShowsTitleAndArtist) {
    for (uint16_t channels : {2, 1}) {
        writeFile(channels, channels == 2 ? 8192 : 4095);
        oneMark();
        Tag tag("Song of Tests", "The Band");
        ASSERT_EQ(audioFile_registerTagData(kAudioFileDSDIFF, &tag.info), 0);
        ASSERT_EQ(saveMarks(), 0);
        closeAndRead();
        std::string cmd = "ffprobe -v error -show_entries format_tags=title,artist -of default=nw=1 '" + path_ + "'";
        int status = -1;
        const std::string out = sxtest::commandOutput(cmd, &status);
        ASSERT_NE(status, -1) << "ffprobe did not start";
        EXPECT_EQ(status, 0);
        EXPECT_NE(out.find("TAG:title=Song of Tests"), std::string::npos) << out;
        EXPECT_NE(out.find("TAG:artist=The Band"), std::string::npos) << out;
    }
}

TEST_F(DsdiffTag, LoadWithoutChunkLeavesTheRecord) {
    writeFile(2, 1024);
    Tag tag("Song", "Band");
    ASSERT_EQ(audioFile_registerTagData(kAudioFileDSDIFF, &tag.info), 0);
    Tag back("keep", "these");
    EXPECT_EQ(audioFIle_loadTagData(kAudioFileDSDIFF, fp_, &back.info), -1);
    EXPECT_EQ(sxtest::s16(back.info.title), u"keep");
    EXPECT_EQ(sxtest::s16(back.info.artist), u"these");
    EXPECT_FALSE(dsdiffTag_registered().isRegistered()) << "a load drops the registration";
    closeAndRead();
}

// Damaged DIIN chunks appended to a good file: the loader stays inside the
// chunk and the file, never crashes, and takes what can be taken safely.
TEST_F(DsdiffTag, DamagedChunksAreBounded) {
    writeFile(2, 1024);
    const Bytes good = closeAndRead();
    struct Case {
        const char *name;
        Bytes chunk;
        int rc;
        std::u16string title, artist;
    };
    auto withSize = [](Bytes c, size_t off, uint64_t v) {
        putBE64(c, off, v);
        return c;
    };
    const Bytes songBand = diin("Song", "Band");
    Bytes countTooBig = songBand;
    countTooBig[27] = 200;  // DITI count far beyond its 8-byte sub-chunk
    // Foreign layout: odd sub-chunk size with an uncounted pad byte.
    Bytes foreign = {'D', 'I', 'T', 'I', 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 3, 'A', 'b', 'c', 0};
    Bytes ar = diin("", "Band");
    foreign.insert(foreign.end(), ar.begin() + 12, ar.end());
    Bytes foreignDiin(12, 0);
    std::memcpy(foreignDiin.data(), "DIIN", 4);
    putBE64(foreignDiin, 4, foreign.size());
    foreignDiin.insert(foreignDiin.end(), foreign.begin(), foreign.end());
    Bytes countHuge = songBand;
    std::fill(countHuge.begin() + 24, countHuge.begin() + 28, 0xFF);

    const Case cases[] = {
        {"good", songBand, 0, u"Song", u"Band"},
        {"DIIN larger than the file", withSize(songBand, 4, 0xFFFFFFFFFFFFull), 0, u"Song", u"Band"},
        {"DIIN size 2^64-1", withSize(songBand, 4, ~0ull), 0, u"Song", u"Band"},
        {"DITI size past the chunk", withSize(songBand, 16, 1000), 0, u"x", u"y"},
        {"DITI size 2^64-1", withSize(songBand, 16, ~0ull), 0, u"x", u"y"},
        {"DIAR size past the chunk", withSize(songBand, 36, 9), 0, u"Song", u"y"},
        {"count beyond the sub-chunk", countTooBig, 0, u"Song", u"Band"},
        {"count 2^32-1", countHuge, 0, u"Song", u"Band"},
        {"odd sub-chunk with its pad", foreignDiin, 0, u"Abc", u"Band"},
        {"DIIN of size 0", withSize(Bytes(songBand.begin(), songBand.begin() + 12), 4, 0), -1, u"x", u"y"},
        {"header only, cut", Bytes(songBand.begin(), songBand.begin() + 8), -1, u"x", u"y"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = good;
        file.insert(file.end(), c.chunk.begin(), c.chunk.end());
        std::string path = dir_.file("damaged.dff");
        ASSERT_TRUE(sxtest::writeAll(path, file));
        FILE *fp = std::fopen(path.c_str(), "rb");
        ASSERT_NE(fp, nullptr);
        Tag back("x", "y");
        EXPECT_EQ(audioFIle_loadTagData(kAudioFileDSDIFF, fp, &back.info), c.rc);
        EXPECT_EQ(sxtest::s16(back.info.title), c.title);
        EXPECT_EQ(sxtest::s16(back.info.artist), c.artist);
        std::fclose(fp);
    }
}

}  // namespace
