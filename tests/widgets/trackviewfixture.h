// A shown, enabled track view with an owner's overview of one level, and
// the arithmetic to find a point given in view units in the grabbed frame.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>

#include <cmath>
#include <cstring>
#include <vector>

#include "widgets/trackgeometry.h"
#include "widgets/trackgraphic.h"

namespace sxtest {

inline bool near(QRgb a, QRgb b, int tol = 2) {
    return std::abs(qRed(a) - qRed(b)) <= tol && std::abs(qGreen(a) - qGreen(b)) <= tol &&
           std::abs(qBlue(a) - qBlue(b)) <= tol;
}

// What an owner keeps for the view: per track an upper and a lower array of
// L + 1 stereo pairs, the per-track tables and the request record.
struct TrackOwner {
    static constexpr int kTracks = 32;
    std::vector<double> upper[kTracks];
    std::vector<double> lower[kTracks];
    double *upperPtr[kTracks] = {};
    double *lowerPtr[kTracks] = {};
    int64_t lengths[kTracks] = {};
    int64_t ready[kTracks] = {};
    int64_t offsets[kTracks] = {};
    int64_t widths[kTracks] = {};
    tSetWaveFormParams params;
    tAudioFileMarkAFile marks[kTrackMaxMarks] = {};

    // n tracks of L columns each over `frames` frames, all in view (C = L,
    // S = 0), every column drawn, the values given by level(track, channel).
    template <typename Level>
    void fill(int n, int64_t L, int64_t frames, Level level) {
        for (int j = 0; j < n; ++j) {
            upper[j].assign(2 * (L + 1), 0.0);
            lower[j].assign(2 * (L + 1), 0.0);
            for (int64_t e = 0; e <= L; ++e)
                for (int c = 0; c < 2; ++c) {
                    const double v = level(j, c, e);
                    upper[j][2 * e + c] = v;
                    lower[j][2 * e + c] = -v;
                }
            upperPtr[j] = upper[j].data();
            lowerPtr[j] = lower[j].data();
            lengths[j] = frames;
            ready[j] = L;
            offsets[j] = 0;
            widths[j] = L;
        }
        params = tSetWaveFormParams();
        params.columns = static_cast<int32_t>(L);
        params.upperPeaks = upperPtr;
        params.lowerPeaks = lowerPtr;
        params.firstColumn = 0;
        params.trackColumns = ready;
        params.levelLength = L;
        params.drawOffsets = offsets;
        params.drawWidths = widths;
        params.trackCount = n;
        params.trackLengths = lengths;
        params.totalLength = static_cast<uint64_t>(frames);
    }

    void setMark(int i, const char *code, int64_t position) {
        std::memset(marks[i].name, 0, sizeof marks[i].name);
        std::memcpy(marks[i].name, code, std::min<size_t>(std::strlen(code), 15));
        marks[i].position = static_cast<uint64_t>(position);
    }
};

// A view of w × h logical pixels, shown and drawing.
class TrackViewTest : public ::testing::Test {
protected:
    static constexpr int kW = 420;
    static constexpr int kH = 200;

    void SetUp() override {
        // As the main window does: the screen's ratio first, drawing on last.
        view = new trackGraphic();
        view->setInitWindowPizelRatio(static_cast<float>(qApp->devicePixelRatio()));
        view->resize(kW, kH);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
        view->setGLenable(true);
        settle();
    }
    void TearDown() override { delete view; }

    void settle() { QApplication::processEvents(); }

    void resizeView(int width, int height) {
        w = width;
        h = height;
        view->resize(w, h);
        settle();
    }

    QImage frame() { return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }

    // The box of the pixels in `area` that pass `keep`; empty when none do.
    template <typename Keep>
    static QRect boxOf(const QImage &img, QRect area, Keep keep) {
        QRect box;
        area &= img.rect();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (keep(img.pixel(x, y))) box |= QRect(x, y, 1, 1);
        return box;
    }

    // A scene for the pictures: one one-channel track of one column (so no
    // lane, centre or zero lines), in 0.25, out 0.75, the picture cursor at
    // 0.5.
    void pictureScene() {
        owner.fill(1, 1, 1000, [](int, int, int64_t) { return 0.0; });
        view->mChannels[0] = 1;
        view->setWaveForm(&owner.params);
        view->arrangeOutPoint(0.75);
        view->arrangeInPoint(0.25);
        view->setCursorTypePng(true);
        view->lineCurrentPosition(0.5);
    }
    // The drawn handle around x: every pixel near it that is neither panel
    // nor the white edit lines through it.
    QRect handleBox(const QImage &img, double x) const {
        const QPoint c = at(img, x, 0.5);
        const int reach = img.width() / 6;
        return boxOf(img, QRect(c.x() - reach, c.y() - reach, 2 * reach, 2 * reach),
                     [](QRgb p) { return !near(p, qRgb(6, 15, 46), 3) && p != qRgb(255, 255, 255) && !yellowish(p); });
    }
    static bool yellowish(QRgb p) { return qRed(p) > 180 && qGreen(p) > 150 && qBlue(p) < 120; }
    // The opaque box of a picture of the bundle, and the width of its yellow
    // part (the cursor's triangle).
    static QRect opaqueBox(const QString &path) {
        const QImage pic = QImage(path).convertToFormat(QImage::Format_ARGB32);
        return boxOf(pic, pic.rect(), [](QRgb p) { return qAlpha(p) > 0; });
    }
    static int yellowWidth(const QString &path) {
        // Composed over the panel as the view blends it.
        const QImage pic = QImage(path).convertToFormat(QImage::Format_ARGB32);
        return boxOf(pic, pic.rect(),
                     [](QRgb p) {
                         const double a = qAlpha(p) / 255.0;
                         const auto mix = [a](int fg, int bg) {
                             return static_cast<int>(std::lround(a * fg + (1 - a) * bg));
                         };
                         return yellowish(qRgb(mix(qRed(p), 6), mix(qGreen(p), 15), mix(qBlue(p), 46)));
                     })
            .width();
    }

    // Pixel of the grabbed frame at a point given in view units.
    QPoint at(const QImage &img, double x, double y) const {
        const tTrackBounds b = trackGeo_bounds(w, h, h);
        const double px = (x - b.left) / (b.right - b.left) * img.width();
        const double py = img.height() - (y - b.bottom) / (b.top - b.bottom) * img.height();
        return QPoint(static_cast<int>(std::floor(px)), static_cast<int>(std::floor(py)));
    }
    // Logical widget position of a point in view units (for the pointer).
    QPoint widgetPos(double x, double y) const {
        const tTrackBounds b = trackGeo_bounds(w, h, h);
        return QPoint(static_cast<int>(std::lround((x - b.left) / (b.right - b.left) * w)),
                      static_cast<int>(std::lround((y - b.bottom) / (b.top - b.bottom) * h)));
    }

    trackGraphic *view = nullptr;
    int w = kW, h = kH;  // the view's logical size
    TrackOwner owner;
};

}  // namespace sxtest
