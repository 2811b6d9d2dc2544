// The equaliser curve graph: limits, picking and dragging of band points,
// the spectrum outline with its falling peak hold, and what lands on the
// screen (grid, band area, total line, spectrum, band pictures).
#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "dsp/peakeq.h"
#include "mixer/widgeteq.h"

namespace {

constexpr int kW = 670;
constexpr int kH = 260;

// Pixel column of a frequency and row of a dB value in a kW × kH grab of
// the normal (not HF) axis.
double colOf(double hz) { return (std::log10(hz) - kEqViewLeft) / (kEqAxisTopNormal - kEqViewLeft) * kW; }
double rowOf(double dB) { return (kEqViewTop - dB) / kEqViewHeight * kH; }

bool isGrey(QRgb c, int level, int tol = 2) {
    return std::abs(qRed(c) - level) <= tol && std::abs(qGreen(c) - level) <= tol && std::abs(qBlue(c) - level) <= tol;
}

bool isBlack(QRgb c) { return qRed(c) < 3 && qGreen(c) < 3 && qBlue(c) < 3; }

TEST(EqGraphArithmetic, LimitsAndSampleFrequencies) {
    const struct {
        int rate, limit;
    } limits[] = {{44100, 20000}, {48000, 20000}, {48001, 40000},  {88200, 40000},
                  {96000, 40000}, {96001, 44000}, {192000, 44000}, {2822400, 44000}};
    for (const auto &c : limits) EXPECT_EQ(eqGraph_bandFreqLimit(c.rate), c.limit) << c.rate;

    const struct {
        int index, hz;
    } samples[] = {{0, 20}, {979, 999}, {980, 1000}, {1879, 9990}, {1880, 10000}, {2179, 39900}};
    for (const auto &c : samples) EXPECT_EQ(eqGraph_sampleFrequency(c.index), c.hz) << c.index;
}

TEST(EqGraphArithmetic, PointerPickAndDrag) {
    EXPECT_DOUBLE_EQ(eqGraph_pointerLogFreq(0, kW, kEqAxisTopNormal), kEqViewLeft);
    EXPECT_DOUBLE_EQ(eqGraph_pointerLogFreq(kW, kW, kEqAxisTopHf), kEqAxisTopHf);
    EXPECT_DOUBLE_EQ(eqGraph_pointerDb(kH, kH), -21.3);
    EXPECT_DOUBLE_EQ(eqGraph_pointerDb(0, kH), 21.2);
    const double tol = eqGraph_pickTolerance(kW, kH, kEqGridRightNormal);
    EXPECT_DOUBLE_EQ(tol, kW * 0.06 * 36 / (kH * (4.602 - 1.301)));
    EXPECT_EQ(eqGraph_pickTolerance(0, kH, kEqGridRightNormal), 0.0);

    // Two points within reach: the lower-numbered band wins.
    const tEqBandPoint pts[4] = {
        {1000, 0, 3.0}, {1100, 1, std::log10(1100.0)}, {5000, 0, std::log10(5000.0)}, {8000, -6, std::log10(8000.0)}};
    EXPECT_EQ(eqGraph_pickBand(pts, 3.02, 0.5, tol), 0);
    EXPECT_EQ(eqGraph_pickBand(pts, std::log10(1100.0) + 0.05, 1.0, tol), 1);
    EXPECT_EQ(eqGraph_pickBand(pts, std::log10(8000.0), -6.0 + tol + 0.01, tol), -1);
    EXPECT_EQ(eqGraph_pickBand(pts, std::log10(8000.0) + 0.07, -6.0, tol), -1);

    const double dragMax44 = std::log10(44100.0);
    const struct {
        double logFreq, dB, dragMax;
        int limit;
        double freq, gain;
    } drags[] = {
        {0.5, 0.0, dragMax44, 20000, std::pow(10.0, 1.301), 0.0},  // far left: about 19.9986 Hz
        {4.6, 3.0, dragMax44, 20000, 20000.0, 3.0},                // past the limit: the limit exactly
        {3.0, 25.0, dragMax44, 20000, 1000.0, 18.0},
        {3.0, -30.0, dragMax44, 20000, 1000.0, -18.0},
        {4.9, 0.0, 5.0, 44000, 44000.0, 0.0},  // 192 kHz, HF axis
    };
    for (const auto &c : drags) {
        const tEqBandPoint p = eqGraph_dragPoint(c.logFreq, c.dB, c.dragMax, c.limit);
        EXPECT_NEAR(p.freq, c.freq, 1e-9) << c.logFreq;
        EXPECT_EQ(p.gain, c.gain) << c.logFreq;
        EXPECT_DOUBLE_EQ(p.logFreq, std::log10(p.freq)) << c.logFreq;
    }
    EXPECT_NEAR(eqGraph_dragPoint(0.5, 0, dragMax44, 20000).freq, 19.9986, 1e-4);
    EXPECT_EQ(eqGraph_dragPoint(4.6, 0, dragMax44, 20000).freq, 20000.0);
}

// Spectrum outline of one frame with a fresh peak hold.
struct Outline {
    std::vector<double> hold = std::vector<double>(kEqPeakHoldBins, -300.0);
    std::vector<tEqSpecSegment> segs;
    void run(const std::vector<double> &s, int n, int rate, bool hf) {
        segs.clear();
        eqGraph_spectrumSegments(s.data(), hold.data(), kEqPeakHoldBins, n, rate, hf, segs);
    }
};

TEST(EqGraphSpectrum, RangeByRateAndMode) {
    const struct {
        int n, rate;
        bool hf;
        double topHz;
    } cases[] = {
        {4096, 192000, true, 96000}, {4096, 48000, true, 24000},     {4096, 192000, false, 40000},
        {4096, 44100, false, 22050}, {16384, 5644800, false, 40000},  // DSD: read as 176.4 kHz
    };
    for (const auto &c : cases) {
        Outline o;
        o.run(std::vector<double>(c.n, -40.0), c.n, c.rate, c.hf);
        ASSERT_FALSE(o.segs.empty()) << c.rate;
        const double r = c.rate >= 2822400 ? 176400.0 : c.rate;
        const double w = r / c.n;
        // The outline ends within a group's stride (40 bins at most) of the top.
        EXPECT_LE(o.segs.back().x1, std::log10(c.topHz)) << c.rate;
        EXPECT_GE(o.segs.back().x1, std::log10(c.topHz - 41 * w)) << c.rate;
        EXPECT_DOUBLE_EQ(o.segs.back().y1, -40.0 / 5) << c.rate;
    }

    // The bins are placed at 20 Hz + k × w: the first segments, one per bin,
    // at 44.1 kHz and at a DSD rate alike (both at 176.4 kHz for DSD).
    Outline pcm, dsd;
    pcm.run(std::vector<double>(4096, -40.0), 4096, 176400, false);
    dsd.run(std::vector<double>(4096, -40.0), 4096, 5644800, false);
    ASSERT_EQ(pcm.segs.size(), dsd.segs.size());
    const double w = 176400.0 / 4096;
    for (int k = 0; k < 5; ++k) {
        EXPECT_DOUBLE_EQ(pcm.segs[k].x1, std::log10(20.0 + k * w)) << k;
        EXPECT_EQ(dsd.segs[k].x1, pcm.segs[k].x1) << k;
    }
}

TEST(EqGraphSpectrum, PeaksFallByStepsToTheBottomLine) {
    const int n = 4096;
    std::vector<double> s(n, -20.0);
    Outline o;
    o.run(s, n, 44100, false);
    ASSERT_FALSE(o.segs.empty());
    const size_t probe = 30;  // a segment of the per-bin stretch
    EXPECT_DOUBLE_EQ(o.segs[probe].y1, -4.0);

    std::fill(s.begin(), s.end(), -100.0);
    double level = -20.0;
    for (int paint = 1; paint <= 16; ++paint) {
        o.run(s, n, 44100, false);
        level -= 4.95;
        if (level < -90.0)
            EXPECT_EQ(o.segs[probe].y1, -18.0) << paint;  // sits on the bottom line
        else
            EXPECT_NEAR(o.segs[probe].y1, level / 5, 1e-9) << paint;
    }
}

TEST(EqGraphSpectrum, GuardsItsPeakHoldAndBadFrames) {
    // A 65536-point FFT has more bins below the top than the hold keeps:
    // the outline stops at the hold's last bin instead of writing past it.
    const int n = 65536;
    std::vector<double> s(n, -30.0);
    std::unique_ptr<double[]> hold(new double[kEqPeakHoldBins]);
    std::fill(hold.get(), hold.get() + kEqPeakHoldBins, -300.0);
    std::vector<tEqSpecSegment> segs;
    eqGraph_spectrumSegments(s.data(), hold.get(), kEqPeakHoldBins, n, 44100, false, segs);
    ASSERT_FALSE(segs.empty());
    EXPECT_LE(segs.back().x1, std::log10(20.0 + kEqPeakHoldBins * 44100.0 / n));
    // ... and reaches the top group of the hold.
    EXPECT_TRUE(std::any_of(hold.get() + kEqPeakHoldBins - 40, hold.get() + kEqPeakHoldBins,
                            [](double h) { return h == -30.0; }));

    segs.clear();
    eqGraph_spectrumSegments(nullptr, hold.get(), kEqPeakHoldBins, 4096, 44100, false, segs);
    eqGraph_spectrumSegments(s.data(), hold.get(), kEqPeakHoldBins, 0, 44100, false, segs);
    eqGraph_spectrumSegments(s.data(), hold.get(), kEqPeakHoldBins, 4096, 0, false, segs);
    EXPECT_TRUE(segs.empty());
}

class EqGraph : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(kW + 20, kH + 20);
        graph = new widgetEq(&window);
        graph->setGeometry(10, 10, kW, kH);
        graph->setSampleRate(44100);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void placeBand(int i, double hz, double dB) { graph->mBandPoint[i] = {hz, dB, std::log10(hz)}; }
    QPoint pixelOf(int i) const {
        return QPoint(static_cast<int>(colOf(graph->mBandPoint[i].freq)),
                      static_cast<int>(rowOf(graph->mBandPoint[i].gain)));
    }
    // Fills a row from a band's response as the window does.
    void fillRow(int row, const peakEq &band) {
        for (tEqCurvePoint &p : graph->mCurve[row]) p.dB = band.calcDBatFreq(44100.0, p.freq);
    }
    QWidget window;
    widgetEq *graph = nullptr;
};

TEST_F(EqGraph, SetSampleRateMovesBandsAtOrAboveTheLimit) {
    placeBand(0, 100, 0);
    placeBand(1, 20000, 2);  // exactly at the 44.1 kHz limit: set and reported too
    placeBand(2, 2000, 0);
    placeBand(3, 30000, -3);
    graph->setSampleRate(96000);  // limit 40 kHz: nothing moves
    QSignalSpy spy(graph, &widgetEq::eqParamChanged);
    graph->setSampleRate(96000);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(graph->mBandPoint[3].freq, 30000.0);

    graph->setSampleRate(44100);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 3);
    EXPECT_EQ(graph->mBandPoint[3].freq, 20000.0);
    EXPECT_DOUBLE_EQ(graph->mBandPoint[3].logFreq, std::log10(20000.0));
    EXPECT_EQ(graph->mBandPoint[3].gain, -3.0);
    EXPECT_EQ(graph->mBandPoint[2].freq, 2000.0);
    EXPECT_DOUBLE_EQ(graph->mDragLogMax, std::log10(44100.0));

    graph->setSampleRate(192000);
    EXPECT_EQ(graph->mDragLogMax, 5.0);
    EXPECT_EQ(graph->mBandFreqLimit, 44000);
}

TEST_F(EqGraph, DragMovesTheBandWithinItsLimits) {
    placeBand(0, 1000, 0);
    placeBand(1, 1050, 0.5);  // within reach of the same press: EQ1 is taken
    QSignalSpy spy(graph, &widgetEq::eqParamChanged);

    QTest::mousePress(graph, Qt::LeftButton, {}, pixelOf(0));
    EXPECT_EQ(graph->mDragBand, 1);
    QTest::mouseMove(graph, QPoint(static_cast<int>(colOf(3000)), static_cast<int>(rowOf(6))));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 0);
    EXPECT_NEAR(graph->mBandPoint[0].freq, 3000, 40);
    EXPECT_NEAR(graph->mBandPoint[0].gain, 6, 0.2);

    // Past the top left corner: 20 Hz, +18 dB; past the right: the limit.
    QTest::mouseMove(graph, QPoint(2, 1));
    EXPECT_NEAR(graph->mBandPoint[0].freq, 19.9986, 1e-4);
    EXPECT_EQ(graph->mBandPoint[0].gain, 18.0);
    QTest::mouseMove(graph, QPoint(kW - 2, kH - 1));
    EXPECT_EQ(graph->mBandPoint[0].freq, 20000.0);
    EXPECT_EQ(graph->mBandPoint[0].gain, -18.0);
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(kW - 2, kH - 1));
    EXPECT_EQ(graph->mDragBand, 0);
    EXPECT_EQ(graph->mBandPoint[1].freq, 1050.0);

    // A press on no point drags nothing.
    const int before = spy.count();
    QTest::mousePress(graph, Qt::LeftButton, {}, QPoint(static_cast<int>(colOf(300)), static_cast<int>(rowOf(-12))));
    EXPECT_EQ(graph->mDragBand, 0);
    QTest::mouseMove(graph, QPoint(200, 50));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(200, 50));
    EXPECT_EQ(spy.count(), before);
}

TEST_F(EqGraph, GridBandAreaAndTotalLine) {
    // Points out of the way of the probes below.
    placeBand(0, 30, -15);
    placeBand(1, 40, -15);
    placeBand(2, 50, -15);
    placeBand(3, 60, -15);

    // Nothing shown: the total row (all zeros) is not drawn over the 0 dB line.
    QImage img = graph->grabFramebuffer();
    ASSERT_EQ(img.size(), QSize(kW, kH));
    const int probeRow = static_cast<int>(rowOf(-10));
    for (double decade : {100.0, 1000.0, 10000.0}) {
        const int c = static_cast<int>(colOf(decade));
        EXPECT_TRUE(isGrey(img.pixel(c, probeRow), 116) || isGrey(img.pixel(c + 1, probeRow), 116)) << decade;
    }
    const int c200 = static_cast<int>(colOf(200));
    EXPECT_TRUE(isGrey(img.pixel(c200, probeRow), 56) || isGrey(img.pixel(c200 + 1, probeRow), 56));
    const int c3k5 = static_cast<int>(colOf(3500));
    EXPECT_TRUE(isBlack(img.pixel(c3k5, probeRow)));
    const int row0 = static_cast<int>(rowOf(0));
    EXPECT_TRUE(isGrey(img.pixel(c3k5, row0), 56) || isGrey(img.pixel(c3k5, row0 + 1), 56));
    // Above +18 dB and left of 20 Hz no line is drawn.
    EXPECT_TRUE(isBlack(img.pixel(c3k5, static_cast<int>(rowOf(20)))));
    EXPECT_TRUE(isBlack(img.pixel(static_cast<int>(colOf(15)), probeRow)));

    // A +6 dB peak at 1 kHz in EQ1's row.
    peakEq band;
    band.setupParam_do(6.0, 1000.0, 1.0, 44100.0, kEqPeak);
    fillRow(0, band);
    graph->mCurveShown[0] = true;
    graph->redrawEqCurve(0);
    EXPECT_NEAR(graph->mCurve[kEqTotalRow][980].dB, 6.0, 1e-6);  // 1000 Hz
    img = graph->grabFramebuffer();

    const int c1k = static_cast<int>(colOf(1000)) + 2;  // beside the decade line
    int whitest = -1, whiteRow = -1;
    for (int y = 60; y < 130; ++y) {
        const int v = qRed(img.pixel(c1k, y)) + qGreen(img.pixel(c1k, y)) + qBlue(img.pixel(c1k, y));
        if (v > whitest) whitest = v, whiteRow = y;
    }
    EXPECT_NEAR(whiteRow, rowOf(6.0), 1.5);
    EXPECT_GT(qGreen(img.pixel(c1k, whiteRow)), 180);  // white, not the red area
    // The red area between the curve and 0 dB, nothing above the curve.
    const QRgb inArea = img.pixel(c1k, static_cast<int>(rowOf(3.0)));
    EXPECT_NEAR(qRed(inArea), 104, 6);
    EXPECT_LT(qGreen(inArea), 8);
    EXPECT_TRUE(isBlack(img.pixel(c1k, static_cast<int>(rowOf(9.0)))));
    // The curve falls back to 0 dB far from its centre; the total line sits
    // on the 0 dB line there.
    const QRgb far = img.pixel(static_cast<int>(colOf(15000)), row0);
    EXPECT_GT(qRed(far) + qGreen(far) + qBlue(far), 3 * 150);
}

TEST_F(EqGraph, SpectrumOverlayFromAFrame) {
    placeBand(0, 30, -15);
    placeBand(1, 40, -15);
    placeBand(2, 50, -15);
    placeBand(3, 60, -15);
    const int n = 4096;
    std::vector<double> left(n, -120.0), right(n, -200.0);
    for (int k = 80; k <= 110; ++k) left[k] = -10.0;  // about 860 to 1180 Hz
    graph->setFftParams(left.data(), right.data(), n, 44100);
    const QImage img = graph->grabFramebuffer();

    const int c = static_cast<int>(colOf(1050));
    const QRgb under = img.pixel(c, static_cast<int>(rowOf(-10)));  // spectrum −10 dB is graph −2 dB
    EXPECT_NEAR(qRed(under), 45, 4);
    EXPECT_NEAR(qGreen(under), 45, 4);
    EXPECT_NEAR(qBlue(under), 89, 4);
    EXPECT_TRUE(isBlack(img.pixel(c, static_cast<int>(rowOf(0.5)))));
    // −120 dB lies on the bottom line: nothing above it.
    EXPECT_TRUE(isBlack(img.pixel(static_cast<int>(colOf(3500)), static_cast<int>(rowOf(-15)))));
}

TEST_F(EqGraph, BandPicturesFollowTheirStates) {
    placeBand(0, 300, 0);
    placeBand(1, 1000, 6);
    placeBand(2, 3000, -6);
    placeBand(3, 13, -3);  // its corner is left of the view: not drawn, not even in part
    auto centre = [&](const QImage &img, int band) { return img.pixel(pixelOf(band) + QPoint(0, 2)); };

    const QImage off = graph->grabFramebuffer();
    EXPECT_FALSE(isBlack(centre(off, 0)));
    EXPECT_TRUE(isBlack(off.pixel(pixelOf(3) + QPoint(3, 2))));

    // Lit needs both the band's flag and the equaliser's.
    graph->mPointLit[1] = true;
    EXPECT_EQ(centre(graph->grabFramebuffer(), 1), centre(off, 1));
    graph->mEqOn = true;
    const QImage lit = graph->grabFramebuffer();
    EXPECT_NE(centre(lit, 1), centre(off, 1));
    EXPECT_GT(qGreen(centre(lit, 1)), qBlue(centre(lit, 1)));  // EQ2's yellow
    EXPECT_EQ(centre(lit, 0), centre(off, 0));
    graph->mDragBand = 1;  // dragged: the "onon" picture
    EXPECT_NE(centre(graph->grabFramebuffer(), 0), centre(off, 0));
}

}  // namespace
