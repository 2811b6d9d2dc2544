// The mixer strips' level fader and pan control: a vertical fader track
// (WidgetMixvolBase) with its knob (faderTopVol) and a horizontal pan track
// (WidgetPanBase) with its knob (faderTopPan).
//
// A track turns a press or drag on itself into a knob position in pixels,
// moves its knob there and reports the position; a knob dragged by itself
// reports in the same scale. The fader track owns the table that ties knob
// pixels to decibels; the strips read it to turn a reported pixel into a
// level (mixvol_slotAtPixel) and place the knob for a level
// (setVolumePosition).
//
// Wiring by the owning strip, after its form is built: mKnob = the knob and
// the knob's mTravel = the track's length (fader: height, pan: width), then
// makeVolTable() on the placed fader track. The table does not follow later
// resizes.
//
// GUI thread only.
#pragma once

#include <QImage>
#include <QLabel>
#include <QString>
#include <QWidget>

#include "widgets/faders.h"  // faderKnob

class QMouseEvent;
class QPaintEvent;

// One slot of the fader table: a knob pixel from the top of the track and
// its level in dB.
struct tMixVolSlot {
    int pixel;
    float level;
};

enum : int {
    kMixVolSlots = 80,
    kMixVolSteps = 74,               // slots 0..73 hold the law; 74..79 stay spare
    kMixVolSparePixel = 2147483647,  // a pixel no knob position reaches
    kMixKnobReach = 16,              // a knob stops this far before the track's end
};

// Fills the table for a fader track h pixels high. Slots 0..36: +6 dB down
// to −12 dB in 0.5 dB steps (slot 12 is 0 dB); 37..60: −13 to −36 dB in 1 dB
// steps; 61..72: −38 to −60 dB in 2 dB steps; 73: −120 dB; 74..79: spare
// (kMixVolSparePixel, −120 dB). The pixel of slot k is the single-precision
// running sum of k steps of ((h − 20) / 6) / 12 pixels, truncated: the sum is
// accumulated step by step, which lands some slots one pixel above k times
// the step (for h = 141, −60 dB sits at 119, not 120).
void mixvol_makeTable(int height, tMixVolSlot table[kMixVolSlots]);

// Level to knob: the first slot, from slot 0, whose level is at or below dB;
// −1 when there is none (dB below −120).
int mixvol_slotForLevel(const tMixVolSlot table[kMixVolSlots], double dB);

// Knob to level: the highest slot whose pixel is at or below the knob pixel
// p, searched from the last slot down (spare slots never match); −1 when
// there is none (p negative, which no knob reports).
// Not the inverse of mixvol_slotForLevel: a level between two steps places
// the knob on the quieter step, and a pixel between two steps reads the
// louder one.
int mixvol_slotAtPixel(const tMixVolSlot table[kMixVolSlots], int p);

// Knob pixel for the pointer's y (rounded) on a fader track h pixels high:
// 0 above pixel 15, else min(y, h − 1) − 15; so 0..h − 16.
int mixvol_trackKnobPosition(int y, int height);

// Knob pixel for the pointer's x (rounded) on a pan track w pixels wide:
// 0 left of pixel 16, else min(x, w) − 16; so 0..w − 16.
int pan_trackKnobPosition(int x, int width);

// Knob pixel for a pan of −100 (left) .. +100 (right) on a pan track w
// pixels wide: (w − 16)·(pan + 100) / 200 in integers, truncating; pan is not
// clamped.
int pan_knobPosition(int pan, int width);

// The fader's knob (knob_dragPosition and its drag are widgets/faders.h's).
class faderTopVol : public faderKnob {
    Q_OBJECT
public:
    explicit faderTopVol(QWidget *parent = nullptr) : faderKnob(Qt::Vertical, 140, 7, parent) {}
};

// The pan knob; the same drag on the other axis.
class faderTopPan : public faderKnob {
    Q_OBJECT
public:
    explicit faderTopPan(QWidget *parent = nullptr) : faderKnob(Qt::Horizontal, 60, 0, parent) {}
};

// What both tracks share: the background picture, drawn stretched, and a
// press or a drag with the button held that places the knob (moveKnobTo).
// A release reports mouseReleased.
class mixTrackBase : public QWidget {
    Q_OBJECT
public:
    ~mixTrackBase() override;

signals:
    void mouseReleased();

protected:
    mixTrackBase(const QString &background, QWidget *parent);
    // Replaces the background picture and schedules a repaint.
    void setBackground(const QString &path);
    // Places the knob for the pointer's position and reports it.
    virtual void moveKnobTo(QMouseEvent *event) = 0;

    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QImage mBackground;
    bool mPressed = false;
};

// The fader track.
class WidgetMixvolBase : public mixTrackBase {
    Q_OBJECT
public:
    explicit WidgetMixvolBase(QWidget *parent = nullptr);
    ~WidgetMixvolBase() override;

    faderTopVol *mKnob = nullptr;  // set by the owner; a child of the track
    tMixVolSlot mVolTable[kMixVolSlots];

    // Builds mVolTable for the track's current height.
    void makeVolTable();
    // Places the knob on the first slot at or below dB, without a signal;
    // below −120 dB the knob stays where it is.
    void setVolumePosition(double dB);
    // Replaces the background picture and rebuilds the table.
    void load(const QString &path);

signals:
    void faderMoved(int position);

protected:
    void moveKnobTo(QMouseEvent *event) override;
};

// The pan track.
class WidgetPanBase : public mixTrackBase {
    Q_OBJECT
public:
    explicit WidgetPanBase(QWidget *parent = nullptr);
    ~WidgetPanBase() override;

    faderTopPan *mKnob = nullptr;  // set by the owner; a child of the track

    // The pan track keeps no table; present so that both tracks wire alike.
    void makeVolTable() {}
    // Places the knob for pan −100..+100 (not clamped), without a signal.
    void setPanPosition(int pan);
    // Replaces the background picture.
    void load(const QString &path);

signals:
    void panMoved(int position);

protected:
    void moveKnobTo(QMouseEvent *event) override;
};
