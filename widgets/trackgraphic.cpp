#include "widgets/trackgraphic.h"

#include <QHoverEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions_2_1>
#include <QOpenGLVersionFunctionsFactory>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The pictures of every ratio, converted once for glDrawPixels (RGBA bytes,
// bottom row first) and shared by all views: the edit window can hold
// hundreds of views. A picture that is not in the bundle stays empty and
// draws nothing.
struct Pictures {
    QImage handleOff[kTrackPictureSets];
    QImage handleOn[kTrackPictureSets];
    QImage cursor[kTrackPictureSets];
};

QImage forGL(const QString &path) {
    const QImage image(path);
    if (image.isNull()) return QImage();
    return image.convertToFormat(QImage::Format_RGBA8888).mirrored();
}

const Pictures &pictures() {
    static const Pictures loaded = [] {
        Pictures p;
        for (int i = 0; i < kTrackPictureSets; ++i) {
            p.handleOff[i] = forGL(trackGeo_handlePicture(false, i));
            p.handleOn[i] = forGL(trackGeo_handlePicture(true, i));
            p.cursor[i] = forGL(trackGeo_cursorPicture(i));
        }
        return p;
    }();
    return loaded;
}

}  // namespace

trackGraphic::trackGraphic(QWidget *parent) : QOpenGLWidget(parent) {
    std::fill(std::begin(mChannels), std::end(mChannels), 2);
    std::fill(std::begin(mHScale), std::end(mHScale), 1.0f);
    mRatio = static_cast<float>(devicePixelRatioF());

    const Pictures &p = pictures();
    for (int i = 0; i < kTrackPictureSets; ++i) {
        mHandleOff[i] = p.handleOff[i];
        mHandleOn[i] = p.handleOn[i];
        mCursor[i] = p.cursor[i];
    }
    mHandleSet = 0;
    mCursorSet = mRatio >= 2.0f ? trackGeo_pictureSet(2.0f) : 0;

    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, true);
    // Drawing is still off, so this only records the size for the first
    // paint after enabling.
    resizeGL(static_cast<int>(width() * mInitRatio / mRatio), static_cast<int>(height() * mInitRatio / mRatio));
}

trackGraphic::~trackGraphic() = default;

// --- Owner's operations ------------------------------------------------------

void trackGraphic::setGLenable(bool on) {
    mGLEnabled = on;
    if (on) {
        // Sizes that arrived while drawing was off are applied by the next
        // paint, which also rebuilds both caches.
        mResized = false;
        mOweFull = true;
        update();
    }
}

void trackGraphic::setWaveForm(tSetWaveFormParams *p) {
    if (!p) return;
    mUpper = p->upperPeaks;
    mLower = p->lowerPeaks;
    mColumns = p->columns;
    mColumnsD = static_cast<double>(p->columns);
    mFirstColumn = p->firstColumn;
    mLevelLength = static_cast<double>(p->levelLength);
    const int n = std::clamp<int32_t>(p->trackCount, 0, kTrackMaxTracks);
    for (int j = 0; j < n; ++j) {
        mTrackColumns[j] = p->trackColumns ? p->trackColumns[j] : 0;
        mStartOffsets[j] = p->startOffsets[j];
    }
    mTrackCount = n;
    mTrackCountD = n;
    mTrackLengths = p->trackLengths;
    mTotalLength = p->totalLength;
    if (mTrackLengths && mTrackLengths[0] == 0) {
        mTrackLengths[0] = 1;
        mTotalLength = 1;
    }

    if (n < 1) {
        // Owners send this to clear the view: draw it whole, so the old
        // waveform layer is not restored under an empty request.
        requestRedraw(kRedrawFull);
        return;
    }
    int32_t mode = kRedrawIncremental;
    for (int j = 0; j < n; ++j) {
        const int64_t offset = p->drawOffsets ? p->drawOffsets[j] : 0;
        const int64_t width = p->drawWidths ? p->drawWidths[j] : mColumns;
        mDrawOffset[j] = offset;
        mDrawWidth[j] = width;
        if (offset + width > mColumns || width == mColumns || offset == mFirstColumn)
            mode = kRedrawFull;
        else
            mDrawEnd[j] = offset + width;
    }
    requestRedraw(mode);
}

void trackGraphic::setNumOfTrack(int tracks) {
    mTrackCount = std::clamp(tracks, 0, static_cast<int>(kTrackMaxTracks));
    mTrackCountD = mTrackCount;
}

void trackGraphic::lineCurrentPosition(double x) {
    // The line is drawn at whole pixels: a move that stays on the pixel
    // column it is drawn at would draw the same picture again, which on a
    // long file is most ticks of playback.
    const int W = std::max(width(), 1);
    const bool samePixel = trackGeo_cursorX(x, W) == trackGeo_cursorX(mCursorPosition, W);
    mCursorPosition = x;
    if (!samePixel) requestRedraw(kRedrawCursor);
}

void trackGraphic::enableCursor(bool on) { mCursorShown = on; }

void trackGraphic::setCursorTypePng(bool png) { mCursorPng = png; }

void trackGraphic::setRegionNumber(int region) {
    mRegionNumber = region;
    mRegionNumber2 = region;
}

void trackGraphic::setInitWindowPizelRatio(float ratio) {
    mRatio = ratio;
    mInitRatio = ratio;
    mCorrectionRatio = 1.0f;
    selectPngByRatio(ratio);
}

void trackGraphic::changePixelRatio(float ratio) { selectPngByRatio(ratio); }

void trackGraphic::selectPngByRatio(float ratio) {
    mHandleSet = trackGeo_pictureSet(ratio);
    mCursorSet = mHandleSet;
}

void trackGraphic::setDragDropMode(bool on) {
    mDragDrop = on;
    requestRedraw(kRedrawFrozen);
}

void trackGraphic::setWaveRange(float rangeMin, float rangeMax, int) {
    mFadeInEnd = trackGeo_rescale(mFadeInEnd, mRangeMin, mRangeMax, rangeMin, rangeMax);
    mFadeOutStart = trackGeo_rescale(mFadeOutStart, mRangeMin, mRangeMax, rangeMin, rangeMax);
    mRangeMin = rangeMin;
    mRangeMax = rangeMax;
    if (mFadeOutStart > mOutPoint) mFadeOutStart = mOutPoint;
    if (mFadeInEnd < mInPoint) mFadeInEnd = mInPoint;
}

void trackGraphic::trackReloaded() {
    mInPoint = mFadeInEnd = mRangeMin;
    mOutPoint = mFadeOutStart = mRangeMax;
    mDragState = kTrackDragNone;
    mLevelLength = 1.0;
    mColumns = 1;
    mColumnsD = 1.0;
    mGainLine = 1.0;
    mGain = 1.0;
    requestRedraw(kRedrawFull);
    emit editParamChanged(mRegionNumber);
}

void trackGraphic::gainChanged(double gain) {
    mGain = gain;
    requestRedraw(kRedrawFull);
}

void trackGraphic::arrangeInPoint(double v) {
    if (v > mOutPoint) {
        mOutPoint = std::min(1.0, mOutPoint - mInPoint + v);
        mFadeOutStart = mOutPoint;
    }
    mInPoint = mFadeInEnd = v;
    requestRedraw(kRedrawFull);
    emit editParamChanged(mRegionNumber);
}

void trackGraphic::arrangeOutPoint(double v) {
    if (v < mInPoint) {
        mInPoint = std::max(0.0, v - (mOutPoint - mInPoint));
        mFadeInEnd = mInPoint;
    }
    mOutPoint = mFadeOutStart = v;
    requestRedraw(kRedrawFull);
    emit editParamChanged(mRegionNumber);
}

void trackGraphic::recalcGLHoseiParameter() {
    mCorrectionScale = 1.0 / mCorrectionRatio;
    mCorrectionOffset = mCorrectionRatio == 1.0f ? 0.0 : mBounds.left / mCorrectionRatio;
}

void trackGraphic::getRangeX(double *left, double *right) const {
    if (left) *left = mBounds.left;
    if (right) *right = mBounds.right;
}

tTrackColumnMap trackGraphic::clacParametersForDrawingWaveform(int j) const {
    if (j < 0 || j >= kTrackMaxTracks) return tTrackColumnMap();
    const int64_t N = mTrackLengths && mTrackLengths[j] != 0 ? mTrackLengths[j] : 1;
    return trackGeo_mapColumns(mFirstColumn, mTotalLength, N, mLevelLength, mColumnsD, mStartOffsets[j], mDrawOffset[j],
                               mDrawEnd[j]);
}

void trackGraphic::requestRedraw(int32_t mode) {
    if (mode == kRedrawFull) mOweFull = true;
    if (mode == kRedrawIncremental) {
        // Columns of an earlier request that were never painted would be
        // lost under the new offsets: draw everything instead.
        if (mOweColumns) mOweFull = true;
        mOweColumns = true;
    }
    mRedrawMode = mode;
    if (!mInPaint) update();
}

bool trackGraphic::locked() const { return (mLockWord && *mLockWord != 0) || mInputLock; }

// --- OpenGL ----------------------------------------------------------------------

QSize trackGraphic::framebufferPixels() const {
    // The viewport the widget paints into, as the widget computes it.
    const qreal r = devicePixelRatioF();
    return QSize(std::max(1, static_cast<int>(width() * r)), std::max(1, static_cast<int>(height() * r)));
}

void trackGraphic::reallocateCaches() {
    const QSize fb = framebufferPixels();
    for (Cache *c : {&mCacheA, &mCacheB}) {
        // Four bytes a pixel covers the three of a row plus its alignment.
        c->pixels.assign(static_cast<size_t>(fb.width()) * fb.height() * 4, 0);
        c->w = fb.width();
        c->h = fb.height();
        c->valid = false;
    }
}

void trackGraphic::initializeGL() {
    mGL = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_2_1>(context());
    if (!mGL) return;  // not a compatibility context: the view stays blank
    mGL->glClearColor(0.1f, 0.1f, 0.1f, 0.0f);
    mGL->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    mGL->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    mBounds = trackGeo_initialBounds(mRatio, width(), height());
    // A new context (the view moved to another window) starts from these
    // bounds: the next resize must apply its size even if it is the old one.
    mLastW = mLastH = 0;
    mOweFull = true;
}

void trackGraphic::resizeGL(int w, int h) {
    if (!mGLEnabled) {
        mPendingW = w;
        mPendingH = h;
        return;
    }
    if (w == mLastW && h == mLastH) return;
    mLastW = w;
    mLastH = h;
    mBounds = trackGeo_bounds(w, h, height());
    // The caches hold what paintGL reads: the framebuffer at device pixels,
    // whatever size the caller passed.
    reallocateCaches();
    mResized = true;
    requestRedraw(kRedrawFull);
}

void trackGraphic::windowPos(double x, double y) {
    // Window coordinates of a point in view units. glWindowPos keeps the
    // raster position valid at and beyond the edges, where a picture is
    // still partly in view.
    const QSize fb = framebufferPixels();
    const double wx = (x - mBounds.left) / (mBounds.right - mBounds.left) * fb.width();
    const double wy = (y - mBounds.bottom) / (mBounds.top - mBounds.bottom) * fb.height();
    mGL->glWindowPos2d(wx, wy);
}

void trackGraphic::readCache(Cache &c) {
    const QSize fb = framebufferPixels();
    if (c.w != fb.width() || c.h != fb.height()) reallocateCaches();
    // Signed bytes keep 7 bits a component: a restored frame may differ from
    // the drawn one by a step or two, which does not show.
    mGL->glReadPixels(0, 0, c.w, c.h, GL_RGB, GL_BYTE, c.pixels.data());
    c.valid = true;
}

void trackGraphic::drawCache(const Cache &c) {
    mGL->glWindowPos2i(0, 0);
    mGL->glDrawPixels(c.w, c.h, GL_RGB, GL_BYTE, c.pixels.data());
}

void trackGraphic::drawPicture(const QImage &picture, double x, double y) {
    if (picture.isNull()) return;
    windowPos(x, y);
    mGL->glDrawPixels(picture.width(), picture.height(), GL_RGBA, GL_UNSIGNED_BYTE, picture.constBits());
}

void trackGraphic::glVertex2d_pre(double x, double y) {
    mGL->glVertex2d(x * mCorrectionScale + mCorrectionOffset, y * mCorrectionScale);
}

void trackGraphic::glVertex2f_pre(float x, float y) {
    mGL->glVertex2f(static_cast<float>(x * mCorrectionScale + mCorrectionOffset),
                    static_cast<float>(y * mCorrectionScale));
}

void trackGraphic::shade(double f) {
    // Colour 2 at the centre line, colour 1 at the clip level.
    const double r = mColour2[0] - f * (mColour2[0] - mColour1[0]);
    const double g = mColour2[1] - f * (mColour2[1] - mColour1[1]);
    const double b = mColour2[2] - f * (mColour2[2] - mColour1[2]);
    mGL->glColor3d(r / 255.0, g / 255.0, b / 255.0);
}

void trackGraphic::paintGL() {
    if (!mGLEnabled || !mGL) return;
    mInPaint = true;
    if (!mResized) resizeGL(mPendingW, mPendingH);
    const float ratio = static_cast<float>(devicePixelRatioF());
    if (ratio != mRatio) {
        // Moved to a screen of another ratio: back to the 1x handles until
        // the owner picks the set for the new ratio.
        mHandleSet = 0;
        mRatio = ratio;
        resizeGL(static_cast<int>(width() * mInitRatio / mRatio), static_cast<int>(height() * mInitRatio / mRatio));
    }
    const QSize fb = framebufferPixels();
    if (mCacheA.w != fb.width() || mCacheA.h != fb.height()) {
        reallocateCaches();
        mOweFull = true;
    }

    mGL->glViewport(0, 0, fb.width(), fb.height());
    mGL->glMatrixMode(GL_PROJECTION);
    mGL->glLoadIdentity();
    mGL->glOrtho(mBounds.left, mBounds.right, mBounds.bottom, mBounds.top, -1.0, 1.0);
    mGL->glMatrixMode(GL_MODELVIEW);
    mGL->glLoadIdentity();

    // The mode this paint can honour: what the last change asked for, unless
    // an earlier request is still owed or the cache it needs is stale.
    int32_t mode = mRedrawMode;
    if (mOweFull)
        mode = kRedrawFull;
    else if (mOweColumns && mode == kRedrawCursor)
        mode = kRedrawIncremental;
    if (mode == kRedrawIncremental && !mCacheB.valid) mode = kRedrawFull;
    if ((mode == kRedrawCursor || mode == kRedrawFrozen) && !mCacheA.valid) mode = kRedrawFull;

    drawPanel();

    const bool peaks = mUpper && mLower && mTrackCount > 0;
    if (mode == kRedrawFrozen) {
        drawCache(mCacheA);
    } else if (mode == kRedrawCursor) {
        drawCache(mCacheA);
        drawCursor();
    } else if (!peaks) {
        readCache(mCacheA);
        mCacheB.valid = false;
        drawCursor();
    } else {
        if (mode == kRedrawIncremental) drawCache(mCacheB);
        drawWaveform(mode);
        readCache(mCacheB);
        drawOverlay();
        readCache(mCacheA);
        drawCursor();
    }
    if (mode == kRedrawFull || mode == kRedrawIncremental) {
        mOweFull = false;
        mOweColumns = false;
    }
    mInPaint = false;
}

void trackGraphic::drawPanel() {
    const double W = std::max(width(), 1), H = std::max(height(), 1);
    const tTrackBounds &b = mBounds;
    mGL->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    mGL->glEnable(GL_BLEND);
    mGL->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    mGL->glShadeModel(GL_SMOOTH);

    mGL->glColor4ub(0, 0, 0, 255);
    mGL->glBegin(GL_QUADS);
    glVertex2d_pre(b.left, b.bottom);
    glVertex2d_pre(b.right, b.bottom);
    glVertex2d_pre(b.right, b.top);
    glVertex2d_pre(b.left, b.top);
    mGL->glEnd();

    const double panelBottom = b.bottom + 1.0 / H, panelTop = 1.0 + b.my;
    mGL->glColor3ub(6, 15, 46);
    mGL->glBegin(GL_QUADS);
    glVertex2d_pre(b.left, panelBottom);
    glVertex2d_pre(b.right, panelBottom);
    glVertex2d_pre(b.right, panelTop);
    glVertex2d_pre(b.left, panelTop);
    mGL->glEnd();

    mGL->glLineWidth(2.0f);
    mGL->glColor3ub(28, 4, 67);
    mGL->glBegin(GL_LINES);
    glVertex2d_pre(b.left, panelTop);
    glVertex2d_pre(b.right, panelTop);
    glVertex2d_pre(b.left, panelBottom);
    glVertex2d_pre(b.right, panelBottom);
    glVertex2d_pre(b.right - 1.0 / W, panelTop);
    glVertex2d_pre(b.right - 1.0 / W, b.bottom);
    glVertex2d_pre(b.left + 1.0 / W, panelTop);
    glVertex2d_pre(b.left + 1.0 / W, b.bottom);
    mGL->glEnd();
    mGL->glLineWidth(1.0f);

    const int n = mTrackCount;
    mGL->glBegin(GL_LINES);
    for (int j = 0; j < n; ++j) {
        if (mChannels[j] != 1) {
            const double y = 1.0 - (j + 0.5) / mTrackCountD;
            mGL->glColor3ub(56, 63, 88);
            glVertex2d_pre(0.0, y);
            glVertex2d_pre(1.0, y);
        }
        if (j != n - 1) {
            const double y = 1.0 - (j + 1.0) / mTrackCountD;
            mGL->glColor3ub(112, 126, 176);
            glVertex2d_pre(0.0, y);
            glVertex2d_pre(1.0, y);
        }
    }
    mGL->glEnd();
}

void trackGraphic::drawWaveform(int32_t mode) {
    const int n = mTrackCount;
    const bool lines = mFinestLevel && mShortMaterial;
    tTrackColumnMap maps[kTrackMaxTracks];
    for (int j = 0; j < n; ++j) {
        if (mTrackLengths && mTrackLengths[j] == 0) mTotalLength = 1;  // treated as 1 frame below
        if (mode == kRedrawFull) {
            mDrawOffset[j] = 0;
            mDrawEnd[j] = mColumns - 1;
        }
    }
    for (int j = 0; j < n; ++j) maps[j] = clacParametersForDrawingWaveform(j);

    // Zero lines along each channel's centre, as far as the track is ready.
    if (mColumns > 1 && !lines) {
        mGL->glPointSize(2.0f);
        mGL->glColor3ub(mColour2[0], mColour2[1], mColour2[2]);
        mGL->glBegin(GL_LINES);
        for (int j = 0; j < n; ++j) {
            if (mTrackColumns[j] <= mFirstColumn) continue;
            const int64_t N = mTrackLengths && mTrackLengths[j] != 0 ? mTrackLengths[j] : 1;
            const int64_t start = mode == kRedrawIncremental ? mDrawOffset[j] + mDrawWidth[j] / 16 : 0;
            double x0 = 0.0, x1 = 0.0;
            if (!trackGeo_zeroLine(maps[j], mLevelLength, mTrackColumns[j], mTotalLength, N, mDrawEnd[j], start,
                                   mRangeMin, mRangeMax, &x0, &x1))
                continue;
            const double y0 = (n - 1 - j) / mTrackCountD, h = 1.0 / mTrackCountD;
            const double centres[2] = {mChannels[j] == 1 ? 0.5 : 0.75, 0.25};
            for (int c = 0; c < (mChannels[j] == 1 ? 1 : 2); ++c) {
                glVertex2d_pre(x0, y0 + centres[c] * h);
                glVertex2d_pre(x1, y0 + centres[c] * h);
            }
        }
        mGL->glEnd();
    }

    for (int j = 0; j < n; ++j) {
        tTrackColumnMap m = maps[j];
        // While the overview grows, the view may ask for more columns than
        // the job has written (or, at the level's end, one past the array).
        m.hi = trackGeo_traceEnd(m, mLevelLength, mTrackColumns[j]);
        if (!mUpper[j] || !mLower[j] || m.hi <= m.lo || !(m.span > 0.0)) continue;
        const double y0 = (n - 1 - j) / mTrackCountD, h = 1.0 / mTrackCountD;
        if (mChannels[j] == 1) {
            drawTrace(m, mUpper[j], mLower[j], 0, y0 + 0.5 * h, y0 + 0.9 * h, y0 + 0.1 * h,
                      mLevelZoom / (2.0 * mTrackCountD), mHScale[j], lines);
        } else {
            const double scale = mLevelZoom / (4.0 * mTrackCountD);
            drawTrace(m, mUpper[j], mLower[j], 0, y0 + 0.75 * h, y0 + 0.9 * h, y0 + 0.6 * h, scale, mHScale[j], lines);
            drawTrace(m, mUpper[j], mLower[j], 1, y0 + 0.25 * h, y0 + 0.4 * h, y0 + 0.1 * h, scale, mHScale[j], lines);
        }
    }
}

void trackGraphic::drawTrace(const tTrackColumnMap &m, const double *upper, const double *lower, int channel,
                             double centre, double clipTop, double clipBottom, double scale, float factor, bool lines) {
    if (!lines) {
        // Envelope: the areas between the centre and the upper values and
        // between the centre and the lower values, cut at the clip levels.
        tTrackShadePoint polygons[2][5];
        int counts[2];
        for (int64_t x = m.lo; x < m.hi; ++x) {
            const int64_t e = m.first + x;
            const double x0 = trackGeo_columnX(static_cast<double>(x), m, mRangeMin, mRangeMax, factor);
            const double x1 = trackGeo_columnX(static_cast<double>(x + 1), m, mRangeMin, mRangeMax, factor);
            for (const double *values : {upper, lower}) {
                const double ya = centre + values[2 * e + channel] * scale;
                const double yb = centre + values[2 * (e + 1) + channel] * scale;
                const int polys = trackGeo_envelope(x0, ya, x1, yb, centre, clipTop, clipBottom, polygons, counts);
                for (int k = 0; k < polys; ++k) {
                    mGL->glBegin(GL_POLYGON);
                    for (int i = 0; i < counts[k]; ++i) {
                        shade(polygons[k][i].f);
                        glVertex2d_pre(polygons[k][i].x, polygons[k][i].y);
                    }
                    mGL->glEnd();
                }
            }
        }
        return;
    }

    // Sample lines: one signed value per entry, joined column by column;
    // values are not clipped, an end beyond the clip levels takes colour 1.
    mGL->glPointSize(2.0f);
    mGL->glBegin(GL_LINES);
    for (int64_t x = m.lo; x < m.hi; ++x) {
        const int64_t e = m.first + x;
        const double va = trackGeo_lineValue(upper[2 * e + channel], lower[2 * e + channel]);
        const double vb = trackGeo_lineValue(upper[2 * (e + 1) + channel], lower[2 * (e + 1) + channel]);
        const double ya = centre + va * scale, yb = centre + vb * scale;
        const double x0 = trackGeo_columnX(static_cast<double>(x), m, mRangeMin, mRangeMax, factor);
        const double x1 = trackGeo_columnX(static_cast<double>(x + 1), m, mRangeMin, mRangeMax, factor);
        const double fb = trackGeo_shade(yb, centre, clipTop, clipBottom);
        auto endColour = [&](double y) {
            if (y > clipTop || y < clipBottom)
                mGL->glColor3ub(mColour1[0], mColour1[1], mColour1[2]);
            else
                shade(fb);
        };
        endColour(ya);
        glVertex2d_pre(x0, ya);
        if (va * vb < 0.0) {
            const double xm = trackGeo_columnX(static_cast<double>(x) + 0.5, m, mRangeMin, mRangeMax, factor);
            mGL->glColor3ub(mColour2[0], mColour2[1], mColour2[2]);
            glVertex2d_pre(xm, centre);
            glVertex2d_pre(xm, centre);
        }
        endColour(yb);
        glVertex2d_pre(x1, yb);
    }
    mGL->glEnd();
}

void trackGraphic::drawOverlay() {
    if (!(mColumnsD != 0.0) || !(mLevelLength > 0.0)) return;
    const double xin = trackGeo_levelX(mInPoint, mLevelLength, mFirstColumn, mColumnsD);
    const double xout = trackGeo_levelX(mOutPoint, mLevelLength, mFirstColumn, mColumnsD);
    const double xfi = trackGeo_levelX(mFadeInEnd, mLevelLength, mFirstColumn, mColumnsD);
    const double xfo = trackGeo_levelX(mFadeOutStart, mLevelLength, mFirstColumn, mColumnsD);
    const double g = mGainLine;

    mGL->glColor3ub(255, 255, 255);
    mGL->glBegin(GL_LINES);
    glVertex2d_pre(xin, 0.0);
    glVertex2d_pre(xfi, g);
    glVertex2d_pre(xfo, g);
    glVertex2d_pre(xout, 0.0);
    glVertex2d_pre(xin, 0.0);
    glVertex2d_pre(xin, 1.0);
    glVertex2d_pre(xout, 0.0);
    glVertex2d_pre(xout, 1.0);
    mGL->glEnd();

    if (mMarks && mMaterialLength != 0) {
        const int count = std::clamp<int32_t>(mMarkCount, 0, kTrackMaxMarks);
        const double half = 0.006 * (mRangeMax - mRangeMin);
        mGL->glBegin(GL_TRIANGLES);
        for (int i = 0; i < count; ++i) {
            const tAudioFileMarkAFile &mark = mMarks[i];
            const double xm = trackGeo_markX(static_cast<int64_t>(mark.position), mMaterialLength, mLevelLength,
                                             mFirstColumn, mColumnsD, mRangeMin, mRangeMax);
            if (std::memcmp(mark.name, "OVER", 4) == 0)
                mGL->glColor3ub(255, 0, 0);
            else if (std::memcmp(mark.name, "UNLK", 4) == 0)
                mGL->glColor3ub(243, 98, 1);
            else
                mGL->glColor3ub(255, 255, 255);
            glVertex2d_pre(xm, 1.0);
            glVertex2d_pre(xm - half, 1.05);
            glVertex2d_pre(xm + half, 1.05);
        }
        mGL->glEnd();
    }

    const double y = 0.5 - mBounds.my;
    drawPicture(mDragState == kTrackDragOut ? mHandleOn[mHandleSet] : mHandleOff[mHandleSet], xout - mBounds.mx, y);
    drawPicture(mDragState == kTrackDragIn ? mHandleOn[mHandleSet] : mHandleOff[mHandleSet], xin - mBounds.mx, y);
}

void trackGraphic::drawCursor() {
    if (!mCursorShown) return;
    const int W = std::max(width(), 1);
    const double x = (trackGeo_cursorX(mCursorPosition, W) + 0.5 * mCorrectionOffset) / mCorrectionRatio;
    if (mCursorPng) {
        drawPicture(mCursor[mCursorSet], x - 7.0 / W + 0.0015, -mBounds.my);
        return;
    }
    mGL->glColor3ub(255, 255, 0);
    mGL->glLineWidth(1.0f);
    mGL->glBegin(GL_LINES);
    glVertex2d_pre(x, -mBounds.my);
    glVertex2d_pre(x, 1.0 + mBounds.my + 0.02);
    mGL->glEnd();
}

// --- Pointer -----------------------------------------------------------------------

void trackGraphic::pointerFraction(const QPointF &pos, double *xn, double *t) const {
    const tTrackPointer p = trackGeo_pointer(mBounds, pos.x(), pos.y(), width(), height());
    *xn = p.xn;
    *t = trackGeo_materialFraction(p.xn, mColumnsD, mFirstColumn, mLevelLength);
}

void trackGraphic::mousePressEvent(QMouseEvent *event) {
    if (!locked() && event->button() != Qt::RightButton) {
        const QPointF pos = event->position();
        const tTrackPointer p = trackGeo_pointer(mBounds, pos.x(), pos.y(), width(), height());
        const int32_t grabbed =
            trackGeo_grabHandle(mBounds, p.xn, p.yn, mInPoint, mOutPoint, mLevelLength, mFirstColumn, mColumnsD);
        if (grabbed != kTrackDragNone) {
            mDragState = grabbed;
            requestRedraw(kRedrawFull);
        } else {
            mDragState = kTrackDragCursor;
            mClickPosition =
                std::clamp(trackGeo_materialFraction(p.xn, mColumnsD, mFirstColumn, mLevelLength), 0.0, 1.0);
            mCursorPosition = std::clamp(p.xn, 0.0, 1.0);
            requestRedraw(kRedrawCursor);
            emit editParamChanged(mRegionNumber);
        }
    }
    emit mouseClicked(event, mRegionNumber2);
}

void trackGraphic::mouseMoveEvent(QMouseEvent *event) {
    if (locked()) return;
    const int32_t state = mDragState;
    if (state != kTrackDragIn && state != kTrackDragOut && state != kTrackDragCursor) {
        emit mouseMoved(event, mRegionNumber2);
        return;
    }
    double xn = 0.0, t = 0.0;
    pointerFraction(event->position(), &xn, &t);
    if (state == kTrackDragCursor) {
        mCursorPosition = std::clamp(xn, 0.0, 1.0);
        mClickPosition = std::clamp(t, 0.0, 1.0);
        requestRedraw(kRedrawCursor);
        emit mouseMoved(event, mRegionNumber2);
    } else {
        tTrackHandleDrag drag = {state, mInPoint, mOutPoint, mCrossed};
        trackGeo_dragHandle(&drag, t, mRangeMin, mRangeMax);
        mDragState = drag.state;
        mInPoint = drag.inPoint;
        mOutPoint = drag.outPoint;
        mCrossed = drag.crossed;
        requestRedraw(kRedrawFull);
        emit pointMoved();
    }
    // Any drag edits the region afresh: fades collapse onto the points and
    // the gain returns to unity.
    mFadeInEnd = mInPoint;
    mFadeOutStart = mOutPoint;
    mGainLine = 1.0;
    mGain = 1.0;
    emit editParamChanged(mRegionNumber);
    emit mousePressed(event);
}

void trackGraphic::mouseReleaseEvent(QMouseEvent *event) {
    if (locked()) {
        // Nothing is reported while locked, but a drag must not outlive its
        // button: unlocked later, plain moves would go on dragging.
        mDragState = kTrackDragNone;
        mCrossed = false;
        return;
    }
    requestRedraw(mDragState == kTrackDragCursor ? kRedrawCursor : kRedrawFull);
    mDragState = kTrackDragNone;
    mCrossed = false;
    emit mouseReleased(event, mRegionNumber2);
}

// --- Hover -------------------------------------------------------------------------

namespace {

bool overLowerHalf(const QHoverEvent *event, int height) { return std::round(event->position().y()) > height / 2; }

}  // namespace

void trackGraphic::hoverEnter(QHoverEvent *event) {
    mLowerSide = overLowerHalf(event, height());
    if (mLowerSide) emit hoverEnterLowerSide(event, mRegionNumber2);
}

void trackGraphic::hoverMove(QHoverEvent *event) {
    const bool lower = overLowerHalf(event, height());
    if (lower && !mLowerSide) emit hoverEnterLowerSide(event, mRegionNumber2);
    if (!lower && mLowerSide) emit hoverLeaveLowerSide(event, mRegionNumber2);
    mLowerSide = lower;
}

void trackGraphic::hoverLeave(QHoverEvent *event) {
    // Reported on every leave, wherever the pointer was.
    emit hoverLeaveLowerSide(event, mRegionNumber2);
}

bool trackGraphic::event(QEvent *event) {
    switch (event->type()) {
    case QEvent::HoverEnter: hoverEnter(static_cast<QHoverEvent *>(event)); return true;
    case QEvent::HoverMove: hoverMove(static_cast<QHoverEvent *>(event)); return true;
    case QEvent::HoverLeave: hoverLeave(static_cast<QHoverEvent *>(event)); return true;
    default: return QOpenGLWidget::event(event);
    }
}
