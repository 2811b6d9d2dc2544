// The main window's waveform display: starting and restarting a track's
// overview job, drawing the overview level that suits the time zoom (as a
// whole or only the points that arrived since the last redraw), the time
// and level zoom buttons, the scroll bar, moving the view to the play
// cursor and the view's mouse signals.
//
// The workers write the overview arrays and their progress words while the
// GUI thread reads both to draw, without a lock: a point is drawn once the
// progress word says it is there. Zooming and scrolling only choose another
// level or stretch; the file is read once per open.
#include "app/mainwindow.h"

#include <QCursor>
#include <QScrollBar>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "editing/cheditstrip.h"
#include "engine/engineparams.h"
#include "ui_mainwindow.h"

namespace {

// Where the play cursor falls in the visible stretch, as a fraction of it:
// the line is drawn there (outside 0..1 it is off the view).
void placeCursorLine(MainWindow &w, double fraction) {
    double z = w.mWaveZoom < 1.0 ? 1.0 : w.mWaveZoom;
    const double L = double(w.mWaveLevelLength[MainWindow::waveLevelForZoom(z)]);
    if (L <= 0.0) return;
    w.ui->widgetTrack1->lineCurrentPosition((fraction * L - double(w.mViewOffset)) / (L / z));
    if (w.mChEditStrip) w.mChEditStrip->setCursorPosition(fraction);
}

// The view's first point as a slider position: 0 at the start, the
// maximum once the last screenful is shown.
int sliderFor(MainWindow &w, int64_t L) {
    const double z = w.mWaveZoom;
    if (z <= 1.0 || L <= 0) return 0;
    const int max = w.ui->waveScrollBar->maximum();
    return int(max * (double(w.mViewOffset) / double(L)) / (1.0 - 1.0 / z));
}

// A view start fraction kept so that a whole screenful fits.
double clampStart(double d, double z) {
    if (d < 0.0) return 0.0;
    if (d + 1.0 / z > 1.0) return 1.0 - 1.0 / z;
    return d;
}

}  // namespace

int MainWindow::waveLevelForZoom(double z) {
    if (z > 1024) return 6;
    if (z > 128) return 5;
    if (z > 32) return 4;
    if (z > 16) return 3;
    if (z > 8) return 2;
    if (z > 4) return 1;
    return 0;
}

int64_t MainWindow::getTotalWaveFormLen() { return mWaveLevelLength[waveLevelForZoom(mWaveZoom)]; }

int64_t MainWindow::getWavPreparedLen() { return mOverview.jobColumns[waveLevelForZoom(mWaveZoom)]; }

double MainWindow::checkSttRateRange(double f) {
    const double z = mWaveZoom < 1.0 ? 1.0 : mWaveZoom;
    return clampStart(f, z);
}

uint64_t MainWindow::longestTrackEnd() {
    const int n = std::clamp<int>(mMixParam.trackCount, 1, kMainTrackSlots);
    uint64_t longest = 0;
    int which = 0;
    for (int i = 0; i < n; ++i) {
        const tAudioFileInfo &f = mTracks[i].fileInfo;
        const uint64_t end = uint64_t(double(f.totalSamples) + double(f.sampleRate) * mMixParam.ch[i].delayMs / 1000.0);
        if (end > longest) {
            longest = end;
            which = i;
        }
    }
    setMaxWaveLengthThreadID(which);
    return longest;
}

// ---- Overview jobs ----------------------------------------------------------

void MainWindow::stopWaveFormThread(int track) {
    if (track < 0 || track >= kMainTrackSlots) return;
    waveFormThread *worker = mTracks[track].waveFormThread;
    if (!worker || !worker->isRunning()) return;
    worker->stop();
    for (int i = 0; i < 10 && worker->isRunning(); ++i) QThread::msleep(10);
}

namespace {

// Hands slot s's file and overview arrays to its worker and queues a job.
void queueOverview(MainWindow &w, int s) {
    waveFormThread *worker = w.mTracks[s].waveFormThread;
    if (!worker) return;
    const std::u16string path = w.mTracks[s].path.toStdU16String();
    worker->setParameters(path.c_str(), w.mWaveLevelLength, 1, w.mTracks[s].waveMax, w.mTracks[s].waveMin, w.ui->widgetTrack1,
                          kMainWaveLevels, s);
    worker->addTransaction(new ClassGetWaveForm);
}

}  // namespace

void MainWindow::drawWaveFormSelectedColumn(int s) {
    if (s < 0 || s >= kMainTrackSlots) return;
    const int64_t w = mOverview.jobColumns[0];
    if (s == 0) stopWaveFormThread(0);

    // The slot's arrays are emptied so that the new file grows from a clean
    // view; the worker that wrote them has been stopped above or is
    // stopped below before it is given the new file.
    stopWaveFormThread(s);
    const int64_t width4 = (int64_t(ui->widgetTrack1->width()) + 3) / 4 * 4;
    for (int k = 0; k < kMainWaveLevels; ++k) {
        const size_t bytes = size_t(width4 * kMainWaveLevelFactors[k] * 16);
        if (mTracks[s].waveMax[k]) std::memset(mTracks[s].waveMax[k], 0, bytes);
        if (mTracks[s].waveMin[k]) std::memset(mTracks[s].waveMin[k], 0, bytes);
    }
    for (int64_t &r : mOverview.jobColumns) r = 1;

    const int n = std::clamp<int>(mMixParam.trackCount, 1, kMainTrackSlots);
    for (int i = 0; i < n; ++i) {
        mOverview.upper[i] = mTracks[i].waveMax[0];
        mOverview.lower[i] = mTracks[i].waveMin[0];
        mOverview.drawOffset[i] = 0;
        mOverview.drawWidth[i] = w;
    }
    tSetWaveFormParams request;
    request.columns = 1;
    request.upperPeaks = mOverview.upper;
    request.lowerPeaks = mOverview.lower;
    request.firstColumn = 0;
    request.trackColumns = mOverview.jobColumns;
    request.levelLength = 1;
    request.drawOffsets = mOverview.drawOffset;
    request.drawWidths = mOverview.drawWidth;
    request.trackCount = n;
    request.trackLengths = mOverview.length;
    for (int i = 0; i < n; ++i)
        request.startOffsets[i] = double(mTracks[i].fileInfo.sampleRate) * mMixParam.ch[i].delayMs / 1000.0;
    request.totalLength = longestTrackEnd();
    ui->widgetTrack1->setWaveForm(&request);

    mLastPrepared = 0;
    mTracks[s].waveJobActive = 1;
    mTracks[s].waveJobDone = 0;
    mTracks[s].waveJobRetries = 0;
    queueOverview(*this, s);
}

void MainWindow::waveFormPreparedMain(int s, bool stopped) {
    if (stopped || s < 0 || s >= kMainTrackSlots || mTracks[s].waveJobActive != 1) return;
    waveFormThread *worker = mTracks[s].waveFormThread;
    if (!worker) return;
    const int64_t result = worker->getResult();
    if (result < 0) {
        // A file that could be described but not read may be a passing
        // fault (a disk waking up, a network share): try again, but not
        // for ever. After the last try the overview keeps what was read.
        if (mTracks[s].waveJobRetries < kMainWaveRetries) {
            ++mTracks[s].waveJobRetries;
            mTracks[s].waveJobActive = 1;
            mTracks[s].waveJobDone = 0;
            queueOverview(*this, s);
            return;
        }
        std::fprintf(stderr, "SonvexEditor: the overview of track %d could not be computed (%lld)\n", s + 1,
                     static_cast<long long>(result));
    }
    mTracks[s].prepared = worker->getFinalProgress();
    mPreparingTrack = s;
    mTracks[s].waveJobDone = 1;
    mOverview.jobColumns[s] = result;
    waveFormRedraw(mViewOffset, kRedrawModeIncremental);
}

// ---- Drawing ------------------------------------------------------------------

void MainWindow::waveFormRedraw(long long start, tRedrawMode mode) {
    const int n = std::clamp<int>(mMixParam.trackCount, 1, kMainTrackSlots);
    trackGraphic *view = ui->widgetTrack1;

    // How far each track's worker has got at the finest level, and where an
    // incremental redraw starts: a sixth of the level behind the newest
    // point, never before what the previous redraw already showed.
    int64_t p[kMainTrackSlots] = {};
    int64_t o[kMainTrackSlots] = {};
    const int64_t L0 = mWaveLevelLength[0];
    for (int i = 0; i < n; ++i) {
        p[i] = (i >= mPreparingTrack && mTracks[i].waveFormThread) ? mTracks[i].waveFormThread->getProgress() : mTracks[i].prepared;
        o[i] = std::max<int64_t>(0, std::min<int64_t>(mLastPrepared, p[i] - L0 / 6));
        mOverview.upper[i] = mTracks[i].waveMax[0];
        mOverview.lower[i] = mTracks[i].waveMin[0];
    }
    const int64_t lastLevel0 = p[n - 1];

    // The zoom picks the coarser level that still has a point a column;
    // progress and offsets are scaled to it.
    double z = mWaveZoom;
    const int k = waveLevelForZoom(z);
    const int64_t L = mWaveLevelLength[k];
    if (k >= 1) {
        const int64_t f = kMainWaveLevelFactors[k];
        for (int i = 0; i < n; ++i) {
            mOverview.upper[i] = mTracks[i].waveMax[k];
            mOverview.lower[i] = mTracks[i].waveMin[k];
            p[i] = p[i] * f / 4;
            o[i] = std::max<int64_t>(0, std::min<int64_t>(mLastPrepared * f / 4, p[i] - L / 6));
        }
    }

    // Zoomed in past 1024 the view joins single points; the offset is
    // clamped so that the last screenful ends at the end of the level.
    view->mFinestLevel = z > 1024;
    mViewOffset = start;
    if (z >= 1.0 && float(start) + float(L) / float(z) > float(L)) mViewOffset = int64_t(double(L) - double(L) / z);
    if (mViewOffset < 0) mViewOffset = 0;

    // What each track redraws: the whole screen, or only the stretch its
    // worker added when that stretch lies inside the screen.
    const double zz = z < 1.0 ? 1.0 : z;
    const int64_t c = int64_t(double(L) / zz);
    const double v = double(mViewOffset), e = v + double(L) / zz;
    for (int i = 0; i < n; ++i) {
        if (mode == kRedrawModeFull) {
            mOverview.drawOffset[i] = 0;
            mOverview.drawWidth[i] = c;
        } else {
            const int64_t width = std::max<int64_t>(0, p[i] - o[i]);
            if (double(o[i]) < v || double(o[i] + width) > e) {
                mOverview.drawOffset[i] = 0;
                mOverview.drawWidth[i] = c;
            } else {
                mOverview.drawOffset[i] = o[i];
                mOverview.drawWidth[i] = width;
            }
        }
        mOverview.ready[i] = p[i];
    }

    double startOffsets[kMainTrackSlots] = {};
    for (int i = 0; i < n; ++i) startOffsets[i] = double(mTracks[i].fileInfo.sampleRate) * mMixParam.ch[i].delayMs / 1000.0;

    // An armed or running recording shows its own one-minute overview
    // instead of the tracks.
    if ((mRecState == 3 || mRecState == 4) && mRecOverviewPeaks[0] && mRecOverviewPeaks[1]) {
        static int64_t recCount = 1333;
        static int64_t recZero[kMainTrackSlots] = {};
        static int64_t recWidth[kMainTrackSlots] = {1333};
        recCount = 1333;
        recWidth[0] = 1333;
        tSetWaveFormParams rec;
        rec.columns = 1333;
        rec.upperPeaks = &mRecOverviewPeaks[0];
        rec.lowerPeaks = &mRecOverviewPeaks[1];
        rec.firstColumn = 0;
        rec.trackColumns = &recCount;
        rec.levelLength = 1333;
        rec.drawOffsets = recZero;
        rec.drawWidths = recWidth;
        rec.trackCount = 1;
        rec.trackLengths = &recCount;
        rec.totalLength = 1333;
        for (int i = 0; i < n; ++i) rec.startOffsets[i] = startOffsets[i];
        mWaveParams = rec;
        view->setWaveForm(&mWaveParams);
        mLastPrepared = lastLevel0;
        return;
    }

    // Zoomed out below one point a column is not offered: the whole level
    // fits the view. The view keeps a pointer to these parameters.
    if (z < 1.0) mWaveZoom = z = 1.0;
    view->setWaveRange(0.0f, 1.0f, 0);
    mWaveParams = tSetWaveFormParams();
    mWaveParams.columns = int32_t(double(L) / z);
    mWaveParams.upperPeaks = mOverview.upper;
    mWaveParams.lowerPeaks = mOverview.lower;
    mWaveParams.firstColumn = mViewOffset;
    mWaveParams.trackColumns = mOverview.ready;
    mWaveParams.levelLength = L;
    mWaveParams.drawOffsets = mOverview.drawOffset;
    mWaveParams.drawWidths = mOverview.drawWidth;
    mWaveParams.trackCount = n;
    mWaveParams.trackLengths = mOverview.length;
    mWaveParams.totalLength = longestTrackEnd();
    for (int i = 0; i < n; ++i) mWaveParams.startOffsets[i] = startOffsets[i];
    view->setWaveForm(&mWaveParams);

    // The next incremental redraw starts from here.
    mLastPrepared = lastLevel0;
}

void MainWindow::drawWaveFrom() {
    const double z = mWaveZoom < 1.0 ? 1.0 : mWaveZoom;
    const int64_t L = mWaveLevelLength[waveLevelForZoom(z)];
    const double d = clampStart(mCursorFraction, z);
    waveFormRedraw(int64_t(d * double(L)), kRedrawModeFull);
    QScrollBar *bar = ui->waveScrollBar;
    bar->setPageStep(int(2.0 * bar->maximum() / z));
    placeCursorLine(*this, mCursorFraction);
    mScrollLock = true;
    bar->setValue(sliderFor(*this, L));
    mScrollLock = false;
}

// ---- Zoom and scrolling -------------------------------------------------------

namespace {

void afterTimeZoom(MainWindow &w, bool zoomedOutToOne) {
    const double z = w.mWaveZoom;
    const int64_t L = w.mWaveLevelLength[MainWindow::waveLevelForZoom(z)];
    // The cursor comes to the middle of the view where it can.
    const double d = clampStart(w.mCursorFraction - 1.0 / (2.0 * z), z);
    w.waveFormRedraw(int64_t(d * double(L)), kRedrawModeFull);
    QScrollBar *bar = w.ui->waveScrollBar;
    if (zoomedOutToOne)
        bar->setPageStep(bar->maximum() * 4096);
    else
        bar->setPageStep(int(2.0 * bar->maximum() / z));
    placeCursorLine(w, w.mCursorFraction);
    w.mScrollLock = true;
    w.setScrollMax(int(z));
    bar->setValue(sliderFor(w, L));
    w.mScrollLock = false;
    w.waveFormRedraw(w.mViewOffset, kRedrawModeFull);
}

}  // namespace

void MainWindow::on_zoomInTimeButton_clicked() {
    if (mWaveZoom < 2048.0) mWaveZoom *= 2.0;
    afterTimeZoom(*this, false);
}

void MainWindow::on_zoomOutTimeButton_clicked() {
    if (mWaveZoom > 1.0) mWaveZoom /= 2.0;
    afterTimeZoom(*this, mWaveZoom <= 1.0);
}

void MainWindow::on_zoomInLevelButton_clicked() {
    if (ui->widgetTrack1->mLevelZoom < 8192.0) ui->widgetTrack1->mLevelZoom *= 2.0;
    waveFormRedraw(mViewOffset, kRedrawModeFull);
}

void MainWindow::on_zoomOutLevelButton_clicked() {
    if (ui->widgetTrack1->mLevelZoom > 1.0) ui->widgetTrack1->mLevelZoom /= 2.0;
    waveFormRedraw(mViewOffset, kRedrawModeFull);
}

void MainWindow::on_waveScrollBar_valueChanged(int value) {
    mScrollValue = value;
    if (mScrollLock) return;
    const double z = mWaveZoom < 1.0 ? 1.0 : mWaveZoom;
    const int64_t L = mWaveLevelLength[waveLevelForZoom(z)];
    const int max = ui->waveScrollBar->maximum();
    const int64_t q = max > 0 ? L * int64_t(value) / int64_t(max) : 0;
    const int64_t start = int64_t((1.0 - 1.0 / z) * double(q));
    waveFormRedraw(start, kRedrawModeFull);
    placeCursorLine(*this, mCursorFraction);
    waveFormRedraw(start, kRedrawModeFull);
}

void MainWindow::waveSliderPressed() { mSliderHeld = true; }
void MainWindow::waveSliderReleased() { mSliderHeld = false; }

// ---- The view's mouse signals ---------------------------------------------------

void MainWindow::trackMousePressed(QMouseEvent *event, int) {
    if (!event || !(event->buttons() & Qt::RightButton)) return;
    mLastClickY = int(std::lround(event->position().y()));
    mTrackMenu.exec(QCursor::pos());
}

void MainWindow::pointMoved() {
    setWDT(20000);
    mWatchdogEnabled = false;
    on_stopButton_clicked();
}
