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
#include "morphex/audiofiledispatch.h"
#include "morphex/fileinfo.h"
#include "morphex/morphexapi.h"
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
    tBwfHdrParam p{};
    p.channels = channels;
    p.bits = bits;
    p.rate = rate;
    p.stereo = channels != 1;
    p.rf64 = rf64;
    p.integer32 = 1;
    return p;
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
        {"pcm.wav", kAudioFileWAV, param(2, 24, 48000), 6000, 1000, {{"MARK01", 10}, {"MARK02", 500}, {"MARK03", 999}}, 123456, 1},
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

}  // namespace
