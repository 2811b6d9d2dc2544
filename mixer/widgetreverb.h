// The room plan of the reverb panel: a rectangular room seen from above, lit
// from the sound source, with a picture of the source and one of the
// listening point, and 1024 sound rays that leave the source in every
// direction, bounce off the walls and fade.
//
// Coordinates are the widget's pixels with the origin at the bottom left and
// y upwards; a pointer position (x, y) from Qt is (x, H - y) here.
//
// The user drags either picture up or down; the release recomputes the
// dragged point's ratio (depthRatio for the source, behindRatio for the
// listening point) and reports reverbParamChanged. The panel sizes the room
// from its sliders and, while its animation runs, advances the rays. The rays
// are only a picture: nothing reads their positions but the drawing.
//
// GUI thread only.
#pragma once

#include <QImage>
#include <QOpenGLWidget>

class QMouseEvent;

enum : int {
    kReverbRays = 1024,
    kReverbRayCycle = 250,  // steps from one restart of the rays to the next
};

// Unit direction (x, y) of ray k (0 .. kReverbRays - 1): the rays are spread
// evenly round the circle, half a step off the axes.
void reverbView_rayDirection(int k, float *x, float *y);

// Pixels a ray covers in ms milliseconds in a view widthPx wide: the full
// width stands for 80 m and sound rays travel 10 m per second here.
float reverbView_stepLength(int widthPx, int ms);

// Moves one coordinate of a ray by step × *dir and reflects it off the walls
// lo and hi: a position beyond a wall is mirrored back into the room and the
// direction turns round. A position exactly on a wall does not reflect.
void reverbView_advance(float *pos, float *dir, float step, float lo, float hi);

class widgetReverb : public QOpenGLWidget {
    Q_OBJECT

public:
    explicit widgetReverb(QWidget *parent = nullptr);

    // Room width or length in pixels, centred in the view. Both restart the
    // rays and repaint.
    void setRoomWide(int px);
    void setRoomLong(int px);

    // Advances the rays by ms milliseconds and paints the step; after
    // kReverbRayCycle steps the rays start again from the source.
    void calcPropagation(int ms);

    // The rays back at the source, opaque, a full cycle to go; no repaint.
    void resetPropPoint();

    // Recomputes the ray directions only.
    void resetPropagationVector();

    // Distance of the source below the room's far wall and of the listening
    // point above its near wall, as fractions of the view's height. Set by a
    // drag's release and not confined to the room.
    float depthRatio() const { return mDepthRatio; }
    float behindRatio() const { return mBehindRatio; }

    // Read-outs of the state, for the owner and the tests.
    float roomLongPx() const { return mRoomLongPx; }
    float roomWidePx() const { return mRoomWidePx; }
    float roomLeft() const { return mRoomLeft; }
    float roomRight() const { return mRoomRight; }
    float roomBottom() const { return mRoomBottom; }
    float roomTop() const { return mRoomTop; }
    QPointF sourcePos() const { return {mSourcePos[0], mSourcePos[1]}; }
    QPointF listenerPos() const { return {mListenerPos[0], mListenerPos[1]}; }
    const float *rayPos(int k) const { return mRayPos[k]; }  // x, y, z
    const float *rayDir(int k) const { return mRayDir[k]; }  // x, y, z
    float rayAlpha() const { return mRayAlpha; }
    int rayCountdown() const { return mRayCountdown; }
    int dragTarget() const { return mDragTarget; }  // -1 none, 0 source, 1 listening point

signals:
    // A drag of the source or the listening point ended.
    void reverbParamChanged();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    enum { kDragNone = -1, kDragSource = 0, kDragListener = 1 };

    void restartRays();
    static bool hits(const float *centre, const QImage &picture, float x, float y);
    static void drawPicture(const float *centre, const QImage &pixels);

    float mDepthRatio = 0.4f;
    float mBehindRatio = 0.5f;
    float mRoomLongPx = 0.0f;
    QImage mSourceImage;  // the pictures as loaded
    QImage mListenerImage;
    QImage mSourcePixels;  // the same as RGBA bytes, bottom row first
    QImage mListenerPixels;
    float mSourcePos[2] = {};    // centre of the source picture
    float mListenerPos[2] = {};  // centre of the listening-point picture
    float mRoomWidePx = 0.0f;
    float mRoomLeft = 0.0f;
    float mRoomRight = 0.0f;
    float mRoomBottom = 0.0f;
    float mRoomTop = 0.0f;
    float mRayPos[kReverbRays][3] = {};
    float mRayDir[kReverbRays][3] = {};
    int mDragTarget = kDragNone;
    float mRayAlpha = 1.0f;
    int mRayCountdown = kReverbRayCycle;
};
