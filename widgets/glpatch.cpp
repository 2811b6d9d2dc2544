#include "widgets/glpatch.h"

#include <GL/gl.h>

namespace {

// Both pictures draw in a unit square from the bottom left.
void unitProjection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 1.0, 0.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void initUnitView() {
    glClearColor(0.8f, 0.8f, 0.8f, 1.0f);
    unitProjection();
}

}  // namespace

WidgetMark::WidgetMark(QWidget *parent) : QOpenGLWidget(parent) {}

void WidgetMark::setColor(double red, double green, double blue) {
    mColor[0] = red;
    mColor[1] = green;
    mColor[2] = blue;
    update();
}

void WidgetMark::initializeGL() { initUnitView(); }

void WidgetMark::resizeGL(int w, int h) {
    glViewport(0, 0, w, h);
    unitProjection();
}

void WidgetMark::paintGL() {
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3d(mColor[0], mColor[1], mColor[2]);
    glBegin(GL_QUADS);
    glVertex2d(0.0, 0.0);
    glVertex2d(1.0, 0.0);
    glVertex2d(1.0, 1.0);
    glVertex2d(0.0, 1.0);
    glEnd();
    glFlush();
}

// ---- testGraphic ----

testGraphic::testGraphic(QWidget *parent) : QOpenGLWidget(parent) {}

void testGraphic::mousePressEvent(QMouseEvent *) {
    mColor[0] = 0.0;
    mColor[1] = 0.8;
    mColor[2] = 0.2;
    update();
}

void testGraphic::mouseMoveEvent(QMouseEvent *) { update(); }

void testGraphic::initializeGL() { initUnitView(); }

void testGraphic::resizeGL(int w, int h) {
    glViewport(0, 0, w, h);
    unitProjection();
}

void testGraphic::paintGL() {
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3d(mColor[0], mColor[1], mColor[2]);
    glBegin(GL_QUADS);
    glVertex2d(0.1, 0.1);
    glVertex2d(0.9, 0.1);
    glVertex2d(0.9, 0.9);
    glVertex2d(0.1, 0.9);
    glEnd();
    glColor3d(0.1, 0.1, 0.1);
    glBegin(GL_TRIANGLES);
    glVertex2d(0.3, 0.3);
    glVertex2d(0.7, 0.5);
    glVertex2d(0.3, 0.7);
    glEnd();
    glFlush();
}
