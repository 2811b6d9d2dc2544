// The main window's monitor volume, the DSD purity decision it drives, and
// the input and output monitor channels.
#include "app/mainwindow.h"

#include "app/monitorvolume.h"
#include "editing/dialogedit.h"
#include "editing/dialogrecsetup.h"
#include "engine/capturering.h"
#include "engine/engineparams.h"
#include "mixer/mixer.h"
#include "ui_mainwindow.h"
#include "widgets/faders.h"

void MainWindow::changeMonitorVolume(int dB) {
    const tMonitorVolume v = monitorVolume_fromLevel(dB);
    mMonitorVolumeDb = v.db;
    ui->label_VolumeDB->setText(v.label);
    setDsdPureOrNot(checkDsdPurity());
    // The engine takes the level as given; -100 dB and below are silence.
    setMasterVolDsp(dB);
    if (mDialogEdit) mDialogEdit->sendParameters(mMasterPeq, mMonitorVolumeDb, mPlayFs);
}

bool MainWindow::checkDsdPurity() {
    return monitorVolume_dsdPure(mMasterPeq, mMonitorVolumeDb, mPlayFs, int(mTracks[0].fileInfo.sampleRate),
                                 mMixParam.trackCount);
}

void MainWindow::monitorVolumeMoved(int position) {
    changeMonitorVolume(faderLevelAtPosition(ui->widgetFadeBase->mVolTable, position));
}

void MainWindow::changeInputMonitorCh(int pair) {
    if (pair < 0) return;
    gAudioThread_setInputMonitorChannel(2 * pair);
    if (mMixer) mMixer->setInputChannels(mInputChannels);
    // The set-up window ignores a pair its list does not have.
    if (mDialogRecSetup) mDialogRecSetup->setCurrentInputCh(pair);
}

void MainWindow::changeOutputMonitorCh(int pair) { gAudioThread_setOutputMonitorChannel(2 * pair, mOutputChannels); }

void MainWindow::setupInOutChMenu() {
    mDialogOscillator.setAsioInputCh(unsigned(mInputChannels));
    if (mDialogRecSetup) {
        mDialogRecSetup->setInputCh(unsigned(mInputChannels));
        mDialogRecSetup->setOutputCh(unsigned(mOutputChannels));
    }
    if (mMixer) {
        mMixer->setInputChannels(mInputChannels);
        mMixer->setOutputChannels(mOutputChannels);
    }
}

int MainWindow::getRecordableChannels() {
    switch (mDriverType) {
    case kDriverWasapi: return ui->comboBox_recDev->currentIndex() > 0 ? 2 : 0;
    case kDriverAsio: return mInputChannels;
    default: return 2;
    }
}
