#include "editing/editwindow.h"

#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>

#include "editing/cheditstrip2.h"
#include "editing/edittimelinebar.h"
#include "editing/edittimelinescroll.h"
#include "editing/edittransport.h"
#include "editing/timelinemath.h"
#include "editing/timelinewidgets.h"
#include "ui_editwindow.h"
#include "widgets/stylesheet.h"

editWindow::editWindow(QWidget *parent) : QDialog(parent), ui(new Ui::editWindow) {
    ui->setupUi(this);
    setWindowFlags((windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint) &
                   ~Qt::WindowContextHelpButtonHint);

    mLayout = new QVBoxLayout(this);
    mLayout->setSpacing(0);
    mMenuBar = new QMenuBar(this);
    mToolsMenu = mMenuBar->addMenu(tr("Tools"));
    mLayout->setMenuBar(mMenuBar);

    mSplitter = new QSplitter(Qt::Vertical, this);
    mSplitterSheet = styleSheet_read(QStringLiteral(":/resources2/qss/timelineTrackSplitter.qss"));
    mSplitter->setStyleSheet(mSplitterSheet);
    mTransport = new editTransport(mSplitter);
    mTimeBar = new editTimelineBar(mSplitter);
    mScroll = new editTimelineScroll(mSplitter);
    mSplitter->addWidget(mTransport);
    mSplitter->addWidget(mTimeBar);
    mSplitter->addWidget(mScroll);
    mLayout->addWidget(mSplitter);

    connect(mScroll, &editTimelineScroll::zoomInClicked, this, &editWindow::timeZoomInClickEvent);
    connect(mScroll, &editTimelineScroll::zoomOutClicked, this, &editWindow::timeZoomOutClickEvent);
    connect(mScroll, &editTimelineScroll::sliderMoved, this, &editWindow::timeSliderMoveEvent);

    // Over the strips: made after the splitter, so it is drawn above it.
    mCursorLine = new timebar(this);
    drawCursor();
}

editWindow::~editWindow() { delete ui; }

void editWindow::setLockFlag(const int *lock) { mLockFlag = lock; }

void editWindow::addTrack() {
    if (mTrackCount >= kTimelineMaxTracks) return;
    auto *strip = new cheditstrip2(mSplitter);
    strip->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    strip->setTrackNumber(mTrackCount);
    strip->setLockFlag(mLockFlag);
    mSplitter->addWidget(strip);
    mSplitter->setStyleSheet(mSplitterSheet);
    connect(strip, &cheditstrip2::wavePainted, this, &editWindow::wavePainted);
    connect(strip, &cheditstrip2::tlMousePressed, this, &editWindow::tlMousePressEvent);
    connect(strip, &cheditstrip2::tlMouseMoved, this, &editWindow::tlMouseMoveEvent);
    mStrips[mTrackCount++] = strip;
    mCursorLine->raise();
}

cheditstrip2 *editWindow::strip(int track) const {
    return track >= 0 && track < mTrackCount ? mStrips[track] : nullptr;
}

int editWindow::getWaveWindowWidth() const { return mTrackCount > 0 ? mStrips[0]->getWaveWidgetWidth() : 0; }

void editWindow::recalcCursor(double f) {
    mCursorX = timelineCursorX(getWaveWindowWidth(), f);
    drawCursor();
}

void editWindow::drawCursor() {
    // From the transport bar's bottom edge (below the window's menu bar
    // where the platform puts the menu bar into the window).
    const int top = mTransport->mapTo(this, QPoint(0, mTransport->height())).y();
    mCursorLine->setGeometry(mCursorX, top, 1, std::max(0, height() - top));
    mCursorLine->raise();
}

int editWindow::deleteTrack(int) { return -1; }

// A press or a drag in a wave area: the cursor follows, held within the
// wave area, so that it never stands before the timeline's start.
void editWindow::moveCursorTo(QMouseEvent *event) {
    const int x = std::clamp(qRound(event->position().x()), 0, std::max(0, getWaveWindowWidth()));
    mCursorX = x + kTimelineWaveLeft;
    drawCursor();
    emit cursorMoved(x);
}

void editWindow::tlMousePressEvent(QMouseEvent *event) { moveCursorTo(event); }

void editWindow::tlMouseMoveEvent(QMouseEvent *event) { moveCursorTo(event); }

void editWindow::wavePainted() {}

void editWindow::timeZoomInClickEvent() { emit timeZoomInClicked(); }

void editWindow::timeZoomOutClickEvent() { emit timeZoomOutClicked(); }

void editWindow::timeSliderMoveEvent(int value) { emit timeSliderMoved(value); }

void editWindow::paintEvent(QPaintEvent *event) {
    drawCursor();
    QDialog::paintEvent(event);
}

void editWindow::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    drawCursor();
}
