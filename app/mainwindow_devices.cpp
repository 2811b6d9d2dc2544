// The main window's audio devices: the device lists and their selection,
// the device boot with its rate lists and DoP decision, the play-rate
// choice and the device rate change, and the capture ring's size.
//
// The device layer is reached through mCore.mDevices (app/deviceaccess.h). The
// recording set-up window's device and rate lists mirror the main form's:
// every step fills and selects both, and the window's own reports come back
// to the same slots (the window reports a play device only when it differs
// from the last one it reported, which keeps the echo from looping).
#include "app/mainwindow.h"

#include <QComboBox>
#include <QMouseEvent>
#include <QThread>

#include <cstdio>
#include <cstring>

#include "app/devicelists.h"
#include "audiofile/audiohelpers.h"
#include "base/alignedalloc.h"
#include "dsp/oscillator.h"
#include "editing/dialogedit.h"
#include "editing/dialogrecsetup.h"
#include "engine/capturering.h"
#include "engine/coreaudioio.h"
#include "engine/engineparams.h"
#include "engine/metering.h"
#include "mixer/mixer.h"
#include "trace/debugclient.h"
#include "ui_mainwindow.h"
#include "widgets/dialogselectfs.h"

namespace {

const QString kOffline = QStringLiteral("(offline)");
const QString kAuto = QStringLiteral("AUTO");
const QString kRecFormatPcm = QStringLiteral("WAV(PCM)");

QStringList comboTexts(const QComboBox *box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
}

}  // namespace

// ---- Device lists -------------------------------------------------------

void MainWindow::on_comboBox_driver_currentIndexChanged(int) {
    for (QString &name : mDeviceNames) name.clear();
    QStringList outputs, inputs;
    if (mCore.mDevices.enumerate) mCore.mDevices.enumerate(&outputs, &inputs);

    // Not ready before the lists are emptied: emptying them runs their
    // change slots, and no selection may boot a device from a half-built
    // list.
    mDeviceListsReady = false;
    mRateListReady = false;
    DialogRecSetup *setup = mDialogRecSetup;
    ui->comboBox_asioDev->clear();
    ui->comboBox_asioDev->setCurrentIndex(-1);
    if (setup) {
        setup->clearDevice(kDevTypePlay);
        setup->setCurrentDevice(kDevTypePlay, -1);
    }
    ui->comboBox_recDev->clear();
    if (setup) setup->clearDevice(kDevTypeRec);
    ui->comboBox_recDev->setCurrentIndex(-1);
    mDriverType = kDriverCoreAudio;

    // The set-up window's record list has no placeholder of its own.
    const QString placeholder = deviceLists_placeholder(int(outputs.size()));
    ui->comboBox_asioDev->addItem(placeholder);
    if (setup) setup->addDevice(kDevTypePlay, placeholder);
    ui->comboBox_recDev->addItem(placeholder);
    for (int i = 0; i < outputs.size() && i < kMainDeviceNames; ++i) {
        mDeviceNames[i] = outputs[i];
        if (setup) setup->addDevice(kDevTypePlay, outputs[i]);
        ui->comboBox_asioDev->addItem(outputs[i]);
    }
    for (int i = 0; i < inputs.size() && i < kMainDeviceNames; ++i) {
        if (setup) setup->addDevice(kDevTypeRec, inputs[i]);
        ui->comboBox_recDev->addItem(inputs[i]);
    }

    const int s = deviceLists_initialSelection(ui->comboBox_asioDev->count());
    ui->comboBox_asioDev->setCurrentIndex(s);
    if (setup) setup->setCurrentDevice(kDevTypePlay, s);
    ui->comboBox_recDev->setCurrentIndex(s);
    mDeviceListsReady = true;
    mRateListReady = true;

    mDeviceBufferFrames = mCore.mDevices.bufferFrames ? mCore.mDevices.bufferFrames() : mDeviceBufferFrames;
    setInMonitor_RecBuffer(0, mDeviceBufferFrames);
    setAudioIODriver(tDriverComboBox(mDriverType));
    selectPlayRecDevice(s, mRecDevIndex);
}

bool MainWindow::switchable_asioDev(int index) {
    if (!mDeviceListsReady) return false;
    if (index > 0) return true;
    on_stopButton_clicked();
    mFillingOffline = true;
    ui->comboBox_asioFreq->clear();
    ui->comboBox_asioFreq->addItem(kOffline);
    if (mDialogRecSetup) {
        mDialogRecSetup->ComboboxPlayFreq->clear();
        mDialogRecSetup->ComboboxPlayFreq->addItem(kOffline);
        mDialogRecSetup->comboboxRecFreq->clear();
        mDialogRecSetup->comboboxRecFreq->addItem(kOffline);
    }
    ui->comboBox_recFreq->clear();
    ui->comboBox_recFreq->addItem(kOffline);
    mFillingOffline = false;
    return false;
}

void MainWindow::selectPlayRecDevice(int play, int rec) {
    mPlayDevIndex = play;
    if (switchable_asioDev(play) && mDriverType == kDriverCoreAudio) {
        mDopAnswered = false;
        mDopAllowed = true;
        bootCoreAudioDevice(play, rec);
    }
}

void MainWindow::selectPlayDevice(int play) { selectPlayRecDevice(play, mRecDevIndex); }

void MainWindow::selectRecDevice(int index) {
    mBufferChangeExpected = true;
    if (mDriverType != kDriverCoreAudio) return;
    mDopAnswered = false;
    mDopAllowed = true;
    bootCoreAudioDevice(index - 1, index - 1);
}

void MainWindow::resumeAudioDriverType(int driver) {
    const int previous = ui->comboBox_driver->currentIndex();
    ui->comboBox_driver->setCurrentIndex(driver);
    if (mDialogRecSetup) mDialogRecSetup->comboBox_driver->setCurrentIndex(driver);
    if (ui->comboBox_driver->currentIndex() == previous) on_comboBox_driver_currentIndexChanged(previous);
}

void MainWindow::resumeAudioDevice(QString deviceName, QString playRateText) {
    // Each driver list that changes its index rebuilds the device lists
    // through its own report; when the main list keeps its index the rebuild
    // runs here.
    const int previous = ui->comboBox_driver->currentIndex();
    ui->comboBox_driver->setCurrentIndex(mDriverType);
    if (mDialogRecSetup) mDialogRecSetup->comboBox_driver->setCurrentIndex(mDriverType);
    if (mDriverType == previous) on_comboBox_driver_currentIndexChanged(previous);
    // Every rebuild leaves the CoreAudio driver, so the fallback from an
    // empty ASIO list to WASAPI never applies here.

    const int n = ui->comboBox_asioDev->count();
    if (n <= 1) return;  // no device: nothing booted, no rate restored
    if (n > 2) {
        const int i = deviceLists_findEntry(comboTexts(ui->comboBox_asioDev), deviceName);
        ui->comboBox_asioDev->setCurrentIndex(i);
        // The set-up window's echo, when its list changes, runs one
        // selection of its own before this one.
        if (mDialogRecSetup) mDialogRecSetup->setCurrentDevice(kDevTypePlayShown, i);
        selectPlayRecDevice(i, mRecDevIndex);
    }
    if (ui->comboBox_asioFreq->count() == 1) return;
    const int j = deviceLists_findEntry(comboTexts(ui->comboBox_asioFreq), playRateText);
    ui->comboBox_asioFreq->setCurrentIndex(j);
    if (mDialogRecSetup) mDialogRecSetup->ComboboxPlayFreq->setCurrentIndex(j);
}

void MainWindow::on_comboBox_asioDev_activated(int index) {
    // The set-up window's list first: when it changes, its echo selects and
    // boots the device once, then this slot does so again.
    if (mDialogRecSetup) mDialogRecSetup->setCurrentDevice(kDevTypePlay, index);
    selectPlayRecDevice(index, mRecDevIndex);
}

void MainWindow::on_comboBox_asioDev_currentIndexChanged(int) {}

void MainWindow::playDeviceChanged(int index) {
    if (DebugClient::sDebugLevel >= 10) {
        DebugClient::SendTrace(QStringLiteral("PlayDeviceChanged ") + QString::number(index), "MAIN", 10, __FILE__,
                               __LINE__, "playDeviceChanged");
        if (index < 0)
            DebugClient::SendTrace(QStringLiteral("Invalid PlayDeviceChanged ") + QString::number(index), "MAIN", 10,
                                   __FILE__, __LINE__, "playDeviceChanged");
    }
    ui->comboBox_asioDev->setCurrentIndex(index);
    if (mDialogRecSetup) mDialogRecSetup->setCurrentDevice(kDevTypePlay, index);
    selectPlayRecDevice(index, mRecDevIndex);
}

void MainWindow::on_comboBox_recDev_currentIndexChanged(int index) {
    mRecDevIndex = index;
    if (mDialogRecSetup) mDialogRecSetup->setCurrentDevice(kDevTypeRec, index);
    selectPlayRecDevice(mPlayDevIndex, index);
}

void MainWindow::recDevSelectEventAtRecSetup(int index) {
    mRecDevIndex = index;
    // Only a change runs the list's own slot. While the list is being
    // emptied it already reports -1 but would report it again on every
    // call, and that slot echoes into the set-up window, which echoes back.
    if (ui->comboBox_recDev->currentIndex() != index) ui->comboBox_recDev->setCurrentIndex(index);
}

void MainWindow::showRecSetup(bool) {
    if (!mDialogRecSetup) return;
    mDialogRecSetup->setCurrentDevice(kDevTypePlayShown, mPlayDevIndex);
    mDialogRecSetup->show();
}

void MainWindow::on_comboBox_PlayRec_currentIndexChanged(int index) {
    const bool rec = index != 0;
    ui->comboBox_asioFreq->setVisible(!rec);
    ui->comboBox_asioDev->setVisible(!rec);
    ui->comboBox_recFreq->setVisible(rec);
    ui->comboBox_recDev->setVisible(rec);
}

QString MainWindow::getAsioDev_firstItem(int count) { return deviceLists_placeholder(count); }

bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == ui->comboBox_asioDev && event->type() == QEvent::MouseButtonPress) {
        mPlayStatus = mTracks[0].audioThread ? mTracks[0].audioThread->getStatus() : 0;
        if (mPlayStatus == 0) DeviceListClicked();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::DeviceListClicked() {
    QStringList kept;
    for (int i = 0; i + 1 < ui->comboBox_asioDev->count() && i < kMainDeviceNames; ++i) kept << mDeviceNames[i];
    QStringList outputs, inputs;
    if (mCore.mDevices.enumerate) mCore.mDevices.enumerate(&outputs, &inputs);
    if (!deviceLists_sameOutputs(kept, outputs)) {
        if (mWatchdogEnabled) {
            setWDT(20000);
            mWatchdogEnabled = false;
            serachZOLTUSBAudio();
            on_comboBox_driver_currentIndexChanged(ui->comboBox_driver->currentIndex());
            setWDT(20000);
            mWatchdogEnabled = true;
        } else {
            serachZOLTUSBAudio();
            on_comboBox_driver_currentIndexChanged(ui->comboBox_driver->currentIndex());
        }
    }
    mDeviceBufferFrames = mCore.mDevices.bufferFrames ? mCore.mDevices.bufferFrames() : mDeviceBufferFrames;
    setInMonitor_RecBuffer(0, mDeviceBufferFrames);
}

void MainWindow::setInMonitor_RecBuffer(int row, int frames) {
    mDeviceBufferFrames = frames;
    if (row < 0 || row >= kMainCaptureRows) return;
    int capacity = mCore.mCaptureBlockFrames;
    if (capacity < frames) {
        // Every new block first; when one cannot be had the old blocks and
        // the old capacity stay, which the engine can go on using.
        const uint64_t byteBlock = (uint64_t(frames) + 7) / 8 * 8;
        double *stereo[kMainCaptureBlocks] = {};
        uint8_t *bytes[2][kMainCaptureBlocks] = {};
        bool ok = true;
        for (int slot = 0; slot < kMainCaptureBlocks && ok; ++slot) {
            stereo[slot] = static_cast<double *>(_aligned_malloc(uint64_t(frames) * 16, 16));
            bytes[0][slot] = static_cast<uint8_t *>(_aligned_malloc(byteBlock, 8));
            bytes[1][slot] = static_cast<uint8_t *>(_aligned_malloc(byteBlock, 8));
            ok = stereo[slot] && bytes[0][slot] && bytes[1][slot];
        }
        if (!ok) {
            for (int slot = 0; slot < kMainCaptureBlocks; ++slot) {
                _aligned_free(stereo[slot]);
                _aligned_free(bytes[0][slot]);
                _aligned_free(bytes[1][slot]);
            }
        } else {
            // The stream may be reading the old blocks right now: they are
            // kept until it next stops (changeFs) or the window goes.
            for (int slot = 0; slot < kMainCaptureBlocks; ++slot) {
                void *old[3] = {mCore.mCaptureStereo[row][slot], mCore.mCaptureBytes[0][row][slot], mCore.mCaptureBytes[1][row][slot]};
                for (void *block : old) {
                    if (block) mCore.mRetiredCaptureBlocks.emplace_back(block, &_aligned_free);
                }
                mCore.mCaptureStereo[row][slot] = stereo[slot];
                mCore.mCaptureBytes[0][row][slot] = bytes[0][slot];
                mCore.mCaptureBytes[1][row][slot] = bytes[1][slot];
            }
            capacity = frames;
        }
    }
    for (int slot = 0; slot < kMainCaptureBlocks; ++slot)
        gAudioThread_setMonitorBuffer(row, slot, mCore.mCaptureStereo[row][slot], mCore.mCaptureBytes[0][row][slot],
                                      mCore.mCaptureBytes[1][row][slot]);
    gAudioThread_setMonitorBufferSize(capacity);
    mCore.mCaptureBlockFrames = capacity;
    std::printf("rec buffer size = %d ¥¥\n", capacity);
    std::printf("asio buffer size = %d ¥¥\n", mDeviceBufferFrames);
}

// ---- Device boot and the DoP table ----------------------------------------

void MainWindow::bootCoreAudioDevice(int play, int rec) {
    initDsdParameters(mPlayFs);
    mRateListReady = false;
    if (mCore.mDevices.select && (play > 0 || rec > 0)) mCore.mDevices.select(play > 0 ? play - 1 : -1, rec > 0 ? rec - 1 : -1);
    // The channel counts the monitor channels are passed on with.
    if (mCore.mDevices.channels) {
        if (play > 0) mOutputChannels = mCore.mDevices.channels(play - 1, false);
        mInputChannels = rec > 0 ? mCore.mDevices.channels(rec - 1, true) : 0;
    }
    QThread::msleep(10);
    // Without a play device the rate table of the previous boot stays.
    if (play > 0) mBootedDeviceRates = mCore.mDevices.rates ? mCore.mDevices.rates(play - 1) : QVector<int>();

    // The four rate lists in their order; the set-up window's format list
    // offers the DSD formats only when a DSD rate is listed.
    DialogRecSetup *setup = mDialogRecSetup;
    QComboBox *rateLists[4] = {ui->comboBox_asioFreq, setup ? setup->ComboboxPlayFreq : nullptr,
                               setup ? setup->comboboxRecFreq : nullptr, ui->comboBox_recFreq};
    for (QComboBox *list : rateLists) {
        if (!list) continue;
        list->clear();
        list->addItem(kAuto);
    }
    if (setup) {
        setup->BounceFormat->clear();
        setup->BounceFormat->addItem(kRecFormatPcm);
    }

    const QString device = ui->comboBox_asioDev->currentText();
    const tDopLookup lookup = deviceLists_dopLookup(device, gDopDevList, kDopDevListRows, mUserDopList);
    mDopKnown = lookup.known;
    mDsdNativeDevice = device == QLatin1String(kDsdNativeDeviceName);
    CCoreAudioIOThread::mZoltVx_DsdNative = mDsdNativeDevice;

    const tPlayRateList list =
        playRates_build(mBootedDeviceRates, mDopAllowed || mDopKnown, lookup.dop, mDsdNativeDevice);
    mDeviceRateCount = 0;
    for (int rate : list.rates) {
        if (mDeviceRateCount >= kMainDeviceRates) break;
        for (QComboBox *rates : rateLists) {
            if (rates) rates->addItem(playRates_text(rate));
        }
        mDeviceRates[mDeviceRateCount++] = rate;
    }
    if (setup && list.dsd) setup->BounceFormat->addItems({QStringLiteral("DSDIFF(DSD)"), QStringLiteral("DSF(DSD)")});

    mDeviceBufferFrames = mCore.mDevices.bufferFrames ? mCore.mDevices.bufferFrames() : mDeviceBufferFrames;
    setInMonitor_RecBuffer(0, mDeviceBufferFrames);
    mRateListReady = true;
    on_comboBox_asioFreq_currentIndexChanged(0);
}

void MainWindow::registerDopDevList(QString name, bool dop) { deviceLists_registerDopRow(mUserDopList, name, dop); }

void MainWindow::selectedPlayDSDtoPCM() {
    mPlayFs /= 16;
    mPlayFsIndex = uint32_t(getFreqIndexFromFsValue(mPlayFs));
    mDopAnswered = true;
    mDopAllowed = false;
    bootCoreAudioDevice(mPlayDevIndex, mRecDevIndex);
    changeFs(mPlayFs);
    if (mPlayDevIndex > 0 && mPlayDevIndex <= kMainDeviceNames)
        registerDopDevList(mDeviceNames[mPlayDevIndex - 1], false);
    if (mDialogSelectFs) mDialogSelectFs->hide();
}

void MainWindow::selectedPlayDSDtoDSD() {
    mDopAnswered = true;
    mDopAllowed = true;
    if (mPlayDevIndex > 0 && mPlayDevIndex <= kMainDeviceNames)
        registerDopDevList(mDeviceNames[mPlayDevIndex - 1], true);
    if (mDialogSelectFs) mDialogSelectFs->hide();
}

void MainWindow::DoPPlayableDeviceClicked() {}

// ---- Play rate and device rate ----------------------------------------------

QVector<int> MainWindow::deviceRateList() const { return QVector<int>(mDeviceRates, mDeviceRates + mDeviceRateCount); }

void MainWindow::clearDisplayRings() {
    for (double *ring : meterRings()) {
        if (ring) std::memset(ring, 0, sizeof(double) * 2 * kMainRingEntries);
    }
}

// The list index matters only to the ASIO driver's record-rate list, which
// this program does not have.
void MainWindow::on_comboBox_asioFreq_currentIndexChanged(int) {
    mRateChanging = true;
    const int recState = mRecState;
    stopRequest();
    clearDisplayRings();
    if (mFillingOffline) {
        mRateChanging = false;
        return;
    }
    selectPlayFs();
    mPlayFs = playRates_fit(mPlayFs, deviceRateList());
    mPlayFsIndex = uint32_t(getFreqIndexFromFsValue(mPlayFs));
    changeFs(mPlayFs);
    if (mDriverType == kDriverAsio && recState == 3) mRecRestart = true;
    clearDisplayRings();
    for (QString &text : mCounterRing) text.clear();
    for (int64_t &position : mPositionRing) position = 0;
    mSkipCursorOnce = true;
    mRateChanging = false;
    mReselectRate = true;
}

void MainWindow::selectPlayFs() {
    const QString text = ui->comboBox_asioFreq->currentText();
    if (text == kOffline) {
        mAutoRate = false;
        return;
    }
    const int named = playRates_fromText(text);
    if (named > 0) {
        mAutoRate = false;
        mPlayFs = named;
    } else {
        mAutoRate = true;
        mPlayFs = selectPlaySampleRate(0);
    }
    mPlayFsIndex = uint32_t(getFreqIndexFromFsValue(mPlayFs));
}

int MainWindow::selectPlaySampleRate(int) {
    if (mTracks[0].path.isEmpty()) return 44100;
    return playRates_autoChoice(int(mTracks[0].fileInfo.sampleRate), deviceRateList());
}

int MainWindow::selectAutoFs() {
    const QVector<int> rates = deviceRateList();
    mPlayFs = playRates_fit(mPlayFs, rates);
    mPlayFsIndex = uint32_t(getFreqIndexFromFsValue(mPlayFs));
    const bool askDop = rates.contains(mPlayFs) && mPlayFs >= 2822400 && !mDopAnswered && !mDopKnown;
    return askDop ? -1 : 0;
}

void MainWindow::playFreqChanged(int index) { ui->comboBox_asioFreq->setCurrentIndex(index); }

void MainWindow::on_comboBox_recFreq_currentIndexChanged(int) {
    if (mRecState == 3) {
        stopRequest();
        mRecRestart = true;
    }
}

void MainWindow::clearMasterPeaks() {
    if (mMasterPeak) {
        mMasterPeak[0] = mMasterPeak[1] = 0.0;
    }
    if (mPrevMasterPeak) {
        mPrevMasterPeak[0] = mPrevMasterPeak[1] = 0.0;
    }
    ui->widgetMeter->clearPrevMeter();
    gAudioThread_clearPeakAudio();
}

void MainWindow::changeFs(int rate) {
    mBufferChangeExpected = true;
    const bool oscOn = COscClass.getOscStatus();
    clearMasterPeaks();
    if (!mRateListReady || mPlayDevIndex <= 0 || ui->comboBox_asioFreq->currentText() == kOffline) return;

    COscClass.sOscOff();
    setWDT(20000);
    mWatchdogEnabled = false;
    // Pressed as the user would press Stop: a playback cut short by the
    // rate change is not a playback that reached its end, so its cursor
    // stays where it was heard.
    on_stopButton_clicked();
    initDsdParameters(rate);
    // Stopping the stream, setting the device's rate and starting the
    // stream again are jobs of the device control thread. Once the stream
    // has stopped nothing reads the capture blocks that a larger device
    // buffer replaced; while it may not have, they are kept.
    const bool restarted =
        !mCore.mDevices.restartAt || mCore.mDevices.restartAt(mPlayDevIndex - 1, mRecDevIndex > 0 ? mRecDevIndex - 1 : -1, rate);
    if (restarted) mCore.freeRetiredCaptureBlocks();
    setWDT(20000);
    mWatchdogEnabled = true;

    mDialogOscillator.setCurrentSampleRate(rate);
    COscClass.setOscFS(rate);
    if (oscOn) COscClass.sOscOn();
    resetEQparameters(rate);
    if (mDialogEdit) mDialogEdit->sendParameters(mMasterPeq, mMonitorVolumeDb, rate);
    clearMasterPeaks();
    emit changeSampleRate(rate);
    if (mMixer) mMixer->getReverbInstance()->setFxSampleRate(rate, rate);
    QThread::msleep(10);
}
