// The waveform track view: one lane per track with the min/max overview of
// each channel, the play cursor, the in and out points with their round
// handles, the fade and gain outline and the file's marks. The owner (the
// main window, or a region of the edit window) computes the overviews and
// hands one resolution level at a time through setWaveForm; the view maps
// it onto its width. A click places the cursor, the handles drag the in and
// out points (also through each other), and every edit is signalled.
//
// Drawing is fixed-function OpenGL in a 2.1 compatibility context. To keep
// the 45 ms cursor updates cheap the view keeps two copies of its own frame
// (cache A: the last complete frame without the cursor; cache B: the
// waveform layer only) and repaints only what changed, by redraw mode:
// 0 full, 1 cursor only, 2 the new overview columns only, 3 frozen. The mode
// set by the last change is kept, so a repaint the window system asks for
// repeats it.
//
// GUI thread only. The owner keeps the overview arrays, the mark table and
// the lock word alive while the view refers to them.
#pragma once

#include <QImage>
#include <QOpenGLWidget>
#include <cstdint>
#include <vector>

#include "morphex/morphexrecords.h"  // tAudioFileMarkAFile: the mark record
#include "widgets/trackgeometry.h"

class QHoverEvent;
class QMouseEvent;
class QOpenGLFunctions_2_1;

// A drawing request: one overview level of every track and the stretch of it
// that is in view. Filled and kept by the owner; setWaveForm copies what it
// needs, and the view reads the arrays it points to at every paint.
struct tSetWaveFormParams {
    int32_t columns = 0;  // C: visible column count
    // Per track (up to 32) an array of {first channel, second channel}
    // doubles, one pair per column of the level, with an entry up to index
    // levelLength (the last column joins entries L - 1 and L).
    double **upperPeaks = nullptr;
    double **lowerPeaks = nullptr;
    int64_t firstColumn = 0;                    // S: first visible column of the level
    int64_t *trackColumns = nullptr;            // [32] K_j: columns of each track ready at this level
    int64_t levelLength = 0;                    // L: the level's column count
    int64_t *drawOffsets = nullptr;             // [32] first new column (visible columns) of an incremental redraw
    int64_t *drawWidths = nullptr;              // [32] new columns of an incremental redraw
    int32_t trackCount = 0;                     // n, at most 32
    int64_t *trackLengths = nullptr;            // [n] N_j: frames of each track; a first length of 0 is set to 1
    double startOffsets[kTrackMaxTracks] = {};  // O_j: where each track starts, in frames
    uint64_t totalLength = 0;                   // T: frames to the end of the longest track (offset included)
};

class trackGraphic : public QOpenGLWidget {
    Q_OBJECT

public:
    enum : int32_t {
        kRedrawFull = 0,
        kRedrawCursor = 1,
        kRedrawIncremental = 2,
        kRedrawFrozen = 3,
    };

    explicit trackGraphic(QWidget *parent = nullptr);
    ~trackGraphic() override;

    // Drawing of this view on or off. A view that was never enabled draws
    // nothing; the first paint after enabling applies the size that came
    // meanwhile.
    void setGLenable(bool on);
    // Takes a new overview and repaints: the whole view, or only the new
    // columns when every track's draw offset and width lie inside the
    // visible columns (and are not the whole of them). A request without
    // tracks draws the view empty.
    void setWaveForm(tSetWaveFormParams *params);
    // Lane count, 0..32; no repaint.
    void setNumOfTrack(int tracks);
    // Moves the play cursor to x (view units) and repaints only the cursor,
    // unless the line stays on the pixel column it is drawn at.
    void lineCurrentPosition(double x);
    void enableCursor(bool on);       // no repaint
    void setCursorTypePng(bool png);  // true: the cursor picture; false: a yellow line; no repaint
    // The number editParamChanged carries; the mouse and hover signals carry
    // mRegionNumber2, which this sets too.
    void setRegionNumber(int region);
    // The ratio of the window's screen at start: current and initial ratio,
    // and the picture set for it.
    void setInitWindowPizelRatio(float ratio);
    // Pictures for a new device pixel ratio; no repaint.
    void changePixelRatio(float ratio);
    void selectPngByRatio(float ratio);
    // Keeps the flag and freezes the image (redraw mode 3).
    void setDragDropMode(bool on);

    // Moves the allowed range of the edit points (fractions of the level);
    // the fade points follow in proportion and stay between the in and out
    // points, which are not moved. No repaint, no signal. The int is unused.
    void setWaveRange(float rangeMin, float rangeMax, int unused);
    // Resets the edit points to the allowed range, the gain to 1 and the
    // level to one column; repaints and emits editParamChanged. Called when a
    // file is opened.
    void trackReloaded();
    // Keeps the region gain and repaints; the owner sets mGainLine itself.
    void gainChanged(double gain);

    // The drawing correction for a window ratio that differs from the
    // initial one: s = 1/k, o = left/k (0 when k is 1). k stays 1 in this
    // system, so s is 1 and o is 0.
    void recalcGLHoseiParameter();
    void getRangeX(double *left, double *right) const;
    // Where track j's overview columns fall in the view (uses the track's
    // current draw offset and end).
    tTrackColumnMap clacParametersForDrawingWaveform(int track) const;

    int32_t redrawMode() const { return mRedrawMode; }

    // --- Written by the owner -------------------------------------------
    const tAudioFileMarkAFile *mMarks = nullptr;  // the owner's mark table (up to kTrackMaxMarks)
    int32_t mMarkCount = 0;
    int64_t mMaterialLength = 0;         // the first track's length in frames; marks are placed by it
    double mLevelZoom = 1.0;             // Z: vertical magnification of the traces
    bool mFinestLevel = false;           // the owner draws its finest overview level
    bool mShortMaterial = true;          // material shorter than 901 s; with mFinestLevel: sample lines
    int32_t mChannels[kTrackMaxTracks];  // 1 = one trace, anything else two; 2 at start
    // While the owner's word is non-zero (the main window's recording state)
    // presses and drags change nothing; presses are still reported. Null
    // reads as unlocked.
    const int *mLockWord = nullptr;
    // The same lock, kept by the view: the main window sets it while its
    // edit controls are disabled (no material loaded).
    bool mInputLock = false;
    int32_t mRegionNumber2 = 0;  // carried by the mouse and hover signals
    int32_t mLeftEdge = 0;       // the owner's own: the view's left edge in its pixels
    double mGain = 1.0;          // region gain, linear
    double mGainLine = 1.0;      // height of the gain outline (view units); the owner keeps it at min(1, gain)

    // --- The edit, changed by the pointer and read by the owner ------------
    // Fractions of the level's length.
    double mInPoint = 0.0;
    double mOutPoint = 1.0;
    double mFadeInEnd = 0.0;
    double mFadeOutStart = 1.0;
    float mRangeMin = 0.0f;  // allowed range of the points
    float mRangeMax = 1.0f;
    double mCursorPosition = 0.0;  // view units
    double mClickPosition = 0.0;   // the last cursor click or drag, 0..1 of the level
    int32_t mDragState = kTrackDragNone;
    bool mCrossed = false;    // the held handle has passed the other point
    bool mLowerSide = false;  // the pointer hovers over the lower half

public slots:
    // In point to v; an out point before v moves with it, keeping the
    // in–out length (at most 1). Full repaint and editParamChanged.
    void arrangeInPoint(double v);
    // Out point to v; an in point after v moves back with it, keeping the
    // length (at least 0). Full repaint and editParamChanged.
    void arrangeOutPoint(double v);

signals:
    // The edit changed (cursor click, every drag move, the arrange and
    // reload operations); carries mRegionNumber.
    void editParamChanged(int region);
    void pointMoved();                                   // after every handle move
    void mouseClicked(QMouseEvent *event, int region);   // at the end of every press, locked or not
    void mousePressed(QMouseEvent *event);               // after every drag move
    void mouseMoved(QMouseEvent *event, int region);     // moves without a drag, and cursor drags
    void mouseReleased(QMouseEvent *event, int region);  // every release while unlocked
    void hoverEnterLowerSide(QHoverEvent *event, int region);
    void hoverLeaveLowerSide(QHoverEvent *event, int region);
    void hoverMoveLowerSide(QHoverEvent *event, int region);  // declared for owners; not emitted

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;
    void hoverEnter(QHoverEvent *event);
    void hoverLeave(QHoverEvent *event);
    void hoverMove(QHoverEvent *event);

    // A vertex through the drawing correction (x·s + o, y·s).
    void glVertex2d_pre(double x, double y);
    void glVertex2f_pre(float x, float y);

private:
    struct Cache {
        std::vector<int8_t> pixels;  // RGB, signed bytes, bottom row first
        int w = 0, h = 0;
        bool valid = false;
    };

    bool locked() const;
    void requestRedraw(int32_t mode);
    QSize framebufferPixels() const;
    void reallocateCaches();
    void readCache(Cache &c);
    void drawCache(const Cache &c);
    void drawPicture(const QImage &picture, double x, double y);
    void windowPos(double x, double y);
    void shade(double f);
    void drawPanel();
    void drawWaveform(int32_t mode);
    void drawTrace(const tTrackColumnMap &map, const double *upper, const double *lower, int channel, double centre,
                   double clipTop, double clipBottom, double scale, float factor, bool lines);
    void drawOverlay();
    void drawCursor();
    void pointerFraction(const QPointF &pos, double *xn, double *t) const;

    QOpenGLFunctions_2_1 *mGL = nullptr;

    // Enable.
    bool mGLEnabled = false;
    bool mResized = false;  // since enabling
    int mPendingW = 1, mPendingH = 1;
    bool mInPaint = false;

    // Geometry.
    int mLastW = 0, mLastH = 0;
    tTrackBounds mBounds;
    float mRatio = 1.0f;
    float mInitRatio = 1.0f;
    float mCorrectionRatio = 1.0f;   // k
    double mCorrectionScale = 1.0;   // s
    double mCorrectionOffset = 0.0;  // o

    // Overview.
    double **mUpper = nullptr;
    double **mLower = nullptr;
    int64_t mColumns = 0;  // C
    double mColumnsD = 1.0;
    int64_t mFirstColumn = 0;   // S
    double mLevelLength = 1.0;  // L
    int32_t mTrackCount = 1;    // n
    double mTrackCountD = 1.0;
    int64_t *mTrackLengths = nullptr;             // N_j, the owner's array
    uint64_t mTotalLength = 1;                    // T
    int64_t mTrackColumns[kTrackMaxTracks] = {};  // K_j
    double mStartOffsets[kTrackMaxTracks] = {};   // O_j
    int64_t mDrawOffset[kTrackMaxTracks] = {};
    int64_t mDrawWidth[kTrackMaxTracks] = {};
    int64_t mDrawEnd[kTrackMaxTracks] = {};
    float mHScale[kTrackMaxTracks];

    // Display.
    bool mCursorShown = true;
    bool mCursorPng = true;
    int32_t mRedrawMode = kRedrawFull;
    bool mDragDrop = false;
    // Paints are scheduled, so several requests can arrive before one
    // paint: a full redraw or new columns asked for and not yet painted must
    // not be lost to a later, smaller request.
    bool mOweFull = true;
    bool mOweColumns = false;
    int32_t mRegionNumber = 0;

    // Colours 1 and 2 of the traces, RGB out of 255.
    uint8_t mColour1[3] = {7, 118, 255};
    uint8_t mColour2[3] = {75, 186, 255};

    // Pictures, RGBA with the bottom row first; the set in use for handles
    // and cursor.
    QImage mHandleOff[kTrackPictureSets];
    QImage mHandleOn[kTrackPictureSets];
    QImage mCursor[kTrackPictureSets];
    int mHandleSet = 0;
    int mCursorSet = 0;

    Cache mCacheA;  // the last complete frame without the cursor
    Cache mCacheB;  // the last frame with the waveform layer only
};
