// Rotary knobs whose positions are the steps of a precomputed table; a
// vertical drag moves the knob one step per pixel (upwards raises it).
// widget_knob is a plain widget, knobGL the same control on an OpenGL
// surface; neither draws anything of its own: the owner draws the pointer
// from the value.
//
// GUI thread only.
#pragma once

#include <QOpenGLWidget>
#include <QWidget>
#include <memory>

class QMouseEvent;

// The scale of a knob table.
enum tChangeType : int {
    kChangeLinear = 0,
    kChangeLog = 1,  // any nonzero value
};

// One step: the pointer's end on a unit dial (x, y) and the step's value.
struct tKnobStep {
    double x;
    double y;
    double value;
};

// Fills count steps over lower..upper, the last one a step short of upper;
// resolution is positive, and lower positive for a logarithmic table.
// The pointer starts at 225° and turns clockwise by 270°·i/count. Values are
// quantised to 1/resolution by trunc(raw·resolution + 5)/resolution, which
// puts them about half a step of the resolution above the raw value (and
// makes neighbouring steps repeat or skip a value).
void knobMakeTable(tKnobStep *table, int count, double lower, double upper, int resolution, tChangeType change);

// The table and the step of one knob, with the drag rule. Without a table
// the step and the value stay 0.
class knobStepper {
public:
    // A new table replaces the old; false (and no table) when count is not
    // positive or the table cannot be allocated.
    bool prepare(int count, double lower, double upper, int resolution, tChangeType change);
    // The first step whose value is at or above value; when none is, the
    // step stays.
    void setValue(double value);
    double value() const;
    int step() const { return mStep; }
    int stepCount() const { return mStepCount; }
    const tKnobStep *table() const { return mKnobTable.get(); }

    void press(int y);
    // Applies a drag to pointer y; false when no press is in progress.
    bool move(int y);
    void release() { mPressed = false; }

private:
    int mStep = 0;
    std::unique_ptr<tKnobStep[]> mKnobTable;
    int mStepCount = 0;
    int mLastY = 0;  // the pointer's y at the previous event of a drag
    bool mPressed = false;
};

class widget_knob : public QWidget {
    Q_OBJECT

public:
    explicit widget_knob(QWidget *parent = nullptr);

    void prepareKnobTable(int count, double lower, double upper, int resolution, tChangeType change);
    void setKnobValue(double value) { mKnob.setValue(value); }
    double getValueDB() const { return mKnob.value(); }
    int step() const { return mKnob.step(); }

signals:
    // Every drag movement, whether or not the step changed.
    void valueChanged();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    knobStepper mKnob;
};

// No form creates it; the constructor is invokable so that the widget type
// registry can create it by name.
class knobGL : public QOpenGLWidget {
    Q_OBJECT

public:
    Q_INVOKABLE explicit knobGL(QWidget *parent = nullptr);

    void prepareKnobTable(int count, double lower, double upper, int resolution, tChangeType change);
    void setKnobValue(double value) { mKnob.setValue(value); }
    double getValueDB() const { return mKnob.value(); }
    int step() const { return mKnob.step(); }

signals:
    void valueChanged();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    knobStepper mKnob;
};
