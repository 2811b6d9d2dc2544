#include "editing/timelinewidgets.h"

#include <GL/gl.h>

#include <QMouseEvent>

timelineFillGL::timelineFillGL(uint8_t red, uint8_t green, uint8_t blue, QWidget *parent)
    : QOpenGLWidget(parent), mRatio(static_cast<float>(devicePixelRatioF())) {
    mColour[0] = red;
    mColour[1] = green;
    mColour[2] = blue;
}

void timelineFillGL::initializeGL() {
    glClearColor(0.1f, 0.1f, 0.1f, 0.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 1.0, 0.0, 1.0, 0.0, 1.0);
}

void timelineFillGL::resizeGL(int w, int h) {
    // Qt hands over the size in logical pixels; the framebuffer has the
    // screen's ratio of them.
    const qreal r = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(w * r), static_cast<GLsizei>(h * r));
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(mLeft, mRight, mBottom, mTop, -1.0, 1.0);
    resized();
}

void timelineFillGL::paintGL() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glRasterPos2f(0.0f, 0.0f);
    glFlush();
    glColor3ub(mColour[0], mColour[1], mColour[2]);
    glBegin(GL_QUADS);
    glVertex2f(mLeft, mBottom);
    glVertex2f(mRight, mBottom);
    glVertex2f(mRight, mTop);
    glVertex2f(mLeft, mTop);
    glEnd();
    painted_();
}

// ---- timelinewave ----

timelinewave::timelinewave(QWidget *parent) : timelineFillGL(6, 15, 46, parent) {}

void timelinewave::mousePressEvent(QMouseEvent *event) { emit mousePressed(event); }

void timelinewave::mouseMoveEvent(QMouseEvent *event) {
    if (event->buttons() != Qt::NoButton) emit mouseMoved(event);
}

void timelinewave::resized() { emit resizeTimeLineWave(); }

void timelinewave::painted_() { emit painted(); }

// ---- timebar, timelineAll ----

timebar::timebar(QWidget *parent) : timelineFillGL(244, 250, 37, parent) {}

timelineAll::timelineAll(QWidget *parent) : timelineFillGL(66, 15, 46, parent) {}
