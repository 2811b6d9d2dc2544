#include "editing/cheditstrip.h"

#include <QResizeEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include <vector>

#include "editing/edittimelinescroll.h"
#include "editing/timelinemath.h"
#include "editing/timelinewidgets.h"
#include "engine/morphexbinding.h"
#include "ui_cheditstrip.h"
#include "widgets/stylesheet.h"

chEditStrip::chEditStrip(QWidget *parent) : QWidget(parent), ui(new Ui::chEditStrip) {
    ui->setupUi(this);
    setWindowFlags((windowFlags() | Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint) &
                   ~Qt::WindowContextHelpButtonHint);

    mInfo.marks = mMarks;
    mGetAudioFileInformation = morphexBinding().getAudioFileInformation;

    mSplitterSheet = styleSheet_read(QStringLiteral(":/resources2/qss/timelineTrackSplitter.qss"));
    // Nothing in this window listens to the scroll bar: the axis always
    // spans the longest row.
    mScroll = new editTimelineScroll(this);
    buildLayout();
    addTrack();

    // Over the rows: made after them, so it is drawn above.
    mCursorLine = new timebar(this);
    mCursorLine->setGeometry(0, 0, 1, height());
}

// The rows go with the splitter (a strip stops and deletes its overview
// workers before its buffers go).
chEditStrip::~chEditStrip() { delete ui; }

void chEditStrip::buildLayout() {
    mLayout = new QVBoxLayout(this);
    mLayout->setSpacing(0);
    mSplitter = new QSplitter(Qt::Vertical, this);
    mSplitter->setStyleSheet(mSplitterSheet);
    mLayout->addWidget(mSplitter);
    mLayout->addWidget(mScroll);
}

cheditstrip2 *chEditStrip::makeStrip(int row) {
    auto *strip = new cheditstrip2(mSplitter);
    strip->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    strip->setTrackNumber(0);
    strip->setDrawTrackNumber(row);
    strip->setOnlyOneRegionMode(true);
    connect(strip, &cheditstrip2::regionLoaded, this, &chEditStrip::regionLoaded);
    connect(strip, &cheditstrip2::editParamChanged, this, &chEditStrip::editParamChangeEvent);
    connect(strip, &cheditstrip2::hideTrackMenuClicked, this, &chEditStrip::hideTrackEvent);
    return strip;
}

void chEditStrip::addTrack() {
    if (mRowCount >= kTimelineMaxTracks) return;
    tRow &r = mRows[mRowCount];
    r = tRow();
    r.strip = makeStrip(mRowCount);
    mSplitter->addWidget(r.strip);
    ++mRowCount;
    if (mCursorLine) mCursorLine->raise();
}

cheditstrip2 *chEditStrip::row(int index) const {
    return index >= 0 && index < mRowCount ? mRows[index].strip : nullptr;
}
int chEditStrip::rowTrack(int index) const { return index >= 0 && index < mRowCount ? mRows[index].track : -1; }
tVolGraphArea chEditStrip::rowArea(int index) const {
    return index >= 0 && index < mRowCount ? mRows[index].area : tVolGraphArea();
}
int64_t chEditStrip::rowLength(int index) const { return index >= 0 && index < mRowCount ? mRows[index].length : 0; }
int64_t chEditStrip::rowDelay(int index) const { return index >= 0 && index < mRowCount ? mRows[index].delay : 0; }

int chEditStrip::searchDrawTrack(int track) const {
    for (int i = 0; i < mRowCount; ++i)
        if (mRows[i].track == track) return i;
    return -1;
}

void chEditStrip::addChEditParameters(int track, const tChEditerParameters *p) {
    if (mRowCount < 1 || !p) return;
    // A mixer track whose record slots do not exist cannot be shown.
    if (track < 0 || track >= kTimelineMaxTracks) return;
    const int shown = searchDrawTrack(track);
    if (shown >= 0) {
        mRows[shown].strip->show();
        return;
    }
    if (mAssigned) {
        if (mRowCount >= kTimelineMaxTracks) return;
        addTrack();
    }
    tRow &last = mRows[mRowCount - 1];
    last.track = track;
    last.strip->setTrackNumber(track);
    last.strip->setLockFlag(p->lockFlag);

    mPath = p->path;
    last.length = p->length;
    last.delay = p->delay;
    redrawEditWindowIncludingDelay();

    if (!mPath.isEmpty()) last.strip->openFile(mPath, kFileOpenReplace);
    mAssigned = true;
}

void chEditStrip::setDelaySample(long long delay, int row) {
    if (row >= 0 && row < mRowCount) mRows[row].delay = delay;
    redrawEditWindowIncludingDelay();
}

int64_t chEditStrip::getMaxSampleInAllTracks() const {
    std::vector<tVolGraphRow> rows;
    for (int i = 0; i < mRowCount; ++i) rows.push_back({mRows[i].length, mRows[i].delay});
    return volGraphMaxSample(rows);
}

tVolGraphArea chEditStrip::calcDrawArea(long long start, int length, int maximum) const {
    return volGraphDrawArea(start, length, maximum);
}

// The axis is the longest row's length + delay, in 64 bits: a long DSD file
// or a large delay passes 2^31 samples.
void chEditStrip::redrawEditWindowIncludingDelay() {
    std::vector<tVolGraphRow> rows;
    for (int i = 0; i < mRowCount; ++i) rows.push_back({mRows[i].length, mRows[i].delay});
    const std::vector<tVolGraphArea> areas = volGraphLayout(rows);
    for (int i = 0; i < mRowCount; ++i) {
        mRows[i].area = areas[static_cast<size_t>(i)];
        mRows[i].strip->setDrawWidthArea(mRows[i].area.start, mRows[i].area.end);
        mRows[i].strip->resizeTimelineWaveEvent();
    }
}

int chEditStrip::getRegionParam(tRegionInfo *info, const QString &path) {
    if (!info) return -1;
    if (!mGetAudioFileInformation) return -3;
    const int rc = mGetAudioFileInformation(reinterpret_cast<const wchar16 *>(path.utf16()), &mInfo);
    if (rc < 0) return rc;
    const int64_t length =
        volGraphRegionLength(mInfo.dataBytesHigh, mInfo.dataBytesLow, mInfo.bitsPerSample, mInfo.channels);
    // A description without word length or channels has no length to show.
    if (length < 0) return -17;
    info->sampleRate = mInfo.sampleRate;
    info->bitsPerSample = mInfo.bitsPerSample;
    info->channels = mInfo.channels;
    info->fileType = mInfo.fileType;
    info->dataBytes = mInfo.dataBytesLow;
    info->length = static_cast<uint64_t>(length);
    info->edit = tWaveEditParam();
    info->edit.gain = 1.0;
    info->edit.outPoint = length;
    return rc;
}

void chEditStrip::regionLoaded(tRegionLoadParams *params) {
    if (!params || mRowCount < 1) return;
    const int t = params->track, r = params->region;
    if (t < 0 || t >= kTimelineMaxTracks || r < 0 || r >= kStripMaxRegions) return;
    tRow &last = mRows[mRowCount - 1];
    tRegionInfo &rec = mRegions[t][r];
    rec.dropX = params->dropX;
    rec.path = mPath;
    rec.startSample = mViewStart;
    getRegionParam(&rec, rec.path);
    rec.startSample = mViewStart;

    // Against the range from the view start to the row's length: a shorter
    // file takes its share, a longer one is cut at the row's length.
    mPlacements[t][r] = timelinePlaceRegion(0, rec.length, mViewStart, mViewStart + last.length);
    last.strip->layoutWaveWidget(t, mPlacements[t]);
    last.strip->waveFormRedraw(r, 0, kRedrawModeFull);
    last.strip->layoutWaveWidget(t, mPlacements[t]);
    last.strip->startDrawingWaveThread(r, &rec);
}

void chEditStrip::editParamChangeEvent(int, int row) {
    if (row < 0 || row >= mRowCount) return;
    mLastEdit = mRows[row].strip->getEditParams(0);
    emit trackEditParamChanged(mLastEdit, mRows[row].track);
}

void chEditStrip::hideTrackEvent(int, int row) {
    if (row >= 0 && row < mRowCount) mRows[row].strip->hide();
}

void chEditStrip::setCursorPosition(double f) {
    if (mRowCount < 1) return;
    int left = 0, right = 0;
    mRows[0].strip->getXmargin(&left, &right);
    const int x = volGraphCursorX(width(), left, right, f);
    mCursorLine->setGeometry(x, 0, 1, height());
    mCursorLine->raise();
    for (int i = 0; i < mRowCount; ++i) mRows[i].strip->setCursorPosition(f);
}

void chEditStrip::deleteAllTracks() {
    if (!mAssigned) return;
    for (int i = 0; i < mRowCount; ++i) mRows[i].track = -1;
    mAssigned = false;
    // The scroll bar moves to the new layout; the old splitter takes the
    // rows with it.
    mLayout->removeWidget(mScroll);
    delete mSplitter;
    delete mLayout;
    for (tRow &r : mRows) r = tRow();
    mRowCount = 0;
    buildLayout();
    addTrack();
}

void chEditStrip::redrawWaveForm() {
    if (mRowCount > 0) mRows[0].strip->redrawWindow();
}

void chEditStrip::initWaveParameters(tChEditerParameters *) {}

void chEditStrip::setEditTrack(int track) {
    if (mRowCount < 1) return;
    mRows[mRowCount - 1].track = track;
    mRows[mRowCount - 1].strip->setTrackNumber(track);
}

void chEditStrip::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    if (mRowCount > 0) mRows[0].strip->waveRedrawNextCycle();
    if (mCursorLine) mCursorLine->setGeometry(mCursorLine->x(), 0, 1, height());
}
