// The FLAC import job against FLAC files made by the reference encoder
// (flac), checked sample by sample and with sox.
#include <gtest/gtest.h>

#include <cstring>

#include "audiofile/jobs/flac2wav.h"
#include "jobtestutil.h"
#include "tagrecord.h"

namespace {

using jobtest::Bytes;
using jobtest::q;

// A 1x1 PNG image.
const Bytes kPng = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
                    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
                    0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78,
                    0x9C, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01, 0x0D, 0x0A, 0x2D, 0xB4, 0x00,
                    0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

class Flac2Wav : public ::testing::Test {
protected:
    // Encodes frames of integer samples with flac; returns the samples.
    std::vector<int32_t> makeFlac(const std::string &name, uint16_t channels, uint16_t bits, size_t frames,
                                  const std::string &flacArgs = "") {
        std::vector<int32_t> ints = jobtest::intSamples(frames * channels, bits, 11u + channels + bits);
        const std::string wav = dir.file(name + ".wav");
        jobtest::writeWav(wav, channels, bits, 96000, jobtest::packInts(ints, bits));
        EXPECT_TRUE(jobtest::run("cd '" + dir.path() + "' && flac -s -f " + flacArgs + " -o '" + name + ".flac' '" +
                                 name + ".wav' 2>/dev/null"));
        return ints;
    }

    int import(const std::string &flac, const std::string &wav, tID3tagInfo *tag = nullptr, bool abortFirst = false) {
        ClassFlac2Wav job;
        std::atomic<bool> abort{abortFirst};
        progress = 0;
        info = tFlacFileInfo{};
        return job.apply(q(flac), q(wav), &abort, &progress, tag, &info);
    }

    sxtest::TempDir dir;
    int progress = 0;
    tFlacFileInfo info{};
};

TEST_F(Flac2Wav, TwentyFourBitStereoBecomesFloatWavWithTagsAndPicture) {
    ASSERT_TRUE(sxtest::writeAll(dir.file("art.png"), kPng));
    const size_t frames = 5000;
    // A lower-case key is a different key; the "3/12" track number is not a number.
    const std::vector<int32_t> ints =
        makeFlac("song", 2, 24, frames,
                 "--tag='TITLE=Caf\xC3\xA9' --tag=ARTIST=Someone --tag=ALBUM=Record --tag=GENRE=Jazz "
                 "--tag=TRACKNUMBER=3/12 --tag=TOTALTRACKS=12 --tag=ORIGDATE=2014-05 --tag=ORIGTIME=10:30 "
                 "--tag=title=lower --picture=art.png");

    sxtest::TagRecord tag;
    tag.unsetDate();
    tag.info.day = 17;
    sxtest::TagRecord::set(tag.picture, dir.file("cover.png"));
    const std::string out = dir.file("song-out.wav");
    ASSERT_EQ(import(dir.file("song.flac"), out, &tag.info), kFlacJobOK);
    EXPECT_EQ(progress, 100);
    EXPECT_EQ(info.totalSamples, frames);
    EXPECT_EQ(info.sampleRate, 96000u);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.bitsPerSample, 24u);

    const jobtest::WavContent w = jobtest::readWav(out);
    EXPECT_EQ(w.kind, kRiffStatusRIFF);
    EXPECT_EQ(w.formatTag, 3);
    EXPECT_EQ(w.bits, 64u);
    EXPECT_EQ(w.channels, 2u);
    EXPECT_EQ(w.rate, 96000u);
    ASSERT_EQ(w.audio.size(), frames * 2 * 8);
    for (size_t i = 0; i < ints.size(); ++i) {
        double d;
        std::memcpy(&d, w.audio.data() + 8 * i, 8);
        ASSERT_EQ(d, ints[i] / 8388608.0) << "sample " << i;
    }
    EXPECT_EQ(sxtest::commandOutput("sox --i -b '" + out + "' 2>/dev/null"), "64");
    EXPECT_EQ(sxtest::commandOutput("sox --i -e '" + out + "' 2>/dev/null"), "Floating Point PCM");

    EXPECT_EQ(sxtest::s16(tag.info.title), u"Caf\u00e9");
    EXPECT_EQ(sxtest::s16(tag.info.artist), u"Someone");
    EXPECT_EQ(sxtest::s16(tag.info.album), u"Record");
    EXPECT_EQ(sxtest::s16(tag.info.genre), u"Jazz");
    EXPECT_EQ(tag.info.trackNo, 0);
    EXPECT_EQ(tag.info.totalTracks, 12);
    EXPECT_EQ(tag.info.year, 2014);
    EXPECT_EQ(tag.info.month, 5);
    EXPECT_EQ(tag.info.day, 17);  // no third date part
    EXPECT_EQ(tag.info.hour, 10);
    EXPECT_EQ(tag.info.minute, 30);
    EXPECT_EQ(tag.info.hasPicture, 1);
    EXPECT_EQ(sxtest::readAll(dir.file("cover.png")), kPng);
}

TEST_F(Flac2Wav, MonoIsDecodedThroughTheOneChannelPath) {
    const std::vector<int32_t> ints = makeFlac("mono", 1, 16, 3001);
    const std::string out = dir.file("mono-out.wav");
    ASSERT_EQ(import(dir.file("mono.flac"), out), kFlacJobOK);
    const jobtest::WavContent w = jobtest::readWav(out);
    EXPECT_EQ(w.channels, 1u);
    EXPECT_EQ(w.bits, 64u);
    ASSERT_EQ(w.audio.size(), ints.size() * 8);
    for (size_t i = 0; i < ints.size(); ++i) {
        double d;
        std::memcpy(&d, w.audio.data() + 8 * i, 8);
        ASSERT_EQ(d, ints[i] / 32768.0) << "sample " << i;
    }
    EXPECT_EQ(info.channels, 1u);
}

// A stream that does not state its length is decoded whole; its size is
// unknown when the header is written, so the header is RF64.
TEST_F(Flac2Wav, UnstatedLengthIsDecodedWholeIntoRf64) {
    const size_t frames = 9000;
    const std::vector<int32_t> ints = makeFlac("open", 2, 16, frames);
    Bytes b = sxtest::readAll(dir.file("open.flac"));
    ASSERT_EQ(sxtest::str(b, 0, 4), "fLaC");
    // STREAMINFO's 36-bit total: the low nibble of byte 21 and bytes 22..25.
    b[21] &= 0xF0;
    std::fill(b.begin() + 22, b.begin() + 26, 0);
    ASSERT_TRUE(sxtest::writeAll(dir.file("open.flac"), b));

    const std::string out = dir.file("open-out.wav");
    ASSERT_EQ(import(dir.file("open.flac"), out), kFlacJobOK);
    EXPECT_EQ(info.totalSamples, frames);
    const jobtest::WavContent w = jobtest::readWav(out);
    EXPECT_EQ(w.kind, kRiffStatusRF64);
    ASSERT_EQ(w.audio.size(), ints.size() * 8);
    double last;
    std::memcpy(&last, w.audio.data() + w.audio.size() - 8, 8);
    EXPECT_EQ(last, ints.back() / 32768.0);
    EXPECT_EQ(sxtest::commandOutput("sox --i -s '" + out + "' 2>/dev/null"), std::to_string(frames));
}

// Where the metadata blocks of a FLAC image end (the first frame's
// offset), and the offset of the last block's header.
size_t metadataEnd(const Bytes &b, size_t *lastHeader) {
    size_t p = 4;
    for (;;) {
        const size_t n = (size_t(b[p + 1]) << 16) | (size_t(b[p + 2]) << 8) | b[p + 3];
        *lastHeader = p;
        const bool last = (b[p] & 0x80) != 0;
        p += 4 + n;
        if (last) return p;
    }
}

// STREAMINFO's 36-bit total of samples set to 0: the length is not stated,
// as flac writes it to a pipe.
void unstate(Bytes &b) {
    b[21] &= 0xF0;
    std::fill(b.begin() + 22, b.begin() + 26, 0);
}

// Every failure says so and leaves no WAV file behind.
TEST_F(Flac2Wav, FailuresReturnMinusOneAndLeaveNoWav) {
    makeFlac("good", 2, 16, 10000);
    makeFlac("three", 3, 16, 100, "--channel-map=none");
    const Bytes good = sxtest::readAll(dir.file("good.flac"));
    ASSERT_GT(good.size(), 1000u);
    ASSERT_TRUE(sxtest::writeAll(dir.file("text.flac"), Bytes(5000, 'x')));
    ASSERT_TRUE(sxtest::writeAll(dir.file("cut.flac"), Bytes(good.begin(), good.begin() + good.size() * 6 / 10)));
    Bytes damaged = good;
    damaged[damaged.size() * 7 / 10] ^= 0x5A;
    ASSERT_TRUE(sxtest::writeAll(dir.file("damaged.flac"), damaged));

    // Streams that decode no audio, or not faithfully. Without a stated
    // length, reaching the end of the stream is no proof of a whole import:
    // only audio decoded is.
    size_t lastHeader = 0;
    const size_t audioAt = metadataEnd(good, &lastHeader);
    ASSERT_LT(audioAt, good.size());
    Bytes open = good;
    unstate(open);
    Bytes swallowing = open;  // the last metadata block claims every frame and more
    swallowing[lastHeader + 1] = swallowing[lastHeader + 2] = swallowing[lastHeader + 3] = 0xFF;
    ASSERT_TRUE(sxtest::writeAll(dir.file("swallow.flac"), swallowing));
    Bytes pastEnd = open;  // the metadata runs past the end of the file
    pastEnd.resize(audioAt + 100);
    pastEnd[lastHeader + 1] = 0x01;
    ASSERT_TRUE(sxtest::writeAll(dir.file("pastend.flac"), pastEnd));
    ASSERT_TRUE(sxtest::writeAll(dir.file("metacut.flac"), Bytes(open.begin(), open.begin() + long(lastHeader) + 2)));
    Bytes noSync = open;  // every frame lost to sync errors
    std::fill(noSync.begin() + long(audioAt), noSync.end(), 0x00);
    ASSERT_TRUE(sxtest::writeAll(dir.file("nosync.flac"), noSync));
    // STREAMINFO fields out of range, with the length stated: 1 bit per
    // sample (the 5-bit field holds bits - 1), and a rate of 0.
    Bytes oneBit = good;
    oneBit[20] &= 0xFE;
    oneBit[21] &= 0x0F;
    ASSERT_TRUE(sxtest::writeAll(dir.file("onebit.flac"), oneBit));
    Bytes noRate = good;
    noRate[18] = noRate[19] = 0;
    noRate[20] &= 0x0F;
    ASSERT_TRUE(sxtest::writeAll(dir.file("norate.flac"), noRate));

    struct Case {
        const char *what;
        std::string flac;
        std::string wav;
        bool abort;
    };
    const Case cases[] = {
        {"not FLAC", dir.file("text.flac"), dir.file("a.wav"), false},
        {"truncated", dir.file("cut.flac"), dir.file("b.wav"), false},
        {"damaged frame", dir.file("damaged.flac"), dir.file("c.wav"), false},
        {"three channels", dir.file("three.flac"), dir.file("d.wav"), false},
        {"missing source", dir.file("none.flac"), dir.file("e.wav"), false},
        {"aborted", dir.file("good.flac"), dir.file("f.wav"), true},
        {"WAV not creatable", dir.file("good.flac"), dir.file("no/such/folder.wav"), false},
        {"no length, metadata swallows the frames", dir.file("swallow.flac"), dir.file("g.wav"), false},
        {"no length, metadata past the end", dir.file("pastend.flac"), dir.file("h.wav"), false},
        {"no length, cut inside the metadata", dir.file("metacut.flac"), dir.file("i.wav"), false},
        {"no length, every frame lost", dir.file("nosync.flac"), dir.file("j.wav"), false},
        {"1 bit per sample", dir.file("onebit.flac"), dir.file("k.wav"), false},
        {"rate 0", dir.file("norate.flac"), dir.file("l.wav"), false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(import(c.flac, c.wav, nullptr, c.abort), kFlacJobFailed) << c.what;
        EXPECT_FALSE(jobtest::exists(c.wav)) << c.what;
    }
}

TEST_F(Flac2Wav, PictureThatCannotBeWrittenLeavesTheFlag) {
    ASSERT_TRUE(sxtest::writeAll(dir.file("art.png"), kPng));
    makeFlac("pic", 1, 16, 100, "--picture=art.png");
    sxtest::TagRecord tag;
    sxtest::TagRecord::set(tag.picture, dir.file("no/such/folder/cover.png"));
    tag.info.hasPicture = 0;
    EXPECT_EQ(import(dir.file("pic.flac"), dir.file("pic.wav"), &tag.info), kFlacJobOK);
    EXPECT_EQ(tag.info.hasPicture, 0);
}

}  // namespace
