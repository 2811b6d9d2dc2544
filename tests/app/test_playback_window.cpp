// Playback through the main window end to end: a file described into track
// 0, the play button, the track's audio thread, the engine, the virtual
// device, and the capture read back as a DAC would. One track at 0 dB with
// the equaliser off, played at the file's own rate: the device carries the
// file's samples, or its DSD bits after the fade-in has spliced into them.
//
// The window's own device layer drives the virtual device: the device list
// is rebuilt for it, and the window's rate change puts it on the play rate.
// A pace hook lets the unpaced device run only while the test allows it and,
// while playing, only once track 0's producer is a whole buffer ahead (a
// real-time device would not have underrun there either).
#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <string>
#include <vector>

#include "app/mainwindow.h"
#include "app/startupthreads.h"
#include "app/transportlogic.h"
#include "audiofile/audiohelpers.h"
#include "audiofile/dsdtestutil.h"
#include "editing/dialogedit.h"
#include "engine/contcoreaudiothread.h"
#include "engine/devicerig.h"
#include "meter/metergraphic.h"
#include "support/dsdcapture.h"
#include "support/testutil.h"
#include "support/wavwriter.h"
#include "ui_mainwindow.h"

namespace {

QTemporaryDir *sHome = nullptr;

// Time-outs only report a hang: a loaded machine may be slow, never wrong.
constexpr int kHangMs = 120000;

// The device's pace: held until allowed; with feed pacing a cycle runs
// only once the producer is a buffer ahead; with hold-when-stopped a
// stopped engine holds the device (and says so).
struct tPacer {
    std::atomic<bool> allowed{false}, feed{false}, holdStopped{false}, held{false};
    static bool pace(void *client, uint64_t) {
        auto *p = static_cast<tPacer *>(client);
        if (!p->allowed.load()) return false;
        const int32_t status = engine().engineStatus.load();
        if (p->holdStopped.load() && status == kEngineStopped) {
            p->held.store(true);
            return false;
        }
        if (!p->feed.load() || status != kEnginePlaying || engine().stopRequest.load()) return true;
        return rtbridge::feedReady(gAudioThread_getAudioBufferFrameSize());
    }
    void reset() {
        allowed = false;
        feed = false;
        holdStopped = false;
        held = false;
    }
};
tPacer sPacer;

// Message boxes are read and closed as the user would.
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

// Runs the window's event loop until pred holds or ms pass.
bool spinUntil(const std::function<bool()> &pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return pred();
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

using sxtest::Wav24;

// DSF keeps the first bit of each byte in the least significant bit.
std::vector<uint8_t> lsbFirst(const std::vector<uint8_t> &msbFirst) {
    std::vector<uint8_t> v(msbFirst.size());
    for (size_t i = 0; i < v.size(); ++i) {
        uint8_t b = msbFirst[i], r = 0;
        for (int k = 0; k < 8; ++k) r = uint8_t(r | (((b >> k) & 1) << (7 - k)));
        v[i] = r;
    }
    return v;
}

class PlaybackWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sHome = new QTemporaryDir;
        qputenv("HOME", sHome->path().toUtf8());
        qputenv("XDG_DATA_HOME", sHome->filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", sHome->filePath(QStringLiteral("config")).toUtf8());
        engtest::useBuiltLibrary();
        sWindow = new MainWindow;
    }
    static void TearDownTestSuite() {
        delete sWindow;
        sWindow = nullptr;
        delete sHome;
        sHome = nullptr;
    }
    void SetUp() override { DebugClient::SetDebugLevel(0); }
    void TearDown() override {
        vdev_setOffline(false);
        sPacer.allowed = true;
        sPacer.holdStopped = false;
        sPacer.feed = false;
    }

    // The virtual device under `name` (with the native DSD rates when
    // asked), found by the window's device list, and put on `rate` by the
    // window's rate change; the window plays at that rate. The device is
    // held until the test allows it to run.
    static void useDevice(const char *name, bool native, int rate, double speed = 0.0, const char *capture = "memory") {
        MainWindow &w = *sWindow;
        CContCoreAudioThread *control = probe(w).core().mContCoreAudioThread;
        ASSERT_NE(control, nullptr);
        control->ioThread()->AudioStopReq();
        control->addTransaction(new ClassStopAudioQueue);
        ASSERT_TRUE(engtest::waitFor([control] { return !control->isBusy(); }, kHangMs));
        tVirtualDeviceConfig c;
        c.mName = name;
        c.mUid = std::string("sonvex-test-") + name;
        c.mSpeed = speed;
        c.mCapture = capture;
        c.mCaptureLimit = 256ull << 20;
        if (native)
            c.mRates = {44100,  48000,  88200,  96000,   176400,  192000,   352800,
                        384000, 705600, 768000, 2822400, 5644800, 11289600, 22579200};
        sPacer.reset();
        ASSERT_GT(vdev_enable(c), 0);
        vdev_setPaceHook(&tPacer::pace, &sPacer);
        w.on_comboBox_driver_currentIndexChanged(0);
        w.setUIOperability(true);
        ASSERT_EQ(probe(w).ui()->comboBox_asioDev->currentText(), QString::fromLatin1(name));
        probe(w).reselectRate() = false;
        probe(w).playFs() = rate;
        probe(w).playFsIndex() = uint32_t(getFreqIndexFromFsValue(rate));
        w.changeFs(rate);
        w.changeMonitorVolume(0);
        // The window's own wait for the rate change may give up first on a
        // loaded machine; the jobs still run to their end.
        ASSERT_TRUE(engtest::waitFor([control] { return !control->isBusy(); }, kHangMs));
        ASSERT_EQ(control->playRate(), uint32_t(rate));
    }

    // Track 0 as opening a file leaves it (opened through the window, or
    // only described through the library as opening does): one track, the in-out range over the whole file, the cursor
    // at its start and a flat envelope at unity.
    static void openTrack0(const std::string &path, bool throughOpen = false) {
        MainWindow &w = *sWindow;
        const QString file = QString::fromStdString(path);
        if (throughOpen) {
            w.openFile(file, 0);
            ASSERT_EQ(probe(w).tracks()[0].path, file);
        } else {
            probe(w).tracks()[0].path = file;
            ASSERT_GE(w.getAudioParam(&probe(w).playJob(), file, 0), 0);
        }
        probe(w).mixParam().trackCount = 1;
        probe(w).mixParam().ch[0].delayMs = 0.0;
        probe(w).dialogEdit()->mExportRegion = tWaveEditParam();
        probe(w).dialogEdit()->mExportRegion.outPoint = int64_t(probe(w).tracks()[0].fileInfo.totalSamples);
        probe(w).cursorSample() = 0;
        probe(w).singleVolItems()[0] = tDspVolItem();
        probe(w).singleVolItems()[0].level = 1.0;
        probe(w).singleVolItems()[1] = tDspVolItem();
        probe(w).singleVolItems()[1].start = kDspVolEnd;
        probe(w).singleVolItems()[1].level = 1.0;
    }

    // Presses play, lets the device run to the end of the material and
    // returns what the device got.
    static void playToEnd(tVirtualCapture *cap) {
        MainWindow &w = *sWindow;
        (void)vdev_takeCapture(cap, true);
        probe(w).ui()->playButton->click();
        ASSERT_TRUE(probe(w).ui()->playButton->isChecked());
        ASSERT_EQ(probe(w).transportCommand(), int(kTransportPlay));
        ASSERT_TRUE(engtest::waitFor([] { return engine().engineStatus.load() == kEnginePlaying; }, kHangMs));
        // The timer sees the first block arrive.
        ASSERT_TRUE(spinUntil([&w] { return !probe(w).awaitingPlayStart(); }, kHangMs));
        sPacer.feed = true;
        sPacer.holdStopped = true;
        sPacer.allowed = true;
        ASSERT_TRUE(engtest::waitFor([] { return sPacer.held.load(); }, kHangMs));
        // The end arrives from the audio thread through the event loop.
        ASSERT_TRUE(spinUntil([&w] { return probe(w).transportCommand() == kTransportStop; }, kHangMs));
        ASSERT_EQ(vdev_takeCapture(cap, true), 0);
    }

    sxtest::TempDir dir;
    static MainWindow *sWindow;
};
MainWindow *PlaybackWindow::sWindow = nullptr;

// Checks that both channels of a DSD capture carry the source bits
// unchanged after the fade-in, to the material's last bit, and the idle
// pattern after it.
void expectDsdBitExact(const tVirtualCapture &cap, bool dop, const std::vector<uint8_t> *src[2], uint32_t rate,
                       uint64_t bits, int64_t latestSplice) {
    ASSERT_FALSE(cap.mCycles.empty());
    std::vector<uint8_t> out[2], markers;
    dsdcap::decode(cap, dop, out, dop ? &markers : nullptr);
    if (dop) EXPECT_EQ(dsdcap::markerBreak(markers), -1) << "the DoP markers do not alternate";
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        const int64_t lag = dsdcap::findLag(out[c], *src[c]);
        ASSERT_GE(lag, 17) << "the source bits never reach the device unchanged";
        int64_t from = 0, until = 0;
        dsdcap::exactRun(out[c], *src[c], lag, &from, &until);
        // A same-rate job delays by 17 bits: the end of the material
        // flushes them.
        EXPECT_EQ(until, int64_t(bits)) << "pure output broke off";
        EXPECT_EQ(dsdcap::idleBytesAfter(out[c], int64_t(bits) + lag, 64), 64) << "no idle pattern after the end";
        EXPECT_GT(from, 0) << "no fade-in";
        EXPECT_LT(from, latestSplice) << "pure output began late";
    }
    (void)rate;
}

}  // namespace

// A 24-bit WAV at 44.1 kHz: after the fade-in every sample reaches the
// device as the file has it; the end moves the counter to the end of the
// material. With repeat on, the end plays again from the in point, and a
// press of stop ends that for good.
TEST_F(PlaybackWindow, AWavPlaysToTheDeviceUnchangedThenRepeats) {
    constexpr uint32_t kFrames = 30000;
    const Wav24 wav(kFrames);
    const std::string path = dir.file("tone24.wav");
    ASSERT_TRUE(sxtest::writeAll(path, wav.bytes));
    MainWindow &w = *sWindow;
    BoxReader reader;

    ASSERT_NO_FATAL_FAILURE(useDevice("Studio Interface", false, 44100));
    // Opened as the user opens it; the in-out range and the envelope are
    // set as the track view would leave them.
    ASSERT_NO_FATAL_FAILURE(openTrack0(path, true));
    ASSERT_EQ(probe(w).tracks()[0].fileInfo.totalSamples, uint64_t(kFrames));
    ASSERT_EQ(probe(w).playFs(), 44100);
    // A stop that met the end of the last material was never carried out;
    // it must not cut this start short.
    engine().stopRequest.store(true);
    tVirtualCapture cap;
    ASSERT_NO_FATAL_FAILURE(playToEnd(&cap));
    EXPECT_TRUE(reader.boxes.isEmpty()) << reader.boxes.join(QStringLiteral("; ")).toStdString();
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
    EXPECT_EQ(probe(w).cursorSample(), int64_t(kFrames));

    ASSERT_FALSE(cap.mCycles.empty());
    const bool floats = cap.mCycles[0].mContainer == int(kAudioHostContainerFloat32);
    const size_t frames = cap.mData.size() / 8;
    ASSERT_GE(frames, size_t(kFrames) - 64) << "the material was not played through";
    const std::vector<float> f = rtbridge::Bridge::floats(cap);
    const std::vector<int32_t> words = rtbridge::Bridge::words(cap);
    // The capture begins with the idle buffers before the start: find the
    // material's last sample and count back.
    auto expected = [&](size_t i) {
        const double s = wav.samples[i] / 8388608.0;
        return floats ? double(float(s)) : double(std::lrint(s * 2147483647.0));
    };
    auto value = [&](size_t i) { return floats ? double(f[i]) : double(words[i]); };
    size_t last = frames * 2;
    while (last > 0 && value(last - 1) == 0.0) --last;
    ASSERT_GE(last, size_t(kFrames) * 2);
    const size_t lead = last - size_t(kFrames) * 2;
    size_t unity = size_t(kFrames) * 2;
    while (unity > 0 && value(lead + unity - 1) == expected(unity - 1)) --unity;
    EXPECT_LE(unity / 2, 4096u) << "the samples differ from the file after the fade-in";

    // Repeat: from the start, the end of the material starts the in-out
    // range again. The
    // device runs in real time now, so that the second pass can be stopped.
    vdev_setSpeed(1.0);
    probe(w).lastZeroPlayTick() = probe(w).tickCount() - 100;
    probe(w).repeatMode() = true;
    probe(w).cursorSample() = 0;
    (void)vdev_takeCapture(&cap, true);
    probe(w).ui()->playButton->click();
    ASSERT_TRUE(engtest::waitFor([] { return engine().engineStatus.load() == kEnginePlaying; }, kHangMs));
    ASSERT_TRUE(spinUntil([&w] { return !probe(w).awaitingPlayStart(); }, kHangMs));
    sPacer.allowed = true;
    // The first pass ends and the second one starts.
    ASSERT_TRUE(spinUntil([&w] { return probe(w).lastZeroPlayTick() + 50 > probe(w).tickCount(); }, kHangMs));
    ASSERT_TRUE(spinUntil([] { return engine().engineStatus.load() == kEnginePlaying; }, kHangMs));
    EXPECT_TRUE(probe(w).ui()->playButton->isChecked());
    probe(w).ui()->stopButton->click();
    EXPECT_TRUE(spinUntil([] { return engine().engineStatus.load() == kEngineStopped; }, kHangMs));
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
    // The stopped job's end is not repeated.
    ASSERT_TRUE(spinUntil([&w] { return probe(w).transportCommand() == kTransportStop && !probe(w).stopRequested(); }, kHangMs));
    spinUntil([] { return false; }, 500);
    EXPECT_EQ(engine().engineStatus.load(), kEngineStopped);
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
    probe(w).repeatMode() = false;
    EXPECT_TRUE(reader.boxes.isEmpty()) << reader.boxes.join(QStringLiteral("; ")).toStdString();
}

// A DSD64 DSF on a PCM device plays as DoP: after the fade-in the device
// carries every bit of the file unchanged to the end of the material.
TEST_F(PlaybackWindow, ADsfPlaysAsDopBitExact) {
    constexpr uint32_t kRate = 2822400;
    constexpr uint64_t kBits = kRate;  // 1 s
    std::vector<uint8_t> left, right;
    devrig::dsdTone(kRate, kBits, &left, &right);
    const std::string path = dir.file("tone64.dsf");
    ASSERT_NO_FATAL_FAILURE(dsdtest::writeDsf(path, kRate, {lsbFirst(left), lsbFirst(right)}));
    BoxReader reader;

    ASSERT_NO_FATAL_FAILURE(useDevice("Studio Interface", false, int(kRate)));
    ASSERT_NO_FATAL_FAILURE(openTrack0(path));
    ASSERT_EQ(probe(*sWindow).tracks()[0].fileInfo.totalSamples, kBits);
    tVirtualCapture cap;
    ASSERT_NO_FATAL_FAILURE(playToEnd(&cap));
    EXPECT_TRUE(reader.boxes.isEmpty()) << reader.boxes.join(QStringLiteral("; ")).toStdString();
    for (const tVirtualCycleRecord &r : cap.mCycles) ASSERT_EQ(r.mKind, int(kAudioHostDop));
    const std::vector<uint8_t> *src[2] = {&left, &right};
    expectDsdBitExact(cap, true, src, kRate, kBits, int64_t(kRate) / 2);
}

// A DSD256 DSF on the device presented as the native DSD device: native DSD
// words carrying the file's bits unchanged once the fade-in has spliced
// into them.
TEST_F(PlaybackWindow, ADsfPlaysNativelyBitExact) {
    constexpr uint32_t kRate = 11289600;
    constexpr uint64_t kBits = kRate / 2;  // 0.5 s
    std::vector<uint8_t> left, right;
    devrig::dsdTone(kRate, kBits, &left, &right);
    const std::string path = dir.file("tone256.dsf");
    ASSERT_NO_FATAL_FAILURE(dsdtest::writeDsf(path, kRate, {lsbFirst(left), lsbFirst(right)}));
    BoxReader reader;

    ASSERT_NO_FATAL_FAILURE(useDevice("ZOLT USB AUDIO DEVICE", true, int(kRate)));
    ASSERT_TRUE(CCoreAudioIOThread::mZoltVx_DsdNative);
    ASSERT_NO_FATAL_FAILURE(openTrack0(path));
    tVirtualCapture cap;
    ASSERT_NO_FATAL_FAILURE(playToEnd(&cap));
    EXPECT_TRUE(reader.boxes.isEmpty()) << reader.boxes.join(QStringLiteral("; ")).toStdString();
    for (const tVirtualCycleRecord &r : cap.mCycles) ASSERT_EQ(r.mKind, int(kAudioHostDsd));
    const std::vector<uint8_t> *src[2] = {&left, &right};
    expectDsdBitExact(cap, false, src, kRate, kBits, int64_t(kRate) * 2 / 5);
}

// A DSD playback stopped mid-way, by the stop button or during a repeat of
// its end, fades out and leaves nothing behind: the next playback of the
// file carries its bits unchanged again.
TEST_F(PlaybackWindow, ADsfStoppedMidwayOrInItsRepeatLeavesTheNextOneBitExact) {
    constexpr uint32_t kRate = 2822400;
    constexpr uint64_t kBits = kRate;  // 1 s
    std::vector<uint8_t> left, right;
    devrig::dsdTone(kRate, kBits, &left, &right);
    const std::string path = dir.file("midway64.dsf");
    ASSERT_NO_FATAL_FAILURE(dsdtest::writeDsf(path, kRate, {lsbFirst(left), lsbFirst(right)}));
    MainWindow &w = *sWindow;
    BoxReader reader;
    const std::vector<uint8_t> *src[2] = {&left, &right};

    for (bool repeat : {false, true}) {
        SCOPED_TRACE(repeat ? "stopped in the repeat" : "stopped mid-way");
        // In real time, so that the stop lands where it is meant to.
        ASSERT_NO_FATAL_FAILURE(useDevice("Studio Interface", false, int(kRate), 1.0));
        ASSERT_NO_FATAL_FAILURE(openTrack0(path));
        probe(w).repeatMode() = repeat;
        probe(w).lastZeroPlayTick() = probe(w).tickCount() - 100;
        sPacer.allowed = true;
        probe(w).ui()->playButton->click();
        ASSERT_TRUE(engtest::waitFor([] { return engine().engineStatus.load() == kEnginePlaying; }, kHangMs));
        ASSERT_TRUE(spinUntil([&w] { return !probe(w).awaitingPlayStart(); }, kHangMs));
        if (repeat) {
            ASSERT_TRUE(spinUntil([&w] { return probe(w).lastZeroPlayTick() + 50 > probe(w).tickCount(); }, kHangMs));
            ASSERT_TRUE(spinUntil([] { return engine().engineStatus.load() == kEnginePlaying; }, kHangMs));
        }
        ASSERT_TRUE(spinUntil([] { return getPlayingSample() > kRate / 4; }, kHangMs));
        probe(w).ui()->stopButton->click();
        EXPECT_TRUE(spinUntil([] { return engine().engineStatus.load() == kEngineStopped; }, kHangMs));
        ASSERT_TRUE(spinUntil([&w] { return probe(w).transportCommand() == kTransportStop && !probe(w).stopRequested(); }, kHangMs));
        probe(w).repeatMode() = false;

        // Held while the job winds up, then from the start to the end.
        sPacer.allowed = false;
        vdev_setSpeed(0.0);
        ASSERT_TRUE(spinUntil([&w] { return probe(w).tracks()[0].audioThread && !probe(w).tracks()[0].audioThread->isRunning(); }, kHangMs));
        probe(w).cursorSample() = 0;
        tVirtualCapture cap;
        ASSERT_NO_FATAL_FAILURE(playToEnd(&cap));
        for (const tVirtualCycleRecord &r : cap.mCycles) ASSERT_EQ(r.mKind, int(kAudioHostDop));
        expectDsdBitExact(cap, true, src, kRate, kBits, int64_t(kRate) / 2);
    }
    EXPECT_TRUE(reader.boxes.isEmpty()) << reader.boxes.join(QStringLiteral("; ")).toStdString();
}

// A play that ran to the end leaves the cursor at the end of the material.
// PLAY there has nothing left to play: the button goes out at once and no
// job is started, also after STOP. From a little before the end the rest
// plays, and its end puts the button out.
TEST_F(PlaybackWindow, PlayAtTheEndOfTheMaterialLeavesTheButtonOut) {
    constexpr uint32_t kFrames = 30000;
    const Wav24 wav(kFrames);
    const std::string path = dir.file("end.wav");
    ASSERT_TRUE(sxtest::writeAll(path, wav.bytes));
    MainWindow &w = *sWindow;
    BoxReader reader;

    ASSERT_NO_FATAL_FAILURE(useDevice("Studio Interface", false, 44100));
    ASSERT_NO_FATAL_FAILURE(openTrack0(path, true));
    tVirtualCapture cap;
    ASSERT_NO_FATAL_FAILURE(playToEnd(&cap));
    ASSERT_EQ(probe(w).cursorSample(), int64_t(kFrames));
    ASSERT_FALSE(probe(w).ui()->playButton->isChecked());
    const QString atEnd = probe(w).ui()->lineEditTime->text();

    for (bool stopFirst : {false, true}) {
        SCOPED_TRACE(stopFirst ? "STOP, then PLAY" : "PLAY");
        if (stopFirst) probe(w).ui()->stopButton->click();
        probe(w).ui()->playButton->click();
        EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
        EXPECT_EQ(probe(w).transportCommand(), int(kTransportStop));
        EXPECT_EQ(engine().engineStatus.load(), kEngineStopped);
        EXPECT_EQ(probe(w).cursorSample(), int64_t(kFrames));
        EXPECT_EQ(probe(w).ui()->lineEditTime->text(), atEnd);
    }

    probe(w).cursorSample() = kFrames - 4410;
    ASSERT_NO_FATAL_FAILURE(playToEnd(&cap));
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
    EXPECT_EQ(probe(w).cursorSample(), int64_t(kFrames));
    EXPECT_TRUE(reader.boxes.isEmpty()) << reader.boxes.join(QStringLiteral("; ")).toStdString();
}

// Choosing another play rate while a file plays stops playback where it
// was: the cursor and the counter keep the place that was playing, and the
// next PLAY goes on from there at the new rate.
TEST_F(PlaybackWindow, ARateChangeWhilePlayingKeepsThePlace) {
    constexpr uint32_t kFrames = 44100 * 10;
    const Wav24 wav(kFrames);
    const std::string path = dir.file("ten.wav");
    ASSERT_TRUE(sxtest::writeAll(path, wav.bytes));
    MainWindow &w = *sWindow;
    BoxReader reader;

    ASSERT_NO_FATAL_FAILURE(useDevice("Studio Interface", false, 44100, 1.0));
    ASSERT_NO_FATAL_FAILURE(openTrack0(path, true));
    sPacer.allowed = true;
    probe(w).ui()->playButton->click();
    ASSERT_TRUE(spinUntil([] { return engine().engineStatus.load() == kEnginePlaying; }, kHangMs));
    // The counter has moved on from the start.
    ASSERT_TRUE(spinUntil([&w] { return probe(w).cursorSample() > 44100; }, kHangMs));

    const int entry = probe(w).ui()->comboBox_asioFreq->findText(QStringLiteral("96kHz"));
    ASSERT_GT(entry, 0);
    probe(w).ui()->comboBox_asioFreq->setCurrentIndex(entry);
    // The stopped job's end arrives through the event loop.
    ASSERT_TRUE(spinUntil([&w] { return !probe(w).tracks()[0].audioThread->isRunning(); }, kHangMs));
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
    EXPECT_EQ(probe(w).playFs(), 96000);
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
    const int64_t place = probe(w).cursorSample();
    EXPECT_GT(place, 44100);
    EXPECT_LT(place, int64_t(kFrames) - 44100);
    EXPECT_LT(probe(w).cursorFraction(), 1.0);
    QString end;
    w.prepareTimeInfoDisp(end, kFrames, 44100);
    EXPECT_NE(probe(w).ui()->lineEditTime->text(), end);

    // PLAY goes on from the place.
    probe(w).ui()->playButton->click();
    EXPECT_TRUE(probe(w).ui()->playButton->isChecked());
    ASSERT_TRUE(spinUntil([] { return engine().engineStatus.load() == kEnginePlaying; }, kHangMs));
    ASSERT_TRUE(spinUntil([&w] { return !probe(w).awaitingPlayStart(); }, kHangMs));
    ASSERT_TRUE(spinUntil([&w, place] { return probe(w).cursorSample() != place; }, kHangMs));
    // The start is handed over in hundredths of a second.
    EXPECT_GE(probe(w).cursorSample() + 441, place);
    probe(w).ui()->stopButton->click();
    ASSERT_TRUE(spinUntil([] { return engine().engineStatus.load() == kEngineStopped; }, kHangMs));
    spinUntil([&w] { return !probe(w).tracks()[0].audioThread->isRunning(); }, kHangMs);
    EXPECT_TRUE(reader.boxes.isEmpty()) << reader.boxes.join(QStringLiteral("; ")).toStdString();
}

// A device that goes offline while playing: its buffers stop, and about
// 20 s later (445 ticks) the watchdog reports it, stops playback and leaves
// the device list on its placeholder.
TEST_F(PlaybackWindow, ADeviceGoneOfflineWhilePlayingIsReportedAfterAbout20s) {
    constexpr uint32_t kFrames = 44100 * 30;
    const Wav24 wav(kFrames);
    const std::string path = dir.file("long.wav");
    ASSERT_TRUE(sxtest::writeAll(path, wav.bytes));
    MainWindow &w = *sWindow;
    BoxReader reader;

    ASSERT_NO_FATAL_FAILURE(useDevice("Studio Interface", false, 44100, 1.0, "off"));
    ASSERT_TRUE(probe(w).watchdogEnabled());
    ASSERT_NO_FATAL_FAILURE(openTrack0(path));
    sPacer.allowed = true;
    probe(w).ui()->playButton->click();
    ASSERT_TRUE(spinUntil([] { return engine().engineStatus.load() == kEnginePlaying; }, kHangMs));
    ASSERT_TRUE(spinUntil([] { return getPlayingSample() > 22050; }, kHangMs));

    vdev_setOffline(true);
    // Counted in the window's ticks, as the watchdog counts: a loaded
    // machine delays them, but not their number.
    const uint32_t tick0 = probe(w).tickCount();
    ASSERT_TRUE(spinUntil([&reader] { return !reader.boxes.isEmpty(); }, 10 * kHangMs));
    const uint32_t ticks = probe(w).tickCount() - tick0;
    EXPECT_GE(ticks, 440u);
    EXPECT_LE(ticks, 446u);
    EXPECT_EQ(reader.boxes.first(), QStringLiteral("Audio Device is Offline|Selected audio device goes offline."));
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
    EXPECT_EQ(engine().engineStatus.load(), kEngineStopped);
    EXPECT_EQ(probe(w).playDevIndex(), 0);
    EXPECT_EQ(probe(w).ui()->comboBox_asioFreq->currentText(), QStringLiteral("(offline)"));
    vdev_setOffline(false);
    spinUntil([&w] { return probe(w).transportCommand() == kTransportStop; }, kHangMs);
}

// Opening a file first stops what plays and waits for what that wait is
// for: the track's audio thread ending its job, and with it its hold on the
// file, or the wait's bound of 1.5 s on a job that does not end. With the
// engine already stopped nothing is waited for.
TEST_F(PlaybackWindow, OpeningWaitsOnlyForAPlayingTrackToLetGo) {
    const Wav24 wav(441000);
    const std::string first = dir.file("first.wav"), second = dir.file("second.wav");
    ASSERT_TRUE(sxtest::writeAll(first, wav.bytes));
    ASSERT_TRUE(sxtest::writeAll(second, wav.bytes));
    MainWindow &w = *sWindow;
    ASSERT_NO_FATAL_FAILURE(useDevice("Studio Interface", false, 44100, 1.0));
    audioThread *thread = probe(w).tracks()[0].audioThread;
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(spinUntil([thread] { return !thread->isRunning(); }, kHangMs));

    ASSERT_NO_FATAL_FAILURE(openTrack0(first, true));
    EXPECT_EQ(probe(w).openReleasePolls(), 0) << "an open with nothing playing waited";

    probe(w).ui()->playButton->click();
    ASSERT_TRUE(engtest::waitFor([] { return engine().engineStatus.load() == kEnginePlaying; }, kHangMs));
    ASSERT_TRUE(spinUntil([&w] { return !probe(w).awaitingPlayStart(); }, kHangMs));
    sPacer.allowed = true;
    const uint32_t tick = probe(w).tickCount();
    ASSERT_TRUE(spinUntil([&w, tick] { return probe(w).tickCount() > tick + 4; }, kHangMs));
    ASSERT_TRUE(thread->isRunning());

    w.openFile(QString::fromStdString(second), 0);
    EXPECT_TRUE(!thread->isRunning() || probe(w).openReleasePolls() == 150)
        << "the open went on while the play job still ran, after " << probe(w).openReleasePolls() << " polls";
    EXPECT_EQ(engine().engineStatus.load(), kEngineStopped);
    EXPECT_EQ(probe(w).tracks()[0].path, QString::fromStdString(second));
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
}

// The window on screen with nothing playing draws nothing, tick after
// tick: not the meter, not the counter, not the waveform view. Playing,
// the counter and the meter are drawn as they move.
TEST_F(PlaybackWindow, TheIdleWindowDrawsNothingAndPlayingDrawsTheCounterAndMeter) {
    const Wav24 wav(441000);
    const std::string path = dir.file("idle.wav");
    ASSERT_TRUE(sxtest::writeAll(path, wav.bytes));
    MainWindow &w = *sWindow;
    ASSERT_NO_FATAL_FAILURE(useDevice("Studio Interface", false, 44100, 1.0));
    ASSERT_NO_FATAL_FAILURE(openTrack0(path, true));
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    probe(w).ui()->lineEditTime->clearFocus();  // a focused field blinks its text cursor
    // The overview is complete and the first paints are done.
    ASSERT_TRUE(spinUntil([&w] { return probe(w).tracks()[0].waveJobDone == 1; }, kHangMs));
    uint32_t tick = probe(w).tickCount();
    ASSERT_TRUE(spinUntil([&w, tick] { return probe(w).tickCount() > tick + 10; }, kHangMs));

    struct tPaints : QObject {
        int meter = 0, counter = 0, view = 0;
        QWidget *counterField = nullptr, *trackView = nullptr;
        bool eventFilter(QObject *o, QEvent *e) override {
            if (e->type() != QEvent::Paint) return false;
            if (o == counterField)
                ++counter;
            else if (o == trackView)
                ++view;
            else
                ++meter;
            return false;
        }
    } paints;
    paints.counterField = probe(w).ui()->lineEditTime;
    paints.trackView = probe(w).ui()->widgetTrack1;
    probe(w).ui()->lineEditTime->installEventFilter(&paints);
    probe(w).ui()->widgetTrack1->installEventFilter(&paints);
    for (const QPointer<QWidget> &part : probe(w).ui()->widgetMeter->mDrawWidget) part->installEventFilter(&paints);

    tick = probe(w).tickCount();
    ASSERT_TRUE(spinUntil([&w, tick] { return probe(w).tickCount() > tick + 40; }, kHangMs));
    EXPECT_EQ(paints.meter, 0);
    EXPECT_EQ(paints.counter, 0);
    EXPECT_EQ(paints.view, 0);

    probe(w).ui()->playButton->click();
    ASSERT_TRUE(engtest::waitFor([] { return engine().engineStatus.load() == kEnginePlaying; }, kHangMs));
    sPacer.allowed = true;
    EXPECT_TRUE(spinUntil([&paints] { return paints.counter > 2 && paints.meter > 2; }, kHangMs));
    probe(w).ui()->stopButton->click();
    ASSERT_TRUE(spinUntil([] { return engine().engineStatus.load() == kEngineStopped; }, kHangMs));

    probe(w).ui()->lineEditTime->removeEventFilter(&paints);
    probe(w).ui()->widgetTrack1->removeEventFilter(&paints);
    for (const QPointer<QWidget> &part : probe(w).ui()->widgetMeter->mDrawWidget) part->removeEventFilter(&paints);
    w.hide();
}
