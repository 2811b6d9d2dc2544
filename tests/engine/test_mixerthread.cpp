// The mixer-analysis thread: which tracks a cycle analyses, the peak
// frequency it reports to the mixer strips, the master spectra, the window
// taken from a wrapping ring, and a loop that runs and stops without the
// library.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "engine/analysisrings.h"
#include "engine/mixerthread.h"
#include "enginetestutil.h"

namespace {

struct FakeMixer : tMixerStripAccess {
    std::mutex m;
    std::vector<std::pair<int, float>> peaks;
    int inputCh = -1;
    void setStripFFTPeakFreq(int strip, float hz) override {
        std::lock_guard<std::mutex> g(m);
        peaks.emplace_back(strip, hz);
    }
    void setStripInputCh(int channel) override { inputCh = channel; }
    std::vector<int> stripsAndClear() {
        std::lock_guard<std::mutex> g(m);
        std::vector<int> s;
        for (const auto &p : peaks) s.push_back(p.first);
        peaks.clear();
        return s;
    }
};

struct FakeTestDialog : tTestSequenceSource {
    int getMaxSeq() const override { return 12; }
};

// Per-track analysis rings and spectra as the engine allocates them, freed
// again after the test.
struct TrackBuffers {
    explicit TrackBuffers(int tracks, bool spectra = true) {
        for (int t = 0; t < tracks; ++t) {
            gpChAnalyzeBuf[t] = new double[2 * kTrackRingFrames]();
            if (spectra) {
                gpChFFTAmplitude[2 * t] = new double[kSpectrumBins];
                gpChFFTAmplitude[2 * t + 1] = new double[kSpectrumBins];
                std::fill_n(gpChFFTAmplitude[2 * t], kSpectrumBins, -500.0);
                std::fill_n(gpChFFTAmplitude[2 * t + 1], kSpectrumBins, -500.0);
            }
        }
    }
    ~TrackBuffers() {
        for (auto &p : gpChAnalyzeBuf) {
            delete[] p;
            p = nullptr;
        }
        for (auto &p : gpChFFTAmplitude) {
            delete[] p;
            p = nullptr;
        }
    }
};

// A sine centred on bin `bin` of a kFftOrder-point analysis.
void fillSine(double *frames, int count, int bin, double amplitude) {
    for (int i = 0; i < count; ++i) {
        const double v = amplitude * std::sin(2.0 * M_PI * bin * i / kFftOrder);
        frames[2 * i] = v;
        frames[2 * i + 1] = v;
    }
}

int argmax(const double *s, int n) { return static_cast<int>(std::max_element(s, s + n) - s); }

class MixerThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        engtest::useBuiltLibrary();
        params.trackCount = 1;
        params.sampleRate = &rate;
        params.mixer = &mixer;
        params.testDialog = &dialog;
    }
    int32_t rate = 44100;
    FakeMixer mixer;
    FakeTestDialog dialog;
    tMixerTransactParams params;
};

TEST_F(MixerThreadTest, APeakInABinReportsThatBinsCentreFrequency) {
    TrackBuffers buffers(1);
    mixerThread m;
    ASSERT_TRUE(m.isLibraryBound());
    m.setParams(&params);
    struct Case {
        int32_t rate;
        int bin;
        float hz;
    } cases[] = {
        {44100, 100, 270.51086f},    // (2 x 100 + 1) x 44100 / 32768: 270.5 Hz
        {192000, 1000, 11724.609f},  // (2 x 1000 + 1) x 192000 / 32768
        {768000, 8000, 375023.44f},  // no integer overflow at the top of the search
    };
    for (const Case &c : cases) {
        rate = c.rate;
        fillSine(gpChAnalyzeBuf[0], kTrackRingFrames, c.bin, 0.5);
        m.cyclicEvent();
        ASSERT_EQ(mixer.peaks.size(), 1u) << c.rate;
        EXPECT_EQ(mixer.peaks[0].first, 0);
        EXPECT_NEAR(mixer.peaks[0].second, c.hz, c.hz * 1e-6) << c.rate;
        if (c.rate == 44100) EXPECT_NEAR(mixer.peaks[0].second, 270.5f, 0.05f);
        EXPECT_EQ(m.getFFTPeak(0), mixer.peaks[0].second);
        // The engine's spectrum pair holds the analysis.
        EXPECT_EQ(argmax(gpChFFTAmplitude[1], kMixerPeakSearchBins), c.bin);
        EXPECT_EQ(gpChFFTAmplitude[0][c.bin], m.getSpectrum(0)[c.bin]);
        mixer.peaks.clear();
    }
}

TEST_F(MixerThreadTest, OneTrackInTurnPlusOpenEqualisersOrEveryTrackDuringATest) {
    TrackBuffers buffers(3);
    mixerThread m;
    m.setParams(&params);
    EXPECT_EQ(m.getAnalysedTrackCount(), 1);
    m.adddelTrackEvent(1);
    m.adddelTrackEvent(1);
    ASSERT_EQ(m.getAnalysedTrackCount(), 3);

    std::vector<std::vector<int>> cycles;
    auto run = [&](int n) {
        cycles.clear();
        for (int i = 0; i < n; ++i) {
            m.cyclicEvent();
            cycles.push_back(mixer.stripsAndClear());
        }
    };
    using V = std::vector<std::vector<int>>;
    run(4);
    EXPECT_EQ(cycles, (V{{0}, {1}, {2}, {0}}));

    m.mixerEqButtonClickEvent(2);
    run(3);
    EXPECT_EQ(cycles, (V{{1, 2}, {2}, {0, 2}}));
    m.eqWindowClosed(2);
    EXPECT_FALSE(m.isEqWindowOpen(2));

    m.startTLTest();
    EXPECT_EQ(m.getTLTestCurSeq(), 0);
    EXPECT_EQ(m.getTLTestLastSeq(), 12);
    run(2);
    EXPECT_EQ(cycles, (V{{0, 1, 2}, {0, 1, 2}}));

    // Analysis off (the main window is adding or removing tracks): cycles
    // are counted and do nothing else.
    const int64_t before = m.getCycleCount();
    m.setAnalysisOn(false);
    run(2);
    EXPECT_EQ(cycles, (V{{}, {}}));
    EXPECT_EQ(m.getCycleCount(), before + 2);
    m.setAnalysisOn(true);

    // A removed track is no longer analysed; the count stays within the
    // engine's track slots.
    m.adddelTrackEvent(-1);
    run(1);
    EXPECT_EQ(cycles, (V{{0, 1}}));
    for (int i = 0; i < 40; ++i) m.adddelTrackEvent(1);
    EXPECT_EQ(m.getAnalysedTrackCount(), kMaxTracks);
    for (int i = 0; i < 40; ++i) m.adddelTrackEvent(-1);
    EXPECT_EQ(m.getAnalysedTrackCount(), 0);
    run(1);
    EXPECT_EQ(cycles, (V{{}}));
}

TEST_F(MixerThreadTest, ATrackWithoutRingIsSkippedAndOneWithoutSpectraReportsBinZero) {
    TrackBuffers buffers(2, /*spectra=*/false);
    delete[] gpChAnalyzeBuf[1];
    gpChAnalyzeBuf[1] = nullptr;
    mixerThread m;
    m.setParams(&params);
    m.adddelTrackEvent(1);
    m.startTLTest();
    fillSine(gpChAnalyzeBuf[0], kTrackRingFrames, 100, 0.5);
    m.cyclicEvent();
    ASSERT_EQ(mixer.peaks.size(), 1u);
    EXPECT_EQ(mixer.peaks[0].first, 0);
    EXPECT_FLOAT_EQ(mixer.peaks[0].second, 44100.0f / 32768.0f);
}

TEST_F(MixerThreadTest, MasterSpectraKeepTheirSetUpValueUntilTheMasterWindowOpens) {
    resetAnalysisRings();
    mixerThread m;
    m.setParams(&params);
    for (int which = 0; which < 2; ++which)
        EXPECT_EQ(m.getSpectrum(which)[0], kMixerSpectrumStart) << "the thread's own outputs start at -300";

    // A tone in the master ring whose window wraps (write point below 16384).
    const int writePoint = 5000;
    std::vector<double> tone(2 * kFftOrder);
    fillSine(tone.data(), kFftOrder, 300, 0.5);
    const int tail = kFftOrder - writePoint;
    std::copy(tone.begin(), tone.begin() + 2 * tail, sAnalyzeBuffer + 2 * (kMasterRingFrames - tail));
    std::copy(tone.begin() + 2 * tail, tone.end(), sAnalyzeBuffer);
    curFftSample = writePoint;

    for (int i = 0; i < 3; ++i) m.cyclicEvent();
    for (int which = 0; which < 2; ++which)
        EXPECT_TRUE(std::all_of(sFftAmplitude[which], sFftAmplitude[which] + kSpectrumBins,
                                [](double v) { return v == kSpectrumSetUpLevel; }));

    m.setMasterAnalysis(true);
    m.cyclicEvent();
    EXPECT_EQ(argmax(sFftAmplitude[0], kFftOrder / 2), 300);
    EXPECT_EQ(argmax(sFftAmplitude[1], kFftOrder / 2), 300);
    EXPECT_NEAR(sFftAmplitude[0][300], 20.0 * std::log10(0.5), 0.01) << "a whole window, no seam";
    EXPECT_NE(sFftAmplitudeLowFreq[0][0], 0.0);

    m.eqWindowClosed(kMixerMasterEqId);
    EXPECT_FALSE(m.getMasterAnalysis());
    curFftSample = 0;
    std::fill(std::begin(sAnalyzeBuffer), std::end(sAnalyzeBuffer), 0.0);
}

TEST(MixerThreadWindow, TheNewestFramesOfARingComeWholeOrAssembledAcrossItsEnd) {
    constexpr int kRing = 32768;
    std::vector<double> ring(2 * kRing), scratch(2 * kFftOrder);
    for (int i = 0; i < kRing; ++i) ring[2 * i] = ring[2 * i + 1] = i;
    struct Case {
        int writePoint;
        int first;  // ring frame of window frame 0
    } cases[] = {
        {20000, 20000 - kFftOrder}, {kFftOrder, 0},          {kRing, kRing - kFftOrder}, {100, kRing - kFftOrder + 100},
        {0, kRing - kFftOrder},     {-5, kRing - kFftOrder}, {40000, kRing - kFftOrder},  // outside the ring: as 0
    };
    for (const Case &c : cases) {
        const double *w = mixerThread::analysisWindow(ring.data(), kRing, c.writePoint, scratch.data());
        for (int i : {0, 1, kFftOrder / 2, kFftOrder - 1}) {
            const double expect = (c.first + i) % kRing;
            EXPECT_EQ(w[2 * i], expect) << "write point " << c.writePoint << ", frame " << i;
            EXPECT_EQ(w[2 * i + 1], expect);
        }
    }
}

TEST_F(MixerThreadTest, WithoutTheLibraryTheLoopRunsAndStopsButAnalysesNothing) {
    audioThread::setLibraryPath(QStringLiteral("/nonexistent/libmorphex.so.1"));
    TrackBuffers buffers(1);
    fillSine(gpChAnalyzeBuf[0], kTrackRingFrames, 100, 0.5);
    mixerThread m;
    EXPECT_FALSE(m.isLibraryBound());
    m.setParams(&params);
    m.setMasterAnalysis(true);
    m.addTransaction(new ClassMixer);
    ASSERT_TRUE(engtest::waitFor([&] { return m.getCycleCount() >= 3; }));
    EXPECT_TRUE(m.isRunningFlag());
    m.stop();
    ASSERT_TRUE(engtest::waitFor([&] { return !m.isRunningFlag(); }, 120000)) << "the loop never ended";
    EXPECT_TRUE(mixer.peaks.empty());
    EXPECT_EQ(gpChFFTAmplitude[1][100], -500.0);
    EXPECT_EQ(m.getFFTPeak(0), 0.0f);

    // Nothing connects the input channel slot, but it reaches the window.
    m.setInputChEvent(4);
    EXPECT_EQ(mixer.inputCh, 4);
}

// The shut-down joins the loop: the stop wakes its sleep, holds even when
// it comes before the thread has started, and stopAndWait returns once run
// has returned (a lost stop would keep the loop cycling and the wait would
// report it).
TEST_F(MixerThreadTest, StopAndWaitEndsTheLoopAlsoBeforeItHasStarted) {
    TrackBuffers buffers(1);
    mixerThread m;
    m.setParams(&params);
    m.addTransaction(new ClassMixer);
    ASSERT_TRUE(m.stopAndWait(120000)) << "a stop right after the queueing was lost";
    EXPECT_FALSE(m.isRunning());
    EXPECT_FALSE(m.isRunningFlag());

    m.addTransaction(new ClassMixer);
    ASSERT_TRUE(engtest::waitFor([&] { return m.getCycleCount() >= 2; }));
    ASSERT_TRUE(m.stopAndWait(120000));
    EXPECT_FALSE(m.isRunning());
    const int64_t cycles = m.getCycleCount();
    // Nothing runs after the wait: the thread's spectra are the caller's.
    m.cyclicEvent();
    EXPECT_EQ(m.getCycleCount(), cycles + 1);

    // A thread that never ran counts as ended at once.
    mixerThread idle;
    EXPECT_TRUE(idle.stopAndWait(0));
}

TEST(MixerThreadJob, ApplyWaitsWhileTheStatusAsksForAnalysis) {
    tMixerTransactParams p;
    p.status = 0;
    ClassMixer job;
    std::atomic<bool> returned{false};
    std::thread t([&] { returned = job.apply(&p) == 0; });
    QThread::msleep(60);
    EXPECT_FALSE(returned);
    __atomic_store_n(&p.status, -1, __ATOMIC_RELAXED);
    t.join();
    EXPECT_TRUE(returned);
}

}  // namespace
