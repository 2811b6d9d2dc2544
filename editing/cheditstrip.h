// The volume-graph window ("Editing Volume Graph"): one row per mixer track
// the main window opens for editing, each row a region strip in one-region
// mode showing the track's file as one region, placed along a common time
// axis by the track's start delay. An edit of a row's handles goes to the
// main window as the strip's edit record with the row's mixer track; a
// cursor line across all rows follows the position the main window reports.
//
// The main window makes the window hidden at start-up and keeps it until
// shut-down; rows are assigned one after another (at most 32) and never
// removed singly ("Hide Track" only hides a row); deleteAllTracks returns
// the window to one unassigned row.
//
// GUI thread only, apart from each row's overview worker (the strip's).
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

#include "audiofile/marklist.h"  // kMarkMax
#include "dsp/dspvolume.h"
#include "editing/cheditstrip2.h"
#include "editing/timelinerecords.h"
#include "editing/volgraphrules.h"   // tChEditerParameters
#include "morphex/morphexrecords.h"  // tAudioFileInfoAFile

namespace Ui {
class chEditStrip;
}
class QSplitter;
class QVBoxLayout;
class editTimelineScroll;
class timebar;

class chEditStrip : public QWidget {
    Q_OBJECT
public:
    explicit chEditStrip(QWidget *parent = nullptr);
    ~chEditStrip() override;

    // Shows mixer track `track` in a row: the row that already shows it is
    // shown again; otherwise the last row (the constructor's for the first
    // call, a new one afterwards) takes the track, its lock word, length
    // and delay, the rows are laid out and the row opens the file. Nothing
    // happens while there is no row.
    void addChEditParameters(int track, const tChEditerParameters *p);
    // The delay (samples) of row `row`, then every row laid out again.
    void setDelaySample(long long delay, int row);
    // The row that shows the mixer track, or -1.
    int searchDrawTrack(int track) const;
    // Moves the cursor line to fraction f (0..1) of the common axis.
    void setCursorPosition(double f);
    // Back to one unassigned row; nothing before a row was assigned.
    void deleteAllTracks();
    // Repaints the first row.
    void redrawWaveForm();
    // Nothing to set up from the main window's record.
    void initWaveParameters(tChEditerParameters *p);
    // Appends an empty row (at most 32).
    void addTrack();

    // Fills a region record from a file as an added region is described:
    // the library's result (the record keeps its contents on a failure; -3
    // without the library).
    int getRegionParam(tRegionInfo *info, const QString &path);
    // Lays out every row along the common axis.
    void redrawEditWindowIncludingDelay();
    // The largest length + delay over the rows.
    int64_t getMaxSampleInAllTracks() const;
    // (start / maximum, (start + length) / maximum).
    tVolGraphArea calcDrawArea(long long start, int length, int maximum) const;
    // The last row shows the mixer track (and its picture).
    void setEditTrack(int track);

    // Read-outs for the owner and tests.
    int rowCount() const { return mRowCount; }
    cheditstrip2 *row(int index) const;
    int rowTrack(int index) const;
    tVolGraphArea rowArea(int index) const;
    int64_t rowLength(int index) const;
    int64_t rowDelay(int index) const;
    bool rowsAssigned() const { return mAssigned; }
    const tRegionInfo &regionInfo(int track, int region) const { return mRegions[track][region]; }
    timebar *cursorLine() const { return mCursorLine; }
    editTimelineScroll *scrollBar() const { return mScroll; }

signals:
    // The row's edit record (the strip's, valid while the row exists) and
    // the mixer track the row shows. Read by the receiver at once.
    void trackEditParamChanged(tWaveEditParam *edit, int track);
    void resizeTimeLineWave();  // declared for owners; never emitted

public slots:
    void regionLoaded(tRegionLoadParams *params);
    void editParamChangeEvent(int region, int row);
    void hideTrackEvent(int region, int row);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct tRow {
        cheditstrip2 *strip = nullptr;
        int track = -1;  // mixer track shown; -1 none
        int64_t length = 0;
        int64_t delay = 0;
        tVolGraphArea area;
    };

    cheditstrip2 *makeStrip(int row);
    void buildLayout();

    Ui::chEditStrip *ui;
    tRow mRows[kTimelineMaxTracks];
    int mRowCount = 0;
    bool mAssigned = false;
    tWaveEditParam *mLastEdit = nullptr;

    tRegionInfo mRegions[kTimelineMaxTracks][kStripMaxRegions];
    tTlWavedrawInfo mPlacements[kTimelineMaxTracks][kStripMaxRegions];

    QString mPath;  // the file being added
    tGetAudioFileInformationFunc mGetAudioFileInformation = nullptr;
    tAudioFileInfoAFile mInfo;
    tAudioFileMarkAFile mMarks[kMarkMax];  // the library writes the file's marks here
    int64_t mViewStart = 0;

    timebar *mCursorLine = nullptr;
    editTimelineScroll *mScroll = nullptr;
    QSplitter *mSplitter = nullptr;
    QVBoxLayout *mLayout = nullptr;
    QString mSplitterSheet;
};
