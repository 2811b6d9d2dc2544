// The timeline's and the region strip's arithmetic, without windows.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "editing/regiongeometry.h"
#include "editing/timelinemath.h"

TEST(TimelineMath, SpanAndFileLength) {
    EXPECT_EQ(timelineSpanSeconds(800), 300);
    EXPECT_EQ(timelineSpanSeconds(700), 262);
    // A wave area without width still has a span to divide by.
    EXPECT_EQ(timelineSpanSeconds(0), 1);
    EXPECT_EQ(timelineSpanSeconds(2), 1);

    struct Row {
        uint32_t high, low, bits, channels;
        uint64_t length;
    };
    const Row rows[] = {
        {0, 6000000, 24, 2, 1000000},
        {0, 6000000, 1, 2, 24000000},
        {1, 0, 16, 2, UINT64_C(1) << 30},               // 4 GiB of 16-bit stereo: the high word counts
        {3, 0x80000000u, 32, 1, UINT64_C(0xE0000000)},  // 14 GiB of 32-bit mono
        {0, 6000000, 0, 2, 0},                          // no word length: no length, no division
        {0, 6000000, 24, 0, 0},
        {0xFFFFFFFFu, 0xFFFFFFF8u, 8, 1, UINT64_C(0xFFFFFFFFFFFFFFF8)},  // bytes x 8 beyond 64 bits
        {0xFFFFFFFFu, 0xFFFFFFF8u, 1, 1, UINT64_MAX},                    // a length beyond 64 bits stops at the largest
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.length);
        EXPECT_EQ(timelineFileLength(r.high, r.low, r.bits, r.channels), r.length);
    }
}

TEST(TimelineMath, RegionStartFromDropX) {
    // 350 of 800 pixels into five minutes.
    EXPECT_EQ(timelineStartSample(350, 800, 0, 300 * 44100), 5788125);
    EXPECT_EQ(timelineStartSample(350, 800, 1000, 1000 + 300 * 44100), 1000 + 5788125);
    // The product is taken in single precision: 1/3 of 10^8 lands on the
    // float grid (steps of 2 there), not on 33,333,333.
    EXPECT_EQ(timelineStartSample(1, 3, 0, 100000000), 33333334);
    EXPECT_EQ(timelineStartSample(-80, 800, 0, 300 * 44100), -1323000);  // dragged left of the start
    EXPECT_EQ(timelineStartSample(350, 0, 77, 1000), 77);
}

TEST(TimelineMath, RegionPlacementInTheVisibleRange) {
    const int64_t vs = 1000, ve = 2000;  // R = 1000
    struct Row {
        const char *what;
        int64_t s;
        uint64_t n;
        float left, right, hiddenStart, shownEnd;
    };
    const Row rows[] = {
        {"wholly before", 100, 800, 0, 0, 0, 0},
        {"ends at the visible start", 500, 500, 0, 0, 1.0f, 1.0f},
        {"cut on the left", 500, 1000, 0, 0.5f, 0.5f, 1.0f},
        {"over both ends", 500, 2000, 0, 1.5f, 0.25f, 1.0f},
        {"inside", 1250, 500, 0.25f, 0.75f, 0, 1.0f},
        {"the whole range", 1000, 1000, 0, 1.0f, 0, 1.0f},
        {"cut on the right", 1500, 2000, 0.5f, 1.0f, 0, 0.25f},
        {"starts at the visible end", 2000, 10, 0, 0, 0, 0},
        {"wholly after", 2500, 10, 0, 0, 0, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        const tTlWavedrawInfo p = timelinePlaceRegion(r.s, r.n, vs, ve);
        EXPECT_TRUE(p.visible);
        EXPECT_FLOAT_EQ(p.left, r.left);
        EXPECT_FLOAT_EQ(p.right, r.right);
        EXPECT_FLOAT_EQ(p.hiddenStart, r.hiddenStart);
        EXPECT_FLOAT_EQ(p.shownEnd, r.shownEnd);
    }
    // An empty range places nothing rather than dividing by zero.
    const tTlWavedrawInfo empty = timelinePlaceRegion(0, 100, 500, 500);
    EXPECT_TRUE(empty.visible);
    EXPECT_EQ(empty.right, 0.0f);
}

TEST(TimelineMath, CursorZoomAndScroll) {
    EXPECT_DOUBLE_EQ(timelineCursorFraction(0.0, 1.0, 350, 700), 0.5);
    EXPECT_DOUBLE_EQ(timelineCursorFraction(0.25, 0.75, 350, 700), 0.5);
    EXPECT_DOUBLE_EQ(timelineCursorFraction(0.0, 1.0, 5, 0), 5.0);  // no width: counted as 1
    EXPECT_EQ(timelineCursorSamples(300, 0.5), 150 * 44100);
    EXPECT_EQ(timelineCursorX(700, 0.5), 416);
    EXPECT_EQ(timelineCursorX(700, 0.0), 66);

    // Centred on the cursor, held at the start.
    tTimelineRange r = timelineZoomRange(0.5, 2.0, 300);
    EXPECT_DOUBLE_EQ(r.startF, 0.25);
    EXPECT_DOUBLE_EQ(r.endF, 0.75);
    EXPECT_EQ(r.visibleStart, 75 * 44100);
    EXPECT_EQ(r.visibleEnd, 225 * 44100);
    r = timelineZoomRange(0.01, 2.0, 300);
    EXPECT_DOUBLE_EQ(r.startF, 0.0);
    EXPECT_DOUBLE_EQ(r.endF, 0.5);
    r = timelineZoomRange(0.5, 1.0 / 64, 300);
    EXPECT_DOUBLE_EQ(r.startF, 0.0);
    EXPECT_DOUBLE_EQ(r.endF, 64.0);
    EXPECT_EQ(r.visibleEnd, int64_t{64} * 300 * 44100);

    // Position 7200 of 14400 is half of 24 hours; the range is S / zoom
    // seconds long, rounded to whole seconds.
    r = timelineScrollRange(7200, 14400, 300, 1.0);
    EXPECT_EQ(r.visibleStart, int64_t{43200} * 44100);
    EXPECT_EQ(r.visibleEnd, int64_t{43500} * 44100);
    EXPECT_DOUBLE_EQ(r.startF, 144.0);
    EXPECT_DOUBLE_EQ(r.endF, 145.0);
    r = timelineScrollRange(7200, 14400, 300, 64.0);  // 4.6875 s -> 5 s
    EXPECT_EQ(r.visibleEnd, int64_t{43205} * 44100);
    r = timelineScrollRange(7200, 14400, 262, 8.0);  // 32.75 s -> 33 s
    EXPECT_EQ(r.visibleEnd, int64_t{43233} * 44100);
    // Beyond the maximum the start stays at 24 hours; a maximum of 0 is 1.
    EXPECT_EQ(timelineScrollRange(30000, 14400, 300, 1.0).visibleStart, int64_t{86400} * 44100);
    EXPECT_EQ(timelineScrollRange(1, 0, 300, 1.0).visibleStart, int64_t{86400} * 44100);
    EXPECT_EQ(timelineScrollRange(0, 0, 300, 1.0).visibleStart, 0);
    // A position times 86,400 beyond an int.
    EXPECT_EQ(timelineScrollRange(2000000000, 2000000000, 300, 1.0).visibleStart, int64_t{86400} * 44100);

    EXPECT_EQ(timelineZoomIn(1.0), 2.0);
    EXPECT_EQ(timelineZoomIn(64.0), 64.0);
    EXPECT_EQ(timelineZoomOut(1.0), 0.5);
    EXPECT_EQ(timelineZoomOut(1.0 / 64), 1.0 / 64);
}

TEST(RegionGeometry, LevelsAndLoadingSteps) {
    const int64_t points[kRegionLevels] = {3200, 6400, 12800, 25600, 102400, 819200, 1638400};
    for (int k = 0; k < kRegionLevels; ++k) EXPECT_EQ(regionLevelPoints(k), points[k]);
    EXPECT_EQ(regionLevelPoints(7), 0);

    const struct {
        float zoom;
        int level;
    } zooms[] = {{1.0f, 0},  {4.0f, 0},  {4.5f, 1},   {8.0f, 1},    {16.0f, 2},   {17.0f, 3},
                 {32.0f, 3}, {33.0f, 4}, {128.0f, 4}, {1024.0f, 5}, {2048.0f, 6}, {1e6f, 6}};
    for (const auto &z : zooms) EXPECT_EQ(regionLevelForZoom(z.zoom), z.level) << z.zoom;

    tRegionDrawSpan s = regionDrawSpan(0.0, 1.0, 3200);
    EXPECT_EQ(s.first, 0);
    EXPECT_EQ(s.columns, 3200);
    s = regionDrawSpan(0.25, 1.0, 3200);
    EXPECT_EQ(s.first, 800);
    EXPECT_EQ(s.columns, 2400);
    // Only the points that arrived since the last cycle, while they lie in
    // the shown stretch.
    EXPECT_EQ(regionNewPoints(1000, 400, s), 600);
    EXPECT_EQ(regionNewPoints(3200, 400, s), 2800);
    EXPECT_EQ(regionNewPoints(3201, 400, s), 0);
    EXPECT_EQ(regionNewPoints(300, 400, s), 0);
}

TEST(RegionGeometry, EditRecordFromTheHandles) {
    tWaveEditParam e = regionEditParams(0.25, 0.75, 0.375, 0.625, 0.5, 1000000.0);
    EXPECT_EQ(e.inPoint, 250000);
    EXPECT_EQ(e.fadeInLength, 125000);
    EXPECT_EQ(e.gain, 0.5);
    EXPECT_EQ(e.fadeOutLength, 125000);
    EXPECT_EQ(e.outPoint, 750000);
    // Truncated toward zero, never rounded.
    e = regionEditParams(1.0 / 3, 2.0 / 3, 0.5, 0.6, 1.0, 1000.0);
    EXPECT_EQ(e.inPoint, 333);
    EXPECT_EQ(e.fadeInLength, 166);
    EXPECT_EQ(e.fadeOutLength, 66);
    EXPECT_EQ(e.outPoint, 666);
    e = regionEditParams(0.0, 1.0, 0.0, 1.0, 1.0, 0.0);
    EXPECT_EQ(e.outPoint, 0);
}

TEST(RegionGeometry, ViewPlacement) {
    // Cut on the right: the view keeps the region's full width and the wave
    // area clips it.
    tTlWavedrawInfo info{0.2f, 1.0f, 0.0f, 0.5f, true};
    tRegionViewPlace p = regionViewPlace(info, 1000);
    EXPECT_TRUE(p.placed);
    EXPECT_EQ(p.x, 200);
    EXPECT_EQ(p.leftEdge, 200);
    EXPECT_EQ(p.width, 1600);
    EXPECT_EQ(p.drawStart, 0.0);
    EXPECT_EQ(p.drawEnd, 1.0);

    // Cut on the left: the hidden part is not drawn.
    p = regionViewPlace({0.0f, 0.5f, 0.25f, 1.0f, true}, 1000);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.width, 500);
    EXPECT_FLOAT_EQ(static_cast<float>(p.drawStart), 0.25f);
    EXPECT_EQ(p.drawEnd, 1.0);

    // Outside the range: an empty view.
    p = regionViewPlace({0.0f, 0.0f, 0.0f, 0.0f, true}, 1000);
    EXPECT_TRUE(p.placed);
    EXPECT_EQ(p.width, 0);
    EXPECT_EQ(p.x, 0);

    // Not placed by the owner: nothing but an empty stretch.
    p = regionViewPlace({0.3f, 0.6f, 0.0f, 1.0f, false}, 1000);
    EXPECT_FALSE(p.placed);
    EXPECT_EQ(p.drawStart, 0.0);
    EXPECT_EQ(p.drawEnd, 0.0);

    // A long region at a high zoom would be 50,000 pixels wide: the view
    // stops at the wave area's edge and draws the 1% of the region there.
    p = regionViewPlace({0.5f, 1.0f, 0.0f, 0.01f, true}, 1000);
    EXPECT_EQ(p.x, 500);
    EXPECT_EQ(p.width, 500);
    EXPECT_NEAR(p.drawEnd, 0.01, 1e-6);
    // The same over both ends of the range, the hidden start kept.
    p = regionViewPlace({0.0f, 40.0f, 0.5f, 1.0f, true}, 1000);
    EXPECT_EQ(p.width, 1000);
    EXPECT_DOUBLE_EQ(p.drawStart, 0.5);
    EXPECT_NEAR(p.drawEnd, 0.5 + 0.5 / 40, 1e-6);
}

TEST(RegionGeometry, OneRegionPlacement) {
    int x = -1, w = -1;
    ASSERT_TRUE(regionOnePlace(0.0f, 1.0f, 1000, &x, &w));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(w, 1000);
    ASSERT_TRUE(regionOnePlace(0.5f, 1.0f, 1000, &x, &w));
    EXPECT_EQ(x, 490);
    EXPECT_EQ(w, 509);
    EXPECT_FALSE(regionOnePlace(0.0f, 1.0f, 0, &x, &w));
    EXPECT_FALSE(regionOnePlace(std::numeric_limits<float>::quiet_NaN(), 1.0f, 1000, &x, &w));
}
