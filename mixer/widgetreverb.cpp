#include "mixer/widgetreverb.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <algorithm>
#include <cmath>

namespace {

const char *const kSourcePicture = ":/resources2/parts/piano.png";
const char *const kListenerPicture = ":/resources2/parts/mic.png";

// Floor colours: bright at the source, dark at the walls.
const GLfloat kFloorNear[3] = {0.90625f, 0.69140625f, 0.47265625f};
const GLfloat kFloorFar[3] = {0.57421875f, 0.33984375f, 0.00390625f};

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

// glDrawPixels wants RGBA bytes with the bottom row first.
QImage toGlPixels(const QImage &picture) { return picture.convertToFormat(QImage::Format_RGBA8888).mirrored(); }

// One quadrilateral of the floor, bright at its first corner (the source).
void floorQuad(const float *source, float x1, float y1, float x2, float y2, float x3, float y3) {
    glColor3fv(kFloorNear);
    glVertex2f(source[0], source[1]);
    glColor3fv(kFloorFar);
    glVertex2f(x1, y1);
    glVertex2f(x2, y2);
    glVertex2f(x3, y3);
}

}  // namespace

void reverbView_rayDirection(int k, float *x, float *y) {
    const double pi = 3.14159265358;
    const float theta = static_cast<float>(k * pi / 512.0 + pi / 1024.0);
    *x = std::cos(theta);
    *y = std::sin(theta);
}

float reverbView_stepLength(int widthPx, int ms) {
    return static_cast<float>(widthPx) / 80.0f * 10.0f * (static_cast<float>(ms) / 1000.0f);
}

void reverbView_advance(float *pos, float *dir, float step, float lo, float hi) {
    float p = *pos + step * *dir;
    if (p > hi) {
        p = 2.0f * hi - p;
        *dir = -*dir;
    } else if (p < lo) {
        p = 2.0f * lo - p;
        *dir = -*dir;
    }
    *pos = p;
}

widgetReverb::widgetReverb(QWidget *parent) : QOpenGLWidget(parent) {
    mSourceImage.load(kSourcePicture);
    mListenerImage.load(kListenerPicture);
    mSourcePixels = toGlPixels(mSourceImage);
    mListenerPixels = toGlPixels(mListenerImage);

    // The size the widget has before any layout or form places it.
    const int w = width();
    const int h = height();
    mSourcePos[0] = static_cast<float>(w) / 2.0f;
    mSourcePos[1] = 3.0f * static_cast<float>(h) / 5.0f;
    mListenerPos[0] = static_cast<float>(w) / 2.0f;
    mListenerPos[1] = static_cast<float>(h) / 2.0f;
    mRoomWidePx = static_cast<float>(w);
    mRoomLongPx = static_cast<float>(h);
    if (h > 0) {
        mDepthRatio = static_cast<float>(1.0 - (3.0 * h / 5.0) / h);
        mBehindRatio = static_cast<float>((h / 2.0) / h);
    }
    restartRays();
    mDragTarget = kDragNone;
}

void widgetReverb::resetPropagationVector() {
    for (int k = 0; k < kReverbRays; ++k) {
        reverbView_rayDirection(k, &mRayDir[k][0], &mRayDir[k][1]);
        mRayDir[k][2] = 0.0f;
    }
}

void widgetReverb::restartRays() {
    for (float *p : mRayPos) {
        p[0] = mSourcePos[0];
        p[1] = mSourcePos[1];
        p[2] = 0.0f;
    }
    mRayAlpha = 1.0f;
    mRayCountdown = kReverbRayCycle;
    resetPropagationVector();
}

void widgetReverb::resetPropPoint() { restartRays(); }

void widgetReverb::setRoomWide(int px) {
    mRoomWidePx = static_cast<float>(px);
    mRoomLeft = static_cast<float>(width() - px) / 2.0f;
    mRoomRight = mRoomLeft + static_cast<float>(px);
    restartRays();
    update();
}

void widgetReverb::setRoomLong(int px) {
    mRoomLongPx = static_cast<float>(px);
    mRoomBottom = static_cast<float>(height() - px) / 2.0f;
    mRoomTop = mRoomBottom + static_cast<float>(px);
    restartRays();
    update();
}

void widgetReverb::calcPropagation(int ms) {
    const float step = reverbView_stepLength(width(), ms);
    mRayAlpha = static_cast<float>(mRayAlpha * 0.99);
    for (int k = 0; k < kReverbRays; ++k) {
        float *p = mRayPos[k];
        float *d = mRayDir[k];
        reverbView_advance(&p[0], &d[0], step, mRoomLeft, mRoomRight);
        reverbView_advance(&p[1], &d[1], step, mRoomBottom, mRoomTop);
        p[2] += step * d[2];
    }
    // At once, so that the last step of a cycle is seen before the restart.
    repaint();
    if (mRayCountdown < 2)
        restartRays();
    else
        --mRayCountdown;
}

void widgetReverb::initializeGL() {
    glClearColor(0.8f, 0.8f, 0.8f, 1.0f);
    setPixelProjection(this, width(), height());
}

void widgetReverb::resizeGL(int, int) {
    const int w = width();
    const int h = height();
    if (QOpenGLContext::currentContext()) setPixelProjection(this, w, h);
    // The points go back to fixed places of the whole view; the walls and
    // the rays stay until the panel sizes the room again.
    mSourcePos[0] = static_cast<float>(w) / 2.0f;
    mSourcePos[1] = 4.0f * static_cast<float>(h) / 5.0f;
    mListenerPos[0] = static_cast<float>(w) / 2.0f;
    mListenerPos[1] = static_cast<float>(h) / 5.0f;
    mRoomLongPx = static_cast<float>(h);
    mRoomWidePx = static_cast<float>(w);
}

void widgetReverb::drawPicture(const float *centre, const QImage &pixels) {
    if (pixels.isNull()) return;
    const float x = std::max(0.0f, centre[0] - static_cast<float>(pixels.width() / 2));
    const float y = std::max(0.0f, centre[1] - static_cast<float>(pixels.height() / 2));
    glRasterPos2f(x, y);
    glDrawPixels(pixels.width(), pixels.height(), GL_RGBA, GL_UNSIGNED_BYTE, pixels.constBits());
}

void widgetReverb::paintGL() {
    glDisable(GL_DEPTH_TEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    // The floor reaches the side walls and the far wall; below the source it
    // stops as far down as the far wall is above it.
    const float *s = mSourcePos;
    const float left = mRoomLeft, right = mRoomRight, top = mRoomTop;
    const float m = 2.0f * s[1] - top;
    glShadeModel(GL_SMOOTH);
    glBegin(GL_QUADS);
    floorQuad(s, left, s[1], left, top, s[0], top);
    floorQuad(s, s[0], top, right, top, right, s[1]);
    floorQuad(s, left, s[1], left, m, s[0], m);
    floorQuad(s, s[0], m, right, m, right, s[1]);
    glEnd();

    const qreal ratio = devicePixelRatioF();
    glPixelZoom(static_cast<GLfloat>(ratio), static_cast<GLfloat>(ratio));
    drawPicture(mSourcePos, mSourcePixels);
    drawPicture(mListenerPos, mListenerPixels);
    glPixelZoom(1.0f, 1.0f);

    glColor3f(0.1f, 0.1f, 0.1f);
    glLineWidth(2.0f);
    glBegin(GL_LINES);
    glVertex2f(left, mRoomBottom);
    glVertex2f(right, mRoomBottom);
    glVertex2f(right, mRoomBottom);
    glVertex2f(right, top);
    glVertex2f(right, top);
    glVertex2f(left, top);
    glVertex2f(left, top);
    glVertex2f(left, mRoomBottom);
    glEnd();

    glColor4f(0.0f, 0.0f, 0.0f, mRayAlpha);
    glPointSize(3.0f);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, mRayPos);
    glDrawArrays(GL_POINTS, 0, kReverbRays);
    glDisableClientState(GL_VERTEX_ARRAY);
}

bool widgetReverb::hits(const float *centre, const QImage &picture, float x, float y) {
    const float halfW = static_cast<float>(picture.width() / 2);
    const float halfH = static_cast<float>(picture.height() / 2);
    return centre[0] - halfW <= x && x <= centre[0] + halfW && centre[1] - halfH <= y && y <= centre[1] + halfH;
}

void widgetReverb::mousePressEvent(QMouseEvent *event) {
    const float x = static_cast<float>(event->position().x());
    const float y = static_cast<float>(height() - event->position().y());
    if (hits(mSourcePos, mSourceImage, x, y))
        mDragTarget = kDragSource;
    else if (hits(mListenerPos, mListenerImage, x, y))
        mDragTarget = kDragListener;
    else
        mDragTarget = kDragNone;
}

void widgetReverb::mouseMoveEvent(QMouseEvent *event) {
    // A drag moves a picture along the room's length only, and anywhere.
    const float y = static_cast<float>(height() - event->position().y());
    if (mDragTarget == kDragSource)
        mSourcePos[1] = y;
    else if (mDragTarget == kDragListener)
        mListenerPos[1] = y;
    update();
}

void widgetReverb::mouseReleaseEvent(QMouseEvent *event) {
    if (mDragTarget == kDragNone) return;
    const float h = static_cast<float>(height());
    const float y = static_cast<float>(height() - event->position().y());
    // The room's near wall while the room is centred in the view.
    const float margin = (h - mRoomLongPx) / 2.0f;
    if (mDragTarget == kDragSource) {
        mSourcePos[1] = y;
        mDepthRatio = (mRoomLongPx - (y - margin)) / h;
    } else {
        mListenerPos[1] = y;
        mBehindRatio = (y - margin) / h;
    }
    emit reverbParamChanged();
    mDragTarget = kDragNone;
    restartRays();
}
