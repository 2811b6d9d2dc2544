// The spectrogram: the colour law (as numbers and on screen), the linear and
// logarithmic layouts, the history ring with the newest frame on top, the
// low-frequency set, and the history taken only when a set's first frame
// arrives.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <cmath>
#include <vector>

#include "engine/analysisrings.h"
#include "mixer/dialogspectrogram.h"
#include "mixer/widgetspectrogram.h"

namespace {

constexpr int kW = 1024;  // one pixel per linear cell
constexpr int kH = 400;   // one pixel per row

using Spectrum = std::vector<double>;

// A full-size engine buffer at one level.
Spectrum flat(double dB) { return Spectrum(kSpectrumBins, dB); }

struct Rgb {
    int r, g, b;
};

::testing::AssertionResult near(QRgb got, Rgb want) {
    if (std::abs(qRed(got) - want.r) <= 2 && std::abs(qGreen(got) - want.g) <= 2 && std::abs(qBlue(got) - want.b) <= 2)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << qRed(got) << ", " << qGreen(got) << ", " << qBlue(got)
                                         << ") want (" << want.r << ", " << want.g << ", " << want.b << ")";
}

struct ShownSpectrogram {
    widgetSpectrogram sp;
    ShownSpectrogram() {
        sp.setFixedSize(kW, kH);
        sp.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&sp));
    }
    QImage grab() { return sp.grabFramebuffer(); }
};

// Image row of history row i counted from the bottom (0 = oldest).
int imageY(int i) { return kH - 1 - i; }

// Pixel x of a log-axis frequency in the logarithmic layout.
int logX(double hz, double top) {
    return static_cast<int>(
        std::lround((std::log10(hz) - std::log10(20.0)) / (std::log10(top) - std::log10(20.0)) * kW));
}

}  // namespace

TEST(SpectrogramColour, LevelsMapToTheFiveAnchorsAndBetween) {
    struct Row {
        double dB;
        float r, g, b;
    };
    const Row rows[] = {
        {-130.0, 0, 0, 0}, {-120.01, 0, 0, 0},  {-120.0, 0, 0, 1}, {-105.0, 0, 0.5f, 1},
        {-90.0, 0, 1, 1},  {-75.0, 0, 1, 0.5f}, {-60.0, 0, 1, 0},  {-45.0, 0.5f, 1, 0},
        {-30.0, 1, 1, 0},  {-15.0, 1, 0.5f, 0}, {0.0, 1, 0, 0},    {6.0, 1, -0.2f, 0},
    };
    for (const Row &row : rows) {
        const t3ColorsF c = spectrogram_colour(row.dB);
        EXPECT_FLOAT_EQ(c.red, row.r) << row.dB;
        EXPECT_FLOAT_EQ(c.green, row.g) << row.dB;
        EXPECT_FLOAT_EQ(c.blue, row.b) << row.dB;
    }
}

TEST(SpectrogramColour, ShownOnScreenWithLevelsAboveZeroAsPureRed) {
    // Seven bands of cells across one linear frame, repeated down the whole
    // picture.
    const double levels[] = {-130.0, -120.0, -90.0, -60.0, -30.0, 0.0, 12.0};
    const Rgb colours[] = {{0, 0, 0}, {0, 0, 255}, {0, 255, 255}, {0, 255, 0}, {255, 255, 0}, {255, 0, 0}, {255, 0, 0}};
    constexpr int band = kSpectrogramLinearCells / 7;
    Spectrum frame = flat(-500.0);
    for (int c = 0; c < kSpectrogramLinearCells; ++c) frame[c] = levels[std::min(c / band, 6)];

    ShownSpectrogram s;
    for (int i = 0; i < kSpectrogramRows; ++i) s.sp.setSpectrumData(0, frame.data(), 2048, 44100);
    const QImage img = s.grab();
    for (int k = 0; k < 7; ++k) {
        const int x = k * band + band / 2;
        for (int y : {0, kH / 2, kH - 1}) EXPECT_TRUE(near(img.pixel(x, y), colours[k])) << "band " << k << " y " << y;
    }
}

TEST(SpectrogramLinear, EachCellIsTheMaximumOfItsGroupOfBins) {
    struct Row {
        int n;
        int g;
    };
    const Row rows[] = {{512, 1}, {2048, 1}, {4096, 2}, {16384, 8}, {65536, 32}};
    for (const Row &row : rows) {
        Spectrum data = flat(-200.0);
        data[5 * row.g + row.g - 1] = -10.0;  // last bin of cell 5
        data[6 * row.g] = -20.0;              // first bin of cell 6
        double cells[kSpectrogramLinearCells];
        spectrogram_linearLevels(data.data(), row.n, cells);
        EXPECT_EQ(cells[4], -200.0) << row.n;
        EXPECT_EQ(cells[5], -10.0) << row.n;
        EXPECT_EQ(cells[6], -20.0) << row.n;
        EXPECT_EQ(cells[7], -200.0) << row.n;
    }
    // Levels below the floor read as the floor.
    Spectrum quiet = flat(-900.0);
    double cells[kSpectrogramLinearCells];
    spectrogram_linearLevels(quiet.data(), 16384, cells);
    EXPECT_EQ(cells[0], kSpectrogramFloorDb);
    EXPECT_EQ(cells[1023], kSpectrogramFloorDb);
}

TEST(SpectrogramLinear, AnOversizedFrameReadsOnlyTheEngineBuffer) {
    // A size whose groups would reach past the 65,536 values the engine's
    // buffers hold: the groups shrink to what fits (the sanitizer sees any
    // read beyond the buffer).
    Spectrum data = flat(-200.0);
    data[kSpectrumBins - 1] = -3.0;
    double cells[kSpectrogramLinearCells];
    spectrogram_linearLevels(data.data(), 1 << 22, cells);
    EXPECT_EQ(cells[1023], -3.0);
    EXPECT_EQ(cells[1022], -200.0);
}

TEST(SpectrogramHistory, TakenPerSetWhenItsFirstFrameArrives) {
    widgetSpectrogram sp;
    EXPECT_FALSE(sp.historyAllocated(0));
    EXPECT_FALSE(sp.historyAllocated(1));
    EXPECT_EQ(sp.spectrumMode(), kSpectrogramLinear);

    const Spectrum frame = flat(-60.0);
    // In the linear layout a low-frequency frame changes nothing.
    for (int flag : {0x8000, 0x8001}) {
        sp.setSpectrumData(flag, frame.data(), 16384, 44100);
        EXPECT_FALSE(sp.historyAllocated(0));
        EXPECT_FALSE(sp.historyAllocated(1));
        EXPECT_EQ(sp.nextRow(0), 0);
        EXPECT_EQ(sp.nextRow(1), 0);
    }

    // A main frame (left or right alike) takes set 0 only and keeps the
    // low-frequency row in step.
    sp.setSpectrumData(1, frame.data(), 16384, 44100);
    EXPECT_TRUE(sp.historyAllocated(0));
    EXPECT_FALSE(sp.historyAllocated(1));
    EXPECT_EQ(sp.nextRow(0), 1);
    EXPECT_EQ(sp.nextRow(1), 1);
    const t3ColorsF *cell = sp.colourAt(0, 0, 10);
    ASSERT_NE(cell, nullptr);
    EXPECT_FLOAT_EQ(cell->green, 1.0f);
    EXPECT_FLOAT_EQ(sp.colourAt(0, 1, 10)->green, 0.0f);  // not written yet: black

    const Spectrum before = flat(0.0);
    sp.setSpectrumData(0x8000, before.data(), 16384, 44100);
    EXPECT_EQ(sp.nextRow(0), 1);
    EXPECT_FLOAT_EQ(sp.colourAt(0, 0, 10)->green, 1.0f);

    // The logarithmic layout takes the low-frequency set when it arrives;
    // the switch keeps the rows already written.
    sp.setSpectrumMode(kSpectrogramLog);
    EXPECT_FLOAT_EQ(sp.colourAt(0, 0, 10)->green, 1.0f);
    sp.setSpectrumData(0x8000, frame.data(), 16384, 44100);
    EXPECT_TRUE(sp.historyAllocated(1));
    EXPECT_EQ(sp.nextRow(1), 2);
    EXPECT_EQ(sp.nextRow(0), 1);
}

TEST(SpectrogramLog, TopFrequencyIsHalfTheRateUpTo80kHz) {
    const int rates[] = {44100, 48000, 79999, 80000, 96000, 176400};
    const double tops[] = {22050.0, 24000.0, 39999.5, 40000.0, 40000.0, 40000.0};
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(spectrogram_topFrequency(rates[i]), tops[i]) << rates[i];
}

TEST(SpectrogramLog, LowFrequencySetHasOneCellPerBinFrom20To400Hz) {
    // A quarter of 44,100 Hz and 16,384 points: bins of 0.673 Hz; the first
    // bin read is 30, the last 593 (the bin of 400 Hz is 594).
    Spectrum data = flat(-100.0);
    std::vector<double> levels(kSpectrogramCells);
    std::vector<float> x(kSpectrogramCells);
    const int count = spectrogram_logLevels(1, data.data(), 16384, 44100, levels.data(), x.data());
    ASSERT_EQ(count, 594 - 30);
    const double w = 11025.0 / 16384.0;
    const double span = std::log10(22050.0) - std::log10(20.0);
    EXPECT_FLOAT_EQ(x[0], 0.0f);
    // Cell k reaches from the frequency where cell k − 1 was taken.
    for (int k : {1, 2, 100, count - 1})
        EXPECT_NEAR(x[k], (std::log10(20.0 + (k - 1) * w) - std::log10(20.0)) / span, 1e-6) << k;
}

TEST(SpectrogramLog, MainSetThinsItsCellsOutGroupByGroup) {
    // 48,000 Hz, 16,384 points: bins 103 .. 27,305 in 40 groups of about
    // 683 bins; group j takes one cell per j bins. A peak in group 1 is a
    // cell of its own; in group 3 it shares its cell with two other bins.
    Spectrum data = flat(-100.0);
    data[341] = -6.0;    // 1 kHz
    data[1700] = -12.0;  // about 4.98 kHz, group 3
    std::vector<double> levels(kSpectrogramCells);
    std::vector<float> x(kSpectrogramCells);
    const int count = spectrogram_logLevels(0, data.data(), 16384, 48000, levels.data(), x.data());
    ASSERT_GT(count, 0);
    ASSERT_LE(count, kSpectrogramCells);

    int peak1 = -1, peak2 = -1, at12 = 0;
    for (int k = 0; k < count; ++k) {
        if (levels[k] == -6.0) peak1 = k;
        if (levels[k] == -12.0) {
            peak2 = k;
            ++at12;
        }
    }
    EXPECT_EQ(peak1, 341 - 103);  // one cell per bin in group 1
    EXPECT_EQ(at12, 1);
    ASSERT_GT(peak2, 0);
    // The cells' edges rise, and the peaks' cells sit at their frequencies
    // on the axis from 20 Hz to 24 kHz.
    // (cell 0 has no width: it reaches from 300 Hz to the 300 Hz where it
    // was taken).
    EXPECT_EQ(x[1], x[0]);
    for (int k = 2; k < count; ++k) ASSERT_GT(x[k], x[k - 1]) << k;
    const double span = std::log10(24000.0) - std::log10(20.0);
    auto axis = [span](double hz) { return (std::log10(hz) - std::log10(20.0)) / span; };
    EXPECT_LE(x[peak1], axis(1000.0));
    EXPECT_GE(x[peak1 + 1], axis(990.0));
    EXPECT_LE(x[peak2], axis(4990.0));
    EXPECT_GE(x[peak2 + 1], axis(4970.0));
}

TEST(SpectrogramLog, CellsStopAtTheRowLengthAndFramesThatCannotBeLaidOutAreSkipped) {
    // A quarter of 4,000 Hz and 65,536 points would give one cell per bin
    // for 64,000 bins: the row keeps the first 14,860 (and the reads stay in
    // the engine buffer).
    Spectrum data = flat(-100.0);
    std::vector<double> levels(kSpectrogramCells);
    std::vector<float> x(kSpectrogramCells);
    EXPECT_EQ(spectrogram_logLevels(1, data.data(), 65536, 4000, levels.data(), x.data()), kSpectrogramCells);
    for (int rate : {0, -44100, 40})
        EXPECT_EQ(spectrogram_logLevels(0, data.data(), 16384, rate, levels.data(), x.data()), -1) << rate;
    EXPECT_EQ(spectrogram_logLevels(0, data.data(), 0, 44100, levels.data(), x.data()), -1);

    widgetSpectrogram sp;
    sp.setSpectrumMode(kSpectrogramLog);
    sp.setSpectrumData(0, data.data(), 0, 44100);
    sp.setSpectrumData(0, data.data(), 16384, 0);
    EXPECT_EQ(sp.nextRow(0), 0);
    sp.setSpectrumData(0x8001, data.data(), 65536, 4000);
    EXPECT_EQ(sp.cellCount(1), kSpectrogramCells);
    EXPECT_EQ(sp.nextRow(1), 1);
}

TEST(SpectrogramPicture, NewestFrameOnTopAndTheOldestOverwrittenAfter400) {
    ShownSpectrogram s;
    const Spectrum red = flat(0.0), blue = flat(-120.0);
    s.sp.setSpectrumData(0, red.data(), 2048, 44100);
    for (int i = 1; i < kSpectrogramRows; ++i) s.sp.setSpectrumData(0, blue.data(), 2048, 44100);
    QImage img = s.grab();
    EXPECT_TRUE(near(img.pixel(500, imageY(0)), {255, 0, 0}));  // oldest, at the bottom
    EXPECT_TRUE(near(img.pixel(500, imageY(1)), {0, 0, 255}));
    EXPECT_TRUE(near(img.pixel(500, imageY(399)), {0, 0, 255}));

    // The 401st frame replaces the first and becomes the top row.
    const Spectrum green = flat(-60.0);
    s.sp.setSpectrumData(0, green.data(), 2048, 44100);
    img = s.grab();
    EXPECT_TRUE(near(img.pixel(500, imageY(399)), {0, 255, 0}));
    for (int y = 0; y < kH; ++y) ASSERT_NE(qRed(img.pixel(500, y)), 255) << y;
}

TEST(SpectrogramPicture, LowFrequencyRangeStaysBlackWithoutTheMasterSet) {
    // 48,000 Hz, 16,384 points, every bin at −60 dB (green).
    ShownSpectrogram s;
    s.sp.setSpectrumMode(kSpectrogramLog);
    const Spectrum frame = flat(-60.0);
    const double top = 24000.0;
    const int y = imageY(kSpectrogramRows - 1);

    // A track's window: main frames only; 20 to 300 Hz is black.
    s.sp.setSpectrumData(0, frame.data(), 16384, 48000);
    QImage img = s.grab();
    EXPECT_TRUE(near(img.pixel(logX(100.0, top), y), {0, 0, 0}));
    EXPECT_TRUE(near(img.pixel(logX(1000.0, top), y), {0, 255, 0}));
    EXPECT_TRUE(near(img.pixel(logX(20000.0, top), y), {0, 255, 0}));

    // The master's window adds the low-frequency frame (at −30 dB, yellow),
    // drawn over the main set from 20 to 400 Hz.
    const Spectrum low = flat(-30.0);
    s.sp.setSpectrumData(0, frame.data(), 16384, 48000);
    s.sp.setSpectrumData(0x8000, low.data(), 16384, 48000);
    img = s.grab();
    EXPECT_TRUE(near(img.pixel(logX(30.0, top), y), {255, 255, 0}));
    EXPECT_TRUE(near(img.pixel(logX(100.0, top), y), {255, 255, 0}));
    EXPECT_TRUE(near(img.pixel(logX(350.0, top), y), {255, 255, 0}));
    EXPECT_TRUE(near(img.pixel(logX(1000.0, top), y), {0, 255, 0}));
}

TEST(SpectrogramPicture, AxisEndsAt40kHzFrom80kHzOn) {
    // A red peak over bins 165..176 (about 956 to 1026 Hz at 96 kHz and
    // 16,384 points): on the 40 kHz axis it lies 38 pixels left of where the
    // 24 kHz axis of 48 kHz would put it.
    ShownSpectrogram s;
    s.sp.setSpectrumMode(kSpectrogramLog);
    Spectrum frame = flat(-500.0);
    for (int i = 165; i <= 176; ++i) frame[i] = 0.0;
    s.sp.setSpectrumData(0, frame.data(), 16384, 96000);
    const QImage img = s.grab();
    const int y = imageY(kSpectrogramRows - 1);
    EXPECT_TRUE(near(img.pixel(logX(990.0, 40000.0), y), {255, 0, 0}));
    EXPECT_TRUE(near(img.pixel(logX(990.0, 24000.0), y), {0, 0, 0}));
}

TEST(SpectrogramWindow, FormAndPassThrough) {
    DialogSpectrogram dialog;
    EXPECT_EQ(dialog.objectName(), "DialogSpectrogram");
    EXPECT_EQ(dialog.windowTitle(), "Spectrogram");
    EXPECT_EQ(dialog.size(), QSize(800, 600));
    widgetSpectrogram *sp = dialog.findChild<widgetSpectrogram *>("widgetSpGraph");
    ASSERT_EQ(sp, dialog.spectrogram());

    const Spectrum frame = flat(-30.0);
    dialog.setSpectrumData(0, frame.data(), 4096, 44100);
    EXPECT_EQ(sp->nextRow(0), 1);
    dialog.setSpectrumMode(kSpectrogramLog);
    EXPECT_EQ(sp->spectrumMode(), kSpectrogramLog);
    dialog.setSpectrumMode(static_cast<tSpectrogramMode>(7));  // any value but 1 is logarithmic
    EXPECT_EQ(sp->spectrumMode(), kSpectrogramLog);
    dialog.setSpectrumMode(kSpectrogramLinear);
    EXPECT_EQ(sp->spectrumMode(), kSpectrogramLinear);
}
