// The playback producer: the block callback that publishes a track's ring
// and holds the producer back, the job-end and error callbacks, and the
// job set-up of ClassMorphex::apply (run against a stand-in for the
// library's morphexert).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "engine/dsdoutput.h"
#include "engine/engineparams.h"
#include "engine/playbackproducer.h"
#include "enginetestutil.h"

namespace {

using engtest::waitFor;

constexpr int kB = 1280;  // frames per ring block in these tests
constexpr int kPcmBlockBytes = kB * 16;

double *gBlocks[kRingBlocks];
unsigned char *gDsd[2 * kRingBlocks];

int publish(uint64_t produced, tMorphexCom *com, int track = 0, int rate = 48000, int blockBytes = kPcmBlockBytes,
            int filterLen = 0) {
    return CMorphexCallback::convert1blockFin(produced, kB, kB, 0, blockBytes, gBlocks, gDsd, filterLen, track, rate,
                                              &com->command);
}

class ProducerTest : public ::testing::Test {
protected:
    engtest::FreshEngine mEngine;
    void SetUp() override { com.command = kMorphexComFeedOnly; }
    tMorphexCom com;
};

TEST_F(ProducerTest, PublishesTheRingAndItsGeometry) {
    struct Row {
        int rate, blockBytes, filterLen;
        int ringFrames, delay;
    } rows[] = {
        {48000, kPcmBlockBytes, 0, kB, 17},
        {705600, 188160 * 16, 255, 188160, 127 + 17},
        {2822400, 23520, 256, 188160, 127 + 17},
        {22579200, 2940, 1, 23520, 17},
    };
    engine().engineStatus = kEnginePlaying;
    for (const Row &row : rows) {
        ASSERT_EQ(publish(1000, &com, 7, row.rate, row.blockBytes, row.filterLen), 0);
        EXPECT_EQ(engine().ringBlockFrames.load(), row.ringFrames) << row.rate;
        EXPECT_EQ(engine().delayConvFir.load(), row.delay) << row.rate;
        EXPECT_EQ(engine().delayConvFirMute.load(), 17);
        EXPECT_EQ(engine().convFirLen.load(), row.filterLen);
    }
    EXPECT_EQ(engine().producedCount[7].load(), 1000);
    EXPECT_EQ(engine().trackPcmBlocks[7].load(), gBlocks);
    EXPECT_EQ(engine().trackDsdBlocks[7].load(), gDsd);
    EXPECT_EQ(engine().trackBlockFrames[7].load(), kB);
    EXPECT_EQ(engine().firstConverted[7].load(), 1);
    EXPECT_EQ(engine().testCount[7].load(), 4);
    EXPECT_EQ(engine().convertPath[7].load(), kConvPathReturned);
}

TEST_F(ProducerTest, HeldOneSamplePastSixtyThreeBlocksAndPassesAtSixtyThree) {
    engine().engineStatus = kEnginePlaying;
    engine().consumedCount[0] = 0;
    EXPECT_EQ(publish(63 * kB, &com), 0);
    EXPECT_EQ(engine().convertPath[0].load(), kConvPathReturned) << "exactly 63 blocks ahead never waits";

    auto held = std::async(std::launch::async, [&] { return publish(63 * kB + 1, &com); });
    ASSERT_TRUE(waitFor([] { return engine().convertPath[0].load() == kConvPathWaitPlay; }));
    EXPECT_EQ(held.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    engine().consumedCount[0] = 1;  // the consumer took one sample
    ASSERT_EQ(held.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(held.get(), 0);
    EXPECT_EQ(engine().convertPath[0].load(), kConvPathReturned);
}

TEST_F(ProducerTest, AStopWhileHeldEndsTheJob) {
    engine().engineStatus = kEnginePlaying;
    engine().stopRequest = true;
    auto held = std::async(std::launch::async, [&] { return publish(64 * kB, &com); });
    ASSERT_TRUE(waitFor([] { return engine().convertPath[0].load() == kConvPathWaitPlay; }));
    engine().engineStatus = kEngineStopped;
    ASSERT_EQ(held.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(held.get(), -1);
    EXPECT_FALSE(engine().stopRequest.load());
    EXPECT_EQ(com.command, 0u) << "bit 1 of the command word is cleared";
    EXPECT_EQ(engine().convertPath[0].load(), kConvPathEnded);
}

TEST_F(ProducerTest, TheFirstBlockOfAPlayJobStartsTheEngineOnce) {
    engine().startMode = kStartPlay;
    ASSERT_EQ(publish(kB, &com), 0);
    EXPECT_EQ(engine().engineStatus.load(), kEnginePlaying);
    EXPECT_EQ(engine().playRequest.load(), 1);
    EXPECT_EQ(engine().startMode.load(), kStartNone);
    EXPECT_TRUE(engine().playStarted.exchange(false));
    ASSERT_EQ(publish(2 * kB, &com), 0);
    EXPECT_FALSE(engine().playStarted.load());
}

TEST_F(ProducerTest, AMixDownFeedIsPacedByTheBouncedCount) {
    engine().startMode = kStartBounce;
    ASSERT_EQ(publish(kB, &com, 2), 0);
    EXPECT_EQ(engine().engineStatus.load(), kEngineBounceFeed);
    EXPECT_EQ(engine().startMode.load(), kStartNone);
    EXPECT_EQ(engine().diff1[2].load(), kB);
    EXPECT_EQ(engine().diff2[2].load(), 63 * kB);

    auto held = std::async(std::launch::async, [&] { return publish(65 * kB, &com, 2); });
    ASSERT_TRUE(waitFor([] { return engine().convertPath[2].load() == kConvPathWaitBounce; }));
    engine().bouncedCount[2] = 2 * kB;
    ASSERT_EQ(held.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(held.get(), 0);
    EXPECT_EQ(engine().diff1[2].load(), 63 * kB);
}

TEST_F(ProducerTest, AFileJobIsOnlyAskedWhetherToGoOn) {
    std::optional<engtest::FreshEngine> fresh;
    for (uint32_t word : {uint32_t(kMorphexComWriteFile), uint32_t(kMorphexComWriteFile | kMorphexComEndBit)}) {
        fresh.emplace();
        com.command = word;
        engine().engineStatus = kEnginePlaying;
        EXPECT_EQ(publish(100 * kB, &com, 1), 0) << "an export is never held by the ring";
        EXPECT_EQ(engine().producedCount[1].load(), 0) << "nothing is published";
        EXPECT_EQ(engine().firstConverted[1].load(), 1);
        engine().convAbort = true;
        EXPECT_EQ(publish(101 * kB, &com, 1), -1);
        EXPECT_FALSE(engine().convAbort.load());
    }
}

TEST_F(ProducerTest, AFeedWithNoConsumerEnds) {
    // Neither playing nor feeding a mix-down: the job has no reader.
    EXPECT_EQ(publish(kB, &com), -1);
    EXPECT_EQ(publish(kB, &com, 31, 48000, kPcmBlockBytes, 0), -1);
    EXPECT_EQ(CMorphexCallback::convert1blockFin(kB, kB, kB, 0, kPcmBlockBytes, gBlocks, gDsd, 0, kMaxTracks, 48000,
                                                 &com.command),
              -1)
        << "a track slot beyond the table cancels";
}

TEST_F(ProducerTest, JobEndCallback) {
    struct Row {
        int32_t status;
        bool finished;
        int result;
        bool bounceEnd;
    } rows[] = {
        {kEnginePlaying, false, 0, false},
        {kEngineBounceFeed, false, 0, true},
        {kEngineBounceFeed, true, -1, true},
        {kEngineStopped, false, -1, false},
    };
    std::optional<engtest::FreshEngine> fresh;
    for (const Row &row : rows) {
        fresh.emplace();
        engine().engineStatus = row.status;
        engine().bounceFinished = row.finished;
        EXPECT_EQ(checkPlayStatus(3), row.result) << row.status;
        EXPECT_TRUE(engine().jobEnded[3].load());
        EXPECT_EQ(engine().bounceEnded[3].load(), row.bounceEnd) << row.status;
        EXPECT_EQ(getBounceFlag(3), row.bounceEnd ? 1 : 0);

        // The export window's poll answers the same without waiting and
        // without ending the job.
        fresh.emplace();
        engine().engineStatus = row.status;
        engine().bounceFinished = row.finished;
        EXPECT_EQ(checkPlayStatusDo(3), row.result) << row.status;
        EXPECT_FALSE(engine().jobEnded[3].load());
        EXPECT_EQ(engine().bounceEnded[3].load(), row.bounceEnd) << row.status;
    }
    clearBounceParam();
    EXPECT_FALSE(engine().jobEnded[3].load());
    EXPECT_EQ(getBounceFlag(3), 0);
}

TEST_F(ProducerTest, ErrorCallbackWaitsForTheMixer) {
    engine().mixBusy[4] = true;
    auto waiting = std::async(std::launch::async, [] { return morphexErrCallback(4); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(80)), std::future_status::timeout);
    engine().mixBusy[4] = false;
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), 0);
}

// ---- Job set-up --------------------------------------------------------------

TEST(JobRateSetUp, SmootherSpliceAndAnalysisRatePerRateIndex) {
    struct Row {
        uint32_t rateIndex, srcRate;
        int32_t meterInterval;
        int32_t playFs, analysisRate, splice;
        double fadeTime, fadeSteps;  // the fade smoother's glide
        double mutePatCoef;          // the modulator's level smoothing
        bool truncated;
    } rows[] = {
        {17, 44100, 32, 5644800, 176400, 8, 0.03, 11289, 0.9998912292187274, true},
        {16, 44100, 16, 2822400, 176400, 4, 0.03, 5644, 0.9997824702678942, true},
        {16, 38400, 16, 2822400, 176400, 4, 0.03, 5644, 0.9997824702678942, true},
        {16, 32000, 16, 2822400, 176400, 8, 0.03, 5644, 0.9997824702678942, true},
        {16, 2822400, 0, 2822400, 2822400, 4, 0.03, 5644, 0.9997824702678942, true},  // an interval of 0 becomes 1
        {19, 2822400, 128, 22579200, 176400, 8, 0.03, 45158, 0.9999728061954726, true},
        {0, 44100, 1, 44100, 44100, 8, 0.01, 44100, 0.9947923139348415, false},
        {9, 2822400, 4, 768000, 192000, 8, 0.01, 768000, 0.9997002291665315, true},  // DSD source to PCM
    };
    for (const Row &row : rows) {
        engine().meterFirInterval = row.meterInterval;
        tMorphexCom com;
        com.startSample = 1001;
        com.endSample = 2015;
        const tJobRateSetUp s = ClassMorphex::setUpJobRate(row.rateIndex, row.srcRate, &com);
        engineApplyOutputRequests();  // the device's next buffer
        SCOPED_TRACE(testing::Message() << "rate index " << row.rateIndex << ", source " << row.srcRate);
        EXPECT_EQ(s.playFs, row.playFs);
        EXPECT_EQ(engine().playFs.load(), row.playFs);
        EXPECT_EQ(s.analysisRate, row.analysisRate);
        EXPECT_EQ(s.spliceLength, row.splice);
        EXPECT_EQ(engine().dsm5th.mCompareLenSet, row.splice);
        EXPECT_EQ(engine().fadeVolLpf.mCoefA[0], lpf::coefFor(row.fadeTime, row.fadeSteps));
        EXPECT_EQ(engine().dsm5th.mMutePatVolCoef[0], row.mutePatCoef);
        EXPECT_EQ(engine().dsm5th.mMutePatVolCoef[1], row.mutePatCoef);
        EXPECT_EQ(com.startSample, row.truncated ? 1000 : 1001);
        EXPECT_EQ(com.endSample, row.truncated ? 2008 : 2015);
    }
    engine().meterFirInterval = 1;
}

TEST(JobRateSetUp, PureDsdSurvivesOnlyAnUnconvertedDsdRate) {
    struct Row {
        uint32_t rateIndex, srcRate;
        bool pure;
    } rows[] = {
        {16, 2822400, true}, {17, 5644800, true}, {16, 5644800, false}, {17, 44100, false}, {5, 192000, false},
    };
    for (const Row &row : rows) {
        engine().dsdPure = true;
        (void)ClassMorphex::setUpJobRate(row.rateIndex, row.srcRate, nullptr);
        EXPECT_EQ(engine().dsdPure.load(), row.pure) << row.rateIndex << " " << row.srcRate;
        EXPECT_EQ(engine().dsdPureJob.load(), row.pure) << row.rateIndex << " " << row.srcRate;
    }
}

// Every row of the play-rate table: the PCM rates at indices 0 to 9, the DSD
// rates at 16 to 19, and 1 (never a divisor of 0) wherever no rate is.
TEST(JobRateSetUp, EveryRateIndexGivesItsDeviceRate) {
    const int32_t expected[24] = {44100,   48000,   88200,    96000,    176400, 192000, 352800, 384000,
                                  705600,  768000,  1,        1,        1,      1,      1,      1,
                                  2822400, 5644800, 11289600, 22579200, 1,      1,      1,      1};
    for (uint32_t i = 0; i < 24; ++i) EXPECT_EQ(ClassMorphex::playFsOfRateIndex(i), expected[i]) << "index " << i;
    EXPECT_EQ(ClassMorphex::playFsOfRateIndex(24), 1) << "an index beyond the table";
    EXPECT_EQ(ClassMorphex::playFsOfRateIndex(4000), 1);
}

TEST(JobSetUp, AutomationFlag) {
    auto item = [](int64_t start, double level, int32_t direction = 0) {
        tDspVolItem v;
        v.start = start;
        v.level = level;
        v.direction = direction;
        return v;
    };
    const tDspVolItem end = item(kDspVolEnd, 0.0);
    struct Row {
        std::vector<tDspVolItem> items;
        bool active;
    } rows[] = {
        {{item(0, 0.0), item(1000, 0.0, 1), item(1500, 1.0), item(9000, 1.0, -1), item(9500, 0.0), end}, true},
        {{item(0, 1.0), item(100, 1.0, 1), item(200, 1.0), end}, false},
        {{item(0, 0.5), end}, true},
        {{item(0, 1.0), item(100, 0.0), end}, false},   // a jump without a ramp into it
        {{item(0, 0.0, 1), item(0, 1.0), end}, false},  // a ramp of no length
        {{item(0, 1.0), end, item(50, 0.5)}, false},    // nothing after the end item counts
        {{end}, false},
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(ClassMorphex::hasAutomation(rows[i].items.data(), static_cast<int>(rows[i].items.size())),
                  rows[i].active)
            << "row " << i;
    // At most the job's 35 items are looked at.
    std::vector<tDspVolItem> longList(40, item(0, 1.0));
    longList[36] = item(10, 0.5);
    EXPECT_FALSE(ClassMorphex::hasAutomation(longList.data(), kJobVolItems));
}

// A stand-in for the library's morphexert: keeps what it was handed, and
// calls the block callback once with a given produced count.
struct Call {
    int calls = 0;
    tMorphexSendParams send;
    const int *fileCount = nullptr;
    std::u16string source, destination;
    tMorphexCom com;  // as handed over
    int32_t startModeSeen = -1;
    uint32_t fadeReqSeen[2] = {};
    int64_t playingSampleSeen = 0;
    bool jobEndedSeen = true;
    const tDspVolItem *envelope = nullptr;
    int64_t publishProduced = 0;  // > 0: publish one block of this count
    int result = 0;
};
Call gCall;

int fakeMorphexert(const wchar16 *dst, const wchar16 *const *srcs, void *, const tMorphexSendParams *send, double *,
                   const int *srcCount, tMorphexCom *com, tMorphexBlockCallback block, tMorphexStatusCallback,
                   const tDspVolItem *envelope, tMorphexErrorCallback, tMorphexWorkingCallback) {
    ++gCall.calls;
    gCall.send = *send;
    gCall.fileCount = srcCount;
    gCall.destination = reinterpret_cast<const char16_t *>(dst);
    gCall.source = reinterpret_cast<const char16_t *>(srcs[0]);
    gCall.com = *com;
    gCall.startModeSeen = engine().startMode.load();
    gCall.fadeReqSeen[0] = engine().fadeReq[0].load();
    gCall.fadeReqSeen[1] = engine().fadeReq[1].load();
    gCall.playingSampleSeen = engine().playingSample.load();
    gCall.jobEndedSeen = engine().jobEnded[com->track].load();
    gCall.envelope = envelope;
    if (gCall.publishProduced > 0)
        block(uint64_t(gCall.publishProduced), kB, kB, 0, kPcmBlockBytes, gBlocks, gDsd, 0, int(com->track), 48000,
              &com->command);
    com->command |= kMorphexComEndBit;
    return gCall.result;
}

struct ApplyFixture : ::testing::Test {
    engtest::FreshEngine mEngine;
    void SetUp() override {
        gCall = Call();
        record.dstPath = u"out.wav";
        record.srcPath = u"in.wav";
        record.rateIndex = 1;  // 48 kHz
        record.fileType = 0;
        record.option = 3;
        record.bits = 24;
        record.srcChannels = 2;
        record.outChannels = 2;
        record.mode = 1;
        record.fileCount = 1;
        record.startOffset = 441;
        record.com.command = kMorphexComFeedOnly;
        record.com.startSample = 44100;
        record.com.track = 5;
        record.com.pureDsdFeed = 1;
        info.sampleRate = 44100;
        items[0].start = 0;
        items[0].level = 0.5;
        items[1].start = kDspVolEnd;
        entries.morphexert = fakeMorphexert;
        mix.trackCount = 2;
        gAudioThread_setMixParam(&mix);
    }
    void TearDown() override { gAudioThread_setMixParam(nullptr); }
    int run(int command, int kind = 2) {
        ClassMorphex job(kind);
        return job.apply(command, &record, entries, &info, nullptr, items, &tag);
    }
    tMorphexParam record;
    tAudioFileInfo info;
    tDspVolItem items[kJobVolItems];
    tID3tagInfo tag{};
    tMorphexAPIs entries;
    tMixParam mix;
};

TEST_F(ApplyFixture, HandsTheJobToTheLibraryAndResetsTheEngineAfter) {
    gCall.publishProduced = kB;  // the first block starts playing
    engine().jobEnded[5] = true;  // the end of the track's last job
    ASSERT_EQ(run(kMorphexCmdPlay), 0);
    ASSERT_EQ(gCall.calls, 1);
    // The output settings, from the job's record.
    EXPECT_EQ(gCall.send.progress, &record.progress);
    EXPECT_EQ(gCall.send.rateIndex, 1u);
    EXPECT_EQ(gCall.send.option, 3u);
    EXPECT_EQ(gCall.send.bits, 24u);
    EXPECT_EQ(gCall.send.srcChannels, 2u);
    EXPECT_EQ(gCall.send.outChannels, 2u);
    EXPECT_EQ(gCall.send.mode, 1u);
    EXPECT_EQ(gCall.send.command, uint32_t(kMorphexCmdPlay));
    EXPECT_EQ(gCall.fileCount, &record.fileCount);
    EXPECT_EQ(gCall.source, u"in.wav");
    EXPECT_EQ(gCall.destination, u"out.wav");
    EXPECT_EQ(gCall.envelope, items);
    // The command block as the library saw it.
    EXPECT_EQ(gCall.com.ringBlocks, kRingBlocks);
    EXPECT_EQ(gCall.com.pureDsdFeed, 0u);
    EXPECT_EQ(gCall.com.multiTrack, 1);
    EXPECT_EQ(gCall.com.envelopeActive, 1);
    EXPECT_EQ(gCall.com.tag, &tag);
    // The engine as the job started it.
    EXPECT_EQ(gCall.startModeSeen, kStartPlay);
    EXPECT_EQ(gCall.fadeReqSeen[0], kFadeInBit);
    EXPECT_EQ(gCall.fadeReqSeen[1], kFadeInBit);
    EXPECT_EQ(gCall.playingSampleSeen, (441 + 44100) * 48000 / 44100);
    EXPECT_FALSE(gCall.jobEndedSeen) << "the last job's end would let a paced device run past the producer";
    EXPECT_EQ(engine().volItems[0].level, 0.5);
    EXPECT_EQ(engine().runningCom.load(), &record.com);
    // And after the job.
    EXPECT_EQ(engine().engineStatus.load(), kEngineStopped);
    EXPECT_EQ(engine().playRequest.load(), 0);
    EXPECT_EQ(record.com.command, 0u);
    EXPECT_FALSE(engine().convFailed.load());
    EXPECT_EQ(engine().diff1[5].load(), -1);
    EXPECT_EQ(engine().diff2[5].load(), -1);
    EXPECT_EQ(engine().producedCount[5].load(), 0);
    EXPECT_EQ(engine().trackPcmBlocks[5].load(), engine().dummyPlayTable);
    EXPECT_EQ(engine().trackBlockFrames[5].load(), 1);
}

TEST_F(ApplyFixture, AMixDownFeedKeepsItsRingForTheMixDown) {
    gCall.publishProduced = kB;
    ASSERT_EQ(run(kMorphexCmdBounceFeed, 3), 0);
    EXPECT_EQ(gCall.startModeSeen, kStartBounce);
    EXPECT_EQ(engine().producedCount[5].load(), kB);
    EXPECT_EQ(engine().trackPcmBlocks[5].load(), gBlocks);
    EXPECT_EQ(engine().engineStatus.load(), kEngineStopped);
}

TEST_F(ApplyFixture, AnExportLeavesTheFadeAndStartModeAlone) {
    record.com.command = kMorphexComWriteFile;
    engine().fadeReq[0] = kFadeOutBit;
    gAudioThread_setMixParam(nullptr);
    gCall.result = -9;
    EXPECT_EQ(run(kMorphexCmdExport, 1), -9);
    EXPECT_EQ(gCall.startModeSeen, kStartNone);
    EXPECT_EQ(gCall.fadeReqSeen[0], kFadeOutBit);
    EXPECT_EQ(gCall.com.multiTrack, 0);
    EXPECT_EQ(gCall.com.ringBlocks, 1) << "nothing reads the blocks of a job that writes a file";
    EXPECT_TRUE(engine().convFailed.load()) << "a failed job is reported to the mix-down";
    EXPECT_EQ(getBounceConvertStatus(), 1);
}

TEST_F(ApplyFixture, ABadTrackSlotOrSourceRateIsRefusedSafely) {
    record.com.track = kMaxTracks;
    EXPECT_EQ(run(kMorphexCmdPlay), kClassMorphexErrTrack);
    EXPECT_EQ(gCall.calls, 0);
    EXPECT_EQ(engine().startMode.load(), kStartNone);

    record.com.track = 0;
    info.sampleRate = 0;  // the library refuses the job; the engine must not divide by it
    gCall.result = -753;
    EXPECT_EQ(run(kMorphexCmdPlay), -753);
    EXPECT_EQ(gCall.playingSampleSeen, 0);
}

TEST(ProducerGetters, ReadTheRingStateAndRefuseBadSlots) {
    engtest::FreshEngine fresh;
    engine().producedCount[6] = 5000;
    engine().consumedCount[6] = 1200;
    engine().ringBlockFrames = kB;
    engine().trackBlockFrames[6] = kB;
    engine().trackPcmBlocks[6] = gBlocks;
    int frames = 0;
    EXPECT_EQ(getConvertedCountAndBufBlkSize(6, &frames), 5000);
    EXPECT_EQ(frames, kB);
    tAudioThreadRingState st;
    ASSERT_EQ(getAudioThreadParam(6, &st), 0);
    EXPECT_EQ(st.produced, 5000);
    EXPECT_EQ(st.consumed, 1200);
    EXPECT_EQ(st.pcmBlocks, gBlocks);
    EXPECT_EQ(st.blockFrames, kB);
    EXPECT_EQ(getAudioThreadParam(-1, &st), kClassMorphexErrTrack);
    EXPECT_EQ(getAudioThreadParam(kMaxTracks, &st), kClassMorphexErrTrack);
    EXPECT_EQ(getConvertedCountAndBufBlkSize(kMaxTracks, &frames), 0);
    EXPECT_EQ(getFirstConverted(-3), -1);
    reqDspPlay(1);
    EXPECT_EQ(engine().playRequest.load(), 1);
    clearBufferParameters();
}

}  // namespace
