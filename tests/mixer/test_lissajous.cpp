// The Lissajous scope and its window: the blocks it keeps, the layers it
// draws (read back from the framebuffer), the phase estimate and read-out,
// and the window's square shape.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <cmath>
#include <vector>

#include "mixer/dialoglissajous.h"
#include "mixer/glproject.h"
#include "mixer/widgetlissajous.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Stereo frames, left then right.
using Frames = std::vector<double>;

// A block whose estimate is exactly `degrees` (0..90): the left channel
// crosses zero on a sample, and the right channel's values there are
// ±sin(degrees) against a swing of 2. invert negates the right channel,
// which turns the estimate into −(180 − degrees).
Frames exactPhaseBlock(int frames, double degrees, bool invert = false) {
    const double s = std::sin(degrees * kPi / 180.0);
    const double a[4] = {0.0, 1.0, 0.0, -1.0};
    const double b[4] = {-s, 1.0, s, -1.0};
    Frames out(2 * static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = a[i % 4];
        out[2 * i + 1] = invert ? -b[i % 4] : b[i % 4];
    }
    return out;
}

// The same 40 degrees with a right channel that never rises above 0 and
// has its minimum where the left is positive: the values noted at the right
// channel's maximum are never set by the block, and must not turn the
// estimate into its obtuse twin (140).
Frames rightNeverAboveZeroBlock(int frames) {
    const double s = std::sin(40.0 * kPi / 180.0);
    const double a[4] = {0.0, 1.0, 0.0, -1.0};
    const double b[4] = {-0.5 - s / 2, -1.0, -0.5 + s / 2, -0.2};
    Frames out(2 * static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = a[i % 4];
        out[2 * i + 1] = b[i % 4];
    }
    return out;
}

// A sine of `period` frames on the left, the right delayed by `delay`
// frames; half a sample off zero, so that no sample sits on a crossing.
Frames sineBlock(int frames, int period, double delay, double rightGain = 1.0) {
    Frames out(2 * static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = std::sin(2.0 * kPi * (i + 0.5) / period);
        out[2 * i + 1] = rightGain * std::sin(2.0 * kPi * (i + 0.5 - delay) / period);
    }
    return out;
}

Frames constantBlock(int frames, double left, double right) {
    Frames out(2 * static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = left;
        out[2 * i + 1] = right;
    }
    return out;
}

// The scope's phase after the blocks given since the last refresh.
double refreshedPhase(widgetLissajous &scope) {
    scope.refreshPhase();
    return scope.getPhaseParameters();
}

void feed(widgetLissajous &scope, const Frames &f) {
    const int n = static_cast<int>(f.size() / 2);
    scope.setLissajous(f.data(), n, n, 0);
}

// Where a frame (left, right) lands in a w × h grab: x = right, y = left,
// turned 45 degrees counter-clockwise, in a view of ±√2.
QPoint pointPixel(int w, int h, double left, double right) {
    const double c = std::cos(kPi / 4);
    const double x = right * c - left * c;
    const double y = right * c + left * c;
    return QPoint(static_cast<int>(std::lround(w / 2.0 + x / std::sqrt(2.0) * w / 2.0)),
                  static_cast<int>(std::lround(h / 2.0 - y / std::sqrt(2.0) * h / 2.0)));
}

// The brightest red in a 5 × 5 box around p.
int redAround(const QImage &img, QPoint p) {
    int best = 0;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (img.valid(p.x() + dx, p.y() + dy)) best = std::max(best, qRed(img.pixel(p.x() + dx, p.y() + dy)));
    return best;
}

bool isGridOrBlack(QRgb c) {
    const int r = qRed(c), g = qGreen(c), b = qBlue(c);
    return (r == 0 && g == 0 && b == 0) || (r == g && g == b && r >= 54 && r <= 57);
}

// Block j of a stack sits on the mono line at its own height.
double stackLevel(int j) { return -0.95 + 0.1 * j; }

void feedStack(widgetLissajous &scope, int blocks) {
    for (int j = 0; j < blocks; ++j) feed(scope, constantBlock(8, stackLevel(j), stackLevel(j)));
}

// Which blocks of a 20-block stack a grab shows.
std::vector<int> shownBlocks(const QImage &img) {
    std::vector<int> shown;
    for (int j = 0; j < 20; ++j)
        if (redAround(img, pointPixel(img.width(), img.height(), stackLevel(j), stackLevel(j))) > 6) shown.push_back(j);
    return shown;
}

std::vector<int> range(int from, int to) {
    std::vector<int> out;
    for (int j = from; j <= to; ++j) out.push_back(j);
    return out;
}

struct ShownScope {
    widgetLissajous scope;
    ShownScope() {
        scope.resize(400, 400);
        scope.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&scope));
    }
};

struct ShownDialog {
    DialogLissajous dialog;
    widgetLissajous *scope;
    ShownDialog() {
        scope = dialog.findChild<widgetLissajous *>("widgetLissa");
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    QString readout() const { return dialog.findChild<QLabel *>("label_phase")->text(); }
};

}  // namespace

TEST(LissajousColours, RunsMatchThePointByPointRamp) {
    // The ramp written out point by point: every layer starts in entry c;
    // after point k = (c + 1)·S the colour becomes entry c and c moves on,
    // stopping at 11.
    auto reference = [](int layers, int points) {
        const long long s = static_cast<long long>(layers) * points / 12;
        std::vector<int> colour;
        int c = 0, current = 0;
        long long k = 0;
        for (int l = 0; l < layers; ++l) {
            current = c;
            for (int i = 0; i < points; ++i, ++k) {
                colour.push_back(current);
                if (k == (c + 1) * s) {
                    current = c;
                    if (c < 11) ++c;
                }
            }
        }
        return colour;
    };
    const int cases[][2] = {{1, 1}, {1, 5}, {3, 4}, {12, 1}, {6, 1000}, {18, 7}, {10, 34560}, {7, 1001}, {18, 34561}};
    for (const auto &cs : cases) {
        tLissajousRun runs[kLissajousMaxRuns];
        const int n = lissajous_colourRuns(cs[0], cs[1], runs);
        ASSERT_GT(n, 0);
        ASSERT_LE(n, kLissajousMaxRuns);
        std::vector<int> colour;
        int lastColour = 0;
        for (int r = 0; r < n; ++r) {
            // Runs follow each other through every layer, gap-free.
            ASSERT_EQ(runs[r].first, static_cast<int>(colour.size() % cs[1]));
            ASSERT_GE(runs[r].colour, lastColour);  // older is never brighter
            lastColour = runs[r].colour;
            colour.insert(colour.end(), runs[r].count, runs[r].colour);
            ASSERT_EQ(runs[r].layer, static_cast<int>((colour.size() - 1) / cs[1]));
        }
        EXPECT_EQ(colour, reference(cs[0], cs[1])) << cs[0] << " layers of " << cs[1];
    }
    tLissajousRun runs[kLissajousMaxRuns];
    EXPECT_EQ(lissajous_colourRuns(0, 100, runs), 0);
    EXPECT_EQ(lissajous_colourRuns(6, 0, runs), 0);
}

TEST(LissajousRing, CopyContinuesAtTheRingStart) {
    Frames ring(20);
    for (int i = 0; i < 10; ++i) {
        ring[2 * i] = i;
        ring[2 * i + 1] = 100 + i;
    }
    struct Row {
        int start;
        int count;
    };
    for (const Row &r : {Row{8, 5}, Row{-2, 5}, Row{-12, 5}, Row{3, 25}, Row{0, 10}}) {
        Frames out(2 * static_cast<size_t>(r.count), -1.0);
        lissajous_copyFromRing(out.data(), ring.data(), r.count, 10, r.start);
        for (int i = 0; i < r.count; ++i) {
            const int want = (((r.start + i) % 10) + 10) % 10;
            ASSERT_EQ(out[2 * i], want) << r.start << "+" << i;
            ASSERT_EQ(out[2 * i + 1], 100 + want);
        }
    }
    Frames out(4, -1.0);
    lissajous_copyFromRing(out.data(), ring.data(), 2, 0, 0);
    EXPECT_EQ(out[0], -1.0);
}

// Layers cost tens of megabytes: the tests that only feed blocks and read
// the phase share one scope, and refresh it before they start.
class LissajousFed : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sScope = new widgetLissajous; }
    static void TearDownTestSuite() {
        delete sScope;
        sScope = nullptr;
    }
    void SetUp() override { refreshedPhase(*sScope); }
    static widgetLissajous *sScope;
};

widgetLissajous *LissajousFed::sScope = nullptr;

TEST_F(LissajousFed, EstimatesOfABlock) {
    struct Row {
        const char *what;
        Frames block;
        double expected;
        double tolerance;
    };
    const Row rows[] = {
        {"equal channels", sineBlock(4800, 480, 0.0), 0.0, 0.05},
        {"right a quarter period late", sineBlock(4800, 480, 120.0), 90.0, 0.6},
        {"right a quarter period early", sineBlock(4800, 480, -120.0), -90.0, 0.6},
        {"30 degrees late", sineBlock(4800, 480, 40.0), 30.0, 0.2},
        {"30 degrees late, right inverted", sineBlock(4800, 480, 40.0, -1.0), -150.0, 0.2},
        {"exact 40", exactPhaseBlock(400, 40.0), 40.0, 1e-9},
        {"exact 40, right inverted", exactPhaseBlock(400, 40.0, true), -140.0, 1e-9},
        {"left silent", constantBlock(4800, 0.0, 0.3), 0.0, 0.0},
        {"right silent", sineBlock(4800, 480, 0.0, 0.0), 0.0, 0.0},
        {"right never above 0", rightNeverAboveZeroBlock(400), 40.0, 1e-9},
    };
    for (const Row &r : rows) {
        feed(*sScope, r.block);
        EXPECT_NEAR(refreshedPhase(*sScope), r.expected, r.tolerance) << r.what;
    }
}

TEST_F(LissajousFed, MeanOfTheBlocksSinceTheLastPaint) {
    widgetLissajous &scope = *sScope;
    feed(scope, exactPhaseBlock(400, 40.0));
    feed(scope, exactPhaseBlock(400, 20.0));
    EXPECT_NEAR(refreshedPhase(scope), 30.0, 1e-9);
    // No block since: the phase stays.
    EXPECT_NEAR(refreshedPhase(scope), 30.0, 1e-9);
    // An empty block counts as an estimate of 0.
    feed(scope, exactPhaseBlock(400, 40.0));
    scope.setLissajous(nullptr, 0, 0, 0);
    EXPECT_NEAR(refreshedPhase(scope), 20.0, 1e-9);
}

TEST_F(LissajousFed, BadBlocksAreIgnored) {
    widgetLissajous &scope = *sScope;
    const Frames good = exactPhaseBlock(400, 40.0);
    feed(scope, good);
    // Each of these would read outside the ring or divide by its length.
    scope.setLissajous(good.data(), kLissajousMaxBlock + 1, 400, 0);
    scope.setLissajous(nullptr, 10, 400, 0);
    scope.setLissajous(good.data(), 10, 0, 0);
    scope.setLissajous(good.data(), 10, -400, 0);
    scope.setLissajous(good.data(), -5, 400, 0);
    EXPECT_NEAR(refreshedPhase(scope), 40.0, 1e-9);  // not diluted by them
}

TEST_F(LissajousFed, BlockWrapsAroundTheRingEnd) {
    // The 40-degree pattern laid into a ring so that it starts 100 frames
    // before the end: a block from there reads on at frame 0.
    const int length = 1000;
    const Frames pattern = exactPhaseBlock(400, 40.0);
    Frames ring = constantBlock(length, 0.5, -0.5);  // anything else in the ring reads otherwise
    for (int i = 0; i < 400; ++i) {
        const int at = (900 + i) % length;
        ring[2 * at] = pattern[2 * i];
        ring[2 * at + 1] = pattern[2 * i + 1];
    }
    for (int start : {900, -100, 1900}) {
        sScope->setLissajous(ring.data(), 400, length, start);
        EXPECT_NEAR(refreshedPhase(*sScope), 40.0, 1e-9) << start;
    }
}

TEST_F(LissajousFed, BlockLargerThanTheLayersGrowsThem) {
    // 200,000 frames, more than a layer's 172,800, from a full-size engine
    // ring and wrapping around its end.
    const int length = 276480;
    const Frames ring = exactPhaseBlock(length, 40.0);
    widgetLissajous &scope = *sScope;
    ASSERT_TRUE(scope.allocateLayers());
    scope.setLissajous(ring.data(), 200000, length, 200000);
    EXPECT_NEAR(refreshedPhase(scope), 40.0, 1e-9);
    scope.setLissajous(ring.data(), 100, length, 5);
    EXPECT_NEAR(refreshedPhase(scope), 40.0, 1e-9);
}

TEST(LissajousScope, MemoryComesWithTheWindowNotTheScope) {
    // A scope nobody feeds (a mixer strip's) takes no memory, shown or not.
    ShownScope idle;
    EXPECT_FALSE(idle.scope.layersAllocated());

    DialogLissajous dialog;
    widgetLissajous *scope = dialog.findChild<widgetLissajous *>("widgetLissa");
    ASSERT_NE(scope, nullptr);
    EXPECT_FALSE(scope->layersAllocated());
    dialog.show();
    EXPECT_TRUE(scope->layersAllocated());

    // A hidden scope that is fed takes it with the first block.
    widgetLissajous fed;
    feed(fed, exactPhaseBlock(8, 40.0));
    EXPECT_TRUE(fed.layersAllocated());
}

TEST(LissajousScope, UnfedScopeShowsOnlyTheGrid) {
    ShownScope s;
    const QImage img = s.scope.grabFramebuffer();
    ASSERT_EQ(img.size(), QSize(400, 400));
    int grey = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            ASSERT_TRUE(isGridOrBlack(img.pixel(x, y))) << x << "," << y;
            grey += qRed(img.pixel(x, y)) != 0;
        }
    // The diamond touches the middle of each edge; the channel axes run at
    // 45 degrees through the centre; the vertical (mono) line is not drawn.
    EXPECT_GT(redAround(img, QPoint(300, 100)), 50);  // diamond, upper right edge
    EXPECT_GT(redAround(img, QPoint(100, 300)), 50);  // diamond, lower left edge
    EXPECT_GT(redAround(img, QPoint(250, 150)), 50);  // right channel axis
    EXPECT_GT(redAround(img, QPoint(150, 150)), 50);  // left channel axis
    EXPECT_EQ(redAround(img, QPoint(200, 100)), 0);
    EXPECT_EQ(redAround(img, QPoint(300, 200)), 0);
    EXPECT_LT(grey, 4 * 4 * 400);  // lines, not areas
}

TEST(LissajousScope, ChannelsPointWhereTheyShould) {
    struct Row {
        const char *what;
        double left, right;
    };
    const Row rows[] = {
        {"mono, up", 0.5, 0.5},   {"mono, down", -0.5, -0.5},  {"left only", 0.5, 0.0},
        {"right only", 0.0, 0.5}, {"out of phase", 0.5, -0.5},
    };
    ShownScope s;
    for (const Row &r : rows) {
        feed(s.scope, constantBlock(16, r.left, r.right));
        const QImage img = s.scope.grabFramebuffer();
        const QPoint at = pointPixel(400, 400, r.left, r.right);
        EXPECT_GT(redAround(img, at), 200) << r.what << " at " << at.x() << "," << at.y();
    }
    // Mono lands on the vertical through the centre, left up and to the left,
    // right up and to the right, out of phase on the horizontal.
    EXPECT_EQ(pointPixel(400, 400, 0.5, 0.5), QPoint(200, 100));
    EXPECT_EQ(pointPixel(400, 400, 0.5, 0.0), QPoint(150, 150));
    EXPECT_EQ(pointPixel(400, 400, 0.0, 0.5), QPoint(250, 150));
    EXPECT_EQ(pointPixel(400, 400, 0.5, -0.5), QPoint(100, 200));

    // A sine on both channels draws only the vertical.
    feed(s.scope, sineBlock(480, 480, 0.0, 1.0));
    const QImage img = s.scope.grabFramebuffer();
    int offLine = 0, onLine = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x)
            if (!isGridOrBlack(img.pixel(x, y))) (std::abs(x - 200) <= 2 ? onLine : offLine)++;
    EXPECT_GT(onLine, 100);
    EXPECT_EQ(offLine, 0);
}

TEST(LissajousScope, KeepsEighteenBlocksAndDrawsTheNewest) {
    ShownScope s;
    feedStack(s.scope, 20);
    const struct {
        int layers;
        std::vector<int> shown;
    } rows[] = {
        {1, {19}}, {6, range(14, 19)}, {10, range(10, 19)}, {18, range(2, 19)},  // the 18 kept; blocks 0 and 1 are gone
    };
    for (const auto &r : rows) {
        s.scope.setDrawLayer(r.layers);
        EXPECT_EQ(shownBlocks(s.scope.grabFramebuffer()), r.shown) << r.layers << " layers";
    }
    // Newer blocks are drawn brighter.
    s.scope.setDrawLayer(10);
    const QImage img = s.scope.grabFramebuffer();
    auto red = [&](int j) { return redAround(img, pointPixel(400, 400, stackLevel(j), stackLevel(j))); };
    EXPECT_LT(red(10), red(15));
    EXPECT_LT(red(15), red(19));
    EXPECT_GT(red(19), 240);
}

TEST(LissajousWindow, LayerChoiceDrawsThatManyBlocks) {
    ShownDialog d;
    feedStack(*d.scope, 20);
    const QImage img = d.scope->grabFramebuffer();
    EXPECT_EQ(shownBlocks(img), range(14, 19));  // "6" at the start
    QComboBox *combo = d.dialog.findChild<QComboBox *>("comboBoxLayer");
    ASSERT_EQ(combo->count(), 10);
    EXPECT_EQ(combo->currentText(), "6");
    combo->setCurrentIndex(0);
    EXPECT_EQ(shownBlocks(d.scope->grabFramebuffer()), range(19, 19));
    combo->setCurrentIndex(9);
    EXPECT_EQ(shownBlocks(d.scope->grabFramebuffer()), range(10, 19));
}

TEST(LissajousWindow, ReadoutAveragesTheLastSixteenPhases) {
    ShownDialog d;
    EXPECT_EQ(d.readout(), QStringLiteral("φ ="));
    const Frames block = exactPhaseBlock(400, 40.0);
    for (int tick = 1; tick <= 18; ++tick) {
        d.dialog.setLissajous(block.data(), 400, 400, 0);
        d.dialog.redrawLissajous();
        const double mean = 2.5 * std::min(tick, 16);
        EXPECT_EQ(d.readout(), QStringLiteral("θ = ") + QString::number(mean, 'f', 1)) << tick;
    }
    EXPECT_NEAR(d.dialog.getAngle(), 40.0, 1e-9);
    d.dialog.drawLissajous(nullptr, 0);
    EXPECT_EQ(d.readout(), QStringLiteral("φ = 40.0"));
}

TEST(LissajousWindow, ReadoutText) {
    struct Row {
        double mean;
        const char *text;
    };
    const Row rows[] = {
        {-3.75, "θ = -3.7"}, {-0.5, "θ = -0.5"},    {0.0, "θ = 0.0"},        {2.5, "θ = 2.5"},
        {40.0, "θ = 40.0"},  {179.99, "θ = 179.9"}, {-140.06, "θ = -140.0"},
    };
    for (const Row &r : rows) EXPECT_EQ(lissajous_readoutText(r.mean), QString::fromUtf8(r.text)) << r.mean;
}

TEST(LissajousWindow, StaysSquare) {
    ShownDialog d;
    EXPECT_EQ(d.dialog.size(), QSize(480, 480));
    auto pos = [&](const char *name) { return d.dialog.findChild<QWidget *>(name)->pos(); };
    // A square size moves nothing.
    d.dialog.resize(500, 500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.dialog.size() == QSize(500, 500); }));
    EXPECT_EQ(pos("label_L"), QPoint(100, 80));
    EXPECT_EQ(pos("comboBoxLayer"), QPoint(50, 380));

    d.dialog.resize(600, 500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.dialog.size() == QSize(600, 600); }))
        << d.dialog.width() << "x" << d.dialog.height();
    EXPECT_EQ(pos("label_L"), QPoint(120, 120));
    EXPECT_EQ(pos("label_R"), QPoint(450, 120));
    EXPECT_EQ(pos("label_phase"), QPoint(456, 456));
    EXPECT_EQ(pos("labelLayer"), QPoint(96, 390));
    EXPECT_EQ(pos("comboBoxLayer"), QPoint(120, 450));
    // The scope fills the window and stays square with it.
    EXPECT_EQ(d.scope->width(), d.scope->height());

    const tLissajousOverlay at = lissajous_overlayPositions(333, 333);
    EXPECT_EQ(at.labelPhase, QPoint(253, 253));  // 0.76 · 333 = 253.08
}

TEST(LissajousProjection, FixedFunctionProjection) {
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    // Column-major: the last column is the translation.
    const double shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5, -0.5, 0, 1};
    const int viewport[4] = {10, 20, 100, 50};
    double x = 0, y = 0, z = 0;
    ASSERT_TRUE(widgetLissajous::project(0, 0, 0, identity, identity, viewport, &x, &y, &z));
    EXPECT_DOUBLE_EQ(x, 60.0);
    EXPECT_DOUBLE_EQ(y, 45.0);
    EXPECT_DOUBLE_EQ(z, 0.5);
    ASSERT_TRUE(widgetLissajous::project(0, 0, 1, shift, identity, viewport, &x, &y, &z));
    EXPECT_DOUBLE_EQ(x, 85.0);
    EXPECT_DOUBLE_EQ(y, 32.5);
    EXPECT_DOUBLE_EQ(z, 1.0);

    const double flat[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0};  // w always 0
    x = -7;
    EXPECT_FALSE(widgetLissajous::project(1, 1, 1, identity, flat, viewport, &x, &y, &z));
    EXPECT_EQ(x, -7);

    const double in[4] = {1, 2, 3, 1};
    double out[4];
    widgetLissajous::transformPoint(out, shift, in);
    EXPECT_DOUBLE_EQ(out[0], 1.5);
    EXPECT_DOUBLE_EQ(out[1], 1.5);
    EXPECT_DOUBLE_EQ(out[2], 3.0);
    EXPECT_DOUBLE_EQ(out[3], 1.0);
}
