// The equaliser graph on a screen of device pixel ratio 2: the "@2x" band
// pictures, centred on their points like the normal ones.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "mixer/widgeteq.h"

namespace {

// Before main() makes the application: every screen at twice the scale.
const bool kScaled = [] {
    qputenv("QT_SCALE_FACTOR", "2");
    return true;
}();

// The box of coloured pixels (not black, not the grid's greys) in img, within r.
QRect litBox(const QImage &img, const QRect &r) {
    QRect box;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = img.pixel(x, y);
            const int hi = std::max({qRed(c), qGreen(c), qBlue(c)});
            const int lo = std::min({qRed(c), qGreen(c), qBlue(c)});
            if (hi - lo > 40) box |= QRect(x, y, 1, 1);
        }
    return box;
}

TEST(EqGraphScaled, DoubleSizePicturesCentredOnTheirPoints) {
    ASSERT_TRUE(kScaled);
    constexpr int kW = 670, kH = 260;
    QWidget window;
    window.resize(kW + 20, kH + 20);
    widgetEq graph(&window);
    graph.setGeometry(10, 10, kW, kH);
    graph.setSampleRate(44100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(graph.devicePixelRatioF(), 2.0);

    // One point away from every grid line: 13.5 kHz at −9 dB.
    const double hz = 13500.0, dB = -9.0;
    for (int i = 0; i < kEqGraphBands; ++i) {
        graph.mBandPoint[i] = {hz, dB, std::log10(hz)};
        graph.mPointLit[i] = true;
    }
    graph.mEqOn = true;
    // The offsets follow the picture set at a resize after the set is chosen.
    graph.grabFramebuffer();
    EXPECT_EQ(graph.mPointSet, 1);
    graph.resize(kW, kH - 10);
    graph.grabFramebuffer();
    graph.resize(kW, kH);
    const QImage img = graph.grabFramebuffer();
    ASSERT_EQ(img.size(), QSize(2 * kW, 2 * kH));
    const QImage &picture = graph.mPointImage[1][0][0];
    ASSERT_EQ(picture.size(), QSize(48, 48));

    // Device pixels of the point; the picture's drawn disc lies around it.
    const double px = (std::log10(hz) - kEqViewLeft) / (kEqAxisTopNormal - kEqViewLeft) * 2 * kW;
    const double py = (kEqViewTop - dB) / kEqViewHeight * 2 * kH;
    const QRect box =
        litBox(img, QRect(static_cast<int>(px) - 60, static_cast<int>(py) - 60, 120, 120).intersected(img.rect()));
    ASSERT_FALSE(box.isEmpty());
    EXPECT_LE(box.width(), 48);
    // Within a few screen pixels of centred (the offsets are computed on the
    // grid's span, not the view's), not a whole picture off.
    EXPECT_NEAR(box.center().x(), px, 6);
    EXPECT_NEAR(box.center().y(), py, 8);
}

}  // namespace
