// The transport, the end of a playback job and the 45 ms tick on one
// constructed main window. The engine's shared words are set as a playing
// engine would leave them, and the tick is run by the test instead of the
// window's timer, so that every tick is counted.
#include <gtest/gtest.h>
#include <functional>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTcpSocket>
#include <QTcpServer>

#include "app/mainwindow.h"
#include "app/transportlogic.h"
#include "editing/dialogedit.h"
#include "engine/audiothread.h"
#include "engine/bufferswitch.h"
#include "engine/capturering.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "trace/debugclient.h"
#include "platform/audiohost/virtualdevice.h"
#include "ui_mainwindow.h"

namespace {

// Every message box that shows is read and closed with its button, as the
// user would.
class BoxReader {
public:
    BoxReader() {
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(top);
                if (box && box->isVisible()) {
                    boxes << box->windowTitle() + QStringLiteral("|") + box->text();
                    box->accept();
                }
            }
        });
        mTimer.start(10);
    }
    QStringList boxes;

private:
    QTimer mTimer;
};

QString box(const char *title, const char *text) {
    return QString::fromUtf8(title) + QStringLiteral("|") + QString::fromUtf8(text);
}

// Time-outs only report a hang.
constexpr int kHangMs = 120000;

// The window's devices: one output device with the common rates.
QStringList sOutputs;
int sEnumerations = 0;
QTemporaryDir *sHome = nullptr;

class TransportWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sHome = new QTemporaryDir;
        qputenv("HOME", sHome->path().toUtf8());
        qputenv("XDG_DATA_HOME", sHome->filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", sHome->filePath(QStringLiteral("config")).toUtf8());
        audioThread::setLibraryPath(qEnvironmentVariable("SONVEX_BIN_DIR") + QStringLiteral("/libmorphex.so.1"));
        sWindow = new MainWindow;
        MainWindow &w = *sWindow;
        // The tests run the ticks themselves.
        probe(w).levelTimer()->stop();
        probe(w).core().mDevices.enumerate = [](QStringList *outputs, QStringList *inputs) {
            ++sEnumerations;
            *outputs = sOutputs;
            inputs->clear();
        };
        probe(w).core().mDevices.rates = [](int) { return QVector<int>{44100, 48000, 88200, 96000, 176400, 192000}; };
        probe(w).core().mDevices.bufferFrames = [] { return 512; };
        probe(w).core().mDevices.select = [](int, int) {};
        // The tests play the engine's part by hand (its position, status,
        // buffer size); the virtual device the window booted would overwrite
        // them in real time whenever its clock came round. It stays listed
        // and started, and calls nothing.
        vdev_setOffline(true);
    }
    static void TearDownTestSuite() {
        vdev_setOffline(false);
        delete sWindow;
        sWindow = nullptr;
        delete sHome;
        sHome = nullptr;
    }
    void SetUp() override {
        MainWindow &w = *sWindow;
        engine().engineStatus.store(kEngineStopped);
        engine().stopRequest.store(false);
        engine().playingSample.store(0);
        engine().lastBufferFrames.store(0);
        probe(w).tracks()[0].path.clear();
        probe(w).tracks()[0].fileInfo = tAudioFileInfo();
        probe(w).tracks()[0].fileInfo.sampleRate = 44100;
        probe(w).tracks()[0].fileInfo.totalSamples = 441000;  // 10 s
        probe(w).mixParam().trackCount = 1;
        probe(w).mixParam().ch[0].delayMs = 0.0;
        setRegion(0, 441000);
        probe(w).cursorSample() = 0;
        probe(w).markCount() = 0;
        probe(w).playFs() = 44100;
        probe(w).playActive() = false;
        probe(w).awaitingPlayStart() = false;
        probe(w).stopRequested() = false;
        probe(w).repeatMode() = false;
        probe(w).watchdogEnabled() = false;
        probe(w).transportCommand() = kTransportStop;
        probe(w).tickCount() = 1000;
        probe(w).lastZeroPlayTick() = 0;
        probe(w).ui()->playButton->setChecked(false);
        present({QStringLiteral("Desk DAC")});
        // The controls as an opened file leaves them.
        w.setUIOperability(true);
    }
    // The in-out range on the export window and on the view's handles alike,
    // so that a start, which takes the range from the view again, keeps it.
    static void setRegion(int64_t in, int64_t out) {
        MainWindow &w = *sWindow;
        probe(w).dialogEdit()->mExportRegion = tWaveEditParam();
        probe(w).dialogEdit()->mExportRegion.inPoint = in;
        probe(w).dialogEdit()->mExportRegion.outPoint = out;
        probe(w).dialogEdit()->mExportRegion.gain = 1.0;
        const double length = static_cast<double>(w.getMaxSamples());
        trackGraphic *view = probe(w).ui()->widgetTrack1;
        view->mInPoint = view->mFadeInEnd = (static_cast<double>(in) + 0.5) / length;
        view->mOutPoint = view->mFadeOutStart = (static_cast<double>(out) + 0.5) / length;
        view->mGain = 1.0;
    }
    void TearDown() override {
        engine().engineStatus.store(kEngineStopped);
        engine().stopRequest.store(false);
    }
    static void present(const QStringList &outputs) {
        sOutputs = outputs;
        sWindow->on_comboBox_driver_currentIndexChanged(0);
    }
    static QString counterText(int64_t position, int rate) {
        QString text;
        sWindow->prepareTimeInfoDisp(text, position, rate);
        return text;
    }
    static MainWindow *sWindow;
};
MainWindow *TransportWindow::sWindow = nullptr;

}  // namespace

TEST(TransportLogic, ResultCodesAndTheirTexts) {
    struct Case {
        int code;
        bool normal;
        const char *text;
    };
    const Case cases[] = {
        {0, true, nullptr},
        {5, true, nullptr},
        {-30, true, nullptr},
        {-254, true, nullptr},
        {-255, true, nullptr},
        {-13, false, "Read file failed."},
        {-14, false, "Read file failed."},
        {-10, false, "Create file failid."},
        {-4, false, "Insufficient memory."},
        {-122, false, "Insufficient memory."},
        {-38, false, "Write file failed.\nIt seems that no disk space left.\nPlease free up disk space."},
        {-35, false, "Unsupported audio file."},
        {-32, false, "Convert format failed."},
        {-29, false, "Write file failed."},
        {-26, false, "Export failed."},
        {-2, false, "File not opened."},
        {-1, false, "Open file failed."},
        {-6, false, "Unexpected failure."},
        {-31, false, "Unexpected failure."},
        {-253, false, "Unexpected failure."},
        {-256, false, "Unexpected failure."},
        {-300, false, "Unexpected failure."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(transport_isNormalEnd(c.code), c.normal);
        if (c.text) EXPECT_STREQ(transport_failureText(c.code), c.text);
    }
}

TEST(TransportLogic, StartPositionMaterialDebounceAndDelayRing) {
    // 1 h 2 min 3.5 s at 44.1 kHz: the minutes are not wrapped at 60.
    const tTimeInfo t = transport_timeInfo(int64_t(3723.5 * 44100), 44100);
    EXPECT_EQ(t.minutes, 62);
    EXPECT_EQ(t.seconds, 3);
    EXPECT_EQ(t.hundredths, 50);

    // A 10 s track with a 500 ms delay ends at 10.5 s; of two equal ends
    // the first track is the longest, a strictly longer one replaces it.
    tAudioFileInfo info[3];
    tMixParam mix;
    for (auto &i : info) {
        i.sampleRate = 44100;
        i.totalSamples = 441000;
    }
    mix.ch[0].delayMs = 500.0;
    info[1].totalSamples = 463050;
    info[2].totalSamples = 463051;
    EXPECT_EQ(transport_material(info, mix, 2).length, 463050u);
    EXPECT_EQ(transport_material(info, mix, 2).longestTrack, 0);
    EXPECT_EQ(transport_material(info, mix, 3).longestTrack, 2);
    EXPECT_EQ(transport_material(info, mix, 0).length, 0u);

    // Zero play: 6 ticks (270 ms) are too soon, 7 (315 ms) are not, also
    // across the wrap of the tick counter.
    EXPECT_TRUE(transport_zeroPlayTooSoon(106, 100));
    EXPECT_FALSE(transport_zeroPlayTooSoon(107, 100));
    EXPECT_FALSE(transport_zeroPlayTooSoon(5, 0xFFFFFFFEu));

    // The counter follows the engine by one device buffer plus a tick.
    EXPECT_EQ(transport_ringLength(4096, 44100), 3);
    EXPECT_EQ(transport_ringLength(0, 44100), 1);
    EXPECT_EQ(transport_ringLength(128992, 44100), 65);  // just under 65 ticks
    EXPECT_EQ(transport_ringLength(128993, 44100), 66);
    EXPECT_EQ(transport_ringLength(1 << 24, 44100), 66);
}

TEST_F(TransportWindow, PlayIsRefusedWithoutFileDeviceOrOnlineRate) {
    MainWindow &w = *sWindow;
    BoxReader reader;

    // No file.
    probe(w).ui()->playButton->click();
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());

    // A file, but the placeholder of two devices is selected.
    probe(w).tracks()[0].path = QStringLiteral("/nowhere/a.wav");
    present({QStringLiteral("Desk DAC"), QStringLiteral("Studio Out")});
    probe(w).ui()->playButton->click();
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());

    // A device chosen whose rate list says it is offline.
    probe(w).ui()->comboBox_asioDev->setCurrentIndex(1);
    ASSERT_EQ(probe(w).ui()->comboBox_asioFreq->currentText(), QStringLiteral("(offline)"));
    probe(w).ui()->playButton->click();
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());

    EXPECT_EQ(reader.boxes, (QStringList{box("File Not Opened", "Please open audio file."),
                                         box("Audio Device Not Selected", "Please select audio device."),
                                         box("Audio Device is Offline", "Please connect active audio device.")}));
    EXPECT_EQ(probe(w).transportCommand(), int(kTransportStop));
    EXPECT_EQ(engine().engineStatus.load(), kEngineStopped);
}

TEST_F(TransportWindow, ACursorPastTheOutPointStartsNothingAndALitButtonStaysLit) {
    MainWindow &w = *sWindow;
    BoxReader reader;
    probe(w).tracks()[0].path = QStringLiteral("/nowhere/a.wav");
    setRegion(0, 44100);
    // Past the out point, and at it (where a play that ran to the end
    // leaves the cursor): nothing is left to play.
    for (int64_t cursor : {int64_t(44101), int64_t(44100)}) {
        SCOPED_TRACE(cursor);
        probe(w).cursorSample() = cursor;
        probe(w).ui()->playButton->click();
        QApplication::processEvents();
        EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
        EXPECT_EQ(probe(w).transportCommand(), int(kTransportStop));
        EXPECT_EQ(probe(w).cursorSample(), cursor);
    }
    EXPECT_TRUE(reader.boxes.isEmpty());

    // Clicking a lit play button does not stop playback.
    probe(w).ui()->playButton->setChecked(true);
    probe(w).ui()->playButton->click();
    EXPECT_TRUE(probe(w).ui()->playButton->isChecked());
}

// Stop as the window presses it for a rate change or for the device
// placeholder, as for the Stop button itself: playback is over (its end
// does not move the cursor), no start is pending and the input monitor is
// off, flag and engine alike.
TEST_F(TransportWindow, EveryStopOfTheWindowEndsPlayAndTheInputMonitor) {
    MainWindow &w = *sWindow;
    BoxReader reader;
    ASSERT_GT(probe(w).playDevIndex(), 0);
    ASSERT_NE(probe(w).ui()->comboBox_asioFreq->currentText(), QStringLiteral("(offline)"));
    probe(w).cursorSample() = 1000;
    const struct {
        const char *name;
        std::function<void()> stop;
    } stops[] = {
        {"the Stop button", [&w] { probe(w).ui()->stopButton->click(); }},
        {"a rate change", [&w] { w.changeFs(48000); }},
        {"the device placeholder", [&w] { EXPECT_FALSE(w.switchable_asioDev(0)); }},
    };
    for (const auto &s : stops) {
        SCOPED_TRACE(s.name);
        probe(w).playActive() = true;
        probe(w).awaitingPlayStart() = true;
        probe(w).inputMonitor() = 1;
        gAudioThread_setMonitorStatus(true);
        probe(w).ui()->playButton->setChecked(true);
        s.stop();
        EXPECT_FALSE(probe(w).playActive());
        EXPECT_FALSE(probe(w).awaitingPlayStart());
        EXPECT_EQ(probe(w).inputMonitor(), 0);
        EXPECT_FALSE(engine().inputMonitorEnable.load());
        EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
        // The job's end that follows leaves the cursor where it was.
        w.allTransactionsDone(0);
        EXPECT_EQ(probe(w).cursorSample(), 1000);
    }
    EXPECT_TRUE(reader.boxes.isEmpty()) << reader.boxes.join(QLatin1Char(';')).toStdString();
    present({QStringLiteral("Desk DAC")});
}

TEST_F(TransportWindow, FailedJobsAreReportedWithTheirCode) {
    MainWindow &w = *sWindow;
    struct Case {
        int code;
        const char *text;
    };
    const Case cases[] = {{-13, "Read file failed.\n[Code = -13]"},
                          {-10, "Create file failid.\n[Code = -10]"},
                          {-6, "Unexpected failure.\n[Code = -6]"},
                          {-300, "Unexpected failure.\n[Code = -300]"},
                          {-254, nullptr},
                          {-255, nullptr},
                          {-30, nullptr},
                          {0, nullptr}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        BoxReader reader;
        probe(w).ui()->playButton->setChecked(true);
        probe(w).stopRequested() = true;
        probe(w).transportCommand() = kTransportPlay;
        w.allTransactionsDone(c.code);
        EXPECT_EQ(reader.boxes, c.text ? QStringList{box("Playback Failed", c.text)} : QStringList());
        EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
        EXPECT_FALSE(probe(w).stopRequested());
        EXPECT_EQ(probe(w).transportCommand(), int(kTransportStop));
    }

    // A start still waiting for its first block keeps the button lit.
    probe(w).awaitingPlayStart() = true;
    probe(w).ui()->playButton->setChecked(true);
    w.allTransactionsDone(-254);
    EXPECT_TRUE(probe(w).ui()->playButton->isChecked());
}

TEST_F(TransportWindow, TheEndOfMaterialMovesTheCursorAndRepeatPlaysAgain) {
    MainWindow &w = *sWindow;
    BoxReader reader;
    probe(w).mixParam().ch[0].delayMs = 500.0;

    // A natural end of a play start: the cursor at the end of the longest
    // track, its delay included.
    probe(w).playActive() = true;
    w.allTransactionsDone(0);
    EXPECT_EQ(probe(w).cursorSample(), 463050);
    EXPECT_EQ(probe(w).cursorFraction(), 1.0);
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), counterText(463050, 44100));

    // After the stop button the cursor stays where it is.
    probe(w).playActive() = false;
    probe(w).cursorSample() = 1234;
    w.allTransactionsDone(0);
    EXPECT_EQ(probe(w).cursorSample(), 1234);

    // Repeat (the menu entry) plays again from the in point; with no file
    // open, that start is refused as a click of play would be.
    probe(w).ui()->actionRepeat_Mode->trigger();
    ASSERT_TRUE(probe(w).repeatMode());
    probe(w).dialogEdit()->mExportRegion.inPoint = 22050;
    probe(w).playActive() = true;
    w.allTransactionsDone(-255);
    EXPECT_EQ(probe(w).cursorSample(), 22050);
    EXPECT_EQ(probe(w).positionRing()[0], 22050);
    EXPECT_EQ(probe(w).positionRing()[kMainRingEntries - 1], 22050);
    EXPECT_EQ(probe(w).lastZeroPlayTick(), probe(w).tickCount());
    EXPECT_EQ(reader.boxes, QStringList{box("File Not Opened", "Please open audio file.")});

    // A stop on request is not turned into a repeat.
    probe(w).tickCount() += 100;
    probe(w).stopRequested() = true;
    probe(w).playActive() = true;
    w.allTransactionsDone(-255);
    EXPECT_EQ(probe(w).cursorSample(), 463050);
    EXPECT_FALSE(probe(w).stopRequested());
    EXPECT_EQ(reader.boxes.size(), 1);

    // Material shorter than the zero-play debounce: the end is not turned
    // into an ignored press, the transport ends idle and play works again.
    probe(w).stopRequested() = false;
    probe(w).lastZeroPlayTick() = probe(w).tickCount() - 2;
    probe(w).transportCommand() = kTransportPlay;
    probe(w).ui()->playButton->setChecked(true);
    w.allTransactionsDone(0);
    EXPECT_EQ(probe(w).transportCommand(), int(kTransportStop));
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
    EXPECT_EQ(reader.boxes.size(), 1);
    probe(w).ui()->actionRepeat_Mode->trigger();
    EXPECT_FALSE(probe(w).repeatMode());
}

TEST_F(TransportWindow, ZeroPlayIgnoresASecondPressWithin300ms) {
    MainWindow &w = *sWindow;
    BoxReader reader;
    probe(w).dialogEdit()->mExportRegion.inPoint = 1000;
    probe(w).tickCount() = 2000;
    probe(w).lastZeroPlayTick() = 1994;  // 270 ms ago
    probe(w).cursorSample() = 5;
    probe(w).ui()->zeroPlayButton->click();
    EXPECT_EQ(probe(w).cursorSample(), 5);
    EXPECT_TRUE(reader.boxes.isEmpty());
    probe(w).tickCount() = 2001;  // 315 ms
    probe(w).ui()->zeroPlayButton->click();
    EXPECT_EQ(probe(w).cursorSample(), 1000);
    EXPECT_EQ(probe(w).lastZeroPlayTick(), 2001u);
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), counterText(1000, 44100));
}

TEST_F(TransportWindow, TheCounterFollowsTheEngineOneDeviceBufferLate) {
    MainWindow &w = *sWindow;
    // 4096 frames at 44.1 kHz last 93 ms: the counter is three ticks late.
    engine().lastBufferFrames.store(4096);
    engine().engineStatus.store(kEnginePlaying);
    probe(w).counterRingIndex() = 0;
    for (QString &s : probe(w).counterRing()) s.clear();
    const int64_t played[] = {1000, 3000, 5000, 7000, 9000};
    QStringList shown;
    for (int64_t p : played) {
        engine().playingSample.store(p);
        w.takeSeveralHundredMili();
        EXPECT_EQ(probe(w).cursorSample(), p);
        shown << probe(w).ui()->lineEditTime->text();
    }
    EXPECT_EQ(shown,
              (QStringList{QString(), QString(), QString(), counterText(1000, 44100), counterText(3000, 44100)}));
    // The play rate is twice the file's: the cursor is in file samples.
    probe(w).playFs() = 88200;
    engine().playingSample.store(20000);
    w.takeSeveralHundredMili();
    EXPECT_EQ(probe(w).cursorSample(), 10000);
}

TEST_F(TransportWindow, TheOutPointStopsPlaybackWithinOneTickAtExactlyTheOutPoint) {
    MainWindow &w = *sWindow;
    probe(w).dialogEdit()->mExportRegion.outPoint = 44100;
    engine().lastBufferFrames.store(4096);
    engine().engineStatus.store(kEnginePlaying);
    probe(w).ui()->playButton->setChecked(true);
    probe(w).playActive() = true;

    // Up to the out point playback goes on.
    engine().playingSample.store(44100);
    w.takeSeveralHundredMili();
    EXPECT_EQ(engine().engineStatus.load(), kEnginePlaying);
    EXPECT_TRUE(probe(w).ui()->playButton->isChecked());

    // The first tick past it stops, and the counter shows the out point
    // itself at once, not the delayed position.
    engine().playingSample.store(46000);
    w.takeSeveralHundredMili();
    EXPECT_EQ(engine().engineStatus.load(), kEngineStopped);
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
    EXPECT_FALSE(probe(w).playActive());
    EXPECT_EQ(probe(w).cursorSample(), 44100);
    const QString out = counterText(44100, 44100);
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), out);
    for (int i = 0; i < kMainRingEntries; ++i) {
        ASSERT_EQ(probe(w).positionRing()[i], 44100) << i;
        ASSERT_EQ(probe(w).counterRing()[i], out) << i;
    }
    EXPECT_DOUBLE_EQ(probe(w).cursorFraction(), 0.1);
    // The stopped ticks that follow leave it there.
    engine().stopRequest.store(false);
    for (int i = 0; i < 5; ++i) w.takeSeveralHundredMili();
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), out);
    EXPECT_EQ(probe(w).cursorSample(), 44100);

    // In repeat mode the end of the range plays again from the in point.
    BoxReader reader;
    probe(w).repeatMode() = true;
    probe(w).dialogEdit()->mExportRegion.inPoint = 100;
    engine().engineStatus.store(kEnginePlaying);
    engine().playingSample.store(46000);
    w.takeSeveralHundredMili();
    EXPECT_EQ(probe(w).cursorSample(), 100);
    EXPECT_EQ(reader.boxes, QStringList{box("File Not Opened", "Please open audio file.")});
}

// While recording, the device runs at the recording's rate, not the play
// rate: the counter and the cursor's place within the minute count the
// captured frames at that rate.
TEST_F(TransportWindow, TheRecordingCounterCountsAtTheRecordingRate) {
    MainWindow &w = *sWindow;
    probe(w).playFs() = 44100;
    probe(w).recParams().rate = 96000;
    probe(w).recState() = 4;
    probe(w).recStartCount() = 0;
    engine().outputFrameCount.store(96000 * 3);
    // Through the counter's delay ring (one slot without a device buffer),
    // from its first slot whatever an earlier test left there.
    probe(w).counterRingIndex() = 0;
    w.takeSeveralHundredMili();
    w.takeSeveralHundredMili();
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), QStringLiteral("00:00:03.00"));
    EXPECT_EQ(probe(w).cursorSample(), 96000 * 3);
    EXPECT_DOUBLE_EQ(probe(w).cursorFraction(), 3.0 / 60.0);
    probe(w).recState() = 0;
    probe(w).recParams() = tRecParameters();
    engine().outputFrameCount.store(0);
    probe(w).ui()->recButton->setChecked(false);
}

// While a mix-down runs, every 20th tick sends its counters to a trace
// monitor: one record for each of the first two tracks and one for the
// mix-down's state.
TEST_F(TransportWindow, AMixDownTracesItsCountersEvery20Ticks) {
    MainWindow &w = *sWindow;
    QTcpServer monitor;
    ASSERT_TRUE(monitor.listen(QHostAddress::LocalHost, 0));
    const int level = DebugClient::sDebugLevel;
    DebugClient::Shutdown();
    DebugClient::sPort = monitor.serverPort();
    DebugClient::SetDebugLevel(15);
    probe(w).bouncing() = true;
    probe(w).bounceTraceCountdown() = 0;
    probe(w).bounceStatus() = tBounceStatusStruct();
    for (int i = 0; i < 20; ++i) w.takeSeveralHundredMili();
    probe(w).bouncing() = false;
    ASSERT_TRUE(monitor.waitForNewConnection(kHangMs));
    QTcpSocket *peer = monitor.nextPendingConnection();
    ASSERT_NE(peer, nullptr);
    DebugClient::Shutdown();  // writes what is queued, then closes
    QByteArray data;
    while (peer->state() == QAbstractSocket::ConnectedState && peer->waitForReadyRead(kHangMs)) data += peer->readAll();
    data += peer->readAll();
    DebugClient::SetDebugLevel(level);
    EXPECT_EQ(data.count("ConvCount,BouncedCount= "), 2) << data.toStdString();
    EXPECT_EQ(data.count("\tMAIN\t10\tmainwindow.cpp\ttakeSeveralHundredMili\t"), 3) << data.toStdString();
    EXPECT_EQ(data.count("BounceOK_F is False. 0, 0, 0, "), 1) << data.toStdString();
    EXPECT_EQ(data.count("BounceOK_F is True"), 0);
}

TEST_F(TransportWindow, TheWatchdogReportsADeviceWithoutBuffersAfter445Ticks) {
    MainWindow &w = *sWindow;
    BoxReader reader;
    ASSERT_EQ(probe(w).playDevIndex(), 1);
    // The device the window booted is offline (SetUpTestSuite): nothing
    // reloads the watchdog.
    setWDT(kTransportWatchdogMs);
    probe(w).watchdogEnabled() = true;
    // A device that went away is no longer listed either.
    sOutputs.clear();
    const int before = sEnumerations;
    int fired = 0;
    for (int tick = 1; tick <= 500 && !fired; ++tick) {
        w.takeSeveralHundredMili();
        if (!reader.boxes.isEmpty()) fired = tick;
    }
    EXPECT_EQ(fired, 445);
    EXPECT_EQ(reader.boxes, QStringList{box("Audio Device is Offline", "Selected audio device goes offline.")});
    EXPECT_FALSE(probe(w).watchdogEnabled());
    // The lists were rebuilt and the placeholder entry taken.
    EXPECT_GT(sEnumerations, before);
    EXPECT_EQ(probe(w).playDevIndex(), 0);
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->currentText(), QStringLiteral("(No Device)"));
}

TEST_F(TransportWindow, TimeSkipMovesTheStoppedCursorWithinTheMaterial) {
    MainWindow &w = *sWindow;
    struct Case {
        int64_t from;
        int seconds;
        int64_t to;
    };
    const Case cases[] = {{44100, 5, 264600}, {264600, -5, 44100}, {100000, -5, 0}, {420000, 5, 441000}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.from);
        probe(w).cursorSample() = c.from;
        w.timeSkip(c.seconds);
        EXPECT_EQ(probe(w).cursorSample(), c.to);
        EXPECT_EQ(probe(w).ui()->lineEditTime->text(), counterText(c.to, 44100));
        EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
    }

    // An armed recording and an engine busy with another job keep the cursor.
    probe(w).cursorSample() = 1000;
    probe(w).recState() = 3;
    w.timeSkip(5);
    probe(w).recState() = 0;
    EXPECT_EQ(probe(w).cursorSample(), 1000);
    engine().engineStatus.store(kEngineBounceFeed);
    w.timeSkip(5);
    EXPECT_EQ(probe(w).cursorSample(), 1000);
}

TEST_F(TransportWindow, MarkSkipJumpsToTheMarkBeforeOrAfterTheCursorAndPlays) {
    MainWindow &w = *sWindow;
    const uint64_t marks[] = {44100, 132300, 220500};
    for (int i = 0; i < 3; ++i) probe(w).markBuffer()[i].position = marks[i];
    probe(w).markCount() = 3;
    struct Case {
        int64_t from;
        int direction;
        int64_t to;  // from when no mark qualifies
    };
    // Backward passes over a mark less than a second behind the cursor.
    const Case cases[] = {
        {154350, -1, 44100}, {154350, 1, 220500}, {220500, 1, 220500}, {88200, -1, 88200}, {0, 1, 44100}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.from);
        SCOPED_TRACE(c.direction);
        BoxReader reader;
        probe(w).cursorSample() = c.from;
        probe(w).ui()->lineEditTime->setText(QStringLiteral("before"));
        w.markSkip(c.direction);
        QApplication::processEvents();
        EXPECT_EQ(probe(w).cursorSample(), c.to);
        if (c.to == c.from) {
            // Nothing to jump to: stopped, and no start is tried.
            EXPECT_EQ(probe(w).ui()->lineEditTime->text(), QStringLiteral("before"));
            EXPECT_TRUE(reader.boxes.isEmpty());
        } else {
            EXPECT_EQ(probe(w).ui()->lineEditTime->text(), counterText(c.to, 44100));
            // The start is tried from the mark; with no file open it is refused.
            EXPECT_EQ(reader.boxes, QStringList{box("File Not Opened", "Please open audio file.")});
        }
        EXPECT_EQ(probe(w).transportCommand(), int(kTransportStop));
    }
}
