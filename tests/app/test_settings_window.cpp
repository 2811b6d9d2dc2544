// The settings file as the main window reads and writes it: first-start
// defaults, values applied in file order through the widgets' own handlers,
// the master equaliser that always starts off, and a restart that keeps the
// user's choices.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>

#include "app/mainwindow.h"
#include "app/settingsfile.h"
#include "editing/dialogedit.h"
#include "engine/audiothread.h"
#include "engine/metering.h"
#include "ui_mainwindow.h"

namespace {

QTemporaryDir *sHome = nullptr;

class SettingsWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // A folder whose name does not hold the program's name: every
        // occurrence of that name in the data location would be replaced.
        sHome = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/mw-settings-XXXXXX"));
        qputenv("HOME", sHome->path().toUtf8());
        qputenv("XDG_DATA_HOME", sHome->filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", sHome->filePath(QStringLiteral("config")).toUtf8());
        audioThread::setLibraryPath(qEnvironmentVariable("SONVEX_BIN_DIR") + QStringLiteral("/libmorphex.so.1"));
        sWindow = new MainWindow;
    }
    static void TearDownTestSuite() {
        delete sWindow;
        sWindow = nullptr;
        delete sHome;
        sHome = nullptr;
    }
    // Replaces the settings file and reads it as start-up does.
    static void load(const QByteArray &text) {
        QFile f(probe(*sWindow).settingsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        sWindow->loadParametersFromFile();
    }
    static QByteArray savedFile() {
        QFile f(probe(*sWindow).settingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static MainWindow *sWindow;
};
MainWindow *SettingsWindow::sWindow = nullptr;

}  // namespace

TEST_F(SettingsWindow, FileLivesInTheDataFolderUnderTheMakersName) {
    const QString data = sHome->filePath(QStringLiteral("data"));
    EXPECT_EQ(probe(*sWindow).settingsPath(), data + QStringLiteral("/KAVELO/sonvexEditor.txt"));
    EXPECT_TRUE(QFileInfo(data + QStringLiteral("/KAVELO")).isDir());
}

// Runs first: construction found no file.
TEST_F(SettingsWindow, AFirstStartUsesTheDefaults) {
    MainWindow &w = *sWindow;
    ASSERT_TRUE(probe(w).constructed());
    ASSERT_FALSE(QFile::exists(probe(w).settingsPath()));
    // The first track's equaliser gets the default bands; the master keeps
    // its construction values.
    const double trackFreq[4] = {5000, 2000, 1000, 100};  // bands 0..3
    const double masterFreq[4] = {4000, 1000, 400, 100};
    for (int b = 0; b < 4; ++b) {
        SCOPED_TRACE(b);
        const peakEq &t = probe(w).tracks()[0].peq->band[b];
        EXPECT_EQ(t.mFreq, trackFreq[b]);
        EXPECT_EQ(t.mQ, 0.9);
        EXPECT_EQ(t.mGain, 0.0);
        EXPECT_FALSE(t.mBandOn);
        EXPECT_EQ(probe(w).masterPeq()->band[b].mFreq, masterFreq[b]);
    }
    EXPECT_EQ(probe(w).dialogEdit()->BounceFormat->currentIndex(), 0);
    EXPECT_EQ(probe(w).dialogEdit()->BounceFreq->currentIndex(), 1);
    EXPECT_EQ(probe(w).dialogEdit()->BounceBit->currentIndex(), 1);
    EXPECT_TRUE(probe(w).dialogEdit()->checkBoxApplyShortFade->isChecked());
    EXPECT_TRUE(probe(w).ui()->actionOverHolds2sec->isChecked());
    EXPECT_FALSE(probe(w).ui()->pushButtonPostFader->isChecked());
    EXPECT_EQ(probe(w).monitorVolumeDb(), 0.0);
    EXPECT_EQ(probe(w).driverType(), kDriverCoreAudio);
    EXPECT_EQ(probe(w).userDopList()[9].name, QStringLiteral("None"));
}

TEST_F(SettingsWindow, EqualiserSectionsGoToTheMasterWhichStillStartsOff) {
    MainWindow &w = *sWindow;
    load(
        "//EQ1\ntrue\n250\n1.5\n-3\n1\n"
        "//EQ4 with words after the key\nfalse\n8000\n0.5\n2.5\n0\n"
        "//EQALL\ntrue\n-6\n");
    tPEQ *master = probe(w).masterPeq();
    const peakEq &eq1 = master->band[3];
    EXPECT_TRUE(eq1.mBandOn);
    EXPECT_EQ(eq1.mFreq, 250.0);
    EXPECT_EQ(eq1.mQ, 1.5);
    EXPECT_EQ(eq1.mGain, -3.0);
    EXPECT_EQ(eq1.mType, kEqShelf);
    EXPECT_EQ(master->band[0].mFreq, 8000.0);
    EXPECT_EQ(master->band[0].mGain, 2.5);
    ASSERT_NE(master->allOn, nullptr);
    EXPECT_FALSE(*master->allOn) << "a saved \"true\" does not switch the master on";
    EXPECT_EQ(master->totalGainDb, -6.0);
    EXPECT_NEAR(master->totalGainLin, std::pow(10.0, -6.0 / 20.0), 1e-12);
    // The first track keeps the default bands.
    EXPECT_EQ(probe(w).tracks()[0].peq->band[3].mFreq, 100.0);
    EXPECT_FALSE(probe(w).tracks()[0].peq->band[3].mBandOn);
}

TEST_F(SettingsWindow, ValuesAreAppliedInFileOrderThroughTheWidgets) {
    MainWindow &w = *sWindow;
    DialogEdit &e = *probe(w).dialogEdit();
    // The format comes first and refills the rate and word-length lists for
    // DSD; the indexes that follow choose in the refilled lists.
    load("//BounceFormat\n2\n//BounceFreq\n1\n//BounceBit\n0\n//ApplyShortFade\nfalse\n");
    EXPECT_EQ(e.BounceFormat->currentIndex(), 2);
    const QString dsdRate = e.BounceFreq->itemText(0);
    EXPECT_EQ(e.BounceFreq->currentIndex(), 1);
    EXPECT_EQ(e.BounceBit->currentIndex(), 0);
    EXPECT_FALSE(e.checkBoxApplyShortFade->isChecked());
    load("//BounceFormat\n0\n");
    EXPECT_NE(e.BounceFreq->itemText(0), dsdRate) << "the format's handler ran";
    // Duplicates: the last one wins. An index the list lacks leaves no entry.
    load("//BounceFormat\n1\n//BounceFormat\n0\n//BounceBit\n99\n");
    EXPECT_EQ(e.BounceFormat->currentIndex(), 0);
    EXPECT_EQ(e.BounceBit->currentIndex(), -1);
}

TEST_F(SettingsWindow, LinesReadAsTheFileSays) {
    MainWindow &w = *sWindow;
    load(
        "//Monitor Volume\n-300\n//Post Fader\ntrueish\n"
        "//DopDevList\n  My   DAC  \ntrue\nSecond\nTrue\n");
    EXPECT_EQ(probe(w).monitorVolumeDb(), -300.0);
    EXPECT_TRUE(probe(w).ui()->pushButtonPostFader->isChecked());
    EXPECT_EQ(probe(w).userDopList()[0].name, QStringLiteral("My DAC"));
    EXPECT_TRUE(probe(w).userDopList()[0].dop);
    EXPECT_EQ(probe(w).userDopList()[1].name, QStringLiteral("Second"));
    EXPECT_FALSE(probe(w).userDopList()[1].dop) << "\"True\" is not \"true\"";
    // The file ends inside the section: the rest is empty.
    EXPECT_TRUE(probe(w).userDopList()[2].name.isEmpty());

    // Without a monitor section the default holds, whatever came before.
    load("//Post Fader\n1\n//DopDevList\n");
    EXPECT_EQ(probe(w).monitorVolumeDb(), 0.0);
    EXPECT_FALSE(probe(w).ui()->pushButtonPostFader->isChecked());
    for (const tDopDevItem &row : probe(w).userDopList()) {
        EXPECT_TRUE(row.name.isEmpty());
        EXPECT_FALSE(row.dop);
    }
}

TEST_F(SettingsWindow, OverHoldTimeChoosesTheEntry) {
    MainWindow &w = *sWindow;
    struct {
        const char *value;
        bool twoSec;
    } cases[] = {
        {"2000", true}, {"0", true}, {"5", true}, {"-1", false}, {"-250", false}, {"junk", true},
    };
    for (const auto &c : cases) {
        load(QByteArray("//OverHoldTime\n") + c.value + "\n");
        EXPECT_EQ(probe(w).ui()->actionOverHolds2sec->isChecked(), c.twoSec) << c.value;
        EXPECT_EQ(probe(w).ui()->actionOverHoldsUntilClicked->isChecked(), !c.twoSec) << c.value;
        EXPECT_EQ(probe(w).ui()->widgetMeter->overHoldUpdates() < 0, !c.twoSec) << c.value;
    }
}

TEST_F(SettingsWindow, SavedFileHasItsLinesAndARestartKeepsTheChoices) {
    load("");
    MainWindow *w = sWindow;
    probe(*w).ui()->actionOverHoldsUntilClicked->trigger();
    probe(*w).ui()->pushButtonPostFader->setChecked(true);
    probe(*w).dialogEdit()->BounceFormat->setCurrentIndex(1);
    probe(*w).dialogEdit()->BounceFreq->setCurrentIndex(0);
    probe(*w).dialogEdit()->checkBoxApplyShortFade->setChecked(false);
    probe(*w).monitorVolumeDb() = -12;
    probe(*w).neverShowFirstInfo() = true;
    probe(*w).userDopList()[3] = tDopDevItem{QStringLiteral("Desk Unit"), true};
    probe(*w).masterPeq()->band[3].mFreq = 123.456789;
    probe(*w).masterPeq()->band[3].mBandOn = false;
    w->saveParametersToFile();

    const QByteArray text = savedFile();
    EXPECT_EQ(text.count('\n'), kSettingsLineCount);
    EXPECT_TRUE(text.endsWith('\n'));
    EXPECT_TRUE(text.contains("//OverHoldTime\n-1\n//OscillatorMode\nfalse\n//DopDevList\n"));
    EXPECT_TRUE(text.contains("//EQ1\nfalse\n123.457\n"));
    EXPECT_TRUE(text.startsWith("//Monitor Volume\n-12\n//Audio Driver\n"));

    // The window's shut-down saves again; the next start reads it all back.
    delete sWindow;
    // The engine's analysis buffers live as long as the process; a second
    // window in the same process would allocate them again.
    freeChFFTbuffer(0);
    sWindow = new MainWindow;
    w = sWindow;
    ASSERT_TRUE(probe(*w).constructed());
    EXPECT_TRUE(probe(*w).ui()->actionOverHoldsUntilClicked->isChecked());
    EXPECT_FALSE(probe(*w).ui()->actionOverHolds2sec->isChecked());
    EXPECT_EQ(probe(*w).ui()->widgetMeter->overHoldUpdates(), -1);
    EXPECT_TRUE(probe(*w).ui()->pushButtonPostFader->isChecked());
    EXPECT_EQ(probe(*w).dialogEdit()->BounceFormat->currentIndex(), 1);
    EXPECT_EQ(probe(*w).dialogEdit()->BounceFreq->currentIndex(), 0);
    EXPECT_FALSE(probe(*w).dialogEdit()->checkBoxApplyShortFade->isChecked());
    EXPECT_EQ(probe(*w).monitorVolumeDb(), -12.0);
    EXPECT_TRUE(probe(*w).neverShowFirstInfo());
    EXPECT_EQ(probe(*w).userDopList()[3].name, QStringLiteral("Desk Unit"));
    EXPECT_TRUE(probe(*w).userDopList()[3].dop);
    EXPECT_NEAR(probe(*w).masterPeq()->band[3].mFreq, 123.457, 1e-9);
}
