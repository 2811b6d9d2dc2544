// A self-contained two-channel bar meter for a strip: the level arithmetic
// of the stereo meter reduced to five zones, kept and drawn in one widget.
// Channel 1 is the left column, channel 0 the right one; each column grows
// from the bottom and has its over area on top. No form creates it; it is
// reachable through the widget type registry.
//
// Zones (fractions of the height): zone k spans kChStripZonePos[k] to
// kChStripZonePos[k + 1] and lights at level k; zone 0 has no height, the
// band above 0.918 is the over area. Levels are F + (-54, -18, -4, 0, +3) dB,
// and level 5 is the over threshold, where F is full scale: 20 log10(2^31)
// for PCM levels (mode 0), 20 log10(0.5) for DSD levels (mode 1).
//
// GUI thread only.
#pragma once

#include <QOpenGLWidget>
#include <cstdint>

#include "dsp/meterballistics.h"

class QMouseEvent;

// Zone k spans entries k to k + 1; entry 6 on is the over area.
extern const double kChStripZonePos[8];

class chStripMeter : public QOpenGLWidget {
    Q_OBJECT
public:
    enum : int {
        kZones = 6,  // flags 0..5; zones 0..4 are drawn, 5 is the over threshold
        kDrawnZones = 5,
    };

    Q_INVOKABLE explicit chStripMeter(QWidget *parent = nullptr);
    ~chStripMeter() override;

    // One update with a pair of peak levels (channel 0, channel 1). mode 0:
    // PCM levels, full scale 2^31; mode 1: DSD levels, full scale 0.5. A
    // change of mode starts the meter again from zero and drops this input.
    // period is not used.
    void setMeterData(const double levels[2], int mode, int period);
    // Release of 20 dB per second and a hold of one second at this period
    // (ms). A period that is not positive is refused.
    void setMeterUpdateTiming(int periodMs);
    // Over lamps stay lit this long (ms) after the last over; negative (or
    // before the update period is set) keeps them lit until cleared.
    void setOverHoldTime(int ms);
    // Sets both over lamps and lets both held peaks expire at the next update.
    void setOver(bool on);
    // Both shown levels to zero; held peaks stay.
    void clearPrevMeter();

    // What the last update left, for the owner's display checks.
    bool zoneOn(int channel, int zone) const;
    double fraction(int channel) const { return mFraction[channel]; }
    double peakDb(int channel) const { return mPeakDb[channel]; }
    double peakPos(int channel) const { return mPeakPos[channel]; }
    bool over(int channel) const { return mBallistics.over(channel); }
    // Level k of a mode, in dB; k = 0..5.
    static double zoneLevel(int mode, int k);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    // Pairs of lanes (channel 0, channel 1), 16-byte aligned so that both
    // channels go through each step together.
    struct alignas(16) tState {
        uint64_t zoneOn[kZones][2];  // all ones or all zeros per lane
    };

    tState *mState = nullptr;  // from _aligned_malloc; null if that failed
    meterBallistics mBallistics;
    double mFraction[2] = {0.0, 0.0};
    double mPeakDb[2] = {0.0, 0.0};
    double mPeakPos[2] = {0.0, 0.0};  // fraction of the height; 0 = no line
    float mPeakColor[2][4] = {{0.0f, 210.0f / 255.0f, 30.0f / 255.0f, 1.0f},
                              {0.0f, 210.0f / 255.0f, 30.0f / 255.0f, 1.0f}};
    int mWidth = 0;
    int mHeight = 0;
};
