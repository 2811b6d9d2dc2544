// The main window as its constructor leaves it, its per-track memory
// functions, the USB probe's output, and a construction that runs out of
// memory: the half-built window shuts down without touching what it never
// made and without writing settings it never read.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaType>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "app/mainwindow.h"
#include "app/usbprobe.h"
#include "base/alignedalloc.h"
#include "dsp/peakeq.h"
#include "editing/dialogdelfile.h"
#include "editing/dialogrecsetup.h"
#include "engine/audiothread.h"
#include "engine/contcoreaudiothread.h"
#include "mainwindowfixture.h"
#include "mixer/dialogpeq.h"
#include "ui_mainwindow.h"

namespace {

// What `body` writes to the standard output.
std::string captureStdout(const std::function<void()> &body) {
    std::fflush(stdout);
    FILE *capture = std::tmpfile();
    const int saved = dup(1);
    dup2(fileno(capture), 1);
    body();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    std::rewind(capture);
    char buffer[256];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, capture)) > 0) text.append(buffer, n);
    std::fclose(capture);
    return text;
}

class StartupWindow : public tMainWindowSuite {};

}  // namespace

// The widget classes that no form creates are registered by the program
// as it builds its window, so each can be made by its type name.
TEST_F(StartupWindow, WidgetsNoFormMakesAreCreatableByName) {
    ASSERT_TRUE(probe(*sWindow).constructed());
    for (const char *name : {"chStripMeter", "WidgetMark", "testGraphic", "trackText", "DialogOverWrite", "knobGL"}) {
        const QMetaType type = QMetaType::fromName(QByteArray(name) + '*');
        ASSERT_TRUE(type.isValid()) << name;
        ASSERT_NE(type.metaObject(), nullptr) << name;
        EXPECT_STREQ(type.metaObject()->className(), name);
    }
}

TEST_F(StartupWindow, OnlySlotZeroAndTheMasterAreMadeAndTheWindowIsReady) {
    MainWindow &w = *sWindow;
    ASSERT_TRUE(probe(w).constructed());
    EXPECT_TRUE(probe(w).settingsLoaded());

    for (int i = 0; i < kMainTrackSlots; ++i) {
        const bool first = i == 0;
        EXPECT_EQ(probe(w).tracks()[i].audioThread != nullptr, first) << i;
        EXPECT_EQ(probe(w).tracks()[i].waveFormThread != nullptr, first) << i;
        EXPECT_EQ(probe(w).tracks()[i].trackVolume != nullptr, first) << i;
        EXPECT_EQ(probe(w).tracks()[i].peq != nullptr, first) << i;
        EXPECT_EQ(probe(w).tracks()[i].peqDialog != nullptr, first) << i;
    }
    ASSERT_NE(probe(w).masterPeq(), nullptr);
    ASSERT_NE(probe(w).masterPeqDialog(), nullptr);
    EXPECT_EQ(probe(w).masterPeqDialog()->mTrackId, kMainEqMasterId);
    EXPECT_EQ(probe(w).masterPeq()->allOn, &probe(w).masterPeqDialog()->mAllEqOn);
    EXPECT_EQ(probe(w).threadCount(), 1);
    EXPECT_EQ(probe(w).mixParam().trackCount, 1);

    // Of the work threads only the mixer-analysis thread runs: the device
    // control thread has booted the virtual device and left its loop.
    EXPECT_TRUE(probe(w).core().mMixerThread->isRunning());
    EXPECT_FALSE(probe(w).tracks()[0].audioThread->isRunning());
    EXPECT_FALSE(probe(w).tracks()[0].waveFormThread->isRunning());
    ASSERT_NE(probe(w).core().mContCoreAudioThread, nullptr);
    EXPECT_FALSE(probe(w).core().mContCoreAudioThread->isRunning());
    EXPECT_FALSE(probe(w).core().mContCoreAudioThread->isBusy());

    // The recording set-up window (its word length at "24bit") and the track
    // deletion dialog exist, hidden, without a parent.
    ASSERT_NE(probe(w).dialogRecSetup(), nullptr);
    EXPECT_EQ(probe(w).dialogRecSetup()->parent(), nullptr);
    EXPECT_FALSE(probe(w).dialogRecSetup()->isVisible());
    EXPECT_EQ(probe(w).dialogRecSetup()->BounceBit->currentText(), QStringLiteral("24bit"));
    ASSERT_NE(probe(w).dialogDelFile(), nullptr);
    EXPECT_EQ(probe(w).dialogDelFile()->parent(), nullptr);
    EXPECT_FALSE(probe(w).dialogDelFile()->isVisible());

    // The library was found beside the program and bound.
    EXPECT_NE(probe(w).getAudioFileInformation(), nullptr);
    EXPECT_NE(probe(w).getAudioWaveForm(), nullptr);
    EXPECT_NE(probe(w).id3tagInformation(), nullptr);

    // Work files land in the music folder; both folders exist.
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    EXPECT_TRUE(music.startsWith(sHome->path()));
    EXPECT_EQ(QDir::currentPath(), QFileInfo(music).canonicalFilePath());
    EXPECT_EQ(probe(w).projectDir().path(), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    EXPECT_TRUE(QFileInfo(probe(w).projectDir().path()).isDir());

    // A fixed size without maximise or full-screen buttons.
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowFullscreenButtonHint);

    // The mute pattern is DSD silence over the whole block, its second half
    // where the engine expects it.
    ASSERT_NE(engine().mutePatBuffer[0], nullptr);
    EXPECT_EQ(engine().mutePatBuffer[1], engine().mutePatBuffer[0] + 65536);
    EXPECT_EQ(engine().mutePatBuffer[0][0], 0x96);
    EXPECT_EQ(engine().mutePatBuffer[0][131071], 0x96);
}

TEST_F(StartupWindow, OverviewMemoryIsAllocatedOnceAndZeroedOnEveryCall) {
    MainWindow &w = *sWindow;
    const int width = probe(w).ui()->widgetTrack1->width();
    ASSERT_EQ(width, 700);
    for (int k = 0; k < kMainWaveLevels; ++k)
        EXPECT_EQ(probe(w).waveLevelLength()[k], int64_t(width) * kMainWaveLevelFactors[k]) << k;
    EXPECT_EQ(probe(w).waveLevels(), 7);

    double *before[kMainWaveLevels];
    for (int k = 0; k < kMainWaveLevels; ++k) {
        before[k] = probe(w).tracks()[0].waveMax[k];
        ASSERT_NE(probe(w).tracks()[0].waveMin[k], nullptr);
        ASSERT_NE(before[k], nullptr);
        // Dirty the first and the last pair of every level.
        const int64_t pairs = int64_t(width) * kMainWaveLevelFactors[k];
        probe(w).tracks()[0].waveMin[k][0] = -1.0;
        probe(w).tracks()[0].waveMax[k][2 * pairs - 1] = 1.0;
    }
    probe(w).overview().length[0] = 1234;
    ASSERT_EQ(w.getMemoryForWaveForming(0), 0);
    for (int k = 0; k < kMainWaveLevels; ++k) {
        const int64_t pairs = int64_t(width) * kMainWaveLevelFactors[k];
        EXPECT_EQ(probe(w).tracks()[0].waveMax[k], before[k]) << k;
        EXPECT_EQ(probe(w).tracks()[0].waveMin[k][0], 0.0) << k;
        EXPECT_EQ(probe(w).tracks()[0].waveMax[k][2 * pairs - 1], 0.0) << k;
    }
    EXPECT_EQ(probe(w).overview().length[0], 0);
    EXPECT_EQ(w.getMemoryForWaveForming(kMainTrackSlots), -1);
}

TEST_F(StartupWindow, EqualiserMemoryIsMadeOnceAndRateChangesStopAtTheTrackCount) {
    MainWindow &w = *sWindow;
    tPEQ *peq0 = probe(w).tracks()[0].peq;
    DialogPeq *window0 = probe(w).tracks()[0].peqDialog;
    EXPECT_EQ(w.getMemoryForEQ(0), 0);
    EXPECT_EQ(probe(w).tracks()[0].peq, peq0);
    EXPECT_EQ(probe(w).tracks()[0].peqDialog, window0);

    // Slot 1 gets its record and window, but lies beyond the track count.
    ASSERT_EQ(w.getMemoryForEQ(1), 0);
    ASSERT_NE(probe(w).tracks()[1].peq, nullptr);
    ASSERT_NE(probe(w).tracks()[1].peqDialog, nullptr);
    for (peakEq &band : probe(w).tracks()[1].peq->band) band.mFs = 12345.0;
    w.resetEQparameters(96000);
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(probe(w).tracks()[0].peq->band[b].mFs, 96000.0) << b;
        EXPECT_EQ(probe(w).tracks()[1].peq->band[b].mFs, 12345.0) << b;
    }
    EXPECT_TRUE(probe(w).tracks()[0].peq->band[3].mShelvLo);
    EXPECT_FALSE(probe(w).tracks()[0].peq->band[0].mShelvLo);
    w.resetEQparameters(44100);

    delete probe(w).tracks()[1].peq;
    probe(w).tracks()[1].peq = nullptr;
    delete probe(w).tracks()[1].peqDialog;
    probe(w).tracks()[1].peqDialog = nullptr;
}

TEST_F(StartupWindow, TheUsbProbeReportsWhatTheDeviceListHolds) {
    MainWindow &w = *sWindow;
    QTemporaryDir root;
    usbProbe_setSystemRoot(root.path());
    EXPECT_EQ(captureStdout([&] { w.serachZOLTUSBAudio(); }), "Device not found\n");
    EXPECT_TRUE(probe(w).usbDevice().isEmpty());

    QDir(root.path()).mkpath(QStringLiteral("3-1"));
    for (auto [name, value] : {std::pair{"idVendor", "7a31\n"}, std::pair{"idProduct", "5e02\n"}}) {
        QFile f(root.filePath(QStringLiteral("3-1/") + QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(value);
    }
    EXPECT_EQ(captureStdout([&] { w.serachZOLTUSBAudio(); }), "Device is present.");
    EXPECT_EQ(probe(w).usbDevice(), root.filePath(QStringLiteral("3-1")));
    usbProbe_setSystemRoot(QString());
}

namespace {

int sRingCalls = 0;
// Fails the eleventh 1,056-byte block: the master's meter ring and nine
// track rings are had, the tenth track ring is not.
void *failingRingAllocator(uint64_t size, uint64_t alignment) {
    if (size == 1056 && ++sRingCalls == 11) return nullptr;
    return _aligned_malloc(size, alignment);
}

}  // namespace

TEST(StartupMemory, AWindowThatRanOutOfMemoryShutsDownWithoutTouchingTheSettings) {
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    audioThread::setLibraryPath(qEnvironmentVariable("SONVEX_BIN_DIR") + QStringLiteral("/libmorphex.so.1"));
    const QString settings = home.filePath(QStringLiteral("data/KAVELO/sonvexEditor.txt"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(settings).path()));
    {
        QFile f(settings);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("//Monitor Volume\n-12\n");
    }

    // The message box: read and closed as the user would.
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(top);
            if (box && box->isVisible()) {
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                box->accept();
            }
        }
    });
    closer.start(50);

    sRingCalls = 0;
    MainWindowProbe::memoryAllocator() = &failingRingAllocator;
    auto *window = new MainWindow;
    MainWindowProbe::memoryAllocator() = &_aligned_malloc;
    closer.stop();

    EXPECT_EQ(title, QStringLiteral("Error"));
    EXPECT_EQ(text, QStringLiteral("Insufficient Memory."));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_FALSE(probe(*window).constructed());
    EXPECT_FALSE(probe(*window).settingsLoaded());
    // Nothing after the memory check was made.
    EXPECT_EQ(probe(*window).tracks()[0].audioThread, nullptr);
    EXPECT_EQ(probe(*window).core().mMixerThread, nullptr);
    EXPECT_EQ(probe(*window).core().mLibrary, nullptr);
    EXPECT_EQ(probe(*window).levelTimer(), nullptr);
    EXPECT_EQ(probe(*window).mixer(), nullptr);
    EXPECT_EQ(probe(*window).masterPeq(), nullptr);

    // main shows the shell and runs the event loop as usual; its shut-down
    // must neither stop what never started nor save over the user's file.
    window->show();
    QApplication::processEvents();
    std::string out = captureStdout([&] { delete window; });
    EXPECT_EQ(out.find("Play Stop OK"), std::string::npos) << out;
    QFile f(settings);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("//Monitor Volume\n-12\n"));
}
