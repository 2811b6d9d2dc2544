// The mixing step: identity, the gain and send matrices, the effect return,
// the track and master equalisers, the master gain and polarity in their
// order; tracks short of frames, idle tracks, a failed job's ring, the
// per-track peaks and analysis feed, and the mix-down's mixing step.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "engine/analysisrings.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/mixing.h"
#include "engine/playbackproducer.h"
#include "enginetestutil.h"

namespace {

// A few tracks, each with one block of test frames that every ring entry
// points at, the mixer record and two master buffers.
class MixRig {
    engtest::FreshEngine mEngine;

public:
    explicit MixRig(int tracks, int frames) : mFrames(frames) {
        EXPECT_EQ(initAudioThreadMemoryWhole(), kEngineMemOk);
        EXPECT_TRUE(reserveMixingBuffers(engtest::kReserveFrames));
        mix.trackCount = tracks;
        mix.masterGain = 1.0;
        for (int t = 0; t < tracks; ++t) {
            mix.ch[t].LL = mix.ch[t].RR = 1.0;
            block[t].resize(2 * size_t(frames));
            for (int i = 0; i < frames; ++i) {
                block[t][2 * i] = std::sin(0.05 * i + t) * 0.5;
                block[t][2 * i + 1] = std::cos(0.031 * i - t) * 0.25;
            }
            for (double *&e : mTable[t]) e = block[t].data();
            tables[t] = mTable[t];
            engine().producedCount[t].store(frames);
        }
        for (int t = tracks; t < kMaxTracks; ++t) tables[t] = engine().dummyPlayTable;
        original = block;
        master[0].assign(2 * size_t(frames), 99.0);
        master[1].assign(2 * size_t(frames), 99.0);
        gAudioThread_setMixParam(&mix);
        setPEQClassToDSP(nullptr, nullptr);
        engine().engineStatus.store(kEnginePlaying);
        engine().playFs.store(44100);
        engine().meterFirInterval.store(1);
    }
    ~MixRig() {
        gAudioThread_setMixParam(nullptr);
        setPEQClassToDSP(nullptr, nullptr);
        seteNcPhase(false);
        finishAudioThreadMemoryWhole();
    }

    int run(bool decimated = false) {
        gAudioThread_publishMixParam();  // the mixer record as the test left it
        double *m[2] = {master[0].data(), master[1].data()};
        tAudioMixingParams p;
        p.frames = mFrames;
        p.offsets = offsets;
        p.blocks = tables;
        p.blockIndices = indices;
        p.masters = m;
        p.decimatedAnalysis = decimated;
        return audioThreadMixing(&p);
    }

    tMixParam mix;
    std::array<std::vector<double>, kMaxTracks> block, original;
    std::vector<double> master[2];
    double **tables[kMaxTracks];
    int offsets[kMaxTracks] = {};
    int indices[kMaxTracks] = {};

private:
    int mFrames;
    double *mTable[kMaxTracks][kRingBlocks];
};

// A four-band record with the given bands on and a linear total gain.
struct Eq {
    explicit Eq(std::initializer_list<int> onBands, double totalLin = 1.0) {
        const double freqs[kEqBands] = {200.0, 900.0, 3000.0, 9000.0};
        for (int b = 0; b < kEqBands; ++b) {
            rec.band[b].setupParam(6.0 - 3.0 * b, freqs[b], 0.9, 44100.0, b == 3 ? kEqShelf : kEqPeak);
            rec.band[b].reCalcCoef(44100.0);
        }
        for (peakEq &b : rec.band) {  // settled: no gain change running
            b.mGainChanging = false;
            b.mGainChangeStatus = 1.0;
        }
        for (int b : onBands) rec.band[b].mBandOn = true;
        rec.totalGainLin = totalLin;
        rec.allOn = &on;
    }
    // The same filtering done by hand: bands 3 down to 0, then the gain.
    std::vector<double> apply(std::vector<double> x) {
        Eq twin({});
        for (int b = kEqBands - 1; b >= 0; --b)
            if (rec.band[b].mBandOn) twin.rec.band[b].procEq(x.data(), x.data(), int(x.size() / 2));
        for (double &v : x) v *= rec.totalGainLin;
        return x;
    }
    tPEQ rec;
    bool on = true;
};

TEST(Mixing, IdentityMixLeavesTheSourceUnchanged) {
    MixRig rig(1, 509);  // an odd length reaches the equaliser's tail frames
    Eq eq({0, 1, 2, 3}, 0.25);
    eq.on = false;  // bands and gain set, the record switched off
    tPEQ *tracks[kMaxTracks] = {&eq.rec};
    setPEQClassToDSP(tracks, nullptr);
    ASSERT_EQ(rig.run(), 0);
    EXPECT_EQ(rig.master[0], rig.original[0]);
    for (double v : rig.master[1]) ASSERT_EQ(v, 0.0) << "no send, no return";
}

TEST(Mixing, MatricesSendsReturnMasterEqualiserGainAndPolarityInOrder) {
    constexpr int n = 256;
    struct Row {
        const char *what;
        bool decimated;
        int tracks;
        bool returnAdded;
    } rows[] = {
        {"one track", false, 1, true},
        {"two tracks", false, 2, true},
        {"two tracks, decimated analysis", true, 2, false},  // the return is not added then
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        MixRig rig(row.tracks, n);
        const double M[2][4] = {{0.8, 0.1, 0.3, 0.6}, {0.2, -0.5, 0.7, 0.4}};  // LL LR RL RR
        const double S[2][4] = {{0.5, 0.0, 0.0, 0.25}, {0.1, 0.2, 0.3, 0.4}};
        for (int t = 0; t < row.tracks; ++t) {
            tMixChParam &c = rig.mix.ch[t];
            c.LL = M[t][0], c.LR = M[t][1], c.RL = M[t][2], c.RR = M[t][3];
            c.fxLL = S[t][0], c.fxLR = S[t][1], c.fxRL = S[t][2], c.fxRR = S[t][3];
            c.fxSendOn = true;
        }
        rig.mix.fxReturnGain = 0.5;
        rig.mix.fxOn = true;
        rig.mix.masterGain = 0.8;
        seteNcPhase(true);
        Eq trackEq({1}, 0.5);
        Eq masterEq({0}, 2.0);  // band 4 off: a copy, then band 1 in place
        tPEQ *tracks[kMaxTracks] = {&trackEq.rec};
        setPEQClassToDSP(tracks, &masterEq.rec);
        const auto src0 = trackEq.apply(rig.original[0]);

        ASSERT_EQ(rig.run(row.decimated), 0);

        std::vector<double> sum(2 * n), fx(2 * n);
        for (int i = 0; i < n; ++i)
            for (int t = 0; t < row.tracks; ++t) {
                const auto &x = t == 0 ? src0 : rig.original[t];
                const double L = x[2 * i], R = x[2 * i + 1];
                sum[2 * i] += M[t][0] * L + M[t][2] * R;
                sum[2 * i + 1] += M[t][1] * L + M[t][3] * R;
                fx[2 * i] += S[t][0] * L + S[t][2] * R;
                fx[2 * i + 1] += S[t][1] * L + S[t][3] * R;
            }
        for (int i = 0; i < 2 * n; ++i) {
            ASSERT_NEAR(rig.master[1][i], fx[i] * 0.5, 1e-12) << i;
            if (row.returnAdded) sum[i] += fx[i] * 0.5;
        }
        // The return goes through the master equaliser; gain and polarity
        // come after it.
        const auto eqd = masterEq.apply(sum);
        for (int i = 0; i < 2 * n; ++i) ASSERT_NEAR(rig.master[0][i], -0.8 * eqd[i], 1e-12) << i;
        EXPECT_EQ(rig.block[0], src0) << "the track equaliser runs on the block in place";
    }
}

TEST(Mixing, MasterEqualiserDipsDuringAGainChangeOnlyWithDecimatedAnalysis) {
    for (bool decimated : {false, true}) {
        MixRig rig(1, 32);
        Eq masterEq({3, 1});
        masterEq.rec.band[1].mGainChanging = true;
        masterEq.rec.band[1].mGainChangeStatus = 0.5;
        setPEQClassToDSP(nullptr, &masterEq.rec);
        const auto plain = masterEq.apply(rig.original[0]);
        ASSERT_EQ(rig.run(decimated), 0);
        const double dip = decimated ? 0.5 : 1.0;
        for (int i = 0; i < 64; ++i) ASSERT_NEAR(rig.master[0][i], plain[i] * dip, 1e-12) << decimated << " " << i;
        // The engine's status advanced a step: the next chunk, its filters
        // going on from the first chunk's history, dips by 0.54.
        Eq twin({3, 1});
        std::vector<double> again[2] = {rig.original[0], rig.original[0]};
        for (auto &x : again)
            for (int b = kEqBands - 1; b >= 0; --b)
                if (twin.rec.band[b].mBandOn) twin.rec.band[b].procEq(x.data(), x.data(), 32);
        ASSERT_EQ(rig.run(decimated), 0);
        const double dip2 = decimated ? 0.54 : 1.0;
        for (int i = 0; i < 64; ++i)
            ASSERT_NEAR(rig.master[0][i], again[1][i] * dip2, 1e-12)
                << "the status advanced: " << decimated << " " << i;
    }
}

TEST(Mixing, TracksShortOfFramesAndIdleTracks) {
    constexpr int n = 128;
    {
        SCOPED_TRACE("track 0 short");
        MixRig rig(2, n);
        engine().producedCount[0].store(100);
        ASSERT_EQ(rig.run(), 0);
        for (int i = 0; i < 2 * n; ++i) {
            const double expect = (i < 200 ? rig.original[0][i] : 0.0) + rig.original[1][i];
            ASSERT_DOUBLE_EQ(rig.master[0][i], expect) << i;
        }
    }
    {
        SCOPED_TRACE("track 1 short");
        MixRig rig(2, n);
        engine().producedCount[1].store(40);
        engine().consumedCount[1].store(10);  // 30 frames ready
        ASSERT_EQ(rig.run(), 0);
        for (int i = 0; i < 2 * n; ++i) {
            const double expect = rig.original[0][i] + (i < 60 ? rig.original[1][i] : 0.0);
            ASSERT_DOUBLE_EQ(rig.master[0][i], expect) << i;
        }
    }
    {
        // Track 0 idle (its table is one frame of silence) with its
        // equaliser on: nothing reads or filters past that frame, and the
        // master is silence, not what the buffer held.
        SCOPED_TRACE("idle track 0");
        MixRig rig(2, n);
        rig.tables[0] = engine().dummyPlayTable;
        engine().producedCount[0].store(5000);
        Eq eq({0, 1, 2, 3}, 3.0);
        tPEQ *tracks[kMaxTracks] = {&eq.rec};
        setPEQClassToDSP(tracks, nullptr);
        ASSERT_EQ(rig.run(), 0);
        EXPECT_EQ(engine().dummyPlayFrame[0], 0.0);
        EXPECT_EQ(engine().dummyPlayFrame[1], 0.0);
        for (int b = 0; b < kEqBands; ++b)
            EXPECT_EQ(eq.rec.band[b].mCoef[2 * peakEq::kPairX1], 0.0) << "band " << b << " did not run";
        for (int i = 0; i < 2 * n; ++i) ASSERT_DOUBLE_EQ(rig.master[0][i], rig.original[1][i]) << i;
    }
    {
        SCOPED_TRACE("no tracks");
        MixRig rig(0, n);
        ASSERT_EQ(rig.run(), 0);
        for (double v : rig.master[0]) ASSERT_EQ(v, 0.0);
    }
}

TEST(Mixing, AFailedJobsRingIsNotReadOnceWithdrawn) {
    MixRig rig(1, 64);
    // The error callback waits while the mixer is in the track...
    engine().mixBusy[0].store(true);
    std::atomic<bool> returned{false};
    std::thread lib([&] {
        EXPECT_EQ(morphexErrCallback(0), 0);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(engine().ringWithdrawn[0].load());
    EXPECT_EQ(engine().trackPcmBlocks[0].load(), engine().dummyPlayTable);
    EXPECT_EQ(engine().trackDsdBlocks[0].load(), engine().dsdIdleTable[0]);
    engine().mixBusy[0].store(false);
    lib.join();
    EXPECT_TRUE(returned.load());

    // ...and a mix that starts afterwards, still holding the old table,
    // leaves the blocks alone.
    double *freed[kRingBlocks] = {};
    rig.tables[0] = freed;
    ASSERT_EQ(rig.run(), 0);
    for (double v : rig.master[0]) ASSERT_EQ(v, 0.0);
    engine().ringWithdrawn[0].store(false);
}

TEST(Mixing, TrackPeaksHoldUntilAReadAsksForANewOne) {
    MixRig rig(1, 64);
    rig.mix.ch[0].LL = 2.0;
    for (double &v : rig.block[0]) v = 0.0;
    rig.block[0][10] = -0.4;  // frame 5 left
    rig.block[0][21] = 0.3;   // frame 10 right
    engine().clearPeakHold.store(false);
    gAudioThread_clearPeakAudioTrack(0);
    ASSERT_EQ(rig.run(), 0);
    EXPECT_DOUBLE_EQ(sTrackPeakHold[0][0].load(), 0.8);
    EXPECT_DOUBLE_EQ(sTrackPeakHold[0][1].load(), 0.3);
    rig.block[0][10] = 0.1;
    rig.block[0][21] = 0.0;
    ASSERT_EQ(rig.run(), 0);
    EXPECT_DOUBLE_EQ(sTrackPeakHold[0][0].load(), 0.8) << "held";
    engine().clearPeakHold.store(true);  // the master was read
    ASSERT_EQ(rig.run(), 0);
    EXPECT_DOUBLE_EQ(sTrackPeakHold[0][0].load(), 0.2) << "replaced";
    EXPECT_DOUBLE_EQ(sTrackPeakHold[0][1].load(), 0.0);
    engine().clearPeakHold.store(false);
}

TEST(Mixing, TrackAnalysisFeedAndItsLock) {
    MixRig rig(1, 256);
    ASSERT_EQ(allocateChFFTbuffer(0), kEngineMemOk);
    curFftSampleCh[0].store(0);
    ASSERT_EQ(rig.run(), 0);
    const double *ring = gpChAnalyzeBuf[0];
    EXPECT_EQ(ring[2 * (kTrackRingFrames - 1)], rig.original[0][2 * 255]) << "newest at the end";
    EXPECT_EQ(ring[2 * (kTrackRingFrames - 256) + 1], rig.original[0][1]);
    EXPECT_EQ(curFftSampleCh[0].load(), 256);

    // While another thread holds the lock (it may be freeing the ring), the
    // device thread's feed skips the chunk instead of waiting.
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        std::lock_guard<std::mutex> lock(engine().chFftBufMutex);
        held = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    ASSERT_TRUE(engtest::waitFor([&] { return held.load(); }));
    for (double &v : rig.block[0]) v = 0.125;
    ASSERT_EQ(rig.run(), 0);
    release = true;
    holder.join();
    EXPECT_EQ(curFftSampleCh[0].load(), 256);
    EXPECT_EQ(gpChAnalyzeBuf[0][2 * (kTrackRingFrames - 1)], rig.original[0][2 * 255]);

    // Decimated (DSD): every 4th frame through the track filter, at full
    // scale 1. With the filter's centre tap alone the output is the input
    // 40 frames earlier.
    std::fill(std::begin(sMeterDecimBufTrk), std::end(sMeterDecimBufTrk), 0.0);
    sMeterDecimBufTrk[2 * 40] = sMeterDecimBufTrk[2 * 40 + 1] = 1.0;
    engine().meterFirInterval.store(4);
    curFftSampleCh[0].store(0);
    for (int i = 0; i < 256; ++i) rig.block[0][2 * i] = rig.block[0][2 * i + 1] = i * 36028797018963968.0;
    ASSERT_EQ(rig.run(true), 0);
    EXPECT_EQ(curFftSampleCh[0].load(), 64);
    EXPECT_DOUBLE_EQ(gpChAnalyzeBuf[0][2 * (kTrackRingFrames - 1)], 252.0 - 40.0);
    EXPECT_DOUBLE_EQ(sTrackPeakHold[0][0].load(), 212.0) << "the track peak from the filter";
    engine().meterFirInterval.store(1);
    std::fill(std::begin(sMeterDecimBufTrk), std::end(sMeterDecimBufTrk), 0.0);
    freeChFFTbuffer(0);
    EXPECT_EQ(gpChAnalyzeBuf[0], nullptr);
}

TEST(Mixing, EffectBusFeedsTheReverbRing) {
    MixRig rig(1, 100);
    rig.mix.ch[0].fxLL = rig.mix.ch[0].fxRR = 1.0;
    rig.mix.ch[0].fxSendOn = true;
    rig.mix.fxOn = true;
    ASSERT_EQ(allocateReverbBuffer(), kEngineMemOk);
    engine().reverbBufPointer = kReverbRingFrames - 30;  // wraps inside the chunk
    ASSERT_EQ(rig.run(), 0);
    EXPECT_EQ(engine().reverbBufPointer, 70);
    EXPECT_EQ(engine().reverbBuffer[2 * (kReverbRingFrames - 30)], rig.original[0][0]);
    EXPECT_EQ(engine().reverbBuffer[2 * 69 + 1], rig.original[0][2 * 99 + 1]);
    freeReverbBuffer();
    EXPECT_EQ(engine().reverbBuffer, nullptr);
}

TEST(Mixing, BounceMixingWaitsForTheFirstShortTrackUnlessItsJobEnded) {
    constexpr int n = 64;
    MixRig rig(3, 2 * n);
    engine().engineStatus.store(kEngineBounceFeed);
    for (int t = 0; t < 3; ++t) engine().trackPcmBlocks[t].store(rig.tables[t]);  // as the producer publishes them
    engine().producedCount[0].store(2 * n);
    engine().producedCount[1].store(n - 1);   // short, job still running
    engine().producedCount[2].store(n - 10);  // short too
    double *m[2] = {rig.master[0].data(), rig.master[1].data()};
    uint64_t positions[kMaxTracks] = {};
    EXPECT_EQ(bounceMixing(0, positions, m, n, 0), kBounceNotReady);
    EXPECT_EQ(positions[0], 0u);
    EXPECT_EQ(engine().bouncedCount[0].load(), 0);

    engine().jobEnded[1].store(true);  // track 1 ended; track 2 is short and running, but track 1 decides
    EXPECT_EQ(bounceMixing(0, positions, m, n, 0), 0);
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(positions[t], uint64_t(n));
        EXPECT_EQ(engine().bouncedCount[t].load(), n);
    }
    for (int i = 0; i < 2 * n; ++i) {
        double expect = rig.original[0][i];
        if (i < 2 * (n - 1)) expect += rig.original[1][i];
        if (i < 2 * (n - 10)) expect += rig.original[2][i];
        ASSERT_DOUBLE_EQ(rig.master[0][i], expect) << i;
    }
    // The next block reads from the given offset; tracks 1 and 2 have
    // nothing left.
    EXPECT_EQ(bounceMixing(0, positions, m, n, n), 0);
    for (int i = 0; i < 2 * n; ++i) ASSERT_DOUBLE_EQ(rig.master[0][i], rig.original[0][2 * n + i]) << i;
    EXPECT_EQ(bounceMixing(0, positions, nullptr, n, 0), -17);
}

}  // namespace
