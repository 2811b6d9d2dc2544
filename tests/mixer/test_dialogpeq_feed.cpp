// The equaliser window's spectrum feed: when it runs (shown, hidden,
// closed), what the graph and the spectrogram get for a track's and for the
// master's window, the channel and mode combos, the analysis rate at DSD
// rates, the Spectrum and Lissajous buttons, rate changes and HF mode.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <vector>

#include "engine/analysisrings.h"
#include "engine/enginestate.h"
#include "mixer/dialogpeq.h"
#include "mixer/dialogspectrogram.h"
#include "mixer/eqcontrols.h"
#include "mixer/widgeteq.h"
#include "mixer/widgetspectrogram.h"

namespace {

using Spectrum = std::vector<double>;

// The newest row's colour of a spectrogram set, at a cell every layout
// writes.
t3ColorsF newest(const widgetSpectrogram *sp, int set) {
    const int row = (sp->nextRow(set) + kSpectrogramRows - 1) % kSpectrogramRows;
    const t3ColorsF *c = sp->colourAt(set, row, 10);
    return c ? *c : t3ColorsF{-1.0f, -1.0f, -1.0f};
}

bool sameColour(t3ColorsF a, t3ColorsF b) { return a.red == b.red && a.green == b.green && a.blue == b.blue; }

class PeqFeed : public ::testing::Test {
protected:
    // Each buffer at its own level, so that the colour of a written row
    // tells which buffer was passed.
    Spectrum left = Spectrum(kSpectrumBins, -30.0);
    Spectrum right = Spectrum(kSpectrumBins, -90.0);
    Spectrum lowLeft = Spectrum(kSpectrumBins, -60.0);
    Spectrum lowRight = Spectrum(kSpectrumBins, 0.0);
    DialogPeq dlg;

    void TearDown() override { engine().meterFirInterval = 1; }

    widgetEq *graph() { return dlg.findChild<widgetEq *>("widgetEQ"); }
    widgetSpectrogram *sp() { return dlg.spectrogramWindow()->spectrogram(); }
    QComboBox *combo(const char *name) { return dlg.findChild<QComboBox *>(name); }

    // The buffers the main window hands the master's window.
    void master(int fftSize = kFftOrder) {
        dlg.mTrackId = 1023;
        dlg.setFFTPointer(0, left.data(), right.data(), fftSize);
        dlg.setFFTPointer(1, lowLeft.data(), lowRight.data(), 0);
    }
    // ... and a track's window once a file is opened on its track.
    void track(int fftSize = kFftOrder) {
        dlg.mTrackId = 4;
        dlg.setFFTPointer(0, left.data(), right.data(), fftSize);
    }
    void show() {
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    }
    void logLayout() {
        combo("comboBoxSpMode")->setCurrentIndex(1);
        combo("comboBoxSpMode")->setCurrentIndex(0);
    }
};

}  // namespace

TEST(PeqFeedArithmetic, SpectrogramRateIsTheAnalysisRate) {
    const struct {
        int rate, interval, analysed;
    } rows[] = {{44100, 1, 44100},       {352800, 2, 352800},   {2822399, 16, 2822399},
                {2822400, 16, 176400},   {5644800, 32, 176400}, {11289600, 64, 176400},
                {22579200, 128, 176400}, {5644800, 0, 5644800}, {5644800, -3, 5644800}};
    for (const auto &r : rows)
        EXPECT_EQ(peq_spectrogramRate(r.rate, r.interval), r.analysed) << r.rate << " / " << r.interval;
}

TEST_F(PeqFeed, FeedsFromShowUntilCloseAndWhileHidden) {
    master();
    QSignalSpy closed(&dlg, &DialogPeq::windowClosed);

    // Never shown: nothing reaches the graph or the spectrogram, and the
    // spectrogram holds no history yet.
    dlg.dialogEqCycle();
    EXPECT_EQ(graph()->mSpecL, nullptr);
    EXPECT_EQ(graph()->mSpecSize, 0);
    EXPECT_FALSE(sp()->historyAllocated(0));
    EXPECT_FALSE(sp()->historyAllocated(1));

    // Shown: the window's own timer may already have fed it while the
    // window came up, so rows are counted from here.
    show();
    int rows = sp()->nextRow(0);
    dlg.dialogEqCycle();
    EXPECT_EQ(graph()->mSpecL, left.data());
    EXPECT_EQ(graph()->mSpecR, right.data());
    EXPECT_EQ(graph()->mSpecSize, kFftOrder);
    EXPECT_EQ(graph()->mSpecRate, 44100);
    EXPECT_EQ(sp()->nextRow(0), ++rows);

    // Hidden without a close: the feed goes on.
    dlg.hide();
    dlg.dialogEqCycle();
    EXPECT_EQ(sp()->nextRow(0), ++rows);

    // A close stops it and tells the owner which window closed.
    dlg.show();
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed.at(0).at(0).toInt(), 1023);
    EXPECT_FALSE(dlg.spectrumFeedOn());
    graph()->mSpecL = nullptr;
    dlg.dialogEqCycle();
    QTest::qWait(3 * kPeqCycleMs);
    EXPECT_EQ(graph()->mSpecL, nullptr);
    EXPECT_EQ(sp()->nextRow(0), rows);

    // Shown again, the 55 ms timer feeds it by itself.
    show();
    for (int i = 0; i < 300 && sp()->nextRow(0) < rows + 2; ++i) QTest::qWait(10);
    EXPECT_GE(sp()->nextRow(0), rows + 2);
}

TEST_F(PeqFeed, TrackWindowWithoutItsMainBuffersFeedsNothing) {
    show();
    dlg.dialogEqCycle();
    // The low-frequency set alone is not enough either.
    dlg.setFFTPointer(1, lowLeft.data(), lowRight.data(), kFftOrder);
    dlg.dialogEqCycle();
    dlg.setFFTPointer(0, left.data(), nullptr, kFftOrder);
    dlg.dialogEqCycle();
    EXPECT_EQ(graph()->mSpecL, nullptr);
    EXPECT_FALSE(sp()->historyAllocated(0));
    EXPECT_FALSE(sp()->historyAllocated(1));
}

TEST_F(PeqFeed, ChannelComboChoosesTheFramesAndTheMasterAddsItsLowSet) {
    show();
    // The spectrogram keeps its own linear start although the combo shows
    // "Log"; the combo's changes reach it.
    EXPECT_EQ(sp()->spectrumMode(), kSpectrogramLinear);
    EXPECT_EQ(combo("comboBoxSpMode")->currentText(), "Log");
    EXPECT_EQ(combo("comboBoxSpCh")->currentText(), "L");
    logLayout();
    EXPECT_EQ(sp()->spectrumMode(), kSpectrogramLog);

    master();
    dlg.dialogEqCycle();
    EXPECT_EQ(sp()->nextRow(0), 1);
    EXPECT_EQ(sp()->nextRow(1), 1);
    EXPECT_TRUE(sameColour(newest(sp(), 0), spectrogram_colour(-30.0)));  // left
    EXPECT_TRUE(sameColour(newest(sp(), 1), spectrogram_colour(-60.0)));  // low left

    combo("comboBoxSpCh")->setCurrentIndex(1);  // "R"
    dlg.dialogEqCycle();
    EXPECT_TRUE(sameColour(newest(sp(), 0), spectrogram_colour(-90.0)));  // right
    EXPECT_TRUE(sameColour(newest(sp(), 1), spectrogram_colour(0.0)));    // low right
    // The graph gets both main channels whatever the combo says.
    EXPECT_EQ(graph()->mSpecL, left.data());
    EXPECT_EQ(graph()->mSpecR, right.data());
}

TEST_F(PeqFeed, TrackWindowSendsMainFramesOnly) {
    show();
    logLayout();
    track();
    dlg.dialogEqCycle();
    dlg.dialogEqCycle();
    EXPECT_EQ(sp()->nextRow(0), 2);
    EXPECT_FALSE(sp()->historyAllocated(1));
    EXPECT_TRUE(sameColour(newest(sp(), 0), spectrogram_colour(-30.0)));
}

TEST_F(PeqFeed, DsdRatesAreAnalysedAt176400) {
    // The spectrogram lays a frame out by the rate it is told, so its cell
    // count shows the rate; the graph gets the device rate undivided.
    std::vector<double> levels(kSpectrogramCells);
    std::vector<float> x(kSpectrogramCells);
    auto cellsAt = [&](int rate) {
        return spectrogram_logLevels(0, left.data(), kFftOrder, rate, levels.data(), x.data());
    };
    ASSERT_NE(cellsAt(176400), cellsAt(352800));

    show();
    logLayout();
    master();
    const struct { int rate, interval, analysed; } rows[] = {{5644800, 32, 176400}, {352800, 2, 352800}};
    for (const auto &r : rows) {
        engine().meterFirInterval = r.interval;
        dlg.changeFs(r.rate);
        dlg.dialogEqCycle();
        EXPECT_EQ(graph()->mSpecRate, r.rate);
        EXPECT_EQ(sp()->cellCount(0), cellsAt(r.analysed)) << r.rate;
    }
}

TEST_F(PeqFeed, BufferSizesAndHfMode) {
    show();
    master(8192);
    EXPECT_EQ(dlg.fftOrder(), 8192);
    // The low-frequency set's size is not used.
    dlg.setFFTPointer(1, lowLeft.data(), lowRight.data(), 123);
    EXPECT_EQ(dlg.fftOrder(), 8192);
    dlg.setFFTOrder(16384);
    dlg.dialogEqCycle();
    EXPECT_EQ(graph()->mSpecSize, 16384);

    dlg.selectEqHfMode(true);
    EXPECT_TRUE(graph()->mHfMode);
    dlg.selectEqHfMode(false);
    EXPECT_FALSE(graph()->mHfMode);
}

TEST_F(PeqFeed, SpectrumButtonOpensTheSpectrogramAndLissajousOnlyReports) {
    show();
    QSignalSpy lissajous(&dlg, &DialogPeq::lissajousButtonClicked);
    DialogSpectrogram *window = dlg.spectrogramWindow();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->parent(), nullptr);
    QTest::mouseClick(dlg.findChild<QPushButton *>("pushButtonSpectrum"), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    window->close();

    QTest::mouseClick(dlg.findChild<QPushButton *>("pushButtonLissajous"), Qt::LeftButton);
    ASSERT_EQ(lissajous.count(), 1);
    EXPECT_EQ(lissajous.at(0).at(0).toInt(), 0);
}

TEST_F(PeqFeed, RateChangeMovesBandsAboveTheNewLimit) {
    // A track record bound at 96 kHz, EQ4 typed to 30 kHz; the device then
    // changes to 44.1 kHz.
    tPEQ peq;
    const double freq[kEqBands] = {4000, 1000, 400, 100};
    for (int b = 0; b < kEqBands; ++b) peq.band[b].setupParam(0.0, freq[b], 0.7, 96000.0, kEqPeak);
    peq.allOn = &dlg.mAllEqOn;
    double volume = 0.0;
    dlg.sendPeqParam(&peq, 96000, &volume);
    dlg.setEqParamOfWidgetEq();
    dlg.setEqParamOfDialogEq();
    show();
    auto *freq4 = dlg.findChild<widgetEqParamText *>("textEditFreq4");
    freq4->setText("30000");
    QTest::keyClick(freq4, Qt::Key_Return);
    ASSERT_EQ(peq.band[0].mFreq, 30000.0);

    dlg.changeFs(44100);
    EXPECT_EQ(dlg.sampleRate(), 44100);
    EXPECT_EQ(peq.band[0].mFreq, 20000.0);
    EXPECT_EQ(peq.band[0].mFs, 44100.0);
    EXPECT_EQ(freq4->text(), "20000");
    // Bands below the limit are left alone.
    EXPECT_EQ(peq.band[1].mFreq, 1000.0);
    EXPECT_EQ(peq.band[1].mFs, 96000.0);
}
