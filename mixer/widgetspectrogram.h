// widgetSpectrogram: the last 400 spectrum frames as rows of coloured cells,
// the newest at the top, frequency from left to right, level as colour.
//
// Two sets of history: set 0 for the main analysis and set 1 for the
// master's low-frequency analysis (frames flagged kSpectrogramLowFlag, made
// at a quarter of the rate). Two layouts: linear (1024 equal cells from 0 Hz
// to half the rate, set 0 only) and logarithmic (cells spaced on a log10
// axis from 20 Hz to the top frequency; set 0 from 300 Hz, set 1 from 20 Hz
// to 400 Hz, drawn over set 0). Changing the layout keeps the history, so
// rows computed in one layout are drawn in the other.
//
// Memory: a set's history is 400 rows of 14,860 cells (about 71 MB). It is
// taken when the set's first frame arrives, so that the spectrogram of an
// equaliser window that is never shown costs nothing, and a track's window
// (which gets no low-frequency frames) never holds set 1. If the memory
// cannot be had the frame is dropped and the next one tries again.
//
// GUI thread only. A frame is read from the engine's spectrum arrays while
// its analysis thread rewrites them, without a lock; reads stay inside the
// arrays' kSpectrumBins values whatever size the caller reports.
#pragma once

#include <QOpenGLWidget>
#include <memory>
#include <vector>

struct t3ColorsF {
    float red;
    float green;
    float blue;
};

// 1 is the linear layout; any other value is logarithmic.
enum tSpectrogramMode : int {
    kSpectrogramLog = 0,
    kSpectrogramLinear = 1,
};

enum : int {
    kSpectrogramSets = 2,
    kSpectrogramRows = 400,
    kSpectrogramCells = 14860,  // cells per row; a logarithmic frame writes no more
    kSpectrogramLinearCells = 1024,
    kSpectrogramLowFlag = 0x8000,  // frame flag bit: the low-frequency set
};

constexpr double kSpectrogramFloorDb = -500.0;  // start of every cell's running maximum

// The colour of a level in dB: black below −120, then blue → cyan at −90 →
// green at −60 → yellow at −30 → red at 0. Above 0 dB the green term turns
// negative, which the drawing clamps to 0 (pure red).
t3ColorsF spectrogram_colour(double dB);

// The frame flag's set: 1 when the low-frequency bit is set, else 0.
inline int spectrogram_set(int flag) { return (flag & kSpectrogramLowFlag) ? 1 : 0; }

// The linear layout of one frame of FFT size n: cell c is the maximum of
// −500 and the g levels data[c·g] .. data[c·g + g − 1], g = n / 2048 (at
// least 1, and at most what keeps the reads inside kSpectrumBins). Writes
// 1024 levels to cells.
void spectrogram_linearLevels(const double *data, int n, double cells[kSpectrogramLinearCells]);

// The top of the logarithmic axis: half the rate below 80,000 Hz, else
// 40,000 Hz.
double spectrogram_topFrequency(int rate);

// The logarithmic layout of one frame of set 0 or 1 at FFT size n and
// analysis rate `rate` Hz: per cell its level (the maximum over its bins)
// and its left edge as a fraction of the width. Set 0 starts at 300 Hz with
// one cell per bin and takes one cell per j bins in the j-th of 40 groups up
// to the bin of 80 kHz; set 1 (a quarter of the rate) has one cell per bin
// from just above 20 Hz to 400 Hz. Returns the cell count (at most
// kSpectrogramCells), or −1 when the frame cannot be laid out (n < 1, or a
// rate whose top frequency is not above 20 Hz) and must not take a row.
int spectrogram_logLevels(int set, const double *data, int n, int rate, double levels[kSpectrogramCells],
                          float cellX[kSpectrogramCells]);

class widgetSpectrogram : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit widgetSpectrogram(QWidget *parent = nullptr);
    ~widgetSpectrogram() override;

    // Takes one frame: the flag (bit 0x8000: low-frequency set; no other bit
    // is read), the levels in dB by bin, the FFT size n in points and the
    // analysis rate in Hz. In the linear layout a low-frequency frame is
    // ignored (no cell, no row, no repaint). The set's row then advances and
    // the widget repaints.
    void setSpectrumData(int flag, const double *data, int n, int rate);
    // Stores the layout and repaints; the history stays.
    void setSpectrumMode(tSpectrogramMode mode);
    tSpectrogramMode spectrumMode() const { return mMode; }

    // Colours one cell of the set chosen by the flag. Out-of-range cells and
    // rows are ignored.
    void setColorData(double dB, int cell, int flag, int row);
    // Draws one cell from x[0] to x[1] and from y to y + height in the given
    // colour, in the current GL context.
    void draw1box(const float *x, const t3ColorsF *colour, float y, float height);

    // What the history holds, for its owner and for tests.
    bool historyAllocated(int set) const;
    // The cell's colour, or null while the set has no history.
    const t3ColorsF *colourAt(int set, int row, int cell) const;
    int nextRow(int set) const { return mRow[set & 1]; }  // also the oldest row
    int cellCount(int set) const { return mCellCount[set & 1]; }
    float cellX(int set, int cell) const { return mCellX[set & 1][cell]; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    bool ensureHistory(int set);
    t3ColorsF *rowOf(int set, int row) const;
    void advanceRow(int set);
    void loadView(int w, int h);
    void putCell(int at, float x0, float x1, float y0, float y1, const t3ColorsF &left, const t3ColorsF &right);

    struct FreeHistory {
        void operator()(t3ColorsF *history) const;
    };
    // rows × cells each; null until first needed
    std::unique_ptr<t3ColorsF[], FreeHistory> mColours[kSpectrogramSets];
    int mRow[kSpectrogramSets] = {0, 0};
    tSpectrogramMode mMode = kSpectrogramLinear;
    float mCellX[kSpectrogramSets][kSpectrogramCells] = {};
    int mCellCount[kSpectrogramSets] = {0, 0};
    double mLevels[kSpectrogramCells];  // one logarithmic frame's cell levels, scratch
    std::vector<float> mVertices;       // one row's quadrilaterals, built by paintGL
    std::vector<float> mVertexColours;
};
