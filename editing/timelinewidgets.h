// The one-colour OpenGL areas of the timeline windows: the wave area of a
// region strip (timelinewave), the cursor line (timebar) and timelineAll,
// which no window uses. Each fills its whole area with its colour; the wave
// area also reports its paints, resizes and presses, because the region
// strip lays out its region views and moves the cursor from them.
//
// GUI thread only. Fixed-function drawing in a 2.1 compatibility context.
#pragma once

#include <QOpenGLWidget>
#include <cstdint>

class QMouseEvent;

// What the three classes share: a unit drawing range and one fill colour.
class timelineFillGL : public QOpenGLWidget {
    Q_OBJECT
public:
    // red, green, blue out of 255.
    timelineFillGL(uint8_t red, uint8_t green, uint8_t blue, QWidget *parent);

    // The screen's pixel ratio when the widget was made.
    float initialPixelRatio() const { return mRatio; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

    // Hooks for the wave area's reports, after the projection is set and
    // after the fill is drawn.
    virtual void resized() {}
    virtual void painted_() {}

private:
    float mRatio = 1.0f;
    // The drawing range; nothing changes it.
    float mLeft = 0.0f, mRight = 1.0f, mBottom = 0.0f, mTop = 1.0f;
    uint8_t mColour[3];
};

// The wave area of a region strip, dark blue.
class timelinewave : public timelineFillGL {
    Q_OBJECT
public:
    explicit timelinewave(QWidget *parent = nullptr);

signals:
    void painted();             // after every paint
    void resizeTimeLineWave();  // after every resize, the projection already set
    void mousePressed(QMouseEvent *event);
    void mouseMoved(QMouseEvent *event);  // moves with a button held

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void resized() override;
    void painted_() override;
};

// The cursor line of the timeline windows, yellow.
class timebar : public timelineFillGL {
    Q_OBJECT
public:
    explicit timebar(QWidget *parent = nullptr);

signals:
    void painted();  // declared for owners; never emitted
};

class timelineAll : public timelineFillGL {
    Q_OBJECT
public:
    explicit timelineAll(QWidget *parent = nullptr);

signals:
    void painted();  // declared for owners; never emitted
};
