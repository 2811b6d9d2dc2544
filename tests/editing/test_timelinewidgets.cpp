// The timeline's small widgets: the one-colour GL areas, the transport bar,
// the scroll bar with its zoom buttons and the time bar.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <GL/gl.h>

#include <climits>
#include <functional>
#include <memory>

#include "editing/edittimelinebar.h"
#include "editing/edittimelinescroll.h"
#include "editing/edittransport.h"
#include "editing/timelinewidgets.h"
#include "widgets/snxbuttons.h"
#include "widgets/widgettc.h"

namespace {

QImage shownFrame(QOpenGLWidget *w) {
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
    QApplication::processEvents();
    return w->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TEST(TimelineFills, EachClassFillsItsAreaWithItsColour) {
    struct Row {
        const char *name;
        std::function<QOpenGLWidget *()> make;
        QRgb colour;
        QSize size;
    };
    const Row rows[] = {
        {"timelinewave", [] { return new timelinewave(); }, qRgb(6, 15, 46), QSize(120, 40)},
        {"timelineAll", [] { return new timelineAll(); }, qRgb(66, 15, 46), QSize(120, 40)},
        // The cursor line as the windows use it: one pixel wide.
        {"timebar", [] { return new timebar(); }, qRgb(244, 250, 37), QSize(1, 60)},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        std::unique_ptr<QOpenGLWidget> w(r.make());
        w->resize(r.size);
        const QImage img = shownFrame(w.get());
        ASSERT_FALSE(img.isNull());
        int other = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) other += img.pixel(x, y) != r.colour;
        EXPECT_EQ(other, 0) << std::hex << img.pixel(0, 0);
    }
}

TEST(TimelineFills, WaveAreaReportsPaintsResizesAndPresses) {
    timelinewave wave;
    QSignalSpy painted(&wave, &timelinewave::painted);
    QSignalSpy resized(&wave, &timelinewave::resizeTimeLineWave);
    int pressed = 0, moved = 0;
    QObject::connect(&wave, &timelinewave::mousePressed, &wave, [&](QMouseEvent *e) {
        ++pressed;
        EXPECT_EQ(e->position().toPoint(), QPoint(40, 10));
    });
    QObject::connect(&wave, &timelinewave::mouseMoved, &wave, [&](QMouseEvent *) { ++moved; });
    wave.resize(200, 50);
    shownFrame(&wave);
    EXPECT_GE(painted.count(), 1);
    EXPECT_GE(resized.count(), 1);

    // The resize report comes once the new projection is in place (the
    // first one, from initializeGL, has a depth range of 0..1; resizing
    // sets -1..1) and the viewport covers the new size.
    GLdouble projection[16] = {};
    GLint viewport[4] = {};
    QObject::connect(&wave, &timelinewave::resizeTimeLineWave, &wave, [&] {
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
    });
    resized.clear();
    wave.resize(300, 80);
    QApplication::processEvents();
    EXPECT_EQ(resized.count(), 1);
    EXPECT_DOUBLE_EQ(projection[0], 2.0);
    EXPECT_DOUBLE_EQ(projection[5], 2.0);
    EXPECT_DOUBLE_EQ(projection[10], -1.0);
    EXPECT_DOUBLE_EQ(projection[12], -1.0);
    const qreal r = wave.devicePixelRatioF();
    EXPECT_EQ(viewport[2], static_cast<int>(300 * r));
    EXPECT_EQ(viewport[3], static_cast<int>(80 * r));
    const QImage seen = wave.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(seen.pixel(seen.width() - 1, seen.height() - 1), qRgb(6, 15, 46));

    QTest::mousePress(&wave, Qt::LeftButton, Qt::NoModifier, QPoint(40, 10));
    ASSERT_EQ(pressed, 1);
    // A move without a button reports nothing; with the button held it does.
    QMouseEvent free(QEvent::MouseMove, QPointF(50, 10), wave.mapToGlobal(QPointF(50, 10)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&wave, &free);
    EXPECT_EQ(moved, 0);
    QMouseEvent held(QEvent::MouseMove, QPointF(60, 10), wave.mapToGlobal(QPointF(60, 10)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&wave, &held);
    EXPECT_EQ(moved, 1);
    QTest::mouseRelease(&wave, Qt::LeftButton, Qt::NoModifier, QPoint(60, 10));
}

TEST(TimelineBars, TransportFormAndCounter) {
    editTransport bar;
    EXPECT_EQ(bar.size(), QSize(800, 60));
    EXPECT_EQ(bar.minimumHeight(), 60);
    EXPECT_EQ(bar.maximumHeight(), 60);
    struct Row {
        const char *name;
        const char *cls;
        QRect geometry;
        bool checkable;
    };
    const Row rows[] = {
        {"lineEditTransport", "widgetTc", {20, 10, 192, 39}, false},
        {"zeroPlayButton", "snxZeroPlayButton", {220, 10, 52, 36}, false},
        {"stopButton", "snxStopButton", {299, 12, 33, 34}, false},
        {"playButton", "snxPlayButton", {364, 11, 45, 35}, true},
        {"recButton", "snxRecButton", {437, 12, 32, 32}, true},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        auto *w = bar.findChild<QWidget *>(r.name);
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), r.cls);
        EXPECT_EQ(w->geometry(), r.geometry);
        if (auto *b = qobject_cast<QPushButton *>(w)) {
            EXPECT_EQ(b->isCheckable(), r.checkable);
        }
    }
    auto *counter = bar.findChild<widgetTc *>("lineEditTransport");
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(counter->text(), "00:00:00.00");
    EXPECT_EQ(counter->font().pointSize(), 24);
    EXPECT_EQ(counter->styleSheet(), "color:rgb(255, 255, 255);\nbackground-color: rgb(0, 0, 0);\nfont-size: 31px;");
    bar.setTimeCounter("00:02:30.50");
    EXPECT_EQ(counter->text(), "00:02:30.50");
}

TEST(TimelineBars, ScrollBarZoomButtonsHalveAndDoubleItsMaximum) {
    struct Case {
        const char *button;
        int maximum;
        const char *signal;
    };
    for (const Case &c : {Case{"zoomInTimeButton", 7200, "in"}, Case{"zoomOutTimeButton", 28800, "out"}}) {
        SCOPED_TRACE(c.button);
        editTimelineScroll scroll;
        auto *bar = scroll.findChild<QScrollBar *>("waveScrollBar");
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->maximum(), 14400);
        EXPECT_EQ(bar->pageStep(), 8);
        EXPECT_TRUE(bar->invertedControls());
        EXPECT_EQ(scroll.sliderMax(), 14400);
        QSignalSpy in(&scroll, &editTimelineScroll::zoomInClicked);
        QSignalSpy out(&scroll, &editTimelineScroll::zoomOutClicked);
        auto *button = scroll.findChild<QPushButton *>(c.button);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->maximumSize(), QSize(16, 16));
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(bar->maximum(), c.maximum);
        EXPECT_EQ(scroll.sliderMax(), c.maximum);
        EXPECT_EQ(in.count(), std::string(c.signal) == "in" ? 1 : 0);
        EXPECT_EQ(out.count(), std::string(c.signal) == "out" ? 1 : 0);
    }
}

TEST(TimelineBars, ScrollBarReportsEveryChangeOfItsPosition) {
    editTimelineScroll scroll;
    auto *bar = scroll.findChild<QScrollBar *>("waveScrollBar");
    QSignalSpy moved(&scroll, &editTimelineScroll::sliderMoved);
    scroll.setSliderCurrent(500);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0).at(0).toInt(), 500);
    EXPECT_EQ(scroll.sliderCurrent(), 500);
    // The same value again is no change.
    scroll.setSliderCurrent(500);
    EXPECT_EQ(moved.count(), 1);
    // The user's step counts too.
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(moved.count(), 2);
    EXPECT_EQ(scroll.sliderCurrent(), bar->value());
    // A smaller maximum pulls the position back, and that is reported with
    // the new maximum already noted.
    int maxSeen = -1;
    QObject::connect(&scroll, &editTimelineScroll::sliderMoved, &scroll, [&] { maxSeen = scroll.sliderMax(); });
    scroll.setSliderMax(300);
    EXPECT_EQ(moved.count(), 3);
    EXPECT_EQ(moved.last().at(0).toInt(), 300);
    EXPECT_EQ(maxSeen, 300);
    EXPECT_EQ(scroll.sliderCurrent(), 300);
}

TEST(TimelineBars, ScrollBarMaximumStaysBetweenOneAndTheLargestInt) {
    // The timeline divides by this maximum; halving must not reach 0 and
    // doubling must not overflow.
    editTimelineScroll scroll;
    auto *in = scroll.findChild<QPushButton *>("zoomInTimeButton");
    auto *out = scroll.findChild<QPushButton *>("zoomOutTimeButton");
    for (int i = 0; i < 20; ++i) in->click();
    EXPECT_EQ(scroll.sliderMax(), 1);
    scroll.setSliderMax(0);
    EXPECT_EQ(scroll.sliderMax(), 1);
    scroll.setSliderMax(-5);
    EXPECT_EQ(scroll.sliderMax(), 1);
    for (int i = 0; i < 40; ++i) out->click();
    EXPECT_EQ(scroll.sliderMax(), INT_MAX);
}

TEST(TimelineBars, TimeBarShowsHoursMinutesSecondsAndHundredths) {
    editTimelineBar bar;
    EXPECT_EQ(bar.height(), 24);
    auto *start = bar.findChild<QLabel *>("labelSttTime");
    auto *end = bar.findChild<QLabel *>("labelEndTime");
    ASSERT_TRUE(start && end);
    EXPECT_EQ(start->text(), "00:00:00.00");
    EXPECT_EQ(start->maximumSize(), QSize(84, 24));
    bar.setStartTime(100ull * 44100);
    EXPECT_EQ(start->text(), "00:01:40.00");
    bar.setEndTime(300ull * 44100 + 22050);
    EXPECT_EQ(end->text(), "00:05:00.50");
    bar.setEndTime(25ull * 3600 * 44100);
    EXPECT_EQ(end->text(), "25:00:00.00");
    bar.setSampleRate(48000);
    bar.setStartTime(48000ull * 61);
    EXPECT_EQ(start->text(), "00:01:01.00");
}
