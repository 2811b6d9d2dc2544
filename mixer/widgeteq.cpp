#include "mixer/widgeteq.h"

#include <QMouseEvent>
#include <QString>

#include <algorithm>
#include <cmath>

#include "mixer/glproject.h"

namespace {

// Grid greys: decade lines brighter than the rest.
constexpr float kGridDecade = 0.453125f;
constexpr float kGridMinor = 0.21875f;

// Fill colours of the band rows, EQ1..EQ4.
constexpr float kRowColour[kEqGraphBands][4] = {
    {0.8196078f, 0.0f, 0.0352941f, 0.5f},
    {0.7411765f, 0.5960784f, 0.0f, 0.5f},
    {0.0f, 0.7019608f, 0.0f, 0.5f},
    {0.4862745f, 0.0078431f, 0.7098039f, 0.5f},
};

// Spectrum colours; the right channel's blue is above 1 and saturates.
constexpr double kSpecLeft[4] = {0.5, 0.5, 1.0, 0.35};
constexpr double kSpecRight[4] = {1.0, 0.5, 1.5, 0.35};

constexpr double kSpecBottom = -18.0;   // graph dB of the bottom line
constexpr double kSpecFloorDb = -90.0;  // spectrum levels below this sit on the bottom line
constexpr double kSpecDbPerGraphDb = 5.0;
constexpr double kPeakFallDb = 4.95;  // per paint
constexpr double kPeakHoldStart = -300.0;
constexpr double kSpecMaxStart = -500.0;
constexpr int kSpecGroups = 40;
constexpr int kDsdAnalysisFloor = 2822400;  // from this rate on, spectra are at 176.4 kHz
constexpr int kDsdAnalysisRate = 176400;

const char *const kStateSuffix[kEqPointStates] = {"-off", "-on", "-onon"};

struct PointPictures {
    QImage image[kEqPointSets][kEqGraphBands][kEqPointStates];
};

// The band pictures, converted once for glDrawPixels (RGBA bytes, bottom row
// first) and shared by every graph: there is one per equaliser window.
const PointPictures &pointPictures() {
    static const PointPictures loaded = [] {
        PointPictures p;
        for (int set = 0; set < kEqPointSets; ++set)
            for (int band = 0; band < kEqGraphBands; ++band)
                for (int st = 0; st < kEqPointStates; ++st) {
                    const QString path = QStringLiteral(":/resources2/parts/point_eq_%1%2%3.png")
                                             .arg(band + 1)
                                             .arg(QLatin1String(kStateSuffix[st]))
                                             .arg(set == 1 ? QStringLiteral("@2x") : QString());
                    const QImage image(path);
                    if (!image.isNull())
                        p.image[set][band][st] = image.convertToFormat(QImage::Format_RGBA8888).mirrored();
                }
        return p;
    }();
    return loaded;
}

}  // namespace

// ---- Arithmetic ------------------------------------------------------------

int eqGraph_bandFreqLimit(int rate) {
    if (rate >= 96001) return 44000;
    if (rate >= 48001) return 40000;
    return 20000;
}

int eqGraph_sampleFrequency(int i) {
    if (i < 980) return 20 + i;
    if (i < 1880) return 1000 + 10 * (i - 980);
    return 10000 + 100 * (i - 1880);
}

double eqGraph_pointerLogFreq(double x, int w, double axisTop) {
    return kEqViewLeft + (x / w) * (axisTop - kEqViewLeft);
}

double eqGraph_pointerDb(double y, int h) { return kEqViewBottom + ((h - y) / h) * kEqViewHeight; }

double eqGraph_pickTolerance(int w, int h, double gridRight) {
    if (w <= 0 || h <= 0) return 0.0;
    return w * kEqPickDecades * 36.0 / (h * (gridRight - kEqGridLeft));
}

int eqGraph_pickBand(const tEqBandPoint points[kEqGraphBands], double logFreq, double dB, double tolerance) {
    for (int i = 0; i < kEqGraphBands; ++i)
        if (std::fabs(logFreq - points[i].logFreq) <= kEqPickDecades && std::fabs(dB - points[i].gain) <= tolerance)
            return i;
    return -1;
}

tEqBandPoint eqGraph_dragPoint(double logFreq, double dB, double dragLogMax, int freqLimit) {
    tEqBandPoint p;
    p.gain = std::clamp(dB, -kEqDragGainMax, kEqDragGainMax);
    // Not std::clamp: at very low rates the drag maximum may lie below 20 Hz.
    p.logFreq = std::min(std::max(logFreq, kEqGridLeft), dragLogMax);
    p.freq = std::pow(10.0, p.logFreq);
    if (p.freq >= freqLimit) {
        p.freq = freqLimit;
        p.logFreq = std::log10(static_cast<double>(freqLimit));
    }
    return p;
}

void eqGraph_spectrumSegments(const double *s, double *hold, int holdBins, int n, int rate, bool hfMode,
                              std::vector<tEqSpecSegment> &out) {
    if (!s || !hold || holdBins < 1 || n < 2 || rate <= 0) return;
    const int r = rate >= kDsdAnalysisFloor ? kDsdAnalysisRate : rate;
    const double w = static_cast<double>(r) / n;  // bin width, Hz
    double top = hfMode ? 100000.0 : 40000.0;
    if (r / 2 < top) top = 0.5 * r;
    int last = static_cast<int>(std::trunc(top * n / r));
    // The hold has a value per bin; larger FFTs lose the bins beyond it
    // rather than write past it.
    last = std::min(last, holdBins);
    const int first = static_cast<int>(std::trunc(20.0 * n / r)) + 1;

    // The level at 20 Hz, between the first two values.
    double v = s[0] + (s[1] - s[0]) * 20.0 / w;
    v = std::max(v, hold[0] - kPeakFallDb);
    hold[0] = v;
    double prevX = std::log10(20.0);
    double prevY = v < kSpecFloorDb ? kEqViewBottom : kSpecBottom;
    double f = 20.0;
    int count = 0;
    double peak = kSpecMaxStart;
    int b = first;
    for (int g = 1; g <= kSpecGroups; ++g) {
        const int e = static_cast<int>(static_cast<int64_t>(g) * last / kSpecGroups);
        if (e <= b) continue;
        for (int k = b; k < e; ++k) {
            ++count;
            peak = std::max(peak, s[k]);
            // Group g draws one segment per g bins: fine at the bottom of
            // the axis, where a bin is wide on screen, coarse at the top.
            if (count >= g) {
                const double u = std::max(hold[k] - kPeakFallDb, peak);
                hold[k] = u;
                const double y = u < kSpecFloorDb ? kSpecBottom : u / kSpecDbPerGraphDb;
                const double x = std::log10(f);
                out.push_back({prevX, prevY, x, y});
                prevX = x;
                prevY = y;
                count = 0;
                peak = kSpecMaxStart;
            }
            f += w;
        }
        b = e;
    }
}

// ---- The widget ------------------------------------------------------------

widgetEq::widgetEq(QWidget *parent) : QOpenGLWidget(parent) {
    const double startFreq[kEqGraphBands] = {100.0, 800.0, 2000.0, 5000.0};
    for (int i = 0; i < kEqGraphBands; ++i) mBandPoint[i] = {startFreq[i], 0.0, std::log10(startFreq[i])};

    // The sample frequencies and their logarithms are fixed, so that a curve
    // update costs only the owner's evaluation and one summation.
    for (auto &row : mCurve) {
        row.resize(kEqCurvePoints);
        for (int i = 0; i < kEqCurvePoints; ++i) {
            const double f = eqGraph_sampleFrequency(i);
            row[i] = {f, std::log10(f), 0.0};
        }
    }

    const PointPictures &p = pointPictures();
    for (int set = 0; set < kEqPointSets; ++set)
        for (int band = 0; band < kEqGraphBands; ++band)
            for (int st = 0; st < kEqPointStates; ++st) mPointImage[set][band][st] = p.image[set][band][st];
    reloadPngdata(static_cast<float>(devicePixelRatioF()));

    for (auto &h : mPeakHold) h.assign(kEqPeakHoldBins, kPeakHoldStart);
    setXmaxEQContBySampleRate(mSampleRate);
    mBandFreqLimit = eqGraph_bandFreqLimit(mSampleRate);
}

widgetEq::~widgetEq() = default;

void widgetEq::setSampleRate(int rate) {
    mSampleRate = rate;
    setXmaxEQContBySampleRate(rate);
    mBandFreqLimit = eqGraph_bandFreqLimit(rate);
    for (int i = 0; i < kEqGraphBands; ++i) {
        if (mBandPoint[i].freq >= mBandFreqLimit) {
            mBandPoint[i].freq = mBandFreqLimit;
            mBandPoint[i].logFreq = std::log10(static_cast<double>(mBandFreqLimit));
            emit eqParamChanged(i);
        }
    }
    update();
}

void widgetEq::setHfMode(bool hf) {
    mHfMode = hf;
    mGridRight = hf ? kEqGridRightHf : kEqGridRightNormal;
    mAxisTop = hf ? kEqAxisTopHf : kEqAxisTopNormal;
    // The view follows at the next paint, which loads it afresh.
    mPickTolerance = eqGraph_pickTolerance(width(), height(), mGridRight);
    update();
}

void widgetEq::setFftParams(double *left, double *right, int fftSize, int rate) {
    mSpecL = left;
    mSpecR = right;
    mSpecSize = fftSize;
    mSpecRate = rate;
    update();
}

void widgetEq::redrawEqCurve(int) {
    std::vector<tEqCurvePoint> &total = mCurve[kEqTotalRow];
    for (tEqCurvePoint &pt : total) pt.dB = 0.0;
    for (int row = 0; row < kEqGraphBands; ++row) {
        if (!mCurveShown[row]) continue;
        const std::vector<tEqCurvePoint> &band = mCurve[row];
        const size_t n = std::min(total.size(), band.size());
        for (size_t j = 0; j < n; ++j) total[j].dB += band[j].dB;
    }
    update();
}

void widgetEq::reloadPngdata(float ratio) {
    mPointSet = ratio >= 2.0f ? 1 : 0;
    mPixelRatio = ratio;
}

void widgetEq::setXmaxEQContBySampleRate(int rate) {
    mDragLogMax = std::min(5.0, std::log10(static_cast<double>(rate)));
}

int widgetEq::getXcoordinate(float logFreq) const {
    const float scale = static_cast<float>(width() / (mAxisTop - kEqViewLeft));
    return static_cast<int>(std::trunc(scale * (logFreq - kEqViewLeft)));
}

int widgetEq::getYcoordinate(float dB) const {
    const float scale = static_cast<float>(height() / kEqViewHeight);
    return height() - static_cast<int>(std::trunc(scale * (dB - kEqViewBottom)));
}

bool widgetEq::project(double objX, double objY, double objZ, const double model[16], const double projection[16],
                       const int viewport[4], double *winX, double *winY, double *winZ) {
    return glProject_project(objX, objY, objZ, model, projection, viewport, winX, winY, winZ);
}

void widgetEq::transformPoint(double out[4], const double m[16], const double in[4]) {
    glProject_transformPoint(out, m, in);
}

// ---- Mouse -------------------------------------------------------------------

void widgetEq::mousePressEvent(QMouseEvent *event) {
    const QPointF pos = event->position();
    const int band = eqGraph_pickBand(mBandPoint, eqGraph_pointerLogFreq(pos.x(), width(), mAxisTop),
                                      eqGraph_pointerDb(pos.y(), height()), mPickTolerance);
    if (band >= 0) mDragBand = band + 1;
    update();
}

void widgetEq::mouseMoveEvent(QMouseEvent *event) {
    if (mDragBand < 1 || mDragBand > kEqGraphBands) return;
    const QPointF pos = event->position();
    mBandPoint[mDragBand - 1] = eqGraph_dragPoint(eqGraph_pointerLogFreq(pos.x(), width(), mAxisTop),
                                                  eqGraph_pointerDb(pos.y(), height()), mDragLogMax, mBandFreqLimit);
    emit eqParamChanged(mDragBand - 1);
    update();
}

void widgetEq::mouseReleaseEvent(QMouseEvent *) {
    mDragBand = 0;
    update();
}

// ---- Drawing -------------------------------------------------------------------

void widgetEq::loadView() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(kEqViewLeft, mAxisTop, kEqViewBottom, kEqViewTop, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void widgetEq::updatePointOffsets(int w, int h) {
    mPickTolerance = eqGraph_pickTolerance(w, h, mGridRight);
    // The offsets centre a picture on its point. An "@2x" picture has twice
    // the pixels of the same size on screen, so its size counts halved.
    const QImage &ref = mPointImage[mPointSet][0][0];
    const double scale = mPointSet == 1 ? 0.5 : 1.0;
    const double pw = ref.width() * scale;
    const double ph = ref.height() * scale;
    mPointHalfWidth = w > 0 ? (mGridRight - kEqGridLeft) * 0.5 * pw / w : 0.0;
    mPointHalfHeight = h > 0 ? ph * kEqDragGainMax / h : 0.0;
}

void widgetEq::initializeGL() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    loadView();
}

void widgetEq::resizeGL(int w, int h) {
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(w * ratio), static_cast<GLsizei>(h * ratio));
    loadView();
    updatePointOffsets(w, h);
    update();
}

void widgetEq::paintGL() {
    glDisable(GL_DEPTH_TEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const float ratio = static_cast<float>(devicePixelRatioF());
    if (ratio != mPixelRatio) reloadPngdata(ratio);
    loadView();

    drawGrid();
    drawSpectrum();
    drawRows();
    drawTotalAndPoints();
}

void widgetEq::drawGrid() {
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    for (double decade = 10.0; decade <= 10000.0; decade *= 10.0) {
        for (int m = (decade == 10.0 ? 2 : 1); m <= 9; ++m) {
            const float grey = m == 1 ? kGridDecade : kGridMinor;
            const double x = std::log10(decade * m);
            glColor3f(grey, grey, grey);
            glVertex2d(x, -18.0);
            glVertex2d(x, 18.0);
        }
    }
    glColor3f(kGridDecade, kGridDecade, kGridDecade);
    glVertex2d(5.0, -18.0);  // 100 kHz
    glVertex2d(5.0, 18.0);

    glColor3f(kGridMinor, kGridMinor, kGridMinor);
    for (int dB = -18; dB <= 18; dB += 6) {
        glVertex2d(kEqGridLeft, dB);
        glVertex2d(mGridRight, dB);
    }
    glEnd();
}

void widgetEq::drawSpectrum() {
    if (mSpecSize <= 0) return;
    const double *arrays[2] = {mSpecL, mSpecR};
    const double *colours[2] = {kSpecLeft, kSpecRight};
    for (int ch = 0; ch < 2; ++ch) {
        mSegments.clear();
        eqGraph_spectrumSegments(arrays[ch], mPeakHold[ch].data(), static_cast<int>(mPeakHold[ch].size()), mSpecSize,
                                 mSpecRate, mHfMode, mSegments);
        if (mSegments.empty()) continue;
        glColor4dv(colours[ch]);
        glBegin(GL_QUADS);
        for (const tEqSpecSegment &q : mSegments) {
            glVertex2d(q.x0, q.y0);
            glVertex2d(q.x0, kSpecBottom);
            glVertex2d(q.x1, kSpecBottom);
            glVertex2d(q.x1, q.y1);
        }
        glEnd();
    }
}

void widgetEq::drawRows() {
    for (int row = 0; row < kEqGraphBands; ++row) {
        if (!mCurveShown[row]) continue;
        const std::vector<tEqCurvePoint> &c = mCurve[row];
        const int n = std::min(mCurvePoints, static_cast<int>(c.size()));
        glColor4fv(kRowColour[row]);
        glBegin(GL_QUADS);
        for (int j = 0; j + 1 < n; ++j) {
            glVertex2d(c[j].logFreq, c[j].dB);
            glVertex2d(c[j + 1].logFreq, c[j + 1].dB);
            glVertex2d(c[j + 1].logFreq, 0.0);
            glVertex2d(c[j].logFreq, 0.0);
        }
        glEnd();
    }
}

void widgetEq::drawTotalAndPoints() {
    if (std::any_of(std::begin(mCurveShown), std::end(mCurveShown), [](bool b) { return b; })) {
        const std::vector<tEqCurvePoint> &t = mCurve[kEqTotalRow];
        const int n = std::min(mCurvePoints, static_cast<int>(t.size()));
        glColor4f(1.0f, 1.0f, 1.0f, 0.8f);
        glBegin(GL_LINE_STRIP);
        for (int j = 0; j < n; ++j) glVertex2d(t[j].logFreq, t[j].dB);
        glEnd();
    }

    // EQ1 last, so that it lies on top.
    for (int band = kEqGraphBands - 1; band >= 0; --band) {
        int state = 0;
        if (mDragBand == band + 1)
            state = 2;
        else if (mPointLit[band] && mEqOn)
            state = 1;
        const QImage &picture = mPointImage[mPointSet][band][state];
        if (picture.isNull()) continue;
        const double x = mBandPoint[band].logFreq - mPointHalfWidth;
        const double y = mBandPoint[band].gain - mPointHalfHeight;
        if (x < kEqViewLeft || x > mAxisTop || y < kEqViewBottom || y > kEqViewTop) continue;
        glRasterPos2d(x, y);
        glDrawPixels(picture.width(), picture.height(), GL_RGBA, GL_UNSIGNED_BYTE, picture.constBits());
    }
}
