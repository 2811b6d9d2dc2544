#include "meter/metergraphic.h"

#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "audiofile/audiohelpers.h"
#include "meter/drawingmeterwidget.h"

meterGraphic::meterGraphic(QWidget *parent) : QWidget(parent) {
    void *block = _aligned_malloc(sizeof(tMeterLanes), 16);
    if (block) {
        std::memset(block, 0, sizeof(tMeterLanes));
        mLanes = static_cast<tMeterLanes *>(block);
    }
}

meterGraphic::~meterGraphic() {
    // The drawing parts belong to the owner's form and may outlive the
    // meter: they must stop reading its state before it goes.
    for (QWidget *w : mDrawWidget) {
        if (auto *bar = qobject_cast<drawingMeterWidget *>(w)) {
            if (mLanes && bar->mSegmentOn == mLanes->segmentOn) bar->mConnected = false;
        } else if (auto *lamp = qobject_cast<drawingOverWidget *>(w)) {
            if (lamp->mOver == mBallistics.overLamps()) lamp->mConnected = false;
        }
    }
    _aligned_free(mLanes);
}

void meterGraphic::setDrawingParameter(int i) {
    if (i < 0 || i > 1 || !mLanes) return;
    if (auto *bar = qobject_cast<drawingMeterWidget *>(mDrawWidget[i].data())) {
        bar->mSegmentOn = mLanes->segmentOn;
        bar->mFraction = mFraction;
        bar->mPeakPos = mPeakPos;
        bar->mPeakColor = mPeakColor;
        bar->mConnected = true;
    }
    if (auto *lamp = qobject_cast<drawingOverWidget *>(mDrawWidget[i + 2].data())) {
        lamp->mOver = mBallistics.overLamps();
        lamp->mConnected = true;
    }
}

void meterGraphic::connectParts(drawingMeterWidget *bar0, drawingOverWidget *lamp0, drawingMeterWidget *bar1,
                                drawingOverWidget *lamp1) {
    drawingMeterWidget *const bars[2] = {bar0, bar1};
    drawingOverWidget *const lamps[2] = {lamp0, lamp1};
    for (int ch = 0; ch < 2; ++ch) {
        mDrawWidget[ch] = bars[ch];
        mDrawWidget[ch + 2] = lamps[ch];
        setDrawingParameter(ch);
        if (bars[ch]) bars[ch]->mChannel = ch;
        if (lamps[ch]) lamps[ch]->mChannel = ch;
    }
}

void meterGraphic::setMeterUpdateTiming(int periodMs) {
    // A period that is not positive would divide by zero and means nothing.
    if (periodMs <= 0 || !mLanes) return;
    mBallistics.setUpdatePeriod(periodMs);
}

void meterGraphic::setOverHoldTime(int ms) { mBallistics.setOverHoldTime(ms); }

void meterGraphic::setOver(bool on) { mBallistics.setOver(on); }

void meterGraphic::setMeterData(const double *levels, int mode, int /*periodMs*/) {
    if (!mLanes || !levels) return;
    tMeterLanes &s = *mLanes;

    const tMeterStep step = mBallistics.update(levels, mode);
    for (int ch = 0; ch < 2; ++ch) {
        if (step.restarted) mPeakDb[ch] = 0.0f;
        if (step.renewed[ch]) mPeakDb[ch] = meterPeakDb(mBallistics.peakHold(ch));
    }

    const double *level = meterThresholds(mode);
    for (int ch = 0; ch < 2; ++ch) {
        const double uDb = 20.0 * std::log10(step.shown[ch]);
        bool on[kMeterLevels];
        mFraction[ch] = meterLightSegments(uDb, level, on);
        for (int k = 0; k < kMeterLevels; ++k) s.segmentOn[k][ch] = on[k] ? ~uint64_t{0} : uint64_t{0};
    }

    static const float kNoScale[kMeterScalePoints] = {};
    const auto *bar0 = qobject_cast<const drawingMeterWidget *>(mDrawWidget[0].data());
    const float *scale = bar0 ? bar0->scalePositions() : kNoScale;
    for (int ch = 0; ch < 2; ++ch) {
        const double peak = mPeakDb[ch];
        const int colour = meterPeakLine(peak, level, scale, &mPeakPos[ch]);
        if (colour > 0) {
            for (int i = 0; i < 3; ++i) mPeakColor[ch][i] = gMeterColour[colour][i];
            mPeakColor[ch][3] = 1.0;
        }
        if (peak > level[kMeterOverLevel]) mBallistics.lightOver(ch);
    }
}

void meterGraphic::clearPrevMeter() {
    if (mLanes) mBallistics.clearLevel();
}

void meterGraphic::repaintMeter() {
    for (int i : {0, 2, 1, 3}) {
        if (mDrawWidget[i]) mDrawWidget[i]->repaint();
    }
}

meterGraphic::tShown meterGraphic::shownBy(int part) const {
    tShown s;
    s.valid = true;
    if (auto *bar = qobject_cast<const drawingMeterWidget *>(mDrawWidget[part].data())) {
        const int ch = bar->mChannel;
        if (ch < 0 || ch > 1 || !mLanes) return s;
        for (int k = 0; k < kMeterLevels; ++k)
            if (mLanes->segmentOn[k][ch]) s.segments |= uint64_t{1} << k;
        s.fraction = mFraction[ch];
        s.peakPos = mPeakPos[ch];
        for (int i = 0; i < 4; ++i) s.peakColor[i] = mPeakColor[ch][i];
    } else if (auto *lamp = qobject_cast<const drawingOverWidget *>(mDrawWidget[part].data())) {
        if (lamp->mChannel >= 0 && lamp->mChannel <= 1) s.over = mBallistics.over(lamp->mChannel);
    }
    return s;
}

int meterGraphic::repaintChanged() {
    int repainted = 0;
    for (int i : {0, 2, 1, 3}) {
        if (!mDrawWidget[i]) continue;
        const tShown now = shownBy(i);
        const tShown &was = mShown[i];
        const bool same = was.valid && now.segments == was.segments && now.fraction == was.fraction &&
                          now.peakPos == was.peakPos && now.over == was.over &&
                          std::equal(now.peakColor, now.peakColor + 4, was.peakColor);
        if (same) continue;
        mDrawWidget[i]->update();
        mShown[i] = now;
        ++repainted;
    }
    return repainted;
}

bool meterGraphic::segmentOn(int k, int ch) const { return mLanes && mLanes->segmentOn[k][ch] != 0; }

double meterGraphic::fraction(int ch) const { return mFraction[ch]; }

double meterGraphic::meterLevel(int ch) const { return mLanes ? mBallistics.level(ch) : 0.0; }

double meterGraphic::peakHold(int ch) const { return mLanes ? mBallistics.peakHold(ch) : 0.0; }

float meterGraphic::peakDb(int ch) const { return mPeakDb[ch]; }

double meterGraphic::peakPos(int ch) const { return mPeakPos[ch]; }

const double *meterGraphic::peakColor(int ch) const { return mPeakColor[ch]; }

bool meterGraphic::isOver(int ch) const { return mBallistics.over(ch); }

double meterGraphic::releaseFactor() const { return mLanes ? mBallistics.releaseFactor() : 0.0; }

void meterGraphic::mousePressedOnMeter(QMouseEvent *event) { mousePressEvent(event); }

void meterGraphic::mousePressEvent(QMouseEvent *) { setOver(false); }
