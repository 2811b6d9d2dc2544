// The track view drawn under a virtual X server: pixels of the grabbed frame
// for the panel, lanes, traces, marks, cursor and edit lines, the cheap
// repaint paths, and the pointer and hover rules driven with QTest.
#include <QHoverEvent>
#include <QMouseEvent>

#include "trackviewfixture.h"

using namespace sxtest;

namespace {

const QRgb kPanel = qRgb(6, 15, 46);
const QRgb kLaneEdge = qRgb(112, 126, 176);
const QRgb kLaneCentre = qRgb(56, 63, 88);
const QRgb kColour1 = qRgb(7, 118, 255);
const QRgb kYellow = qRgb(255, 255, 0);
const QRgb kWhite = qRgb(255, 255, 255);

// Whether `colour` is within `tol` of a pixel up to `radius` pixels away
// from p (lines are one pixel wide and may land on either neighbour).
bool seenNear(const QImage &img, QPoint p, QRgb colour, int radius = 2, int tol = 2) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint q = p + QPoint(dx, dy);
            if (img.rect().contains(q) && near(img.pixel(q), colour, tol)) return true;
        }
    return false;
}

std::string rgb(QRgb c) {
    return std::to_string(qRed(c)) + "," + std::to_string(qGreen(c)) + "," + std::to_string(qBlue(c));
}

// Everything the view told its owner.
struct Heard {
    int edits = 0, pointMoves = 0, clicks = 0, presses = 0, moves = 0, releases = 0;
    int hoverEnters = 0, hoverLeaves = 0, hoverMoves = 0;
    int editRegion = -1, mouseRegion = -1;

    // Connected for the object's life only: the view outlives it.
    explicit Heard(trackGraphic *v) {
        c << QObject::connect(v, &trackGraphic::editParamChanged, [this](int r) {
            ++edits;
            editRegion = r;
        });
        c << QObject::connect(v, &trackGraphic::pointMoved, [this] { ++pointMoves; });
        c << QObject::connect(v, &trackGraphic::mouseClicked, [this](QMouseEvent *, int r) {
            ++clicks;
            mouseRegion = r;
        });
        c << QObject::connect(v, &trackGraphic::mousePressed, [this](QMouseEvent *) { ++presses; });
        c << QObject::connect(v, &trackGraphic::mouseMoved, [this](QMouseEvent *, int r) {
            ++moves;
            mouseRegion = r;
        });
        c << QObject::connect(v, &trackGraphic::mouseReleased, [this](QMouseEvent *, int r) {
            ++releases;
            mouseRegion = r;
        });
        c << QObject::connect(v, &trackGraphic::hoverEnterLowerSide, [this](QHoverEvent *, int r) {
            ++hoverEnters;
            mouseRegion = r;
        });
        c << QObject::connect(v, &trackGraphic::hoverLeaveLowerSide, [this](QHoverEvent *, int r) {
            ++hoverLeaves;
            mouseRegion = r;
        });
        c << QObject::connect(v, &trackGraphic::hoverMoveLowerSide, [this](QHoverEvent *, int) { ++hoverMoves; });
    }
    ~Heard() {
        for (const auto &x : c) QObject::disconnect(x);
    }
    QList<QMetaObject::Connection> c;
    void clear() {
        edits = pointMoves = clicks = presses = moves = releases = hoverEnters = hoverLeaves = hoverMoves = 0;
        editRegion = mouseRegion = -1;
    }
};

}  // namespace

// --- Drawing -------------------------------------------------------------------

TEST_F(TrackViewTest, PanelAndLaneLines) {
    // Track 0 has two channels (a centre line), track 1 one (none).
    owner.fill(2, 400, 40000, [](int, int, int64_t) { return 0.0; });
    view->mChannels[1] = 1;
    view->setWaveForm(&owner.params);
    const QImage img = frame();

    EXPECT_EQ(img.pixel(at(img, 0.1, 0.9)), kPanel) << rgb(img.pixel(at(img, 0.1, 0.9)));
    EXPECT_EQ(img.pixel(at(img, 0.1, 0.1)), kPanel);
    // Above the panel, where the projection's top margin lies: black.
    EXPECT_EQ(img.pixel(at(img, 0.5, 1.095)), qRgb(0, 0, 0));
    EXPECT_TRUE(seenNear(img, at(img, 0.1, 0.5), kLaneEdge));
    EXPECT_TRUE(seenNear(img, at(img, 0.1, 0.75), kLaneCentre));
    // The one-channel lane has its zero line where a centre line would be,
    // but no centre line of its own.
    EXPECT_FALSE(seenNear(img, at(img, 0.1, 0.25), kLaneCentre, 3, 6));
}

TEST_F(TrackViewTest, TracesFillToTheirValueAndStopAtTheClipLevel) {
    // Track 0, two channels, lane 0.5..1: channel 1 centred at 0.875 with
    // clip 0.95, channel 2 at 0.625 with clip 0.7, scale 1/8. Track 1, one
    // channel, lane 0..0.5: centre 0.25, clip 0.45 and 0.05, scale 1/4.
    owner.fill(2, 400, 40000, [](int j, int c, int64_t) { return j == 1 ? 0.5 : (c == 0 ? 0.4 : 2.0); });
    view->mChannels[1] = 1;
    view->setWaveForm(&owner.params);
    QImage img = frame();
    auto isTrace = [](QRgb c) { return qBlue(c) == 255 && qGreen(c) > 100; };

    // Channel 1 at 0.4: filled up to 0.925, empty above.
    EXPECT_TRUE(isTrace(img.pixel(at(img, 0.3, 0.91)))) << rgb(img.pixel(at(img, 0.3, 0.91)));
    EXPECT_EQ(img.pixel(at(img, 0.3, 0.94)), kPanel);
    // The gradient: lighter near the centre than near the value.
    EXPECT_GT(qRed(img.pixel(at(img, 0.3, 0.88))), qRed(img.pixel(at(img, 0.3, 0.92))));
    // Channel 2 at 2.0 would reach 0.875: the fill stops at the clip level
    // 0.7 in colour 1, and mirrors below the centre down to 0.55.
    EXPECT_TRUE(near(img.pixel(at(img, 0.3, 0.698)), kColour1, 16)) << rgb(img.pixel(at(img, 0.3, 0.698)));
    EXPECT_EQ(img.pixel(at(img, 0.3, 0.715)), kPanel);
    EXPECT_TRUE(isTrace(img.pixel(at(img, 0.3, 0.56))));
    EXPECT_EQ(img.pixel(at(img, 0.3, 0.535)), kPanel);
    // The one-channel track at 0.5: 0.125..0.375 around its centre.
    EXPECT_TRUE(isTrace(img.pixel(at(img, 0.3, 0.36))));
    EXPECT_TRUE(isTrace(img.pixel(at(img, 0.3, 0.14))));
    EXPECT_EQ(img.pixel(at(img, 0.3, 0.40)), kPanel);
    EXPECT_EQ(img.pixel(at(img, 0.3, 0.10)), kPanel);

    // Sample lines (finest level of a short file): one line per trace at the
    // entry's value, here the lower one (the upper is not larger than minus
    // the lower), unclipped, in colour 1 beyond the clip level; no fill.
    // Channel 2 at -2.0 lands in the lane below, at 0.375.
    view->mFinestLevel = true;
    view->setWaveForm(&owner.params);
    img = frame();
    EXPECT_TRUE(seenNear(img, at(img, 0.3, 0.375), kColour1, 2, 8));
    EXPECT_TRUE(seenNear(img, at(img, 0.3, 0.825), kColour1, 2, 40));
    EXPECT_EQ(img.pixel(at(img, 0.3, 0.66)), kPanel);
    EXPECT_EQ(img.pixel(at(img, 0.3, 0.2)), kPanel);
    // A long file keeps the envelope even at the finest level.
    view->mShortMaterial = false;
    view->setWaveForm(&owner.params);
    img = frame();
    EXPECT_TRUE(near(img.pixel(at(img, 0.3, 0.698)), kColour1, 16));
}

TEST_F(TrackViewTest, TrackStartingInsideTheViewIsShifted) {
    // Track 1 starts 20,000 frames into a 40,000-frame view and lasts 10,000
    // frames: drawn from 0.5 to 0.75 only.
    owner.fill(2, 400, 40000, [](int, int, int64_t) { return 0.6; });
    view->mChannels[0] = view->mChannels[1] = 1;
    owner.lengths[1] = 10000;
    owner.params.startOffsets[1] = 20000;
    view->setWaveForm(&owner.params);
    const QImage img = frame();
    auto isTrace = [](QRgb c) { return qBlue(c) == 255 && qGreen(c) > 100; };
    EXPECT_TRUE(isTrace(img.pixel(at(img, 0.1, 0.85))));  // track 0 spans the view
    EXPECT_EQ(img.pixel(at(img, 0.45, 0.35)), kPanel);
    EXPECT_TRUE(isTrace(img.pixel(at(img, 0.55, 0.35))));
    EXPECT_TRUE(isTrace(img.pixel(at(img, 0.7, 0.35))));
    EXPECT_EQ(img.pixel(at(img, 0.8, 0.35)), kPanel);
}

TEST_F(TrackViewTest, MarksCursorAndEditLines) {
    owner.fill(1, 400, 40000, [](int, int, int64_t) { return 0.0; });
    owner.setMark(0, "OVER01", 8000);
    owner.setMark(1, "UNLK02", 16000);
    owner.setMark(2, "MARK03", 24000);
    owner.setMark(3, "OVE", 32000);  // only the first four characters count
    owner.setMark(4, "OVERLOAD", 36000);
    owner.setMark(5, "UNLK", 0);  // at the view's start: x 0
    view->mMarks = owner.marks;
    view->mMarkCount = 6;
    view->mMaterialLength = 40000;
    view->setWaveForm(&owner.params);
    view->arrangeOutPoint(0.75);
    view->arrangeInPoint(0.25);
    view->setCursorTypePng(false);
    view->lineCurrentPosition(0.5);
    const QImage img = frame();

    const struct {
        double x;
        QRgb colour;
    } marks[] = {{0.2, qRgb(255, 0, 0)}, {0.4, qRgb(243, 98, 1)}, {0.6, kWhite},
                 {0.8, kWhite},          {0.9, qRgb(255, 0, 0)},  {0.0, qRgb(243, 98, 1)}};
    for (const auto &m : marks) {
        SCOPED_TRACE(m.x);
        // Triangles point down onto the top of the wave area from 1.05.
        EXPECT_TRUE(seenNear(img, at(img, m.x, 1.035), m.colour, 1, 2)) << rgb(img.pixel(at(img, m.x, 1.035)));
        EXPECT_EQ(img.pixel(at(img, m.x + 0.02, 1.035)), kPanel);
    }
    EXPECT_TRUE(seenNear(img, at(img, 0.5, 0.3), kYellow, 1, 0));
    EXPECT_TRUE(seenNear(img, at(img, 0.25, 0.3), kWhite, 1, 0));
    EXPECT_TRUE(seenNear(img, at(img, 0.75, 0.6), kWhite, 1, 0));
    EXPECT_EQ(img.pixel(at(img, 0.6, 0.3)), kPanel);

    // A hidden cursor is not drawn.
    view->enableCursor(false);
    view->setWaveForm(&owner.params);
    EXPECT_FALSE(seenNear(frame(), at(img, 0.5, 0.3), kYellow, 1, 0));
}

TEST_F(TrackViewTest, HandleAndCursorPictures) {
    resizeView(kW, 480);  // room for the tallest cursor picture tried
    pictureScene();
    const struct {
        float ratio;
        const char *suffix;
        const char *cursorSuffix;
    } rows[] = {{1.0f, "", ""},
                {1.2f, "", ""},
                {1.3f, "@1.25x", "@1.25x"},
                {2.0f, "@2x", "@2x"},
                {2.3f, "@2.25x", "@2.25"},
                {2.6f, "@2.5x", "@2.5x"}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.ratio);
        view->changePixelRatio(r.ratio);
        view->setWaveForm(&owner.params);
        const QImage img = frame();
        const QRect expected =
            opaqueBox(QStringLiteral(":/resources2/parts/point_BlueFlat_off%1.png").arg(QLatin1String(r.suffix)));
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_EQ(handleBox(img, 0.25).size(), expected.size());
        EXPECT_EQ(handleBox(img, 0.75).size(), expected.size());
        const int cursor =
            yellowWidth(QStringLiteral(":/resources2/parts/playCursor%1.png").arg(QLatin1String(r.cursorSuffix)));
        ASSERT_GT(cursor, 0);
        EXPECT_NEAR(boxOf(img, img.rect(), yellowish).width(), cursor, 1);
    }

    // A held handle shows its grabbed picture.
    view->changePixelRatio(1.0f);
    view->setWaveForm(&owner.params);
    QImage img = frame();
    auto crop = [&](const QImage &i, double x) {
        const QPoint c = at(i, x, 0.5);
        return i.copy(c.x() - 30, c.y() - 30, 60, 60);
    };
    const QImage idleIn = crop(img, 0.25), idleOut = crop(img, 0.75);
    ASSERT_EQ(idleIn, idleOut);

    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.25, 0.55));
    ASSERT_EQ(view->mDragState, kTrackDragIn);
    img = frame();
    const QImage heldIn = crop(img, 0.25);
    EXPECT_NE(heldIn, idleIn);
    EXPECT_EQ(crop(img, 0.75), idleOut);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.25, 0.55));
    QTest::qWait(50);

    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.75, 0.55));
    ASSERT_EQ(view->mDragState, kTrackDragOut);
    img = frame();
    EXPECT_EQ(crop(img, 0.75), heldIn);
    EXPECT_EQ(crop(img, 0.25), idleIn);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.75, 0.55));
}

TEST_F(TrackViewTest, CursorOnlyRepaintKeepsTheRestOfTheFrame) {
    owner.fill(1, 400, 40000, [](int, int c, int64_t e) { return (0.3 + 0.4 * c) * (1.0 + std::sin(e * 0.07)) / 2.0; });
    view->setWaveForm(&owner.params);
    view->setCursorTypePng(false);
    view->lineCurrentPosition(0.3);
    const QImage before = frame();

    // The owner's arrays change, but a cursor move repaints from the cached
    // frame and must not draw them.
    for (auto &v : owner.upper[0]) v = 0.0;
    for (auto &v : owner.lower[0]) v = 0.0;
    view->lineCurrentPosition(0.6);
    EXPECT_EQ(view->redrawMode(), trackGraphic::kRedrawCursor);
    const QImage after = frame();

    const int oldX = at(before, 0.3, 0).x(), newX = at(before, 0.6, 0).x();
    int differing = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            if (std::abs(x - oldX) <= 2 || std::abs(x - newX) <= 2) continue;
            if (!near(before.pixel(x, y), after.pixel(x, y), 2)) ++differing;
        }
    EXPECT_EQ(differing, 0);
    EXPECT_TRUE(seenNear(after, at(after, 0.6, 0.3), kYellow, 1, 2));
    EXPECT_FALSE(seenNear(after, at(after, 0.3, 0.05), kYellow, 1, 40));

    // A repaint the window system asks for repeats the cursor-only mode.
    view->update();
    settle();
    const QImage again = frame();
    EXPECT_TRUE(near(again.pixel(at(again, 0.5, 0.8)), after.pixel(at(after, 0.5, 0.8)), 2));

    // A new overview redraws everything: the zeroed arrays show.
    view->setWaveForm(&owner.params);
    const QImage redrawn = frame();
    EXPECT_EQ(redrawn.pixel(at(redrawn, 0.5, 0.8)), kPanel);
}

TEST_F(TrackViewTest, IncrementalRedrawDrawsOnlyTheNewColumns) {
    owner.fill(1, 400, 40000, [](int, int, int64_t) { return 0.2; });
    view->mChannels[0] = 1;
    view->setWaveForm(&owner.params);
    (void)frame();

    // Every column grows, but only columns 200..259 are handed over as new.
    owner.fill(1, 400, 40000, [](int, int, int64_t) { return 1.2; });
    owner.offsets[0] = 200;
    owner.widths[0] = 60;
    view->setWaveForm(&owner.params);
    EXPECT_EQ(view->redrawMode(), trackGraphic::kRedrawIncremental);
    const QImage img = frame();
    // Level 0.2 reaches 0.6, level 1.2 the clip level 0.9.
    // (What was restored from the cache may be a step off.)
    EXPECT_TRUE(near(img.pixel(at(img, 0.3, 0.75)), kPanel));
    EXPECT_FALSE(near(img.pixel(at(img, 0.575, 0.75)), kPanel, 10));
    EXPECT_TRUE(near(img.pixel(at(img, 0.8, 0.75)), kPanel));

    // Two incremental requests before one paint: the first one's columns
    // are not lost.
    owner.offsets[0] = 100;
    owner.widths[0] = 20;
    view->setWaveForm(&owner.params);
    owner.offsets[0] = 300;
    owner.widths[0] = 20;
    view->setWaveForm(&owner.params);
    const QImage both = frame();
    EXPECT_FALSE(near(both.pixel(at(both, 0.275, 0.75)), kPanel, 10));
    EXPECT_FALSE(near(both.pixel(at(both, 0.775, 0.75)), kPanel, 10));
}

TEST_F(TrackViewTest, RequestWithoutTracksDrawsTheViewEmpty) {
    owner.fill(1, 400, 40000, [](int, int, int64_t) { return 0.5; });
    view->setWaveForm(&owner.params);
    QImage img = frame();
    ASSERT_NE(img.pixel(at(img, 0.5, 0.8)), kPanel);

    // As the region strip clears a view: its buffers, no track.
    owner.params.trackCount = 0;
    view->setWaveForm(&owner.params);
    img = frame();
    EXPECT_EQ(img.pixel(at(img, 0.5, 0.8)), kPanel);
    EXPECT_EQ(img.pixel(at(img, 0.5, 0.2)), kPanel);

    // A zero first length becomes 1 in the owner's array.
    owner.lengths[0] = 0;
    owner.params.trackCount = 1;
    view->setWaveForm(&owner.params);
    EXPECT_EQ(owner.lengths[0], 1);
    (void)frame();
}

TEST(TrackViewEnable, DisabledViewOnlyRecordsItsSize) {
    trackGraphic view;
    view.resize(300, 120);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.resize(360, 150);
    QApplication::processEvents();
    (void)view.grabFramebuffer();
    double left = 0, right = 0;
    view.getRangeX(&left, &right);
    EXPECT_NE(left, -10.5 / 360);

    // The first paint after enabling applies the size that came meanwhile.
    view.setGLenable(true);
    const QImage img = view.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    view.getRangeX(&left, &right);
    EXPECT_DOUBLE_EQ(left, -10.5 / 360);
    EXPECT_DOUBLE_EQ(right, 1 + 10.5 / 360);
    EXPECT_EQ(img.pixel(img.width() / 2, img.height() / 4), kPanel);

    // Switched off again, the view stops drawing: the frame keeps what it had.
    view.setGLenable(false);
    view.setCursorTypePng(false);
    view.lineCurrentPosition(0.5);
    const QImage still = view.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(still.pixel(img.width() / 2, img.height() / 4), kPanel);
}

// --- Pointer -------------------------------------------------------------------

TEST_F(TrackViewTest, ClickPlacesTheCursor) {
    const struct {
        int64_t S;
        double click;
    } rows[] = {{0, 0.125}, {40, 0.225}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.S);
        owner.fill(1, 400, 40000, [](int, int, int64_t) { return 0.0; });
        owner.params.columns = 100;
        owner.params.firstColumn = r.S;
        view->setWaveForm(&owner.params);
        view->mGain = 0.5;
        Heard heard(view);
        // The wave area's centre, high above the handles.
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.5, 0.1));
        EXPECT_DOUBLE_EQ(view->mCursorPosition, 0.5);
        EXPECT_DOUBLE_EQ(view->mClickPosition, r.click);
        EXPECT_EQ(view->mDragState, kTrackDragCursor);
        EXPECT_EQ(view->redrawMode(), trackGraphic::kRedrawCursor);
        EXPECT_EQ(heard.edits, 1);
        EXPECT_EQ(heard.clicks, 1);
        EXPECT_EQ(heard.presses, 0);
        EXPECT_DOUBLE_EQ(view->mGain, 0.5);  // a press alone keeps the gain

        // Dragging the cursor beyond the right edge: both stop at 1 of
        // their range; the drag resets the gain.
        QTest::mouseMove(view, QPoint(kW + 40, widgetPos(0.5, 0.1).y()));
        EXPECT_DOUBLE_EQ(view->mCursorPosition, 1.0);
        EXPECT_EQ(heard.moves, 1);
        EXPECT_EQ(heard.presses, 1);
        EXPECT_EQ(heard.edits, 2);
        EXPECT_DOUBLE_EQ(view->mGain, 1.0);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(kW + 40, widgetPos(0.5, 0.1).y()));
        EXPECT_EQ(view->mDragState, kTrackDragNone);
        EXPECT_EQ(heard.releases, 1);
        EXPECT_EQ(view->redrawMode(), trackGraphic::kRedrawCursor);
        QTest::qWait(50);
    }
}

TEST_F(TrackViewTest, HandleDragsSwapThroughEachOtherAndStopAtTheRange) {
    owner.fill(1, 400, 40000, [](int, int, int64_t) { return 0.0; });
    view->setWaveForm(&owner.params);
    view->arrangeOutPoint(0.5);
    view->arrangeInPoint(0.25);
    view->mFadeInEnd = 0.3;
    view->mFadeOutStart = 0.45;
    view->mGain = view->mGainLine = 0.5;
    Heard heard(view);

    // With C = L and S = 0 the material fraction is the view x. The handle
    // band lies around the lanes' middle.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.25, 0.55));
    EXPECT_EQ(view->mDragState, kTrackDragIn);
    EXPECT_EQ(heard.edits, 0);  // nothing changed yet
    EXPECT_EQ(heard.clicks, 1);

    struct Step {
        double x;
        int32_t state;
        double in, out;
        bool crossed;
    };
    const Step steps[] = {
        {0.4, kTrackDragIn, 0.4, 0.5, false},
        {0.7, kTrackDragOut, 0.5, 0.7, true},  // past the out point: the old out point becomes the in point
        {0.6, kTrackDragOut, 0.5, 0.6, true},
        {0.3, kTrackDragIn, 0.3, 0.5, true},  // and back past the new in point
    };
    int n = 0;
    for (const Step &s : steps) {
        SCOPED_TRACE(s.x);
        QTest::mouseMove(view, widgetPos(s.x, 0.55));
        ++n;
        EXPECT_EQ(view->mDragState, s.state);
        EXPECT_NEAR(view->mInPoint, s.in, 1e-9);
        EXPECT_NEAR(view->mOutPoint, s.out, 1e-9);
        EXPECT_EQ(view->mCrossed, s.crossed);
        // Every move collapses the fades onto the points and resets the gain.
        EXPECT_EQ(view->mFadeInEnd, view->mInPoint);
        EXPECT_EQ(view->mFadeOutStart, view->mOutPoint);
        EXPECT_EQ(view->mGain, 1.0);
        EXPECT_EQ(view->mGainLine, 1.0);
        EXPECT_EQ(heard.pointMoves, n);
        EXPECT_EQ(heard.edits, n);
        EXPECT_EQ(heard.presses, n);
        EXPECT_EQ(heard.moves, 0);
        EXPECT_EQ(view->redrawMode(), trackGraphic::kRedrawFull);
    }
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.3, 0.55));
    EXPECT_EQ(view->mDragState, kTrackDragNone);
    EXPECT_FALSE(view->mCrossed);
    EXPECT_EQ(heard.releases, 1);
    QTest::qWait(50);

    // The out handle dragged beyond the right end stops at the maximum.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.5, 0.55));
    ASSERT_EQ(view->mDragState, kTrackDragOut);
    QTest::mouseMove(view, QPoint(kW - 1, widgetPos(0.5, 0.55).y()));
    EXPECT_EQ(view->mOutPoint, 1.0);
    QTest::mouseMove(view, QPoint(kW + 60, widgetPos(0.5, 0.55).y()));
    EXPECT_EQ(view->mOutPoint, 1.0);
    EXPECT_NEAR(view->mInPoint, 0.3, 1e-9);
    EXPECT_FALSE(view->mCrossed);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(kW + 60, widgetPos(0.5, 0.55).y()));
}

TEST_F(TrackViewTest, RightButtonAndLocksOnlyReportTheClick) {
    owner.fill(1, 400, 40000, [](int, int, int64_t) { return 0.0; });
    view->setWaveForm(&owner.params);
    view->arrangeOutPoint(0.75);
    view->arrangeInPoint(0.25);
    int lockWord = 0;
    view->mLockWord = &lockWord;
    for (int which = 0; which < 2; ++which) {
        SCOPED_TRACE(which == 0 ? "lock word" : "input lock");
        lockWord = which == 0 ? 4 : 0;
        view->mInputLock = which == 1;
        view->lineCurrentPosition(0.1);
        Heard heard(view);
        for (double x : {0.25, 0.6}) {  // a handle, then the wave area
            QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, widgetPos(x, 0.55));
            QTest::mouseMove(view, widgetPos(x + 0.1, 0.55));
            QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, widgetPos(x + 0.1, 0.55));
            QTest::qWait(50);
        }
        EXPECT_EQ(heard.clicks, 2);
        EXPECT_EQ(heard.edits, 0);
        EXPECT_EQ(heard.moves, 0);
        EXPECT_EQ(heard.presses, 0);
        EXPECT_EQ(heard.releases, 0);
        EXPECT_EQ(view->mInPoint, 0.25);
        EXPECT_EQ(view->mOutPoint, 0.75);
        EXPECT_EQ(view->mCursorPosition, 0.1);
        EXPECT_EQ(view->mDragState, kTrackDragNone);
    }

    // Unlocked, a right-button press only reports the click, on a handle or
    // on the wave area.
    lockWord = 0;
    view->mInputLock = false;
    {
        Heard heard(view);
        for (double x : {0.25, 0.6}) {
            QTest::mousePress(view, Qt::RightButton, Qt::NoModifier, widgetPos(x, 0.55));
            QTest::mouseRelease(view, Qt::RightButton, Qt::NoModifier, widgetPos(x, 0.55));
            QTest::qWait(50);
        }
        EXPECT_EQ(heard.clicks, 2);
        EXPECT_EQ(heard.edits, 0);
        EXPECT_EQ(view->mDragState, kTrackDragNone);
        EXPECT_EQ(view->mCursorPosition, 0.1);
    }

    // The left button on the same handle grabs it.
    lockWord = 0;
    view->mInputLock = false;
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.25, 0.55));
    EXPECT_EQ(view->mDragState, kTrackDragIn);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.25, 0.55));

    // A lock that comes during a drag still ends it at the release.
    QTest::qWait(50);
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.25, 0.55));
    lockWord = 1;
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.25, 0.55));
    lockWord = 0;
    EXPECT_EQ(view->mDragState, kTrackDragNone);
}

TEST_F(TrackViewTest, LowerHalfHoverAndRegionNumbers) {
    view->setRegionNumber(7);
    view->mRegionNumber2 = 9;  // the mouse and hover signals carry this one
    settle();
    Heard heard(view);
    auto send = [&](QEvent::Type type, double y) {
        QHoverEvent e(type, QPointF(50, y), view->mapToGlobal(QPointF(50, y)), QPointF(-1, -1));
        EXPECT_TRUE(QApplication::sendEvent(view, &e));
    };
    // half = 100: 100 is upper, 101 lower.
    send(QEvent::HoverEnter, 40);
    EXPECT_FALSE(view->mLowerSide);
    send(QEvent::HoverMove, 100);
    EXPECT_EQ(heard.hoverEnters, 0);
    send(QEvent::HoverMove, 100.6);  // rounds to 101
    EXPECT_EQ(heard.hoverEnters, 1);
    EXPECT_EQ(heard.mouseRegion, 9);
    send(QEvent::HoverMove, 150);
    EXPECT_EQ(heard.hoverEnters, 1);
    send(QEvent::HoverMove, 60);
    EXPECT_EQ(heard.hoverLeaves, 1);
    // Leaving the widget from the upper half is reported all the same.
    send(QEvent::HoverLeave, 60);
    EXPECT_EQ(heard.hoverLeaves, 2);
    // Entering straight into the lower half.
    send(QEvent::HoverEnter, 180);
    EXPECT_TRUE(view->mLowerSide);
    EXPECT_EQ(heard.hoverEnters, 2);
    EXPECT_EQ(heard.hoverMoves, 0);

    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.5, 0.1));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, widgetPos(0.5, 0.1));
    EXPECT_EQ(heard.editRegion, 7);
    EXPECT_EQ(heard.mouseRegion, 9);
}

// --- Edit range ------------------------------------------------------------------

TEST_F(TrackViewTest, ArrangeRangeReloadAndGain) {
    Heard heard(view);
    auto set = [&](double in, double out) {
        view->mInPoint = view->mFadeInEnd = in;
        view->mOutPoint = view->mFadeOutStart = out;
    };
    set(0.2, 0.5);
    view->arrangeInPoint(0.8);  // keeps the in–out length where it can
    EXPECT_DOUBLE_EQ(view->mInPoint, 0.8);
    EXPECT_DOUBLE_EQ(view->mOutPoint, 1.0);
    EXPECT_DOUBLE_EQ(view->mFadeOutStart, 1.0);
    set(0.2, 0.5);
    view->arrangeInPoint(0.4);
    EXPECT_DOUBLE_EQ(view->mOutPoint, 0.5);
    EXPECT_DOUBLE_EQ(view->mFadeInEnd, 0.4);
    set(0.2, 0.5);
    view->arrangeOutPoint(0.1);
    EXPECT_DOUBLE_EQ(view->mInPoint, 0.0);
    EXPECT_DOUBLE_EQ(view->mOutPoint, 0.1);
    set(0.4, 0.9);
    view->arrangeOutPoint(0.6);
    EXPECT_DOUBLE_EQ(view->mInPoint, 0.4);
    EXPECT_DOUBLE_EQ(view->mFadeOutStart, 0.6);
    EXPECT_EQ(heard.edits, 4);
    EXPECT_EQ(view->redrawMode(), trackGraphic::kRedrawFull);

    // A new allowed range moves the fades in proportion, not the points.
    view->mInPoint = 0.1;
    view->mFadeInEnd = 0.2;
    view->mFadeOutStart = 0.6;
    view->mOutPoint = 0.7;
    view->setWaveRange(0.25f, 0.75f, 0);
    EXPECT_NEAR(view->mFadeInEnd, 0.35, 1e-6);
    EXPECT_NEAR(view->mFadeOutStart, 0.55, 1e-6);
    EXPECT_DOUBLE_EQ(view->mInPoint, 0.1);
    // ... and keeps them between the points.
    view->mInPoint = 0.5;
    view->mOutPoint = 0.52;
    view->setWaveRange(0.0f, 1.0f, 0);
    EXPECT_DOUBLE_EQ(view->mFadeInEnd, 0.5);
    EXPECT_DOUBLE_EQ(view->mFadeOutStart, 0.52);
    EXPECT_EQ(heard.edits, 4);

    view->setWaveRange(0.25f, 0.75f, 0);
    view->mGain = view->mGainLine = 0.3;
    view->mDragState = kTrackDragIn;
    view->trackReloaded();
    EXPECT_EQ(view->mInPoint, 0.25);
    EXPECT_EQ(view->mFadeInEnd, 0.25);
    EXPECT_EQ(view->mOutPoint, 0.75);
    EXPECT_EQ(view->mFadeOutStart, 0.75);
    EXPECT_EQ(view->mGain, 1.0);
    EXPECT_EQ(view->mGainLine, 1.0);
    EXPECT_EQ(view->mDragState, kTrackDragNone);
    EXPECT_EQ(heard.edits, 5);

    view->gainChanged(0.5);
    EXPECT_EQ(view->mGain, 0.5);
    EXPECT_EQ(view->mGainLine, 1.0);
    EXPECT_EQ(heard.edits, 5);
}

// The play cursor moves a little every tick; a move that keeps the line on
// the pixel column it is drawn at draws nothing again, a move to another
// column draws the line there.
TEST_F(TrackViewTest, CursorMovesWithinItsPixelDrawNothing) {
    owner.fill(1, 400, 40000, [](int, int, int64_t) { return 0.0; });
    view->setWaveForm(&owner.params);
    view->setCursorTypePng(false);
    view->lineCurrentPosition(0.5);
    (void)frame();
    struct tPaintCount : QObject {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *e) override {
            if (e->type() == QEvent::Paint) ++paints;
            return false;
        }
    } count;
    auto drain = [] {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    };
    drain();
    view->installEventFilter(&count);
    const double pixel = 1.0 / view->width();
    view->lineCurrentPosition(0.5 + 0.2 * pixel);
    drain();
    EXPECT_EQ(count.paints, 0);
    view->lineCurrentPosition(0.5 + 3.0 * pixel);
    drain();
    EXPECT_GT(count.paints, 0);
    view->removeEventFilter(&count);
    const QImage img = frame();
    EXPECT_TRUE(seenNear(img, at(img, 0.5 + 3.0 * pixel, 0.3), kYellow, 1, 0));
    EXPECT_FALSE(seenNear(img, at(img, 0.5 - 3.0 * pixel, 0.3), kYellow, 1, 0));
}
