#include <gtest/gtest.h>

#include "dsp/peqrecord.h"
#include "engine/jobrecords.h"
#include "engine/mixrecords.h"

namespace {

TEST(EngineRecords, OutputPatchStartsWithMasterOnFirstColumn) {
    EXPECT_EQ(gOutputPatch[0], kOutputPatchMaster);
    for (int i = 1; i < kOutputPatchSize; ++i) ASSERT_EQ(gOutputPatch[i], -1) << i;
}

TEST(EngineRecords, FreshRecordsHoldNoStaleValues) {
    // The engine reads these records on another thread; a record made
    // without an explicit fill must not carry garbage into a job.
    tMorphexParam job;
    EXPECT_EQ(job.com.command, 0u);
    EXPECT_EQ(job.com.peq, nullptr);
    EXPECT_EQ(job.panVol[15], 0.0);
    EXPECT_EQ(job.startOffset, 0);

    tMixParam mix;
    EXPECT_EQ(mix.trackCount, 0);
    EXPECT_EQ(mix.ch[31].delayMs, 0.0);
    EXPECT_FALSE(mix.ch[31].fxSendOn);

    tPEQ eq;
    EXPECT_EQ(eq.totalGainLin, 1.0);
    EXPECT_EQ(eq.allOn, nullptr);
    for (const peakEq &b : eq.band) {
        EXPECT_FALSE(b.mBandOn);
        EXPECT_EQ(b.mFreq, 100.0);
        EXPECT_EQ(b.mQ, 0.7);
        EXPECT_TRUE(b.mShelvLo);
        ASSERT_NE(b.mCoef, nullptr);
    }

    // The job record is copied by value between the caller and the audio
    // thread; the copy owns its paths.
    job.srcPath = u"/music/a.wav";
    tMorphexParam copy = job;
    job.srcPath.clear();
    EXPECT_EQ(copy.srcPath, u"/music/a.wav");
}

}  // namespace
