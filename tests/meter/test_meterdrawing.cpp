// What the meter's bars and lamps show, read back from their framebuffers.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QTest>
#include <cmath>

#include "meter/drawingmeterwidget.h"
#include "meter/metergraphic.h"

namespace {

constexpr double kPcmFull = 2147483648.0;
constexpr int kLength = 300;
constexpr int kThickness = 12;

double pcmLevel(double dB) { return kPcmFull * std::pow(10.0, dB / 20.0); }

const QColor kBlack(0, 0, 0);
const QColor kGreen(0, 210, 30);
const QColor kYellow(255, 245, 85);
const QColor kOrange(243, 98, 1);
const QColor kRed(252, 42, 42);

::testing::AssertionResult sameColour(const QImage &img, int x, int y, const QColor &want) {
    const QColor got = img.pixelColor(x, y);
    if (std::abs(got.red() - want.red()) <= 2 && std::abs(got.green() - want.green()) <= 2 &&
        std::abs(got.blue() - want.blue()) <= 2)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << got.name().toStdString()
                                         << ", expected " << want.name().toStdString();
}

// A meter as an owner builds it: the four parts are children of the meter,
// wired with connectParts, and the window is on screen.
class MeterOnScreen : public ::testing::Test {
protected:
    void build(bool horizontal) {
        window.resize(400, 400);
        meter = new meterGraphic(&window);
        meter->setGeometry(10, 10, 380, 380);
        for (int i = 0; i < 2; ++i) {
            bar[i] = new drawingMeterWidget(meter);
            lamp[i] = new drawingOverWidget(meter);
            bar[i]->setHorizontal(horizontal);
            if (horizontal) {
                bar[i]->setGeometry(0, 20 * i, kLength, kThickness);
                lamp[i]->setGeometry(kLength + 5, 20 * i, kThickness, kThickness);
            } else {
                bar[i]->setGeometry(20 * i, kThickness + 5, kThickness, kLength);
                lamp[i]->setGeometry(20 * i, 0, kThickness, kThickness);
            }
        }
        meter->connectParts(bar[0], lamp[0], bar[1], lamp[1]);
        meter->setMeterUpdateTiming(45);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void feed(double left, double right) {
        const double levels[2] = {left, right};
        meter->setMeterData(levels, kMeterModePcm, 45);
        meter->repaintMeter();
    }
    // Pixel along a horizontal bar, in the middle of its thickness.
    static bool alongX(const QImage &img, double x, const QColor &c) {
        return sameColour(img, static_cast<int>(x), kThickness / 2, c);
    }

    QWidget window;
    meterGraphic *meter = nullptr;
    drawingMeterWidget *bar[2] = {};
    drawingOverWidget *lamp[2] = {};
};

TEST_F(MeterOnScreen, BarLightsUpToItsSegmentAndPartlyBeyond) {
    build(true);
    feed(pcmLevel(-19.0), pcmLevel(-5.0));

    // Channel 0 at −19 dB: segments through −20 dB (ending at 0.316 of the
    // bar) lit, the −18 dB segment (to 0.361) half lit.
    const QImage left = bar[0]->grabFramebuffer();
    ASSERT_EQ(left.width(), kLength);
    EXPECT_TRUE(alongX(left, 2, kGreen));
    EXPECT_TRUE(alongX(left, 0.316 * kLength - 2, kGreen));
    EXPECT_TRUE(alongX(left, 0.316 * kLength + 3, kGreen));
    EXPECT_TRUE(alongX(left, 0.3385 * kLength + 3, kBlack));
    EXPECT_TRUE(alongX(left, 0.8 * kLength, kBlack));
    EXPECT_TRUE(sameColour(left, 50, 0, kGreen));  // full thickness
    EXPECT_TRUE(sameColour(left, 50, kThickness - 1, kGreen));

    // Channel 1 at −5 dB: green to −16 dB, then yellow; the −4 dB segment
    // (0.655..0.724) half lit.
    const QImage right = bar[1]->grabFramebuffer();
    EXPECT_TRUE(alongX(right, 0.40 * kLength, kGreen));
    EXPECT_TRUE(alongX(right, 0.50 * kLength, kYellow));
    EXPECT_TRUE(alongX(right, 0.655 * kLength + 10, kYellow));  // partly lit −4 dB
    EXPECT_TRUE(alongX(right, 0.690 * kLength + 3, kBlack));

    // No lamp below full scale.
    EXPECT_TRUE(sameColour(lamp[0]->grabFramebuffer(), 5, 5, kBlack));
}

TEST_F(MeterOnScreen, PeakLineAndOverLamp) {
    build(true);
    // A peak at −2.5 dB, then the bar is dropped and −33 dB follows: the
    // line stays at the peak, halfway through the −2 dB segment.
    feed(pcmLevel(-2.5), pcmLevel(+6.0));
    meter->clearPrevMeter();
    feed(pcmLevel(-33.0), pcmLevel(-33.0));

    const QImage left = bar[0]->grabFramebuffer();
    EXPECT_TRUE(alongX(left, 0.1375 * kLength - 3, kGreen));  // −36 dB and half of −30 dB
    EXPECT_TRUE(alongX(left, 0.1375 * kLength + 3, kBlack));
    const double line = 0.5 * (0.77 + 0.815) * kLength;
    const bool lit = alongX(left, line, kYellow) || alongX(left, line - 1, kYellow);
    EXPECT_TRUE(lit) << "no peak line near x = " << line;
    EXPECT_TRUE(alongX(left, line + 3, kBlack));
    EXPECT_TRUE(alongX(left, line - 4, kBlack));

    // Channel 1 went 6 dB over: lamp lit, and no line at +3 dB and above.
    const QImage right = bar[1]->grabFramebuffer();
    for (int x = static_cast<int>(0.2 * kLength); x < kLength; ++x) ASSERT_TRUE(alongX(right, x, kBlack)) << x;
    EXPECT_TRUE(sameColour(lamp[1]->grabFramebuffer(), 0, 0, kRed));
    EXPECT_TRUE(sameColour(lamp[1]->grabFramebuffer(), kThickness - 1, kThickness - 1, kRed));
    EXPECT_TRUE(sameColour(lamp[0]->grabFramebuffer(), 5, 5, kBlack));

    // A click on the meter puts the lamps out.
    QTest::mouseClick(meter, Qt::LeftButton, {}, QPoint(200, 200));
    meter->repaintMeter();
    EXPECT_TRUE(sameColour(lamp[1]->grabFramebuffer(), 5, 5, kBlack));
}

TEST_F(MeterOnScreen, VerticalBarsGrowFromTheBottom) {
    build(false);
    feed(pcmLevel(-19.0), pcmLevel(-19.0));
    const QImage img = bar[1]->grabFramebuffer();
    ASSERT_EQ(img.height(), kLength);
    const auto atHeight = [&](double fromBottom, const QColor &c) {
        return sameColour(img, kThickness / 2, kLength - 1 - static_cast<int>(fromBottom), c);
    };
    EXPECT_TRUE(atHeight(2, kGreen));
    EXPECT_TRUE(atHeight(0.316 * kLength + 3, kGreen));
    EXPECT_TRUE(atHeight(0.3385 * kLength + 3, kBlack));
    EXPECT_TRUE(atHeight(0.9 * kLength, kBlack));
    EXPECT_TRUE(sameColour(img, 0, kLength - 50, kGreen));
    EXPECT_TRUE(sameColour(img, kThickness - 1, kLength - 50, kGreen));
}

TEST_F(MeterOnScreen, ReverseBarDrawsTheUnlitPart) {
    build(true);
    bar[1]->mReverse = true;
    feed(pcmLevel(-19.0), pcmLevel(-19.0));
    const QImage img = bar[1]->grabFramebuffer();
    EXPECT_TRUE(alongX(img, 0.2 * kLength, kBlack));
    EXPECT_TRUE(alongX(img, 0.34 * kLength, kGreen));  // the −18 dB segment, not partly lit
    EXPECT_TRUE(alongX(img, 0.60 * kLength, kYellow));
    EXPECT_TRUE(alongX(img, 0.93 * kLength, kOrange));
}

// Runs what the event loop has queued, the scheduled repaints included.
void drainEvents() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Counts the paints each part receives.
class tPaints : public QObject {
public:
    int count[4] = {};
    QWidget *part[4] = {};
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::Paint)
            for (int i = 0; i < 4; ++i)
                if (o == part[i]) ++count[i];
        return false;
    }
};

// A meter fed the same values tick after tick draws nothing again; a part
// is drawn again when what it shows moves: the left bar for a new left
// level, the right lamp when the right channel goes over, both bars when
// the shown level falls back. The parts that moved end up showing the new
// values.
TEST_F(MeterOnScreen, OnlyThePartsThatMovedAreDrawnAgain) {
    ASSERT_NO_FATAL_FAILURE(build(true));
    tPaints paints;
    QWidget *parts[4] = {bar[0], bar[1], lamp[0], lamp[1]};
    for (int i = 0; i < 4; ++i) {
        paints.part[i] = parts[i];
        parts[i]->installEventFilter(&paints);
    }
    // Silence until the meter has come to rest and been drawn once.
    for (int i = 0; i < 3; ++i) {
        const double silent[2] = {0.0, 0.0};
        meter->setMeterData(silent, kMeterModePcm, 45);
        meter->repaintChanged();
        drainEvents();
    }
    struct Step {
        double left, right;
        int bar0, bar1, lamp0, lamp1;  // whether each part is to be drawn again
    };
    const double quiet = 0.0, half = pcmLevel(-20.0), over = kPcmFull * 1.01;
    const Step steps[] = {
        {quiet, quiet, 0, 0, 0, 0},  // at rest
        {half, quiet, 1, 0, 0, 0},   // the left level rises
        {half, over, 0, 1, 0, 1},    // the right one goes over; the left stays where it is
    };
    for (const Step &step : steps) {
        for (int &c : paints.count) c = 0;
        const double levels[2] = {step.left, step.right};
        meter->setMeterData(levels, kMeterModePcm, 45);
        meter->repaintChanged();
        // The repaints are scheduled: the event loop runs them.
        drainEvents();
        SCOPED_TRACE(step.left);
        EXPECT_EQ(paints.count[0] > 0, step.bar0 != 0);
        EXPECT_EQ(paints.count[1] > 0, step.bar1 != 0);
        EXPECT_EQ(paints.count[2] > 0, step.lamp0 != 0);
        EXPECT_EQ(paints.count[3] > 0, step.lamp1 != 0);
    }
    EXPECT_TRUE(sameColour(lamp[1]->grabFramebuffer(), kThickness / 2, kThickness / 2, kRed));
    EXPECT_TRUE(alongX(bar[0]->grabFramebuffer(), 2, kGreen));
}

TEST(MeterParts, UnconnectedPartsStayBlack) {
    QWidget window;
    window.resize(200, 60);
    auto *bar = new drawingMeterWidget(&window);
    auto *lamp = new drawingOverWidget(&window);
    bar->setGeometry(0, 0, 150, 12);
    lamp->setGeometry(160, 0, 12, 12);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(sameColour(bar->grabFramebuffer(), 5, 5, kBlack));
    EXPECT_TRUE(sameColour(lamp->grabFramebuffer(), 5, 5, kBlack));

    // A meter that goes before its parts leaves them black, not reading
    // freed state.
    {
        meterGraphic meter;
        meter.mDrawWidget[0] = bar;
        meter.mDrawWidget[2] = lamp;
        meter.setDrawingParameter(0);
        meter.setMeterUpdateTiming(45);
        const double levels[2] = {kPcmFull, kPcmFull};
        meter.setMeterData(levels, kMeterModePcm, 45);
        EXPECT_TRUE(sameColour(bar->grabFramebuffer(), 5, 5, kGreen));
        EXPECT_TRUE(sameColour(lamp->grabFramebuffer(), 5, 5, kRed));
        // A channel number that names no lane draws nothing.
        bar->mChannel = 2;
        lamp->mChannel = -1;
        EXPECT_TRUE(sameColour(bar->grabFramebuffer(), 5, 5, kBlack));
        EXPECT_TRUE(sameColour(lamp->grabFramebuffer(), 5, 5, kBlack));
        bar->mChannel = 0;
        lamp->mChannel = 0;
    }
    EXPECT_TRUE(sameColour(bar->grabFramebuffer(), 5, 5, kBlack));
    EXPECT_TRUE(sameColour(lamp->grabFramebuffer(), 5, 5, kBlack));
}

TEST(MeterParts, ConnectingWithoutLampsDrivesTheBarsAlone) {
    QWidget window;
    window.resize(200, 60);
    meterGraphic meter(&window);
    meter.setGeometry(0, 0, 200, 60);
    drawingMeterWidget *bar[2];
    for (int i = 0; i < 2; ++i) {
        bar[i] = new drawingMeterWidget(&meter);
        bar[i]->setHorizontal(true);
        bar[i]->setGeometry(0, 20 * i, 150, 12);
        bar[i]->mChannel = 1 - i;  // the wiring sets each bar's own channel
    }
    meter.connectParts(bar[0], nullptr, bar[1], nullptr);
    EXPECT_EQ(meter.mDrawWidget[2], nullptr);
    EXPECT_EQ(meter.mDrawWidget[3], nullptr);
    EXPECT_EQ(bar[0]->mChannel, 0);
    EXPECT_EQ(bar[1]->mChannel, 1);
    meter.setMeterUpdateTiming(45);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const double levels[2] = {kPcmFull, 0.0};
    meter.setMeterData(levels, kMeterModePcm, 45);
    meter.repaintMeter();
    EXPECT_TRUE(sameColour(bar[0]->grabFramebuffer(), 5, 5, kGreen));
    EXPECT_TRUE(sameColour(bar[1]->grabFramebuffer(), 5, 5, kBlack));
}

TEST(MeterParts, PressesAreSignalled) {
    drawingMeterWidget bar;
    drawingOverWidget lamp;
    int presses = 0;
    QObject::connect(&bar, &drawingMeterWidget::mousePressed, [&] { ++presses; });
    QObject::connect(&lamp, &drawingOverWidget::mousePressed, [&] { ++presses; });
    QTest::mousePress(&bar, Qt::LeftButton);
    QTest::mousePress(&lamp, Qt::RightButton);
    EXPECT_EQ(presses, 2);
}

}  // namespace
