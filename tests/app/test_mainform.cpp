// The main window's form as this build shows it, its menus, the Help
// documents, the OVER indicator's hold time, the operability switch and the
// close handling.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QTimer>
#include <QMessageBox>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>

#include "app/mainwindow.h"
#include "engine/audiothread.h"
#include "engine/enginestate.h"
#include "mainwindowfixture.h"
#include "mixer/dialogpeq.h"
#include "ui_mainwindow.h"

namespace {

class MainForm : public tMainWindowSuite {};

// Every entry a user can reach from the menu bar, as "menu/submenu/entry".
void collectEntries(const QMenu *menu, const QString &prefix, QStringList *out) {
    for (QAction *a : menu->actions()) {
        if (a->isSeparator() || !a->isVisible()) continue;
        const QString path = prefix + QLatin1Char('/') + a->text();
        if (a->menu())
            collectEntries(a->menu(), path, out);
        else
            out->append(path);
    }
}

QStringList sOpened;
bool captureUrl(const QUrl &url) {
    sOpened.append(url.toString());
    return true;
}

void press(QWidget *w) {
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

TEST_F(MainForm, WindowAndVisibleControlsOfThisBuild) {
    MainWindow &w = *sWindow;
    ASSERT_TRUE(probe(w).constructed());
    Ui::MainWindow *ui = probe(w).ui();
    EXPECT_EQ(w.objectName(), QStringLiteral("MainWindow"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("KAVELO Sonvex Editor"));
    EXPECT_TRUE(w.acceptDrops());
    EXPECT_EQ(ui->centralWidget->minimumSize(), QSize(800, 600));
    EXPECT_EQ(ui->centralWidget->maximumSize(), QSize(800, 600));
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the window cannot be resized";

    // Each of the 79 form widgets, and whether the user can see it.
    const QStringList hidden = {
        "pushCh1PEQ",
        "labelFadeIn",
        "labelFadeOut",
        "labelGainVal",
        "comboBox_driver",
        "pushAsioCont",
        "label_VolumeDB",
        "labelEqIndicator",
        "widgetFadeBase",
        "label_FaderTop",
        "pushButtonPostFader",
        "lineDriver",
        "frameAudioDriverLabel",
        "labelAudio_1",
        "labelDriver",
        "labelLevelDB",
        "labelMark",
        "pushButtonAdd",
        "pushMixer",
        "pushEditWin",
        "pushButtonEditTag",
        "recButton",
        "lineEditRecFileName",
        "label_recExt",
        "pushSelDir",
        "comboBox_recFreq",
        "comboBox_recDev",
        "pushVsa",
        "lineEditGain_dB",
        "labelEditMode",
        "pushDynamics",
        "pushButtonDel",
        "pushLissajous",
        "comboBox_PlayRec",
        "pushButtonTlTest",
    };
    const QStringList shown = {
        "widgetTrack1",         "pushButtonEdit",    "waveScrollBar",
        "labelInPoint",         "labelOutPoint",     "labelFileName",
        "label_orgFreq",        "label_orgFileType", "label_orgFileNameArea",
        "label_orgBit",         "label_orgCh",       "pushButton_Combine",
        "lineEditTime",         "comboBox_asioDev",  "comboBox_asioFreq",
        "widgetMeter",          "widgetLchMeter",    "widgetLchOver",
        "widgetRchMeter",       "widgetRchOver",     "labelBackground",
        "pushButtonOpen",       "label_orgTime",     "setPointButtonSetIn",
        "setPointButtonSetOut", "labelSetPoint",     "labelInOut",
        "playButton",           "stopButton",        "zeroPlayButton",
        "zoomOutTimeButton",    "zoomInTimeButton",  "zoomOutLevelButton",
        "zoomInLevelButton",    "lineAsioDev",       "lineAsioFreq",
        "frameAsioDevLabel",    "labelAudio_2",      "labelDevice",
        "frameAsioFreqLabel",   "labelPlay",         "labelFrequency",
        "labelJacket",          "labelMonitor",
    };
    ASSERT_EQ(hidden.size() + shown.size(), 79);
    for (const QString &name : hidden + shown) {
        QWidget *child = ui->centralWidget->findChild<QWidget *>(name);
        ASSERT_NE(child, nullptr) << qPrintable(name);
        EXPECT_EQ(child->isVisibleTo(ui->centralWidget), shown.contains(name)) << qPrintable(name);
    }

    // The device and rate row takes the driver row's place.
    struct {
        QWidget *widget;
        QRect geometry;
    } moved[] = {
        {ui->widgetTrack1, {50, 164, 700, 180}},    {ui->comboBox_asioDev, {54, 10, 345, 21}},
        {ui->comboBox_asioFreq, {478, 10, 86, 21}}, {ui->lineAsioFreq, {569, 6, 1, 26}},
        {ui->frameAsioDevLabel, {10, 7, 43, 24}},   {ui->comboBox_PlayRec, {5, 2, 46, 17}},
        {ui->widgetMeter, {262, 70, 492, 40}},
    };
    for (const auto &m : moved) EXPECT_EQ(m.widget->geometry(), m.geometry) << qPrintable(m.widget->objectName());

    // The background lies under everything else.
    EXPECT_EQ(ui->centralWidget->children().indexOf(ui->labelBackground), 0);
    EXPECT_EQ(ui->comboBox_driver->itemText(ui->comboBox_driver->count() - 1), QStringLiteral("CoreAudio"));
    EXPECT_EQ(ui->comboBox_PlayRec->currentIndex(), 0);
}

TEST_F(MainForm, ReachableMenuEntries) {
    Ui::MainWindow *ui = probe(*sWindow).ui();
    QStringList entries;
    for (QAction *top : ui->menuBar->actions()) collectEntries(top->menu(), top->text(), &entries);
    const QStringList expected = {
        "&Tools/OVER Indicator/Holds 2 sec.",
        "&Tools/OVER Indicator/Holds Until Clicked",
        "&Help/&Manual/English",
        "&Help/&Manual/Japanese",
        "&Help/Ver1.1 what's new/English",
        "&Help/Ver1.1 what's new/Japanese",
        "&Help/About KAVELO Sonvex Editor",
        "&Help/Licenses",
    };
    EXPECT_EQ(entries, expected);
    // The form filled Tools with seven entries; this build keeps one.
    EXPECT_EQ(ui->menuTools->actions().size(), 1);
    EXPECT_FALSE(ui->menuOVER_Indicator->icon().isNull());
}

TEST_F(MainForm, HelpOpensEachDocumentBesideTheProgram) {
    Ui::MainWindow *ui = probe(*sWindow).ui();
    auto *saved = MainWindowProbe::openUrlHook();
    MainWindowProbe::openUrlHook() = &captureUrl;
    sOpened.clear();
    const struct {
        QAction *action;
        const char *file;
    } docs[] = {
        {ui->actionEnglishManual, "Q88000120.pdf"},
        {ui->actionJapaneseManual, "Q88000101.pdf"},
        {ui->actionEnglish1_1, "Sonvex_Editor_add-e_RevA.pdf"},
        {ui->actionJapanese1_1, "Sonvex_Editor_add-j_RevA.pdf"},
    };
    for (const auto &d : docs) d.action->trigger();
    MainWindowProbe::openUrlHook() = saved;
    ASSERT_EQ(sOpened.size(), 4);
    const QString dir = QCoreApplication::applicationDirPath();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(sOpened[i], QUrl::fromLocalFile(dir + QLatin1Char('/') + QLatin1String(docs[i].file)).toString());
        // The build puts each document beside the program.
        QFile pdf(qEnvironmentVariable("SONVEX_BIN_DIR") + QLatin1Char('/') + QLatin1String(docs[i].file));
        ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << docs[i].file;
        EXPECT_TRUE(pdf.read(5) == "%PDF-") << docs[i].file;
        EXPECT_GT(pdf.size(), 1000) << docs[i].file;
    }
}

namespace {

bool noViewer(const QUrl &url) {
    sOpened.append(url.toString());
    return false;
}

}  // namespace

// Without a PDF viewer the request fails on the system's side; each Help
// document entry then says so in a box that gives the document's place.
TEST_F(MainForm, HelpWithoutAViewerSaysWhereTheDocumentIs) {
    Ui::MainWindow *ui = probe(*sWindow).ui();
    auto *saved = MainWindowProbe::openUrlHook();
    MainWindowProbe::openUrlHook() = &noViewer;
    sOpened.clear();
    QStringList boxes;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&boxes] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->windowTitle() + QLatin1Char('|') + box->text();
            box->accept();
        }
    });
    closer.start(10);
    const struct {
        QAction *action;
        const char *file;
    } docs[] = {
        {ui->actionEnglishManual, "Q88000120.pdf"},
        {ui->actionJapaneseManual, "Q88000101.pdf"},
        {ui->actionEnglish1_1, "Sonvex_Editor_add-e_RevA.pdf"},
        {ui->actionJapanese1_1, "Sonvex_Editor_add-j_RevA.pdf"},
    };
    for (const auto &d : docs) d.action->trigger();
    MainWindowProbe::openUrlHook() = saved;
    EXPECT_EQ(sOpened.size(), 4);
    ASSERT_EQ(boxes.size(), 4) << boxes.join(QLatin1Char('\n')).toStdString();
    for (int i = 0; i < 4; ++i) {
        const QString path = QDir::toNativeSeparators(MainWindow::documentPath(QLatin1String(docs[i].file)));
        EXPECT_EQ(boxes[i], QStringLiteral("Cannot Open|No PDF viewer could open the document. It is at:\n") + path);
    }
}

TEST_F(MainForm, OverHoldEntriesSetTheMeterAndAPressClearsTheLamps) {
    Ui::MainWindow *ui = probe(*sWindow).ui();
    meterGraphic *meter = ui->widgetMeter;
    // The first start checks "Holds 2 sec.".
    EXPECT_TRUE(ui->actionOverHolds2sec->isChecked());
    const int twoSeconds = meter->overHoldUpdates();
    EXPECT_GT(twoSeconds, 0);

    ui->actionOverHoldsUntilClicked->trigger();
    EXPECT_TRUE(ui->actionOverHoldsUntilClicked->isChecked());
    EXPECT_FALSE(ui->actionOverHolds2sec->isChecked());
    EXPECT_EQ(meter->overHoldUpdates(), -1);
    // Choosing the checked entry again changes nothing.
    ui->actionOverHoldsUntilClicked->trigger();
    EXPECT_TRUE(ui->actionOverHoldsUntilClicked->isChecked());
    EXPECT_EQ(meter->overHoldUpdates(), -1);

    // A press on any of the four bars clears both lamps.
    for (QWidget *bar : std::initializer_list<QWidget *>{ui->widgetLchMeter, ui->widgetRchMeter, ui->widgetLchOver,
                                                         ui->widgetRchOver}) {
        meter->setOver(true);
        ASSERT_TRUE(meter->isOver(0) && meter->isOver(1));
        press(bar);
        EXPECT_FALSE(meter->isOver(0)) << qPrintable(bar->objectName());
        EXPECT_FALSE(meter->isOver(1)) << qPrintable(bar->objectName());
    }

    ui->actionOverHolds2sec->trigger();
    EXPECT_FALSE(ui->actionOverHoldsUntilClicked->isChecked());
    EXPECT_EQ(meter->overHoldUpdates(), twoSeconds);

    // The unused setter follows the settings file's rule.
    struct {
        int ms;
        bool twoSec;
    } holds[] = {{2000, true}, {0, true}, {5, true}, {-1, false}, {-500, false}};
    for (const auto &h : holds) {
        sWindow->setActionOverHoldTime(h.ms);
        EXPECT_EQ(ui->actionOverHolds2sec->isChecked(), h.twoSec) << h.ms;
        EXPECT_EQ(ui->actionOverHoldsUntilClicked->isChecked(), !h.twoSec) << h.ms;
    }
    sWindow->setActionOverHoldTime(2000);
}

TEST_F(MainForm, PlaybackControlsWaitForAFile) {
    MainWindow &w = *sWindow;
    Ui::MainWindow *ui = probe(w).ui();
    QWidget *const controls[] = {
        ui->setPointButtonSetIn, ui->setPointButtonSetOut, ui->pushButtonEdit,    ui->zeroPlayButton,
        ui->stopButton,          ui->playButton,           ui->lineEditTime,      ui->zoomInLevelButton,
        ui->zoomOutLevelButton,  ui->zoomInTimeButton,     ui->zoomOutTimeButton,
    };
    auto expectLabels = [ui] {
        EXPECT_EQ(ui->labelFadeIn->text(), QStringLiteral("Fade In = 00:00:00.00"));
        EXPECT_EQ(ui->labelFadeOut->text(), QStringLiteral("Fade Out = 00:00:00.00"));
        EXPECT_EQ(ui->labelInPoint->text(), QStringLiteral("In Point = 00:00:00.00"));
        EXPECT_EQ(ui->labelOutPoint->text(), QStringLiteral("Out Point = 00:00:00.00"));
        EXPECT_EQ(ui->labelInOut->text(), QStringLiteral("In-Out = --:--:--.--"));
    };
    for (QWidget *c : controls) EXPECT_FALSE(c->isEnabled()) << qPrintable(c->objectName());
    EXPECT_TRUE(ui->widgetTrack1->mInputLock);
    expectLabels();
    // OPEN and COMBINE stay usable.
    EXPECT_TRUE(ui->pushButtonOpen->isEnabled());
    EXPECT_TRUE(ui->pushButton_Combine->isEnabled());

    ui->labelInPoint->setText(QStringLiteral("In Point = 00:00:01.00"));
    w.setUIOperability(true);
    for (QWidget *c : controls) EXPECT_TRUE(c->isEnabled()) << qPrintable(c->objectName());
    EXPECT_FALSE(ui->widgetTrack1->mInputLock);
    EXPECT_EQ(ui->labelInPoint->text(), QStringLiteral("In Point = 00:00:01.00")) << "enabling keeps the texts";

    w.setUIOperability(false);
    expectLabels();
}

TEST_F(MainForm, PostFaderSwitchSetsTheMeteringPoint) {
    Ui::MainWindow *ui = probe(*sWindow).ui();
    const bool was = ui->pushButtonPostFader->isChecked();
    ui->pushButtonPostFader->setChecked(true);
    EXPECT_EQ(engine().meteringPoint.load(), kMeteringPostFader);
    ui->pushButtonPostFader->setChecked(false);
    EXPECT_EQ(engine().meteringPoint.load(), kMeteringPreFader);
    ui->pushButtonPostFader->setChecked(was);
}

TEST_F(MainForm, ScrollRangeForOverviewPages) {
    struct {
        int n;
        int max;
    } cases[] = {{0, 100}, {12, 100}, {13, 104}, {100, 800}};
    for (const auto &c : cases) {
        sWindow->setScrollMax(c.n);
        EXPECT_EQ(probe(*sWindow).ui()->waveScrollBar->maximum(), c.max) << c.n;
    }
    probe(*sWindow).ui()->waveScrollBar->setMaximum(100);
}

TEST_F(MainForm, ClosingHidesTheToolWindowsOfEveryTrack) {
    MainWindow &w = *sWindow;
    probe(w).dialogOscillator().show();
    ASSERT_NE(probe(w).tracks()[0].peqDialog, nullptr);
    probe(w).tracks()[0].peqDialog->show();
    QCloseEvent close;
    close.ignore();
    QApplication::sendEvent(&w, &close);
    EXPECT_TRUE(close.isAccepted());
    EXPECT_FALSE(probe(w).dialogOscillator().isVisible());
    EXPECT_FALSE(probe(w).tracks()[0].peqDialog->isVisible());
    // Never-shown windows are hidden all the same, without harm.
    QCloseEvent again;
    QApplication::sendEvent(&w, &again);
    EXPECT_TRUE(again.isAccepted());
}
