// The track view's arithmetic without a window: picture sets, where a
// track's columns fall, the clipped envelope, the pointer and the handle
// drag rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "widgets/trackgeometry.h"

TEST(TrackGeometry, PictureSetByRatio) {
    const struct {
        float ratio;
        const char *handle;
        const char *cursor;
    } rows[] = {
        {0.5f, ":/resources2/parts/point_BlueFlat_off.png", ":/resources2/parts/playCursor.png"},
        {1.2f, ":/resources2/parts/point_BlueFlat_off.png", ":/resources2/parts/playCursor.png"},
        {1.25f, ":/resources2/parts/point_BlueFlat_off@1.25x.png", ":/resources2/parts/playCursor@1.25x.png"},
        {1.99f, ":/resources2/parts/point_BlueFlat_off@1.75x.png", ":/resources2/parts/playCursor@1.75x.png"},
        {2.0f, ":/resources2/parts/point_BlueFlat_off@2x.png", ":/resources2/parts/playCursor@2x.png"},
        {2.3f, ":/resources2/parts/point_BlueFlat_off@2.25x.png", ":/resources2/parts/playCursor@2.25.png"},
        {2.6f, ":/resources2/parts/point_BlueFlat_off@2.5x.png", ":/resources2/parts/playCursor@2.5x.png"},
        {3.2f, ":/resources2/parts/point_BlueFlat_off@3x.png", ":/resources2/parts/playCursor@3x.png"},
        {3.5f, ":/resources2/parts/point_BlueFlat_off@3.5x.png", ":/resources2/parts/playCursor@3.5x.png"},
        {6.0f, ":/resources2/parts/point_BlueFlat_off@4x.png", ":/resources2/parts/playCursor@4x.png"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.ratio);
        const int set = trackGeo_pictureSet(r.ratio);
        EXPECT_EQ(trackGeo_handlePicture(false, set).toStdString(), r.handle);
        EXPECT_EQ(trackGeo_cursorPicture(set).toStdString(), r.cursor);
    }
    EXPECT_EQ(trackGeo_handlePicture(true, trackGeo_pictureSet(2.6f)).toStdString(),
              ":/resources2/parts/point_BlueFlat_on@2.5x.png");
}

TEST(TrackGeometry, ColumnsAndZeroLineOfATrack) {
    // One track filling the view: column x at x/C, entries from S on.
    tTrackColumnMap m = trackGeo_mapColumns(50, 1000, 1000, 100, 50, 0, 0, 49);
    EXPECT_EQ(m.first, 50);
    EXPECT_EQ(m.lo, 0);
    EXPECT_EQ(m.hi, 49);
    EXPECT_EQ(m.span, 50);
    EXPECT_EQ(m.shift, 0.0);
    EXPECT_DOUBLE_EQ(trackGeo_columnX(25, m, 0.0f, 1.0f, 1.0f), 0.5);

    // A track of 1000 frames starting at frame 500 of a 2000-frame view:
    // shifted to a quarter of the width, spanning half of it.
    m = trackGeo_mapColumns(0, 2000, 1000, 100, 100, 500, 0, 99);
    EXPECT_DOUBLE_EQ(m.shift, 0.25);
    EXPECT_EQ(m.first, 0);
    EXPECT_EQ(m.span, 200);
    EXPECT_EQ(m.hi, 100);  // no entries beyond the track's level
    EXPECT_DOUBLE_EQ(trackGeo_columnX(100, m, 0.0f, 1.0f, 1.0f), 0.75);

    // The same track with the view scrolled past its start.
    m = trackGeo_mapColumns(50, 2000, 1000, 100, 50, 500, 0, 49);
    EXPECT_EQ(m.shift, 0.0);
    EXPECT_EQ(m.first, 50);

    // An empty level maps nothing (and computes no NaN into integers).
    for (double L : {0.0, 1.0}) {
        const double C = L == 0.0 ? 10.0 : 0.0;
        m = trackGeo_mapColumns(0, 0, 0, L, C, 0, 0, 9);
        EXPECT_EQ(m.lo, 0);
        EXPECT_EQ(m.hi, 0);
    }

    // The zero line runs as far as the track is ready.
    m = trackGeo_mapColumns(0, 1000, 1000, 100, 100, 0, 0, 99);
    double x0 = 0, x1 = 0;
    ASSERT_TRUE(trackGeo_zeroLine(m, 100, 33, 1000, 1000, 99, 0, 0.0f, 1.0f, &x0, &x1));
    EXPECT_DOUBLE_EQ(x0, 0.0);
    EXPECT_DOUBLE_EQ(x1, 33.0 / 99.0);
    ASSERT_TRUE(trackGeo_zeroLine(m, 100, 100, 1000, 1000, 99, 0, 0.0f, 1.0f, &x0, &x1));
    EXPECT_DOUBLE_EQ(x1, 1.0);
    EXPECT_FALSE(trackGeo_zeroLine(m, 100, 100, 1000, 1000, 0, 0, 0.0f, 1.0f, &x0, &x1));
}

TEST(TrackGeometry, TraceStopsAtTheLastWrittenEntry) {
    // Each column's segment reads the entry after it: the last column drawn
    // is the one before the level's end or the job's ready count.
    struct Case {
        int64_t S, drawOffset, drawEnd, ready, end;
    };
    const Case cases[] = {
        {0, 0, 100, 100, 99},  // a finished overview redrawn up to the level's end
        {0, 0, 100, 500, 99},  // a ready count beyond the level
        {0, 30, 60, 60, 59},   // the points that arrived since the last redraw
        {0, 30, 60, 45, 44},   // asked for more than the job has written
        {0, 30, 60, 20, 30},   // nothing new is ready: nothing drawn
        {0, 0, 99, 0, 0},      // no entry written yet
        {50, 0, 49, 100, 49},  // a scrolled full redraw keeps its columns
        {50, 0, 50, 100, 49},  // ... and ends one before the level's end
    };
    for (const Case &c : cases) {
        const tTrackColumnMap m = trackGeo_mapColumns(c.S, 1000, 1000, 100, 100 - c.S, 0, c.drawOffset, c.drawEnd);
        const int64_t end = trackGeo_traceEnd(m, 100, c.ready);
        EXPECT_EQ(end, c.end) << c.S << " " << c.drawEnd << " " << c.ready;
        if (end > m.lo) EXPECT_LT(m.first + end, std::min<int64_t>(100, c.ready));
    }
}

TEST(TrackGeometry, EnvelopeIsCutAtTheClipLevel) {
    tTrackShadePoint p[2][5];
    int n[2];
    // Both ends beyond the clip level: the full band.
    ASSERT_EQ(trackGeo_envelope(0, 2, 1, 3, 0, 1, -1, p, n), 1);
    ASSERT_EQ(n[0], 4);
    for (int i = 0; i < 4; ++i) EXPECT_LE(p[0][i].y, 1.0);
    EXPECT_EQ(p[0][2].y, 1.0);
    EXPECT_EQ(p[0][2].f, 1.0);

    // One end beyond: cut where the segment crosses the clip level.
    ASSERT_EQ(trackGeo_envelope(0, 0.5, 1, 1.5, 0, 1, -1, p, n), 1);
    ASSERT_EQ(n[0], 5);
    EXPECT_DOUBLE_EQ(p[0][3].x, 0.5);
    EXPECT_DOUBLE_EQ(p[0][3].y, 1.0);
    EXPECT_DOUBLE_EQ(p[0][4].y, 0.5);
    EXPECT_DOUBLE_EQ(p[0][4].f, 0.5);

    // Below the centre the lower clip level applies.
    ASSERT_EQ(trackGeo_envelope(0, -3, 1, -0.5, 0, 1, -1, p, n), 1);
    EXPECT_EQ(p[0][n[0] - 1].y, -1.0);

    // Crossing the centre: two triangles meeting on it.
    ASSERT_EQ(trackGeo_envelope(0, 0.5, 1, -0.5, 0, 1, -1, p, n), 2);
    EXPECT_EQ(n[0], 3);
    EXPECT_EQ(n[1], 3);
    EXPECT_DOUBLE_EQ(p[0][1].x, 0.5);
    EXPECT_DOUBLE_EQ(p[1][0].x, 0.5);

    EXPECT_EQ(trackGeo_envelope(0, 0, 1, 0, 0, 1, -1, p, n), 0);
}

TEST(TrackGeometry, PointerPositionAndHandleGrab) {
    const tTrackBounds b = trackGeo_bounds(420, 200, 200);
    // Halves round away from zero.
    const double step = (b.right - b.left) / 420;
    EXPECT_DOUBLE_EQ(trackGeo_pointer(b, 209.5, 0, 420, 200).xn, 0.5);
    EXPECT_DOUBLE_EQ(trackGeo_pointer(b, 209.49, 0, 420, 200).xn, 0.5 - step);
    EXPECT_DOUBLE_EQ(trackGeo_pointer(b, -0.5, 0, 420, 200).xn, b.left - step);
    EXPECT_DOUBLE_EQ(trackGeo_pointer(b, 0, 200, 420, 200).yn, b.top);
    // A click at the centre with S 0, C 100 and L 400.
    EXPECT_DOUBLE_EQ(trackGeo_materialFraction(0.5, 100, 0, 400), 0.125);
    EXPECT_EQ(trackGeo_materialFraction(0.5, 100, 0, 0), 0.0);  // an empty level

    // Handles are grabbed within their tolerance around the handle band.
    const double y = 0.55;
    EXPECT_EQ(trackGeo_grabHandle(b, 0.25 + 0.99 * b.mx, y, 0.25, 0.75, 400, 0, 400), kTrackDragIn);
    EXPECT_EQ(trackGeo_grabHandle(b, 0.25 + 1.1 * b.mx, y, 0.25, 0.75, 400, 0, 400), kTrackDragNone);
    EXPECT_EQ(trackGeo_grabHandle(b, 0.75, y, 0.25, 0.75, 400, 0, 400), kTrackDragOut);
    EXPECT_EQ(trackGeo_grabHandle(b, 0.25, 0.5 - 0.6 * b.my, 0.25, 0.75, 400, 0, 400), kTrackDragNone);
    EXPECT_EQ(trackGeo_grabHandle(b, 0.25, 0.5 + 2.5 * b.my, 0.25, 0.75, 400, 0, 400), kTrackDragIn);
    // Overlapping handles give the in point.
    EXPECT_EQ(trackGeo_grabHandle(b, 0.5, y, 0.5, 0.5, 400, 0, 400), kTrackDragIn);
    // The handles follow the visible stretch: S 100 of L 400, C 200.
    EXPECT_EQ(trackGeo_grabHandle(b, 0.5, y, 0.5, 0.9, 400, 100, 200), kTrackDragIn);
}

TEST(TrackGeometry, HandleDragRules) {
    const struct {
        int32_t state;
        double in, out, t;
        int32_t stateAfter;
        double inAfter, outAfter;
        bool crossed;
    } rows[] = {
        {kTrackDragIn, 0.2, 0.6, 0.3, kTrackDragIn, 0.3, 0.6, false},
        {kTrackDragIn, 0.2, 0.6, -0.1, kTrackDragIn, 0.0, 0.6, false},
        {kTrackDragIn, 0.2, 0.6, 0.6, kTrackDragOut, 0.6, 0.6, true},
        {kTrackDragIn, 0.2, 0.6, 0.8, kTrackDragOut, 0.6, 0.8, true},
        {kTrackDragIn, 0.2, 0.6, 1.3, kTrackDragOut, 0.6, 1.0, true},
        {kTrackDragOut, 0.2, 0.6, 0.5, kTrackDragOut, 0.2, 0.5, false},
        {kTrackDragOut, 0.2, 0.6, 1.2, kTrackDragOut, 0.2, 1.0, false},
        {kTrackDragOut, 0.2, 0.6, 0.2, kTrackDragOut, 0.2, 0.2, false},
        {kTrackDragOut, 0.2, 0.6, 0.1, kTrackDragIn, 0.1, 0.2, true},
        {kTrackDragOut, 0.2, 0.6, -0.4, kTrackDragIn, 0.0, 0.2, true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.state << " " << r.in << ".." << r.out << " to " << r.t);
        tTrackHandleDrag d = {r.state, r.in, r.out, false};
        trackGeo_dragHandle(&d, r.t, 0.0f, 1.0f);
        EXPECT_EQ(d.state, r.stateAfter);
        EXPECT_DOUBLE_EQ(d.inPoint, r.inAfter);
        EXPECT_DOUBLE_EQ(d.outPoint, r.outAfter);
        EXPECT_EQ(d.crossed, r.crossed);
    }
}

TEST(TrackGeometry, RescaleInSinglePrecision) {
    EXPECT_EQ(trackGeo_rescale(0.2, 0.0f, 1.0f, 0.25f, 0.75f), 0.25f + 0.5f * 0.2f);
    EXPECT_EQ(trackGeo_rescale(0.3, 0.5f, 0.5f, 0.0f, 1.0f), 0.3);  // empty old range: kept
}
