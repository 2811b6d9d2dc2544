// widgetLissajous: a phase scope of a stereo signal. Each frame (left,
// right) is drawn as a point, the picture turned by 45 degrees so that a mono
// signal lies on the vertical and an out-of-phase signal on the horizontal.
// The scope keeps the last 18 blocks it was given as layers and draws the
// newest mDrawLayers of them, older ones darker. Every block also gets a
// phase estimate between the channels; a paint turns the estimates since the
// last paint into their mean (getPhaseParameters).
//
// Memory: 18 layers of 172,800 frames (about 50 MB). They are allocated by
// allocateLayers() or, failing that, by the first block, so that a scope
// nobody feeds (the mixer strips') costs nothing. When a block needs more
// than the layers hold, the layers are replaced by larger cleared ones; if
// that allocation fails the block is dropped and the old layers stay.
//
// GUI thread only. setLissajous reads a ring the audio engine rewrites
// without a lock: the caller hands frames the engine wrote before the write
// count it read.
#pragma once

#include <QOpenGLWidget>
#include <memory>

enum : int {
    kLissajousLayers = 18,
    kLissajousLayerFrames = 172800,  // covers 45 ms at every playing rate
    kLissajousMaxBlock = 99999999,   // larger blocks are ignored
    kLissajousRampEntries = 12,
    kLissajousMaxRuns = kLissajousLayers + kLissajousRampEntries + 2,
};

// The colour ramp of the points, oldest to newest, as (red, green, blue)
// fractions of 1.
extern const float gLissajousRamp[kLissajousRampEntries][3];

// One stretch of points drawn in one colour: `count` frames from frame
// `first` of drawn layer `layer` (0 = the oldest drawn), in ramp entry
// `colour`.
struct tLissajousRun {
    int layer;
    int first;
    int count;
    int colour;
};

// How `layers` layers of `points` frames each are coloured, oldest layer
// first. With S = layers·points / 12 (integers) and the points numbered k
// across all layers, a counter c starts at 0; every layer starts in ramp
// entry c, and after point k = (c + 1)·S the colour becomes entry c and c
// moves on (it stops at 11). The newest layers therefore come out brightest.
// Returns the number of runs written (at most kLissajousMaxRuns); 0 for
// layers or points ≤ 0.
int lissajous_colourRuns(int layers, int points, tLissajousRun runs[kLissajousMaxRuns]);

// Copies `count` frames (pairs of doubles) of a ring of `length` frames from
// frame `start` into dst, continuing at frame 0 after the ring's end. start
// is taken modulo the ring (negative counts back from the end), so only
// frames 0..length − 1 are read. Nothing is copied for length ≤ 0.
void lissajous_copyFromRing(double *dst, const double *ring, int count, int length, int start);

class widgetLissajous : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit widgetLissajous(QWidget *parent = nullptr);
    ~widgetLissajous() override;

    // Allocates the layers (cleared) if they are not there yet. False when
    // the memory cannot be had; the scope then stays empty until a block
    // allocates them.
    bool allocateLayers();
    bool layersAllocated() const { return mLayer[0] != nullptr; }

    // Takes a block: `count` frames of the ring `frames` (pairs of doubles,
    // left then right) of `length` frames, from frame `start`. The block
    // becomes the newest layer and its phase estimate joins the next paint's
    // mean. Blocks above kLissajousMaxBlock frames, negative counts and, for
    // a non-empty block, a null ring or a length ≤ 0 are ignored.
    void setLissajous(const double *frames, int count, int length, int start);
    void setDrawLayer(int layers);      // layers drawn; the window offers 1..10
    void setDrawPointSize(float size);  // holds for the next paint only
    double getPhaseParameters() const { return mPhase; }
    // Turns the estimates of the blocks since the last refresh into their
    // mean; with no block since, the phase stays. Every paint does this
    // after drawing; a reader that cannot wait for the paint calls it first.
    void refreshPhase();

    // Draws the mDrawLayers newest layers with `count` frames each, then
    // refreshes the phase. `frames` is not used. Called by paintGL with the
    // newest block's frame count.
    void drawLissajous(const double *frames, int count);

    // The phase estimate on its own, over rings: zero crossings of the left
    // lane of `ref`, measured values from `meas` (left lane for an even
    // channel, right for an odd one); count frames of rings of `length`
    // frames from frame `start`.
    double calcPhaseValue(const double *ref, const double *meas, int count, int channel, int start, int length) const;
    // Repaints; the angle is fixed at 45 degrees.
    void rotateLissajous(int degrees);

    // Window coordinates of a scene point; see mixer/glproject.h.
    static bool project(double objX, double objY, double objZ, const double model[16], const double projection[16],
                        const int viewport[4], double *winX, double *winY, double *winZ);
    static void transformPoint(double out[4], const double m[16], const double in[4]);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    struct AlignedFree {
        void operator()(double *block) const;
    };
    using Layer = std::unique_ptr<double[], AlignedFree>;

    bool replaceLayers(int frames);
    void loadView(int w, int h);

    Layer mLayer[kLissajousLayers];
    int mLayerIndex = 0;                         // the layer written last
    int mLayerPoints = 0;                        // frames of the newest block, drawn per layer
    int mRotation = 45;                          // degrees
    int mLayerCapacity = kLissajousLayerFrames;  // frames per layer
    double mPhaseSum = 0.0;                      // block estimates since the last paint
    int mPhaseBlocks = 0;
    double mPhase = 0.0;  // their mean at the last paint that had any
    int mDrawLayers = 1;
    float mPointSize = 2.0f;
};
