// The monitor volume fader: a horizontal track (WidgetFaderBase) with a
// picture knob (faderTop) as its child. A click or drag on the track, or a
// drag of the knob, moves the knob and reports its new x with faderMoved;
// the track's volume table ties knob positions to whole decibels.
//
// Wiring by the owner: makeVolTable on the laid-out track, mKnob = the knob,
// the knob's mTravel = the track's width, setVolumePosition with the current
// level, and both faderMoved signals to one slot that reads the level with
// faderLevelAtPosition.
//
// GUI thread only.
#pragma once

#include <QImage>
#include <QLabel>
#include <QWidget>
#include <Qt>

class QMouseEvent;
class QPaintEvent;

// One step of the volume table: a knob x in pixels and its level in dB.
struct tFaderVolEntry {
    int position;  // −1 for an unused entry
    int levelDb;
};

enum : int {
    kFaderVolEntries = 64,
    kFaderVolUsed = 49,    // entries 0..48: 0 dB down to −58 dB, then −120 dB
    kFaderKnobReach = 16,  // the knob stops this far before the track's end
};

// Fills the table for a track w pixels wide: 0 dB 10 pixels before the right
// end, −1..−12 dB over two fifths of the track, −13..−36 dB in 1 dB steps and
// −38..−58 dB in 2 dB steps over the next fifths, −120 dB last; the unused
// entries 49..63 are (−1, −120).
void faderMakeVolTable(int width, tFaderVolEntry table[kFaderVolEntries]);

// Index of the first entry whose level is at or below dB; −1 when none is
// (dB below −120).
int faderVolumeIndex(const tFaderVolEntry table[kFaderVolEntries], double dB);

// The level (dB) of a reported knob x: the entry with the highest index whose
// position is at or right of x; 0 dB when there is none.
int faderLevelAtPosition(const tFaderVolEntry table[kFaderVolEntries], int x);

// Knob x for a press at pointer x (pixels, rounded) on a track w pixels wide:
// the knob's left edge sits 5 pixels left of the pointer, held within
// 0..w − 16.
int faderTrackKnobX(int x, int width);

// A dragged knob's position: the pointer's global coordinate moved from the
// press, added to the knob's own position at the press, held within
// 0..travel − 16.
int knob_dragPosition(int pointer, int knobAtPress, int pointerAtPress, int travel);

// A picture knob dragged along one axis of its track, for every fader of the
// program: a press shows the lit picture and notes where the knob and the
// pointer are, a drag moves the knob by the pointer's travel
// (knob_dragPosition) and reports its new position, a release shows the
// unlit picture.
class faderKnob : public QLabel {
    Q_OBJECT

public:
    int mTravel;  // pixels the knob moves in; the owner sets the track's length

signals:
    void faderMoved(int position);

protected:
    // axis: the direction of travel; across: the knob's fixed coordinate on
    // the other axis.
    faderKnob(Qt::Orientation axis, int travel, int across, QWidget *parent);

    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    Qt::Orientation mAxis;
    int mAcross;
    bool mPressed = false;
    int mStartPosition = 0;  // the knob's own coordinate at the press
    int mPressPosition = 0;  // the pointer's global coordinate at the press
};

// The monitor fader's knob.
class faderTop : public faderKnob {
    Q_OBJECT

public:
    explicit faderTop(QWidget *parent = nullptr) : faderKnob(Qt::Horizontal, 60, 0, parent) {}
};

// The fader's track.
class WidgetFaderBase : public QWidget {
    Q_OBJECT

public:
    explicit WidgetFaderBase(QWidget *parent = nullptr);

    faderTop *mKnob = nullptr;  // set by the owner; a child of the track
    tFaderVolEntry mVolTable[kFaderVolEntries];

    // Builds mVolTable from the track's current width.
    void makeVolTable();
    // A background picture drawn stretched over the track; rebuilds the table.
    void load(const QString &path);
    // Places the knob at the first table entry at or below dB, without a
    // signal; below −120 dB the knob stays where it is.
    void setVolumePosition(double dB);
    // Places the knob for a press or drag at the event's x and reports it.
    void moveFader(QMouseEvent *event);

signals:
    void faderMoved(int iPosi);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QImage mBackImage;
    bool mPressed = false;
};
