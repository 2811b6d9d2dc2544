// The timeline manager: owns the timeline edit window, the region records of
// its tracks and the timeline's state (zoom, visible range, cursor). It is
// a widget that is never shown. Regions dropped on a strip are placed at the
// drop position on a timeline of 44,100 Hz samples; dragging a region moves
// it; the zoom (1/64 to 64, around the cursor) and the scroll bar (over 24
// hours) choose the visible range, and every region is placed in it.
//
// The window is self-contained: it reports nothing to the main window. The
// main window creates one manager on the first use of its EDIT command and
// shows getEditWIndowPointer().
//
// GUI thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>

#include "audiofile/marklist.h"  // kMarkMax
#include "editing/cheditstrip2.h"
#include "editing/timelinerecords.h"
#include "morphex/morphexrecords.h"

class QMouseEvent;
class editWindow;

class timelineMgr : public QWidget {
    Q_OBJECT
public:
    explicit timelineMgr(QWidget *parent = nullptr);
    ~timelineMgr() override;

    editWindow *getEditWIndowPointer() const { return mWindow; }

    // Places region r of track t in the visible range, lays out the strip's
    // views and redraws the region.
    void recalcRegionPositioning(int track, int region);
    void recalcRegionPositioningAll();
    // The visible range around the cursor at the current zoom, shown in the
    // time bar, with the cursor line moved into it.
    void recalcTimeInfo();
    // One more track, as the constructor adds them (at most 32).
    void addTrack();
    // The first value held at 0 or above.
    double checkSttRateRange(double value, double unused);
    // Fills the record's format fields from the file; the library's result
    // (the record keeps its contents on failure, -3 without the library).
    int getRegionParam(tRegionInfo *info, const QString &path);

    // Read-outs for tests.
    const tRegionInfo &regionInfo(int track, int region) const { return mRegions[track][region]; }
    const tTlWavedrawInfo &placement(int track, int region) const { return mPlacements[track][region]; }
    int regionCount(int track) const { return mRegionCounts[track]; }
    int trackCount() const { return mTrackCount; }
    double zoom() const { return mZoom; }
    double cursor() const { return mCursor; }
    double startFraction() const { return mStartF; }
    double endFraction() const { return mEndF; }
    int64_t visibleStart() const { return mVisibleStart; }
    int64_t visibleEnd() const { return mVisibleEnd; }

public slots:
    void regionLoaded(tRegionLoadParams *params);
    void regionMoveEvent(QMouseEvent *event, tRegionDragParams *params);
    void cursorMoved(int x);
    void timeZoomInEvent();
    void timeZoomOutEvent();
    void timeSliderMoveEvent(int value);

private:
    int64_t span() const;
    // The cursor line at the cursor's place in the current range.
    void placeCursorLine();
    void showRange();

    tRegionInfo mRegions[kTimelineMaxTracks][kStripMaxRegions];
    tTlWavedrawInfo mPlacements[kTimelineMaxTracks][kStripMaxRegions];
    int mRegionCounts[kTimelineMaxTracks] = {};
    int mTrackCount = 0;
    int mLockFlag = 0;  // stays 0: the region views are never locked
    editWindow *mWindow = nullptr;

    tGetAudioFileInformationFunc mGetAudioFileInformation = nullptr;
    tAudioFileInfoAFile mInfo;
    // The library copies every mark of a file into the caller's array: room
    // for the largest mark list a file can have.
    tAudioFileMarkAFile mMarks[kMarkMax];

    double mZoom = 1.0;
    int mRate = 44100;
    int64_t mVisibleStart = 0;
    int64_t mVisibleEnd = 0;
    double mCursor = 0.0;
    double mStartF = 0.0;
    double mEndF = 1.0;
};
