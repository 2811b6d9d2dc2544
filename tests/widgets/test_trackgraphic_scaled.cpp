// The track view on a screen of device pixel ratio 2: the picture set, the
// frame and its caches at device pixels, the pointer in logical pixels.
#include <QScreen>

#include "trackviewfixture.h"

using namespace sxtest;

namespace {

// Before main() makes the application: every screen at twice the scale.
const bool kScaled = [] {
    qputenv("QT_SCALE_FACTOR", "2");
    return true;
}();

}  // namespace

TEST_F(TrackViewTest, DrawsAtDevicePixelsWithTheDoubleSizePictures) {
    ASSERT_TRUE(kScaled);
    ASSERT_EQ(view->devicePixelRatioF(), 2.0);
    resizeView(kW, 420);  // the 2x cursor picture is 368 device pixels tall
    pictureScene();
    const QImage img = frame();
    ASSERT_EQ(img.size(), QSize(2 * kW, 2 * 420));

    EXPECT_EQ(handleBox(img, 0.25).size(),
              opaqueBox(QStringLiteral(":/resources2/parts/point_BlueFlat_off@2x.png")).size());
    EXPECT_NEAR(boxOf(img, img.rect(), yellowish).width(),
                yellowWidth(QStringLiteral(":/resources2/parts/playCursor@2x.png")), 1);
    // The edit lines are one device pixel wide where the projection puts them.
    const QPoint in = at(img, 0.25, 0.25);
    EXPECT_TRUE(img.pixel(in) == qRgb(255, 255, 255) || img.pixel(in - QPoint(1, 0)) == qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(in + QPoint(2, 0)), qRgb(6, 15, 46));
    EXPECT_EQ(img.pixel(in - QPoint(3, 0)), qRgb(6, 15, 46));
}

TEST_F(TrackViewTest, CursorOnlyRepaintAtDevicePixels) {
    owner.fill(1, 400, 40000, [](int, int c, int64_t e) { return (0.3 + 0.4 * c) * (1.0 + std::sin(e * 0.07)) / 2.0; });
    view->setWaveForm(&owner.params);
    view->setCursorTypePng(false);
    view->lineCurrentPosition(0.3);
    const QImage before = frame();
    for (auto &v : owner.upper[0]) v = 0.0;
    view->lineCurrentPosition(0.6);
    const QImage after = frame();

    const int oldX = at(before, 0.3, 0).x(), newX = at(before, 0.6, 0).x();
    int differing = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (std::abs(x - oldX) > 3 && std::abs(x - newX) > 3 && !near(before.pixel(x, y), after.pixel(x, y), 2))
                ++differing;
    EXPECT_EQ(differing, 0);
}

TEST_F(TrackViewTest, PointerWorksInLogicalPixels) {
    owner.fill(1, 400, 40000, [](int, int, int64_t) { return 0.0; });
    owner.params.columns = 100;
    view->setWaveForm(&owner.params);
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.5, 0.1));
    EXPECT_DOUBLE_EQ(view->mCursorPosition, 0.5);
    EXPECT_DOUBLE_EQ(view->mClickPosition, 0.125);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.5, 0.1));
}

TEST(TrackViewRatio, ScreenRatioAboveTheInitialOneKeepsTheCachesWhole) {
    // The owner never told the view its ratio (initial ratio 1 on a 2x
    // screen): the view resizes itself for half the size at the first paint,
    // but its caches must still hold the whole device-pixel frame.
    TrackOwner owner;
    owner.fill(1, 400, 40000, [](int, int, int64_t e) { return 0.5 + 0.4 * std::sin(e * 0.1); });
    trackGraphic view;
    view.resize(420, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.setGLenable(true);
    view.setWaveForm(&owner.params);
    view.setCursorTypePng(false);
    const QImage full = view.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    view.lineCurrentPosition(0.9);
    const QImage cursorOnly = view.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(full.size(), QSize(840, 400));
    // The frame's top-left and bottom-right come back from the cache.
    EXPECT_TRUE(near(full.pixel(100, 100), cursorOnly.pixel(100, 100)));
    EXPECT_TRUE(near(full.pixel(700, 350), cursorOnly.pixel(700, 350)));
}
