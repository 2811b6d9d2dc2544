// Knob tables and the step a vertical drag selects.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <cmath>
#include <set>
#include <vector>

#include "widgets/knobs.h"

namespace {

// The equaliser's total-gain knob: 360 steps from −18 dB, 0.1 dB resolution.
std::vector<tKnobStep> gainTable() {
    std::vector<tKnobStep> t(360);
    knobMakeTable(t.data(), 360, -18.0, 18.0, 10, kChangeLinear);
    return t;
}

TEST(KnobTable, EqualiserGainKnownValues) {
    const std::vector<tKnobStep> t = gainTable();
    EXPECT_EQ(t[0].value, -17.5);
    EXPECT_EQ(t[359].value, 18.4);
    // Raw rounding meets the truncation: values repeat and skip around 0 dB.
    const double around0[] = {-0.5, -0.3, -0.3, -0.1, -0.1, 0.0, 0.1, 0.1, 0.3, 0.3, 0.5};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(t[170 + i].value, around0[i]) << "step " << 170 + i;
    std::set<double> distinct;
    for (const tKnobStep &s : t) distinct.insert(s.value);
    EXPECT_EQ(distinct.size(), 299u);

    // Pointer: 225° at step 0, straight up at the middle step, on a radius of 0.8.
    EXPECT_NEAR(t[0].x, 0.8 * std::cos(1.25 * M_PI), 1e-12);
    EXPECT_NEAR(t[0].y, 0.8 * std::sin(1.25 * M_PI), 1e-12);
    EXPECT_NEAR(t[180].x, 0.0, 1e-12);
    EXPECT_NEAR(t[180].y, 0.8, 1e-12);
}

TEST(KnobTable, LogarithmicSteps) {
    std::vector<tKnobStep> t(100);
    knobMakeTable(t.data(), 100, 20.0, 20000.0, 1, kChangeLog);
    EXPECT_EQ(t[0].value, 25.0);  // 20 + 5, truncated
    for (int i = 1; i < 100; ++i) EXPECT_GE(t[i].value, t[i - 1].value) << i;
    // One step short of the upper limit: 20·10^2.97 = 18665.09, plus 5.
    EXPECT_EQ(t[99].value, 18670.0);
}

TEST(KnobStepper, SetValueFindsTheFirstStepAtOrAbove) {
    knobStepper k;
    ASSERT_TRUE(k.prepare(360, -18.0, 18.0, 10, kChangeLinear));
    k.setValue(0.0);
    EXPECT_EQ(k.step(), 175);
    EXPECT_EQ(k.value(), 0.0);
    k.setValue(-0.2);
    EXPECT_EQ(k.step(), 173);  // −0.1, the first at or above
    k.setValue(19.0);          // beyond the table: stays
    EXPECT_EQ(k.step(), 173);
    k.setValue(-40.0);
    EXPECT_EQ(k.step(), 0);

    // A smaller table keeps the step inside it.
    k.setValue(18.0);
    ASSERT_TRUE(k.prepare(10, 0.0, 10.0, 1, kChangeLinear));
    EXPECT_EQ(k.step(), 9);
}

TEST(KnobStepper, WithoutATableEverythingStaysZero) {
    knobStepper k;
    EXPECT_EQ(k.value(), 0.0);
    k.setValue(3.0);
    k.press(100);
    EXPECT_TRUE(k.move(50));
    EXPECT_EQ(k.step(), 0);
    EXPECT_EQ(k.value(), 0.0);
    EXPECT_FALSE(k.prepare(0, -18.0, 18.0, 10, kChangeLinear));
    EXPECT_EQ(k.value(), 0.0);
}

void sendMouse(QWidget *w, QEvent::Type type, double y) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const QPointF local(10.0, y);
    QMouseEvent e(type, local, w->mapToGlobal(local), button, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Both knob widgets share the drag rule.
template <typename T>
class KnobDrag : public ::testing::Test {};
using KnobTypes = ::testing::Types<widget_knob, knobGL>;
TYPED_TEST_SUITE(KnobDrag, KnobTypes);

TYPED_TEST(KnobDrag, OneStepPerPixelWithinTheTable) {
    TypeParam knob;
    knob.resize(64, 64);
    QSignalSpy changed(&knob, &TypeParam::valueChanged);

    // Before any table: moves report, but the value stays 0.
    sendMouse(&knob, QEvent::MouseButtonPress, 300.0);
    sendMouse(&knob, QEvent::MouseMove, 250.0);
    sendMouse(&knob, QEvent::MouseButtonRelease, 250.0);
    EXPECT_EQ(knob.getValueDB(), 0.0);
    EXPECT_EQ(changed.count(), 1);

    knob.prepareKnobTable(360, -18.0, 18.0, 10, kChangeLinear);
    knob.setKnobValue(-40.0);
    ASSERT_EQ(knob.step(), 0);

    // Up 10.4 pixels (rounded to 10), then 400 more: held at the last step.
    sendMouse(&knob, QEvent::MouseButtonPress, 500.0);
    sendMouse(&knob, QEvent::MouseMove, 489.6);
    EXPECT_EQ(knob.step(), 10);
    sendMouse(&knob, QEvent::MouseMove, 89.6);
    EXPECT_EQ(knob.step(), 359);
    EXPECT_EQ(knob.getValueDB(), 18.4);
    // Further up at the end still reports.
    sendMouse(&knob, QEvent::MouseMove, 50.0);
    EXPECT_EQ(knob.step(), 359);
    // Down past the start: held at 0.
    sendMouse(&knob, QEvent::MouseMove, 1000.0);
    EXPECT_EQ(knob.step(), 0);
    sendMouse(&knob, QEvent::MouseButtonRelease, 1000.0);
    EXPECT_EQ(changed.count(), 5);

    // No press, no change.
    sendMouse(&knob, QEvent::MouseMove, 0.0);
    EXPECT_EQ(knob.step(), 0);
    EXPECT_EQ(changed.count(), 5);
}

TEST(KnobGL, CreatableByTypeName) {
    QWidget parent;
    QObject *obj = knobGL::staticMetaObject.newInstance(Q_ARG(QWidget *, &parent));
    ASSERT_NE(qobject_cast<knobGL *>(obj), nullptr);
    EXPECT_EQ(obj->parent(), &parent);
}

}  // namespace
