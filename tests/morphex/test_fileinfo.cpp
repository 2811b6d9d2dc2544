// File information and tag queries through the exported entry points, on
// files the library's own handlers write.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "dsftagfixture.h"
#include "hdrparam.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/fileinfo.h"
#include "morphex/morphexapi.h"
#include "tagrecord.h"
#include "testutil.h"

using namespace dsffix;

namespace {

struct Mark {
    std::string name;  // kept as given (a reserved name or any other text)
    uint64_t position;
};

void setMarks(const std::vector<Mark> &marks) {
    ASSERT_EQ(gMarkList.create(0), kMarkOk);
    for (const auto &m : marks) {
        std::vector<char> name(m.name.begin(), m.name.end());
        name.resize(name.size() + 4, 0);
        ASSERT_EQ(gMarkList.addMark(0, 1, -1, name.data(), m.position, m.position, kMarkFlagReserved), kMarkOk);
    }
    ASSERT_EQ(gMarkList.setModifyFlag(0), kMarkOk);
}

// Writes a file of that type through the library's handlers: header, audio
// bytes (a pattern), sizes, then marks and start time where the format
// keeps them.
void writeFile(int type, const std::string &path, const tBwfHdrParam &p, uint64_t audioBytes, uint64_t samples,
               const std::vector<Mark> &marks, uint64_t start = 0) {
    FILE *fp = std::fopen(path.c_str(), "wb+");
    ASSERT_NE(fp, nullptr);
    ASSERT_EQ(audiofile_createHeader(type, fp, &p, 1), 0);
    uint64_t off = 0, data = 0, audio = 0;
    if (type == kAudioFileWSD) {
        off = 2048;  // a fresh WSD header holds no audio size yet
    } else {
        ASSERT_EQ(audiofile_searchData(type, fp, &off, &data, &audio), 0);
    }
    std::vector<uint8_t> bytes(audioBytes);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    ASSERT_EQ(v_lseek(fp, static_cast<int64_t>(off), 0), 0);
    ASSERT_EQ(v_write(fp, bytes.data(), static_cast<uint32_t>(bytes.size())), bytes.size());
    setMarks(marks);
    ASSERT_EQ(audiofile_updateDataSize(type, fp, audioBytes, samples), 0);
    if (type != kAudioFileDSF) {
        // DSF marks travel in the tag that the size update wrote.
        int rc = audiofile_saveCueData(type, fp, -1, 0, samples);
        if (type == kAudioFileWSD) {
            EXPECT_LT(rc, 0);  // WSD files keep no marks
        } else {
            ASSERT_EQ(rc, 0);
        }
    }
    if (start) {
        int rc = audiofile_setStartSample(type, fp, start);
        ASSERT_TRUE(rc == 0 || rc == kAudioFileBextAppended) << rc;
    }
    std::fclose(fp);
}

tBwfHdrParam param(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t rf64 = 0) {
    return sxtest::hdrParam(channels, bits, rate, rf64, /*integer32=*/1);
}

TEST(FileInfo, ReportsFormatSizesMarksAndStartOfEveryFormat) {
    sxtest::TempDir dir;
    struct Case {
        const char *name;
        int type;
        tBwfHdrParam p;
        uint64_t audioBytes, samples;
        std::vector<Mark> marks;
        uint64_t start;
        uint32_t formatTag;
    };
    std::vector<Case> cases = {
        {"pcm.wav",
         kAudioFileWAV,
         param(2, 24, 48000),
         6000,
         1000,
         {{"MARK01", 10}, {"MARK02", 500}, {"MARK03", 999}},
         123456,
         1},
        {"big.wav", kAudioFileWAV, param(1, 32, 96000, 1), 4000, 1000, {{"MARK01", 7}}, 0, 1},
        {"dsd.dsf", kAudioFileDSF, param(2, 1, 2822400), 8192, 32768, {{"MARK01", 32767}, {"MARK02", 2822400}}, 0, 0},
        {"dsd.dff", kAudioFileDSDIFF, param(2, 1, 5644800), 4096, 16384, {{"MARK01", 100}, {"MARK02", 200}}, 0, 0},
        {"dsd.wsd", kAudioFileWSD, param(2, 1, 2822400), 4096, 16384, {}, 0, 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        writeFile(c.type, path, c.p, c.audioBytes, c.samples, c.marks, c.start);

        // What the format's own handler says the data offset and format are.
        FILE *fp = std::fopen(path.c_str(), "rb");
        ASSERT_NE(fp, nullptr);
        uint64_t off = 0, data = 0, audio = 0;
        ASSERT_EQ(audiofile_searchData(c.type, fp, &off, &data, &audio), 0);
        uint32_t r = 0, b = 0, ch = 0;
        uint16_t tag = 0;
        ASSERT_EQ(audiofile_searchFmtChunk(c.type, fp, &r, &b, &ch, &tag), 0);
        std::fclose(fp);

        tAudioFileMarkAFile marks[kMarkMax] = {};
        tAudioFileInfoAFile info;
        info.marks = marks;
        auto u = sxtest::u16(path);
        ASSERT_EQ(getAudioFileInformation(u.data(), &info), 0);
        EXPECT_EQ(info.sampleRate, c.p.rate);
        EXPECT_EQ(info.bitsPerSample, c.p.bits);
        EXPECT_EQ(info.channels, c.p.channels);
        EXPECT_EQ(info.dataOffset, static_cast<uint32_t>(off));
        EXPECT_EQ((uint64_t{info.dataBytesHigh} << 32) | info.dataBytesLow, audio);
        EXPECT_EQ(audio, c.audioBytes);
        EXPECT_EQ(info.fileType, static_cast<uint32_t>(c.type));
        EXPECT_EQ(info.formatTag, tag);
        EXPECT_EQ(info.formatTag, c.formatTag);
        EXPECT_EQ(info.marks, marks);
        ASSERT_EQ(info.markCount, c.marks.size());
        for (size_t i = 0; i < c.marks.size(); ++i) {
            EXPECT_STREQ(marks[i].name, c.marks[i].name.c_str());
            EXPECT_EQ(marks[i].position, c.marks[i].position);
        }
        EXPECT_EQ(info.startSample, c.start);
    }
    EXPECT_EQ(sxtest::readAll(dir.file("big.wav"))[0], 'R');
    EXPECT_EQ(sxtest::readAll(dir.file("big.wav"))[1], 'F');
}

int infoOf(const std::string &path, tAudioFileInfoAFile *info, std::string *printed) {
    auto u = sxtest::u16(path);
    testing::internal::CaptureStdout();
    int rc = getAudioFileInformation(u.data(), info);
    *printed = testing::internal::GetCapturedStdout();
    return rc;
}

TEST(FileInfo, FailuresGiveTheirCodeAndLine) {
    sxtest::TempDir dir;
    auto dsf = dsfFile();
    auto zeroChannels = dsf;
    putLE(zeroChannels, 52, 0, 4);
    auto zeroBits = dsf;
    putLE(zeroBits, 60, 0, 4);
    auto noData = std::vector<uint8_t>(dsf.begin(), dsf.begin() + 80);

    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;  // empty: no file
        int code;
        const char *line;
    } cases[] = {
        {"missing.dsf", {}, kFileInfoErrOpen, "Read File Open Error!\n"},
        {"song.mp3", dsf, kFileInfoErrType, ""},
        {"noext", dsf, kFileInfoErrType, ""},
        {"really-dsf.wav", dsf, kFileInfoErrType, "Check Header Error!\n"},
        {"zero-channels.dsf", zeroChannels, kFileInfoErrFmt, "Search FMT Chunk Error!\n"},
        {"zero-bits.dsf", zeroBits, kFileInfoErrFmt, "Search FMT Chunk Error!\n"},
        {"no-data.dsf", noData, kFileInfoErrData, "Search DATA Chunk Error!\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        if (!c.bytes.empty()) {
            ASSERT_TRUE(sxtest::writeAll(path, c.bytes));
        }
        tAudioFileMarkAFile marks[4] = {};
        tAudioFileInfoAFile info;
        info.sampleRate = 77;
        info.marks = marks;
        std::string printed;
        EXPECT_EQ(infoOf(path, &info, &printed), c.code);
        EXPECT_EQ(printed, c.line);
        EXPECT_EQ(info.sampleRate, 77u);  // the record is filled only on success
    }
}

// Names reach the record terminated inside their 16-byte field, and nothing
// past the reported count is written. (No handler gives back names longer
// than the field: WAV and DSDIFF keep 10 characters, DSF 6.)
TEST(FileInfo, MarkEntriesStayInsideTheirFieldsAndCount) {
    sxtest::TempDir dir;
    const std::string path = dir.file("names.dff");
    writeFile(kAudioFileDSDIFF, path, param(2, 1, 2822400), 4096, 16384,
              {{"MARK01", 5}, {"A very long mark name indeed", 50}, {"MARK03", 70}});
    tAudioFileMarkAFile marks[4];
    std::memset(marks, 0x55, sizeof marks);
    tAudioFileInfoAFile info;
    info.marks = marks;
    std::string printed;
    ASSERT_EQ(infoOf(path, &info, &printed), 0);
    ASSERT_EQ(info.markCount, 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NE(std::memchr(marks[i].name, 0, sizeof marks[i].name), nullptr) << i;
    EXPECT_STREQ(marks[0].name, "MARK01");
    EXPECT_EQ(std::strncmp(marks[1].name, "A very lo", 9), 0);
    EXPECT_EQ(marks[2].position, 70u);
    EXPECT_EQ(static_cast<uint8_t>(marks[3].name[0]), 0x55);
    EXPECT_EQ(marks[3].position, 0x5555555555555555u);
}

TEST(TagQuery, DecidesTheFormatAndReportsFailures) {
    sxtest::TempDir dir;
    const std::string wav = dir.file("a.wav");
    writeFile(kAudioFileWAV, wav, param(2, 16, 44100), 400, 100, {});
    const std::string mp3 = dir.file("a.mp3");
    ASSERT_TRUE(sxtest::writeAll(mp3, bytes("ID3 something")));
    const std::string dff = dir.file("a.dff");
    writeFile(kAudioFileDSDIFF, dff, param(2, 1, 2822400), 4096, 16384, {});

    tID3tagInfo none{};
    auto u = [](const std::string &s) { return sxtest::u16(s); };
    EXPECT_EQ(id3tagInformation(kId3tagLoad, kAudioFileByExtension, u(wav).data(), &none), kFileInfoErrTagHandler);
    EXPECT_EQ(id3tagInformation(kId3tagLoad, kAudioFileByExtension, u(mp3).data(), &none), kFileInfoErrType);
    EXPECT_EQ(id3tagInformation(kId3tagLoad, kAudioFileByExtension, u(dir.file("gone.dsf")).data(), &none),
              kFileInfoErrOpen);
    // A DSDIFF file without its title chunk has no tag to read.
    EXPECT_EQ(id3tagInformation(kId3tagLoad, kAudioFileByExtension, u(dff).data(), &none), kFileInfoErrTagHandler);
    // Registration: WAV and WSD keep no tags; 127 is not resolved here.
    EXPECT_EQ(id3tagInformation(kId3tagRegister, kAudioFileWAV, nullptr, &none), kFileInfoErrTagHandler);
    EXPECT_EQ(id3tagInformation(kId3tagRegister, kAudioFileWSD, nullptr, &none), kFileInfoErrTagHandler);
    EXPECT_EQ(id3tagInformation(kId3tagRegister, kAudioFileByExtension, u(wav).data(), &none), kFileInfoErrTagHandler);
    // Any other operation does nothing.
    auto before = sxtest::readAll(wav);
    EXPECT_EQ(id3tagInformation(2, kAudioFileWAV, u(wav).data(), nullptr), 0);
    EXPECT_EQ(sxtest::readAll(wav), before);
}

// A tag record as the program creates it: empty texts, no date.
struct TagRec : sxtest::TagRecord {
    TagRec() { unsetDate(); }
};

TEST(TagQuery, ReadsAVersion24TagWithSyncsafeSizes) {
    sxtest::TempDir dir;
    // Frames above 127 bytes: their syncsafe sizes differ from plain ones.
    std::string title(150, 'T');
    std::string artist = "Band " + std::string(140, 'B');
    std::vector<uint8_t> utf8 = {3};
    for (char c : std::string("Caf\xC3\xA9 Album")) utf8.push_back(static_cast<uint8_t>(c));
    auto t = tag(4, {frame("TIT2", utf16(title), 4), frame("TPE1", latin(artist), 4), frame("TALB", utf8, 4),
                     frame("TYER", latin("2001"), 4)});
    const std::string path = dir.file("v24.dsf");
    ASSERT_TRUE(sxtest::writeAll(path, withTag(dsfFile(), t)));

    TagRec r;
    auto u = sxtest::u16(path);
    // Only the low 8 bits of the type count.
    ASSERT_EQ(id3tagInformation(kId3tagLoad, 0x100 | kAudioFileByExtension, u.data(), &r.info), 0);
    EXPECT_EQ(sxtest::s16(r.title.data()), std::u16string(title.begin(), title.end()));
    EXPECT_EQ(sxtest::s16(r.artist.data()), std::u16string(artist.begin(), artist.end()));
    EXPECT_EQ(sxtest::s16(r.album.data()), u"Caf\u00E9 Album");
    EXPECT_EQ(r.info.year, 2001);
}

TEST(TagQuery, ARegisteredTagReachesTheNextDsfFileWithItsMarks) {
    sxtest::TempDir dir;
    TagRec reg;
    reg.info.trackNo = 1;
    reg.info.totalTracks = 2;
    TagRec::set(reg.title, "Registered Title");
    TagRec::set(reg.artist, "Someone");
    reg.info.year = 2023;
    reg.info.month = 12;
    reg.info.day = 24;
    ASSERT_EQ(id3tagInformation(kId3tagRegister, kAudioFileDSF, nullptr, &reg.info), 0);
    TagRec::set(reg.title, "changed after registering");

    const std::string path = dir.file("job.dsf");
    writeFile(kAudioFileDSF, path, param(2, 1, 2822400), 16384, 65536, {{"MARK01", 44100}});

    TagRec back;
    auto u = sxtest::u16(path);
    ASSERT_EQ(id3tagInformation(kId3tagLoad, kAudioFileDSF, u.data(), &back.info), 0);
    EXPECT_EQ(sxtest::s16(back.title.data()), u"Registered Title");
    EXPECT_EQ(sxtest::s16(back.artist.data()), u"Someone");
    EXPECT_EQ(back.info.year, 2023);
    EXPECT_EQ(back.info.month, 12);
    EXPECT_EQ(back.info.day, 24);

    tAudioFileMarkAFile marks[2] = {};
    tAudioFileInfoAFile info;
    info.marks = marks;
    ASSERT_EQ(getAudioFileInformation(u.data(), &info), 0);
    ASSERT_EQ(info.markCount, 1u);
    EXPECT_STREQ(marks[0].name, "MARK01");
    EXPECT_EQ(marks[0].position, 44100u);

    // The registration was used up: the next file carries no texts.
    const std::string next = dir.file("next.dsf");
    writeFile(kAudioFileDSF, next, param(2, 1, 2822400), 8192, 32768, {{"MARK01", 1}});
    Parsed p = parse(sxtest::readAll(next));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.count("TIT2"), 0u);
    EXPECT_EQ(p.count("SYLT"), 1u);
}

}  // namespace
