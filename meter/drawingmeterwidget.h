// The drawing parts of the stereo level meter: the bar of one channel and
// the over lamp of one channel. They only read the state that their
// meterGraphic hands them (setDrawingParameter) and draw it with
// fixed-function OpenGL; until then a part draws black.
//
// GUI thread only.
#pragma once

#include <QOpenGLWidget>
#include <cstdint>

#include "meter/meterscale.h"

class meterGraphic;

// One channel's bar: segments lit from the start of the bar up to the shown
// level, the first unlit one partly lit, and the peak-hold line across it.
class drawingMeterWidget : public QOpenGLWidget {
    Q_OBJECT

public:
    explicit drawingMeterWidget(QWidget *parent = nullptr);

    int mChannel = 0;       // lane of the meter this bar shows (0 or 1); set by the owner
    bool mReverse = false;  // draw the unlit part of the scale instead (gain-reduction meters)

    // Horizontal bars grow from the left edge, vertical ones from the bottom.
    // The geometry follows at the next resize, so call it before the widget
    // is first laid out.
    void setHorizontal(bool horizontal);
    void setTrackNumber(int track) { mTrackNumber = track; }
    int trackNumber() const { return mTrackNumber; }

    // Recomputes the size-dependent state for w × h pixels as a resize would.
    void resizeManual(int w, int h);
    // Rebuilds the segment quads from the bar's length and thickness.
    void rebuildMeterTable();

    // The 26 segment edges in pixels of the width (always along x, whatever
    // the orientation): the scale of the peak lines.
    const float *scalePositions() const { return mScalePos; }

signals:
    void mousePressed();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    friend class meterGraphic;

    void setSize(int w, int h);

    int mWidth = 0;
    int mHeight = 0;
    // Pointers into the meterGraphic's state, null until connected.
    const uint64_t (*mSegmentOn)[2] = nullptr;
    const double *mFraction = nullptr;
    const double *mPeakPos = nullptr;
    const double (*mPeakColor)[4] = nullptr;
    bool mConnected = false;
    float mScalePos[kMeterScalePoints] = {};
    int mTrackNumber = -1;
    bool mHorizontal = true;
    int mAxis = 0;  // 0: the bar runs along x, 1: along y
    // Quads of segments 0..24 and of the partly lit segment, four (x, y)
    // vertices each.
    float mQuad[kMeterQuads][4][2] = {};
    float mPartialQuad[4][2] = {};
    float mBarLength = 0.0f;
    float mBarThickness = 0.0f;
};

// One channel's over lamp: the whole widget red while the meter's over flag
// of the channel is set, black otherwise.
class drawingOverWidget : public QOpenGLWidget {
    Q_OBJECT

public:
    explicit drawingOverWidget(QWidget *parent = nullptr);

    int mChannel = 0;  // lane of the meter this lamp shows; set by the owner

signals:
    void mousePressed();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    friend class meterGraphic;

    int mWidth = 0;
    int mHeight = 0;
    const bool *mOver = nullptr;
    bool mConnected = false;
};
