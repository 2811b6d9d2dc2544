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
            if (lamp->mOver == mOver) lamp->mConnected = false;
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
        lamp->mOver = mOver;
        lamp->mConnected = true;
    }
}

void meterGraphic::setMeterUpdateTiming(int periodMs) {
    // A period that is not positive would divide by zero and means nothing.
    if (periodMs <= 0 || !mLanes) return;
    mUpdatePeriod = periodMs;
    mPeakHoldUpdates = meterPeakHoldUpdates(periodMs);
    mLanes->decay[0] = mLanes->decay[1] = meterReleaseFactor(periodMs);
}

void meterGraphic::setOverHoldTime(int ms) { mOverHoldUpdates = meterOverHoldUpdates(ms, mUpdatePeriod); }

void meterGraphic::setOver(bool on) {
    for (int ch = 0; ch < 2; ++ch) {
        mOver[ch] = on;
        mPeakHoldCount[ch] = mPeakHoldUpdates;
    }
}

void meterGraphic::setMeterData(const double *levels, int mode, int /*periodMs*/) {
    if (!mLanes || !levels) return;
    tMeterLanes &s = *mLanes;

    // A level that is not a number (a damaged sample reaching the peak
    // detector) would otherwise stick in the held peak; read it as silence.
    double in[2];
    for (int ch = 0; ch < 2; ++ch) in[ch] = std::isnan(levels[ch]) ? 0.0 : levels[ch];

    double c[2];
    if (mode == mMeterMode) {
        const double clip = mode == kMeterModeDsd ? kMeterClipDsd : kMeterClipPcm;
        for (int ch = 0; ch < 2; ++ch) {
            c[ch] = std::fmin(in[ch], clip);
            s.meterLevel[ch] = std::fmin(s.meterLevel[ch], clip);
        }
    } else {
        // The scales of the two modes differ by some 190 dB: nothing carries over.
        for (int ch = 0; ch < 2; ++ch) {
            s.meterLevel[ch] = 0.0;
            s.peakHold[ch] = 0.0;
            mPeakDb[ch] = 0.0f;
            c[ch] = 0.0;
        }
    }
    mMeterMode = mode;

    for (int ch = 0; ch < 2; ++ch) {
        s.meterLevel[ch] *= s.decay[ch];
        s.renewed[ch] = c[ch] < s.peakHold[ch] ? 0.0 : 1.0;
        s.peakHold[ch] = std::fmax(c[ch], s.peakHold[ch]);
    }

    for (int ch = 0; ch < 2; ++ch) {
        if (s.renewed[ch] == 0.0) {
            if (++mPeakHoldCount[ch] > mPeakHoldUpdates) {
                // Expired: start again from what arrives now, so that the
                // line drops to the programme instead of staying at the peak.
                mPeakHoldCount[ch] = 0;
                s.peakHold[ch] = in[ch];
            }
        } else {
            mPeakHoldCount[ch] = 0;
            mPeakDb[ch] = meterPeakDb(s.peakHold[ch]);
        }
    }

    if (mOverHoldUpdates >= 0) {
        for (int ch = 0; ch < 2; ++ch) {
            if (mOverCount[ch] > mOverHoldUpdates)
                mOver[ch] = false;
            else
                ++mOverCount[ch];
        }
    }

    const double *level = meterThresholds(mode);
    for (int ch = 0; ch < 2; ++ch) {
        const double u = std::fmax(c[ch], s.meterLevel[ch]);
        const double uDb = 20.0 * std::log10(u);
        bool on[kMeterLevels];
        mFraction[ch] = meterLightSegments(uDb, level, on);
        for (int k = 0; k < kMeterLevels; ++k) s.segmentOn[k][ch] = on[k] ? ~uint64_t{0} : uint64_t{0};
        // The bar rises at once and falls by the release factor per update.
        s.meterLevel[ch] = u;
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
        if (peak > level[kMeterOverLevel]) {
            mOverCount[ch] = 0;
            mOver[ch] = true;
        }
    }
}

void meterGraphic::clearPrevMeter() {
    if (mLanes) mLanes->meterLevel[0] = mLanes->meterLevel[1] = 0.0;
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
        if (lamp->mChannel >= 0 && lamp->mChannel <= 1) s.over = mOver[lamp->mChannel];
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

double meterGraphic::meterLevel(int ch) const { return mLanes ? mLanes->meterLevel[ch] : 0.0; }

double meterGraphic::peakHold(int ch) const { return mLanes ? mLanes->peakHold[ch] : 0.0; }

float meterGraphic::peakDb(int ch) const { return mPeakDb[ch]; }

double meterGraphic::peakPos(int ch) const { return mPeakPos[ch]; }

const double *meterGraphic::peakColor(int ch) const { return mPeakColor[ch]; }

bool meterGraphic::isOver(int ch) const { return mOver[ch]; }

double meterGraphic::releaseFactor() const { return mLanes ? mLanes->decay[0] : 0.0; }

void meterGraphic::mousePressedOnMeter(QMouseEvent *event) { mousePressEvent(event); }

void meterGraphic::mousePressEvent(QMouseEvent *) { setOver(false); }
