// The GUI's setters into the engine and the device watchdog.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/mixing.h"

namespace {

TEST(EngineParams, WatchdogRunsOutAfter445TicksWithoutDeviceBuffers) {
    setWDT(20000);
    int firstTrue = 0;
    for (int tick = 1; tick <= 500 && !firstTrue; ++tick)
        if (downCountWDT(45)) firstTrue = tick;
    EXPECT_EQ(firstTrue, 445);
    EXPECT_TRUE(downCountWDT(45)) << "and on every tick after";

    // A device buffer reloads the counter (what the buffer switch does).
    engine().wdtCounter.store(engine().wdtReload.load());
    EXPECT_FALSE(downCountWDT(45));

    engine().wdtCounter.store(50);
    EXPECT_FALSE(downCountWDT(45));
    EXPECT_EQ(engine().wdtCounter.load(), 5);
    EXPECT_TRUE(downCountWDT(45));
    EXPECT_EQ(engine().wdtCounter.load(), 5) << "a run-out counter is left as it is";
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
        EXPECT_DOUBLE_EQ(engine().masterVol[0].load(), row.gain) << row.dB;
        EXPECT_DOUBLE_EQ(engine().masterVol[1].load(), row.gain) << row.dB;
        EXPECT_EQ(engine().masterVoldB.load(), row.storedDb) << row.dB;
    }
    setMasterVolDsp(0.0);
}

TEST(EngineParams, TrackMappingKeepsTheRealTimePathsIndicesInRange) {
    setAudioIoThreadId(5, 3);
    EXPECT_EQ(engine().audioIoThreadId[3].load(), 5);
    setAudioIoThreadId(kAudioThreadSlots, 3);
    EXPECT_EQ(engine().audioIoThreadId[3].load(), -1) << "an index beyond the registry maps to no thread";
    setAudioIoThreadId(2, kMaxTracks);  // no such slot: ignored
    setAudioIoThreadId(-1, 3);
    EXPECT_EQ(engine().audioIoThreadId[3].load(), -1);

    setMaxWaveLengthThreadID(7);
    EXPECT_EQ(engine().longestTrack.load(), 7);
    setMaxWaveLengthThreadID(-1);
    setMaxWaveLengthThreadID(kMaxTracks);
    EXPECT_EQ(engine().longestTrack.load(), 7);
    setMaxWaveLengthThreadID(0);

    // A cleared track reads silence through the idle table, never through
    // a null table.
    double block[4] = {};
    double *table[kRingBlocks] = {block};
    engine().trackPcmBlocks[4].store(table);
    gAudioThread_clearTrackInfo(4);
    EXPECT_EQ(engine().trackPcmBlocks[4].load(), engine().dummyPlayTable);
    gAudioThread_clearTrackInfo(kMaxTracks);  // ignored

    int64_t *delays = getDelayTable();
    delays[kMaxTracks - 1] = 1234;
    EXPECT_EQ(engine().delayTable[kMaxTracks - 1], 1234);
}

// The engine runs its own copies of the master bands: a clear asked for on
// the GUI thread empties their history before the next chunk, and the GUI's
// record is left alone.
TEST(EngineParams, MasterEqualiserHistoryCleared) {
    EXPECT_EQ(gAudioThread_clearEQparam(), 0) << "nothing registered";
    tPEQ master;
    bool on = true;
    master.allOn = &on;
    for (peakEq &b : master.band) {
        b.setupParam(6.0, 1000.0, 0.7, 48000.0, kEqPeak);
        b.reCalcCoef(48000.0);
        b.mBandOn = true;
    }
    setPEQClassToDSP(nullptr, &master);
    for (bool clear : {false, true}) {
        SCOPED_TRACE(clear ? "cleared" : "not cleared");
        double frames[8] = {0.5, -0.5, 0.25, 0.1, 0.3, 0.2, -0.1, 0.4};
        processMasterEQ(frames, frames, 4, false);
        if (clear) EXPECT_EQ(gAudioThread_clearEQparam(), 0);
        // Silence in: with the history cleared, silence out; otherwise the
        // filters ring on.
        double zeros[8] = {};
        processMasterEQ(zeros, zeros, 4, false);
        bool silent = true;
        for (double v : zeros) silent = silent && v == 0.0;
        EXPECT_EQ(silent, clear);
    }
    for (const peakEq &b : master.band) EXPECT_EQ(b.mCoef[2 * peakEq::kPairX1], 0.0) << "the GUI's record never ran";
    setPEQClassToDSP(nullptr, nullptr);
}

// What the GUI changes reaches an engine thread as one snapshot: a holder
// keeps reading the one it took while the GUI publishes others, a new hold
// takes the newest, and a snapshot is freed on the GUI side only once no
// holder has it.
TEST(EngineParams, SettingsReachTheEngineWholeAndRetiredOnesAreFreedOnTheGuiSide) {
    tMixParam mix;
    mix.trackCount = 1;
    mix.masterGain = 0.5;
    gAudioThread_setMixParam(&mix);
    setMasterVolDsp(-6.0);
    std::atomic<int> step{0};
    double seenGain[2] = {}, seenVol[2] = {};
    std::thread engine([&] {
        {
            const tEngineParamsHold held;
            seenGain[0] = engineMixParam()->masterGain;
            step = 1;
            while (step.load() != 2) std::this_thread::yield();
            // Nested holds on the thread read the same snapshot.
            const tEngineParamsHold inner;
            seenGain[1] = engineMixParam()->masterGain;
            seenVol[0] = inner->masterVol[0];
        }
        const tEngineParamsHold next;
        seenVol[1] = next->masterVol[0];
        step = 3;
    });
    while (step.load() != 1) std::this_thread::yield();
    mix.masterGain = 0.25;
    gAudioThread_publishMixParam();
    setMasterVolDsp(0.0);
    EXPECT_EQ(engineParamsLiveCount(), 2) << "the held one stays beside the newest; the one between is freed";
    step = 2;
    engine.join();
    EXPECT_EQ(seenGain[0], 0.5);
    EXPECT_EQ(seenGain[1], 0.5);
    EXPECT_EQ(seenVol[0], std::pow(10.0, -6.0 / 20.0));
    EXPECT_EQ(seenVol[1], 1.0) << "a new hold takes the newest";
    gAudioThread_publishMixParam();  // nothing changed: no new snapshot, the retired ones freed
    EXPECT_EQ(engineParamsLiveCount(), 1);
    EXPECT_EQ(engineMixParam(), nullptr) << "outside a hold";
    gAudioThread_setMixParam(nullptr);
}

// A reader never sees a snapshot in which one change is half made, however
// fast the GUI publishes.
TEST(EngineParams, NoSnapshotIsTornWhileTheGuiPublishes) {
    tMixParam mix;
    gAudioThread_setMixParam(&mix);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, reads{0};
    std::thread engine([&] {
        while (!done.load()) {
            const tEngineParamsHold held;
            const tMixParam *m = engineMixParam();
            if (!m) continue;
            const double k = m->masterGain;
            bool whole = m->trackCount == int(k) && m->fxReturnGain == k;
            for (const tMixChParam &c : m->ch) whole = whole && c.LL == k && c.RR == -k;
            if (!whole) ++torn;
            ++reads;
        }
    });
    for (int k = 0; k < 2000 || reads.load() < 1000; ++k) {
        mix.trackCount = k;
        mix.masterGain = mix.fxReturnGain = k;
        for (tMixChParam &c : mix.ch) c.LL = k, c.RR = -k;
        gAudioThread_publishMixParam();
    }
    done = true;
    engine.join();
    EXPECT_EQ(torn.load(), 0);
    gAudioThread_setMixParam(nullptr);
    EXPECT_LE(engineParamsLiveCount(), 1);
}

}  // namespace
