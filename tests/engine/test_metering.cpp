// Metering and analysis feeds: the per-rate decimation and the filters the
// library designs for it, master and track peak holds as the GUI reads
// them, the spectrum buffers, the master analysis ring and its
// low-frequency twin, the Lissajous feed, and the stopped-engine clear.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "engine/analysisrings.h"
#include "engine/audiothread.h"
#include "engine/dsdoutput.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "enginetestutil.h"

namespace {

constexpr double k2p55 = 36028797018963968.0;

double lane0(__m128d v) { return _mm_cvtsd_f64(v); }
double lane1(__m128d v) { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }

// The centre tap of a designed two-lane filter of T taps.
double centreTap(const double *coef, int taps) { return coef[2 * (taps / 2)]; }

class Metering : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        engtest::useBuiltLibrary();
        (void)initAudioIO_parameters();
    }
    static void TearDownTestSuite() { freeAudhioThreadMemories(); }
    engtest::FreshEngine mEngine;
    void SetUp() override {
        sThread = new audioThread;  // registered with this test's engine
        mix.trackCount = 1;
        gAudioThread_setMixParam(&mix);
        for (auto &id : engine().audioIoThreadId) id.store(-1);
        engine().clearPeakHold.store(false);
        gAudioThread_clearPeakAudio();
        initDsdParameters(44100);
        engine().playFs.store(44100);
    }
    void TearDown() override {
        gAudioThread_setMixParam(nullptr);
        initDsdParameters(44100);
        delete sThread;
        sThread = nullptr;
    }
    // Maps track 0 to the test's audio thread playing a source of the
    // given channels.
    static void trackZeroPlays(uint32_t channels) {
        tMorphexParam job;
        tAudioFileInfo info;
        info.sampleRate = 44100;
        info.channels = channels;
        sThread->setAudioThreadParam(kMorphexCmdPlay, &job, &info, nullptr, nullptr, 0, nullptr, 0);
        setAudioIoThreadId(sThread->getThreadIndex(), 0);
    }

    tMixParam mix;
    static audioThread *sThread;
};
audioThread *Metering::sThread = nullptr;

TEST_F(Metering, DecimationIntervalsAndFilterCutOffsPerRate) {
    ASSERT_NE(sDecimFirParamFunc.load(), nullptr) << "the built library is bound";
    const struct {
        int rate, interval;
        double meterCut;
    } rows[] = {
        {44100, 1, 344.53125},  {48000, 1, 375.0},       {176400, 1, 1378.125},    {352800, 2, 2756.25},
        {384000, 2, 3000.0},    {705600, 4, 5512.5},     {768000, 4, 6000.0},      {2822400, 16, 22050.0},
        {5644800, 32, 44100.0}, {11289600, 64, 50000.0}, {22579200, 128, 50000.0},
    };
    for (const auto &row : rows) {
        initDsdParameters(row.rate);
        EXPECT_EQ(engine().meterFirInterval.load(), row.interval) << row.rate;
        // A windowed-sinc design's centre tap is 2 x cut-off / rate.
        EXPECT_DOUBLE_EQ(centreTap(sMeterDecimBuf, kMeterFirTaps), 2 * row.meterCut / row.rate) << row.rate;
        EXPECT_DOUBLE_EQ(centreTap(sMeterDecimBufTrk, kTrackMeterFirTaps), 2 * row.meterCut / row.rate);
        EXPECT_DOUBLE_EQ(centreTap(sMeterDecimBufPCMPCM, kPcmPeakFirTaps), 2 * 40000.0 / row.rate);
        EXPECT_DOUBLE_EQ(centreTap(sFFTLowFreqDecimBuf, kLowFreqFirTaps), 2.0 * (row.rate / 4) / row.rate);
    }
}

TEST_F(Metering, MasterPcmPeakHoldsUntilReadThenTheNextBufferReplacesIt) {
    auto chunk = [](double level, double full, bool floatOut, bool postFader = false) {
        std::vector<double> src(2 * 64, 0.0);
        src[2 * 7] = level;
        src[2 * 9 + 1] = -level / 2;
        tMasterPcmMeter meter(engine(), src.data(), 64, full);
        const double fullPair[2] = {full, full}, half[2] = {0.5 * full, 0.5 * full};
        for (int i = 0; i < 64; ++i) meter.frame(i, postFader ? half : fullPair);
        meter.finish(floatOut);
    };
    chunk(0.5, kInt32FullScale, false);
    EXPECT_DOUBLE_EQ(gPeakHoldVal[0].load(), 0.5 * kInt32FullScale);
    EXPECT_DOUBLE_EQ(gPeakHoldVal[1].load(), 0.25 * kInt32FullScale);
    chunk(0.25, kInt32FullScale, false);
    EXPECT_DOUBLE_EQ(gPeakHoldVal[0].load(), 0.5 * kInt32FullScale) << "held";
    const __m128d read = getPeakHoldAudio(-1);
    EXPECT_DOUBLE_EQ(lane0(read), 0.5 * kInt32FullScale);
    EXPECT_TRUE(engine().clearPeakHold.load());
    chunk(0.25, 1.0, true);  // float output: scaled to integer units
    EXPECT_DOUBLE_EQ(gPeakHoldVal[0].load(), 0.25 * kInt32FullScale) << "replaced after the read";
    EXPECT_FALSE(engine().clearPeakHold.load());
    chunk(1.5, kInt32FullScale, false);
    EXPECT_DOUBLE_EQ(gPeakHoldVal[0].load(), kInt32FullScale) << "clipped at full scale";
    getPeakHoldAudio(-1);
    chunk(0.8, 1.0, true, true);  // metered after the volume (0.5)
    EXPECT_DOUBLE_EQ(gPeakHoldVal[0].load(), 0.4 * kInt32FullScale);

    // From 352.8 kHz on: the 25-tap filter at every second frame. A steady
    // level reads as itself (the designed filter passes DC).
    engine().playFs.store(384000);
    initDsdParameters(384000);
    getPeakHoldAudio(-1);
    std::vector<double> steady(2 * 256, 0.6);
    tMasterPcmMeter meter(engine(), steady.data(), 256, 1.0);
    const double one[2] = {1.0, 1.0};
    for (int i = 0; i < 256; ++i) meter.frame(i, one);
    meter.finish(true);
    EXPECT_NEAR(gPeakHoldVal[0].load() / kInt32FullScale, 0.6, 0.006);
}

TEST_F(Metering, PeaksAsTheGuiReadsThem) {
    for (int c = 0; c < 2; ++c) {
        gPeakHoldVal[c].store(c ? 0.2 : 0.4);
        sTrackPeakHold[0][c].store(c ? 0.1 : 0.3);
    }
    EXPECT_EQ(lane0(getPeakHoldAudio(0)), 0.0) << "track 0 has no thread";
    trackZeroPlays(2);
    EXPECT_DOUBLE_EQ(lane0(getPeakHoldAudio(0)), 0.3);
    EXPECT_DOUBLE_EQ(lane1(getPeakHoldAudio(0)), 0.1);
    EXPECT_EQ(lane0(getPeakHoldAudio(1)), 0.0) << "beyond the track count";
    EXPECT_DOUBLE_EQ(lane1(getPeakHoldAudio(-1)), 0.2);

    trackZeroPlays(1);  // a mono source alone: its left value twice
    EXPECT_DOUBLE_EQ(lane1(getPeakHoldAudio(0)), 0.3);
    EXPECT_DOUBLE_EQ(lane1(getPeakHoldAudio(-1)), 0.4);
    mix.trackCount = 2;
    gAudioThread_publishMixParam();
    EXPECT_DOUBLE_EQ(lane1(getPeakHoldAudio(-1)), 0.2) << "not with a second track";
    mix.trackCount = 1;
    gAudioThread_publishMixParam();
    trackZeroPlays(2);

    // At DSD rates the fade level scales the reading, and below 0.9 hides it.
    engine().playFs.store(2822400);
    const double y[2] = {0.95, 0.92};
    engine().fadeVolLpf.setY_1direct(y);
    engineShowFadeLevel();  // as the device does after every buffer
    EXPECT_DOUBLE_EQ(lane0(getPeakHoldAudio(0)), 0.3 * 0.95);
    EXPECT_DOUBLE_EQ(lane1(getPeakHoldAudio(-1)), 0.2 * 0.92);
    const double low[2] = {0.9, 1.0};
    engine().fadeVolLpf.setY_1direct(low);
    engineShowFadeLevel();
    EXPECT_EQ(lane0(getPeakHoldAudio(-1)), 0.0);
    EXPECT_EQ(lane1(getPeakHoldAudio(0)), 0.0);

    gAudioThread_clearPeakAudioTrack(0);
    gAudioThread_clearPeakAudio();
    EXPECT_EQ(sTrackPeakHold[0][0].load(), 0.0);
    EXPECT_EQ(gPeakHoldVal[1].load(), 0.0);
}

TEST_F(Metering, DsdMasterFeedIsDecimatedFilteredAndScaled) {
    engine().playFs.store(2822400);
    engine().meterFirInterval.store(16);
    // The centre tap alone: the ring gets the input 255 frames late.
    std::vector<double> saved(std::begin(sMeterDecimBuf), std::end(sMeterDecimBuf));
    std::fill(std::begin(sMeterDecimBuf), std::end(sMeterDecimBuf), 0.0);
    sMeterDecimBuf[2 * 255] = sMeterDecimBuf[2 * 255 + 1] = 1.0;
    std::vector<double> in(2 * 1024);
    for (int i = 0; i < 1024; ++i) {
        in[2 * i] = (i % 100) * 0.01 * k2p55;
        in[2 * i + 1] = -0.5 * k2p55;
    }
    gAudioThread_clearAnalysisStopped(0);        // empty filter history
    curFftSample.store(kMasterRingFrames - 10);  // wraps inside the call
    processFFT_MasterTrack(true, in.data(), 1024);
    EXPECT_EQ(curFftSample.load(), 64 - 10);
    // Output k is frame 16 k, which shows frame 16 k - 255.
    const int k = 40;  // ring position 30 after the wrap
    EXPECT_DOUBLE_EQ(sAnalyzeBuffer[2 * 30], ((16 * k - 255) % 100) * 0.01);
    EXPECT_DOUBLE_EQ(sAnalyzeBuffer[2 * 30 + 1], -0.5);
    double expectPeak = 0.0;  // outputs before frame 255 read the (empty) history
    for (int j = 16; j < 64; ++j) expectPeak = std::max(expectPeak, ((16 * j - 255) % 100) * 0.01);
    EXPECT_DOUBLE_EQ(gPeakHoldVal[0].load(), expectPeak) << "the largest filtered magnitude";
    EXPECT_DOUBLE_EQ(gPeakHoldVal[1].load(), 0.5);
    std::copy(saved.begin(), saved.end(), sMeterDecimBuf);
    engine().meterFirInterval.store(1);
}

TEST_F(Metering, SpectrumBuffersByIndex) {
    int size = 0;
    const struct {
        int index, which;
        double *expect;
    } rows[] = {
        {1023, 0, sFftAmplitude[0]},
        {1023, 1, sFftAmplitude[1]},
        {40, 0, sFftAmplitude[0]},
        {32, 5, sFftAmplitude[0]},
        {1022, 1, sFftAmplitudeLowFreq[1]},
        {3, 0, nullptr},
        {-1, 0, nullptr},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(getPlayingFftAnalyzing(row.index, row.which, &size), row.expect) << row.index << " " << row.which;
        EXPECT_EQ(size, 16384);
    }
    ASSERT_EQ(allocateChFFTbuffer(3), kEngineMemOk);
    double *right = getPlayingFftAnalyzing(3, 1, &size);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right, gpChFFTAmplitude[7]);
    EXPECT_EQ(right[0], -500.0);
    EXPECT_EQ(right[kSpectrumBins - 1], -500.0);
    EXPECT_EQ(gpChAnalyzeBuf[3][2 * kTrackRingFrames - 1], 0.0);
    EXPECT_EQ(allocateChFFTbuffer(kMaxTracks), -17);
    freeChFFTbuffer(3);
    EXPECT_EQ(getPlayingFftAnalyzing(3, 1, &size), nullptr);
    EXPECT_EQ(gpChAnalyzeBuf[3], nullptr);
}

TEST_F(Metering, PcmMasterFeedAndLowFrequencyRing) {
    std::fill(std::begin(sFFTLowFreqDecimBuf), std::end(sFFTLowFreqDecimBuf), 0.0);
    sFFTLowFreqDecimBuf[0] = sFFTLowFreqDecimBuf[1] = 1.0;  // the oldest tap: 80 frames late
    std::vector<double> in(2 * 20000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = double(i / 2) + (i & 1 ? 0.5 : 0.0);

    curFftSample.store(kMasterRingFrames - 3);
    curFftSampleLowFreq.store(0);
    processFFT_MasterTrack(false, in.data(), 100);
    EXPECT_EQ(curFftSample.load(), 97);
    EXPECT_EQ(sAnalyzeBuffer[2 * (kMasterRingFrames - 3)], 0.0);
    EXPECT_EQ(sAnalyzeBuffer[2 * 96 + 1], 99.5);
    EXPECT_EQ(curFftSampleLowFreq.load(), 25) << "every 4th frame";
    EXPECT_EQ(sAnalyzeBufferLowFreq[2 * 24], 96.0 - 80.0);

    // A call of half the ring or more fills one half with its newest frames.
    processFFT_MasterTrack(false, in.data(), 20000);
    EXPECT_EQ(curFftSample.load(), 0);
    EXPECT_EQ(sAnalyzeBuffer[2 * (kMasterRingFrames - 1)], 19999.0);
    processFFT_MasterTrack(false, in.data(), 20000);
    EXPECT_EQ(curFftSample.load(), kMasterRingFrames / 2);
    EXPECT_EQ(sAnalyzeBuffer[0], 20000.0 - kMasterRingFrames / 2);

    set0dataLowFreqFFT(9);  // (9 + 3) / 4 points
    const int lf = curFftSampleLowFreq.load();
    EXPECT_EQ(sAnalyzeBufferLowFreq[2 * (lf - 1)], 0.0);
    EXPECT_NE(sAnalyzeBufferLowFreq[2 * (lf - 4)], 0.0);
}

TEST_F(Metering, LissajousFeed) {
    std::vector<double> m(2 * 100);
    for (size_t i = 0; i < m.size(); ++i) m[i] = double(i);
    gLissajousBufWrPoint.store(kLissajousFrames - 40);
    feedLissajous(m.data(), 100, false);
    EXPECT_EQ(gAudioThread_getLissajousBufWrCount(), 60);
    EXPECT_EQ(gAudioThread_getLissajousBuf()[2 * 59 + 1], 199.0);

    // Decimated: the newest frames / interval frames of the master ring,
    // doubled; the ring is followed around its wrap at 32768.
    engine().meterFirInterval.store(16);
    for (int i = 0; i < 8; ++i) sAnalyzeBuffer[2 * i] = 100.0 + i;
    for (int i = 0; i < 8; ++i) sAnalyzeBuffer[2 * (kMasterRingFrames - 8 + i)] = 10.0 + i;
    curFftSample.store(4);
    prevCurFFTSample.store(0);
    gLissajousBufWrPoint.store(0);
    feedLissajous(m.data(), 160, true);  // 10 frames: ring positions 32762 .. 3
    EXPECT_EQ(gLissajousBufWrPoint.load(), 10);
    EXPECT_EQ(gLissajousBuf[0], 2 * 12.0);
    EXPECT_EQ(gLissajousBuf[2 * 5], 2 * 17.0);
    EXPECT_EQ(gLissajousBuf[2 * 6], 2 * 100.0) << "straight after the ring's last frame";
    EXPECT_EQ(curLissaSrcPoint.load(), 4);
    // Unchanged write point: continue where the last call stopped.
    feedLissajous(m.data(), 32, true);
    EXPECT_EQ(gLissajousBuf[2 * 10], 2 * 104.0);
    engine().meterFirInterval.store(1);
}

TEST_F(Metering, StoppedClearLeavesTrackBuffersAloneWhileTheirLockIsHeld) {
    ASSERT_EQ(allocateChFFTbuffer(2), kEngineMemOk);
    gpChAnalyzeBuf[2][100] = 1.0;
    sAnalyzeBuffer[10] = 1.0;
    curFftSample.store(77);

    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        std::lock_guard<std::mutex> lock(engine().chFftBufMutex);
        held = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    ASSERT_TRUE(engtest::waitFor([&] { return held.load(); }));
    gAudioThread_clearAnalysisStopped(512);
    EXPECT_EQ(sAnalyzeBuffer[10], 0.0);
    EXPECT_EQ(curFftSample.load(), 0);
    EXPECT_EQ(gpChAnalyzeBuf[2][100], 1.0) << "not touched under another thread's lock";
    EXPECT_EQ(gpChFFTAmplitude[4][0], -500.0);
    release = true;
    holder.join();

    gAudioThread_clearAnalysisStopped(512);
    EXPECT_EQ(gpChAnalyzeBuf[2][100], 0.0);
    EXPECT_EQ(gpChFFTAmplitude[4][0], -300.0);
    EXPECT_EQ(gpChFFTAmplitude[5][kSpectrumBins - 1], -300.0);
    freeChFFTbuffer(2);
}

}  // namespace
