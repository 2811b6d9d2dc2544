// The strips' fader and pan controls: the fader law in both directions, and
// the tracks and knobs driven with mouse events.
#include <gtest/gtest.h>

#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "mixer/stripfader.h"

namespace {

// A mouse event at a local position (fractions allowed), with the global
// position the widget's mapping gives.
void sendMouse(QWidget *w, QEvent::Type type, QPointF local) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, w->mapToGlobal(local), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

QList<int> ints(const QSignalSpy &spy) {
    QList<int> out;
    for (const QList<QVariant> &args : spy) out << args.at(0).toInt();
    return out;
}

QImage pictureOf(const QLabel &label) { return label.pixmap().toImage().convertToFormat(QImage::Format_ARGB32); }

QImage resourcePicture(const char *path) {
    return QImage(QString::fromLatin1(path)).convertToFormat(QImage::Format_ARGB32);
}

// Pixels where a grab differs from a picture the picture covers fully (its
// transparent corners show whatever lies behind); −1 for another size, −2
// when the picture covers nothing.
int opaqueDifferences(const QImage &grab, const QImage &picture) {
    if (grab.size() != picture.size()) return -1;
    int differences = 0, opaque = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qAlpha(picture.pixel(x, y)) == 255) {
                ++opaque;
                if ((grab.pixel(x, y) & 0xffffff) != (picture.pixel(x, y) & 0xffffff)) ++differences;
            }
    return opaque == 0 ? -2 : differences;
}

// A fader track the way a strip wires it: 31 × 141, its knob a child, the
// knob's travel the track's height, the table built after placing.
struct Fader {
    QWidget window;
    WidgetMixvolBase *track;
    faderTopVol *knob;
    Fader() {
        track = new WidgetMixvolBase(&window);
        track->setGeometry(10, 10, 31, 141);
        knob = new faderTopVol(track);
        knob->setGeometry(8, 88, 20, 20);
        track->mKnob = knob;
        knob->mTravel = 141;
        track->makeVolTable();
    }
};

struct Pan {
    QWidget window;
    WidgetPanBase *track;
    faderTopPan *knob;
    Pan() {
        track = new WidgetPanBase(&window);
        track->setGeometry(12, 10, 61, 20);
        knob = new faderTopPan(track);
        knob->setGeometry(20, 0, 20, 20);
        track->mKnob = knob;
        knob->mTravel = 61;
    }
};

}  // namespace

TEST(FaderTable, StripTrackLaw) {
    tMixVolSlot table[kMixVolSlots];
    mixvol_makeTable(141, table);

    // Steps of 20/12 pixel summed one by one in single precision: the first
    // thirteen, then the ends of each run. k·(20/12) would put −36 dB at 100
    // and −60 dB at 120.
    const int top[13] = {0, 1, 3, 5, 6, 8, 10, 11, 13, 15, 16, 18, 20};
    for (int k = 0; k < 13; ++k) EXPECT_EQ(table[k].pixel, top[k]) << "slot " << k;
    struct Row {
        int slot;
        int pixel;
        float level;
    };
    const Row rows[] = {
        {0, 0, 6.0f},     {1, 1, 5.5f},     {12, 20, 0.0f},    {15, 24, -1.5f},   {36, 60, -12.0f},
        {37, 61, -13.0f}, {60, 99, -36.0f}, {61, 101, -38.0f}, {72, 119, -60.0f}, {73, 121, -120.0f},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(table[r.slot].pixel, r.pixel) << "slot " << r.slot;
        EXPECT_EQ(table[r.slot].level, r.level) << "slot " << r.slot;
    }
    EXPECT_TRUE(std::signbit(table[12].level));  // the 0 dB step is −0.0
    for (int k = kMixVolSteps; k < kMixVolSlots; ++k) {
        EXPECT_EQ(table[k].pixel, kMixVolSparePixel);
        EXPECT_EQ(table[k].level, -120.0f);
    }
}

TEST(FaderTable, OtherHeights) {
    tMixVolSlot table[kMixVolSlots];
    // 92 pixels: one pixel per step.
    mixvol_makeTable(92, table);
    for (int k = 0; k < kMixVolSteps; ++k) ASSERT_EQ(table[k].pixel, k);
    // 15 to 25 pixels: no room, every step at pixel 0, so any knob reads the
    // last one.
    for (int h : {15, 20, 25}) {
        mixvol_makeTable(h, table);
        for (int k = 0; k < kMixVolSteps; ++k) ASSERT_EQ(table[k].pixel, 0) << h;
        EXPECT_EQ(mixvol_slotAtPixel(table, 0), 73) << h;
    }
}

TEST(FaderTable, LevelToPixelAndBackAreNotInverses) {
    tMixVolSlot table[kMixVolSlots];
    mixvol_makeTable(141, table);

    // Level to knob: the loudest step not above the level.
    struct ToPixel {
        double dB;
        int pixel;
    };
    const ToPixel toPixel[] = {
        {0.0, 20}, {-13.0, 61}, {-60.0, 119}, {-120.0, 121}, {-119.0, 121}, {6.0, 0},
        {40.0, 0}, {5.7, 1},    {-12.5, 61},  {-37.0, 101},  {-0.01, 21},
    };
    for (const ToPixel &r : toPixel) {
        const int slot = mixvol_slotForLevel(table, r.dB);
        ASSERT_GE(slot, 0) << r.dB;
        EXPECT_EQ(table[slot].pixel, r.pixel) << r.dB << " dB";
    }
    EXPECT_EQ(mixvol_slotForLevel(table, -130.0), -1);

    // Knob to level: the last step at or above the knob.
    struct ToLevel {
        int pixel;
        float dB;
    };
    const ToLevel toLevel[] = {
        {0, 6.0f},     {2, 5.5f},     {19, 0.5f},     {20, 0.0f},     {21, -0.5f},
        {100, -36.0f}, {120, -60.0f}, {121, -120.0f}, {125, -120.0f},
    };
    for (const ToLevel &r : toLevel) {
        const int slot = mixvol_slotAtPixel(table, r.pixel);
        ASSERT_GE(slot, 0) << r.pixel;
        EXPECT_EQ(table[slot].level, r.dB) << "pixel " << r.pixel;
    }
    EXPECT_EQ(mixvol_slotAtPixel(table, -1), -1);

    // Between two steps a knob reads the louder one and that level goes back
    // to the step's own pixel: pixel 2 reads +5.5 dB, which sits at pixel 1;
    // pixel 100 reads −36 dB, which sits at 99.
    for (int p = 0; p <= 125; ++p) {
        const float level = table[mixvol_slotAtPixel(table, p)].level;
        const int back = table[mixvol_slotForLevel(table, level)].pixel;
        EXPECT_LE(back, p);
        EXPECT_GE(back, std::min(p - 1, 121)) << p;
    }
}

TEST(StripFader, TrackPressAndDrag) {
    Fader f;
    QSignalSpy moved(f.track, &WidgetMixvolBase::faderMoved);
    QSignalSpy released(f.track, &WidgetMixvolBase::mouseReleased);

    // Moves before a press do nothing.
    sendMouse(f.track, QEvent::MouseMove, QPointF(10, 60));
    EXPECT_TRUE(moved.isEmpty());

    // Above the first 15 pixels: the top; at and below the bottom: h − 16.
    sendMouse(f.track, QEvent::MouseButtonPress, QPointF(10, 4));
    EXPECT_EQ(f.knob->pos(), QPoint(7, 0));
    sendMouse(f.track, QEvent::MouseMove, QPointF(10, 60));
    EXPECT_EQ(f.knob->pos(), QPoint(7, 45));
    sendMouse(f.track, QEvent::MouseMove, QPointF(10, 35.5));  // halves round away from zero
    sendMouse(f.track, QEvent::MouseMove, QPointF(10, 35.4));
    sendMouse(f.track, QEvent::MouseMove, QPointF(10, 140));
    sendMouse(f.track, QEvent::MouseMove, QPointF(10, 400));
    EXPECT_EQ(f.knob->pos(), QPoint(7, 125));
    EXPECT_EQ(f.knob->size(), QSize(20, 20));
    EXPECT_EQ(ints(moved), QList<int>({0, 45, 21, 20, 125, 125}));
    EXPECT_TRUE(released.isEmpty());

    sendMouse(f.track, QEvent::MouseButtonRelease, QPointF(10, 400));
    EXPECT_EQ(released.size(), 1);
    sendMouse(f.track, QEvent::MouseMove, QPointF(10, 60));
    EXPECT_EQ(moved.size(), 6);
}

TEST(StripFader, SetVolumePositionPlacesTheKnobSilently) {
    Fader f;
    QSignalSpy moved(f.track, &WidgetMixvolBase::faderMoved);
    f.track->setVolumePosition(0.0);
    EXPECT_EQ(f.knob->pos(), QPoint(7, 20));
    f.track->setVolumePosition(-130.0);  // below the table: stays
    EXPECT_EQ(f.knob->pos(), QPoint(7, 20));
    f.track->setVolumePosition(-119.0);
    EXPECT_EQ(f.knob->pos(), QPoint(7, 121));
    EXPECT_TRUE(moved.isEmpty());
}

TEST(StripFader, KnobDragStaysOnTheTrack) {
    Fader f;
    f.knob->move(7, 10);
    QSignalSpy moved(f.knob, &faderTopVol::faderMoved);

    sendMouse(f.knob, QEvent::MouseButtonPress, QPointF(5, 5));
    EXPECT_EQ(pictureOf(*f.knob), resourcePicture(":/resources2/parts/volume_on.png"));
    // The knob moves with the pointer's global y; moving the knob under the
    // pointer does not change where the pointer is.
    const QPoint pressGlobal = f.knob->mapToGlobal(QPoint(5, 5));
    auto dragTo = [&](int dy) {
        const QPoint global = pressGlobal + QPoint(0, dy);
        QMouseEvent e(QEvent::MouseMove, f.knob->mapFromGlobal(QPointF(global)), QPointF(global), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.knob, &e);
    };
    dragTo(30);
    EXPECT_EQ(f.knob->pos(), QPoint(7, 40));
    dragTo(-50);
    EXPECT_EQ(f.knob->pos(), QPoint(7, 0));
    dragTo(500);
    EXPECT_EQ(f.knob->pos(), QPoint(7, 125));
    EXPECT_EQ(ints(moved), QList<int>({40, 0, 125}));

    sendMouse(f.knob, QEvent::MouseButtonRelease, QPointF(5, 5));
    EXPECT_EQ(pictureOf(*f.knob), resourcePicture(":/resources2/parts/volume_off.png"));
    dragTo(10);
    EXPECT_EQ(moved.size(), 3);
}

TEST(StripPan, KnobPositionForPan) {
    struct Row {
        int pan;
        int width;
        int p;
    };
    const Row rows[] = {
        {0, 61, 22}, {100, 61, 45}, {-100, 61, 0}, {-1, 61, 22},
        {1, 61, 22}, {50, 61, 33},  {200, 61, 67},  // not clamped here
    };
    for (const Row &r : rows) EXPECT_EQ(pan_knobPosition(r.pan, r.width), r.p) << r.pan;

    Pan p;
    QSignalSpy moved(p.track, &WidgetPanBase::panMoved);
    p.track->setPanPosition(100);
    EXPECT_EQ(p.knob->pos(), QPoint(45, 0));
    p.track->setPanPosition(0);
    EXPECT_EQ(p.knob->pos(), QPoint(22, 0));
    EXPECT_TRUE(moved.isEmpty());
}

TEST(StripPan, TrackPressAndKnobDrag) {
    Pan p;
    QSignalSpy moved(p.track, &WidgetPanBase::panMoved);
    QSignalSpy released(p.track, &WidgetPanBase::mouseReleased);
    sendMouse(p.track, QEvent::MouseButtonPress, QPointF(5, 10));
    EXPECT_EQ(p.knob->pos(), QPoint(0, 0));
    sendMouse(p.track, QEvent::MouseMove, QPointF(40, 10));
    sendMouse(p.track, QEvent::MouseMove, QPointF(61, 10));
    sendMouse(p.track, QEvent::MouseMove, QPointF(90, 10));
    EXPECT_EQ(p.knob->pos(), QPoint(45, 0));
    sendMouse(p.track, QEvent::MouseButtonRelease, QPointF(90, 10));
    EXPECT_EQ(ints(moved), QList<int>({0, 24, 45, 45}));
    EXPECT_EQ(released.size(), 1);

    QSignalSpy knobMoved(p.knob, &faderTopPan::faderMoved);
    p.knob->move(10, 0);
    sendMouse(p.knob, QEvent::MouseButtonPress, QPointF(5, 5));
    const QPoint pressGlobal = p.knob->mapToGlobal(QPoint(5, 5));
    for (int dx : {13, -50, 300}) {
        const QPoint global = pressGlobal + QPoint(dx, 7);  // y plays no part
        QMouseEvent e(QEvent::MouseMove, p.knob->mapFromGlobal(QPointF(global)), QPointF(global), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(p.knob, &e);
    }
    EXPECT_EQ(ints(knobMoved), QList<int>({23, 0, 45}));
    EXPECT_EQ(p.knob->pos(), QPoint(45, 0));
}

TEST(StripFader, TracksPaintTheirBackgrounds) {
    Fader f;
    Pan p;
    f.knob->hide();
    p.knob->hide();
    const QImage fader = f.track->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage pan = p.track->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(opaqueDifferences(fader, resourcePicture(":/resources2/bg/faderBack.png")), 0);
    EXPECT_EQ(opaqueDifferences(pan, resourcePicture(":/resources2/bg/panBack.png")), 0);
}
