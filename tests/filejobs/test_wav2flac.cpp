// The FLAC export job, checked with the reference decoder and metaflac.
#include <gtest/gtest.h>

#include <sstream>

#include "audiofile/jobs/wav2flac.h"
#include "jobtestutil.h"
#include "tagrecord.h"

namespace {

using jobtest::Bytes;
using jobtest::q;

const Bytes kPngHead = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 'I', 'H', 'D', 'R'};
const Bytes kExifHead = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x', 'i', 'f', 0x00, 0x00, 0x01, 0x02};

class Wav2Flac : public ::testing::Test {
protected:
    int exportFlac(const std::string &wav, const std::string &flac, tID3tagInfo *tag = nullptr,
                   bool abortFirst = false) {
        ClassWav2Flac job;
        std::atomic<bool> abort{abortFirst};
        progress = -1;
        return job.apply(q(flac), q(wav), &abort, &progress, tag, nullptr);
    }

    // A short 16-bit stereo source for the metadata tests.
    std::string smallWav() {
        const std::string wav = dir.file("small.wav");
        jobtest::writeWav(wav, 2, 16, 44100, jobtest::packInts(jobtest::intSamples(200, 16, 3), 16));
        return wav;
    }

    std::string metaflac(const std::string &args, const std::string &flac) {
        return sxtest::commandOutput("metaflac " + args + " '" + flac + "' 2>&1");
    }

    // The block types of metaflac --list, in file order.
    std::vector<std::string> blockTypes(const std::string &flac) {
        std::vector<std::string> types;
        std::istringstream in(metaflac("--list", flac));
        std::string line;
        bool blockStart = false;  // the line after "METADATA block #n" names the type
        while (std::getline(in, line)) {
            if (blockStart && line.rfind("  type: ", 0) == 0)
                types.push_back(line.substr(line.find('(') + 1, line.find(')') - line.find('(') - 1));
            blockStart = line.rfind("METADATA block #", 0) == 0;
        }
        return types;
    }

    sxtest::TempDir dir;
    int progress = -1;
};

// Every sample comes back from the reference decoder as it went in.
TEST_F(Wav2Flac, RoundTripThroughTheReferenceDecoderIsExact) {
    struct Case {
        uint16_t channels, bits;
    };
    for (const Case c : {Case{2, 16}, Case{2, 24}, Case{1, 16}, Case{1, 24}}) {
        const std::string name = std::to_string(c.channels) + "ch" + std::to_string(c.bits);
        const std::string wav = dir.file(name + ".wav"), flac = dir.file(name + ".flac");
        // 3001 frames: two full encoder blocks of 1024 and a short one.
        jobtest::writeWav(wav, c.channels, c.bits, 48000,
                          jobtest::packInts(jobtest::intSamples(3001 * c.channels, c.bits, c.bits), c.bits));
        ASSERT_EQ(exportFlac(wav, flac), kFlacJobOK) << name;
        EXPECT_EQ(progress, 100) << name;
        const std::string back = dir.file(name + "-back.wav");
        ASSERT_TRUE(jobtest::run("flac -s -d -f -o '" + back + "' '" + flac + "' 2>/dev/null")) << name;
        EXPECT_EQ(jobtest::soxRaw(back, dir.file("b.raw")), jobtest::soxRaw(wav, dir.file("a.raw"))) << name;
        EXPECT_EQ(metaflac("--show-bps", flac), std::to_string(c.bits)) << name;
        EXPECT_EQ(metaflac("--show-channels", flac), std::to_string(c.channels)) << name;
        EXPECT_EQ(metaflac("--show-total-samples", flac), "3001") << name;
    }
}

TEST_F(Wav2Flac, CommentsPictureAndPaddingInThatOrder) {
    ASSERT_TRUE(sxtest::writeAll(dir.file("art.png"), kPngHead));
    sxtest::TagRecord tag;
    tag.unsetDate();
    sxtest::TagRecord::set(tag.title, "Caf\xC3\xA9");
    sxtest::TagRecord::set(tag.album, "Record");
    sxtest::TagRecord::set(tag.artist, "Someone");
    sxtest::TagRecord::set(tag.genre, "Jazz");
    sxtest::TagRecord::set(tag.comment, "not written");
    sxtest::TagRecord::set(tag.picture, dir.file("art.png"));
    tag.info.trackNo = 7;
    tag.info.totalTracks = 12;  // not written
    tag.info.year = 2014;
    tag.info.month = 5;
    tag.info.day = 9;
    tag.info.hour = 10;
    tag.info.minute = 30;

    const std::string flac = dir.file("tags.flac");
    ASSERT_EQ(exportFlac(smallWav(), flac, &tag.info), kFlacJobOK);
    EXPECT_EQ(blockTypes(flac), (std::vector<std::string>{"STREAMINFO", "VORBIS_COMMENT", "PICTURE", "PADDING"}));
    const std::string list = metaflac("--list", flac);
    EXPECT_NE(list.find("MIME type: image/png"), std::string::npos) << list;
    EXPECT_NE(list.find("type: 1 (PADDING)\n  is last: true\n  length: 4096"), std::string::npos) << list;
    EXPECT_EQ(metaflac("--export-tags-to=-", flac),
              "TITLE=Caf\xC3\xA9\nALBUM=Record\nARTIST=Someone\nGENRE=Jazz\nTRACKNUMBER=7\n"
              "ORIGDATE=2014-5-9\nORIGTIME=10:30");
    EXPECT_EQ(metaflac("--export-picture-to=-", flac), std::string(kPngHead.begin(), kPngHead.end()));
}

// Unset parts of a date get stand-ins; a date or time with nothing set is
// not written.
TEST_F(Wav2Flac, DateAndTimeComments) {
    struct Case {
        int year, month, day, hour, minute;
        const char *tags;
    };
    const Case cases[] = {
        {2014, 0, 0, -1, -1, "ORIGDATE=2014-1"}, {-1, 5, 0, -1, -1, "ORIGDATE=2000-5"},
        {-1, 0, 3, -1, -1, "ORIGDATE=2000-1-3"}, {-1, 0, 0, 0, 0, ""},
        {-1, 0, 0, -1, 30, "ORIGTIME=0:30"},     {-1, 0, 0, 5, -1, "ORIGTIME=5:0"},
    };
    const std::string wav = smallWav();
    for (const Case &c : cases) {
        sxtest::TagRecord tag;
        tag.info.year = c.year;
        tag.info.month = c.month;
        tag.info.day = c.day;
        tag.info.hour = c.hour;
        tag.info.minute = c.minute;
        const std::string flac = dir.file("date.flac");
        ASSERT_EQ(exportFlac(wav, flac, &tag.info), kFlacJobOK) << c.tags;
        EXPECT_EQ(metaflac("--export-tags-to=-", flac), c.tags);
    }
}

TEST_F(Wav2Flac, OnlyPngAndJpegArtBecomesAPicture) {
    ASSERT_TRUE(sxtest::writeAll(dir.file("a.png"), kPngHead));
    ASSERT_TRUE(sxtest::writeAll(dir.file("a.jpg"), kExifHead));
    ASSERT_TRUE(sxtest::writeAll(dir.file("a.gif"), Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}));
    struct Case {
        const char *art;
        const char *mime;  // null: no PICTURE block
    };
    const std::string wav = smallWav();
    for (const Case &c : {Case{"a.png", "image/png"}, Case{"a.jpg", "image/jpeg"}, Case{"a.gif", nullptr},
                          Case{"missing.png", nullptr}}) {
        sxtest::TagRecord tag;
        sxtest::TagRecord::set(tag.picture, dir.file(c.art));
        const std::string flac = dir.file("art.flac");
        ASSERT_EQ(exportFlac(wav, flac, &tag.info), kFlacJobOK) << c.art;
        if (c.mime) {
            EXPECT_EQ(blockTypes(flac),
                      (std::vector<std::string>{"STREAMINFO", "VORBIS_COMMENT", "PICTURE", "PADDING"}));
            EXPECT_NE(metaflac("--list", flac).find(std::string("MIME type: ") + c.mime), std::string::npos) << c.art;
        } else {
            EXPECT_EQ(blockTypes(flac), (std::vector<std::string>{"STREAMINFO", "VORBIS_COMMENT", "PADDING"})) << c.art;
        }
    }
}

TEST_F(Wav2Flac, WavWithoutAudioGivesAStreamOfMetadataOnly) {
    const std::string wav = dir.file("empty.wav"), flac = dir.file("empty.flac");
    jobtest::writeWav(wav, 2, 24, 96000, Bytes());
    ASSERT_EQ(exportFlac(wav, flac), kFlacJobOK);
    EXPECT_EQ(metaflac("--show-total-samples", flac), "0");
    EXPECT_TRUE(jobtest::run("flac -s -t '" + flac + "' 2>/dev/null"));
}

// Sources the job does not take are refused before the destination is
// touched; an abort removes the stream it had begun.
TEST_F(Wav2Flac, RefusalsAndAbortLeaveNoNewFlac) {
    const std::string f32 = dir.file("f32.wav"), i32 = dir.file("i32.wav"), three = dir.file("three.wav");
    jobtest::writeWav(f32, 2, 32, 48000, Bytes(800, 0), 0);
    jobtest::writeWav(i32, 2, 32, 48000, Bytes(800, 0), 1);
    jobtest::writeWav(three, 3, 16, 48000, Bytes(600, 0));
    const std::string fast = dir.file("fast.wav");
    jobtest::writeWav(fast, 2, 16, 705600, Bytes(400, 0));
    ASSERT_TRUE(sxtest::writeAll(dir.file("text.wav"), Bytes(100, 'x')));
    const std::string good = smallWav();

    struct Case {
        const char *what;
        std::string wav;
        bool abort;
        bool keepsOld;  // an existing destination survives
    };
    const Case cases[] = {
        {"32-bit float", f32, false, true},
        {"32-bit integer", i32, false, true},
        {"three channels", three, false, true},
        {"rate beyond FLAC's subset", fast, false, true},
        {"not a WAV", dir.file("text.wav"), false, true},
        {"missing WAV", dir.file("none.wav"), false, true},
        {"aborted", good, true, false},
    };
    for (const Case &c : cases) {
        const std::string flac = dir.file("out.flac");
        ASSERT_TRUE(sxtest::writeAll(flac, Bytes{'o', 'l', 'd'}));
        EXPECT_EQ(exportFlac(c.wav, flac, nullptr, c.abort), kFlacJobFailed) << c.what;
        if (c.keepsOld)
            EXPECT_EQ(sxtest::readAll(flac), (Bytes{'o', 'l', 'd'})) << c.what;
        else
            EXPECT_FALSE(jobtest::exists(flac)) << c.what;
    }
}

TEST(Wav2FlacArt, CheckPicMetadataReadsTheSignature) {
    sxtest::TempDir dir;
    struct Case {
        Bytes head;
        int rc;
        tPicFileType type;
    };
    const Case cases[] = {
        {kPngHead, 0, kPicFilePNG},
        {{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F'}, 0, kPicFileJPEG},
        {kExifHead, 0, kPicFileJPEG},
        {{0xFF, 0xD8, 0xFF, 0xDB, 0, 0x43}, -1, kPicFileNone},  // a JPEG start the check does not know
        {{0x89, 0x50, 0x4E}, -1, kPicFileNone},
        {{}, -1, kPicFileNone},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(sxtest::writeAll(dir.file("p"), c.head));
        sxtest::File f(dir.file("p"), "rb");
        tPicFileType type = kPicFilePNG;
        EXPECT_EQ(checkPicMetadata(f.fp, &type), c.rc);
        EXPECT_EQ(type, c.type);
    }
}

}  // namespace
