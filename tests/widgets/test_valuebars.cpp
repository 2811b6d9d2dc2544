// The Q bar and the send-level bar: pointer to value, the reported integers
// and the filled part on screen.
#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "widgets/valuebars.h"

namespace {

TEST(ValueBarArithmetic, PointerToAxisAndValues) {
    EXPECT_EQ(valueBarPosition(-4.0, 200.0, -1.0, 1.204), -1.0);
    EXPECT_EQ(valueBarPosition(0.0, 200.0, -1.0, 1.204), -1.0);
    EXPECT_DOUBLE_EQ(valueBarPosition(200.0, 200.0, -1.0, 1.204), 1.204);
    EXPECT_EQ(valueBarPosition(250.0, 200.0, -1.0, 1.204), 1.204);
    EXPECT_DOUBLE_EQ(valueBarPosition(50.0, 200.0, -3.0, 1.0), -2.0);

    const struct {
        double pos, q;
    } qs[] = {{-1.0, 0.1}, {1.204, 16.0}, {0.0, 1.0}, {std::log10(0.9), 0.9}, {std::log10(2.449), 2.4}};
    for (const auto &c : qs) EXPECT_DOUBLE_EQ(qBarValue(c.pos), c.q) << c.pos;

    const struct {
        double pos;
        int dB;
    } levels[] = {{-3.0, -60}, {1.08, 21}, {0.0, 0}, {-0.52, -10}, {-0.049, 0}, {0.3, 6}};
    for (const auto &c : levels) EXPECT_EQ(levelBarDb(c.pos), c.dB) << c.pos;
}

class BarsOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(260, 80);
        qbar = new WidgetQbar(&window);
        qbar->setGeometry(10, 10, 200, 20);
        level = new widgetLevelbar(&window);
        level->setGeometry(10, 40, 80, 22);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QWidget window;
    WidgetQbar *qbar = nullptr;
    widgetLevelbar *level = nullptr;
};

TEST_F(BarsOnScreen, QBarEndsAndDrag) {
    EXPECT_EQ(qbar->value(), 0.9);
    EXPECT_EQ(qbar->barPos(), -0.045757490560675115);
    QSignalSpy spy(qbar, &WidgetQbar::qValueChanged);
    QTest::mouseClick(qbar, Qt::LeftButton, {}, QPoint(0, 10));
    QTest::mouseClick(qbar, Qt::LeftButton, {}, QPoint(200, 10));
    QTest::mouseClick(qbar, Qt::LeftButton, {}, QPoint(-7, 10));
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 160);
    EXPECT_EQ(spy.at(2).at(0).toInt(), 1);
    EXPECT_EQ(qbar->value(), 0.1);

    // A drag with the button held reports; a move without it does not.
    QTest::mousePress(qbar, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseMove(qbar, QPoint(100, 10));
    QTest::mouseRelease(qbar, Qt::LeftButton, {}, QPoint(100, 10));
    QTest::mouseMove(qbar, QPoint(150, 10));
    ASSERT_EQ(spy.count(), 5);
    EXPECT_EQ(spy.at(4).at(0).toInt(), static_cast<int>(qBarValue(0.102) * 10.0));

    // setQvalue shows without reporting.
    qbar->setQvalue(4.0);
    EXPECT_EQ(qbar->value(), 4.0);
    EXPECT_DOUBLE_EQ(qbar->barPos(), std::log10(4.0));
    EXPECT_EQ(spy.count(), 5);
}

TEST_F(BarsOnScreen, LevelBarReportsWholeDecibels) {
    QSignalSpy spy(level, &widgetLevelbar::ValueChanged);
    QTest::mouseClick(level, Qt::LeftButton, {}, QPoint(0, 10));
    QTest::mouseClick(level, Qt::LeftButton, {}, QPoint(80, 10));
    QTest::mouseClick(level, Qt::LeftButton, {}, QPoint(59, 10));  // pos 0.0105: 0 dB
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toInt(), -60);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 21);
    EXPECT_EQ(spy.at(2).at(0).toInt(), 0);
    // The value kept is the linear gain of the position.
    EXPECT_DOUBLE_EQ(level->value(), std::pow(10.0, level->barPos()));

    // setLevel takes a linear gain; silence shows an empty bar.
    level->setLevel(0.5);
    EXPECT_DOUBLE_EQ(level->barPos(), std::log10(0.5));
    level->setLevel(0.0);
    EXPECT_EQ(level->barPos(), level->axisMin());
    EXPECT_EQ(spy.count(), 3);
}

TEST_F(BarsOnScreen, FillEndsAtTheBarPosition) {
    // Q 1.0 sits at 1/2.204 of the axis.
    qbar->setQvalue(1.0);
    const QImage idle = qbar->grabFramebuffer();
    const int end = static_cast<int>(200.0 * 1.0 / 2.204);
    const QColor fill = idle.pixelColor(end - 6, 10);
    const QColor track = idle.pixelColor(end + 6, 10);
    EXPECT_NEAR(fill.blue(), 255, 8);  // dim fill, centre colour 0.13, 0.28, 1.0
    EXPECT_NEAR(fill.green(), 72, 8);
    EXPECT_NEAR(track.red(), 5, 3);  // dark blue track
    EXPECT_NEAR(track.green(), 39, 3);
    EXPECT_NEAR(track.blue(), 102, 3);
    EXPECT_EQ(idle.pixelColor(100, 0), QColor(0, 0, 0));  // black frame row
    // Shaded: the edge of the fill is darker than its centre line.
    EXPECT_LT(idle.pixelColor(end - 6, 1).blue(), fill.blue() - 60);

    qbar->mActive = true;
    const QColor bright = qbar->grabFramebuffer().pixelColor(end - 6, 10);
    EXPECT_NEAR(bright.red(), 105, 8);  // 0.41, 0.72, 0.92
    EXPECT_NEAR(bright.green(), 183, 8);

    // The send bar starts empty.
    const QImage empty = level->grabFramebuffer();
    EXPECT_NEAR(empty.pixelColor(3, 11).blue(), 102, 3);
}

}  // namespace
