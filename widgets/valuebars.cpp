#include "widgets/valuebars.h"

#include <QMouseEvent>
#include <QSurfaceFormat>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kQAxisMin = -1.0;   // log10 0.1
constexpr double kQAxisMax = 1.204;  // log10 16, to three decimals
constexpr double kQStart = 0.9;
constexpr double kLevelAxisMin = -3.0;  // −60 dB
constexpr double kLevelAxisMax = 1.08;  // +21.6 dB

constexpr float kTrack[3] = {0.0196078f, 0.1529412f, 0.4f};
// Centre and edge colours of the fill, bright (active) and dim.
constexpr float kActiveCentre[3] = {0.4117647f, 0.7176471f, 0.92f};
constexpr float kActiveEdge[3] = {0.0117647f, 0.3176471f, 0.8f};
constexpr float kIdleCentre[3] = {0.1317647f, 0.2807843f, 1.0f};
constexpr float kIdleEdge[3] = {0.0117647f, 0.1607843f, 0.4156863f};

}  // namespace

double valueBarPosition(double x, double width, double axisMin, double axisMax) {
    if (x < 0.0) return axisMin;
    if (x > width) return axisMax;
    return x * (axisMax - axisMin) / width + axisMin;
}

double qBarValue(double barPos) { return std::trunc((std::pow(10.0, barPos) + 0.05) * 10.0) / 10.0; }

int levelBarDb(double barPos) { return static_cast<int>(std::trunc(20.0 * barPos)); }

valueBarWidget::valueBarWidget(QWidget *parent, double axisMin, double axisMax, double value)
    : QOpenGLWidget(parent), mValue(value), mBarPos(std::log10(value)), mAxisMin(axisMin), mAxisMax(axisMax) {}

void valueBarWidget::setProjection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(mAxisMin - mPixelX, mAxisMax + mPixelX, 0.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void valueBarWidget::initializeGL() {
    glClearColor(static_cast<float>(mClearColor[0]), static_cast<float>(mClearColor[1]),
                 static_cast<float>(mClearColor[2]), 1.0f);
    setProjection();
}

void valueBarWidget::resizeGL(int w, int h) {
    mPixelX = w > 0 ? 1.0f / static_cast<float>(w) : 0.0f;
    mPixelY = h > 0 ? 1.0f / static_cast<float>(h) : 0.0f;
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(w * ratio), static_cast<GLsizei>(h * ratio));
    setProjection();
}

void valueBarWidget::paintGL() {
    const double left = mAxisMin - mPixelX;
    const double right = mAxisMax + mPixelX;
    const double bottom = mPixelY;
    const double top = 1.0 - mPixelY;
    const float *centre = mActive ? kActiveCentre : kIdleCentre;
    const float *edge = mActive ? kActiveEdge : kIdleEdge;

    glBegin(GL_QUADS);
    glColor3f(0.0f, 0.0f, 0.0f);
    glVertex2d(left, 0.0);
    glVertex2d(right, 0.0);
    glVertex2d(right, 1.0);
    glVertex2d(left, 1.0);

    glColor3fv(kTrack);
    glVertex2d(mAxisMin, bottom);
    glVertex2d(mAxisMax, bottom);
    glVertex2d(mAxisMax, top);
    glVertex2d(mAxisMin, top);

    // The fill, shaded from the centre line out to both edges.
    glColor3fv(edge);
    glVertex2d(mAxisMin, bottom);
    glVertex2d(mBarPos, bottom);
    glColor3fv(centre);
    glVertex2d(mBarPos, 0.5);
    glVertex2d(mAxisMin, 0.5);

    glVertex2d(mAxisMin, 0.5);
    glVertex2d(mBarPos, 0.5);
    glColor3fv(edge);
    glVertex2d(mBarPos, top);
    glVertex2d(mAxisMin, top);
    glEnd();
    glFlush();
}

void valueBarWidget::showValue(double value) {
    mValue = value;
    // A value off the axis (a gain of 0 included) shows an empty or full bar.
    const double pos = std::log10(value);
    mBarPos = std::isnan(pos) ? mAxisMin : std::clamp(pos, mAxisMin, mAxisMax);
    repaint();
}

double valueBarWidget::takePointer(QMouseEvent *event) {
    mBarPos = valueBarPosition(event->position().x(), width(), mAxisMin, mAxisMax);
    return mBarPos;
}

WidgetQbar::WidgetQbar(QWidget *parent) : valueBarWidget(parent, kQAxisMin, kQAxisMax, kQStart) {}

void WidgetQbar::setQbarPoint(QMouseEvent *event) {
    mValue = qBarValue(takePointer(event));
    emit qValueChanged(static_cast<int>(std::trunc(mValue * 10.0)));
    repaint();
}

void WidgetQbar::setQvalue(double q) { showValue(q); }

void WidgetQbar::mousePressEvent(QMouseEvent *event) { setQbarPoint(event); }

void WidgetQbar::mouseMoveEvent(QMouseEvent *event) {
    if (event->buttons() & Qt::LeftButton) setQbarPoint(event);
}

widgetLevelbar::widgetLevelbar(QWidget *parent)
    : valueBarWidget(parent, kLevelAxisMin, kLevelAxisMax, std::pow(10.0, kLevelAxisMin)) {
    QSurfaceFormat fmt = format();
    fmt.setDepthBufferSize(24);
    fmt.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    setFormat(fmt);
}

void widgetLevelbar::setLevelbarPoint(QMouseEvent *event) {
    const double pos = takePointer(event);
    mValue = std::pow(10.0, pos);
    emit ValueChanged(levelBarDb(pos));
    repaint();
}

void widgetLevelbar::setLevel(double gain) { showValue(gain); }

void widgetLevelbar::mousePressEvent(QMouseEvent *event) { setLevelbarPoint(event); }

void widgetLevelbar::mouseMoveEvent(QMouseEvent *event) {
    if (event->buttons() & Qt::LeftButton) setLevelbarPoint(event);
}
