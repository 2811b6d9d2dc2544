// widgetEq: the response graph of the parametric equaliser window. On a
// log-frequency axis (x = log10 Hz) and a dB axis it draws, back to front,
// the grid, the two-channel spectrum of the signal, each band's response as
// a translucent area down to 0 dB, the total response as a white line and
// one picture per band at its frequency and gain. Dragging a band picture
// moves the band within the graph's limits and reports it through
// eqParamChanged.
//
// The graph computes no equaliser response: its owner evaluates each band
// at the fixed sample frequencies of the curve rows, writes the dB values
// into the band's row and calls redrawEqCurve, which sums the shown rows
// into the total. The owner reads and writes the band points, the rows' dB
// values and the flags directly. The graph draws no text; the captions are
// labels of the owner's form.
//
// GUI thread only. The spectrum arrays belong to the audio engine, whose
// analysis thread rewrites them while a paint reads them, without a lock: a
// paint may show parts of two consecutive spectra.
#pragma once

#include <QImage>
#include <QOpenGLWidget>
#include <vector>

class QMouseEvent;

enum : int {
    kEqGraphBands = 4,
    kEqCurveRows = 5,  // rows 0..3 the bands (window order EQ1..EQ4), row 4 the total
    kEqTotalRow = 4,
    kEqCurvePoints = 2180,    // 20..999 Hz by 1, 1000..9990 by 10, 10000..39900 by 100
    kEqPeakHoldBins = 14860,  // peak-hold values per channel
    kEqPointStates = 3,       // off, on, onon (being dragged)
    kEqPointSets = 2,         // device pixel ratio below 2, and "@2x"
};

// Graph coordinates of the view.
constexpr double kEqViewLeft = 1.101;    // log10 of about 12.6 Hz
constexpr double kEqViewBottom = -21.3;  // dB
constexpr double kEqViewTop = 21.2;
constexpr double kEqViewHeight = 42.5;        // dB from bottom to top
constexpr double kEqGridLeft = 1.301;         // log10 20: left end of the dB lines, lowest drag
constexpr double kEqGridRightNormal = 4.602;  // log10 40 kHz
constexpr double kEqAxisTopNormal = 4.652;
constexpr double kEqGridRightHf = 5.0;  // log10 100 kHz
constexpr double kEqAxisTopHf = 5.05;
constexpr double kEqDragGainMax = 18.0;  // dB either side of 0
constexpr double kEqPickDecades = 0.06;  // horizontal hit tolerance of a band picture

// A band point: frequency in Hz, gain in dB and log10 of the frequency.
struct tEqBandPoint {
    double freq;
    double gain;
    double logFreq;
};

// One sample point of a curve row.
struct tEqCurvePoint {
    double freq;     // Hz
    double logFreq;  // log10 freq
    double dB;
};

// One step of the spectrum outline: the filled quadrilateral (x0, y0),
// (x0, −18), (x1, −18), (x1, y1) in graph coordinates.
struct tEqSpecSegment {
    double x0;
    double y0;
    double x1;
    double y1;
};

// The highest band frequency at a rate: 20 kHz up to 48 kHz, 40 kHz up to
// 96 kHz, 44 kHz above.
int eqGraph_bandFreqLimit(int rate);

// The sample frequency of curve point i (0 .. kEqCurvePoints − 1), Hz.
int eqGraph_sampleFrequency(int i);

// A pointer position in widget pixels (w × h) as graph coordinates: log10
// frequency and dB.
double eqGraph_pointerLogFreq(double x, int w, double axisTop);
double eqGraph_pointerDb(double y, int h);

// The vertical hit tolerance in dB: 0.06 decade in pixels, as if the grid's
// span from 20 Hz to gridRight filled the width, read as dB as if 36 dB
// filled the height. 0 for an empty widget.
double eqGraph_pickTolerance(int w, int h, double gridRight);

// The first band (0..3) whose point lies within 0.06 decade and tolerance
// dB of (logFreq, dB); −1 when none does.
int eqGraph_pickBand(const tEqBandPoint points[kEqGraphBands], double logFreq, double dB, double tolerance);

// Where a drag to (logFreq, dB) puts a band point: gain held within
// ±18 dB, log10 frequency within 1.301 .. dragLogMax, and a frequency at or
// above the band-frequency limit set to the limit exactly.
tEqBandPoint eqGraph_dragPoint(double logFreq, double dB, double dragLogMax, int freqLimit);

// The spectrum outline of one channel, appended to out. s holds the levels
// in dB by bin of an FFT of n points at rate Hz (rates of 2.8224 MHz and
// more are read as 176.4 kHz: the engine analyses DSD decimated to that
// rate); hold is the channel's falling peak hold of holdBins values, which
// the call updates (peaks fall 4.95 dB per call). The outline runs from
// 20 Hz to 40 kHz (100 kHz in HF mode) or half the rate, whichever is lower,
// one segment per bin at the bottom and one per g bins in the g-th of 40
// groups above. Spectrum 0 dB is graph 0 dB and −90 dB the bottom line
// (5 dB of spectrum per graph dB). Bins beyond the hold are not drawn.
// Nothing is appended for a null array, n < 2 or a rate ≤ 0.
void eqGraph_spectrumSegments(const double *s, double *hold, int holdBins, int n, int rate, bool hfMode,
                              std::vector<tEqSpecSegment> &out);

class widgetEq : public QOpenGLWidget {
    Q_OBJECT

public:
    explicit widgetEq(QWidget *parent = nullptr);
    ~widgetEq() override;

    // Rate for the band-frequency limit and the drag range. Every band
    // point at or above the new limit moves to the limit and is reported
    // with eqParamChanged, in band order; the owner applies it to its band.
    void setSampleRate(int rate);
    // HF mode widens the axis to 100 kHz (view to about 112 kHz).
    void setHfMode(bool hf);
    // The spectrum to draw behind the curves: left and right arrays of
    // levels in dB by bin (not owned; each must hold the bins up to the top
    // frequency, at most half the FFT size), the FFT size in points and the
    // analysis rate in Hz.
    void setFftParams(double *left, double *right, int fftSize, int rate);
    // Sums the shown rows into the total row and repaints; the argument is
    // not used.
    void redrawEqCurve(int row);

    // Picture set for a device pixel ratio ("@2x" from 2.0 on); paintGL does
    // this whenever the widget's ratio changes.
    void reloadPngdata(float ratio);
    // mDragLogMax for a rate: min(5.0, log10 rate).
    void setXmaxEQContBySampleRate(int rate);
    // Pixel column of a log10 frequency and pixel row of a dB value.
    int getXcoordinate(float logFreq) const;
    int getYcoordinate(float dB) const;
    // Window coordinates of a scene point; see mixer/glproject.h.
    static bool project(double objX, double objY, double objZ, const double model[16], const double projection[16],
                        const int viewport[4], double *winX, double *winY, double *winZ);
    static void transformPoint(double out[4], const double m[16], const double in[4]);

    // ---- State the owner reads and writes ----
    tEqBandPoint mBandPoint[kEqGraphBands];  // 0 = EQ1 .. 3 = EQ4
    int mDragBand = 0;                       // band being dragged + 1; 0 none
    std::vector<tEqCurvePoint> mCurve[kEqCurveRows];
    int mCurvePoints = kEqCurvePoints;
    bool mCurveShown[kEqGraphBands] = {};  // row drawn and counted in the total
    bool mPointLit[kEqGraphBands] = {};    // band picture may show "on"
    bool mEqOn = false;                    // equaliser on: the second condition of "on"

    // ---- State the graph keeps ----
    bool mHfMode = false;
    double mPickTolerance = 0.0;                                      // dB
    QImage mPointImage[kEqPointSets][kEqGraphBands][kEqPointStates];  // RGBA, bottom row first
    int mPointSet = 0;
    double mPointHalfWidth = 0.0;   // log10 units
    double mPointHalfHeight = 0.0;  // dB
    int mSpecRate = 44100;
    int mSpecSize = 0;  // 0: no spectrum
    const double *mSpecL = nullptr;
    const double *mSpecR = nullptr;
    double mGridRight = kEqGridRightNormal;
    double mAxisTop = kEqAxisTopNormal;
    double mDragLogMax = 0.0;
    float mPixelRatio = 0.0f;
    std::vector<double> mPeakHold[2];  // kEqPeakHoldBins each, dB
    int mSampleRate = 44100;
    int mBandFreqLimit = 20000;

signals:
    // A band point was moved by a drag or by setSampleRate; band 0..3.
    void eqParamChanged(int band);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    void loadView();
    void updatePointOffsets(int w, int h);
    void drawGrid();
    void drawSpectrum();
    void drawRows();
    void drawTotalAndPoints();

    std::vector<tEqSpecSegment> mSegments;  // reused by every paint
};
