// The main window on the real device layer with the audio host's virtual
// device: the device list shows it, start-up boots it and its stream runs at
// the chosen play rate, a rate change restarts the stream through the
// control thread's jobs, picking the device boots it twice, and the same
// device presented under the native-DSD device's name gets its native rates.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QTemporaryDir>

#include "app/mainwindow.h"
#include "app/startupthreads.h"
#include "editing/dialogrecsetup.h"
#include "engine/audiothread.h"
#include "engine/capturering.h"
#include "engine/contcoreaudiothread.h"
#include "engine/enginestate.h"
#include "mainwindowfixture.h"
#include "platform/audiohost/virtualdevice.h"
#include "ui_mainwindow.h"

namespace {

QStringList texts(const QComboBox *box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

const QStringList kPcm = {"44.1kHz", "48kHz",    "88.2kHz", "96kHz",    "176.4kHz",
                          "192kHz",  "352.8kHz", "384kHz",  "705.6kHz", "768kHz"};

// The stream runs: the device's callback keeps being called.
bool streamRuns() { return vdev_waitCycles(vdev_cycles() + 3, 3000) == 0; }

// The nominal rate of the cycles the device played since the last call.
uint32_t lastPlayedRate() {
    tVirtualCapture capture;
    if (vdev_takeCapture(&capture, true) != 0 || capture.mCycles.empty()) return 0;
    return capture.mCycles.back().mRate;
}

class DevicesHost : public tMainWindowSuite {};

}  // namespace

// The virtual device has no clock to settle: start-up boots it without the
// pause a sound card is given, and the device access says so for it (and
// for a position that names no device).
TEST_F(DevicesHost, StartUpDoesNotPauseForTheVirtualDevice) {
    MainWindow &w = *sWindow;
    ASSERT_TRUE(probe(w).constructed());
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->currentText(), QStringLiteral("Sonvex Virtual Device"));
    EXPECT_FALSE(probe(w).startPaused());
    ASSERT_TRUE(probe(w).core().mDevices.settles);
    EXPECT_FALSE(probe(w).core().mDevices.settles(0));
    EXPECT_FALSE(probe(w).core().mDevices.settles(7));
}

TEST_F(DevicesHost, StartUpListsAndBootsTheVirtualDevice) {
    MainWindow &w = *sWindow;
    ASSERT_TRUE(probe(w).constructed());
    const QStringList devices = {QStringLiteral("(Select Device...)"), QStringLiteral("Sonvex Virtual Device")};
    EXPECT_EQ(texts(probe(w).ui()->comboBox_asioDev), devices);
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->currentIndex(), 1);
    EXPECT_EQ(probe(w).playDevIndex(), 1);

    // Its rates after "AUTO"; a device in neither DoP list is offered DoP.
    const QStringList dop = {"2.8MHz", "5.6MHz", "11.2MHz"};
    const QStringList rates = QStringList{QStringLiteral("AUTO")} + kPcm + dop;
    EXPECT_EQ(texts(probe(w).ui()->comboBox_asioFreq), rates);
    EXPECT_EQ(probe(w).ui()->comboBox_asioFreq->currentText(), QStringLiteral("AUTO"));

    // The set-up window's lists mirror the main form's.
    auto *setupDevices = probe(w).dialogRecSetup()->findChild<QComboBox *>(QStringLiteral("comboBoxPlayDevice"));
    ASSERT_NE(setupDevices, nullptr);
    EXPECT_EQ(texts(setupDevices), devices);
    EXPECT_EQ(setupDevices->currentIndex(), 1);
    EXPECT_EQ(texts(probe(w).dialogRecSetup()->ComboboxPlayFreq), rates);
    EXPECT_EQ(texts(probe(w).dialogRecSetup()->BounceFormat),
              (QStringList{QStringLiteral("WAV(PCM)"), QStringLiteral("DSDIFF(DSD)"), QStringLiteral("DSF(DSD)")}));

    // Booted: the control thread put the device on 44.1 kHz without a file
    // and its stream runs.
    EXPECT_EQ(probe(w).playFs(), 44100);
    EXPECT_EQ(uint32_t(probe(w).core().mContCoreAudioThread->playDevice()), vdev_deviceId());
    EXPECT_EQ(probe(w).core().mContCoreAudioThread->playRate(), 44100u);
    EXPECT_EQ(CCoreAudioIOThread::mAUSampleRate, 44100u);
    EXPECT_TRUE(probe(w).watchdogEnabled());
    EXPECT_TRUE(streamRuns());
    EXPECT_EQ(lastPlayedRate(), 44100u);

    // The capture blocks the engine records into are the window's.
    double **work = static_cast<double **>(getRecBuffer(kRecBufferWork, 0));
    ASSERT_NE(work, nullptr);
    for (int slot = 0; slot < kMainCaptureBlocks; ++slot) ASSERT_EQ(work[slot], probe(w).core().mCaptureStereo[0][slot]) << slot;
    EXPECT_EQ(engine().captureBlockFrames.load(), probe(w).core().mCaptureBlockFrames);
}

TEST_F(DevicesHost, ARateChoiceRestartsTheStreamAtThatRate) {
    MainWindow &w = *sWindow;
    probe(w).ui()->comboBox_asioFreq->setCurrentIndex(probe(w).ui()->comboBox_asioFreq->findText(QStringLiteral("96kHz")));
    EXPECT_EQ(probe(w).playFs(), 96000);
    EXPECT_FALSE(probe(w).autoRate());
    EXPECT_FALSE(probe(w).core().mContCoreAudioThread->isBusy());
    EXPECT_EQ(probe(w).core().mContCoreAudioThread->playRate(), 96000u);
    EXPECT_EQ(CCoreAudioIOThread::mAUSampleRate, 96000u);
    vdev_clearCapture();
    EXPECT_TRUE(streamRuns());
    EXPECT_EQ(lastPlayedRate(), 96000u);

    // Back to "AUTO": 44.1 kHz again without a file.
    probe(w).ui()->comboBox_asioFreq->setCurrentIndex(0);
    EXPECT_EQ(probe(w).playFs(), 44100);
    EXPECT_EQ(CCoreAudioIOThread::mAUSampleRate, 44100u);
}

TEST_F(DevicesHost, PickingTheDeviceBootsItTwice) {
    MainWindow &w = *sWindow;
    int selections = 0;
    const auto realSelect = probe(w).core().mDevices.select;
    probe(w).core().mDevices.select = [&selections, realSelect](int play, int rec) {
        ++selections;
        realSelect(play, rec);
    };

    // The placeholder: nothing booted, the rate lists offline.
    probe(w).ui()->comboBox_asioDev->setCurrentIndex(0);
    w.on_comboBox_asioDev_activated(0);
    EXPECT_EQ(selections, 0);
    EXPECT_EQ(texts(probe(w).ui()->comboBox_asioFreq), QStringList{QStringLiteral("(offline)")});
    EXPECT_EQ(probe(w).playDevIndex(), 0);

    // The device: the set-up window's echo boots it, then the slot does.
    probe(w).ui()->comboBox_asioDev->setCurrentIndex(1);
    w.on_comboBox_asioDev_activated(1);
    EXPECT_EQ(selections, 2);
    EXPECT_EQ(probe(w).playDevIndex(), 1);
    EXPECT_EQ(probe(w).ui()->comboBox_asioFreq->count(), 14);
    EXPECT_EQ(CCoreAudioIOThread::mAUSampleRate, 44100u);
    EXPECT_TRUE(streamRuns());
    probe(w).core().mDevices.select = realSelect;
}

TEST_F(DevicesHost, UnderTheNativeDeviceNameDsdGoesOverPcmUpTo5_6MHz) {
    MainWindow &w = *sWindow;
    // The device goes away and comes back under the name of the maker's
    // native-DSD device; its stream must be stopped to reconfigure it.
    CContCoreAudioThread *control = probe(w).core().mContCoreAudioThread;
    control->ioThread()->AudioStopReq();
    control->addTransaction(new ClassStopAudioQueue);
    ASSERT_TRUE(startup_pollUntil([control] { return !control->isBusy(); }, 10, 500));
    tVirtualDeviceConfig config;
    config.mName = "ZOLT USB AUDIO DEVICE";
    config.mUid = "sonvex-virtual-native";
    ASSERT_GT(vdev_enable(config), 0);

    // A click on the idle list notices the new name and rebuilds; the one
    // device is booted at once. The table's row offers DoP, but never the
    // 11.2 MHz entry on this device.
    w.DeviceListClicked();
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->currentText(), QStringLiteral("ZOLT USB AUDIO DEVICE"));
    EXPECT_TRUE(probe(w).dsdNativeDevice());
    EXPECT_TRUE(CCoreAudioIOThread::mZoltVx_DsdNative);
    const QStringList dop = {"2.8MHz", "5.6MHz"};
    EXPECT_EQ(texts(probe(w).ui()->comboBox_asioFreq), QStringList{QStringLiteral("AUTO")} + kPcm + dop);
    EXPECT_TRUE(streamRuns());

    // DSD128 as DoP: the device runs at a sixteenth of the DSD rate.
    probe(w).ui()->comboBox_asioFreq->setCurrentIndex(probe(w).ui()->comboBox_asioFreq->findText(QStringLiteral("5.6MHz")));
    EXPECT_EQ(probe(w).playFs(), 5644800);
    EXPECT_EQ(CCoreAudioIOThread::mAUSampleRate, 352800u);
    vdev_clearCapture();
    ASSERT_TRUE(streamRuns());
    tVirtualCapture capture;
    ASSERT_EQ(vdev_takeCapture(&capture, true), 0);
    ASSERT_FALSE(capture.mCycles.empty());
    EXPECT_EQ(capture.mCycles.back().mRate, 352800u);
    EXPECT_EQ(capture.mCycles.back().mKind, int(kAudioHostDop));
}
