// The region strip: adding regions (by name and by drop), the limits and the
// refusals, the overview computed by each region's worker, the placement of
// the views, the edit record, and the pointer over the region views.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHoverEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QUrl>

#include <cstring>
#include <memory>

#include "../support/testutil.h"
#include "base/alignedalloc.h"
#include "editing/cheditstrip2.h"
#include "timelinetestutil.h"

namespace {

class StripTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tltest::useBuiltLibrary(); }

    void SetUp() override {
        strip = std::make_unique<cheditstrip2>();
        QObject::connect(strip.get(), &cheditstrip2::regionLoaded, strip.get(), [this](tRegionLoadParams *p) {
            loads.push_back(*p);
            if (placeOnLoad) place(p->region);
        });
        QObject::connect(strip.get(), &cheditstrip2::regionDraged, strip.get(),
                         [this](QMouseEvent *, tRegionDragParams *p) { drags.push_back(*p); });
        QObject::connect(strip.get(), &cheditstrip2::tlMousePressed, strip.get(),
                         [this](QMouseEvent *e) { pressesAt.push_back(e->position().x()); });
        QObject::connect(strip.get(), &cheditstrip2::editParamChanged, strip.get(), [this](int region, int row) {
            edits.push_back({region, row});
        });
        QObject::connect(strip.get(), &cheditstrip2::hideTrackMenuClicked, strip.get(), [this](int region, int row) {
            hides.push_back({region, row});
        });
    }
    void TearDown() override {
        strip.reset();
        cheditstrip2::setBufferAllocator(nullptr);
        // No shape may stay on the application's cursor stack.
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    void show(int w = 800, int h = 100) {
        strip->resize(w, h);
        strip->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(strip.get()));
        QApplication::processEvents();
    }

    // Every region over the whole wave area, as an owner would for a range
    // that holds them all.
    void place(int upTo) {
        for (int i = 0; i <= upTo; ++i) info[i] = {0.0f, 1.0f, 0.0f, 1.0f, true};
        strip->layoutWaveWidget(0, info);
    }

    void dropFiles(const QList<QUrl> &urls, QPoint at) {
        auto *mime = new QMimeData();
        mime->setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(strip.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(strip.get(), &drop);
        delete mime;
    }

    std::unique_ptr<cheditstrip2> strip;
    tTlWavedrawInfo info[kStripMaxRegions];
    bool placeOnLoad = false;
    std::vector<tRegionLoadParams> loads;
    std::vector<tRegionDragParams> drags;
    std::vector<double> pressesAt;
    std::vector<std::pair<int, int>> edits, hides;
};

// A region of `length` samples whose overview job has been started (on a
// file that does not exist: the job fails at once and the buffers stay 0).
void startRegion(cheditstrip2 *s, int region, uint64_t length) {
    tRegionInfo ri;
    ri.length = length;
    ri.channels = 2;
    s->startDrawingWaveThread(region, &ri);
    ASSERT_TRUE(edtest::waitUntil([&] { return !s->regionLoading(region); }, tltest::kOverviewWaitMs));
}

void sendMouse(QWidget *w, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, at, w->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void sendHover(QWidget *w, QEvent::Type type, QPointF at) {
    QHoverEvent e(type, at, w->mapToGlobal(at), QPointF(-1, -1));
    QApplication::sendEvent(w, &e);
}

Qt::CursorShape overrideShape() {
    const QCursor *c = QApplication::overrideCursor();
    return c ? c->shape() : Qt::BlankCursor;
}

}  // namespace

TEST_F(StripTest, RefusesOtherTypesAndAnEleventhRegion) {
    edtest::MessageBoxes boxes;
    strip->openFile("/music/take.flac", kFileOpenReplace);
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].title, "Cannot Open");
    EXPECT_TRUE(boxes.seen()[0].text.contains("take.flac"));
    EXPECT_EQ(strip->regionCount(), 0);
    EXPECT_TRUE(loads.empty());

    // The files need not exist to become regions; their overviews are
    // started by the owner.
    boxes.clear();
    for (int i = 0; i < 11; ++i) strip->openFile(QString("/music/take%1.WAV").arg(i), kFileOpenReplace);
    QTest::qWait(30);
    EXPECT_TRUE(boxes.seen().empty()) << boxes.list();
    EXPECT_EQ(strip->regionCount(), 10);
    ASSERT_EQ(loads.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(loads[i].region, i);
        EXPECT_EQ(strip->regionPath(i), QString("/music/take%1.WAV").arg(i));
        EXPECT_EQ(strip->regionView(i)->parentWidget(), strip->waveArea());
    }
    EXPECT_EQ(strip->regionPath(10), QString());
    // Removing every region frees the room again.
    strip->deleteAllTracks();
    EXPECT_EQ(strip->regionCount(), 0);
    EXPECT_TRUE(strip->waveArea()->findChildren<trackGraphic *>().isEmpty());
    strip->openFile("/music/again.dsf", kFileOpenReplace);
    EXPECT_EQ(strip->regionCount(), 1);
    EXPECT_EQ(loads.back().region, 0);
}

TEST_F(StripTest, DropAddsTheFirstFileAtTheDropPosition) {
    strip->setTrackNumber(3);
    show();
    const int waveX = strip->waveArea()->x();
    dropFiles(
        {QUrl::fromLocalFile("/music/a.dff"), QUrl::fromLocalFile("/music/b.wav"), QUrl::fromLocalFile("/music/c.wav")},
        QPoint(waveX + 350, 40));
    ASSERT_EQ(strip->regionCount(), 1);
    EXPECT_EQ(strip->regionPath(0), "/music/a.dff");
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].region, 0);
    EXPECT_EQ(loads[0].track, 3);
    EXPECT_EQ(loads[0].dropX, 350);
    // A file added by name carries the last drop's x.
    strip->openFile("/music/d.wav", kFileOpenReplace);
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[1].region, 1);
    EXPECT_EQ(loads[1].dropX, 350);

    // Text without file names is no drop.
    auto *mime = new QMimeData();
    mime->setText("/music/e.wav");
    QDragEnterEvent enter(QPoint(waveX + 10, 40), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(strip.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    delete mime;
}

TEST_F(StripTest, ChannelPictureFollowsTheTrackNumber) {
    const struct {
        int track;
        const char *picture;
    } rows[] = {
        {0, ":/resources2/parts/point_eq_1-on.png"},     {3, ":/resources2/parts/point_eq_4-on.png"},
        {4, ":/resources2/parts/point_ch5.png"},         {7, ":/resources2/parts/point_ch8.png"},
        {8, ":/resources2/parts/point_BlueFlat_on.png"}, {-1, ":/resources2/parts/point_BlueFlat_on.png"},
    };
    auto *label = strip->findChild<QLabel *>("labelCh");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pixmap().toImage(),
              QImage(":/resources2/parts/point_eq_1-on.png").convertToFormat(label->pixmap().toImage().format()));
    for (const auto &r : rows) {
        SCOPED_TRACE(r.track);
        strip->setTrackNumber(r.track);
        const QImage shown = label->pixmap().toImage();
        const QImage expected = QImage(r.picture).convertToFormat(shown.format());
        ASSERT_FALSE(expected.isNull());
        EXPECT_EQ(shown, expected);
    }
}

TEST_F(StripTest, EditRecordFromTheLastRegionsHandles) {
    strip->setDrawTrackNumber(5);
    // One record, whatever is asked for, zero until a view reports.
    tWaveEditParam *record = strip->getEditParams(0);
    EXPECT_EQ(record, strip->getEditParams(7));
    EXPECT_EQ(record->inPoint, 0);
    EXPECT_EQ(record->gain, 0.0);
    EXPECT_EQ(record->outPoint, 0);

    strip->openFile("/music/region.wav", kFileOpenReplace);
    startRegion(strip.get(), 0, 1000000);
    trackGraphic *view = strip->regionView(0);
    view->mInPoint = 0.25;
    view->mOutPoint = 0.75;
    view->mFadeInEnd = 0.375;
    view->mFadeOutStart = 0.625;
    view->mGain = 0.5;
    edits.clear();
    emit view->editParamChanged(0);  // as the view does after a handle drag
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0], std::make_pair(0, 5));
    EXPECT_EQ(record->inPoint, 250000);
    EXPECT_EQ(record->fadeInLength, 125000);
    EXPECT_EQ(record->gain, 0.5);
    EXPECT_EQ(record->fadeOutLength, 125000);
    EXPECT_EQ(record->outPoint, 750000);
}

TEST_F(StripTest, OverviewRestartedWhileComputingEndsComplete) {
    sxtest::TempDir dir;
    const QString path = QString::fromStdString(dir.file("take.wav"));
    tltest::writeWav(path.toStdString(), 12 * 44100);
    placeOnLoad = true;
    show();
    strip->openFile(path, kFileOpenReplace);
    ASSERT_EQ(strip->regionCount(), 1);
    EXPECT_EQ(strip->getTotalWaveformLen(0), 3200);  // level zoom 1: the 3,200-point level

    tRegionInfo ri;
    ri.length = 12 * 44100;
    ri.channels = 2;
    strip->startDrawingWaveThread(0, &ri);
    waveFormThread *worker = strip->regionWorker(0);
    ASSERT_TRUE(edtest::waitUntil([&] { return worker->isRunningFlag(); }));
    strip->startDrawingWaveThread(0, &ri);  // as every drag step does
    EXPECT_TRUE(strip->regionLoading(0));
    ASSERT_TRUE(edtest::waitUntil([&] { return !worker->isRunning() && worker->queuedTransactions() == 0; },
                                  tltest::kOverviewWaitMs));
    QApplication::processEvents();
    EXPECT_FALSE(strip->regionLoading(0));

    // One complete overview: the last job ran to the end of the file and
    // every level-0 point, to the file's end, holds the envelope of the
    // 440 Hz left channel (30000 / 32768 of full scale, shown at 0.8).
    EXPECT_GE(worker->getResult(), 0);
    EXPECT_EQ(worker->getFinalProgress(), 3200);
    const double *mx = strip->regionMaxima(0, 0);
    const double *mn = strip->regionMinima(0, 0);
    const double peak = 0.8 * 30000 / 32768;
    int full = 0;
    for (int i = 0; i < 3200; ++i) full += std::abs(mx[2 * i] - peak) < 0.01 && std::abs(mn[2 * i] + peak) < 0.01;
    EXPECT_EQ(full, 3200);
    // The finest level is filled as well.
    double finest = 0.0;
    for (int i = 0; i < 1000; ++i) finest = std::max(finest, strip->regionMaxima(0, 6)[2 * i]);
    EXPECT_GT(finest, 0.1);

    // The view draws it: the trace colour shows across the upper lane.
    trackGraphic *view = strip->regionView(0);
    EXPECT_EQ(view->geometry(), strip->waveArea()->rect());
    QApplication::processEvents();
    const QImage frame = view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    int traced = 0;
    for (int x = 0; x < frame.width(); ++x) {
        const QRgb p = frame.pixel(x, frame.height() / 4);
        traced += qBlue(p) > 200 && qRed(p) < 120;
    }
    EXPECT_GT(traced, frame.width() / 2);
}

TEST_F(StripTest, RegionsRemovedWhileComputing) {
    sxtest::TempDir dir;
    const QString path = QString::fromStdString(dir.file("long.wav"));
    tltest::writeWav(path.toStdString(), 20 * 44100);
    for (int i = 0; i < 3; ++i) strip->openFile(path, kFileOpenReplace);
    tRegionInfo ri;
    ri.length = 20 * 44100;
    ri.channels = 2;
    for (int i = 0; i < 3; ++i) strip->startDrawingWaveThread(i, &ri);
    // Workers still writing, reports still queued: nothing may touch freed
    // buffers or removed regions.
    strip->deleteAllTracks();
    EXPECT_EQ(strip->regionCount(), 0);
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
    strip->openFile(path, kFileOpenReplace);
    EXPECT_FALSE(strip->regionLoading(0));
}

TEST_F(StripTest, FailedBufferAllocationAddsNothing) {
    static int calls;
    calls = 0;
    cheditstrip2::setBufferAllocator(
        [](uint64_t bytes) -> void * { return ++calls == 5 ? nullptr : _aligned_calloc(bytes, 16); });
    edtest::MessageBoxes boxes;
    strip->openFile("/music/big.wav", kFileOpenReplace);
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].title, "Error");
    EXPECT_EQ(boxes.seen()[0].text, "Insufficient Memory.\nCouldn't add the region.");
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(strip->regionCount(), 0);
    EXPECT_TRUE(loads.empty());
    EXPECT_TRUE(strip->waveArea()->findChildren<trackGraphic *>().isEmpty());

    cheditstrip2::setBufferAllocator(nullptr);
    strip->openFile("/music/big.wav", kFileOpenReplace);
    EXPECT_EQ(strip->regionCount(), 1);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].region, 0);
}

TEST_F(StripTest, ViewsPlacedFromTheOwnersFractions) {
    show(1100, 100);
    const int W = strip->getWaveWidgetWidth();
    const int H = strip->waveArea()->height();
    ASSERT_GT(W, 500);
    for (int i = 0; i < 2; ++i) strip->openFile(QString("/music/r%1.wav").arg(i), kFileOpenReplace);
    // A region cut on the right keeps its full width; one outside the range
    // has an empty view.
    info[0] = {0.2f, 1.0f, 0.0f, 0.5f, true};
    info[1] = {0.0f, 0.0f, 0.0f, 0.0f, true};
    strip->layoutWaveWidget(0, info);
    trackGraphic *v0 = strip->regionView(0), *v1 = strip->regionView(1);
    EXPECT_EQ(v0->geometry(), QRect(static_cast<int>(W * 0.2f), 0, static_cast<int>(1.6f * W), H));
    EXPECT_EQ(v0->mLeftEdge, static_cast<int>(W * 0.2f));
    EXPECT_EQ(v1->width(), 0);
    EXPECT_FALSE(v1->isVisible());

    // One-region mode: region 0 in the draw area, on every resize.
    strip->setOnlyOneRegionMode(true);
    strip->setDrawWidthArea(0.5f, 1.0f);
    strip->resize(900, 100);
    QApplication::processEvents();
    int x = 0, w = 0;
    ASSERT_TRUE(regionOnePlace(0.5f, 1.0f, strip->getWaveWidgetWidth(), &x, &w));
    EXPECT_EQ(v0->geometry(), QRect(x, 0, w, strip->waveArea()->height()));
}

TEST_F(StripTest, DraggingARegionByItsLowerHalf) {
    show();
    placeOnLoad = true;
    strip->openFile("/music/drag.wav", kFileOpenReplace);
    trackGraphic *view = strip->regionView(0);
    const int lower = view->height() * 3 / 4;

    // Hovering the lower half shows the open hand.
    sendHover(view, QEvent::HoverEnter, QPointF(300, lower));
    EXPECT_EQ(overrideShape(), Qt::OpenHandCursor);
    // A press there grabs the region: closed hand, no cursor press reported.
    sendMouse(view, QEvent::MouseButtonPress, QPointF(300, lower), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(overrideShape(), Qt::ClosedHandCursor);
    EXPECT_TRUE(pressesAt.empty());
    int x = 300;
    for (int dx : {7, 13, -4, 25}) {
        x += dx;
        sendMouse(view, QEvent::MouseMove, QPointF(x, lower), Qt::NoButton, Qt::LeftButton);
    }
    ASSERT_EQ(drags.size(), 4u);
    int total = 0;
    for (const tRegionDragParams &d : drags) {
        EXPECT_EQ(d.region, 0);
        total += d.deltaX;
    }
    EXPECT_EQ(total, 41);
    // Leaving during the drag keeps the closed hand; the release then
    // restores the cursor.
    sendHover(view, QEvent::HoverLeave, QPointF(x, lower));
    EXPECT_EQ(overrideShape(), Qt::ClosedHandCursor);
    sendMouse(view, QEvent::MouseButtonRelease, QPointF(x, lower), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // Over the lower half again, a release gives back the open hand.
    sendHover(view, QEvent::HoverEnter, QPointF(x, lower));
    sendMouse(view, QEvent::MouseButtonPress, QPointF(x, lower), Qt::LeftButton, Qt::LeftButton);
    sendMouse(view, QEvent::MouseButtonRelease, QPointF(x, lower), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(overrideShape(), Qt::OpenHandCursor);
    sendHover(view, QEvent::HoverLeave, QPointF(x, 5));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Moves without a grab are no drag; a press on the upper half is a
    // cursor press, reported in wave-area pixels.
    drags.clear();
    sendMouse(view, QEvent::MouseMove, QPointF(x + 30, lower), Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(drags.empty());
    info[0] = {0.25f, 0.75f, 0.0f, 1.0f, true};
    strip->layoutWaveWidget(0, info);
    sendMouse(view, QEvent::MouseButtonPress, QPointF(40, 10), Qt::LeftButton, Qt::LeftButton);
    sendMouse(view, QEvent::MouseButtonRelease, QPointF(40, 10), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(pressesAt.size(), 1u);
    EXPECT_EQ(pressesAt[0], view->mLeftEdge + 40);

    // Regions removed under the pointer take the hand with them.
    sendHover(view, QEvent::HoverEnter, QPointF(60, lower));
    EXPECT_EQ(overrideShape(), Qt::OpenHandCursor);
    strip->deleteAllTracks();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(StripTest, HideTrackFromTheContextMenu) {
    show();
    placeOnLoad = true;
    strip->setDrawTrackNumber(2);
    strip->openFile("/music/a.wav", kFileOpenReplace);
    strip->openFile("/music/b.wav", kFileOpenReplace);
    trackGraphic *view = strip->regionView(0);
    QString shown;
    QTimer::singleShot(50, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu) return;
        shown = menu->actions().value(0)->text();
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    sendMouse(view, QEvent::MouseButtonPress, QPointF(100, 20), Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(shown, "Hide Track");
    ASSERT_EQ(hides.size(), 1u);
    EXPECT_EQ(hides[0], std::make_pair(1, 2));  // the last region's index, the row
    sendMouse(view, QEvent::MouseButtonRelease, QPointF(100, 20), Qt::RightButton, Qt::NoButton);

    strip->deleteAllTracks();
    strip->on_hideButton_clickEvent();
    EXPECT_EQ(hides.back(), std::make_pair(-1, 2));
}
