// The monitor fader: its volume table, the lookups both ways, and the knob
// placed by clicks and drags on the track and on the knob itself.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include "widgets/faders.h"

namespace {

const tFaderVolEntry *entryFor(const tFaderVolEntry *table, int dB) {
    for (int i = 0; i < kFaderVolUsed; ++i) {
        if (table[i].levelDb == dB) return &table[i];
    }
    return nullptr;
}

TEST(FaderVolTable, PositionsOnTheMonitorTrack) {
    tFaderVolEntry t[kFaderVolEntries];
    faderMakeVolTable(250, t);
    const struct {
        int dB, position;
    } known[] = {{0, 240}, {-1, 232}, {-12, 147}, {-13, 144}, {-36, 55}, {-38, 52}, {-58, 13}, {-120, 9}};
    for (const auto &k : known) {
        const tFaderVolEntry *e = entryFor(t, k.dB);
        ASSERT_NE(e, nullptr) << k.dB;
        EXPECT_EQ(e->position, k.position) << k.dB << " dB";
    }
    // Positions fall strictly from 0 dB to −120 dB; the spare entries are
    // (−1, −120).
    for (int i = 1; i < kFaderVolUsed; ++i) {
        EXPECT_LT(t[i].position, t[i - 1].position) << i;
        EXPECT_LT(t[i].levelDb, t[i - 1].levelDb) << i;
    }
    for (int i = kFaderVolUsed; i < kFaderVolEntries; ++i) {
        EXPECT_EQ(t[i].position, -1);
        EXPECT_EQ(t[i].levelDb, -120);
    }
}

TEST(FaderVolTable, LookupsBothWays) {
    tFaderVolEntry t[kFaderVolEntries];
    faderMakeVolTable(250, t);

    // Level to entry: the first at or below the level.
    EXPECT_EQ(faderVolumeIndex(t, 3.0), 0);
    EXPECT_EQ(t[faderVolumeIndex(t, -2.5)].levelDb, -3);
    EXPECT_EQ(t[faderVolumeIndex(t, -37.0)].levelDb, -38);
    EXPECT_EQ(t[faderVolumeIndex(t, -120.0)].levelDb, -120);
    EXPECT_EQ(faderVolumeIndex(t, -130.0), -1);

    // Position to level: every table position reads back its own level.
    for (int i = 0; i < kFaderVolUsed; ++i) EXPECT_EQ(faderLevelAtPosition(t, t[i].position), t[i].levelDb) << i;
    EXPECT_EQ(faderLevelAtPosition(t, 250 - kFaderKnobReach), 0);  // the knob's right stop
    EXPECT_EQ(faderLevelAtPosition(t, 241), 0);                    // right of every entry
    EXPECT_EQ(faderLevelAtPosition(t, 0), -120);
    EXPECT_EQ(faderLevelAtPosition(t, 146), -12);  // between −12 (147) and −13 (144)
}

TEST(FaderTrack, KnobPositionForAPress) {
    const struct {
        int x, knob;
    } cases[] = {{-3, 0}, {0, 0}, {4, 0}, {5, 0}, {6, 1}, {100, 95}, {239, 234}, {240, 234}, {400, 234}};
    for (const auto &c : cases) EXPECT_EQ(faderTrackKnobX(c.x, 250), c.knob) << c.x;
}

// Mouse events with explicit global positions, as a real pointer gives them.
void sendMouse(QWidget *w, QEvent::Type type, QPointF local, QPointF global,
               Qt::MouseButtons buttons = Qt::LeftButton) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, local, global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

class MonitorFader : public ::testing::Test {
protected:
    void SetUp() override {
        track.resize(250, 18);
        knob = new faderTop(&track);
        knob->setGeometry(30, 0, 18, 18);
        track.makeVolTable();
        track.mKnob = knob;
        knob->mTravel = track.width();
    }
    void trackMouse(QEvent::Type type, double x) {
        const QPointF local(x, 9.0);
        sendMouse(&track, type, local, track.mapToGlobal(local));
    }

    WidgetFaderBase track;
    faderTop *knob = nullptr;
};

TEST_F(MonitorFader, SetVolumePositionPlacesTheKnobSilently) {
    QSignalSpy moved(&track, &WidgetFaderBase::faderMoved);
    track.setVolumePosition(0.0);
    EXPECT_EQ(knob->pos(), QPoint(240, 0));
    track.setVolumePosition(-12.0);
    EXPECT_EQ(knob->x(), 147);
    track.setVolumePosition(-120.0);
    EXPECT_EQ(knob->x(), 9);
    // +3 dB: the 0 dB entry, beyond the knob's reach by dragging.
    track.setVolumePosition(3.0);
    EXPECT_EQ(knob->x(), 240);
    track.setVolumePosition(-37.0);
    EXPECT_EQ(knob->x(), 52);
    // Below −120 dB: no entry, the knob stays.
    track.setVolumePosition(-130.0);
    EXPECT_EQ(knob->x(), 52);
    EXPECT_EQ(knob->size(), QSize(18, 18));
    EXPECT_EQ(moved.count(), 0);
}

TEST_F(MonitorFader, ClicksAndDragsOnTheTrack) {
    QSignalSpy moved(&track, &WidgetFaderBase::faderMoved);
    trackMouse(QEvent::MouseButtonPress, 2.0);
    trackMouse(QEvent::MouseButtonRelease, 2.0);
    trackMouse(QEvent::MouseButtonPress, 248.0);
    trackMouse(QEvent::MouseButtonRelease, 248.0);
    EXPECT_EQ(knob->x(), 234);
    // A drag follows the pointer; fractional pointers round half away from zero.
    trackMouse(QEvent::MouseButtonPress, 100.5);
    trackMouse(QEvent::MouseMove, 150.4);
    trackMouse(QEvent::MouseButtonRelease, 150.4);
    EXPECT_EQ(knob->x(), 145);
    // A move after the release does nothing.
    trackMouse(QEvent::MouseMove, 60.0);
    EXPECT_EQ(knob->x(), 145);

    ASSERT_EQ(moved.count(), 4);
    const int expected[] = {0, 234, 96, 145};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(moved.at(i).at(0).toInt(), expected[i]) << i;
    EXPECT_EQ(faderLevelAtPosition(track.mVolTable, 234), 0);
}

TEST_F(MonitorFader, DraggingTheKnobStopsAtBothEnds) {
    QSignalSpy moved(knob, &faderTop::faderMoved);
    QSignalSpy trackMoved(&track, &WidgetFaderBase::faderMoved);
    const QPointF grip(5.0, 5.0);
    const QPointF start = knob->mapToGlobal(grip);

    // A move without a press does nothing.
    sendMouse(knob, QEvent::MouseMove, grip, start + QPointF(40.0, 0.0));
    EXPECT_EQ(knob->x(), 30);

    sendMouse(knob, QEvent::MouseButtonPress, grip, start);
    sendMouse(knob, QEvent::MouseMove, grip, start + QPointF(20.0, 3.0));
    EXPECT_EQ(knob->pos(), QPoint(50, 0));
    sendMouse(knob, QEvent::MouseMove, grip, start + QPointF(-500.0, 0.0));
    EXPECT_EQ(knob->x(), 0);
    sendMouse(knob, QEvent::MouseMove, grip, start + QPointF(500.0, 0.0));
    EXPECT_EQ(knob->x(), 250 - kFaderKnobReach);
    sendMouse(knob, QEvent::MouseButtonRelease, grip, start + QPointF(500.0, 0.0));
    sendMouse(knob, QEvent::MouseMove, grip, start);
    EXPECT_EQ(knob->x(), 234);

    ASSERT_EQ(moved.count(), 3);
    EXPECT_EQ(moved.at(0).at(0).toInt(), 50);
    EXPECT_EQ(moved.at(1).at(0).toInt(), 0);
    EXPECT_EQ(moved.at(2).at(0).toInt(), 234);
    // The knob's presses are its own, not the track's.
    EXPECT_EQ(trackMoved.count(), 0);
}

}  // namespace
