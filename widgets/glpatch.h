// Two plain GL pictures with the same set-up (a unit square, cleared to
// light grey): a colour patch and a test picture. No form creates them; they
// are reachable through the widget type registry.
#pragma once

#include <QOpenGLWidget>

class QMouseEvent;

// A patch of one colour.
class WidgetMark : public QOpenGLWidget {
    Q_OBJECT
public:
    Q_INVOKABLE explicit WidgetMark(QWidget *parent = nullptr);

    // Colour components 0..1; repaints.
    void setColor(double red, double green, double blue);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    // Until setColor the patch shows the grey it is cleared to.
    double mColor[3] = {0.8, 0.8, 0.8};
};

// A square in a colour with a dark triangle over it; a press turns the
// square green.
class testGraphic : public QOpenGLWidget {
    Q_OBJECT
public:
    Q_INVOKABLE explicit testGraphic(QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    double mColor[3] = {0.5, 0.5, 0.5};
};
