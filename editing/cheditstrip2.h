// The region strip: one track row of the timeline edit window and of the
// volume-graph window. It shows the track's channel picture, its state
// pictures, a wave area and up to 10 regions. A region is one audio file
// with its own waveform view and its own overview worker, which computes 7
// resolution levels of the whole file through the conversion library while
// the strip hands the new points to the view every 75 ms.
//
// The owner places the regions (layoutWaveWidget, from fractions it
// computes), starts their overviews (startDrawingWaveThread) and answers the
// strip's reports: a region added (regionLoaded), a region dragged
// (regionDraged), presses and moves in the wave area (tlMousePressed,
// tlMouseMoved), an edit of the last region's handles (editParamChanged,
// with the record from getEditParams) and the "Hide Track" command.
//
// Threads: everything runs on the GUI thread except the overview workers.
// A worker writes its region's level buffers and its progress word while
// the 75 ms timer reads them without a lock; the completion redraw corrects
// any point drawn half-written. Level buffers are freed only after their
// worker has been stopped and deleted (which waits for it).
#pragma once

#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>

#include "audiofile/jobs/fileopenmode.h"
#include "dsp/dspvolume.h"
#include "editing/regiongeometry.h"
#include "editing/timelinerecords.h"
#include "engine/morphexbinding.h"
#include "engine/waveformthread.h"
#include "morphex/morphexrecords.h"  // tAudioFileInfoAFile
#include "widgets/trackgraphic.h"

namespace Ui {
class cheditstrip2;
}
class QAction;
class QDragEnterEvent;
class QDropEvent;
class QHBoxLayout;
class QHoverEvent;
class QMenu;
class QMouseEvent;

// The library's file query as the program binds it by name.

class cheditstrip2 : public QWidget {
    Q_OBJECT
public:
    explicit cheditstrip2(QWidget *parent = nullptr);
    ~cheditstrip2() override;

    // Adds the file as a new region when its extension is one the program
    // opens (otherwise the "Cannot Open" warning) and the strip has room; the
    // mode is not used. Reports regionLoaded.
    void openFile(const QString &path, tFileOpenMode mode);
    // The track number: the channel picture, and the number reported with
    // regionLoaded and regionDraged.
    void setTrackNumber(int track);
    // The row number, reported with editParamChanged and hideTrackMenuClicked.
    void setDrawTrackNumber(int row);
    void setOnlyOneRegionMode(bool on);
    // One-region mode: where region 0 goes, as fractions of the wave area.
    void setDrawWidthArea(float start, float end);
    // The owner's lock word (non-zero: the region views ignore presses and
    // drags); every view added afterwards reads it. Null reads as unlocked.
    void setLockFlag(const int *lock);

    // Places every region view from the owner's 10 placement records; the
    // track is not used.
    void layoutWaveWidget(int track, const tTlWavedrawInfo *info);
    // Starts (again) the overview of region `region` of the file the owner
    // describes (its length and channels); a running one is stopped first.
    // Returns 0.
    int startDrawingWaveThread(int region, const tRegionInfo *info);
    // Redraws the complete overview of a region with a draw offset; the mode
    // is not used.
    void waveFormRedraw(int region, int offset, tRedrawMode mode);
    // The record of the last region's edit, in samples; the argument is not
    // used. Valid as long as the strip.
    tWaveEditParam *getEditParams(int region);
    int getWaveWidgetWidth() const;
    // Margins of the wave area in the strip: left and right columns.
    void getXmargin(int *left, int *right) const;
    // The last region's view keeps a line cursor at fraction f of its width
    // (hidden, as every view's cursor is).
    void setCursorPosition(double f);
    void redrawWindow();
    void waveRedrawNextCycle();
    // Asks a region's worker to stop and waits up to 100 ms for it.
    void stopWaveFormThread(int region);
    // Removes every region: their workers are stopped and deleted, their
    // views and buffers released.
    void deleteAllTracks();
    // Point count of the level the level zoom chooses, of region 0's levels.
    int64_t getTotalWaveformLen(int region) const;
    // Allocates a region's 7 zero-filled level buffer pairs (freeing any it
    // had); -1 when an allocation fails, 0 otherwise.
    int getMemoryForWaveForming(int region);

    // Read-outs for the owners and tests.
    int regionCount() const { return mRegionCount; }
    int trackNumber() const { return mTrackNumber; }
    QString regionPath(int region) const;
    trackGraphic *regionView(int region) const;
    waveFormThread *regionWorker(int region) const;
    const double *regionMaxima(int region, int level) const;
    const double *regionMinima(int region, int level) const;
    bool regionLoading(int region) const;
    QWidget *waveArea() const;

    // The "Hide Track" command: hideTrackMenuClicked with the last region's
    // index (-1 without regions) and the row number.
    void on_hideButton_clickEvent();

    // Tests replace the level-buffer allocation (zero-filled, 16-byte
    // aligned, freed with _aligned_free); null restores the default.
    typedef void *(*tBufferAlloc)(uint64_t bytes);
    static void setBufferAllocator(tBufferAlloc alloc);

signals:
    void regionLoaded(tRegionLoadParams *params);
    void wavePainted();
    void tlMousePressed(QMouseEvent *event);
    void tlMouseMoved(QMouseEvent *event);
    void regionDraged(QMouseEvent *event, tRegionDragParams *params);
    void editParamChanged(int region, int row);
    void hideTrackMenuClicked(int region, int row);

public slots:
    void timelinePainted();
    void timelinewaveMousePressed(QMouseEvent *event);
    void timelinewaveMouseMoveEvent(QMouseEvent *event);
    // One-region mode: region 0's view in the draw area, less a margin.
    void resizeTimelineWaveEvent();
    void cyclicEvent();

    void hoverEnterWaveformLowerSideEvent(QHoverEvent *event, int region);
    void hoverLeaveWaveformLowerSideEvent(QHoverEvent *event, int region);
    void trackWaveformClickEvent(QMouseEvent *event, int region);
    void trackWaveformMouseReleaseEvent(QMouseEvent *event, int region);
    void regionMouseMoveEvent(QMouseEvent *event, int region);
    void editParamChangedEvent(int region);
    void waveFormPreparedMain(int region, bool aborted);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    struct tRegion {
        QString path;
        waveFormThread *worker = nullptr;
        trackGraphic *view = nullptr;
        double *maxima[kRegionLevels] = {};
        double *minima[kRegionLevels] = {};
        int64_t points[kRegionLevels] = {};
        int64_t length = 0;
        double drawStart = 0.0;
        double drawEnd = 1.0;
        int64_t drawOffset = 0;
        int64_t drawn = 0;  // points already handed to the view
        bool loading = false;
    };

    void openFile2(const QString &path);
    bool allocateLevels(tRegion &r);
    static void freeLevels(tRegion &r);
    void releaseRegion(tRegion &r);
    // A drawing request of one track (or none) of region r's buffers.
    void requestDrawing(tRegion &r, int trackCount, int64_t first, int64_t columns, int64_t levelLength, int64_t ready,
                        int64_t offset, int64_t width, int level);
    void drawComplete(tRegion &r, int64_t offset);
    bool validRegion(int region) const { return region >= 0 && region < mRegionCount; }
    int viewX(int region, const QMouseEvent *event) const;
    void showCursor(Qt::CursorShape shape);
    void hideCursor();

    Ui::cheditstrip2 *ui;
    tRegion mRegions[kStripMaxRegions];
    int mRegionCount = 0;

    int mTrackNumber = 0;
    int mRowNumber = 0;
    bool mOneRegion = false;
    float mDrawStart = 0.0f;
    float mDrawEnd = 1.0f;
    const int *mLockFlag = nullptr;
    float mLevelZoom = 1.0f;  // nothing changes it: level 0 throughout

    bool mRedrawNext = false;
    bool mHover = false;
    bool mDragging = false;
    bool mCursorPushed = false;  // the strip's entry on the override-cursor stack
    int mLastDragX = 0;
    int mLastDropX = 0;
    QPoint mLastMousePos;

    tWaveEditParam mEditParams;
    tRegionLoadParams mLoadParams;
    tRegionDragParams mDragParams;

    tGetAudioFileInformationFunc mGetAudioFileInformation = nullptr;
    tGetAudioWaveFormFunc mGetAudioWaveForm = nullptr;
    tId3tagInformationFunc mId3tagInformation = nullptr;

    // The drawing request and the per-track tables it points to.
    tSetWaveFormParams mDrawParams;
    double *mUpper[kTrackMaxTracks] = {};
    double *mLower[kTrackMaxTracks] = {};
    int64_t mReady[kTrackMaxTracks] = {};
    int64_t mOffsets[kTrackMaxTracks] = {};
    int64_t mWidths[kTrackMaxTracks] = {};
    int64_t mLengths[kTrackMaxTracks] = {};

    QHBoxLayout *mRegionLayout = nullptr;
    bool mLayoutInstalled = false;
    QTimer *mTimer = nullptr;
    QMenu *mMenu = nullptr;
    QAction *mHideAction = nullptr;
};
