// The timeline edit window ("TimeLine Edit"): a transport bar with the time
// counter, the bar with the visible range's start and end times, the scroll
// bar with the time-zoom buttons and the track strips, in a vertical
// splitter, with a yellow cursor line over the strips. The window moves the
// cursor line where the user presses or drags in a wave area and reports
// that x, and relays the zoom and scroll reports; the timeline manager does
// the arithmetic and calls back recalcCursor.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include "editing/timelinemath.h"  // kTimelineWaveLeft
#include "editing/timelinerecords.h"

namespace Ui {
class editWindow;
}
class QMenu;
class QMenuBar;
class QMouseEvent;
class QPaintEvent;
class QSplitter;
class QVBoxLayout;
class cheditstrip2;
class editTimelineBar;
class editTimelineScroll;
class editTransport;
class timebar;

class editWindow : public QDialog {
    Q_OBJECT
public:
    explicit editWindow(QWidget *parent = nullptr);
    ~editWindow() override;

    // The owner's lock word, handed to every strip added afterwards.
    void setLockFlag(const int *lock);
    // Appends a strip (at most 32) with the next track number.
    void addTrack();
    // Moves the cursor line to fraction f of track 0's wave area.
    void recalcCursor(double f);
    // Track 0's wave-area width in pixels.
    int getWaveWindowWidth() const;
    // Places the cursor line at the cursor x, from the transport bar's
    // bottom to the window's.
    void drawCursor();
    // Tracks are never removed: -1.
    int deleteTrack(int track);

    int trackCount() const { return mTrackCount; }
    cheditstrip2 *strip(int track) const;
    editTransport *transport() const { return mTransport; }
    editTimelineBar *timeBar() const { return mTimeBar; }
    editTimelineScroll *scrollBar() const { return mScroll; }
    timebar *cursorLine() const { return mCursorLine; }
    int cursorX() const { return mCursorX; }

signals:
    void cursorMoved(int x);  // a wave-area x
    void timeZoomInClicked();
    void timeZoomOutClicked();
    void timeSliderMoved(int value);

public slots:
    void tlMousePressEvent(QMouseEvent *event);
    void tlMouseMoveEvent(QMouseEvent *event);
    void wavePainted();
    void timeZoomInClickEvent();
    void timeZoomOutClickEvent();
    void timeSliderMoveEvent(int value);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void moveCursorTo(QMouseEvent *event);

    Ui::editWindow *ui;
    cheditstrip2 *mStrips[kTimelineMaxTracks] = {};
    int mTrackCount = 0;
    editTransport *mTransport = nullptr;
    editTimelineBar *mTimeBar = nullptr;
    editTimelineScroll *mScroll = nullptr;
    timebar *mCursorLine = nullptr;
    const int *mLockFlag = nullptr;
    QSplitter *mSplitter = nullptr;
    QVBoxLayout *mLayout = nullptr;
    QMenuBar *mMenuBar = nullptr;
    QMenu *mToolsMenu = nullptr;
    QString mSplitterSheet;
    int mCursorX = kTimelineWaveLeft;  // window pixels
};
