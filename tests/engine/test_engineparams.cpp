// The GUI's setters into the engine and the device watchdog.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/engineparams.h"
#include "engine/enginestate.h"

namespace {

TEST(EngineParams, WatchdogRunsOutAfter445TicksWithoutDeviceBuffers) {
    setWDT(20000);
    int firstTrue = 0;
    for (int tick = 1; tick <= 500 && !firstTrue; ++tick)
        if (downCountWDT(45)) firstTrue = tick;
    EXPECT_EQ(firstTrue, 445);
    EXPECT_TRUE(downCountWDT(45)) << "and on every tick after";

    // A device buffer reloads the counter (what the buffer switch does).
    sWdtCounter.store(sWdtReload.load());
    EXPECT_FALSE(downCountWDT(45));

    sWdtCounter.store(50);
    EXPECT_FALSE(downCountWDT(45));
    EXPECT_EQ(sWdtCounter.load(), 5);
    EXPECT_TRUE(downCountWDT(45));
    EXPECT_EQ(sWdtCounter.load(), 5) << "a run-out counter is left as it is";
}

TEST(EngineParams, MonitorVolumeInDecibels) {
    const struct {
        double dB, gain, storedDb;
    } rows[] = {
        {0.0, 1.0, 0.0},
        {-6.0, std::pow(10.0, -0.3), -6.0},
        {-99.9, std::pow(10.0, -4.995), -99.9},
        {-100.0, 0.0, kMasterVolSilentDb},
        {-250.0, 0.0, kMasterVolSilentDb},
        {std::numeric_limits<double>::quiet_NaN(), 0.0, kMasterVolSilentDb},
    };
    for (const auto &row : rows) {
        setMasterVolDsp(row.dB);
        EXPECT_DOUBLE_EQ(sMasterVol[0].load(), row.gain) << row.dB;
        EXPECT_DOUBLE_EQ(sMasterVol[1].load(), row.gain) << row.dB;
        EXPECT_EQ(sMasterVoldB.load(), row.storedDb) << row.dB;
    }
    setMasterVolDsp(0.0);
}

TEST(EngineParams, TrackMappingKeepsTheRealTimePathsIndicesInRange) {
    setAudioIoThreadId(5, 3);
    EXPECT_EQ(sAudioIoThreadId[3].load(), 5);
    setAudioIoThreadId(kAudioThreadSlots, 3);
    EXPECT_EQ(sAudioIoThreadId[3].load(), -1) << "an index beyond the registry maps to no thread";
    setAudioIoThreadId(2, kMaxTracks);  // no such slot: ignored
    setAudioIoThreadId(-1, 3);
    EXPECT_EQ(sAudioIoThreadId[3].load(), -1);

    setMaxWaveLengthThreadID(7);
    EXPECT_EQ(sTrkWithMaxWaveLength.load(), 7);
    setMaxWaveLengthThreadID(-1);
    setMaxWaveLengthThreadID(kMaxTracks);
    EXPECT_EQ(sTrkWithMaxWaveLength.load(), 7);
    setMaxWaveLengthThreadID(0);

    // A cleared track reads silence through the idle table, never through
    // a null table.
    double block[4] = {};
    double *table[kRingBlocks] = {block};
    spTrackPcmBlocks[4].store(table);
    gAudioThread_clearTrackInfo(4);
    EXPECT_EQ(spTrackPcmBlocks[4].load(), spDummyPlayBuffer);
    gAudioThread_clearTrackInfo(kMaxTracks);  // ignored

    int64_t *delays = getDelayTable();
    delays[kMaxTracks - 1] = 1234;
    EXPECT_EQ(sDelayTable[kMaxTracks - 1], 1234);
}

TEST(EngineParams, MasterEqualiserHistoryCleared) {
    tPEQ master;
    for (peakEq &b : master.band) {
        b.reCalcCoef(48000.0);
        double frames[8] = {0.5, -0.5, 0.25, 0.1, 0.3, 0.2, -0.1, 0.4};
        b.procEq(frames, frames, 4);
        ASSERT_NE(b.mCoef[2 * peakEq::kPairX1], 0.0);
    }
    EXPECT_EQ(gAudioThread_clearEQparam(), 0) << "nothing registered";
    setPEQClassToDSP(nullptr, &master);
    EXPECT_EQ(gAudioThread_clearEQparam(), 0);
    for (const peakEq &b : master.band)
        for (int pair = peakEq::kPairX1; pair <= peakEq::kPairY2; ++pair) {
            EXPECT_EQ(b.mCoef[2 * pair], 0.0);
            EXPECT_EQ(b.mCoef[2 * pair + 1], 0.0);
        }
    setPEQClassToDSP(nullptr, nullptr);
}

}  // namespace
