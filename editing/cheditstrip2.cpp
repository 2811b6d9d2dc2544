#include "editing/cheditstrip2.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHoverEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QUrl>

#include "base/alignedalloc.h"
#include "ui_cheditstrip2.h"
#include "widgets/filenamecheck.h"

namespace {

// How long stopping a region's worker waits for it.
constexpr int kWaveStopWaitMs = 100;

// Each level buffer holds one point more than the level: the view joins
// point i to point i + 1 and so reads the entry at the level's length. The
// extra point stays zero.
uint64_t levelBytes(int64_t points) { return static_cast<uint64_t>(points + 1) * 2 * sizeof(double); }

void *defaultAlloc(uint64_t bytes) { return _aligned_calloc(bytes, 16); }

cheditstrip2::tBufferAlloc sAlloc = defaultAlloc;

QString channelPicture(int track) {
    switch (track) {
    case 0: return QStringLiteral(":resources2/parts/point_eq_1-on.png");
    case 1: return QStringLiteral(":resources2/parts/point_eq_2-on.png");
    case 2: return QStringLiteral(":resources2/parts/point_eq_3-on.png");
    case 3: return QStringLiteral(":resources2/parts/point_eq_4-on.png");
    case 4: return QStringLiteral(":/resources2/parts/point_ch5.png");
    case 5: return QStringLiteral(":resources2/parts/point_ch6.png");
    case 6: return QStringLiteral(":resources2/parts/point_ch7.png");
    case 7: return QStringLiteral(":resources2/parts/point_ch8.png");
    default: return QStringLiteral(":/resources2/parts/point_BlueFlat_on.png");
    }
}

}  // namespace

void cheditstrip2::setBufferAllocator(tBufferAlloc alloc) { sAlloc = alloc ? alloc : defaultAlloc; }

cheditstrip2::cheditstrip2(QWidget *parent) : QWidget(parent), ui(new Ui::cheditstrip2) {
    ui->setupUi(this);
    ui->widgetWave->setGeometry(rect());
    ui->labelCh->setPixmap(QPixmap(QStringLiteral(":/resources2/parts/point_eq_1-on.png")));

    const tMorphexBinding &library = morphexBinding();
    mGetAudioFileInformation = library.getAudioFileInformation;
    mGetAudioWaveForm = library.getAudioWaveForm;
    mId3tagInformation = library.id3tagInformation;

    connect(ui->widgetWave, &timelinewave::painted, this, &cheditstrip2::timelinePainted);
    connect(ui->widgetWave, &timelinewave::mousePressed, this, &cheditstrip2::timelinewaveMousePressed);
    connect(ui->widgetWave, &timelinewave::mouseMoved, this, &cheditstrip2::timelinewaveMouseMoveEvent);
    connect(ui->widgetWave, &timelinewave::resizeTimeLineWave, this, &cheditstrip2::resizeTimelineWaveEvent);

    mRegionLayout = new QHBoxLayout();
    mRegionLayout->setSpacing(0);

    mDrawParams.upperPeaks = mUpper;
    mDrawParams.lowerPeaks = mLower;
    mDrawParams.trackColumns = mReady;
    mDrawParams.drawOffsets = mOffsets;
    mDrawParams.drawWidths = mWidths;
    mDrawParams.trackLengths = mLengths;

    mTimer = new QTimer(this);
    connect(mTimer, &QTimer::timeout, this, &cheditstrip2::cyclicEvent);
    mTimer->start(75);

    mMenu = new QMenu(this);
    mHideAction = mMenu->addAction(tr("Hide Track"));
    connect(mHideAction, &QAction::triggered, this, &cheditstrip2::on_hideButton_clickEvent);
}

cheditstrip2::~cheditstrip2() {
    mTimer->stop();
    deleteAllTracks();
    if (!mLayoutInstalled) delete mRegionLayout;
    delete ui;
}

// ---- Owner's operations ----

void cheditstrip2::openFile(const QString &path, tFileOpenMode) {
    if (!isValidFileExtension(this, path)) return;
    openFile2(path);
}

void cheditstrip2::openFile2(const QString &path) {
    if (mRegionCount >= kStripMaxRegions) return;
    const int index = mRegionCount;
    tRegion &r = mRegions[index];

    r.worker = new waveFormThread();
    r.view = new trackGraphic();
    r.view->setRegionNumber(index);
    r.view->setGeometry(0, 0, 30, 100);
    r.view->mLockWord = mLockFlag;
    r.view->enableCursor(false);
    r.worker->setTrackGraphic(r.view);
    r.worker->setWaveFormFunc(mGetAudioWaveForm);

    if (!mLayoutInstalled) {
        ui->widgetWave->setLayout(mRegionLayout);
        mLayoutInstalled = true;
    }
    // The views are placed by hand (layoutWaveWidget), over the wave area.
    r.view->setParent(ui->widgetWave);

    connect(r.view, &trackGraphic::hoverEnterLowerSide, this, &cheditstrip2::hoverEnterWaveformLowerSideEvent);
    connect(r.view, &trackGraphic::hoverLeaveLowerSide, this, &cheditstrip2::hoverLeaveWaveformLowerSideEvent);
    connect(r.view, &trackGraphic::mouseClicked, this, &cheditstrip2::trackWaveformClickEvent);
    connect(r.view, &trackGraphic::mouseReleased, this, &cheditstrip2::trackWaveformMouseReleaseEvent);
    connect(r.view, &trackGraphic::mouseMoved, this, &cheditstrip2::regionMouseMoveEvent);
    connect(r.view, &trackGraphic::editParamChanged, this, &cheditstrip2::editParamChangedEvent);
    // Emitted on the worker's thread.
    connect(r.worker, &waveFormThread::waveFormPrepared, this, &cheditstrip2::waveFormPreparedMain,
            Qt::QueuedConnection);

    if (!allocateLevels(r)) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                        tr("Insufficient Memory.") + QStringLiteral("\n") + tr("Couldn't add the region."),
                        QMessageBox::Ok, this);
        box.exec();
        // Nothing of the refused region stays behind; the next file takes
        // the same index.
        releaseRegion(r);
        return;
    }

    r.path = path;
    r.length = 0;
    r.drawStart = 0.0;
    r.drawEnd = 1.0;
    r.drawOffset = 0;
    r.drawn = 0;
    r.loading = false;
    mLoadParams.region = index;
    mLoadParams.track = mTrackNumber;
    mLoadParams.dropX = mLastDropX;

    // Views draw once their owner enables them; a region shows its overview
    // as soon as it has one.
    r.view->setInitWindowPizelRatio(static_cast<float>(devicePixelRatioF()));
    r.view->setGLenable(true);
    r.view->show();
    r.view->update();
    ++mRegionCount;
    emit regionLoaded(&mLoadParams);
}

bool cheditstrip2::allocateLevels(tRegion &r) {
    freeLevels(r);
    for (int k = 0; k < kRegionLevels; ++k) {
        r.points[k] = regionLevelPoints(k);
        r.minima[k] = static_cast<double *>(sAlloc(levelBytes(r.points[k])));
        if (!r.minima[k]) return false;
        r.maxima[k] = static_cast<double *>(sAlloc(levelBytes(r.points[k])));
        if (!r.maxima[k]) return false;
    }
    return true;
}

void cheditstrip2::freeLevels(tRegion &r) {
    for (int k = 0; k < kRegionLevels; ++k) {
        _aligned_free(r.maxima[k]);
        _aligned_free(r.minima[k]);
        r.maxima[k] = nullptr;
        r.minima[k] = nullptr;
    }
}

// Deleting the worker waits for its run to return, so the buffers are no
// longer written when they are freed.
void cheditstrip2::releaseRegion(tRegion &r) {
    delete r.worker;
    r.worker = nullptr;
    delete r.view;
    r.view = nullptr;
    freeLevels(r);
    r = tRegion();
}

void cheditstrip2::setTrackNumber(int track) {
    mTrackNumber = track;
    ui->labelCh->setPixmap(QPixmap(channelPicture(track)));
}

void cheditstrip2::setDrawTrackNumber(int row) { mRowNumber = row; }

void cheditstrip2::setOnlyOneRegionMode(bool on) { mOneRegion = on; }

void cheditstrip2::setDrawWidthArea(float start, float end) {
    mDrawStart = start;
    mDrawEnd = end;
}

void cheditstrip2::setLockFlag(const int *lock) { mLockFlag = lock; }

void cheditstrip2::layoutWaveWidget(int, const tTlWavedrawInfo *info) {
    if (!info) return;
    while (QLayoutItem *item = mRegionLayout->takeAt(0)) delete item;
    mRegionLayout->setGeometry(ui->widgetWave->rect());
    const int W = ui->widgetWave->width();
    const int H = ui->widgetWave->height();
    for (int i = 0; i < mRegionCount; ++i) {
        tRegion &r = mRegions[i];
        const tRegionViewPlace place = regionViewPlace(info[i], W);
        r.drawStart = place.drawStart;
        r.drawEnd = place.drawEnd;
        if (!place.placed) continue;
        r.view->mLeftEdge = place.leftEdge;
        r.view->setGeometry(place.x, 0, place.width, H);
        // A region outside the visible range has an empty view.
        r.view->setVisible(place.width > 0);
    }
}

int cheditstrip2::startDrawingWaveThread(int region, const tRegionInfo *info) {
    if (!validRegion(region) || !info) return 0;
    tRegion &r = mRegions[region];
    r.drawn = 0;
    r.length = static_cast<int64_t>(info->length);
    for (int j = 0; j < kTrackMaxTracks; ++j) r.view->mChannels[j] = static_cast<int32_t>(info->channels);

    requestDrawing(r, 0, 0, 0, r.points[0], 0, 0, 0, 0);
    stopWaveFormThread(region);

    r.worker->setParameters(reinterpret_cast<const char16_t *>(r.path.utf16()), r.points, 1, r.maxima, r.minima, r.view,
                            kRegionLevels, region);
    r.worker->addTransaction(new ClassGetWaveForm());
    r.loading = true;
    return 0;
}

void cheditstrip2::requestDrawing(tRegion &r, int trackCount, int64_t first, int64_t columns, int64_t levelLength,
                                  int64_t ready, int64_t offset, int64_t width, int level) {
    mUpper[0] = r.maxima[level];
    mLower[0] = r.minima[level];
    mReady[0] = ready;
    mOffsets[0] = offset;
    mWidths[0] = width;
    mLengths[0] = r.length;
    mDrawParams.columns = static_cast<int32_t>(columns);
    mDrawParams.firstColumn = first;
    mDrawParams.levelLength = levelLength;
    mDrawParams.trackCount = trackCount;
    mDrawParams.totalLength = static_cast<uint64_t>(std::max<int64_t>(0, r.length));
    r.view->setWaveForm(&mDrawParams);
}

void cheditstrip2::cyclicEvent() {
    const int level = regionLevelForZoom(mLevelZoom);
    for (int i = 0; i < mRegionCount; ++i) {
        tRegion &r = mRegions[i];
        if (!r.loading && !(i == 0 && mRedrawNext)) continue;
        const int64_t P = r.points[level];
        const tRegionDrawSpan span = regionDrawSpan(r.drawStart, r.drawEnd, P);
        const int64_t p = r.worker->getProgress();
        const int64_t width = regionNewPoints(p, r.drawn, span);
        requestDrawing(r, 1, span.first, span.columns, P, p, r.drawn, width, level);
        r.drawn = p;
        mRedrawNext = false;
    }
}

void cheditstrip2::drawComplete(tRegion &r, int64_t offset) {
    const int64_t P0 = r.points[0];
    const tRegionDrawSpan span = regionDrawSpan(r.drawStart, r.drawEnd, P0);
    requestDrawing(r, 1, span.first, span.columns, P0, P0, offset, P0, 0);
}

void cheditstrip2::waveFormPreparedMain(int region, bool) {
    // A report of a worker that has been removed since finds no region.
    if (!validRegion(region)) return;
    tRegion &r = mRegions[region];
    r.loading = false;
    drawComplete(r, r.drawOffset);
}

void cheditstrip2::waveFormRedraw(int region, int offset, tRedrawMode) {
    if (!validRegion(region)) return;
    drawComplete(mRegions[region], offset);
}

tWaveEditParam *cheditstrip2::getEditParams(int) { return &mEditParams; }

int cheditstrip2::getWaveWidgetWidth() const { return ui->widgetWave->width(); }

void cheditstrip2::getXmargin(int *left, int *right) const {
    if (left) *left = ui->labelCh->width() - 1 + ui->verticalLayout_2->maximumSize().width() + 11;
    if (right) *right = ui->verticalLayout->maximumSize().width() + 10;
}

void cheditstrip2::setCursorPosition(double f) {
    if (mRegionCount < 1) return;
    trackGraphic *v = mRegions[mRegionCount - 1].view;
    v->setCursorTypePng(false);
    v->lineCurrentPosition(f);
}

void cheditstrip2::redrawWindow() {
    update();
    ui->widgetWave->update();
}

void cheditstrip2::waveRedrawNextCycle() { mRedrawNext = true; }

void cheditstrip2::stopWaveFormThread(int region) {
    if (!validRegion(region)) return;
    waveFormThread *w = mRegions[region].worker;
    if (!w->isRunning()) return;
    w->stop();
    // The worker leaves its run as soon as the aborted job returns; one that
    // takes longer is left running and the next job queues behind it.
    (void)w->wait(QDeadlineTimer(kWaveStopWaitMs));
}

void cheditstrip2::deleteAllTracks() {
    while (mRegionCount > 0) {
        const int i = mRegionCount - 1;
        stopWaveFormThread(i);
        --mRegionCount;
        releaseRegion(mRegions[i]);
    }
    // The views are gone and will report no leave: the hand goes with them.
    mDragging = false;
    mHover = false;
    hideCursor();
}

int64_t cheditstrip2::getTotalWaveformLen(int region) const {
    if (region < 0 || region >= kStripMaxRegions) return 0;
    return mRegions[region].points[regionLevelForZoom(mLevelZoom)];
}

int cheditstrip2::getMemoryForWaveForming(int region) {
    if (region < 0 || region >= kStripMaxRegions) return -1;
    tRegion &r = mRegions[region];
    // A worker may be writing the region's buffers: they cannot be replaced.
    if (r.worker && r.worker->isRunning()) return -1;
    if (allocateLevels(r)) return 0;
    freeLevels(r);
    return -1;
}

// ---- Read-outs ----

QString cheditstrip2::regionPath(int region) const { return validRegion(region) ? mRegions[region].path : QString(); }

trackGraphic *cheditstrip2::regionView(int region) const {
    return validRegion(region) ? mRegions[region].view : nullptr;
}

waveFormThread *cheditstrip2::regionWorker(int region) const {
    return validRegion(region) ? mRegions[region].worker : nullptr;
}

const double *cheditstrip2::regionMaxima(int region, int level) const {
    if (!validRegion(region) || level < 0 || level >= kRegionLevels) return nullptr;
    return mRegions[region].maxima[level];
}

const double *cheditstrip2::regionMinima(int region, int level) const {
    if (!validRegion(region) || level < 0 || level >= kRegionLevels) return nullptr;
    return mRegions[region].minima[level];
}

bool cheditstrip2::regionLoading(int region) const { return validRegion(region) && mRegions[region].loading; }

QWidget *cheditstrip2::waveArea() const { return ui->widgetWave; }

// ---- The wave area ----

void cheditstrip2::timelinePainted() { emit wavePainted(); }

void cheditstrip2::timelinewaveMousePressed(QMouseEvent *event) { emit tlMousePressed(event); }

void cheditstrip2::timelinewaveMouseMoveEvent(QMouseEvent *event) {
    mLastMousePos = event->position().toPoint();
    emit tlMouseMoved(event);
}

void cheditstrip2::resizeTimelineWaveEvent() {
    if (!mOneRegion || mRegionCount < 1) return;
    int x = 0, width = 0;
    if (!regionOnePlace(mDrawStart, mDrawEnd, ui->widgetWave->width(), &x, &width)) return;
    trackGraphic *v = mRegions[0].view;
    v->mLeftEdge = x;
    v->setGeometry(x, 0, width, ui->widgetWave->height());
    v->setVisible(width > 0);
    v->update();
}

void cheditstrip2::on_hideButton_clickEvent() { emit hideTrackMenuClicked(mRegionCount - 1, mRowNumber); }

// ---- The region views ----

// The strip owns at most one entry of the application's override-cursor
// stack: the hand shapes replace each other, and leaving removes it.
void cheditstrip2::showCursor(Qt::CursorShape shape) {
    if (mCursorPushed) {
        QApplication::changeOverrideCursor(QCursor(shape));
    } else {
        QApplication::setOverrideCursor(QCursor(shape));
        mCursorPushed = true;
    }
}

void cheditstrip2::hideCursor() {
    if (!mCursorPushed) return;
    QApplication::restoreOverrideCursor();
    mCursorPushed = false;
}

int cheditstrip2::viewX(int region, const QMouseEvent *event) const {
    const int left = validRegion(region) ? mRegions[region].view->mLeftEdge : 0;
    return left + qRound(event->position().x());
}

void cheditstrip2::hoverEnterWaveformLowerSideEvent(QHoverEvent *, int) {
    if (!mDragging) showCursor(Qt::OpenHandCursor);
    mHover = true;
}

void cheditstrip2::hoverLeaveWaveformLowerSideEvent(QHoverEvent *, int) {
    if (!mDragging) hideCursor();
    mHover = false;
}

void cheditstrip2::trackWaveformClickEvent(QMouseEvent *event, int region) {
    if (event->buttons() & Qt::RightButton) mMenu->exec(QCursor::pos());
    if (mHover) {
        showCursor(Qt::ClosedHandCursor);
        mDragging = true;
        mLastDragX = viewX(region, event);
        return;
    }
    const double left = validRegion(region) ? mRegions[region].view->mLeftEdge : 0;
    QMouseEvent moved(event->type(), QPointF(event->position().x() + left, event->position().y()),
                      event->globalPosition(), event->button(), event->buttons(), event->modifiers());
    emit tlMousePressed(&moved);
}

void cheditstrip2::regionMouseMoveEvent(QMouseEvent *event, int region) {
    if (!mDragging) return;
    const int x = viewX(region, event);
    mDragParams.region = region;
    mDragParams.track = mTrackNumber;
    mDragParams.deltaX = x - mLastDragX;
    mLastDragX = x;
    emit regionDraged(event, &mDragParams);
}

void cheditstrip2::trackWaveformMouseReleaseEvent(QMouseEvent *, int) {
    if (!mDragging) return;
    hideCursor();
    if (mHover) showCursor(Qt::OpenHandCursor);
    mDragging = false;
}

void cheditstrip2::editParamChangedEvent(int region) {
    if (mRegionCount < 1) return;
    const tRegion &last = mRegions[mRegionCount - 1];
    const trackGraphic *v = last.view;
    mEditParams = regionEditParams(v->mInPoint, v->mOutPoint, v->mFadeInEnd, v->mFadeOutStart, v->mGain,
                                   static_cast<double>(last.length));
    emit editParamChanged(region, mRowNumber);
}

// ---- Drops and the pointer ----

void cheditstrip2::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list"))) event->acceptProposedAction();
}

void cheditstrip2::dropEvent(QDropEvent *event) {
    if (!event->mimeData()->hasUrls()) return;
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty()) return;
    event->acceptProposedAction();
    mLastDropX = qRound(event->position().x()) - ui->widgetWave->x();
    openFile(urls.first().toLocalFile(), kFileOpenReplace);
}

void cheditstrip2::mouseMoveEvent(QMouseEvent *event) { mLastMousePos = event->position().toPoint(); }
