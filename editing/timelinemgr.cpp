#include "editing/timelinemgr.h"

#include <QMouseEvent>

#include <algorithm>
#include <climits>
#include <string>

#include "audiofile/timecode.h"
#include "editing/edittimelinebar.h"
#include "editing/edittimelinescroll.h"
#include "editing/edittransport.h"
#include "editing/editwindow.h"
#include "editing/timelinemath.h"
#include "engine/morphexbinding.h"
#include "widgets/filenamecheck.h"

namespace {

// Twice a scroll-bar value, held within an int.
int twice(int v) { return static_cast<int>(std::min<int64_t>(static_cast<int64_t>(v) * 2, INT_MAX)); }

}  // namespace

timelineMgr::timelineMgr(QWidget *parent) : QWidget(parent) {
    mWindow = new editWindow();
    mWindow->setLockFlag(&mLockFlag);
    connect(mWindow, &editWindow::cursorMoved, this, &timelineMgr::cursorMoved);
    connect(mWindow, &editWindow::timeZoomInClicked, this, &timelineMgr::timeZoomInEvent);
    connect(mWindow, &editWindow::timeZoomOutClicked, this, &timelineMgr::timeZoomOutEvent);
    connect(mWindow, &editWindow::timeSliderMoved, this, &timelineMgr::timeSliderMoveEvent);

    mZoom = 1.0;
    mRate = kTimelineRate;
    mVisibleStart = 0;
    mVisibleEnd = static_cast<int64_t>(mWindow->width()) * 300 / 800 * kTimelineRate;

    for (int t = 0; t < 4; ++t) addTrack();

    mInfo.marks = mMarks;
    mGetAudioFileInformation = morphexBinding().getAudioFileInformation;

    mWindow->timeBar()->setStartTime(static_cast<unsigned long long>(mVisibleStart));
    mWindow->timeBar()->setEndTime(static_cast<unsigned long long>(mVisibleEnd));
}

// The manager made the window and is its only owner: the window goes with
// it, and with the window its strips stop and release their workers.
timelineMgr::~timelineMgr() { delete mWindow; }

void timelineMgr::addTrack() {
    if (mTrackCount >= kTimelineMaxTracks) return;
    mWindow->addTrack();
    cheditstrip2 *strip = mWindow->strip(mTrackCount);
    if (!strip) return;
    connect(strip, &cheditstrip2::regionLoaded, this, &timelineMgr::regionLoaded);
    connect(strip, &cheditstrip2::regionDraged, this, &timelineMgr::regionMoveEvent);
    for (tTlWavedrawInfo &p : mPlacements[mTrackCount]) p = tTlWavedrawInfo();
    mRegionCounts[mTrackCount] = 0;
    ++mTrackCount;
}

int64_t timelineMgr::span() const { return timelineSpanSeconds(mWindow->getWaveWindowWidth()); }

int timelineMgr::getRegionParam(tRegionInfo *info, const QString &path) {
    if (!info) return -1;
    if (!mGetAudioFileInformation) return -3;
    const int rc = mGetAudioFileInformation(reinterpret_cast<const wchar16 *>(path.utf16()), &mInfo);
    if (rc < 0) return rc;
    info->sampleRate = mInfo.sampleRate;
    info->bitsPerSample = mInfo.bitsPerSample;
    info->channels = mInfo.channels;
    info->fileType = mInfo.fileType;
    info->dataBytes = mInfo.dataBytesLow;
    info->length = timelineFileLength(mInfo.dataBytesHigh, mInfo.dataBytesLow, mInfo.bitsPerSample, mInfo.channels);
    info->edit = tWaveEditParam();
    info->edit.gain = 1.0;
    info->edit.outPoint = static_cast<int64_t>(info->length);
    return rc;
}

void timelineMgr::regionLoaded(tRegionLoadParams *params) {
    if (!params) return;
    const int t = params->track, r = params->region;
    cheditstrip2 *strip = mWindow->strip(t);
    if (!strip || r < 0 || r >= kStripMaxRegions) return;
    tRegionInfo &rec = mRegions[t][r];
    rec.dropX = params->dropX;
    rec.path = strip->regionPath(r);
    // A file the library cannot describe stays an empty region: say so.
    if (getRegionParam(&rec, rec.path) < 0) showMessageBox_parseFailed(mWindow, rec.path);
    rec.startSample = timelineStartSample(rec.dropX, strip->width(), mVisibleStart, mVisibleEnd);
    recalcRegionPositioning(t, r);
    strip->layoutWaveWidget(t, mPlacements[t]);
    strip->startDrawingWaveThread(r, &rec);
    mRegionCounts[t] = r + 1;
}

void timelineMgr::regionMoveEvent(QMouseEvent *, tRegionDragParams *params) {
    if (!params) return;
    const int t = params->track, r = params->region;
    cheditstrip2 *strip = mWindow->strip(t);
    if (!strip || r < 0 || r >= kStripMaxRegions) return;
    tRegionInfo &rec = mRegions[t][r];
    rec.dropX += params->deltaX;
    rec.path = strip->regionPath(r);
    getRegionParam(&rec, rec.path);
    rec.startSample = timelineStartSample(rec.dropX, strip->width(), mVisibleStart, mVisibleEnd);
    recalcRegionPositioning(t, r);
    strip->layoutWaveWidget(t, mPlacements[t]);
    strip->startDrawingWaveThread(r, &rec);
}

void timelineMgr::recalcRegionPositioning(int track, int region) {
    cheditstrip2 *strip = mWindow->strip(track);
    if (!strip || region < 0 || region >= kStripMaxRegions) return;
    const tRegionInfo &rec = mRegions[track][region];
    mPlacements[track][region] = timelinePlaceRegion(rec.startSample, rec.length, mVisibleStart, mVisibleEnd);
    strip->layoutWaveWidget(track, mPlacements[track]);
    strip->waveFormRedraw(region, 0, kRedrawModeFull);
}

void timelineMgr::recalcRegionPositioningAll() {
    for (int t = 0; t < mTrackCount; ++t)
        for (int r = 0; r < mRegionCounts[t]; ++r) recalcRegionPositioning(t, r);
}

void timelineMgr::cursorMoved(int x) {
    mCursor = timelineCursorFraction(mStartF, mEndF, x, mWindow->getWaveWindowWidth());
    std::string text;
    gTc_prepareTimeInfoDisp(&text, timelineCursorSamples(span(), mCursor), mRate, kCounterTime, kTc29_97);
    mWindow->transport()->setTimeCounter(QString::fromStdString(text));
}

void timelineMgr::showRange() {
    mWindow->timeBar()->setStartTime(static_cast<unsigned long long>(std::max<int64_t>(0, mVisibleStart)));
    mWindow->timeBar()->setEndTime(static_cast<unsigned long long>(std::max<int64_t>(0, mVisibleEnd)));
}

void timelineMgr::placeCursorLine() {
    const double width = mEndF - mStartF;
    // An empty range (a span shorter than one second at zoom 64) has no
    // place for the cursor.
    if (!(width > 0.0)) return;
    mWindow->recalcCursor((mCursor - mStartF) / width);
}

void timelineMgr::recalcTimeInfo() {
    const tTimelineRange range = timelineZoomRange(mCursor, mZoom, span());
    mStartF = range.startF;
    mEndF = range.endF;
    mVisibleStart = range.visibleStart;
    mVisibleEnd = range.visibleEnd;
    showRange();
    placeCursorLine();
}

// The scroll bar has already halved its maximum (zoom in) or doubled it
// (zoom out); while the zoom can still change, its maximum is put back and
// its position scaled, which runs the scroll handler before the range is
// centred on the cursor.
void timelineMgr::timeZoomInEvent() {
    editTimelineScroll *scroll = mWindow->scrollBar();
    if (mZoom < kTimelineZoomMax) {
        mZoom = timelineZoomIn(mZoom);
        scroll->setSliderMax(twice(scroll->sliderMax()));
        scroll->setSliderCurrent(twice(scroll->sliderCurrent()));
    }
    recalcTimeInfo();
    // The regions follow the range the time bar now shows.
    recalcRegionPositioningAll();
}

void timelineMgr::timeZoomOutEvent() {
    editTimelineScroll *scroll = mWindow->scrollBar();
    if (mZoom > kTimelineZoomMin) {
        mZoom = timelineZoomOut(mZoom);
        scroll->setSliderCurrent(scroll->sliderCurrent() / 2);
        scroll->setSliderMax(scroll->sliderMax() / 2);
    }
    recalcTimeInfo();
    recalcRegionPositioningAll();
}

void timelineMgr::timeSliderMoveEvent(int value) {
    const tTimelineRange range = timelineScrollRange(value, mWindow->scrollBar()->sliderMax(), span(), mZoom);
    mVisibleStart = range.visibleStart;
    mVisibleEnd = range.visibleEnd;
    mStartF = range.startF;
    mEndF = range.endF;
    showRange();
    placeCursorLine();
    recalcRegionPositioningAll();
}

double timelineMgr::checkSttRateRange(double value, double) { return std::max(0.0, value); }
