// A feed job's record without a window: the file description's arithmetic,
// the output format at a play rate, the start delay in samples, the
// short-file limit and the job part of the record.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "app/jobrecord.h"
#include "morphex/fileinfo.h"

namespace {

tAudioFileInfoAFile described(uint32_t rate, uint32_t bits, uint32_t channels, uint64_t bytes) {
    tAudioFileInfoAFile lib;
    lib.sampleRate = rate;
    lib.bitsPerSample = bits;
    lib.channels = channels;
    lib.dataOffset = 44;
    lib.dataBytesHigh = uint32_t(bytes >> 32);
    lib.dataBytesLow = uint32_t(bytes);
    lib.fileType = 3;
    lib.formatTag = 7;
    lib.startSample = 123;
    return lib;
}

}  // namespace

TEST(JobRecord, FileInfoSamplesAndSeconds) {
    struct Case {
        uint32_t rate, bits, channels;
        uint64_t bytes;
        uint64_t samples, seconds;
    };
    const Case cases[] = {
        // 16-bit stereo at 44.1 kHz, one minute.
        {44100, 16, 2, 44100ull * 4 * 60, 44100ull * 60, 60},
        // One-channel DSD: every byte is eight samples.
        {2822400, 1, 1, 1000, 8000, 0},
        // Stereo DSD, more than 4 GiB of data: the high word counts.
        {2822400, 1, 2, (5ull << 32) + 6, ((5ull << 32) + 6) * 4, ((5ull << 32) + 6) * 4 / 2822400},
        // 24-bit stereo: 6 bytes a frame; a partial frame is dropped.
        {96000, 24, 2, 6 * 96000 + 5, 96000, 1},
    };
    for (const Case &c : cases) {
        tAudioFileInfo info;
        ASSERT_EQ(jobRecord_fileInfo(described(c.rate, c.bits, c.channels, c.bytes), &info), 0);
        EXPECT_EQ(info.dataBytes, c.bytes);
        EXPECT_EQ(info.totalSamples, c.samples) << c.rate << " " << c.bits << " " << c.channels;
        EXPECT_EQ(info.seconds, c.seconds);
        EXPECT_EQ(info.sampleRate, c.rate);
        EXPECT_EQ(info.dataOffset, 44u);
        EXPECT_EQ(info.fileType, 3u);
        EXPECT_EQ(info.formatTag, 7u);
        EXPECT_EQ(info.startSample, 123u);
    }
}

TEST(JobRecord, FileInfoWithoutFormatIsRefusedAndLeavesTheOldInfo) {
    // A zero divisor is reported as a file without a usable format, and the
    // previous description stays whole.
    const tAudioFileInfoAFile bad[] = {
        described(44100, 0, 2, 1000),
        described(44100, 16, 0, 1000),
        described(0, 16, 2, 1000),
    };
    for (const tAudioFileInfoAFile &lib : bad) {
        tAudioFileInfo info;
        info.sampleRate = 48000;
        info.totalSamples = 777;
        info.seconds = 9;
        EXPECT_EQ(jobRecord_fileInfo(lib, &info), kFileInfoErrFmt);
        EXPECT_EQ(info.sampleRate, 48000u);
        EXPECT_EQ(info.totalSamples, 777u);
        EXPECT_EQ(info.seconds, 9u);
    }
}

TEST(JobRecord, FeedFormatFollowsThePlayRate) {
    struct Case {
        int32_t playFs;
        uint32_t fileType, bits;
        const char16_t *dst;
    };
    const Case cases[] = {
        {44100, 0, 24, u"converted.wav"},
        {2822399, 0, 24, u"converted.wav"},
        {2822400, 3, 1, u"converted.dff"},
        {22579200, 3, 1, u"converted.dff"},
    };
    for (const Case &c : cases) {
        tMorphexParam p;
        p.option = 5;
        p.mode = 3;
        jobRecord_setFeedFormat(&p, c.playFs, 17);
        EXPECT_EQ(p.fileType, c.fileType) << c.playFs;
        EXPECT_EQ(p.bits, c.bits) << c.playFs;
        EXPECT_TRUE(p.dstPath == c.dst) << c.playFs;
        EXPECT_EQ(p.rateIndex, 17u);
        EXPECT_EQ(p.outChannels, 2u);
        EXPECT_EQ(p.option, 0u);
        EXPECT_EQ(p.mode, 0u);
    }
}

TEST(JobRecord, StartOffsetAndShortFile) {
    EXPECT_EQ(jobRecord_startOffset(96000, 500.0), 48000);
    EXPECT_EQ(jobRecord_startOffset(44100, 0.0), 0);
    EXPECT_EQ(jobRecord_startOffset(44100, 500.0), 22050);
    // Truncated toward zero: 44.1 samples a millisecond.
    EXPECT_EQ(jobRecord_startOffset(44100, 1.0), 44);
    EXPECT_EQ(jobRecord_startOffset(44100, -1.0), -44);

    EXPECT_TRUE(jobRecord_isShortFile(0));
    EXPECT_TRUE(jobRecord_isShortFile(900));
    EXPECT_FALSE(jobRecord_isShortFile(901));
}

TEST(JobRecord, FeedJobPart) {
    tAudioFileInfo info;
    info.sampleRate = 96000;
    info.totalSamples = 960000;
    tPEQ peq;

    tMorphexParam p;
    jobRecord_setFeedFormat(&p, 96000, 3);
    p.srcChannels = 2;
    // Left-overs of an earlier job that must not leak into this one.
    p.panVol[5] = 3.0;
    p.progress = 100;
    p.com.command = kMorphexComWriteFile | kMorphexComEndBit;
    p.com.ringBlocks = 64;
    p.com.rightPass = 1;
    p.com.multiTrack = 1;
    p.com.modResult1 = 9;

    tJobRecordFeed feed;
    feed.track = 4;
    feed.cursorSample = 0;
    feed.delayMs = 500.0;
    feed.peq = &peq;
    feed.dither = 2;
    jobRecord_fillFeed(&p, info, feed);

    const double unity[kPanVolEntries] = {1, 0, 0, 1};
    EXPECT_EQ(std::memcmp(p.panVol, unity, sizeof unity), 0);
    EXPECT_EQ(p.fileCount, 1);
    EXPECT_EQ(p.progress, 0);
    EXPECT_EQ(p.com.command, uint32_t(kMorphexComFeedOnly));
    EXPECT_EQ(p.com.track, 4u);
    EXPECT_EQ(p.startOffset, 48000);
    EXPECT_EQ(p.com.startSample, -48000);
    EXPECT_EQ(p.com.endSample, 960000);
    EXPECT_EQ(p.com.peq, &peq);
    EXPECT_EQ(p.com.dither, 2u);
    EXPECT_EQ(p.com.ringBlocks, 0);
    EXPECT_EQ(p.com.rightPass, 0);
    EXPECT_EQ(p.com.multiTrack, 0);
    EXPECT_EQ(p.com.modResult1, 0u);
    // The format half stays.
    EXPECT_EQ(p.rateIndex, 3u);
    EXPECT_EQ(p.bits, 24u);
    EXPECT_EQ(p.srcChannels, 2u);
    EXPECT_EQ(p.outChannels, 2u);

    // Without a delay the job starts at the cursor.
    feed.delayMs = 0.0;
    feed.cursorSample = 12345;
    jobRecord_fillFeed(&p, info, feed);
    EXPECT_EQ(p.startOffset, 0);
    EXPECT_EQ(p.com.startSample, 12345);
}
