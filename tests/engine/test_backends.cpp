// The driver back-ends' sample formats and pointer arithmetic, the inert
// back-ends' measurement state, the driver shims, and the two plain
// analysis feeds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/oscillator.h"
#include "engine/analysisrings.h"
#include "engine/asiofunc.h"
#include "engine/asioshims.h"
#include "engine/coreaudiofunc.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/mixing.h"
#include "engine/wasapifunc.h"

namespace {

constexpr double k2p55 = 36028797018963968.0;

TEST(CoreAudioBackEnd, BitsMarkerBytesAndOutputAdvance) {
    gCAudioThreadCoreAudioFunc f;
    struct Row {
        int type, bits, mark;
        int64_t bytes;  // for 512 frames of 2 channels
    } rows[] = {
        {18, 32, 0, 512 * 2 * 4},      // 32-bit integer PCM
        {0x8012, 32, 0, 512 * 2 * 4},  // 32-bit float PCM
        {0x8021, 1, 2, 512 * 2 / 4},   // DoP in floats: 4 bytes per 16 DSD bits
        {33, 1, 1, 512 * 2 * 3 / 16},  // DoP in 24-bit containers: 3 bytes per 16 bits
        {0x18021, 1, 2, 512 * 2 / 4},  // native DSD in floats
        {0x38021, 1, 2, 512 * 2 / 4},
    };
    std::vector<unsigned char> buf(8192);
    for (const Row &row : rows) {
        const int bits = f.getBitLength(row.type);
        EXPECT_EQ(bits, row.bits) << std::hex << row.type;
        EXPECT_EQ(f.getDopMarkSize(), row.mark) << std::hex << row.type;
        unsigned char *outs[4] = {buf.data(), buf.data(), nullptr, nullptr};
        f.incPlayBufferAddress(outs, 512, bits, 2, f.getDopMarkSize());
        EXPECT_EQ(outs[0] - buf.data(), row.bytes) << std::hex << row.type;
        EXPECT_EQ(outs[1], buf.data()) << "only the device output moves";
    }
    EXPECT_EQ(f.getFFTorder(), 16384);
    EXPECT_EQ(f.getCurrentBufferSize(333), 333);
}

TEST(AsioBackEnd, BitLengthPerSampleType) {
    gCAudioThreadAsioFunc f;
    const std::pair<int, int> rows[] = {{0, 16}, {16, 16}, {1, 24},  {17, 24}, {32, 1},  {33, 1},
                                        {40, 8}, {41, 32}, {18, 32}, {19, 32}, {20, 32}, {27, 32}};
    for (auto [type, bits] : rows) EXPECT_EQ(f.getBitLength(type), bits) << type;
    EXPECT_EQ(f.getDopMarkSize(), 0);
    EXPECT_EQ(f.getFFTorder(), 16384);
}

TEST(AsioBackEnd, SilenceCoversTheSampleTypesWidthAndNoMore) {
    gCAudioThreadAsioFunc f;
    struct Row {
        int type;
        size_t bytes;
        uint8_t value;
    } rows[] = {
        {16, 128, 0}, {0, 128, 0},  {17, 192, 0}, {18, 256, 0},  {2, 256, 0},   {19, 256, 0}, {3, 256, 0},
        {20, 512, 0}, {25, 256, 0}, {9, 256, 0},  {33, 8, 0x96}, {40, 8, 0x96}, {32, 8, 0},   {41, 0, 0},
    };
    for (const Row &row : rows) {
        std::vector<uint8_t> a(1024, 0xAA), b(1024, 0xAA);
        f.copy0DataToAudioDriverBuffer(row.type, 64, a.data(), b.data(), 2);
        for (const auto *v : {&a, &b}) {
            for (size_t i = 0; i < row.bytes; ++i) ASSERT_EQ((*v)[i], row.value) << row.type << " byte " << i;
            EXPECT_EQ((*v)[row.bytes], 0xAA) << row.type << ": written past the samples";
        }
    }
}

TEST(AsioBackEnd, InputSamplesToWorkFrames) {
    struct Row {
        int type;
        std::vector<uint8_t> left, right;
        double l, r;
    } rows[] = {
        {16, {0x00, 0x40}, {0x00, 0xC0}, 0.5, -0.5},
        {0, {0x40, 0x00}, {0xC0, 0x00}, 0.5, -0.5},
        {17, {0x00, 0x00, 0x40}, {0x00, 0x00, 0xC0}, 0.5, -0.5},
        {1, {0x40, 0x00, 0x00}, {0xE0, 0x00, 0x00}, 0.5, -0.25},
        {18, {0x00, 0x00, 0x00, 0x40}, {0xFF, 0xFF, 0xFF, 0x7F}, 0.5, 2147483647.0 / 2147483648.0},
        {2, {0x40, 0x00, 0x00, 0x00}, {0x80, 0x00, 0x00, 0x00}, 0.5, -1.0},
        {24, {0x00, 0x40, 0x00, 0x00}, {0x00, 0xC0, 0x00, 0x00}, 0.5, -0.5},  // 16 bits right-aligned
        {27, {0x00, 0x00, 0x40, 0x00}, {0x00, 0x00, 0xC0, 0x00}, 0.5, -0.5},  // 24 bits
        {11, {0x00, 0x40, 0x00, 0x00}, {0x00, 0xC0, 0x00, 0x00}, 0.5, -0.5},  // 24 bits, big-endian
        {19, {0x00, 0x00, 0x80, 0x3E}, {0x00, 0x00, 0x40, 0xBF}, 0.25, -0.75},
        {3, {0x3E, 0x80, 0x00, 0x00}, {0xBF, 0x40, 0x00, 0x00}, 0.25, -0.75},
        {20, {0, 0, 0, 0, 0, 0, 0xE8, 0xBF}, {0, 0, 0, 0, 0, 0, 0xD0, 0x3F}, -0.75, 0.25},
        {4, {0xBF, 0xE8, 0, 0, 0, 0, 0, 0}, {0x3F, 0xD0, 0, 0, 0, 0, 0, 0}, -0.75, 0.25},
    };
    for (const Row &row : rows) {
        double work[2] = {9.0, 9.0};
        gCAudioThreadAsioFunc::convertPair(work, row.left.data(), row.right.data(), row.type, 1);
        EXPECT_EQ(work[0], row.l) << row.type;
        EXPECT_EQ(work[1], row.r) << row.type;
    }
    // DSD: one bit per frame, first in the most significant bit.
    const uint8_t l = 0xA0, r = 0x01;
    double dsd[16];
    gCAudioThreadAsioFunc::convertPair(dsd, &l, &r, 33, 8);
    const int lBits[8] = {1, 0, 1, 0, 0, 0, 0, 0};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(dsd[2 * i], lBits[i] ? k2p55 : -k2p55) << i;
        EXPECT_EQ(dsd[2 * i + 1], i == 7 ? k2p55 : -k2p55) << i;
    }
    for (int type : {32, 40, 41}) {
        double untouched[2] = {9.0, 9.0};
        gCAudioThreadAsioFunc::convertPair(untouched, &l, &r, type, 1);
        EXPECT_EQ(untouched[0], 9.0) << type;
    }
}

TEST(AsioBackEnd, PackedSamplesReadBackWithinTheirResolution) {
    const int types[] = {0, 1, 2, 3, 4, 8, 9, 10, 11, 16, 17, 18, 19, 20, 24, 25, 26, 27};
    const double values[] = {0.5, -0.25, 0.123456789, -1.0, 1.5, -3.0};
    gCAudioThreadAsioFunc f;
    for (int type : types) {
        for (double v : values) {
            uint8_t buf[8] = {};
            const int n = gCAudioThreadAsioFunc::packSample(buf, v, type);
            ASSERT_GT(n, 0) << type;
            double back[2];
            gCAudioThreadAsioFunc::convertPair(back, buf, buf, type, 1);
            const double want = std::max(-1.0, std::min(1.0, v));
            int bits = f.getBitLength(type);
            if (type >= 8 && type <= 11) bits = 16 + 2 * (type - 8);
            if (type >= 24 && type <= 27) bits = 16 + 2 * (type - 24);
            const double step = (type == 3 || type == 19)   ? 1e-7
                                : (type == 4 || type == 20) ? 0.0
                                                            : std::ldexp(1.0, 1 - bits);
            EXPECT_NEAR(back[0], want, step) << "type " << type << " value " << v;
        }
    }
    uint8_t buf[8];
    EXPECT_EQ(gCAudioThreadAsioFunc::packSample(buf, 0.5, 33), 0) << "DSD is not packed per sample";
}

TEST(AsioBackEnd, ProgrammeWriterMixesFadesAndPacksPcm) {
    // One track at unity through the mixing step; fade level and monitor
    // volume at 1.
    tMixParam mix;
    mix.trackCount = 1;
    mix.ch[0].LL = mix.ch[0].RR = 1.0;
    mix.masterGain = 1.0;
    gAudioThread_setMixParam(&mix);
    std::vector<double> block = {0.5, -0.25, 1.5, 0.0, -2.0, 0.125, 0.0, -1.0};
    double *table[kRingBlocks];
    for (double *&e : table) e = block.data();
    double **tables[kMaxTracks];
    for (auto &t : tables) t = engine().dummyPlayTable;
    tables[0] = table;
    engine().producedCount[0].store(4);
    engine().consumedCount[0].store(0);
    std::vector<double> master(8), ret(8);
    engine().masterBuf[0] = master.data();
    engine().masterBuf[1] = ret.data();
    engine().masterBufFrames = 4;
    const double one[2] = {1.0, 1.0};
    engine().fadeVolLpf.setXdiret(one);
    engine().fadeVolLpf.setY_1direct(one);
    engine().masterVol[0].store(1.0);
    engine().masterVol[1].store(1.0);
    for (int c = 0; c < 2; ++c) {
        engine().fadeReq[c].store(kFadeInBit);
        engine().fadeAck[c].store(0);
    }
    engine().clearPeakHold.store(true);

    ASSERT_TRUE(reserveMixingBuffers(1 << 16));  // as the stream set-up does
    gCAudioThreadAsioFunc f;
    tBufferSwitchParams rec;
    std::vector<uint8_t> left(8, 0xAA), right(8, 0xAA);
    unsigned char *outs[4] = {left.data(), right.data(), nullptr, nullptr};
    int offsets[kMaxTracks] = {}, indices[kMaxTracks] = {};
    EXPECT_EQ(f.convertDataToAudioDriverBuffer(16, 4, offsets, tables, indices, outs, nullptr, &rec), 0);
    EXPECT_EQ(left[0], 0xAA) << "nothing without output channels";
    rec.outputChannels = 2;
    EXPECT_EQ(f.convertDataToAudioDriverBuffer(16, 4, offsets, tables, indices, outs, nullptr, &rec), 0);
    // 16-bit little-endian, clipped at full scale.
    EXPECT_EQ(left, (std::vector<uint8_t>{0x00, 0x40, 0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00}));
    EXPECT_EQ(right, (std::vector<uint8_t>{0x00, 0xE0, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80}));
    EXPECT_EQ(engine().fadeAck[0].load(), uint32_t(kFadeInBit)) << "the fade-in arrived";
    EXPECT_DOUBLE_EQ(gPeakHoldVal[0].load(), 2147483647.0);
    EXPECT_DOUBLE_EQ(gPeakHoldVal[1].load(), 2147483647.0);

    engine().masterBufFrames = 2;
    EXPECT_EQ(f.convertDataToAudioDriverBuffer(16, 4, offsets, tables, indices, outs, nullptr, &rec), -1)
        << "a master buffer smaller than the chunk";
    engine().masterBuf[0] = engine().masterBuf[1] = nullptr;
    engine().masterBufFrames = 0;
    gAudioThread_setMixParam(nullptr);
    engine().producedCount[0].store(0);
    finishAudioThreadMemoryWhole();
}

TEST(AsioBackEnd, MonitorPeaksOfTheCapturedInput) {
    gCAudioThreadAsioFunc f;
    const int32_t l[3] = {0x40000000, -0x20000000, 0x10000000};
    const int32_t r[3] = {-0x60000000, 0x08000000, 0};
    std::vector<double> work(64, 0.0);
    std::atomic<int32_t> offsets[kMaxTracks];
    for (auto &o : offsets) o = 0;
    offsets[0] = 4;
    tBufferSwitchParams rec;
    rec.captureWriteOffsets = offsets;
    engine().clearMoniPeakFlag = true;
    engine().monPeakPosi[0] = 7.0;
    f.convertAudioDriverToWorkBuffer(18, 3, work.data(), reinterpret_cast<const unsigned char *>(l),
                                     reinterpret_cast<const unsigned char *>(r), &rec);
    EXPECT_EQ(work[8], 0.5) << "written from the capture offset on";
    EXPECT_EQ(work[9], -0.75);
    EXPECT_EQ(work[0], 0.0);
    EXPECT_FALSE(engine().clearMoniPeakFlag.load());
    EXPECT_EQ(engine().monPeakPosi[0].load(), 0.5);
    EXPECT_EQ(engine().monPeakNega[0].load(), -0.25);
    EXPECT_EQ(engine().monPeakPosi[1].load(), 0.0625);
    EXPECT_EQ(engine().monPeakNega[1].load(), -0.75);
}

TEST(AsioBackEnd, MeasurementReadsZeroUntilSomethingIsMeasured) {
    ASSERT_EQ(audioThreadFunc_createBackEnds(), kEngineMemOk);
    const double *peak = gAutioThread_getInputMeasurePeakP();
    ASSERT_NE(peak, nullptr);
    trgPeakHoldAudio(0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(peak[i], 0.0);
    EXPECT_EQ(gAudioThread_getPhase(), 0.0);
    EXPECT_EQ(gAudioThread_getTestLissajousWrBufCount(0), 0);
    const double *ring = gAudioThread_getTestLissajousBuf(0);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring[0], 0.0);
    EXPECT_EQ(gAudioThread_getTestLissajousBuf(32), nullptr);

    // What a device thread would measure: one pair, 16-bit, both channels in phase.
    auto &asio = *static_cast<gCAudioThreadAsioFunc *>(pCAudioThreadAsioFunc);
    std::vector<int16_t> l(480), r(480);
    for (int i = 0; i < 480; ++i) {
        l[i] = int16_t(std::lrint(16384.0 * std::sin(2 * M_PI * i / 48.0)));
        r[i] = l[i];
    }
    unsigned char *inputs[2] = {reinterpret_cast<unsigned char *>(l.data()),
                                reinterpret_cast<unsigned char *>(r.data())};
    tBufferSwitchParams rec;
    rec.inputChannels = 2;
    asio.measureInputSignals(16, 480, inputs, &rec);
    trgPeakHoldAudio(0);
    EXPECT_NEAR(peak[0], 0.5, 1e-4);
    EXPECT_NEAR(peak[1], 0.5, 1e-4);
    EXPECT_NEAR(gAudioThread_getPhase(), 0.0, 1.0);
    EXPECT_EQ(gAudioThread_getTestLissajousWrBufCount(0), 480);
    trgPeakHoldAudio(0);
    EXPECT_EQ(peak[0], 0.0) << "a new measurement period starts from 0";
}

TEST(WasapiBackEnd, OnlyTheTestSignalCaptureAndPointersMove) {
    gCAudioThreadWasapiFunc f;
    EXPECT_EQ(f.getBitLength(18), 16);
    std::vector<uint8_t> out(64, 0xAA);
    f.copy0DataToAudioDriverBuffer(18, 8, out.data(), out.data(), 2);
    EXPECT_EQ(out[0], 0xAA);
    unsigned char *outs[2] = {out.data(), out.data() + 32};
    f.incPlayBufferAddress(outs, 8, 16, 2, 0);
    EXPECT_EQ(outs[0] - out.data(), 16);
    EXPECT_EQ(outs[1] - out.data(), 48);

    std::vector<double> sine(2 * 256), work(2 * 300, 0.0);
    engine().sineWaveBuffer[0] = sine.data();
    engine().sineWaveBufSize = 256;
    COscClass.setOscFS(48000);
    COscClass.setOscFreq(1000);
    COscClass.sOscOn();
    oscillatorMain expected = COscClass;
    std::vector<double> want(2 * 100);
    expected.generateSineWave(want.data(), 100);
    std::atomic<int32_t> offsets[kMaxTracks];
    for (auto &o : offsets) o = 0;
    offsets[0] = 10;
    tBufferSwitchParams rec;
    rec.captureWriteOffsets = offsets;
    f.SineWaveToWorkBuffer(18, 100, work.data(), nullptr, nullptr, &rec);
    EXPECT_EQ(f.captureOffset(), 10);
    EXPECT_EQ(work[19], 0.0);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(work[20 + i], want[i]) << i;
    COscClass.sOscOff();
    engine().sineWaveBuffer[0] = nullptr;
    engine().sineWaveBufSize = 0;
}

TEST(TestSignal, DsdToneAtHalfScaleThroughTheModulator) {
    std::vector<double> sine(2 * 256), work(2 * 256);
    engine().sineWaveBuffer[0] = sine.data();
    engine().sineWaveBufSize = 256;
    COscClass.setOscFS(2822400);
    COscClass.setOscFreq(1000);
    COscClass.sOscOn();
    oscillatorMain expected = COscClass;
    std::vector<double> want(2 * 256);
    expected.generateSineWave(want.data(), 256);
    std::vector<uint8_t> left(32, 0x55), right(32, 0x55);
    gSineWaveToWorkBuffer(engine(), true, 400, work.data(), left.data(), right.data());  // capped at the buffer's 256
    for (int i = 0; i < 512; ++i) ASSERT_EQ(work[i], want[i] * 18014398509481984.0) << i;
    // A quiet tone: about as many ones as zeros.
    int ones = 0;
    for (uint8_t b : left) ones += __builtin_popcount(b);
    EXPECT_GT(ones, 256 / 4);
    EXPECT_LT(ones, 3 * 256 / 4);
    COscClass.sOscOff();
    engine().sineWaveBuffer[0] = nullptr;
    engine().sineWaveBufSize = 0;
}

TEST(AnalysisFeeds, TrackRingKeepsTheNewestFramesAndCountsItsWindow) {
    std::vector<double> ring(2 * kTrackRingFrames, 0.0);
    gpChAnalyzeBuf[2] = ring.data();
    curFftSampleCh[2] = 0;
    engine().playFs = 48000;
    engine().meterFirInterval = 4;
    std::vector<double> frames(2 * 40);
    for (int i = 0; i < 80; ++i) frames[i] = i;
    processFFT(false, 2, frames.data(), 40);
    EXPECT_EQ(ring[2 * kTrackRingFrames - 1], 79.0);
    EXPECT_EQ(ring[2 * (kTrackRingFrames - 40)], 0.0);
    EXPECT_EQ(curFftSampleCh[2].load(), 40);
    processFFT(true, 2, frames.data(), 40);  // every 4th frame
    EXPECT_EQ(curFftSampleCh[2].load(), 50);
    EXPECT_EQ(ring[2 * kTrackRingFrames - 2], 72.0) << "frame 36";
    EXPECT_EQ(ring[2 * (kTrackRingFrames - 10)], 0.0) << "frame 0";
    EXPECT_EQ(ring[2 * (kTrackRingFrames - 11) + 1], 79.0) << "the plain feed's last frame moved down";
    processFFT(false, 40, frames.data(), 40);  // no such track: nothing happens
    gpChAnalyzeBuf[2] = nullptr;
    processFFT(false, 2, frames.data(), 40);
    engine().meterFirInterval = 1;
}

TEST(AnalysisFeeds, MasterRingWrapsAndScales) {
    curFftSample = kMasterRingFrames - 2;
    std::vector<double> frames(2 * 8);
    for (int i = 0; i < 16; ++i) frames[i] = i;
    copytoFFTbuffer(frames.data(), 4, 2, 0.5);  // frames 0, 2, 4, 6 at half scale
    EXPECT_EQ(sAnalyzeBuffer[2 * (kMasterRingFrames - 2)], 0.0);
    EXPECT_EQ(sAnalyzeBuffer[2 * (kMasterRingFrames - 1) + 1], 2.5);
    EXPECT_EQ(sAnalyzeBuffer[0], 4.0);
    EXPECT_EQ(sAnalyzeBuffer[3], 6.5);
    EXPECT_EQ(curFftSample.load(), 2);
}

TEST(AsioShims, NameStoreHoldsThirtyLatinOneNames) {
    char a[] = "Interface", b[] = "Caf\xe9", c[] = "";
    char *three[] = {a, b, c};
    asioOnReceivedNames(three, 3);
    EXPECT_EQ(getAsioDevicesNumber(), 3);
    EXPECT_EQ(getAsioReceivednames(0), QStringLiteral("Interface"));
    EXPECT_EQ(getAsioReceivednames(1), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(getAsioReceivednames(2), QString());
    EXPECT_EQ(getAsioReceivednames(3), QString());
    std::vector<char *> many(40, a);
    asioOnReceivedNames(many.data(), 40);
    EXPECT_EQ(getAsioDevicesNumber(), kAsioNameStoreSize);
    EXPECT_EQ(getAsioReceivednames(29), QStringLiteral("Interface"));
    EXPECT_EQ(getAsioReceivednames(30), QString());
    asioOnReceivedNames(nullptr, 5);
    EXPECT_EQ(getAsioDevicesNumber(), 0);
}

TEST(AsioShims, TestThreadCountsUntilStopped) {
    audioIoThread t;
    t.start();
    while (t.getTestCount() < 1000) QThread::yieldCurrentThread();
    t.stop();
    ASSERT_TRUE(t.wait(5000));
    EXPECT_GE(t.getTestCount2(), 1000);
    EXPECT_EQ(t.getTestCount2(), t.getTestCount());
}

}  // namespace
