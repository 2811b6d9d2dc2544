// The main window's connections: the key-forwarding widgets, the exclusive
// action groups, the monitor fader, the export window's tag confirmation and
// the pointer types that cross threads.
#include <gtest/gtest.h>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QKeyEvent>
#include <QMetaType>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "app/mainwindow.h"
#include "audiofile/timecode.h"
#include "editing/dialogedit.h"
#include "engine/audiothread.h"
#include "mainwindowfixture.h"
#include "ui_mainwindow.h"

namespace {

class Wiring : public tMainWindowSuite {};

// How many connections run `slot` when `signal` of `sender` is emitted:
// each is taken away and counted, then all are made again.
template <typename Sender, typename Signal, typename Slot>
int connectionCount(Sender *sender, Signal signal, MainWindow *window, Slot slot) {
    int n = 0;
    while (QObject::disconnect(sender, signal, window, slot)) ++n;
    for (int i = 0; i < n; ++i) QObject::connect(sender, signal, window, slot);
    return n;
}

void mouse(QWidget *w, QEvent::Type type, int x) {
    const QPointF local(x, 5);
    QMouseEvent e(type, local, w->mapToGlobal(local), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

// For one key-forwarding widget: its connections to the key slot, and
// how many reports one key press gives.
struct KeyRow {
    QString name;
    int connections;
    int reports;
};

template <typename Sender, typename Signal>
KeyRow keyRow(Sender *sender, Signal signal, MainWindow *window) {
    KeyRow row{sender->objectName(), connectionCount(sender, signal, window, &MainWindow::widgetsKeyPressed), 0};
    const QMetaObject::Connection c = QObject::connect(sender, signal, [&row](QKeyEvent *) { ++row.reports; });
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(sender, &key);
    QObject::disconnect(c);
    return row;
}

TEST_F(Wiring, EveryKeyForwardingWidgetReachesTheKeySlotOnce) {
    MainWindow *w = sWindow;
    Ui::MainWindow *ui = probe(*w).ui();
    // The transport buttons take keys once a file has made them usable.
    w->setUIOperability(true);
    const KeyRow rows[] = {
        keyRow(ui->stopButton, &snxStopButton::keyPressed, w),
        keyRow(ui->comboBox_asioDev, &comboBoxMain::keyPressed, w),
        keyRow(ui->playButton, &snxPlayButton::keyPressed, w),
        keyRow(ui->zeroPlayButton, &snxZeroPlayButton::keyPressed, w),
        keyRow(ui->pushButtonEdit, &snxPushButton::keyPressed, w),
        keyRow(ui->pushButtonAdd, &snxPushButton::keyPressed, w),
        keyRow(ui->pushButtonEditTag, &snxPushButton::keyPressed, w),
        keyRow(ui->pushButtonPostFader, &snxPushButton::keyPressed, w),
        keyRow(ui->pushButton_Combine, &snxPushButton::keyPressed, w),
        keyRow(ui->pushCh1PEQ, &snxPushButton::keyPressed, w),
        keyRow(ui->pushDynamics, &snxPushButton::keyPressed, w),
        keyRow(ui->pushEditWin, &snxPushButton::keyPressed, w),
        keyRow(ui->pushMixer, &snxPushButton::keyPressed, w),
        keyRow(ui->pushSelDir, &blackButton::keyPressed, w),
        keyRow(ui->pushButtonOpen, &snxPushButton::keyPressed, w),
    };
    w->setUIOperability(false);
    for (const KeyRow &r : rows) {
        EXPECT_EQ(r.connections, 1) << qPrintable(r.name);
        EXPECT_EQ(r.reports, 1) << qPrintable(r.name);
    }
    // The other buttons of the form are not wired to the key slot.
    for (snxPushButton *b : {ui->pushButtonDel, ui->pushLissajous, ui->pushButtonTlTest})
        EXPECT_EQ(connectionCount(b, &snxPushButton::keyPressed, w, &MainWindow::widgetsKeyPressed), 0)
            << qPrintable(b->objectName());
}

TEST_F(Wiring, ActionGroupsAreExclusiveAndIndependent) {
    Ui::MainWindow *ui = probe(*sWindow).ui();
    const QList<QList<QAction *>> groups = {
        {ui->actionCounterTime, ui->actionCounterSample, ui->actionTimecode},
        {ui->action23_976F, ui->action24F, ui->action25F, ui->action29_97DF, ui->action29_97NDF, ui->action30DF,
         ui->action30NDF},
        {ui->actionOverHolds2sec, ui->actionOverHoldsUntilClicked},
    };
    for (int g = 0; g < groups.size(); ++g) {
        for (QAction *chosen : groups[g]) {
            // What the other groups hold before the choice.
            QList<bool> others;
            for (int o = 0; o < groups.size(); ++o)
                for (QAction *a : groups[o])
                    if (o != g) others.append(a->isChecked());
            chosen->trigger();
            for (QAction *a : groups[g])
                EXPECT_EQ(a->isChecked(), a == chosen)
                    << qPrintable(chosen->objectName()) << " " << qPrintable(a->objectName());
            int i = 0;
            for (int o = 0; o < groups.size(); ++o)
                for (QAction *a : groups[o])
                    if (o != g) EXPECT_EQ(a->isChecked(), others[i++]) << qPrintable(a->objectName());
        }
    }
    // Load and Save share a group of their own.
    ASSERT_NE(ui->actionLoad->actionGroup(), nullptr);
    EXPECT_EQ(ui->actionLoad->actionGroup(), ui->actionSave->actionGroup());
    EXPECT_TRUE(ui->actionLoad->actionGroup()->isExclusive());
    QSet<QActionGroup *> distinct;
    for (const auto &g : groups) distinct.insert(g.first()->actionGroup());
    distinct.insert(ui->actionLoad->actionGroup());
    EXPECT_EQ(distinct.size(), 4);
    ui->action29_97DF->trigger();
    ui->actionCounterTime->trigger();
    ui->actionOverHolds2sec->trigger();
}

TEST_F(Wiring, MonitorFaderAndItsKnobEachGiveOneCall) {
    MainWindow &w = *sWindow;
    Ui::MainWindow *ui = probe(w).ui();
    EXPECT_EQ(connectionCount(ui->widgetFadeBase, &WidgetFaderBase::faderMoved, &w, &MainWindow::monitorVolumeMoved),
              1);
    EXPECT_EQ(connectionCount(ui->label_FaderTop, &faderTop::faderMoved, &w, &MainWindow::monitorVolumeMoved), 1);

    QSignalSpy base(ui->widgetFadeBase, &WidgetFaderBase::faderMoved);
    QSignalSpy knob(ui->label_FaderTop, &faderTop::faderMoved);
    // A press on the fader's track moves the knob there: one report, from
    // the track alone.
    mouse(ui->widgetFadeBase, QEvent::MouseButtonPress, 100);
    mouse(ui->widgetFadeBase, QEvent::MouseButtonRelease, 100);
    EXPECT_EQ(base.count(), 1);
    EXPECT_EQ(knob.count(), 0);
    // A drag of the knob: one report per move, from the knob alone.
    base.clear();
    mouse(ui->label_FaderTop, QEvent::MouseButtonPress, 5);
    mouse(ui->label_FaderTop, QEvent::MouseMove, 9);
    mouse(ui->label_FaderTop, QEvent::MouseButtonRelease, 9);
    EXPECT_EQ(knob.count(), 1);
    EXPECT_EQ(base.count(), 0);
}

TEST_F(Wiring, ExportWindowsConfirmedTagUpdatesTheMainTagRecord) {
    MainWindow &w = *sWindow;
    ASSERT_NE(probe(w).dialogEdit(), nullptr);
    probe(w).tracks()[0].fileInfo.sampleRate = 48000;
    probe(w).tracks()[0].fileInfo.startSample = 777;
    tID3tagInfo &tag = probe(w).id3tagInfo();
    tag.hour = 1;
    tag.minute = 2;
    tag.second = 3;
    tag.frame = -1;  // unset: counts as frame 0
    tag.startSample = 0;
    emit probe(w).dialogEdit()->tagParamConfirmedExportWindow();

    tTimeCode tc{};
    tc.hour = 1;
    tc.minute = 2;
    tc.second = 3;
    uint64_t expected = 0;
    gTc_convTimeCodeToSample(&tc, &expected, 48000, probe(w).frameType());
    EXPECT_GT(expected, uint64_t(48000) * 3723 * 99 / 100);
    EXPECT_EQ(tag.startSample, expected);
    EXPECT_EQ(probe(w).tracks()[0].fileInfo.startSample, 777u) << "the track's own start stays";
}

TEST_F(Wiring, PointerTypesThatCrossThreadsAreRegistered) {
    for (const char *name : {"tFlac2WavMessages*", "tPoly2MonosteMessages*"})
        EXPECT_TRUE(QMetaType::fromName(name).isValid()) << name;
}
