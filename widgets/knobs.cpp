#include "widgets/knobs.h"

#include <QMouseEvent>
#include <cmath>
#include <new>

namespace {

constexpr double kStartAngle = 3.9269908169872414;  // 225°, radians
constexpr double kPi = 3.141592653589793;
constexpr double kPointerRadius = 0.8;

int roundedPixel(qreal v) { return static_cast<int>(std::lround(v)); }

}  // namespace

void knobMakeTable(tKnobStep *table, int count, double lower, double upper, int resolution, tChangeType change) {
    const double logLower = std::log10(lower);
    const double logSpan = std::log10(upper / lower);
    for (int i = 0; i < count; ++i) {
        const double theta = kStartAngle - 6.0 * kPi * i / (4.0 * count);
        const double raw = change == kChangeLinear ? i * (upper - lower) / count + lower
                                                   : std::pow(10.0, i * logSpan / count + logLower);
        table[i].x = kPointerRadius * std::cos(theta);
        table[i].y = kPointerRadius * std::sin(theta);
        table[i].value = std::trunc(raw * resolution + 5) / resolution;
    }
}

bool knobStepper::prepare(int count, double lower, double upper, int resolution, tChangeType change) {
    mKnobTable.reset();
    mStepCount = 0;
    if (count > 0) mKnobTable.reset(new (std::nothrow) tKnobStep[count]);
    if (!mKnobTable) {
        mStep = 0;
        return false;
    }
    knobMakeTable(mKnobTable.get(), count, lower, upper, resolution, change);
    mStepCount = count;
    // The step is kept across tables (owners set the value again anyway),
    // but never beyond the new table's end.
    if (mStep > count - 1) mStep = count - 1;
    return true;
}

void knobStepper::setValue(double value) {
    for (int i = 0; i < mStepCount; ++i) {
        if (mKnobTable[i].value >= value) {
            mStep = i;
            return;
        }
    }
}

double knobStepper::value() const { return mStepCount > 0 ? mKnobTable[mStep].value : 0.0; }

void knobStepper::press(int y) {
    mPressed = true;
    mLastY = y;
}

bool knobStepper::move(int y) {
    if (!mPressed) return false;
    // Compute in 64 bits: a far drag must not overflow the step.
    long long step = static_cast<long long>(mStep) + mLastY - y;
    if (step > mStepCount - 1) step = mStepCount - 1;
    if (step < 0) step = 0;
    mStep = static_cast<int>(step);
    mLastY = y;
    return true;
}

widget_knob::widget_knob(QWidget *parent) : QWidget(parent) {}

void widget_knob::prepareKnobTable(int count, double lower, double upper, int resolution, tChangeType change) {
    mKnob.prepare(count, lower, upper, resolution, change);
}

void widget_knob::mousePressEvent(QMouseEvent *event) { mKnob.press(roundedPixel(event->position().y())); }

void widget_knob::mouseMoveEvent(QMouseEvent *event) {
    if (mKnob.move(roundedPixel(event->position().y()))) emit valueChanged();
}

void widget_knob::mouseReleaseEvent(QMouseEvent *) { mKnob.release(); }

knobGL::knobGL(QWidget *parent) : QOpenGLWidget(parent) {}

void knobGL::prepareKnobTable(int count, double lower, double upper, int resolution, tChangeType change) {
    mKnob.prepare(count, lower, upper, resolution, change);
}

void knobGL::mousePressEvent(QMouseEvent *event) { mKnob.press(roundedPixel(event->position().y())); }

void knobGL::mouseMoveEvent(QMouseEvent *event) {
    if (mKnob.move(roundedPixel(event->position().y()))) emit valueChanged();
}

void knobGL::mouseReleaseEvent(QMouseEvent *) { mKnob.release(); }
