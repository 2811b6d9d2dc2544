// The main window's device lists, device boot, play-rate choice and monitor
// volume on one constructed window, with devices presented under chosen
// names and rate sets through the window's device access.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>

#include "app/devicelists.h"
#include "app/mainwindow.h"
#include "editing/dialogrecsetup.h"
#include "engine/audiothread.h"
#include "ui_mainwindow.h"

namespace {

// The devices the window sees.
struct tFakeDevices {
    QStringList outputs;
    QStringList inputs;
    QVector<QVector<int>> rates;  // per output device
    int bufferFrames = 512;
    int enumerations = 0;
    QVector<QPair<int, int>> selections;  // every boot's (play, rec)
    struct Restart {
        int play, rec, rate;
    };
    QVector<Restart> restarts;  // every stream restart at a rate
};

tFakeDevices sDevices;
QTemporaryDir *sHome = nullptr;

const QVector<int> kUpTo192 = {44100, 48000, 88200, 96000, 176400, 192000};
const QVector<int> kHiRes = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000, 705600, 768000};

QStringList texts(const QComboBox *box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

QStringList withAuto(const QStringList &rates) { return QStringList{QStringLiteral("AUTO")} + rates; }

class DevicesWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sHome = new QTemporaryDir;
        qputenv("HOME", sHome->path().toUtf8());
        qputenv("XDG_DATA_HOME", sHome->filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", sHome->filePath(QStringLiteral("config")).toUtf8());
        audioThread::setLibraryPath(qEnvironmentVariable("SONVEX_BIN_DIR") + QStringLiteral("/libmorphex.so.1"));
        sWindow = new MainWindow;
        MainWindow &w = *sWindow;
        probe(w).core().mDevices.enumerate = [](QStringList *outputs, QStringList *inputs) {
            ++sDevices.enumerations;
            *outputs = sDevices.outputs;
            *inputs = sDevices.inputs;
        };
        probe(w).core().mDevices.rates = [](int device) {
            return device >= 0 && device < sDevices.rates.size() ? sDevices.rates[device] : QVector<int>();
        };
        probe(w).core().mDevices.bufferFrames = [] { return sDevices.bufferFrames; };
        probe(w).core().mDevices.select = [](int play, int rec) { sDevices.selections.append({play, rec}); };
        probe(w).core().mDevices.channels = [](int, bool input) { return input ? 2 : 8; };
        probe(w).core().mDevices.restartAt = [](int play, int rec, int rate) {
            sDevices.restarts.append({play, rec, rate});
            return true;
        };
    }
    static void TearDownTestSuite() {
        delete sWindow;
        sWindow = nullptr;
        delete sHome;
        sHome = nullptr;
    }
    void SetUp() override {
        sDevices = tFakeDevices();
        MainWindow &w = *sWindow;
        // The user's DoP rows as a first start leaves them.
        for (int i = 0; i < kSettingsDopRows; ++i) probe(w).userDopList()[i] = gEditorDefaults.dopRows[i];
        probe(w).tracks()[0].path.clear();
        probe(w).playFs() = 44100;
    }
    // Presents the devices and rebuilds the lists as the driver list does.
    static void present(const QStringList &outputs, const QVector<QVector<int>> &rates,
                        const QStringList &inputs = {}) {
        sDevices.outputs = outputs;
        sDevices.inputs = inputs;
        sDevices.rates = rates;
        sDevices.selections.clear();
        sWindow->on_comboBox_driver_currentIndexChanged(probe(*sWindow).ui()->comboBox_driver->currentIndex());
    }
    static MainWindow *sWindow;
};
MainWindow *DevicesWindow::sWindow = nullptr;

}  // namespace

TEST_F(DevicesWindow, NoneOneOrSeveralDevices) {
    MainWindow &w = *sWindow;

    // None: the placeholder alone, nothing booted, the resume stops there.
    present({}, {});
    EXPECT_EQ(texts(probe(w).ui()->comboBox_asioDev), QStringList{QStringLiteral("(No Device)")});
    EXPECT_EQ(texts(probe(w).ui()->comboBox_recDev), QStringList{QStringLiteral("(No Device)")});
    EXPECT_TRUE(sDevices.selections.isEmpty());
    EXPECT_EQ(probe(w).driverType(), int(kDriverCoreAudio));
    EXPECT_TRUE(probe(w).deviceListsReady());

    // One: it is selected and booted, its rates listed after "AUTO" (an
    // unknown device with 176.4 kHz is offered DoP at 2.8 MHz), and "AUTO"
    // without a file plays at 44.1 kHz.
    present({QStringLiteral("Desk DAC")}, {kUpTo192}, {QStringLiteral("Desk In")});
    EXPECT_EQ(texts(probe(w).ui()->comboBox_asioDev),
              (QStringList{QStringLiteral("(Select Device...)"), QStringLiteral("Desk DAC")}));
    EXPECT_EQ(texts(probe(w).ui()->comboBox_recDev),
              (QStringList{QStringLiteral("(Select Device...)"), QStringLiteral("Desk In")}));
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->currentIndex(), 1);
    EXPECT_EQ(probe(w).playDevIndex(), 1);
    ASSERT_EQ(sDevices.selections.size(), 1);
    EXPECT_EQ(sDevices.selections[0].first, 0);
    EXPECT_EQ(texts(probe(w).ui()->comboBox_asioFreq),
              withAuto({"44.1kHz", "48kHz", "88.2kHz", "96kHz", "176.4kHz", "192kHz", "2.8MHz"}));
    EXPECT_EQ(probe(w).deviceRateCount(), 7);
    EXPECT_TRUE(probe(w).rateListReady());
    EXPECT_TRUE(probe(w).autoRate());
    EXPECT_EQ(probe(w).playFs(), 44100);

    // Two: the placeholder is selected, nothing is booted, and the rate
    // lists say "(offline)".
    present({QStringLiteral("Desk DAC"), QStringLiteral("Studio Out")}, {kUpTo192, kHiRes});
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->currentIndex(), 0);
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->currentText(), QStringLiteral("(Select Device...)"));
    EXPECT_TRUE(sDevices.selections.isEmpty());
    EXPECT_EQ(texts(probe(w).ui()->comboBox_asioFreq), QStringList{QStringLiteral("(offline)")});
    EXPECT_EQ(texts(probe(w).ui()->comboBox_recFreq), QStringList{QStringLiteral("(offline)")});
    EXPECT_EQ(probe(w).playDevIndex(), 0);

    // Rebuilding again duplicates nothing.
    present({QStringLiteral("Desk DAC"), QStringLiteral("Studio Out")}, {kUpTo192, kHiRes}, {QStringLiteral("In")});
    present({QStringLiteral("Desk DAC"), QStringLiteral("Studio Out")}, {kUpTo192, kHiRes}, {QStringLiteral("In")});
    EXPECT_EQ(probe(w).ui()->comboBox_recDev->count(), 2);
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->count(), 3);
}

TEST_F(DevicesWindow, ResumeAndPickingADevice) {
    MainWindow &w = *sWindow;
    sDevices.outputs = {QStringLiteral("Desk DAC"), QStringLiteral("Studio Out")};
    sDevices.rates = {kUpTo192, kHiRes};

    // The saved device and rate, matched as whole texts.
    w.resumeAudioDevice(QStringLiteral("Studio Out"), QStringLiteral("96kHz"));
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->currentIndex(), 2);
    EXPECT_EQ(probe(w).playDevIndex(), 2);
    ASSERT_FALSE(sDevices.selections.isEmpty());
    EXPECT_EQ(sDevices.selections.last().first, 1);
    EXPECT_EQ(probe(w).ui()->comboBox_asioFreq->currentText(), QStringLiteral("96kHz"));
    EXPECT_EQ(probe(w).playFs(), 96000);
    EXPECT_EQ(probe(w).playFsIndex(), 3u);
    EXPECT_FALSE(probe(w).autoRate());

    // A name in another case is not the device: the placeholder, offline.
    sDevices.selections.clear();
    w.resumeAudioDevice(QStringLiteral("studio out"), QStringLiteral("96kHz"));
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->currentIndex(), 0);
    EXPECT_TRUE(sDevices.selections.isEmpty());
    EXPECT_EQ(probe(w).ui()->comboBox_asioFreq->currentText(), QStringLiteral("(offline)"));

    // Picking a device boots it twice: the recording set-up window's echo,
    // then the slot itself. Each boot restarts the stream at the chosen rate.
    sDevices.selections.clear();
    sDevices.restarts.clear();
    probe(w).ui()->comboBox_asioDev->setCurrentIndex(1);
    w.on_comboBox_asioDev_activated(1);
    ASSERT_EQ(sDevices.selections.size(), 2);
    EXPECT_EQ(sDevices.selections[0].first, 0);
    EXPECT_EQ(sDevices.selections[1].first, 0);
    EXPECT_EQ(probe(w).playDevIndex(), 1);
    EXPECT_EQ(texts(probe(w).ui()->comboBox_asioFreq).size(), 8);
    ASSERT_EQ(sDevices.restarts.size(), 2);
    EXPECT_EQ(sDevices.restarts[1].play, 0);
    EXPECT_EQ(sDevices.restarts[1].rate, 44100);
    // The same device again: the set-up window reports no change, so only
    // the slot boots it.
    sDevices.selections.clear();
    w.on_comboBox_asioDev_activated(1);
    EXPECT_EQ(sDevices.selections.size(), 1);

    // "AUTO" with a 176.4 kHz file on a device of 48, 96 and 192 kHz plays
    // at 192 kHz.
    sDevices.outputs = {QStringLiteral("Desk DAC"), QStringLiteral("Studio Out")};
    sDevices.rates = {{48000, 96000, 192000}, kHiRes};
    w.on_comboBox_asioDev_activated(1);
    probe(w).tracks()[0].path = QStringLiteral("x.wav");
    probe(w).tracks()[0].fileInfo.sampleRate = 176400;
    probe(w).ui()->comboBox_asioFreq->setCurrentIndex(0);
    w.on_comboBox_asioFreq_currentIndexChanged(0);
    EXPECT_EQ(probe(w).playFs(), 192000);
    EXPECT_TRUE(probe(w).reselectRate());
    EXPECT_FALSE(probe(w).rateChanging());
}

TEST_F(DevicesWindow, DopAndNativeDevicesGetTheirDsdRates) {
    MainWindow &w = *sWindow;
    const QStringList pcm = {"44.1kHz", "48kHz",    "88.2kHz", "96kHz",    "176.4kHz",
                             "192kHz",  "352.8kHz", "384kHz",  "705.6kHz", "768kHz"};
    struct Case {
        const char *name;
        QStringList dsd;
        bool native;
    };
    const Case cases[] = {
        {"ZOLT USB AUDIO DEVICE", {"2.8MHz", "5.6MHz"}, true},                // the native device
        {"ZOLT USB AUDIO DEVICE 2", {"2.8MHz", "5.6MHz", "11.2MHz"}, false},  // a table row, not native
        {"Scarlett 18i20", {}, false},                                        // known: no DoP
        {"Garage Interface", {"2.8MHz", "5.6MHz", "11.2MHz"}, false},         // unknown: offered
    };
    for (const Case &c : cases) {
        present({QString::fromLatin1(c.name)}, {kHiRes});
        EXPECT_EQ(texts(probe(w).ui()->comboBox_asioFreq), withAuto(pcm + c.dsd)) << c.name;
        EXPECT_EQ(probe(w).dsdNativeDevice(), c.native) << c.name;
    }

    // The PCM answer for an unknown device: learned as "no DoP", booted
    // again without DoP entries, and known from then on.
    present({QStringLiteral("Garage Interface")}, {kHiRes});
    sDevices.selections.clear();
    probe(w).playFs() = 2822400;
    w.selectedPlayDSDtoPCM();
    EXPECT_EQ(probe(w).userDopList()[0].name, QStringLiteral("Garage Interface"));
    EXPECT_FALSE(probe(w).userDopList()[0].dop);
    EXPECT_TRUE(probe(w).dopAnswered());
    EXPECT_FALSE(probe(w).dopAllowed());
    EXPECT_EQ(sDevices.selections.size(), 1);
    EXPECT_FALSE(texts(probe(w).ui()->comboBox_asioFreq).contains(QStringLiteral("2.8MHz")));
    present({QStringLiteral("Garage Interface")}, {kHiRes});
    EXPECT_TRUE(probe(w).dopKnown());
    EXPECT_EQ(texts(probe(w).ui()->comboBox_asioFreq), withAuto(pcm));

    // The DSD answer: learned as DoP, not booted again.
    present({QStringLiteral("Other Box")}, {kHiRes});
    sDevices.selections.clear();
    w.selectedPlayDSDtoDSD();
    EXPECT_EQ(probe(w).userDopList()[1].name, QStringLiteral("Other Box"));
    EXPECT_TRUE(probe(w).userDopList()[1].dop);
    EXPECT_TRUE(sDevices.selections.isEmpty());
}

TEST_F(DevicesWindow, ClickRefreshAndCaptureBlocks) {
    MainWindow &w = *sWindow;
    present({QStringLiteral("Desk DAC"), QStringLiteral("Studio Out")}, {kUpTo192, kHiRes}, {QStringLiteral("In")});
    w.on_comboBox_asioDev_activated(1);
    const int capacity = probe(w).core().mCaptureBlockFrames;

    // Same outputs (an input change alone does not count): no rebuild.
    sDevices.inputs = {QStringLiteral("In"), QStringLiteral("In 2")};
    sDevices.selections.clear();
    w.DeviceListClicked();
    EXPECT_EQ(probe(w).ui()->comboBox_recDev->count(), 2);
    EXPECT_TRUE(sDevices.selections.isEmpty());
    EXPECT_EQ(probe(w).playDevIndex(), 1);

    // A larger device buffer grows every capture block; the old ones are
    // kept while the stream may still read them.
    probe(w).core().freeRetiredCaptureBlocks();
    sDevices.bufferFrames = capacity * 2;
    w.DeviceListClicked();
    EXPECT_EQ(probe(w).core().mCaptureBlockFrames, capacity * 2);
    EXPECT_EQ(probe(w).core().mRetiredCaptureBlocks.size(), size_t(3 * kMainCaptureBlocks));
    for (int slot = 0; slot < kMainCaptureBlocks; ++slot) {
        ASSERT_NE(probe(w).core().mCaptureStereo[0][slot], nullptr);
        probe(w).core().mCaptureStereo[0][slot][2 * capacity * 2 - 1] = 1.0;  // the whole block is there
    }
    // A smaller one keeps the larger blocks.
    sDevices.bufferFrames = capacity / 2;
    w.DeviceListClicked();
    EXPECT_EQ(probe(w).core().mCaptureBlockFrames, capacity * 2);
    EXPECT_EQ(probe(w).deviceBufferFrames(), capacity / 2);
    // A rate change whose stream restart did not finish in time may leave
    // the stream reading them: they stay. The next one that does frees them.
    const auto restart = probe(w).core().mDevices.restartAt;
    probe(w).core().mDevices.restartAt = [](int, int, int) { return false; };
    w.changeFs(48000);
    EXPECT_EQ(probe(w).core().mRetiredCaptureBlocks.size(), size_t(3 * kMainCaptureBlocks));
    probe(w).core().mDevices.restartAt = restart;
    w.changeFs(48000);
    EXPECT_TRUE(probe(w).core().mRetiredCaptureBlocks.empty());

    // A renamed output device rebuilds: two devices, the placeholder.
    sDevices.outputs = {QStringLiteral("Desk DAC"), QStringLiteral("Studio Out MkII")};
    w.DeviceListClicked();
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->itemText(2), QStringLiteral("Studio Out MkII"));
    EXPECT_EQ(probe(w).ui()->comboBox_asioDev->currentIndex(), 0);
    EXPECT_EQ(probe(w).ui()->comboBox_recDev->count(), 3);
}

TEST_F(DevicesWindow, MonitorVolumeAndLabel) {
    MainWindow &w = *sWindow;
    struct Case {
        int dB;
        double kept;
        const char *label;
    };
    const Case cases[] = {{-100, -300.0, "-inf dB"}, {-99, -99.0, "-99 dB"}, {0, 0.0, "0 dB"}};
    for (const Case &c : cases) {
        w.changeMonitorVolume(c.dB);
        EXPECT_EQ(probe(w).monitorVolumeDb(), c.kept) << c.dB;
        EXPECT_EQ(probe(w).ui()->label_VolumeDB->text(), QString::fromLatin1(c.label)) << c.dB;
    }
    // Purity follows the record, the volume, the rates and the track count.
    probe(w).tracks()[0].fileInfo.sampleRate = uint32_t(probe(w).playFs());
    EXPECT_TRUE(w.checkDsdPurity());
    w.changeMonitorVolume(-1);
    EXPECT_FALSE(w.checkDsdPurity());
    w.changeMonitorVolume(0);
    probe(w).mixParam().trackCount = 2;
    EXPECT_FALSE(w.checkDsdPurity());
    probe(w).mixParam().trackCount = 1;
}

TEST_F(DevicesWindow, MonitorChannelsFollowTheBootedDevice) {
    MainWindow &w = *sWindow;
    // Emptying record lists that hold entries is no endless echo between
    // the main form's list and the set-up window's.
    present({QStringLiteral("Desk DAC")}, {kUpTo192}, {QStringLiteral("In"), QStringLiteral("In 2")});
    w.on_comboBox_asioDev_activated(1);
    present({QStringLiteral("Desk DAC")}, {kUpTo192}, {QStringLiteral("Desk In")});
    // The device's channel counts, for the channel lists and the engine.
    EXPECT_EQ(probe(w).outputChannels(), 8);
    w.selectPlayRecDevice(1, 1);
    EXPECT_EQ(probe(w).inputChannels(), 2);
    probe(w).inputChannels() = 6;
    w.setupInOutChMenu();
    EXPECT_EQ(probe(w).dialogRecSetup()->inputChannels(), 6u);
    EXPECT_EQ(probe(w).dialogRecSetup()->outputChannels(), 8u);

    // A pair the set-up window lists is selected there; a negative one
    // changes nothing.
    w.changeInputMonitorCh(2);
    EXPECT_EQ(probe(w).dialogRecSetup()->selectedInputPair(), 2);
    w.changeInputMonitorCh(-1);
    EXPECT_EQ(probe(w).dialogRecSetup()->selectedInputPair(), 2);
}
