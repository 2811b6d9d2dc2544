// The reverb room view: ray arithmetic, the room's walls, the 250-step ray
// cycle and the drags of the source and the listening point, driven with
// real mouse events on a shown view of the panel's size.
#include <gtest/gtest.h>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

#include "mixer/widgetreverb.h"

namespace {

// The panel's view: 287 × 431 at (30, 10) of an 830 × 697 window.
struct View {
    QWidget window;
    widgetReverb *view;

    View() {
        window.resize(830, 697);
        view = new widgetReverb(&window);
        view->setGeometry(30, 10, 287, 431);
    }
    // As the panel sizes it from its sliders' form values (100 and 67).
    void sizeRoom() {
        view->setRoomWide(287 * 100 / 100);
        view->setRoomLong(431 * 67 / 100);
    }
    bool show() {
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
    // Qt's pointer position for a point of the view's own coordinates (y up).
    QPoint at(float x, float y) const { return QPoint(int(std::lround(x)), view->height() - int(std::lround(y))); }
    void drag(QPointF from, float toY) {
        QTest::mousePress(view, Qt::LeftButton, {}, at(float(from.x()), float(from.y())));
        QTest::mouseMove(view, at(float(from.x()), (float(from.y()) + toY) / 2));
        QTest::mouseMove(view, at(float(from.x()), toY));
        QTest::mouseRelease(view, Qt::LeftButton, {}, at(float(from.x()), toY));
    }
};

bool allRaysAt(const widgetReverb &v, QPointF p) {
    for (int k = 0; k < kReverbRays; ++k)
        if (v.rayPos(k)[0] != float(p.x()) || v.rayPos(k)[1] != float(p.y()) || v.rayPos(k)[2] != 0.0f) return false;
    return true;
}

}  // namespace

TEST(ReverbRays, StepAndReflection) {
    // The form's 287-pixel view covers 80 m; rays travel 10 m/s.
    const float step = reverbView_stepLength(287, 100);
    EXPECT_FLOAT_EQ(step, 3.5875f);
    EXPECT_FLOAT_EQ(reverbView_stepLength(287, 0), 0.0f);

    struct Case {
        const char *what;
        float pos, dir, step, lo, hi;
        float wantPos, wantDir;
    };
    const Case cases[] = {
        {"past the right wall", 286.0f, 1.0f, step, 0.0f, 287.0f, 284.4125f, -1.0f},
        {"past the left wall", 1.0f, -0.5f, 4.0f, 0.0f, 287.0f, 1.0f, 0.5f},
        {"past the top wall", 359.0f, 0.25f, 4.0f, 71.5f, 359.5f, 359.0f, -0.25f},
        {"past the bottom wall", 72.0f, -1.0f, 1.5f, 71.5f, 359.5f, 71.5f + 1.0f, 1.0f},
        {"exactly on the right wall", 280.0f, 1.0f, 7.0f, 0.0f, 287.0f, 287.0f, 1.0f},
        {"exactly on the left wall", 7.0f, -1.0f, 7.0f, 0.0f, 287.0f, 0.0f, -1.0f},
        {"inside", 100.0f, 0.5f, 2.0f, 0.0f, 287.0f, 101.0f, 0.5f},
    };
    for (const Case &c : cases) {
        float pos = c.pos, dir = c.dir;
        reverbView_advance(&pos, &dir, c.step, c.lo, c.hi);
        EXPECT_FLOAT_EQ(pos, c.wantPos) << c.what;
        EXPECT_EQ(dir, c.wantDir) << c.what;
    }
}

TEST(ReverbRays, DirectionsSpreadRoundTheCircleOffTheAxes) {
    float x, y;
    reverbView_rayDirection(0, &x, &y);
    EXPECT_FLOAT_EQ(x, float(std::cos(3.14159265358 / 1024)));
    EXPECT_GT(y, 0.0f);  // half a step above the x axis
    for (int k = 0; k < kReverbRays / 2; ++k) {
        float ox, oy;
        reverbView_rayDirection(k, &x, &y);
        reverbView_rayDirection(k + kReverbRays / 2, &ox, &oy);
        EXPECT_NEAR(x * x + y * y, 1.0f, 1e-6f) << k;
        EXPECT_NEAR(ox, -x, 1e-6f) << k;
        EXPECT_NEAR(oy, -y, 1e-6f) << k;
        EXPECT_NE(x, 0.0f) << k;
        EXPECT_NE(y, 0.0f) << k;
    }
}

TEST(ReverbView, ConstructionAndRoomSize) {
    View v;
    // Built before the form places it: a child widget's first size, 100 × 30.
    EXPECT_FLOAT_EQ(v.view->depthRatio(), 0.4f);
    EXPECT_FLOAT_EQ(v.view->behindRatio(), 0.5f);
    EXPECT_EQ(v.view->dragTarget(), -1);
    EXPECT_EQ(v.view->rayAlpha(), 1.0f);
    EXPECT_EQ(v.view->rayCountdown(), kReverbRayCycle);

    v.sizeRoom();
    EXPECT_EQ(v.view->roomLeft(), 0.0f);
    EXPECT_EQ(v.view->roomRight(), 287.0f);
    EXPECT_EQ(v.view->roomBottom(), 71.5f);
    EXPECT_EQ(v.view->roomTop(), 359.5f);
    EXPECT_EQ(v.view->roomWidePx(), 287.0f);
    EXPECT_EQ(v.view->roomLongPx(), 288.0f);
    EXPECT_TRUE(allRaysAt(*v.view, v.view->sourcePos()));

    v.view->setRoomWide(100);
    EXPECT_EQ(v.view->roomLeft(), 93.5f);
    EXPECT_EQ(v.view->roomRight(), 193.5f);

    // Shown: the points move to 4/5 and 1/5 of the view, the room's size
    // values take the whole view, the walls stay.
    ASSERT_TRUE(v.show());
    EXPECT_EQ(v.view->sourcePos(), QPointF(143.5, 4.0f * 431 / 5));
    EXPECT_EQ(v.view->listenerPos(), QPointF(143.5, 431.0f / 5));
    EXPECT_EQ(v.view->roomLongPx(), 431.0f);
    EXPECT_EQ(v.view->roomWidePx(), 287.0f);
    EXPECT_EQ(v.view->roomLeft(), 93.5f);
    EXPECT_EQ(v.view->roomTop(), 359.5f);
}

TEST(ReverbView, RaysBounceInsideTheRoomAndRestartAfter250Steps) {
    View v;
    ASSERT_TRUE(v.show());
    // Hidden again once the view has taken its shown size: the steps are
    // then computed without being painted, which the drawing test covers.
    v.window.hide();
    v.sizeRoom();
    const QPointF source = v.view->sourcePos();
    ASSERT_EQ(source, QPointF(143.5, 4.0f * 431 / 5));
    ASSERT_TRUE(allRaysAt(*v.view, source));

    float alpha = 1.0f;
    for (int step = 1; step < kReverbRayCycle; ++step) {
        v.view->calcPropagation(100);
        alpha = float(alpha * 0.99);
    }
    EXPECT_EQ(v.view->rayCountdown(), 1);
    EXPECT_EQ(v.view->rayAlpha(), alpha);
    EXPECT_FALSE(allRaysAt(*v.view, source));
    for (int k = 0; k < kReverbRays; ++k) {
        const float *p = v.view->rayPos(k);
        ASSERT_GE(p[0], 0.0f) << k;
        ASSERT_LE(p[0], 287.0f) << k;
        ASSERT_GE(p[1], 71.5f) << k;
        ASSERT_LE(p[1], 359.5f) << k;
        ASSERT_EQ(p[2], 0.0f) << k;
    }
    // The rays leaving straight along x have hit the side walls and turned.
    EXPECT_LT(v.view->rayDir(0)[0], 0.0f);

    // The 250th step is drawn, then the cycle starts again at the source.
    v.view->calcPropagation(100);
    EXPECT_TRUE(allRaysAt(*v.view, source));
    EXPECT_EQ(v.view->rayAlpha(), 1.0f);
    EXPECT_EQ(v.view->rayCountdown(), kReverbRayCycle);
    EXPECT_GT(v.view->rayDir(0)[0], 0.0f);

    v.view->calcPropagation(100);
    EXPECT_FALSE(allRaysAt(*v.view, source));
    v.view->resetPropPoint();
    EXPECT_TRUE(allRaysAt(*v.view, source));
    EXPECT_EQ(v.view->rayCountdown(), kReverbRayCycle);
}

TEST(ReverbView, DraggingThePointsSetsTheirRatios) {
    View v;
    ASSERT_TRUE(v.show());
    v.sizeRoom();  // the room 288 pixels long in the 431-pixel view: margin 71.5
    QSignalSpy reports(v.view, &widgetReverb::reverbParamChanged);

    const QPointF source = v.view->sourcePos();
    v.drag(source, 200.0f);
    ASSERT_EQ(reports.count(), 1);
    EXPECT_FLOAT_EQ(v.view->depthRatio(), (288.0f - (200.0f - 71.5f)) / 431.0f);
    EXPECT_NEAR(v.view->depthRatio(), 0.370, 0.0005);
    EXPECT_EQ(v.view->sourcePos(), QPointF(source.x(), 200.0));  // vertically only
    EXPECT_EQ(v.view->dragTarget(), -1);
    EXPECT_TRUE(allRaysAt(*v.view, v.view->sourcePos()));  // rays restart at the new place

    v.drag(v.view->listenerPos(), 100.0f);
    ASSERT_EQ(reports.count(), 2);
    EXPECT_FLOAT_EQ(v.view->behindRatio(), 28.5f / 431.0f);
    EXPECT_FLOAT_EQ(v.view->depthRatio(), (288.0f - (200.0f - 71.5f)) / 431.0f);

    // Above the far wall the depth turns negative; nothing clamps it.
    v.drag(v.view->sourcePos(), 420.0f);
    ASSERT_EQ(reports.count(), 3);
    EXPECT_LT(v.view->depthRatio(), 0.0f);

    // A press beside both pictures starts no drag.
    const QPointF listener = v.view->listenerPos();
    v.drag(QPointF(10, 200), 300.0f);
    EXPECT_EQ(reports.count(), 3);
    EXPECT_EQ(v.view->listenerPos(), listener);
    EXPECT_FLOAT_EQ(v.view->behindRatio(), 28.5f / 431.0f);
}

TEST(ReverbView, DrawsFloorPicturesAndRays) {
    View v;
    ASSERT_TRUE(v.show());
    v.sizeRoom();
    v.view->setRoomWide(200);  // walls at 43.5 and 243.5
    const QImage img = v.view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(img.size(), QSize(287, 431));
    auto pixelAt = [&](int x, int y) { return QColor(img.pixel(x, 431 - 1 - y)); };

    // Outside the side walls: the clear colour.
    EXPECT_EQ(pixelAt(10, 300), QColor::fromRgbF(0.8f, 0.8f, 0.8f));
    // Near the far wall, away from the source: the floor's dark colour.
    const QColor far = pixelAt(50, 355);
    EXPECT_NEAR(far.redF(), 0.574, 0.05);
    EXPECT_NEAR(far.blueF(), 0.004, 0.05);
    // The rays are drawn opaque over the source; the piano is under them.
    const QPointF s = v.view->sourcePos();
    EXPECT_EQ(pixelAt(int(s.x()), int(s.y())), QColor(Qt::black));
    // The listening point's picture sits at its centre.
    const QPointF l = v.view->listenerPos();
    const QColor mic = pixelAt(int(l.x()), int(l.y()));
    EXPECT_NE(mic, QColor::fromRgbF(0.8f, 0.8f, 0.8f));
}
