// The volume-graph window's arithmetic: the rows' draw areas on the common
// axis (with delays, and beyond 32 bits), the cursor line, and a file's
// length from the library's 64-bit data size.
#include <gtest/gtest.h>

#include <vector>

#include "editing/volgraphrules.h"

namespace {

void expectAreas(const std::vector<tVolGraphRow> &rows, const std::vector<tVolGraphArea> &expected) {
    const std::vector<tVolGraphArea> areas = volGraphLayout(rows);
    ASSERT_EQ(areas.size(), expected.size());
    for (size_t i = 0; i < areas.size(); ++i) {
        EXPECT_FLOAT_EQ(areas[i].start, expected[i].start) << "row " << i;
        EXPECT_FLOAT_EQ(areas[i].end, expected[i].end) << "row " << i;
    }
}

}  // namespace

TEST(VolGraphRules, RowsAreLaidOutAlongTheLongestTrackPlusDelay) {
    // Without, then with a delay that makes the second track the longest.
    std::vector<tVolGraphRow> rows = {{1000000, 0}, {500000, 250000}};
    EXPECT_EQ(volGraphMaxSample(rows), 1000000);
    expectAreas(rows, {{0.0f, 1.0f}, {0.25f, 0.75f}});

    rows[1].delay = 750000;
    EXPECT_EQ(volGraphMaxSample(rows), 1250000);
    expectAreas(rows, {{0.0f, 0.8f}, {0.6f, 1.0f}});

    // Sizes past 2^31 samples (an hour of 5.6 MHz DSD, a long delay) keep
    // their places instead of wrapping.
    rows = {{3000000000LL, 2000000000LL}, {1000000000LL, 0}};
    EXPECT_EQ(volGraphMaxSample(rows), 5000000000LL);
    expectAreas(rows, {{0.4f, 1.0f}, {0.0f, 0.2f}});

    // Rows without a length yet: no axis, and no division by zero.
    rows = {{0, 0}};
    EXPECT_EQ(volGraphMaxSample(rows), 0);
    expectAreas(rows, {{0.0f, 0.0f}});
    EXPECT_EQ(volGraphMaxSample({}), 0);
}

TEST(VolGraphRules, CursorLineBetweenTheMargins) {
    struct {
        int width, left, right;
        double f;
        int x;
    } cases[] = {
        {800, 100, 30, 0.5, 435},
        {800, 100, 30, 0.0, 100},
        {800, 100, 30, 1.0, 770},
        {800, 100, 30, 0.9999, 769},  // truncated, not rounded
    };
    for (const auto &c : cases) EXPECT_EQ(volGraphCursorX(c.width, c.left, c.right, c.f), c.x) << c.f;
}

TEST(VolGraphRules, FileLengthFromTheSixtyFourBitDataSize) {
    struct {
        uint32_t high, low, bits, channels;
        int64_t length;
    } cases[] = {
        {0, 4000, 16, 2, 1000},
        // 32-bit float stereo above 2^31 bytes: size * 8 would wrap in 32 bits.
        {0, 0x80000008u, 32, 2, 0x10000001LL},
        {1, 0, 32, 2, 0x20000000LL},
        {3, 0, 1, 2, 3LL << 34},  // 12 GiB of stereo DSD
        {0, 4000, 0, 2, -1},      // nothing to divide by
        {0, 4000, 16, 0, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(volGraphRegionLength(c.high, c.low, c.bits, c.channels), c.length) << c.high << ":" << c.low;
}
