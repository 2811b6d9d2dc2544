// The timeline edit window with its manager: the first view, the cursor, the
// zoom with the scroll bar's own halving and doubling, scrolling, and
// regions dropped, placed and dragged.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHoverEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QUrl>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "../support/testutil.h"
#include "audiofile/timecode.h"
#include "editing/cheditstrip2.h"
#include "editing/edittimelinebar.h"
#include "editing/edittimelinescroll.h"
#include "editing/edittransport.h"
#include "editing/editwindow.h"
#include "editing/timelinemath.h"
#include "editing/timelinemgr.h"
#include "editing/timelinewidgets.h"
#include "timelinetestutil.h"

namespace {

class TimelineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tltest::useBuiltLibrary(); }

    void SetUp() override {
        mgr = std::make_unique<timelineMgr>();
        win = mgr->getEditWIndowPointer();
        scroll = win->scrollBar();
        bar = scroll->findChild<QScrollBar *>("waveScrollBar");
    }

    void show() {
        win->resize(800, 600);
        win->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win));
        QApplication::processEvents();
        W = win->getWaveWindowWidth();
        S = timelineSpanSeconds(W);
    }

    QString startText() const { return win->timeBar()->findChild<QLabel *>("labelSttTime")->text(); }
    QString endText() const { return win->timeBar()->findChild<QLabel *>("labelEndTime")->text(); }
    QString counterText() const { return win->transport()->findChild<QLineEdit *>("lineEditTransport")->text(); }
    static QString timeText(int64_t samples, int frameType) {
        std::string t;
        gTc_prepareTimeInfoDisp(&t, samples, 44100, kCounterTime, frameType);
        return QString::fromStdString(t);
    }
    void zoomIn() { scroll->findChild<QPushButton *>("zoomInTimeButton")->click(); }
    void zoomOut() { scroll->findChild<QPushButton *>("zoomOutTimeButton")->click(); }
    QWidget *wave(int track) const { return win->strip(track)->waveArea(); }

    void dropFile(int track, const QString &path, int waveX) {
        cheditstrip2 *s = win->strip(track);
        auto *mime = new QMimeData();
        mime->setUrls({QUrl::fromLocalFile(path)});
        const QPoint at(wave(track)->x() + waveX, 30);
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(s, &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(s, &drop);
        delete mime;
    }

    sxtest::TempDir dir;  // outlives the window, whose queued jobs still open its files
    std::unique_ptr<timelineMgr> mgr;
    editWindow *win = nullptr;
    editTimelineScroll *scroll = nullptr;
    QScrollBar *bar = nullptr;
    int W = 0;
    int64_t S = 0;
};

void sendMouse(QWidget *w, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, at, w->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

TEST_F(TimelineTest, NewWindowShowsFiveMinutesWithTheCursorAtTheStart) {
    EXPECT_EQ(win->windowTitle(), "TimeLine Edit");
    EXPECT_EQ(win->trackCount(), 4);
    EXPECT_EQ(mgr->trackCount(), 4);
    for (int t = 0; t < 4; ++t) EXPECT_EQ(win->strip(t)->trackNumber(), t);
    EXPECT_EQ(startText(), "00:00:00.00");
    EXPECT_EQ(endText(), "00:05:00.00");
    EXPECT_EQ(mgr->visibleEnd(), int64_t{300} * 44100);
    EXPECT_EQ(mgr->zoom(), 1.0);
    EXPECT_EQ(win->cursorX(), 66);
    EXPECT_TRUE(win->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(win->windowFlags() & Qt::WindowContextHelpButtonHint);

    show();
    const QRect line = win->cursorLine()->geometry();
    EXPECT_EQ(line.x(), 66);
    EXPECT_EQ(line.width(), 1);
    const int below = win->transport()->mapTo(win, QPoint(0, win->transport()->height())).y();
    EXPECT_GE(below, win->transport()->height());
    EXPECT_EQ(line.y(), below);
    EXPECT_EQ(line.bottom(), win->height() - 1);
    // Still there after the window is resized.
    win->resize(900, 650);
    QApplication::processEvents();
    EXPECT_EQ(win->cursorLine()->geometry(), QRect(66, below, 1, win->height() - below));
}

TEST_F(TimelineTest, PressInAWaveAreaMovesTheCursorAndItsTime) {
    show();
    QTest::mouseClick(wave(2), Qt::LeftButton, Qt::NoModifier, QPoint(100, 20));
    EXPECT_EQ(win->cursorLine()->x(), 166);
    EXPECT_DOUBLE_EQ(mgr->cursor(), 100.0 / W);
    const int64_t samples = static_cast<int64_t>(std::trunc(static_cast<double>(S) * (100.0 / W) * 44100));
    EXPECT_EQ(counterText(), timeText(samples, kTc29_97));
    EXPECT_NE(counterText(), "00:00:00.00");

    // Dragging follows the pointer, and stops at the wave area's left edge.
    sendMouse(wave(0), QEvent::MouseButtonPress, QPointF(50, 20), Qt::LeftButton, Qt::LeftButton);
    sendMouse(wave(0), QEvent::MouseMove, QPointF(30.4, 20), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(win->cursorLine()->x(), 96);
    sendMouse(wave(0), QEvent::MouseMove, QPointF(-40, 20), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(win->cursorLine()->x(), 66);
    EXPECT_EQ(counterText(), "00:00:00.00");
    sendMouse(wave(0), QEvent::MouseButtonRelease, QPointF(-40, 20), Qt::LeftButton, Qt::NoButton);
}

TEST_F(TimelineTest, ZoomAroundTheCursorKeepsTheScrollBarsMaximum) {
    show();
    QTest::mouseClick(wave(0), Qt::LeftButton, Qt::NoModifier, QPoint(W / 2, 20));
    const double c = mgr->cursor();
    ASSERT_NEAR(c, 0.5, 0.01);

    // The scroll bar halves its maximum on the click; below zoom 64 the
    // window puts it back.
    zoomIn();
    EXPECT_EQ(mgr->zoom(), 2.0);
    EXPECT_EQ(bar->maximum(), 14400);
    EXPECT_DOUBLE_EQ(mgr->startFraction(), c - 0.25);
    EXPECT_DOUBLE_EQ(mgr->endFraction(), c + 0.25);
    EXPECT_EQ(startText(), timeText(static_cast<int64_t>(std::trunc((c - 0.25) * S * 44100)), kTc29_97Drop));
    EXPECT_EQ(endText(), timeText(static_cast<int64_t>(std::trunc(S * (c + 0.25) * 44100)), kTc29_97Drop));
    // The cursor line keeps its place in the middle of the new range.
    EXPECT_EQ(win->cursorLine()->x(), timelineCursorX(W, 0.5));

    for (int i = 0; i < 5; ++i) zoomIn();
    EXPECT_EQ(mgr->zoom(), 64.0);
    EXPECT_EQ(bar->maximum(), 14400);
    // At 64 the zoom stays and the scroll bar's own halving is kept.
    zoomIn();
    EXPECT_EQ(mgr->zoom(), 64.0);
    EXPECT_EQ(bar->maximum(), 7200);
    zoomIn();
    EXPECT_EQ(bar->maximum(), 3600);
    // Zooming out: the bar doubles, the window halves it back.
    zoomOut();
    EXPECT_EQ(mgr->zoom(), 32.0);
    EXPECT_EQ(bar->maximum(), 3600);

    for (int i = 0; i < 11; ++i) zoomOut();
    EXPECT_EQ(mgr->zoom(), 1.0 / 64);
    EXPECT_EQ(bar->maximum(), 3600);
    zoomOut();
    EXPECT_EQ(mgr->zoom(), 1.0 / 64);
    EXPECT_EQ(bar->maximum(), 7200);
    // The whole range from the start: the start is held at 0.
    EXPECT_EQ(mgr->startFraction(), 0.0);
    EXPECT_EQ(startText(), "00:00:00.00");
}

TEST_F(TimelineTest, CursorNearTheStartZoomsFromZero) {
    show();
    QTest::mouseClick(wave(0), Qt::LeftButton, Qt::NoModifier, QPoint(W / 100, 20));
    ASSERT_LT(mgr->cursor(), 0.02);
    zoomIn();
    EXPECT_EQ(mgr->startFraction(), 0.0);
    EXPECT_EQ(mgr->endFraction(), 0.5);
    EXPECT_EQ(startText(), "00:00:00.00");
}

TEST_F(TimelineTest, ScrollingAndZoomScaleThePosition) {
    show();
    scroll->setSliderCurrent(7200);
    EXPECT_EQ(mgr->visibleStart(), int64_t{43200} * 44100);
    EXPECT_EQ(startText(), "12:00:00.00");
    EXPECT_EQ(mgr->visibleEnd(), (43200 + S) * 44100);
    EXPECT_EQ(endText(), timeText((43200 + S) * 44100, kTc29_97Drop));

    // The user's own scrolling is handled the same way.
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(mgr->visibleStart(), int64_t{7201} * 86400 / 14400 * 44100);

    // A zoom step doubles the position (running the scroll handler on the
    // way), a zoom-out step halves it; the maximum stays.
    scroll->setSliderCurrent(100);
    zoomIn();
    EXPECT_EQ(bar->value(), 200);
    EXPECT_EQ(bar->maximum(), 14400);
    zoomOut();
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(bar->maximum(), 14400);
}

TEST_F(TimelineTest, DroppedRegionIsPlacedAndDrawn) {
    const QString path = QString::fromStdString(dir.file("take.wav"));
    tltest::writeWav(path.toStdString(), 12 * 44100);
    show();
    dropFile(1, path, 350);
    ASSERT_EQ(mgr->regionCount(1), 1);
    const tRegionInfo &rec = mgr->regionInfo(1, 0);
    EXPECT_EQ(rec.path, path);
    EXPECT_EQ(rec.dropX, 350);
    EXPECT_EQ(rec.sampleRate, 44100u);
    EXPECT_EQ(rec.bitsPerSample, 16u);
    EXPECT_EQ(rec.channels, 2u);
    EXPECT_EQ(rec.length, uint64_t{12} * 44100);
    EXPECT_EQ(rec.edit.inPoint, 0);
    EXPECT_EQ(rec.edit.gain, 1.0);
    EXPECT_EQ(rec.edit.outPoint, int64_t{12} * 44100);
    const int stripWidth = win->strip(1)->width();
    EXPECT_EQ(rec.startSample, timelineStartSample(350, stripWidth, 0, int64_t{300} * 44100));

    // Inside the five minutes: the view spans the region's 12 seconds.
    const tTlWavedrawInfo &p = mgr->placement(1, 0);
    EXPECT_TRUE(p.visible);
    EXPECT_FLOAT_EQ(p.left, static_cast<float>(rec.startSample) / (300.0f * 44100));
    EXPECT_NEAR(p.right - p.left, 12.0 / 300.0, 1e-6);
    trackGraphic *view = win->strip(1)->regionView(0);
    EXPECT_EQ(view->x(), static_cast<int>(std::trunc(W * p.left)));
    EXPECT_NEAR(view->width(), W / 25.0, 1.0);
    ASSERT_TRUE(edtest::waitUntil([&] { return !win->strip(1)->regionLoading(0); }, tltest::kOverviewWaitMs));
    EXPECT_EQ(win->strip(1)->regionWorker(0)->getFinalProgress(), 3200);
    if (const char *shot = std::getenv("SONVEX_SHOT")) {
        QTest::mouseClick(wave(0), Qt::LeftButton, Qt::NoModifier, QPoint(W / 3, 20));
        QTest::qWait(200);
        win->grab().save(QString::fromLocal8Bit(shot));
    }

    // Scrolled to noon, the region lies before the range: an empty view.
    scroll->setSliderCurrent(7200);
    const tTlWavedrawInfo &gone = mgr->placement(1, 0);
    EXPECT_TRUE(gone.visible);
    EXPECT_EQ(gone.left, 0.0f);
    EXPECT_EQ(gone.right, 0.0f);
    EXPECT_EQ(gone.shownEnd, 0.0f);
    EXPECT_FALSE(view->isVisible());
    scroll->setSliderCurrent(0);
    EXPECT_TRUE(view->isVisible());

    // A zoom re-places it for the range the time bar shows.
    QTest::mouseClick(wave(0), Qt::LeftButton, Qt::NoModifier, QPoint(0, 20));
    zoomIn();
    const tTlWavedrawInfo want =
        timelinePlaceRegion(rec.startSample, rec.length, mgr->visibleStart(), mgr->visibleEnd());
    const tTlWavedrawInfo &zoomed = mgr->placement(1, 0);
    EXPECT_EQ(mgr->visibleEnd(), int64_t{S} * 44100 / 2);
    EXPECT_EQ(zoomed.left, want.left);
    EXPECT_EQ(zoomed.right, want.right);
    EXPECT_EQ(zoomed.hiddenStart, want.hiddenStart);
    EXPECT_EQ(zoomed.shownEnd, want.shownEnd);
}

TEST_F(TimelineTest, DraggingARegionMovesItAlongTheTimeline) {
    const QString path = QString::fromStdString(dir.file("short.wav"));
    tltest::writeWav(path.toStdString(), 30 * 44100);
    show();
    dropFile(0, path, 200);
    ASSERT_EQ(mgr->regionCount(0), 1);
    const int64_t before = mgr->regionInfo(0, 0).startSample;
    trackGraphic *view = win->strip(0)->regionView(0);
    const int lower = view->height() * 3 / 4;

    QHoverEvent enter(QEvent::HoverEnter, QPointF(20, lower), view->mapToGlobal(QPointF(20, lower)), QPointF(-1, -1));
    QApplication::sendEvent(view, &enter);
    sendMouse(view, QEvent::MouseButtonPress, QPointF(20, lower), Qt::LeftButton, Qt::LeftButton);
    // The pointer moves 12 then 8 pixels to the right in the wave area; the
    // view follows it between the moves.
    const int waveStart = view->x() + 20;
    for (int to : {waveStart + 12, waveStart + 20}) {
        const QPointF local(to - view->x(), lower);
        sendMouse(view, QEvent::MouseMove, local, Qt::NoButton, Qt::LeftButton);
    }
    sendMouse(view, QEvent::MouseButtonRelease, QPointF(waveStart + 20 - view->x(), lower), Qt::LeftButton,
              Qt::NoButton);
    QHoverEvent leave(QEvent::HoverLeave, QPointF(0, 0), view->mapToGlobal(QPointF(0, 0)), QPointF(-1, -1));
    QApplication::sendEvent(view, &leave);

    const tRegionInfo &rec = mgr->regionInfo(0, 0);
    EXPECT_EQ(rec.dropX, 220);
    EXPECT_EQ(rec.startSample, timelineStartSample(220, win->strip(0)->width(), 0, int64_t{300} * 44100));
    EXPECT_GT(rec.startSample, before);
    EXPECT_EQ(view->x(), static_cast<int>(std::trunc(W * mgr->placement(0, 0).left)));
    // Every step restarts the overview (completion is the strip's own test;
    // the jobs still queued end with the window).
    EXPECT_TRUE(win->strip(0)->regionLoading(0));
    EXPECT_TRUE(win->strip(0)->regionWorker(0)->isRunning());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(TimelineTest, FileWithTheLargestMarkListIsDescribed) {
    // The library copies every mark into the caller's array: the manager's
    // has room for the most a list holds (more in the file are not kept).
    const QString path = QString::fromStdString(dir.file("marks.wav"));
    tltest::writeWav(path.toStdString(), 44100, 44100, 120);
    show();
    dropFile(2, path, 40);
    ASSERT_EQ(mgr->regionCount(2), 1);
    EXPECT_EQ(mgr->regionInfo(2, 0).length, 44100u);
    EXPECT_EQ(mgr->regionInfo(2, 0).channels, 2u);
}

TEST_F(TimelineTest, UnreadableFileStaysAnEmptyRegion) {
    const std::string bad = dir.file("broken.wav");
    std::ofstream(bad, std::ios::binary) << "not a wave file at all";
    show();
    edtest::MessageBoxes boxes;
    dropFile(3, QString::fromStdString(bad), 100);
    ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
    EXPECT_EQ(boxes.seen()[0].title, "Cannot Open");
    EXPECT_TRUE(boxes.seen()[0].text.contains("broken.wav"));
    ASSERT_EQ(mgr->regionCount(3), 1);
    EXPECT_EQ(mgr->regionInfo(3, 0).length, 0u);
    EXPECT_EQ(win->strip(3)->regionView(0)->width(), 0);
    EXPECT_TRUE(edtest::waitUntil([&] { return !win->strip(3)->regionLoading(0); }, tltest::kOverviewWaitMs));
}
