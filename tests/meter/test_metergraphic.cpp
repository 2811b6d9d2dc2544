// The meter's update over time: release, peak hold, peak line, over lamps,
// mode changes and clicks. The meter is wired as an owner wires it but not
// shown: the arithmetic needs no drawing.
#include <gtest/gtest.h>

#include <QTest>
#include <cmath>

#include "meter/drawingmeterwidget.h"
#include "meter/metergraphic.h"

namespace {

constexpr double kPcmFull = 2147483648.0;  // 2^31
constexpr int kBarWidth = 200;

double pcmLevel(double dB) { return kPcmFull * std::pow(10.0, dB / 20.0); }

struct WiredMeter {
    meterGraphic meter;
    drawingMeterWidget *bar[2];
    drawingOverWidget *lamp[2];

    explicit WiredMeter(bool timing = true) {
        for (int i = 0; i < 2; ++i) {
            bar[i] = new drawingMeterWidget(&meter);
            lamp[i] = new drawingOverWidget(&meter);
            bar[i]->resizeManual(kBarWidth, 10);
            meter.mDrawWidget[i] = bar[i];
            meter.mDrawWidget[i + 2] = lamp[i];
            meter.setDrawingParameter(i);
            bar[i]->mChannel = i;
            lamp[i]->mChannel = i;
        }
        if (timing) meter.setMeterUpdateTiming(45);
    }
    void feed(double left, double right, int mode = kMeterModePcm) {
        const double levels[2] = {left, right};
        meter.setMeterData(levels, mode, 45);
    }
    void feed(double both, int mode = kMeterModePcm) { feed(both, both, mode); }
};

TEST(MeterGraphic, BarRisesAtOnceAndFallsTwentyDbPerSecond) {
    WiredMeter m;
    EXPECT_EQ(m.meter.peakHoldUpdates(), 22);
    EXPECT_EQ(m.meter.releaseFactor(), std::pow(10.0, -0.045));

    m.feed(pcmLevel(-6.0), pcmLevel(-30.0));
    EXPECT_DOUBLE_EQ(m.meter.meterLevel(0), pcmLevel(-6.0));
    EXPECT_DOUBLE_EQ(m.meter.meterLevel(1), pcmLevel(-30.0));
    for (int n = 1; n <= 10; ++n) {
        m.feed(0.0);
        EXPECT_NEAR(20.0 * std::log10(m.meter.meterLevel(0) / kPcmFull), -6.0 - 0.9 * n, 1e-9);
        EXPECT_NEAR(20.0 * std::log10(m.meter.meterLevel(1) / kPcmFull), -30.0 - 0.9 * n, 1e-9);
    }
    // A louder level during the fall takes over at once.
    m.feed(pcmLevel(-3.0), 0.0);
    EXPECT_DOUBLE_EQ(m.meter.meterLevel(0), pcmLevel(-3.0));
    // clearPrevMeter drops the bar but keeps the held peak.
    m.meter.clearPrevMeter();
    EXPECT_EQ(m.meter.meterLevel(0), 0.0);
    EXPECT_DOUBLE_EQ(m.meter.peakHold(0), pcmLevel(-3.0));
}

TEST(MeterGraphic, PeakLineHoldsTwentyThreeUpdatesThenGoes) {
    WiredMeter m;
    m.feed(pcmLevel(-19.0));
    const double line = m.meter.peakPos(0);
    EXPECT_NEAR(line, 0.5 * (0.316 + 0.361) * kBarWidth, 1e-3);
    for (int n = 1; n <= 23; ++n) {
        m.feed(0.0);
        EXPECT_EQ(m.meter.peakPos(0), line) << "update " << n;
    }
    m.feed(0.0);
    EXPECT_EQ(m.meter.peakPos(0), 0.0);
    EXPECT_EQ(m.meter.peakPos(1), 0.0);
}

TEST(MeterGraphic, ExpiredHoldRestartsFromThatUpdatesInput) {
    WiredMeter m;
    m.feed(pcmLevel(-6.0));
    const float loud = m.meter.peakDb(0);
    for (int n = 1; n <= 22; ++n) m.feed(pcmLevel(-40.0));
    EXPECT_DOUBLE_EQ(m.meter.peakHold(0), pcmLevel(-6.0));
    // The 23rd update without renewal: the hold takes this input as it is,
    // the shown peak level waits for the next renewal.
    m.feed(pcmLevel(-30.0), pcmLevel(-50.0));
    EXPECT_EQ(m.meter.peakHold(0), pcmLevel(-30.0));
    EXPECT_EQ(m.meter.peakHold(1), pcmLevel(-50.0));
    EXPECT_EQ(m.meter.peakDb(0), loud);
    // Anything below the new hold does not renew it...
    m.feed(pcmLevel(-31.0));
    EXPECT_EQ(m.meter.peakDb(0), loud);
    // ...anything at or above it does.
    m.feed(pcmLevel(-30.0));
    EXPECT_NEAR(m.meter.peakDb(0), 20.0 * std::log10(pcmLevel(-30.0)), 1e-4);
}

TEST(MeterGraphic, OverLampFollowsTheHeldPeakAndItsHoldTime) {
    struct Case {
        int holdMs;
        int darkAt;  // first update (0 = the peak) at which the lamp is dark, −1 never
    };
    // The held peak stays over through update 23; the lamp then stays lit
    // for hold + 1 more updates.
    const Case cases[] = {{2000, 23 + 23 + 1}, {1000, 23 + 1 + 1}, {-1, -1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.holdMs);
        WiredMeter m;
        m.meter.setOverHoldTime(c.holdMs);
        m.feed(2147483647.0, 0.0);
        EXPECT_TRUE(m.meter.isOver(0));
        EXPECT_FALSE(m.meter.isOver(1));
        int darkAt = -1;
        for (int n = 1; n < 80 && darkAt < 0; ++n) {
            m.feed(0.0);
            if (!m.meter.isOver(0)) darkAt = n;
        }
        EXPECT_EQ(darkAt, c.darkAt);
        if (c.darkAt < 0) {
            m.meter.setOver(false);
            EXPECT_FALSE(m.meter.isOver(0));
        }
    }
}

TEST(MeterGraphic, FullScaleInEachMode) {
    WiredMeter m;
    // PCM: one step below 2^31 is over.
    m.feed(2147483647.0);
    EXPECT_TRUE(m.meter.isOver(0));
    EXPECT_TRUE(m.meter.isOver(1));

    // DSD: 0.5 is full scale: segments 0..20, no lamp. The first DSD update
    // only resets the meter.
    WiredMeter d;
    d.feed(0.5, kMeterModeDsd);
    d.feed(0.5, kMeterModeDsd);
    for (int k = 0; k <= kMeterTopSegment; ++k) EXPECT_EQ(d.meter.segmentOn(k, 0), k <= 20) << k;
    EXPECT_EQ(d.meter.fraction(0), 0.0);
    EXPECT_FALSE(d.meter.isOver(0));
    EXPECT_FALSE(d.meter.isOver(1));
    EXPECT_EQ(d.meter.peakDb(0), -6.0206003f);
    // The single-precision peak falls just short of 0 dB: the line sits at
    // the top end of the 0 dB segment, in its yellow.
    EXPECT_NEAR(d.meter.peakPos(0), 0.908 * kBarWidth, 1e-3);
    EXPECT_EQ(d.meter.peakColor(0)[1], static_cast<double>(245.0f / 255));

    // DSD levels are clipped at 2.0 (+12 dB): over, and no peak line at +3 dB
    // or more while the lamp is lit.
    d.feed(3.0, kMeterModeDsd);
    EXPECT_DOUBLE_EQ(d.meter.peakHold(0), 2.0);
    EXPECT_TRUE(d.meter.isOver(0));
    EXPECT_EQ(d.meter.peakPos(0), 0.0);
}

TEST(MeterGraphic, ModeChangeDiscardsThatUpdate) {
    WiredMeter m;
    m.feed(pcmLevel(-1.5));
    EXPECT_TRUE(m.meter.segmentOn(18, 0));
    // DSD levels arrive: nothing of either scale is shown for this update.
    m.feed(0.25, kMeterModeDsd);
    for (int k = 0; k < kMeterLevels; ++k) EXPECT_FALSE(m.meter.segmentOn(k, 0)) << k;
    EXPECT_EQ(m.meter.meterLevel(0), 0.0);
    EXPECT_EQ(m.meter.peakHold(0), 0.0);
    EXPECT_EQ(m.meter.peakPos(0), 0.0);
    EXPECT_TRUE(std::isinf(m.meter.peakDb(0)));
    // The next update in the same mode shows the level on the DSD scale
    // (0.25 is 6.02 dB below its full scale).
    m.feed(0.25, kMeterModeDsd);
    EXPECT_TRUE(m.meter.segmentOn(14, 0));   // −8 dB
    EXPECT_FALSE(m.meter.segmentOn(15, 0));  // −6 dB
}

TEST(MeterGraphic, ClickClearsTheLampOnlyUntilTheNextUpdate) {
    WiredMeter m;
    m.feed(pcmLevel(1.0));
    ASSERT_TRUE(m.meter.isOver(0));
    QTest::mouseClick(&m.meter, Qt::LeftButton);
    EXPECT_FALSE(m.meter.isOver(0));
    EXPECT_FALSE(m.meter.isOver(1));
    // The click also let the hold expire: a lower level now replaces it at
    // once, and while the held peak was still over the lamp comes back.
    m.feed(pcmLevel(-10.0));
    EXPECT_TRUE(m.meter.isOver(0));
    EXPECT_DOUBLE_EQ(m.meter.peakHold(0), pcmLevel(-10.0));
    m.feed(pcmLevel(-10.0));
    EXPECT_NEAR(m.meter.peakDb(0), 20.0 * std::log10(pcmLevel(-10.0)), 1e-4);
}

TEST(MeterGraphic, BeforeTheTimingIsSet) {
    WiredMeter m(false);
    m.meter.setOverHoldTime(2000);
    EXPECT_EQ(m.meter.overHoldUpdates(), -1);
    // No release: the bar follows the input.
    m.feed(pcmLevel(-6.0));
    m.feed(pcmLevel(-40.0));
    EXPECT_EQ(m.meter.meterLevel(0), pcmLevel(-40.0));

    // A period that is not positive is ignored, now and later.
    m.meter.setMeterUpdateTiming(0);
    m.meter.setMeterUpdateTiming(-45);
    EXPECT_EQ(m.meter.peakHoldUpdates(), 0);
    m.meter.setMeterUpdateTiming(45);
    m.meter.setMeterUpdateTiming(0);
    EXPECT_EQ(m.meter.peakHoldUpdates(), 22);
    EXPECT_EQ(m.meter.releaseFactor(), std::pow(10.0, -0.045));
}

TEST(MeterGraphic, NotANumberReadsAsSilence) {
    WiredMeter m;
    m.feed(std::nan(""), pcmLevel(-5.0));
    EXPECT_EQ(m.meter.meterLevel(0), 0.0);
    EXPECT_EQ(m.meter.peakHold(0), 0.0);
    m.feed(pcmLevel(-5.0));
    EXPECT_DOUBLE_EQ(m.meter.peakHold(0), pcmLevel(-5.0));
    EXPECT_TRUE(m.meter.segmentOn(15, 0));
}

}  // namespace
