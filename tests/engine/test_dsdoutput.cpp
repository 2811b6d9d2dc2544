// DSD output: fading in from the mute pattern to pure pass-through, a stop
// that leaves pure output, fades and splices to the mute pattern, what
// switches pure output back to re-modulation, and the fade request and
// acknowledgement words.
//
// The rig plays one DSD track at 2.8224 MHz through the engine's whole DSD
// path as a device back-end drives it (fade requests, mixing, the DSD master
// volume, the DSD output step, the metering feed): the per-channel writer of
// gCAudioThreadAsioFunc with DSD bytes (type 33), one 4096-bit chunk per
// call. The source is a real DSD stream made by a second modulator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "audiofile/audiohelpers.h"
#include "engine/asiofunc.h"
#include "engine/dsdoutput.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/playbackproducer.h"
#include "enginetestutil.h"

namespace {

constexpr double k2p55 = 36028797018963968.0;
constexpr int kRate = 2822400;
constexpr uint32_t kRateIndexDsd64 = 16;

int bitOf(const std::vector<uint8_t> &bytes, int64_t pos) {
    if (pos < 0) return (0x96 >> (7 - int(pos & 7))) & 1;
    return (bytes[size_t(pos >> 3)] >> (7 - int(pos & 7))) & 1;
}

// One DSD track feeding the engine, chunk by chunk.
class DsdRig {
    engtest::FreshEngine mEngine;

public:
    static constexpr int kBits = 4096;  // per block and per chunk

    // filterLen: the conversion filter the library would report (0 when
    // the source is copied through): the PCM blocks are the source bits
    // smoothed over that many taps and delayed by half of it.
    explicit DsdRig(int filterLen) : mFilterLen(filterLen) {
        EXPECT_EQ(initAudioThreadMemoryWhole(), kEngineMemOk);
        mMaster[0].assign(2 * kBits, 0.0);
        mMaster[1].assign(2 * kBits, 0.0);
        engine().masterBuf[0] = mMaster[0].data();
        engine().masterBuf[1] = mMaster[1].data();
        engine().masterBufFrames = kBits;
        mMute.assign(2 * kMutePatFillBytes, 0x96);
        engine().mutePatBuffer[0] = mMute.data();
        engine().mutePatBuffer[1] = mMute.data() + kMutePatFillBytes;

        mix.trackCount = 1;
        mix.ch[0].LL = mix.ch[0].RR = 1.0;
        mix.masterGain = 1.0;
        gAudioThread_setMixParam(&mix);
        setPEQClassToDSP(nullptr, nullptr);
        setMasterVolDsp(0.0);

        for (int b = 0; b < kRingBlocks; ++b) {
            mPcm[b].assign(2 * kBits, 0.0);
            mPcmTable[b] = mPcm[b].data();
            for (int c = 0; c < 2; ++c) {
                mDsd[2 * b + c].assign(kBits / 8, 0x96);
                mDsdTable[2 * b + c] = mDsd[2 * b + c].data();
            }
        }
        for (auto &t : mTables) t = engine().dummyPlayTable;
        mTables[0] = mPcmTable;
        engine().trackPcmBlocks[0].store(mPcmTable);
        engine().trackBlockFrames[0].store(kBits);
        engine().producedCount[0].store(int64_t(1) << 40);
        engine().engineStatus.store(kEnginePlaying);

        // The rate change, then the job's start, as the main window and the
        // producer make them.
        initDsdParameters(kRate);
        engineApplyOutputRequests();
        engine().dsm5th.initDsm5thIntegrators(44100);
        setDsdPureOrNot(true);
        (void)ClassMorphex::setUpJobRate(kRateIndexDsd64, kRate, nullptr);
        engine().delayConvFir.store((filterLen - 1) / 2 + 17);
        engine().delayConvFirMute.store(17);
        engine().dsdPureFade.store(true);  // automation level 1.0 over every buffer
        for (int c = 0; c < 2; ++c) {
            engine().fadeAck[c].store(0);
            engine().fadeReq[c].store(kFadeInBit);
        }

        mGen.initDsm5thIntegrators(kRate);
        mRec.outputChannels = 2;
        mRec.masterBuffer = engine().masterBuf;
    }

    ~DsdRig() {
        engine().masterBuf[0] = engine().masterBuf[1] = nullptr;
        engine().masterBufFrames = 0;
        engine().mutePatBuffer[0] = engine().mutePatBuffer[1] = nullptr;
        finishAudioThreadMemoryWhole();
        gAudioThread_setMixParam(nullptr);
    }

    // Produces the next source block and plays it.
    void step() {
        gAudioThread_publishMixParam();  // the mixer record as the test left it
        const int slot = int(mChunk % kRingBlocks);
        double sine[2 * kBits];
        for (int i = 0; i < kBits; ++i) {
            const double t = double(mChunk * kBits + i) / kRate;
            sine[2 * i] = 0.5 * k2p55 * std::sin(2 * M_PI * 1000.0 * t);
            sine[2 * i + 1] = 0.3 * k2p55 * std::sin(2 * M_PI * 1500.0 * t);
        }
        uint8_t *const gen[2] = {mDsd[2 * slot].data(), mDsd[2 * slot + 1].data()};
        const double noPattern[2] = {0.0, 0.0};
        mGen.dsm5th(gen, sine, kBits, 0, noPattern);
        for (int c = 0; c < 2; ++c) src[c].insert(src[c].end(), gen[c], gen[c] + kBits / 8);
        // The PCM view of the source: each bit +-2^55, averaged over the
        // filter and delayed by half of it.
        const int taps = std::max(1, mFilterLen);
        const int half = (mFilterLen - 1) / 2;
        for (int i = 0; i < kBits; ++i) {
            const int64_t g = mChunk * kBits + i;
            for (int c = 0; c < 2; ++c) {
                double s = 0.0;
                for (int k = 0; k < taps; ++k) s += bitOf(src[c], g - half - (taps - 1) / 2 + k) ? 1.0 : -1.0;
                mPcm[slot][2 * i + c] = s / taps * k2p55;
            }
        }

        uint8_t outBytes[2][kBits / 8];
        unsigned char *outs[4] = {outBytes[0], outBytes[1], nullptr, nullptr};
        int offsets[kMaxTracks] = {};
        int indices[kMaxTracks];
        for (int &i : indices) i = slot;
        ASSERT_EQ(mBackEnd.convertDataToAudioDriverBuffer(kSampleDsd, kBits, offsets, mTables, indices, outs, mDsdTable,
                                                          &mRec),
                  0);
        for (int c = 0; c < 2; ++c) out[c].insert(out[c].end(), outBytes[c], outBytes[c] + kBits / 8);
        engine().consumedCount[0].fetch_add(kBits);
        ++mChunk;
    }

    // Steps until pred holds; false after limit chunks.
    template <class Pred>
    bool runUntil(Pred pred, int limit) {
        for (int i = 0; i < limit; ++i) {
            if (pred()) return true;
            step();
            if (::testing::Test::HasFatalFailure()) return false;
        }
        return pred();
    }

    // Output bits of chunks [from, to) equal the source bits `delay`
    // positions earlier.
    bool outputIsSourceDelayed(int64_t from, int64_t to, int delay) const {
        for (int c = 0; c < 2; ++c)
            for (int64_t p = from * kBits; p < to * kBits; ++p)
                if (bitOf(out[c], p) != bitOf(src[c], p - delay)) return false;
        return true;
    }

    bool fadeInAcked() const {
        return (engine().fadeAck[0].load() & kFadeInBit) && (engine().fadeAck[1].load() & kFadeInBit);
    }
    bool pureOutput() const { return getDsmStatus(0) == 1 && getDsmStatus(1) == 1; }
    bool remodulated() const {
        return engine().dsm5th.mSpliceReq[0] == 0 && engine().dsm5th.mSpliceReq[1] == 0 && getDsmStatus(0) == 0 &&
               getDsmStatus(1) == 0;
    }
    int64_t chunk() const { return mChunk; }

    tMixParam mix;
    std::vector<uint8_t> src[2], out[2];

private:
    int mFilterLen;
    int64_t mChunk = 0;
    classDsm5thApp mGen;
    gCAudioThreadAsioFunc mBackEnd;
    tBufferSwitchParams mRec;
    std::vector<double> mMaster[2];
    std::vector<uint8_t> mMute;
    std::vector<double> mPcm[kRingBlocks];
    std::vector<uint8_t> mDsd[2 * kRingBlocks];
    double *mPcmTable[kRingBlocks];
    unsigned char *mDsdTable[2 * kRingBlocks];
    double **mTables[kMaxTracks];
};

constexpr int kFadeLimit = 1500;  // chunks: about 2.2 s of DSD64

TEST(DsdOutput, FadeInSettlesOnPureOutputAndAStopSplicesToTheMutePattern) {
    for (int filterLen : {0, 7}) {
        SCOPED_TRACE(filterLen);
        DsdRig rig(filterLen);
        const int delay = engine().delayConvFir.load();
        EXPECT_EQ(delay, filterLen ? 20 : 17);

        // Start: mute pattern, then re-modulated output rising with the fade
        // level, then the splice onto the source bits and the acknowledgement.
        ASSERT_TRUE(rig.runUntil([&] { return rig.fadeInAcked(); }, kFadeLimit));
        EXPECT_TRUE(rig.pureOutput());
        EXPECT_EQ(engine().fadeVolLpf.getCoefY_1_ch(0), 1.0);
        const int64_t pureFrom = rig.chunk();
        for (int i = 0; i < 6; ++i) rig.step();
        EXPECT_TRUE(rig.outputIsSourceDelayed(pureFrom, rig.chunk(), delay))
            << "pure output is the source, bit for bit";

        // Stop, as the buffer switch asks for it on every buffer.
        auto stopRequest = [] {
            for (auto &r : engine().fadeReq) r.store(kFadeOutBit);
            const double zero[2] = {0.0, 0.0};
            engine().fadeVolLpf.setXdiret(zero);
        };
        stopRequest();
        rig.step();
        EXPECT_EQ(engine().dsm5th.mSpliceReq[0], 0u) << "the first buffer leaves pure output";
        EXPECT_EQ(engine().dsm5th.mSpliceReq[1], 0u);
        EXPECT_EQ(engine().fadeAck[0].load() & kFadeOutBit, 0u);
        bool fadedWhileRemodulated = false;
        const bool stopped = rig.runUntil(
            [&] {
                stopRequest();
                const double y = engine().fadeVolLpf.getCoefY_1_ch(0);
                if (y > 0.0 && y < 1.0 && rig.remodulated()) fadedWhileRemodulated = true;
                // What the buffer switch waits for before it stops.
                return (engine().fadeAck[0].load() & kFadeOutBit) && (engine().fadeAck[1].load() & kFadeOutBit) &&
                       engine().fadeVolLpf.getCoefY_1_ch(0) == 0.0 && engine().fadeVolLpf.getCoefY_1_ch(1) == 0.0;
            },
            kFadeLimit);
        ASSERT_TRUE(stopped);
        EXPECT_TRUE(fadedWhileRemodulated) << "the level fades on the re-modulated stream";
        EXPECT_TRUE(rig.pureOutput()) << "on the mute pattern";

        // From the acknowledging buffer on, the output is the mute pattern
        // 0x2D delayed by 17 bits, which reads 0x96.
        const int64_t ackChunk = rig.chunk() - 1;
        for (int i = 0; i < 3; ++i) rig.step();
        for (int c = 0; c < 2; ++c)
            for (size_t b = size_t(ackChunk) * DsdRig::kBits / 8; b < rig.out[c].size(); ++b)
                ASSERT_EQ(rig.out[c][b], 0x96) << "channel " << c << " byte " << b;
    }
}

// From pure output, each row changes one thing for a few buffers.
TEST(DsdOutput, WhatSwitchesPureOutputBackToRemodulation) {
    struct Row {
        const char *what;
        bool remodulates;
    } rows[] = {
        {"two tracks", true},        {"master equaliser on", true}, {"fade level below 1", true},
        {"automation at 0.9", true}, {"pure not allowed", true},    {"fader and master gain", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        DsdRig rig(0);
        ASSERT_TRUE(rig.runUntil([&] { return rig.fadeInAcked(); }, kFadeLimit));
        ASSERT_TRUE(rig.pureOutput());

        tPEQ master;
        bool masterOn = true;
        const std::string what = row.what;
        if (what == "two tracks") {
            rig.mix.trackCount = 2;
        } else if (what == "master equaliser on") {
            master.allOn = &masterOn;
            setPEQClassToDSP(nullptr, &master);
        } else if (what == "fade level below 1") {
            const double y[2] = {0.9, 0.9};
            engine().fadeVolLpf.setY_1direct(y);
        } else if (what == "automation at 0.9") {
            engine().dsdPureFade.store(false);
        } else if (what == "pure not allowed") {
            setDsdPureOrNot(false);
        } else {
            // The mixer window folds a -6 dB fader into the matrix.
            rig.mix.ch[0].LL = rig.mix.ch[0].RR = 0.5;
            rig.mix.ch[0].gain = 0.5;
            rig.mix.masterGain = 0.5;
        }
        const int64_t from = rig.chunk();
        rig.step();
        if (row.remodulates) {
            EXPECT_EQ(engine().dsm5th.mSpliceReq[0], 0u);
            EXPECT_EQ(engine().dsm5th.mSpliceReq[1], 0u);
            EXPECT_TRUE(rig.runUntil([&] { return rig.remodulated(); }, kFadeLimit));
        } else {
            for (int i = 0; i < 4; ++i) rig.step();
            EXPECT_TRUE(rig.pureOutput());
            EXPECT_TRUE(rig.outputIsSourceDelayed(from, rig.chunk(), 17));
        }
        setPEQClassToDSP(nullptr, nullptr);
    }
}

TEST(DsdOutput, RateSetUpClearsPurityAndFadeWords) {
    setDsdPureOrNot(true);
    engine().dsdPureFade.store(true);
    for (int c = 0; c < 2; ++c) {
        engine().fadeReq[c].store(kFadeOutBit);
        engine().fadeAck[c].store(kFadeInBit);
        engine().dsm5th.mSpliceReq[c] = 0;
        engine().dsm5th.mSpliceCur[c] = 0;
    }
    initDsdParameters(kRate);
    EXPECT_FALSE(engine().dsdPure.load());
    EXPECT_FALSE(engine().dsdPureJob.load());
    EXPECT_FALSE(engine().dsdPureFade.load());
    // The modulator and the smoother are the device thread's: they change
    // at its next buffer.
    EXPECT_EQ(engine().dsm5th.mSpliceReq[0], 0u);
    engineApplyOutputRequests();
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(engine().fadeReq[c].load(), 0u);
        EXPECT_EQ(engine().fadeAck[c].load(), 0u);
        EXPECT_EQ(engine().dsm5th.mSpliceReq[c], 1u) << "each channel starts on the offered stream";
        EXPECT_EQ(getDsmStatus(c), 1u);
        EXPECT_EQ(engine().fadeVolLpf.getCoefY_1_ch(c), 0.0);
        EXPECT_EQ(engine().fadeVolLpf.getCoefX_ch(c), 0.0);
    }
}

TEST(DsdOutput, FadeRequestsSetTheTargetAndPcmWritersAcknowledgeOnArrival) {
    initDsdParameters(44100);
    engineApplyOutputRequests();
    for (auto &r : engine().fadeReq) r.store(kFadeInBit);
    audioThread_takeFadeRequests();
    EXPECT_EQ(engine().fadeVolLpf.getCoefX_ch(0), 1.0);
    EXPECT_EQ(engine().fadeVolLpf.getCoefX_ch(1), 1.0);
    audioThread_ackPcmFades();
    EXPECT_EQ(engine().fadeAck[0].load(), 0u) << "the level is still at 0";
    const double almost[2] = {1.0 - 1e-5, 1.0 - 1e-5};
    engine().fadeVolLpf.setY_1direct(almost);
    audioThread_ackPcmFades();
    EXPECT_EQ(engine().fadeAck[0].load(), kFadeInBit) << "within the snap distance counts as arrived";
    EXPECT_EQ(engine().fadeAck[1].load(), kFadeInBit);
    EXPECT_EQ(engine().fadeVolLpf.getCoefY_1_ch(0), 1.0);

    // A stop: target 0; acknowledged only once the level is there.
    for (auto &r : engine().fadeReq) r.store(kFadeOutBit);
    audioThread_takeFadeRequests();
    EXPECT_EQ(engine().fadeVolLpf.getCoefX_ch(0), 0.0);
    audioThread_ackPcmFades();
    EXPECT_EQ(engine().fadeAck[0].load() & kFadeOutBit, 0u);
    const double zero[2] = {0.0, 0.0};
    engine().fadeVolLpf.setY_1direct(zero);
    audioThread_ackPcmFades();
    EXPECT_EQ(engine().fadeAck[0].load(), kFadeInBit | kFadeOutBit);
    EXPECT_EQ(engine().fadeAck[1].load(), kFadeInBit | kFadeOutBit);
}

TEST(DsdOutput, DsdVolumeMovesPer500FramesAndOnlyOnTheRemodulatedStream) {
    initDsdParameters(kRate);
    engineApplyOutputRequests();
    engine().fadeVolLpf.set_coefA_byFs(0.03, kRate / 500);
    const double one[2] = {1.0, 1.0};
    engine().fadeVolLpf.setXdiret(one);
    setMasterVolDsp(-6.0);
    std::vector<double> src(2 * 1200, 2.0 * k2p55), work(2 * 1200);
    const double m[2] = {1.0, 1.0};

    // Spliced onto the offered stream: the level stays at 0.
    audioThread_dsdMasterVolume(src.data(), work.data(), 1200, m);
    EXPECT_EQ(engine().fadeVolLpf.getCoefY_1_ch(0), 0.0);
    EXPECT_EQ(src[0], 0.0);
    EXPECT_EQ(work[0], 2.0 * k2p55);

    for (int c = 0; c < 2; ++c) engine().dsm5th.mSpliceReq[c] = engine().dsm5th.mSpliceCur[c] = 0;
    std::fill(src.begin(), src.end(), 1e300);
    audioThread_dsdMasterVolume(src.data(), work.data(), 1200, m);
    // Three steps (0, 500, 1000): frames of a step share one level.
    const double a = lpf::coefFor(0.03, kRate / 500);
    const double g = std::pow(10.0, -6.0 / 20.0);
    EXPECT_EQ(src[2 * 499], 0.0) << "level 0 over the first step";
    EXPECT_EQ(src[2 * 500], 4611686018427387904.0) << "clamped at 2^62";
    EXPECT_DOUBLE_EQ(engine().totalVol[0].load(), (1.0 - a * a) * g);
    EXPECT_DOUBLE_EQ(engine().fadeVolLpf.getCoefY_1_ch(0), 1.0 - a * a * a);
    setMasterVolDsp(0.0);
    initDsdParameters(kRate);
    engineApplyOutputRequests();
}

TEST(DsdOutput, MissingMuteBufferWritesNoMutePattern) {
    initDsdParameters(kRate);
    engineApplyOutputRequests();
    engine().delayConvFirMute.store(17);
    engine().delayConvFir.store(17);
    for (auto &r : engine().fadeReq) r.store(kFadeInBit);
    std::vector<double> processed(2 * 1024, 0.0);
    std::vector<uint8_t> a(128), b(128), s0(128, 0x69), s1(128, 0x69);
    uint8_t *const out[2] = {a.data(), b.data()};
    const uint8_t *const src[2] = {s0.data(), s1.data()};
    uint8_t *const noMute[2] = {nullptr, nullptr};
    // Fade-in from the offered stream at level 0 chooses the mute pattern.
    fadeAudio(out, processed.data(), src, noMute, 1024, 0, 1);
    EXPECT_EQ(engine().dsm5th.mSpliceReq[0], 0u);
    EXPECT_EQ(getDsmStatus(0), 1u) << "no splice without a mute stream";
    initDsdParameters(kRate);
    engineApplyOutputRequests();
}

}  // namespace
