#include "meter/drawingmeterwidget.h"

#include <QMouseEvent>
#include <QOpenGLContext>

#include "trace/debugclient.h"

namespace {

const GLubyte kQuadIndices[4] = {0, 1, 2, 3};

// Pixel coordinates with the origin at the bottom left.
void setPixelProjection(QOpenGLWidget *widget, int w, int h) {
    const qreal ratio = widget->devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(w * ratio), static_cast<GLsizei>(h * ratio));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, w, 0.0, h, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void fillQuad(const float (*vertices)[2], const float *rgb) {
    glColor3fv(rgb);
    glVertexPointer(2, GL_FLOAT, 0, vertices);
    glDrawElements(GL_QUADS, 4, GL_UNSIGNED_BYTE, kQuadIndices);
}

}  // namespace

drawingMeterWidget::drawingMeterWidget(QWidget *parent) : QOpenGLWidget(parent) {
    // The peak lines are placed on bar 0's scale, which must make sense
    // before the first paint (an owner may feed a meter it never shows).
    setSize(width(), height());
    rebuildMeterTable();
}

void drawingMeterWidget::setHorizontal(bool horizontal) {
    mHorizontal = horizontal;
    mAxis = horizontal ? 0 : 1;
}

void drawingMeterWidget::resizeManual(int w, int h) {
    const bool gl = context() != nullptr;
    if (gl) makeCurrent();
    resizeGL(w, h);
    if (gl) doneCurrent();
}

void drawingMeterWidget::setSize(int w, int h) {
    mWidth = w;
    mHeight = h;
    for (int k = 0; k < kMeterScalePoints; ++k) mScalePos[k] = gMainMeterPosiTableOrigin[k] * static_cast<float>(w);
}

void drawingMeterWidget::rebuildMeterTable() {
    mBarLength = static_cast<float>(mHorizontal ? mWidth : mHeight);
    mBarThickness = static_cast<float>(mHorizontal ? mHeight : mWidth);
    const int along = mAxis;
    const int across = 1 - mAxis;
    for (int k = 0; k < kMeterQuads; ++k) {
        const float from = gMainMeterPosiTableOrigin[k] * mBarLength;
        const float to = gMainMeterPosiTableOrigin[k + 1] * mBarLength;
        mQuad[k][0][along] = from;
        mQuad[k][1][along] = to;
        mQuad[k][2][along] = to;
        mQuad[k][3][along] = from;
        mQuad[k][0][across] = mBarThickness;
        mQuad[k][1][across] = mBarThickness;
        mQuad[k][2][across] = 0.0f;
        mQuad[k][3][across] = 0.0f;
    }
    mPartialQuad[0][across] = mBarThickness;
    mPartialQuad[1][across] = mBarThickness;
    mPartialQuad[2][across] = 0.0f;
    mPartialQuad[3][across] = 0.0f;
}

void drawingMeterWidget::initializeGL() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    setPixelProjection(this, width(), height());
    setSize(width(), height());
}

void drawingMeterWidget::resizeGL(int w, int h) {
    if (QOpenGLContext::currentContext()) setPixelProjection(this, w, h);
    setSize(w, h);
    rebuildMeterTable();
    if (DebugClient::sDebugLevel > 9)
        DebugClient::SendTrace(QString("resize meter : %1,%2").arg(w).arg(h), "MAIN", 10, __FILE__, __LINE__,
                               "resizeGL");
}

void drawingMeterWidget::paintGL() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!mConnected || mChannel < 0 || mChannel > 1) return;

    const int ch = mChannel;
    glEnableClientState(GL_VERTEX_ARRAY);
    if (!mReverse) {
        for (int k = 0; k <= kMeterTopSegment; ++k) {
            if (mSegmentOn[k][ch]) {
                fillQuad(mQuad[k], gMeterColour[k]);
                continue;
            }
            if (k >= 1) {
                const float from = gMainMeterPosiTableOrigin[k] * mBarLength;
                const float span = (gMainMeterPosiTableOrigin[k + 1] - gMainMeterPosiTableOrigin[k]) * mBarLength *
                                   static_cast<float>(mFraction[ch]);
                mPartialQuad[0][mAxis] = from;
                mPartialQuad[1][mAxis] = from + span;
                mPartialQuad[2][mAxis] = from + span;
                mPartialQuad[3][mAxis] = from;
                fillQuad(mPartialQuad, gMeterColour[k]);
            }
            break;
        }
    } else {
        for (int k = kMeterOverLevel; k >= 0; --k) {
            if (!mSegmentOn[k][ch]) fillQuad(mQuad[k], gMeterColour[k]);
        }
    }

    const double p = mPeakPos[ch];
    if (p != 0.0) {
        float line[2][2];
        if (mHorizontal) {
            line[0][0] = line[1][0] = static_cast<float>(p);
            line[0][1] = static_cast<float>(mHeight);
            line[1][1] = 0.0f;
        } else {
            // The position is in pixels of the width; scale it to the height.
            line[0][1] = line[1][1] = static_cast<float>(mHeight * p / mWidth);
            line[0][0] = static_cast<float>(mWidth);
            line[1][0] = 0.0f;
        }
        glColor4dv(mPeakColor[ch]);
        glVertexPointer(2, GL_FLOAT, 0, line);
        glDrawArrays(GL_LINES, 0, 2);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
}

void drawingMeterWidget::mousePressEvent(QMouseEvent *) { emit mousePressed(); }

drawingOverWidget::drawingOverWidget(QWidget *parent) : QOpenGLWidget(parent) {
    mWidth = width();
    mHeight = height();
}

void drawingOverWidget::initializeGL() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    setPixelProjection(this, width(), height());
    mWidth = width();
    mHeight = height();
}

void drawingOverWidget::resizeGL(int w, int h) {
    setPixelProjection(this, w, h);
    mWidth = w;
    mHeight = h;
}

void drawingOverWidget::paintGL() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (!mConnected || mChannel < 0 || mChannel > 1 || !mOver[mChannel]) return;
    const float lamp[4][2] = {{0.0f, static_cast<float>(mHeight)},
                              {static_cast<float>(mWidth), static_cast<float>(mHeight)},
                              {static_cast<float>(mWidth), 0.0f},
                              {0.0f, 0.0f}};
    glEnableClientState(GL_VERTEX_ARRAY);
    fillQuad(lamp, gMeterOverColour);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void drawingOverWidget::mousePressEvent(QMouseEvent *) { emit mousePressed(); }
