// Horizontal value bars on a logarithmic axis: a click or drag sets the end
// of the filled part and reports a value. WidgetQbar sets the Q of an
// equaliser band (0.1 to 16), widgetLevelbar the effect-send level of a
// channel strip (−60 dB to +21.6 dB). Both draw with fixed-function OpenGL:
// a dark blue track on black, filled from the left end with a bar shaded
// from its centre line to its edges.
//
// GUI thread only.
#pragma once

#include <QOpenGLWidget>

class QMouseEvent;

// The axis position (log10 of the value) for pointer x on a bar w pixels
// wide, held within min..max.
double valueBarPosition(double x, double width, double axisMin, double axisMax);

// The Q at an axis position, to one decimal: trunc((10^pos + 0.05)·10)/10.
double qBarValue(double barPos);

// The send level in whole dB at an axis position (log10 of a linear gain):
// trunc(20·pos), so −60 at the left end and 21 at the right.
int levelBarDb(double barPos);

// What both bars share: the axis, the shown position and the drawing.
class valueBarWidget : public QOpenGLWidget {
    Q_OBJECT

public:
    bool mActive = false;  // bright colours; the owner sets it and repaints

    double value() const { return mValue; }
    double barPos() const { return mBarPos; }
    double axisMin() const { return mAxisMin; }
    double axisMax() const { return mAxisMax; }

protected:
    valueBarWidget(QWidget *parent, double axisMin, double axisMax, double value);

    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

    // Shows value (whose log10 is the axis position) without a signal; the
    // bar itself stays within the axis.
    void showValue(double value);
    // The axis position under the event's pointer, stored as the bar's end.
    double takePointer(QMouseEvent *event);
    void setProjection();

    double mClearColor[3] = {0.5, 0.5, 0.5};
    double mValue;
    double mBarPos;
    double mAxisMin;
    double mAxisMax;
    float mPixelX = 0.0f;  // 1/width, 1/height
    float mPixelY = 0.0f;
};

// The Q bar of an equaliser band: axis log10 0.1 .. log10 16 (about 1.204).
class WidgetQbar : public valueBarWidget {
    Q_OBJECT

public:
    explicit WidgetQbar(QWidget *parent = nullptr);

    // Sets the bar's end from the pointer, the Q to one decimal, and reports
    // ten times the Q.
    void setQbarPoint(QMouseEvent *event);
    // Shows q without a signal.
    void setQvalue(double q);

signals:
    void qValueChanged(int tenTimesQ);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};

// The effect-send bar of a channel strip: axis log10 of a linear gain from
// −3 (−60 dB) to 1.08 (+21.6 dB). Starts empty: no send.
class widgetLevelbar : public valueBarWidget {
    Q_OBJECT

public:
    explicit widgetLevelbar(QWidget *parent = nullptr);

    // Sets the bar's end from the pointer and reports the level in whole dB.
    void setLevelbarPoint(QMouseEvent *event);
    // Shows a linear gain without a signal.
    void setLevel(double gain);

signals:
    void ValueChanged(int levelDb);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};
