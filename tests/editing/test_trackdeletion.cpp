// The track deletion dialog's form and the track context menu: "Delete
// Track" chosen from the scene's menu reports once, a menu closed without a
// choice reports nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGraphicsSceneContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "editing/contextwavearea.h"
#include "editing/dialogdelfile.h"

TEST(TrackDeletion, DialogFormKeepsItsText) {
    DialogDelFile dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Dialog"));
    EXPECT_EQ(dlg.size(), QSize(302, 200));
    auto *label = dlg.findChild<QLabel *>(QStringLiteral("label"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Please select which track to delte."));
    EXPECT_EQ(label->geometry(), QRect(60, 40, 201, 31));
    if (const char *shot = std::getenv("SONVEX_SHOT")) {
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        dlg.grab().save(QString::fromLocal8Bit(shot));
    }
}

TEST(TrackDeletion, ContextMenuReportsDeleteTrackOnlyWhenChosen) {
    contextWaveArea scene;
    QSignalSpy deleted(&scene, &contextWaveArea::deleteTrackEvent);
    ASSERT_EQ(scene.menu()->actions().size(), 1);
    EXPECT_EQ(scene.menu()->actions().first()->text(), QStringLiteral("Delete Track"));

    // The menu runs its own loop: answer it with keys once it is up.
    struct {
        QList<int> keys;
        int reports;
    } cases[] = {
        {{Qt::Key_Down, Qt::Key_Return}, 1},
        {{Qt::Key_Escape}, 0},
    };
    int expected = 0;
    for (const auto &c : cases) {
        bool shown = false;
        QTimer::singleShot(0, [&] {
            QTest::qWait(20);
            QWidget *popup = QApplication::activePopupWidget();
            shown = popup == scene.menu();
            if (!popup) return;
            for (int key : c.keys) QTest::keyClick(popup, static_cast<Qt::Key>(key));
        });
        QGraphicsSceneContextMenuEvent event(QEvent::GraphicsSceneContextMenu);
        event.setScreenPos(QPoint(100, 100));
        QApplication::sendEvent(&scene, &event);
        EXPECT_TRUE(shown);
        expected += c.reports;
        EXPECT_EQ(deleted.count(), expected);
    }
}
