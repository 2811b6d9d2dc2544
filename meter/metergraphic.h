// The stereo level meter: the state of both channels and the arithmetic of
// every update. It draws nothing itself; two bars (drawingMeterWidget) and
// two over lamps (drawingOverWidget) of the owner's form read its state
// through pointers it hands them, and the owner repaints them after each
// update.
//
// Wiring, after the owner's form is built: connectParts with the two bars
// and the two lamps, then setMeterUpdateTiming(45).
// Then setMeterData once per timer tick, followed by repaintMeter. Both bars
// must have the same size: the peak lines of both channels are placed on
// bar 0's scale.
//
// GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>

#include "meter/meterscale.h"

class QMouseEvent;
class drawingMeterWidget;
class drawingOverWidget;

// The values both channels compute side by side, as pairs (channel 0,
// channel 1), 16-byte aligned so that a pair fits one vector register.
struct alignas(16) tMeterLanes {
    uint64_t segmentOn[kMeterLevels][2];  // all ones: segment lit
};

class meterGraphic : public QWidget {
    Q_OBJECT

public:
    explicit meterGraphic(QWidget *parent = nullptr);
    ~meterGraphic() override;
    meterGraphic(const meterGraphic &) = delete;
    meterGraphic &operator=(const meterGraphic &) = delete;

    // The drawing parts, set by the owner and owned by its form: 0 bar of
    // channel 0, 1 bar of channel 1, 2 lamp of channel 0, 3 lamp of channel 1.
    // Bars are drawingMeterWidget, lamps drawingOverWidget; an entry of
    // another type is left alone, and a part deleted before the meter drops
    // out by itself.
    QPointer<QWidget> mDrawWidget[4];

    // Hands the meter's state to bar i and lamp i + 2 (i = 0 or 1), which
    // from then on draw it.
    void setDrawingParameter(int i);

    // The whole wiring of the owner's parts, channel 0 then channel 1: each
    // bar and lamp goes into mDrawWidget, gets the meter's state
    // (setDrawingParameter) and its channel (mChannel). A null part is
    // left out.
    void connectParts(drawingMeterWidget *bar0, drawingOverWidget *lamp0, drawingMeterWidget *bar1,
                      drawingOverWidget *lamp1);

    // The owner's update period in ms: the peak hold lasts one second's worth
    // of updates and the shown level falls 20 dB per second. Periods that are
    // not positive are ignored.
    void setMeterUpdateTiming(int periodMs);

    // How long an over lamp stays lit, in ms: negative keeps it lit until
    // cleared; otherwise it stays lit for H + 1 updates after the last update
    // that set it, H being 0 up to 1000 ms and the time beyond the first
    // second in update periods (of the period set before) above that.
    void setOverHoldTime(int ms);

    // Both over lamps on or off; both held peaks expire at the next update
    // unless that update renews them.
    void setOver(bool on);

    // One update with the peak levels of both channels (levels[0], levels[1],
    // linear, on the scale of the mode: kMeterModePcm, 2^31 full scale, or
    // kMeterModeDsd, 0.5 full scale). A change of mode discards this update's
    // levels and starts the shown level and the held peaks from zero. The
    // period is not used: the meter uses the one of setMeterUpdateTiming.
    void setMeterData(const double *levels, int mode, int periodMs);

    // Drops the shown level of both channels; the held peaks stay.
    void clearPrevMeter();

    // Repaints bar 0, lamp 0, bar 1 and lamp 1 at once.
    void repaintMeter();
    // Schedules a repaint (QWidget::update) of only those parts whose drawn
    // values (lit segments, the partly lit one, the peak line and its
    // colour, the lamp) differ from what they showed when they were last
    // scheduled here; a meter at rest repaints nothing. Scheduled rather
    // than immediate, the parts that moved reach the screen together with
    // the rest of the window's changes, in one composition of the window.
    // Returns the number of parts scheduled.
    int repaintChanged();

    // Read-outs of the state. ch is 0 or 1, k 0..23.
    bool segmentOn(int k, int ch) const;
    double fraction(int ch) const;          // fill of the first unlit segment, 0..1
    double meterLevel(int ch) const;        // shown level
    double peakHold(int ch) const;          // held peak
    float peakDb(int ch) const;             // held peak in dB, single precision
    double peakPos(int ch) const;           // peak line in pixels of bar 0, 0 = none
    const double *peakColor(int ch) const;  // red, green, blue, alpha
    bool isOver(int ch) const;
    int peakHoldUpdates() const { return mBallistics.peakHoldUpdates(); }
    int overHoldUpdates() const { return mBallistics.overHoldUpdates(); }
    double releaseFactor() const;

public slots:
    // Hands the event to mousePressEvent.
    void mousePressedOnMeter(QMouseEvent *event);

protected:
    // A click clears both over lamps and lets both held peaks expire.
    void mousePressEvent(QMouseEvent *event) override;

private:
    // Null when the block could not be allocated: the meter then ignores
    // every update and its parts stay black.
    tMeterLanes *mLanes = nullptr;
    meterBallistics mBallistics;
    double mFraction[2] = {};
    float mPeakDb[2] = {};
    double mPeakPos[2] = {};
    double mPeakColor[2][4] = {{0.0, 210.0 / 255, 30.0 / 255, 1.0}, {0.0, 210.0 / 255, 30.0 / 255, 1.0}};
    // What one part showed at its last repaint by repaintChanged.
    struct tShown {
        bool valid = false;
        uint64_t segments = 0;  // bit k: segment k lit
        double fraction = 0, peakPos = 0, peakColor[4] = {};
        bool over = false;
    };
    tShown shownBy(int part) const;
    tShown mShown[4];
};
