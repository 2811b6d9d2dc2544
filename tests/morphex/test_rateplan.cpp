// Rate plans: common rate, factors, cut-off, filter length, delay and block
// sizes for the rate pairs a job meets, the reading window, and the plans
// that must be refused before anything is allocated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "morphex/rateplan.h"

namespace {

constexpr tAudioFileType kWav = kAudioFileWAV, kDsf = kAudioFileDSF, kDff = kAudioFileDSDIFF;

tRatePlanJob job(uint32_t in, uint32_t out, uint32_t srcType, uint32_t outType, bool writing, bool multiTrack = false) {
    tRatePlanJob j;
    j.inRate = in;
    j.outRate = out;
    j.srcType = static_cast<tAudioFileType>(srcType);
    j.outType = static_cast<tAudioFileType>(outType);
    j.writing = writing;
    j.multiTrack = multiTrack;
    j.srcBits = srcType == kWav ? 24 : 1;
    j.srcChannels = 2;
    j.outBits = outType == kWav ? 24 : 1;
    j.outChannels = 2;
    j.start = 0;
    j.end = 10000000;
    j.totalFrames = 20000000;
    return j;
}

struct PlanCase {
    const char *name;
    uint32_t in, out, srcType, outType;
    bool writing, multiTrack;
    uint32_t L, up, down;
    double fc;
    int taps;
    int64_t delay;
    uint32_t outBlock, inBlock;
};

// The first ten rows are the worked plans; the rest follow from the rules.
const PlanCase kPlans[] = {
    {"44k1_48k", 44100, 48000, kWav, kWav, true, false, 7056000, 160, 147, 19845, 4095, 25, 1280, 1176},
    {"44k1_48k_feed", 44100, 48000, kWav, kWav, false, false, 7056000, 160, 147, 19845, 4095, 25, 1280, 1176},
    {"dsd64_44k1", 2822400, 44100, kDsf, kWav, true, false, 2822400, 1, 64, 19845, 2047, 2047, 2940, 188160},
    {"44k1_dsd64", 44100, 2822400, kWav, kDsf, true, false, 2822400, 64, 1, 19845, 2047, 31, 188160, 2940},
    {"dsd64_176k4", 2822400, 176400, kDff, kWav, false, false, 2822400, 1, 16, 79380, 511, 511, 11760, 188160},
    {"dsd64_192k_write", 2822400, 192000, kDsf, kWav, true, false, 28224000, 10, 147, 44100, 8191, 819, 1280, 18816},
    {"dsd64_192k_feed", 2822400, 192000, kDsf, kWav, false, false, 28224000, 10, 147, 86400, 4095, 409, 1280, 18816},
    {"dsd512_44k1", 22579200, 44100, kDff, kWav, true, false, 22579200, 1, 512, 19845, 16383, 16383, 367, 187904},
    {"768k_44k1", 768000, 44100, kWav, kWav, true, false, 112896000, 147, 2560, 19845, 32767, 222, 147,
     2560},  // whole multiples of up
    {"dsd64_dsd64_mixed", 2822400, 2822400, kDsf, kDsf, true, true, 2822400, 1, 1, 88200, 127, 0, 188160, 188160},
    {"96k_96k", 96000, 96000, kWav, kWav, false, false, 96000, 1, 1, 43200, 0, 0, 188160, 188160},
    // Derived from the rules.
    {"48k_44k1", 48000, 44100, kWav, kWav, true, false, 7056000, 147, 160, 19845, 4095, 27, 1176, 1280},
    {"dsd64_88k2_write", 2822400, 88200, kDsf, kWav, true, false, 2822400, 1, 32, 39690, 1023, 1023, 5880, 188160},
    {"dsd64_dsd128_write", 2822400, 5644800, kDsf, kDff, true, false, 5644800, 2, 1, 88200, 255, 144, 188160, 94080},
    {"dsd64_dsd128_feed", 2822400, 5644800, kDsf, kDff, false, false, 5644800, 2, 1, 352800, 63, 48, 188160, 94080},
    {"dsd64_dsd64_mixed_feed", 2822400, 2822400, kDsf, kDsf, false, true, 2822400, 1, 1, 352800, 31, 0, 188160, 188160},
    {"44k1_44k1_mixed", 44100, 44100, kWav, kWav, false, true, 44100, 1, 1, 19845, 31, 31, 188160, 188160},
    {"dsd64_352k8_feed", 2822400, 352800, kDsf, kWav, false, false, 2822400, 1, 8, 158760, 255, 255, 23520, 188160},
};

class RatePlanTable : public ::testing::TestWithParam<PlanCase> {};

TEST_P(RatePlanTable, MatchesThePlan) {
    const PlanCase &c = GetParam();
    tRatePlan p;
    ASSERT_EQ(ratePlanMake(job(c.in, c.out, c.srcType, c.outType, c.writing, c.multiTrack), &p), kRatePlanOk);
    EXPECT_EQ(p.commonRate, c.L);
    EXPECT_EQ(p.up, c.up);
    EXPECT_EQ(p.down, c.down);
    EXPECT_DOUBLE_EQ(p.cutoff, c.fc);
    EXPECT_EQ(p.taps, c.taps);
    EXPECT_EQ(p.delay, c.delay);
    EXPECT_EQ(p.outBlockFrames, c.outBlock);
    EXPECT_EQ(p.inBlockFrames, c.inBlock);
    EXPECT_EQ(p.equalRates, c.up == 1 && c.down == 1);
    EXPECT_EQ(p.gain, isDsdFileType(c.outType) ? 18014398509481984.0 : 1.0);
    EXPECT_EQ(p.fftSize, 0u);
}

INSTANTIATE_TEST_SUITE_P(Pairs, RatePlanTable, ::testing::ValuesIn(kPlans),
                         [](const ::testing::TestParamInfo<PlanCase> &i) { return std::string(i.param.name); });

// Every pair of rates of the rate table gets a plan with non-empty blocks,
// whatever the job.
TEST(RatePlan, EveryPairOfTheRateTableIsPlanned) {
    const uint32_t rates[] = {44100,  48000,  88200,  96000,   176400,  192000,   352800,
                              384000, 705600, 768000, 2822400, 5644800, 11289600, 22579200};
    for (uint32_t in : rates)
        for (uint32_t out : rates)
            for (int variant = 0; variant < 4; ++variant) {
                const uint32_t srcType = in >= 2822400 ? kDsf : kWav;
                const uint32_t outType = out >= 2822400 ? kDff : kWav;
                tRatePlan p;
                ASSERT_EQ(ratePlanMake(job(in, out, srcType, outType, variant & 1, variant & 2), &p), kRatePlanOk)
                    << in << " -> " << out;
                EXPECT_GT(p.outBlockFrames, 0u);
                EXPECT_EQ(p.inBlockFrames, static_cast<uint64_t>(p.outBlockFrames) * p.down / p.up);
                EXPECT_LE(p.taps, 32767);
            }
}

TEST(RatePlan, RefusedPlans) {
    struct Refusal {
        const char *what;
        tRatePlanJob job;
        int code;
    };
    tRatePlanJob offTable = job(44101, 48000, kWav, kWav, true);
    tRatePlanJob wraps = job(4000037, 48000, kWav, kWav, true);  // L = 12,000,111,000 > 2^32
    tRatePlanJob zeroIn = job(0, 48000, kWav, kWav, true);
    tRatePlanJob zeroOut = job(44100, 0, kWav, kWav, true);
    tRatePlanJob zeroChannels = job(44100, 48000, kWav, kWav, true);
    zeroChannels.srcChannels = 0;
    tRatePlanJob zeroBits = job(44100, 48000, kWav, kWav, true);
    zeroBits.srcBits = 0;
    tRatePlanJob zeroOutChannels = job(44100, 48000, kWav, kWav, true);
    zeroOutChannels.outChannels = 0;
    tRatePlanJob zeroOutBits = job(44100, 48000, kWav, kWav, true);
    zeroOutBits.outBits = 0;
    // 188161 decimation steps do not fit one block.
    tRatePlanJob emptyBlock = job(188161, 1, kWav, kWav, true);
    // The FFT method's fixed block cannot hold one step of up x down.
    tRatePlanJob emptyFftBlock = job(768000, 44100, kWav, kWav, true);
    emptyFftBlock.mode = kRatePlanModeFft;
    tRatePlanJob hugeRead = job(44100, 44100, kWav, kWav, true);
    hugeRead.srcChannels = 65535;
    hugeRead.srcBits = 64;

    const Refusal cases[] = {
        {"44101 -> 48000", offTable, kRatePlanRateOutOfRange},
        {"common rate beyond 32 bits", wraps, kRatePlanRateOutOfRange},
        {"source rate 0", zeroIn, kRatePlanZeroRate},
        {"output rate 0", zeroOut, kRatePlanZeroRate},
        {"0 source channels", zeroChannels, kRatePlanBadFormat},
        {"0 source bits", zeroBits, kRatePlanBadFormat},
        {"0 output channels", zeroOutChannels, kRatePlanBadFormat},
        {"0 output bits", zeroOutBits, kRatePlanBadFormat},
        {"block of 0 frames", emptyBlock, kRatePlanEmptyBlock},
        {"FFT block of 0 frames", emptyFftBlock, kRatePlanEmptyBlock},
        {"read beyond 2 GiB", hugeRead, kRatePlanBadFormat},
    };
    for (const Refusal &r : cases) {
        tRatePlan p;
        p.commonRate = 12345;
        EXPECT_EQ(ratePlanMake(r.job, &p), r.code) << r.what;
        EXPECT_EQ(p.commonRate, 12345u) << r.what << ": the plan was touched";
    }
}

TEST(RatePlan, FilterMethodsFixTheLength) {
    tRatePlanJob j = job(44100, 48000, kWav, kWav, true);
    j.mode = kRatePlanModeLongFir;
    tRatePlan p;
    ASSERT_EQ(ratePlanMake(j, &p), kRatePlanOk);
    EXPECT_EQ(p.taps, 32767);
    EXPECT_EQ(p.outBlockFrames, 1280u);
    EXPECT_EQ(p.readBytes, (1176u + 32767u) * 24 * 2 / 8);

    j.mode = kRatePlanModeFft;
    ASSERT_EQ(ratePlanMake(j, &p), kRatePlanOk);
    EXPECT_EQ(p.taps, 18496);
    EXPECT_EQ(p.fftSize, 65536u);
    // 65536 - 18496 = 47040 = 2 x 160 x 147.
    EXPECT_EQ(p.outBlockFrames, 320u);
    EXPECT_EQ(p.inBlockFrames, 294u);
    EXPECT_EQ(p.readBytes, 65536u * 24 * 2 / 8);

    // Equal rates need no filter in either method.
    tRatePlanJob same = job(96000, 96000, kWav, kWav, true);
    same.mode = kRatePlanModeLongFir;
    ASSERT_EQ(ratePlanMake(same, &p), kRatePlanOk);
    EXPECT_EQ(p.taps, 0);
}

TEST(RatePlan, FeedLimitShortensTheBlocks) {
    tRatePlanJob j = job(2822400, 44100, kDsf, kWav, false);
    j.feedLimit = true;
    tRatePlan p;
    ASSERT_EQ(ratePlanMake(j, &p), kRatePlanOk);
    EXPECT_EQ(p.outBlockFrames, 551u);  // 44100 / 80
    EXPECT_EQ(p.inBlockFrames, 551u * 64);
}

TEST(RatePlan, ReadingWindowOfAPcmSource) {
    // 44.1 -> 48 kHz, 24-bit stereo, frames 1000 to 50000 of 100000.
    tRatePlanJob j = job(44100, 48000, kWav, kWav, true);
    j.start = 1000;
    j.end = 50000;
    j.totalFrames = 100000;
    tRatePlan p;
    ASSERT_EQ(ratePlanMake(j, &p), kRatePlanOk);
    EXPECT_EQ(p.countBase, 1000);
    EXPECT_EQ(p.sourceFrames, 49000);
    EXPECT_EQ(p.plannedOutFrames, 49000 * 160 / 147);
    EXPECT_EQ(p.preRoll, 12);               // (4095 / 2) / 160
    EXPECT_EQ(p.readEnd, 50000 + 25 + 12);  // end + delay + pre-roll
    EXPECT_EQ(p.inputFrames, 50037 - 1000);
    EXPECT_EQ(p.filterDelay, 0);
    EXPECT_EQ(p.readBytes, (1176u + 4095u) * 6);
    EXPECT_FALSE(p.largeFile);

    // The end lies within the delay of the file's end: reading stops at the
    // file's end, the range stays the range.
    j.end = 99990;
    ASSERT_EQ(ratePlanMake(j, &p), kRatePlanOk);
    EXPECT_EQ(p.sourceFrames, 98990);
    EXPECT_EQ(p.readEnd, 100000 + 12);
}

TEST(RatePlan, ReadingWindowOfADsdSource) {
    // A DSF source counts from the start of its 32768-frame block.
    tRatePlanJob dsf = job(2822400, 44100, kDsf, kWav, true);
    dsf.start = 40000;
    dsf.end = 100000;
    dsf.totalFrames = 1000000;
    tRatePlanJob dff = dsf;
    dff.srcType = kDff;
    tRatePlan a, b;
    ASSERT_EQ(ratePlanMake(dsf, &a), kRatePlanOk);
    ASSERT_EQ(ratePlanMake(dff, &b), kRatePlanOk);
    EXPECT_EQ(a.countBase, 32768);
    EXPECT_EQ(a.totalFrames, 1000000 - 7232);
    EXPECT_EQ(b.countBase, 40000);
    // A DSD source changing rate reads exactly the range's frames; its
    // filter runs on past the range's end.
    EXPECT_EQ(a.filterDelay, 2047);
    EXPECT_EQ(a.preRoll, 0);
    for (const tRatePlan *q : {&a, &b}) {
        EXPECT_EQ(q->sourceFrames, 60000);
        EXPECT_EQ(q->inputFrames, 60000);
        EXPECT_EQ(q->plannedOutFrames, 60000 / 64);
    }

    // Near and past the file's end the file's last frame is the limit, for
    // every output type: the whole duration is kept.
    for (tAudioFileType out : {kWav, kDsf, kDff}) {
        for (int64_t end : {999000, 2000000}) {
            tRatePlanJob up = job(3072000, out == kWav ? 44100 : 5644800, kDsf, out, true);
            up.start = 40000;
            up.end = end;
            up.totalFrames = 1000000;
            ASSERT_EQ(ratePlanMake(up, &a), kRatePlanOk);
            const int64_t frames = std::min<int64_t>(end, 1000000) - 40000;
            EXPECT_EQ(a.sourceFrames, frames) << out << " " << end;
            EXPECT_EQ(a.inputFrames, frames) << out << " " << end;
            EXPECT_EQ(a.plannedOutFrames, frames * a.up / a.down) << out << " " << end;
        }
    }

    // Equal DSD rates without mixing read exactly the job's frames.
    tRatePlanJob copy = job(2822400, 2822400, kDsf, kDsf, true);
    copy.start = 0;
    copy.end = 800000;
    copy.totalFrames = 1000000;
    ASSERT_EQ(ratePlanMake(copy, &a), kRatePlanOk);
    EXPECT_EQ(a.taps, 0);
    EXPECT_EQ(a.readEnd, 800000);
    EXPECT_EQ(a.filterDelay, 0);

    // Nothing to read is left to the job to report.
    tRatePlanJob late = job(2822400, 44100, kDff, kWav, true);
    late.start = 2000000;
    late.end = 3000000;
    late.totalFrames = 1000000;
    ASSERT_EQ(ratePlanMake(late, &a), kRatePlanOk);
    EXPECT_LE(a.inputFrames, 0);
}

TEST(RatePlan, LargeFileFlagAtFourGiBLessSixtyFourKiB) {
    // Stereo 32-bit at equal rates: 8 bytes per frame.
    tRatePlanJob j = job(96000, 96000, kWav, kWav, true);
    j.outBits = 32;
    j.start = 0;
    j.totalFrames = int64_t(1) << 40;
    j.end = 4294901760 / 8;
    tRatePlan p;
    ASSERT_EQ(ratePlanMake(j, &p), kRatePlanOk);
    EXPECT_TRUE(p.largeFile);
    j.end -= 1;
    ASSERT_EQ(ratePlanMake(j, &p), kRatePlanOk);
    EXPECT_FALSE(p.largeFile);
}

TEST(RatePlan, CommonRateHelpers) {
    EXPECT_EQ(getLcm(0, 48000), 0);
    EXPECT_EQ(getLcm(44100, 44100), 44100);
    EXPECT_EQ(getLcm(44100, 48000), 7056000);
    EXPECT_EQ(getLcm(768000, 44100), 112896000);
    EXPECT_EQ(getLcm(1, 22579200), 22579200);
    EXPECT_EQ(getLcm(-44100, 48000), 0);   // would never end by subtraction
    EXPECT_EQ(getLcm(4000037, 48000), 0);  // does not fit an int
    EXPECT_EQ(getGcd(44100, 48000), 300);
    EXPECT_EQ(getGcd(48000, 48000), 48000);
    EXPECT_EQ(getGcd(0, 5), 0);
    EXPECT_EQ(getGcd(-4, 6), 0);

    EXPECT_EQ(selectSampleUnit(100, 1000, 7, 3), 882u);
    EXPECT_EQ(selectSampleUnit(0, 188160, 160, 147), 188160u);

    // The thresholds of the computed length (PCM: k = 20, s = 3).
    struct Order {
        uint32_t fc, L, up;
        int taps;
    };
    const Order orders[] = {
        {1000, 3999, 1, 31},     // e = 31
        {1000, 4000, 1, 63},     // e = 32
        {1000, 7999, 1, 63},     // e = 63
        {1000, 8000, 1, 127},    // e = 64
        {1, 1023, 1, 8191},      // e = 8184
        {1, 1024, 1, 16383},     // e = 8192
        {1, 2047, 1, 16383},     // e = 16376
        {1, 2048, 1, 32767},     // e = 16384
        {1000000, 1000, 3, 63},  // e = 20 x 3 = 60 < 64
        {0, 10, 1, 127},         // a cut-off of 0 is taken as 1: e = 80
    };
    for (const Order &o : orders)
        EXPECT_EQ(selectFirOrder(0, o.fc, o.L, 0, o.up, kWav, kWav, 0), o.taps) << o.fc << " " << o.L;
    EXPECT_EQ(selectFirOrder(0, 88200, 2822400, 0, 1, kDsf, kDff, 0), 127);  // k = 5, s = 1
    EXPECT_EQ(selectFirOrder(3, 0, 0, 0, 0, 0, 0, 0), 18496);
    EXPECT_EQ(selectFirOrder(2, 0, 0, 0, 0, 0, 0, 0), 32767);
}

}  // namespace

// An export's block advances by exactly the source frames its outputs span
// (in x up = out x down), so blocks join without a phase step and the
// output keeps the source's time base, also between the rate families.
TEST(RatePlan, ExportBlocksSpanWholeSourceFrames) {
    struct Pair {
        uint32_t in, out;
        tAudioFileType src, dst;
    } pairs[] = {
        {3072000, 44100, kDsf, kWav},   {3072000, 88200, kDff, kWav}, {3072000, 176400, kDsf, kWav},
        {3072000, 2822400, kDsf, kDsf}, {2822400, 48000, kDsf, kWav}, {44100, 48000, kWav, kWav},
        {48000, 44100, kWav, kWav},     {96000, 352800, kWav, kWav},  {44100, 2822400, kWav, kDsf},
    };
    for (const Pair &q : pairs) {
        tRatePlanJob j = job(q.in, q.out, q.src, q.dst, true);
        j.start = 0;
        j.end = 10000000;
        j.totalFrames = 10000000;
        tRatePlan p;
        ASSERT_EQ(ratePlanMake(j, &p), kRatePlanOk) << q.in << " -> " << q.out;
        EXPECT_EQ(uint64_t(p.inBlockFrames) * p.up, uint64_t(p.outBlockFrames) * p.down) << q.in << " -> " << q.out;
    }
}
