#include "mixer/widgetspectrogram.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/analysisrings.h"

namespace {

constexpr float kRowHeight = 1.0f / kSpectrogramRows;  // 400 rows fill the height
constexpr double kLog20 = 1.3010299956639813;          // log10 20, the left edge
constexpr double kLogTopLimit = 80000.0;               // rates from here show up to 40 kHz
constexpr double kTopLimit = 40000.0;
constexpr int kMaxLinearGroup = kSpectrumBins / kSpectrogramLinearCells;

// One logarithmic set: where its cells start and which bins it reads.
struct tLogSet {
    double start;     // Hz of the first bin taken
    double binWidth;  // Hz per bin
    int first;        // first bin read
    int last;         // bins are read below this one
    int groups;       // group j takes one cell per j bins
};

tLogSet logSet(int set, int n, int rate) {
    if (set == 0) {
        const double perBin = static_cast<double>(n) / rate;
        return {300.0, rate / static_cast<double>(n), static_cast<int>(300.0 * perBin) + 1,
                static_cast<int>(std::min<double>(80000.0 * perBin, kSpectrumBins)), 40};
    }
    // The low-frequency analysis runs at a quarter of the rate and is read
    // up to the bin of 400 Hz.
    const double quarter = rate / 4.0;
    const double perBin = n / quarter;
    return {20.0, quarter / n, static_cast<int>(20.0 * perBin) + 1,
            static_cast<int>(std::min<double>(400.0 * perBin, kSpectrumBins)), 1};
}

void glColour(const t3ColorsF &c) { glColor3f(c.red, c.green, c.blue); }

}  // namespace

t3ColorsF spectrogram_colour(double dB) {
    // The sums are formed in double and divided in single precision.
    if (dB < -120.0) return {0.0f, 0.0f, 0.0f};
    if (dB < -90.0) return {0.0f, static_cast<float>(dB + 120.0) / 30.0f, 1.0f};
    if (dB < -60.0) return {0.0f, 1.0f, static_cast<float>(30.0 - (dB + 90.0)) / 30.0f};
    if (dB < -30.0) return {static_cast<float>(dB + 60.0) / 30.0f, 1.0f, 0.0f};
    return {1.0f, static_cast<float>(30.0 - (dB + 30.0)) / 30.0f, 0.0f};
}

void spectrogram_linearLevels(const double *data, int n, double cells[kSpectrogramLinearCells]) {
    const int g = std::clamp(n / 2048, 1, kMaxLinearGroup);
    for (int c = 0; c < kSpectrogramLinearCells; ++c) {
        double m = kSpectrogramFloorDb;
        const double *bin = data + static_cast<size_t>(c) * g;
        for (int i = 0; i < g; ++i) m = std::max(m, bin[i]);
        cells[c] = m;
    }
}

double spectrogram_topFrequency(int rate) { return rate < kLogTopLimit ? 0.5 * rate : kTopLimit; }

int spectrogram_logLevels(int set, const double *data, int n, int rate, double levels[kSpectrogramCells],
                          float cellX[kSpectrogramCells]) {
    const double top = spectrogram_topFrequency(rate);
    if (n < 1 || rate < 1 || top <= 20.0) return -1;
    const double span = std::log10(top) - kLog20;
    const tLogSet s = logSet(set, n, rate);

    int b = s.first;
    double f = s.start;
    int c = 0;
    double m = kSpectrogramFloorDb;
    double p = std::log10(s.start);
    int k = 0;
    // The counter and the running maximum carry over from group to group;
    // each cell reaches from where the previous cell was taken to its own
    // bin.
    for (int j = 1; j <= s.groups; ++j) {
        const int e = static_cast<int>(static_cast<long long>(j) * s.last / s.groups);
        if (e <= b) continue;
        for (int i = b; i < e; ++i) {
            ++c;
            m = std::max(m, data[i]);
            if (c >= j) {
                if (k == kSpectrogramCells) return k;
                levels[k] = m;
                cellX[k] = static_cast<float>((p - kLog20) / span);
                p = std::log10(f);
                ++k;
                c = 0;
                m = kSpectrogramFloorDb;
            }
            f += s.binWidth;
        }
        b = e;
    }
    return k;
}

void widgetSpectrogram::FreeHistory::operator()(t3ColorsF *history) const { std::free(history); }

widgetSpectrogram::widgetSpectrogram(QWidget *parent) : QOpenGLWidget(parent) {}

widgetSpectrogram::~widgetSpectrogram() = default;

bool widgetSpectrogram::ensureHistory(int set) {
    if (!mColours[set]) {
        // Zeroed, so a new history is all black. calloc hands out a block
        // this large as fresh zero pages, so the rows are not written until
        // frames fill them.
        mColours[set].reset(static_cast<t3ColorsF *>(
            std::calloc(static_cast<size_t>(kSpectrogramRows) * kSpectrogramCells, sizeof(t3ColorsF))));
    }
    return mColours[set] != nullptr;
}

bool widgetSpectrogram::historyAllocated(int set) const { return mColours[set & 1] != nullptr; }

t3ColorsF *widgetSpectrogram::rowOf(int set, int row) const {
    return mColours[set].get() + static_cast<size_t>(row) * kSpectrogramCells;
}

const t3ColorsF *widgetSpectrogram::colourAt(int set, int row, int cell) const {
    set &= 1;
    if (!mColours[set] || row < 0 || row >= kSpectrogramRows || cell < 0 || cell >= kSpectrogramCells) return nullptr;
    return rowOf(set, row) + cell;
}

void widgetSpectrogram::setColorData(double dB, int cell, int flag, int row) {
    const int set = spectrogram_set(flag);
    if (cell < 0 || cell >= kSpectrogramCells || row < 0 || row >= kSpectrogramRows || !ensureHistory(set)) return;
    rowOf(set, row)[cell] = spectrogram_colour(dB);
}

void widgetSpectrogram::advanceRow(int set) {
    mRow[set] = (mRow[set] + 1) % kSpectrogramRows;
    update();
}

void widgetSpectrogram::setSpectrumData(int flag, const double *data, int n, int rate) {
    if (!data) return;
    const int set = spectrogram_set(flag);
    if (mMode == kSpectrogramLinear) {
        if (set == 1 || !ensureHistory(0)) return;
        double cells[kSpectrogramLinearCells];
        spectrogram_linearLevels(data, n, cells);
        t3ColorsF *row = rowOf(0, mRow[0]);
        for (int c = 0; c < kSpectrogramLinearCells; ++c) row[c] = spectrogram_colour(cells[c]);
        advanceRow(0);
        // The linear layout keeps the low-frequency set in step, so that a
        // switch to the logarithmic one draws both sets from the same row.
        mRow[1] = mRow[0];
        return;
    }
    if (n < 1 || !ensureHistory(set)) return;
    const int count = spectrogram_logLevels(set, data, n, rate, mLevels, mCellX[set]);
    if (count < 0) return;
    t3ColorsF *row = rowOf(set, mRow[set]);
    for (int k = 0; k < count; ++k) row[k] = spectrogram_colour(mLevels[k]);
    mCellCount[set] = count;
    advanceRow(set);
}

void widgetSpectrogram::setSpectrumMode(tSpectrogramMode mode) {
    mMode = mode == kSpectrogramLinear ? kSpectrogramLinear : kSpectrogramLog;
    update();
}

void widgetSpectrogram::draw1box(const float *x, const t3ColorsF *colour, float y, float height) {
    glColour(*colour);
    glBegin(GL_QUADS);
    glVertex2f(x[0], y);
    glVertex2f(x[1], y);
    glVertex2f(x[1], y + height);
    glVertex2f(x[0], y + height);
    glEnd();
}

void widgetSpectrogram::loadView(int w, int h) {
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(w * ratio), static_cast<GLsizei>(h * ratio));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 1.0, 0.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void widgetSpectrogram::initializeGL() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    loadView(width(), height());
}

void widgetSpectrogram::resizeGL(int w, int h) {
    loadView(w, h);
    update();
}

void widgetSpectrogram::putCell(int at, float x0, float x1, float y0, float y1, const t3ColorsF &left,
                                const t3ColorsF &right) {
    float *v = mVertices.data() + 8 * at;
    float *c = mVertexColours.data() + 12 * at;
    const float xs[4] = {x0, x1, x1, x0};
    const float ys[4] = {y0, y0, y1, y1};
    const t3ColorsF *cs[4] = {&left, &right, &right, &left};
    for (int k = 0; k < 4; ++k) {
        v[2 * k] = xs[k];
        v[2 * k + 1] = ys[k];
        c[3 * k] = cs[k]->red;
        c[3 * k + 1] = cs[k]->green;
        c[3 * k + 2] = cs[k]->blue;
    }
}

void widgetSpectrogram::paintGL() {
    loadView(width(), height());
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!mColours[0] && !mColours[1]) return;
    glShadeModel(GL_SMOOTH);
    // A row's quadrilaterals go to GL as one array: 400 rows of up to
    // 14,860 cells are too many single calls for a 55 ms cycle.
    mVertices.resize(8 * static_cast<size_t>(kSpectrogramCells));
    mVertexColours.resize(12 * static_cast<size_t>(kSpectrogramCells));
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, mVertices.data());
    glColorPointer(3, GL_FLOAT, 0, mVertexColours.data());

    // The oldest row (the one written next) at the bottom, the newest at
    // the top.
    if (mMode == kSpectrogramLinear) {
        const int r = mRow[0];
        if (mColours[0]) {
            constexpr float cellW = 1.0f / kSpectrogramLinearCells;
            for (int i = 0; i < kSpectrogramRows; ++i) {
                const int row = (r + i) % kSpectrogramRows;
                const t3ColorsF *cells = rowOf(0, row);
                // The rows written since the ring last wrapped blend each
                // cell into its right neighbour; the older ones are flat.
                const bool blended = row < r;
                const float y0 = i * kRowHeight;
                for (int c = 0; c < kSpectrogramLinearCells; ++c)
                    putCell(c, (c - 1) * cellW, c * cellW, y0, y0 + kRowHeight, cells[c],
                            blended ? cells[c + 1] : cells[c]);
                glDrawArrays(GL_QUADS, 0, 4 * kSpectrogramLinearCells);
            }
        }
    } else {
        // Logarithmic: every row at the cell edges of its set's latest
        // frame; the low-frequency set over the main one where both reach
        // (300 to 400 Hz). The master's window sends both sets every cycle,
        // so their rows run in step; each set is still drawn from its own
        // newest row, so that a set that started later is not drawn one row
        // off.
        for (int set = 0; set < kSpectrogramSets; ++set) {
            if (mCellCount[set] < 2 || !mColours[set]) continue;
            const float *edges = mCellX[set];
            // Cells right of the picture (the main set reaches 80 kHz) are
            // not sent.
            int cells = 0;
            while (cells + 1 < mCellCount[set] && edges[cells] < 1.0f) ++cells;
            const int r = mRow[set];
            for (int i = 0; i < kSpectrogramRows; ++i) {
                const t3ColorsF *colours = rowOf(set, (r + i) % kSpectrogramRows);
                const float y0 = i * kRowHeight;
                for (int c = 0; c < cells; ++c)
                    putCell(c, edges[c], edges[c + 1], y0, y0 + kRowHeight, colours[c], colours[c]);
                glDrawArrays(GL_QUADS, 0, 4 * cells);
            }
        }
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}
