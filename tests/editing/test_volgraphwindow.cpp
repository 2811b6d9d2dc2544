// The volume-graph window: rows assigned to mixer tracks and laid out along
// the common axis by their delays, the region each row opens, the cursor
// line, the edit record passed on with the row's mixer track, hiding and
// showing a row again, and clearing the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "../support/testutil.h"
#include "editing/cheditstrip.h"
#include "editing/edittimelinescroll.h"
#include "editing/timelinewidgets.h"
#include "editing/volgraphrules.h"
#include "timelinetestutil.h"

namespace {

using edtest::q;

class VolGraphWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tltest::useBuiltLibrary(); }

    void SetUp() override {
        win = std::make_unique<chEditStrip>();
        tltest::writeWav(dir.file("a.wav"), 4410);
        tltest::writeWav(dir.file("b.wav"), 2205);
    }

    void show() {
        win->resize(800, 300);
        win->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
        QApplication::processEvents();
    }

    // What the main window passes for a track: its file, length and delay.
    tChEditerParameters params(const char *file, int64_t length, int64_t delay) {
        tChEditerParameters p;
        p.lockFlag = &lock;
        p.path = q(dir.file(file));
        p.length = length;
        p.delay = delay;
        return p;
    }

    void expectArea(int row, float start, float end) {
        EXPECT_FLOAT_EQ(win->rowArea(row).start, start) << "row " << row;
        EXPECT_FLOAT_EQ(win->rowArea(row).end, end) << "row " << row;
    }

    sxtest::TempDir dir;
    int lock = 0;
    std::unique_ptr<chEditStrip> win;
};

}  // namespace

TEST_F(VolGraphWindow, StartsWithOneUnassignedRow) {
    EXPECT_EQ(win->objectName(), QStringLiteral("chEditStrip"));
    EXPECT_EQ(win->windowTitle(), QStringLiteral("Editing Volume Graph"));
    EXPECT_EQ(win->size(), QSize(800, 200));
    EXPECT_TRUE(win->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(win->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(win->windowFlags() & Qt::WindowContextHelpButtonHint);
    ASSERT_EQ(win->rowCount(), 1);
    EXPECT_EQ(win->rowTrack(0), -1);
    EXPECT_FALSE(win->rowsAssigned());
    EXPECT_EQ(win->searchDrawTrack(0), -1);

    // Clearing before any track was assigned changes nothing.
    cheditstrip2 *first = win->row(0);
    win->deleteAllTracks();
    EXPECT_EQ(win->row(0), first);
    EXPECT_EQ(win->rowCount(), 1);
}

TEST_F(VolGraphWindow, RowsFollowTheDelaysAlongTheLongestTrack) {
    show();
    // Mixer tracks 2 and 5: 1,000,000 and 500,000 samples, delays 0 and
    // 250,000.
    tChEditerParameters a = params("a.wav", 1000000, 0), b = params("b.wav", 500000, 250000);
    win->addChEditParameters(2, &a);
    win->addChEditParameters(5, &b);
    ASSERT_EQ(win->rowCount(), 2);
    EXPECT_EQ(win->searchDrawTrack(2), 0);
    EXPECT_EQ(win->searchDrawTrack(5), 1);
    EXPECT_EQ(win->row(0)->trackNumber(), 2);
    EXPECT_EQ(win->getMaxSampleInAllTracks(), 1000000);
    expectArea(0, 0.0f, 1.0f);
    expectArea(1, 0.25f, 0.75f);

    // The second track's delay becomes 750,000: the axis grows to 1,250,000.
    win->setDelaySample(750000, 1);
    EXPECT_EQ(win->rowDelay(1), 750000);
    EXPECT_EQ(win->getMaxSampleInAllTracks(), 1250000);
    expectArea(0, 0.0f, 0.8f);
    expectArea(1, 0.6f, 1.0f);

    // Each row opened its track's file as one region, described from the
    // file, with the view placed in the row's draw area.
    ASSERT_TRUE(edtest::waitUntil([&] { return win->row(1)->regionCount() == 1; }));
    EXPECT_EQ(win->row(0)->regionPath(0), q(dir.file("a.wav")));
    EXPECT_EQ(win->regionInfo(2, 0).length, 4410u);
    EXPECT_EQ(win->regionInfo(5, 0).length, 2205u);
    EXPECT_EQ(win->regionInfo(5, 0).edit.outPoint, 2205);
    EXPECT_DOUBLE_EQ(win->regionInfo(5, 0).edit.gain, 1.0);
    QApplication::processEvents();
    int x = 0, width = 0;
    QWidget *area = win->row(1)->waveArea();
    ASSERT_TRUE(regionOnePlace(0.6f, 1.0f, area->width(), &x, &width));
    EXPECT_EQ(win->row(1)->regionView(0)->geometry(), QRect(x, 0, width, area->height()));

    if (const char *shot = std::getenv("SONVEX_SHOT")) {
        ASSERT_TRUE(edtest::waitUntil([&] { return !win->row(0)->regionLoading(0) && !win->row(1)->regionLoading(0); },
                                      tltest::kOverviewWaitMs));
        win->setCursorPosition(0.7);
        QTest::qWait(300);
        win->grab().save(QString::fromLocal8Bit(shot));
    }

    // Beyond 2^31 samples the rows keep their places.
    win->setDelaySample(3000000000LL, 1);
    EXPECT_EQ(win->getMaxSampleInAllTracks(), 3000500000LL);
    EXPECT_NEAR(win->rowArea(1).start, 3e9 / 3.0005e9, 1e-6);
}

TEST_F(VolGraphWindow, OneRowPerTrackHiddenAndShownAgain) {
    show();
    tChEditerParameters a = params("a.wav", 4410, 0);
    win->addChEditParameters(3, &a);
    win->addChEditParameters(3, &a);
    ASSERT_EQ(win->rowCount(), 1);
    ASSERT_TRUE(edtest::waitUntil([&] { return win->row(0)->regionCount() == 1; }));

    // "Hide Track" hides the row; opening the track again shows it.
    emit win->row(0)->hideTrackMenuClicked(0, 0);
    EXPECT_FALSE(win->row(0)->isVisible());
    win->addChEditParameters(3, &a);
    EXPECT_TRUE(win->row(0)->isVisible());
    EXPECT_EQ(win->rowCount(), 1);
    EXPECT_EQ(win->row(0)->regionCount(), 1);
}

TEST_F(VolGraphWindow, EditsGoOutWithTheRowsMixerTrack) {
    show();
    tChEditerParameters a = params("a.wav", 4410, 0), b = params("b.wav", 2205, 0);
    win->addChEditParameters(4, &a);
    win->addChEditParameters(7, &b);
    QSignalSpy spy(win.get(), &chEditStrip::trackEditParamChanged);
    emit win->row(1)->editParamChanged(0, 1);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].value<tWaveEditParam *>(), win->row(1)->getEditParams(0));
    EXPECT_EQ(spy[0][1].toInt(), 7);
    emit win->row(0)->editParamChanged(0, 0);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy[1][1].toInt(), 4);
}

TEST_F(VolGraphWindow, CursorLineBetweenTheFirstRowsMargins) {
    show();
    win->resize(800, 300);
    QApplication::processEvents();
    int left = 0, right = 0;
    win->row(0)->getXmargin(&left, &right);
    for (double f : {0.0, 0.5, 1.0}) {
        win->setCursorPosition(f);
        const QRect line = win->cursorLine()->geometry();
        EXPECT_EQ(line.x(), volGraphCursorX(800, left, right, f)) << f;
        EXPECT_EQ(line.width(), 1);
        EXPECT_EQ(line.height(), win->height());
    }
}

TEST_F(VolGraphWindow, ClearingReturnsToOneUnassignedRow) {
    show();
    tChEditerParameters a = params("a.wav", 4410, 0), b = params("b.wav", 2205, 100);
    win->addChEditParameters(0, &a);
    win->addChEditParameters(1, &b);
    ASSERT_TRUE(edtest::waitUntil([&] { return win->row(1)->regionCount() == 1; }));
    win->deleteAllTracks();
    EXPECT_FALSE(win->rowsAssigned());
    ASSERT_EQ(win->rowCount(), 1);
    EXPECT_EQ(win->row(0)->regionCount(), 0);
    for (int t = 0; t < 32; ++t) EXPECT_EQ(win->searchDrawTrack(t), -1) << t;
    // The scroll bar stays under the new rows, and the window takes tracks
    // again from its first row.
    EXPECT_EQ(win->scrollBar()->parentWidget(), win.get());
    win->addChEditParameters(6, &b);
    EXPECT_EQ(win->rowCount(), 1);
    EXPECT_EQ(win->searchDrawTrack(6), 0);
    EXPECT_EQ(win->rowDelay(0), 100);
}

TEST_F(VolGraphWindow, LengthOfAFileBeyondTwoGigabytes) {
    // A 32-bit float stereo WAV whose data chunk is 0x80000008 bytes (a
    // sparse file): its length is the size / 8, not a wrapped product.
    const std::string path = dir.file("big.wav");
    const uint32_t bytes = 0x80000008u;
    const sxtest::Bytes h = sxtest::wavHeader(44100, 32, 2, bytes, sxtest::kWavTagFloat);
    ASSERT_TRUE(sxtest::writeAll(path, h));
    QFile f(q(path));
    ASSERT_TRUE(f.resize(qint64(h.size()) + bytes));

    tRegionInfo info;
    ASSERT_GE(win->getRegionParam(&info, q(path)), 0);
    EXPECT_EQ(info.length, uint64_t(bytes) / 8);
    EXPECT_EQ(info.edit.outPoint, int64_t(bytes) / 8);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.bitsPerSample, 32u);
}
