#include "mixer/widgetlissajous.h"

#include <QOpenGLContext>
#include <algorithm>
#include <cstring>

#include "audiofile/audiohelpers.h"
#include "dsp/phasemeter.h"
#include "mixer/glproject.h"

namespace {

constexpr float kGridGrey = 0.21875f;
// The view spans ±√2, so that the unit square turned by 45 degrees touches
// the middle of each edge.
constexpr double kViewHalf = 1.41421356;

constexpr float ramp(int v) { return static_cast<float>(v) / 1024.0f; }

}  // namespace

const float gLissajousRamp[kLissajousRampEntries][3] = {
    {ramp(51), ramp(49), ramp(17)},    {ramp(102), ramp(98), ramp(34)},    {ramp(204), ramp(196), ramp(68)},
    {ramp(306), ramp(294), ramp(102)}, {ramp(306), ramp(294), ramp(102)},  {ramp(408), ramp(392), ramp(136)},
    {ramp(510), ramp(490), ramp(170)}, {ramp(612), ramp(588), ramp(204)},  {ramp(816), ramp(784), ramp(272)},
    {ramp(918), ramp(882), ramp(306)}, {ramp(1020), ramp(980), ramp(340)}, {ramp(1020), ramp(1000), ramp(660)},
};

int lissajous_colourRuns(int layers, int points, tLissajousRun runs[kLissajousMaxRuns]) {
    if (layers <= 0 || points <= 0) return 0;
    const long long step = static_cast<long long>(layers) * points / kLissajousRampEntries;
    int c = 0;
    int written = 0;
    for (int layer = 0; layer < layers; ++layer) {
        const long long layerStart = static_cast<long long>(layer) * points;
        int colour = c;
        int pos = 0;
        while (pos < points) {
            // The only point of this stretch after which the colour can
            // change; it lies behind us once c has stopped at 11.
            const long long change = (c + 1) * step;
            const long long here = layerStart + pos;
            if (change >= here && change < layerStart + points) {
                const int count = static_cast<int>(change - here) + 1;
                runs[written++] = {layer, pos, count, colour};
                pos += count;
                colour = c;
                if (c < kLissajousRampEntries - 1) ++c;
            } else {
                runs[written++] = {layer, pos, points - pos, colour};
                pos = points;
            }
        }
    }
    return written;
}

void lissajous_copyFromRing(double *dst, const double *ring, int count, int length, int start) {
    if (length <= 0 || count <= 0) return;
    int from = start % length;
    if (from < 0) from += length;
    int done = 0;
    while (done < count) {
        const int piece = std::min(count - done, length - from);
        std::memcpy(dst + 2 * static_cast<size_t>(done), ring + 2 * static_cast<size_t>(from),
                    sizeof(double) * 2 * static_cast<size_t>(piece));
        done += piece;
        from = 0;
    }
}

void widgetLissajous::AlignedFree::operator()(double *block) const { _aligned_free(block); }

widgetLissajous::widgetLissajous(QWidget *parent) : QOpenGLWidget(parent) {}

widgetLissajous::~widgetLissajous() = default;

bool widgetLissajous::replaceLayers(int frames) {
    const uint64_t bytes = uint64_t(frames) * 2 * sizeof(double);
    Layer fresh[kLissajousLayers];
    for (Layer &layer : fresh) {
        layer.reset(static_cast<double *>(_aligned_malloc(bytes, 16)));
        if (!layer) return false;  // the partial set goes with `fresh`
        std::memset(layer.get(), 0, bytes);
    }
    for (int k = 0; k < kLissajousLayers; ++k) mLayer[k] = std::move(fresh[k]);
    mLayerCapacity = frames;
    return true;
}

bool widgetLissajous::allocateLayers() { return layersAllocated() || replaceLayers(mLayerCapacity); }

void widgetLissajous::setLissajous(const double *frames, int count, int length, int start) {
    if (count > kLissajousMaxBlock || count < 0) return;
    if (count > 0 && (frames == nullptr || length <= 0)) return;
    if (mLayerCapacity < count) {
        if (!replaceLayers(std::max(length, count))) return;
    } else if (count > 0 && !allocateLayers()) {
        return;
    }
    mLayerPoints = count;
    mLayerIndex = (mLayerIndex + 1) % kLissajousLayers;
    if (count > 0) {
        double *layer = mLayer[mLayerIndex].get();
        lissajous_copyFromRing(layer, frames, count, length, start);
        // Estimated on the copy, so that the figure and the number come from
        // the same samples while the engine goes on writing the ring.
        mPhaseSum += CPhase().calcPhaseValue(layer, layer, count, 1);
    }
    ++mPhaseBlocks;  // an empty block counts as an estimate of 0
}

void widgetLissajous::setDrawLayer(int layers) { mDrawLayers = layers; }

void widgetLissajous::setDrawPointSize(float size) { mPointSize = size; }

double widgetLissajous::calcPhaseValue(const double *ref, const double *meas, int count, int channel, int start,
                                       int length) const {
    return CPhase().calcPhaseValue(ref, meas, count, channel, start, length);
}

void widgetLissajous::rotateLissajous(int) { update(); }

bool widgetLissajous::project(double objX, double objY, double objZ, const double model[16],
                              const double projection[16], const int viewport[4], double *winX, double *winY,
                              double *winZ) {
    return glProject_project(objX, objY, objZ, model, projection, viewport, winX, winY, winZ);
}

void widgetLissajous::transformPoint(double out[4], const double m[16], const double in[4]) {
    glProject_transformPoint(out, m, in);
}

void widgetLissajous::loadView(int w, int h) {
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(w * ratio), static_cast<GLsizei>(h * ratio));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-kViewHalf, kViewHalf, -kViewHalf, kViewHalf, -1.0, 1.0);
    glRotatef(static_cast<GLfloat>(mRotation), 0.0f, 0.0f, 1.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void widgetLissajous::initializeGL() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void widgetLissajous::resizeGL(int w, int h) {
    loadView(w, h);
    update();
}

void widgetLissajous::paintGL() {
    // The view is loaded again: the matrices are context state that nothing
    // else should touch, but a paint must not depend on it.
    loadView(width(), height());
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glLineWidth(1.0f);
    glColor3f(kGridGrey, kGridGrey, kGridGrey);
    glBegin(GL_LINE_LOOP);
    glVertex2f(-1.0f, -1.0f);
    glVertex2f(-1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glVertex2f(1.0f, -1.0f);
    glEnd();
    glBegin(GL_LINES);
    glVertex2f(0.0f, -1.0f);
    glVertex2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 0.0f);
    glVertex2f(1.0f, 0.0f);
    glEnd();

    drawLissajous(nullptr, mLayerPoints);
    mPointSize = 2.0f;
}

void widgetLissajous::drawLissajous(const double *, int count) {
    const int layers = std::clamp(mDrawLayers, 0, int(kLissajousLayers));
    if (count > kLissajousMaxBlock) count = 0;
    // A caller may ask for more frames than the newest block had, never for
    // more than a layer holds.
    count = std::min(count, mLayerCapacity);
    // Outside a paint there is no context to draw into; the phase is still
    // refreshed.
    if (layersAllocated() && count > 0 && layers > 0 && QOpenGLContext::currentContext()) {
        tLissajousRun runs[kLissajousMaxRuns];
        const int n = lissajous_colourRuns(layers, count, runs);
        // A frame is (left, right); the point is x = right, y = left. The
        // model-view matrix swaps the two, so that the layers feed the
        // vertex array as they are.
        static const GLfloat kSwap[16] = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadMatrixf(kSwap);
        glPointSize(mPointSize);
        glEnableClientState(GL_VERTEX_ARRAY);
        const int oldest = ((mLayerIndex - layers + 1) % kLissajousLayers + kLissajousLayers) % kLissajousLayers;
        for (int r = 0; r < n; ++r) {
            const tLissajousRun &run = runs[r];
            const double *layer = mLayer[(oldest + run.layer) % kLissajousLayers].get();
            glColor3fv(gLissajousRamp[run.colour]);
            glVertexPointer(2, GL_DOUBLE, 0, layer);
            glDrawArrays(GL_POINTS, run.first, run.count);
        }
        glDisableClientState(GL_VERTEX_ARRAY);
        glPopMatrix();
    }
    refreshPhase();
}

void widgetLissajous::refreshPhase() {
    if (mPhaseBlocks != 0) {
        mPhase = mPhaseSum / mPhaseBlocks;
        mPhaseSum = 0.0;
        mPhaseBlocks = 0;
    }
}
