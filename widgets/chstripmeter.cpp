#include "widgets/chstripmeter.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "audiofile/audiohelpers.h"

const double kChStripZonePos[8] = {0.0, 0.0, 0.36, 0.668, 0.825, 0.902, 0.918, 1.0};

namespace {

// Full scale: 2^31 on the 32-bit integer scale of PCM levels, 0.5 on the
// normalised scale of DSD levels.
constexpr double kFullScalePcm = 186.63859731166835;  // 20 log10(2^31)
constexpr double kFullScaleDsd = -6.020599913279624;  // 20 log10(0.5)
// The PCM over threshold lies 0.000265 dB below full scale, so that a peak
// of 2^31 - 1 (the largest 32-bit sample) still lights the lamp.
constexpr double kOverPcm = 186.63833223530796;

// Levels 0..4 sit at -54, -18, -4, 0 and +3 dB of full scale; level 5 is the
// over threshold.
const double kLevels[2][chStripMeter::kZones] = {
    {kFullScalePcm - 54.0, kFullScalePcm - 18.0, kFullScalePcm - 4.0, kFullScalePcm, kFullScalePcm + 3.0, kOverPcm},
    {kFullScaleDsd - 54.0, kFullScaleDsd - 18.0, kFullScaleDsd - 4.0, kFullScaleDsd, kFullScaleDsd + 3.0,
     kFullScaleDsd},
};

// Zone colours, parts of 255: zones 0 and 1 green, 2 and 3 yellow, 4 orange,
// 5 red.
const float kZoneColor[chStripMeter::kZones][3] = {
    {0.0f, 210.0f / 255.0f, 30.0f / 255.0f},          {0.0f, 210.0f / 255.0f, 30.0f / 255.0f},
    {1.0f, 245.0f / 255.0f, 85.0f / 255.0f},          {1.0f, 245.0f / 255.0f, 85.0f / 255.0f},
    {243.0f / 255.0f, 98.0f / 255.0f, 1.0f / 255.0f}, {252.0f / 255.0f, 42.0f / 255.0f, 42.0f / 255.0f},
};
constexpr float kOverRed[3] = {0.9882353f, 0.16470589f, 0.16470589f};

constexpr double kOverAreaBottom = 0.918;

// Columns across the width: channel 0 on the right, channel 1 on the left.
constexpr double kColumnLeft[2] = {0.51, 0.0};
constexpr double kColumnRight[2] = {1.0, 0.49};

void fillRect(double x0, double y0, double x1, double y1, const float rgb[3]) {
    glColor3f(rgb[0], rgb[1], rgb[2]);
    glBegin(GL_QUADS);
    glVertex2d(x0, y0);
    glVertex2d(x1, y0);
    glVertex2d(x1, y1);
    glVertex2d(x0, y1);
    glEnd();
}

}  // namespace

double chStripMeter::zoneLevel(int mode, int k) { return kLevels[mode != 0 ? 1 : 0][k]; }

chStripMeter::chStripMeter(QWidget *parent) : QOpenGLWidget(parent) {
    void *block = _aligned_malloc(sizeof(tState), 16);
    if (block) {
        std::memset(block, 0, sizeof(tState));
        mState = new (block) tState;
    }
}

chStripMeter::~chStripMeter() { _aligned_free(mState); }

bool chStripMeter::zoneOn(int channel, int zone) const { return mState && mState->zoneOn[zone][channel] != 0; }

void chStripMeter::setMeterUpdateTiming(int periodMs) {
    if (periodMs <= 0 || !mState) return;
    mBallistics.setUpdatePeriod(periodMs);
}

void chStripMeter::setOverHoldTime(int ms) { mBallistics.setOverHoldTime(ms); }

void chStripMeter::setOver(bool on) { mBallistics.setOver(on); }

void chStripMeter::clearPrevMeter() {
    if (mState) mBallistics.clearLevel();
}

void chStripMeter::setMeterData(const double levels[2], int mode, int) {
    if (!mState) return;
    tState &s = *mState;
    const double *lv = kLevels[mode != 0 ? 1 : 0];

    const tMeterStep step = mBallistics.update(levels, mode);
    for (int ch = 0; ch < 2; ++ch) {
        if (step.restarted) mPeakDb[ch] = 0.0;
        if (step.renewed[ch]) mPeakDb[ch] = 20.0 * std::log10(mBallistics.peakHold(ch));
    }

    for (int ch = 0; ch < 2; ++ch) {
        const double uDb = 20.0 * std::log10(step.shown[ch]);
        mFraction[ch] = 0.0;
        for (int k = 0; k < kZones; ++k) s.zoneOn[k][ch] = lv[k] <= uDb ? ~uint64_t(0) : 0;
        for (int k = 1; k < kZones; ++k) {
            if (!s.zoneOn[k][ch] && s.zoneOn[k - 1][ch]) mFraction[ch] = (uDb - lv[k - 1]) / (lv[k] - lv[k - 1]);
        }
    }

    for (int ch = 0; ch < 2; ++ch) {
        const double b = mPeakDb[ch];
        mPeakPos[ch] = 0.0;
        if (b >= lv[0]) {
            // At +3 dB and above no zone is found and no line is drawn.
            for (int d = 1; d < kDrawnZones; ++d) {
                if (b < lv[d]) {
                    const double p = kChStripZonePos[d] + (kChStripZonePos[d + 1] - kChStripZonePos[d]) *
                                                              (b - lv[d - 1]) / (lv[d] - lv[d - 1]);
                    mPeakPos[ch] = std::max(p, 0.0);
                    for (int i = 0; i < 3; ++i) mPeakColor[ch][i] = kZoneColor[d][i];
                    mPeakColor[ch][3] = 1.0f;
                    break;
                }
            }
        }
        if (b > lv[5]) mBallistics.lightOver(ch);
    }
}

void chStripMeter::mousePressEvent(QMouseEvent *) {}

void chStripMeter::initializeGL() {}

void chStripMeter::resizeGL(int w, int h) {
    // The widget sets the viewport itself before every paint.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 1.0, 0.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    mWidth = w;
    mHeight = h;
}

void chStripMeter::paintGL() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!mState) return;
    const tState &s = *mState;

    for (int ch = 0; ch < 2; ++ch) {
        const double x0 = kColumnLeft[ch], x1 = kColumnRight[ch];
        for (int k = 0; k < kDrawnZones; ++k) {
            const double y0 = kChStripZonePos[k], y1 = kChStripZonePos[k + 1];
            if (s.zoneOn[k][ch])
                fillRect(x0, y0, x1, y1, kZoneColor[k]);
            else if (k >= 1 && s.zoneOn[k - 1][ch])
                fillRect(x0, y0, x1, y0 + (y1 - y0) * mFraction[ch], kZoneColor[k]);
        }
    }

    for (int ch = 0; ch < 2; ++ch) {
        const double p = mPeakPos[ch];
        if (p == 0.0) continue;
        const double x0 = kColumnLeft[ch], x1 = kColumnRight[ch];
        if (p > kOverAreaBottom) {
            fillRect(x0, kOverAreaBottom, x1, 1.0, mPeakColor[ch]);
        } else {
            glColor3f(mPeakColor[ch][0], mPeakColor[ch][1], mPeakColor[ch][2]);
            glBegin(GL_LINES);
            glVertex2d(x0, p);
            glVertex2d(x1, p);
            glEnd();
        }
    }

    for (int ch = 0; ch < 2; ++ch) {
        if (mBallistics.over(ch)) fillRect(kColumnLeft[ch], kOverAreaBottom, kColumnRight[ch], 1.0, kOverRed);
    }
}
